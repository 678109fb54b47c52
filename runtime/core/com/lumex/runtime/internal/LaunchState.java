package com.lumex.runtime.internal;

import com.lumex.runtime.Launcher;
import com.lumex.runtime.SplashConfig;

/**
 * What the launcher handed over for this run. Written by the launcher's calls on the JVM thread
 * before the application starts, read by the application from any thread.
 */
public final class LaunchState {
    private static volatile long entryNanos;
    private static volatile boolean kindFlag;
    private static volatile String programName = "";
    private static volatile SplashConfig splash;
    private static volatile Launcher.NativeInit nativeInit = Launcher.NativeInit.NOT_CALLED;

    private LaunchState() {}

    static void begin(long entry, boolean flag, String program) {
        entryNanos = entry;
        kindFlag = flag;
        programName = program;
    }

    /** The splash settings as the launcher passed them. */
    public static void recordSplash(SplashConfig config) {
        splash = config;
    }

    /** true: the native side is being set up; false: registering the natives failed. */
    public static void recordNativeInit(boolean initialised) {
        nativeInit = initialised ? Launcher.NativeInit.INITIALISED
                                 : Launcher.NativeInit.REGISTRATION_FAILED;
    }

    public static long entryNanos() {
        return entryNanos;
    }

    public static boolean kindFlag() {
        return kindFlag;
    }

    public static String programName() {
        return programName;
    }

    public static SplashConfig splash() {
        return splash;
    }

    public static Launcher.NativeInit nativeInit() {
        return nativeInit;
    }
}
