package com.lumex.tools.maven;

import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;

/** The names the project's jars get under lib/, in class path order. */
final class Libraries {
    private Libraries() {}

    /** One jar to copy: its group and its file name in the repository or target folder. */
    static final class Jar {
        final String groupId;
        final String fileName;

        Jar(String groupId, String fileName) {
            this.groupId = groupId;
            this.fileName = fileName;
        }
    }

    /**
     * Each jar keeps its file name; jars whose names Windows cannot tell apart (the same name,
     * ignoring case) are named groupId-fileName instead.
     */
    static List<String> names(List<Jar> jars) {
        final Map<String, Integer> count = new HashMap<>();
        for (final Jar jar : jars) count.merge(key(jar.fileName), 1, Integer::sum);
        final List<String> out = new ArrayList<>();
        for (final Jar jar : jars) {
            out.add(count.get(key(jar.fileName)) > 1 ? jar.groupId + "-" + jar.fileName
                                                      : jar.fileName);
        }
        return out;
    }

    private static String key(String name) {
        return name.toLowerCase(Locale.ROOT);
    }
}
