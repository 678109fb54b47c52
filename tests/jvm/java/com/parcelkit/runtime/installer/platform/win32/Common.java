package com.parcelkit.runtime.installer.platform.win32;

/** Runtime class of the contract test: records the flags initFromLauncher received. */
public final class Common {
    public static String flags = "";

    public static void initFromLauncher(boolean flag) {
        flags += flag ? "T" : "F";
    }
}
