package com.lumex.tools.maven;

import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * A launcher description (TOML) as lines: whether it names a class path, and the same
 * description with a class path added to its [java] table. The text is kept as ISO-8859-1 so
 * that every byte, also of text that is not UTF-8, is written back as it was read; `pack`
 * checks the encoding itself.
 */
final class Description {
    // [table] or [[array of tables]], with an optional comment after it.
    private static final Pattern HEADER =
            Pattern.compile("^\\s*\\[\\[?([^\\[\\]#]*)\\]\\]?\\s*(#.*)?$");
    private static final Pattern CLASS_PATH_KEY =
            Pattern.compile("^\\s*(class_path|\"class_path\"|'class_path')\\s*=.*");
    private static final Pattern DOTTED_CLASS_PATH = Pattern.compile(
            "^\\s*(java|\"java\"|'java')\\s*\\.\\s*(class_path|\"class_path\"|'class_path')\\s*=.*");
    private static final Pattern INLINE_JAVA =
            Pattern.compile("^\\s*(java|\"java\"|'java')\\s*=\\s*\\{.*\\bclass_path\\b.*");
    private static final String BOM = "\u00EF\u00BB\u00BF";  // UTF-8's byte order mark, as bytes

    private final List<String> lines = new ArrayList<>();  // each with its line ending

    Description(byte[] bytes) {
        final String text = new String(bytes, StandardCharsets.ISO_8859_1);
        int start = 0;
        while (start < text.length()) {
            final int end = text.indexOf('\n', start);
            final int stop = end < 0 ? text.length() : end + 1;
            lines.add(text.substring(start, stop));
            start = stop;
        }
    }

    /** The description with a class path added, and where the added lines stand. */
    static final class Derived {
        final byte[] bytes;
        /** The 1-based line of the description's [java] header, 0 when the table was added. */
        final int javaHeader;
        /** The first added line (1-based, in the derived text) and how many were added. */
        final int firstAdded;
        final int added;

        Derived(String text, int javaHeader, int firstAdded, int added) {
            this.bytes = text.getBytes(StandardCharsets.ISO_8859_1);
            this.javaHeader = javaHeader;
            this.firstAdded = firstAdded;
            this.added = added;
        }

        /**
         * The description's line for a line of the derived text: the same text before the added
         * lines, one line earlier after them; an added line counts as the [java] header's line,
         * or 0 (no place in the description) when the plugin added the table too.
         */
        int originalLine(int derivedLine) {
            if (derivedLine < firstAdded) return derivedLine;
            if (derivedLine < firstAdded + added) return javaHeader;
            return derivedLine - added;
        }

        boolean isAdded(int derivedLine) {
            return derivedLine >= firstAdded && derivedLine < firstAdded + added;
        }
    }

    /** Whether the description names a class path ([java] class_path, also dotted or inline). */
    boolean namesClassPath() {
        String table = "";
        for (int i = 0; i < lines.size(); ++i) {
            final String line = content(i);
            final String header = tableName(line);
            if (header != null) {
                table = header;
            } else if (table.equals("java") && CLASS_PATH_KEY.matcher(line).matches()) {
                return true;
            } else if (table.isEmpty() && (DOTTED_CLASS_PATH.matcher(line).matches()
                    || INLINE_JAVA.matcher(line).matches())) {
                return true;
            }
        }
        return false;
    }

    /**
     * The description with `class_path = [entries]` as the first key of its [java] table, or
     * with a [java] table holding it at the end when it has none.
     */
    Derived withClassPath(List<String> entries) {
        final StringBuilder value = new StringBuilder("class_path = [");
        for (int i = 0; i < entries.size(); ++i) {
            if (i > 0) value.append(", ");
            value.append(tomlString(entries.get(i)));
        }
        value.append(']');
        final String keyLine = new String(value.toString().getBytes(StandardCharsets.UTF_8),
                StandardCharsets.ISO_8859_1);
        final StringBuilder out = new StringBuilder();
        for (int i = 0; i < lines.size(); ++i) {
            out.append(lines.get(i));
            if ("java".equals(tableName(content(i)))) {
                final String ending = lines.get(i).endsWith("\r\n") ? "\r\n" : "\n";
                if (!lines.get(i).endsWith("\n")) out.append(ending);
                out.append(keyLine).append(ending);
                for (int j = i + 1; j < lines.size(); ++j) out.append(lines.get(j));
                return new Derived(out.toString(), i + 1, i + 2, 1);
            }
        }
        if (out.length() > 0 && out.charAt(out.length() - 1) != '\n') out.append('\n');
        final int first = countLines(out) + 1;
        out.append("[java]\n").append(keyLine).append('\n');
        return new Derived(out.toString(), 0, first, 2);
    }

    /** A TOML basic string: quotes, backslashes and control characters escaped. */
    static String tomlString(String s) {
        final StringBuilder out = new StringBuilder("\"");
        for (int i = 0; i < s.length(); ++i) {
            final char c = s.charAt(i);
            if (c == '"' || c == '\\') {
                out.append('\\').append(c);
            } else if (c < 0x20 || c == 0x7F) {
                out.append(String.format("\\u%04X", (int) c));
            } else {
                out.append(c);
            }
        }
        return out.append('"').toString();
    }

    // The line without its ending (and without a byte order mark on the first line).
    private String content(int i) {
        String line = lines.get(i);
        if (i == 0 && line.startsWith(BOM)) line = line.substring(BOM.length());
        int end = line.length();
        while (end > 0 && (line.charAt(end - 1) == '\n' || line.charAt(end - 1) == '\r')) --end;
        return line.substring(0, end);
    }

    // The table a header line opens ("java" for [java], [ "java" ] or [[java]]), else null.
    private static String tableName(String line) {
        final Matcher m = HEADER.matcher(line);
        if (!m.matches()) return null;
        return m.group(1).replaceAll("[\\s\"']", "");
    }

    private static int countLines(CharSequence text) {
        int n = 0;
        for (int i = 0; i < text.length(); ++i) {
            if (text.charAt(i) == '\n') ++n;
        }
        return n;
    }
}
