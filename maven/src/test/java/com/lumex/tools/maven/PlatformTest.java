package com.lumex.tools.maven;

import static org.junit.Assert.assertEquals;

import java.util.Arrays;
import org.junit.Test;

public class PlatformTest {
    @Test
    public void choosesTheCarriedPackOfTheMachine() {
        final String[][] cases = {
            {"Linux", "amd64", Platform.LINUX_X64},
            {"Linux", "x86_64", Platform.LINUX_X64},
            {"Windows 11", "amd64", Platform.WINDOWS_X64},
            {"Windows Server 2022", "aarch64", Platform.WINDOWS_ARM64},
            {"Linux", "aarch64", null},
            {"Mac OS X", "x86_64", null},
            {"Windows 10", "x86", null},
        };
        for (final String[] c : cases) {
            assertEquals(Arrays.toString(c), c[2], Platform.carriedPack(c[0], c[1]));
        }
    }

    @Test
    public void namesWhatToSetWhereNoPackIsCarried() {
        final String message = Platform.noCarriedPack("Mac OS X", "aarch64");
        assertEquals(true, message.contains("not for Mac OS X aarch64: set <packExecutable>"));
    }
}
