package com.lumex.tools.maven;

import java.util.ArrayList;
import java.util.List;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * The mistakes `pack build` reports ("FILE:LINE:COLUMN: KEY: what is wrong", or "FILE: KEY:
 * what is wrong" without a place), told against the user's description: when pack read a
 * description the plugin derived from it, the file becomes the description and each line the
 * description's own line.
 */
final class Diagnostics {
    private static final Pattern PLACE = Pattern.compile("^(\\d+):(\\d+): (.*)$");

    private Diagnostics() {}

    /**
     * The lines of pack's standard error as the user reads them. readPath is the file pack
     * read, descriptionPath the user's description, derived null when pack read the description
     * itself. Lines that name no place in the file are kept as they are.
     */
    static List<String> located(List<String> errorLines, String readPath, String descriptionPath,
            Description.Derived derived) {
        final List<String> out = new ArrayList<>();
        for (final String line : errorLines) {
            if (!line.startsWith(readPath + ":")) {
                out.add(line);
                continue;
            }
            final String rest = line.substring(readPath.length() + 1);
            final Matcher m = PLACE.matcher(rest);
            if (!m.matches()) {
                out.add(descriptionPath + ":" + rest);
                continue;
            }
            final int lineNo = Integer.parseInt(m.group(1));
            final String message = m.group(3);
            if (derived == null) {
                out.add(descriptionPath + ":" + lineNo + ":" + m.group(2) + ": " + message);
            } else if (!derived.isAdded(lineNo)) {
                out.add(descriptionPath + ":" + derived.originalLine(lineNo) + ":" + m.group(2)
                        + ": " + message);
            } else if (derived.javaHeader > 0) {
                out.add(descriptionPath + ":" + derived.javaHeader + ":1: " + message
                        + " (in the class path the plugin adds to this table)");
            } else {
                out.add(descriptionPath + ": " + message
                        + " (in the [java] table with the class path the plugin adds)");
            }
        }
        return out;
    }
}
