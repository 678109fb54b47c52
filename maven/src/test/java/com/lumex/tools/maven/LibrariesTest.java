package com.lumex.tools.maven;

import static org.junit.Assert.assertEquals;

import java.util.Arrays;
import org.junit.Test;

public class LibrariesTest {
    @Test
    public void keepsFileNamesInOrderAndPrefixesTheGroupWhereNamesClash() {
        assertEquals(Arrays.asList("app-1.0.jar", "commons-cli-1.5.0.jar"), Libraries.names(
                Arrays.asList(new Libraries.Jar("com.example", "app-1.0.jar"),
                        new Libraries.Jar("commons-cli", "commons-cli-1.5.0.jar"))));
        assertEquals(Arrays.asList("a-util-1.jar", "app.jar", "b-Util-1.jar"), Libraries.names(
                Arrays.asList(new Libraries.Jar("a", "util-1.jar"), new Libraries.Jar("x", "app.jar"),
                        new Libraries.Jar("b", "Util-1.jar"))));
    }
}
