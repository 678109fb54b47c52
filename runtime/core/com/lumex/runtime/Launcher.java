package com.lumex.runtime;

import com.lumex.runtime.internal.LaunchState;

/** What the launcher told the runtime about this run: its launcher values and properties. */
public final class Launcher {
    /** How far the launcher got with the runtime's native side. */
    public enum NativeInit {
        /** The launcher did not initialise the native side (or has not done so yet). */
        NOT_CALLED,
        /** The launcher initialised the native side. */
        INITIALISED,
        /** The launcher tried, but registering the natives failed. */
        REGISTRATION_FAILED
    }

    private Launcher() {}

    /**
     * True for a windowed launcher (its first value "true"): it shows errors in message boxes and
     * checks runtimes with javaw.exe.
     */
    public static boolean windowed() {
        return LaunchState.kindFlag();
    }

    /**
     * The executable as it was named on the command line; for a service, the service name. Empty
     * when the launcher passed none.
     */
    public static String programName() {
        return LaunchState.programName();
    }

    /** A system property the launcher set, or "" when it is not set. */
    public static String property(String name) {
        final String value = System.getProperty(name);
        return value == null ? "" : value;
    }

    /** The per-run directory of the launcher (removed when the JVM ends normally), or "". */
    public static String tempDir() {
        return property("lumex.tempDir");
    }

    /** The launcher executable's path, or "". */
    public static String moduleName() {
        return property("lumex.moduleName");
    }

    /**
     * The name of the instance semaphore: the single-instance name, or in marker mode the
     * numbered name this instance claimed ("" when the launcher set none).
     */
    public static String semaphoreName() {
        return property("lumex.semaphoreName");
    }

    /** The position in the executable just behind the included files, or -1 when unknown. */
    public static long unextractedPosition() {
        try {
            return Long.parseLong(property("lumex.unextractedPosition").trim());
        } catch (NumberFormatException e) {
            return -1;
        }
    }

    /** True for a launcher of the parcelkit family. */
    public static boolean isParcelkit() {
        return "true".equals(property("lumex.isParcelkit"));
    }

    /** The console output code page as "cp" and its number, or "". */
    public static String consoleCodepage() {
        return property("lumex.consoleCodepage");
    }

    /** The splash settings the launcher passed, or null when it passed none. */
    public static SplashConfig splashConfig() {
        return LaunchState.splash();
    }

    /** The state of the runtime's native side. */
    public static NativeInit nativeInit() {
        return LaunchState.nativeInit();
    }

    /** System.nanoTime() when the launcher entered the runtime; 0 before that. */
    public static long entryNanos() {
        return LaunchState.entryNanos();
    }
}
