package com.lumex.tools.maven;

import java.util.Locale;

/** Which of the carried pack tools runs on a machine, by Java's os.name and os.arch. */
final class Platform {
    static final String LINUX_X64 = "linux-x64/pack";
    static final String WINDOWS_X64 = "windows-x64/pack.exe";
    static final String WINDOWS_ARM64 = "windows-arm64/pack.exe";

    private Platform() {}

    /** The carried tool's resource path under pack/, or null when none runs on the machine. */
    static String carriedPack(String osName, String osArch) {
        final String os = osName.toLowerCase(Locale.ROOT);
        final String arch = osArch.toLowerCase(Locale.ROOT);
        final boolean x64 = arch.equals("amd64") || arch.equals("x86_64");
        final boolean arm64 = arch.equals("aarch64") || arch.equals("arm64");
        if (os.startsWith("linux") && x64) return LINUX_X64;
        if (os.startsWith("windows") && x64) return WINDOWS_X64;
        if (os.startsWith("windows") && arm64) return WINDOWS_ARM64;
        return null;
    }

    /** What to do on a machine the plugin carries no pack for. */
    static String noCarriedPack(String osName, String osArch) {
        return "The lumex plugin carries pack for Linux x64, Windows x64 and Windows Arm64, not for "
                + osName + " " + osArch + ": set <packExecutable> in the plugin's configuration"
                + " (or -Dlumex.packExecutable=PATH) to a pack of the same version built for this"
                + " machine";
    }
}
