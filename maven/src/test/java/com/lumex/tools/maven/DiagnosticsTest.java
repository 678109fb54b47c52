package com.lumex.tools.maven;

import static org.junit.Assert.assertEquals;

import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.Collections;
import org.junit.Test;

public class DiagnosticsTest {
    private static final String READ = "/p/src/main/lumex/.service.toml.123.toml";
    private static final String DESCRIPTION = "src/main/lumex/service.toml";

    private static Description.Derived derive(String text) {
        return new Description(text.getBytes(StandardCharsets.UTF_8))
                .withClassPath(Collections.singletonList("lib/\u0100.jar"));
    }

    @Test
    public void placesPacksMistakesInTheUsersDescription() {
        final Description.Derived inserted = derive("[service]\nname = 1\n[java]\nx = 2\n");
        final Description.Derived appended = derive("[service]\nname = 1\n");
        final Object[][] cases = {
            // pack read the description itself: only the file's name changes
            {null, READ + ":4:9: service.start: \"automatic\" is not allowed here",
             DESCRIPTION + ":4:9: service.start: \"automatic\" is not allowed here"},
            {null, READ + ": java: missing", DESCRIPTION + ": java: missing"},
            {null, "pack: cannot read 'x'", "pack: cannot read 'x'"},
            // lines before the added one keep their number, lines after it move back by one
            {inserted, READ + ":2:8: service.name: wrong", DESCRIPTION + ":2:8: service.name: wrong"},
            {inserted, READ + ":3:1: java: x", DESCRIPTION + ":3:1: java: x"},
            {inserted, READ + ":5:1: java.x: unknown key", DESCRIPTION + ":4:1: java.x: unknown key"},
            {inserted, READ + ":4:15: java.class_path[0]: holds U+0100",
             DESCRIPTION + ":3:1: java.class_path[0]: holds U+0100 (in the class path the plugin"
                     + " adds to this table)"},
            // the plugin added the [java] table: no place of the description to name
            {appended, READ + ":3:1: java.main_class: missing",
             DESCRIPTION + ": java.main_class: missing (in the [java] table with the class path"
                     + " the plugin adds)"},
            {appended, READ + ":2:8: service.name: wrong", DESCRIPTION + ":2:8: service.name: wrong"},
        };
        for (final Object[] c : cases) {
            assertEquals((String) c[1], Collections.singletonList(c[2]), Diagnostics.located(
                    Arrays.asList((String) c[1]), READ, DESCRIPTION, (Description.Derived) c[0]));
        }
    }
}
