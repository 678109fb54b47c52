package com.lumex.tools.maven;

import static org.junit.Assert.assertEquals;

import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import org.junit.Test;

public class DescriptionTest {
    private static Description of(String text) {
        return new Description(text.getBytes(StandardCharsets.UTF_8));
    }

    @Test
    public void findsAClassPathOnlyWhereTomlPutsItInTheJavaTable() {
        final Object[][] cases = {
            {"[java]\nmain_class = \"a.M\"\nclass_path = [\"x.jar\"]\n", true},
            {"[java]\n  \"class_path\" = []\n", true},
            {"java.class_path = [\"x.jar\"]\n[service]\nname = \"S\"\n", true},
            {"java = { main_class = \"a.M\", class_path = [] }\n", true},
            {"[ java ] # settings\r\nclass_path=[]\r\n", true},
            {"[java]\nmain_class = \"a.M\"\n", false},
            {"[java]\nmodule_path = [\"m.jar\"]\n[launcher]\nclass_path = 1\n", false},
            {"[service]\nclass_path = [\"x.jar\"]\n[java]\n", false},
            {"[java]\n[java.version]\nclass_path = 1\n", false},
            {"[[files]]\nclass_path = 1\n", false},
        };
        for (final Object[] c : cases) {
            assertEquals((String) c[0], c[1], of((String) c[0]).namesClassPath());
        }
    }

    @Test
    public void addsTheClassPathAsTheFirstKeyOfTheJavaTable() {
        final String[][] cases = {
            {"[service]\nname = \"S\"\n[java]\nmain_class = \"a.M\"\n",
             "[service]\nname = \"S\"\n[java]\nclass_path = [\"lib/a.jar\", \"lib/b \\\"q\\\".jar\"]\n"
                     + "main_class = \"a.M\"\n"},
            {"\u00EF\u00BB\u00BF[java] # x\r\nmain_class = 'a.M'\r\n",
             "\u00EF\u00BB\u00BF[java] # x\r\nclass_path = [\"lib/a.jar\", \"lib/b \\\"q\\\".jar\"]\r\n"
                     + "main_class = 'a.M'\r\n"},
            {"[service]\nname = \"S\"",
             "[service]\nname = \"S\"\n[java]\nclass_path = [\"lib/a.jar\", \"lib/b \\\"q\\\".jar\"]\n"},
            {"[java]", "[java]\nclass_path = [\"lib/a.jar\", \"lib/b \\\"q\\\".jar\"]\n"},
        };
        for (final String[] c : cases) {
            final Description.Derived derived = new Description(
                    c[0].getBytes(StandardCharsets.ISO_8859_1))
                    .withClassPath(Arrays.asList("lib/a.jar", "lib/b \"q\".jar"));
            assertEquals(c[0], c[1], new String(derived.bytes, StandardCharsets.ISO_8859_1));
        }
    }

    @Test
    public void keepsBytesThatAreNoUtf8AndWritesEntriesAsUtf8() {
        final byte[] text = {'[', 'j', 'a', 'v', 'a', ']', '\n', '#', (byte) 0xFF, '\n'};
        final Description.Derived derived =
                new Description(text).withClassPath(Arrays.asList("lib/\u00E9.jar"));
        assertEquals("[java]\nclass_path = [\"lib/\u00E9.jar\"]\n#\u00FF\n",
                new String(derived.bytes, StandardCharsets.ISO_8859_1)
                        .replace("\u00C3\u00A9", "\u00E9"));
    }

    @Test
    public void escapesControlCharactersInEntries() {
        assertEquals("\"a\\u0009b\\\\c\\u007F\"", Description.tomlString("a\tb\\c\u007F"));
    }
}
