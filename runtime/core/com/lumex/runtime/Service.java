package com.lumex.runtime;

import com.lumex.runtime.internal.StopWatcher;

/**
 * The application as a Windows service. When the service is asked to stop, the runtime runs the
 * stop handlers, newest first, each for at most {@link #STOP_HANDLER_WAIT_MILLIS}, and then ends
 * the JVM with System.exit(0), so shutdown hooks run as well.
 */
public final class Service {
    /** How long a stop handler may run before the stop goes on without it. */
    public static final long STOP_HANDLER_WAIT_MILLIS = StopWatcher.HANDLER_WAIT_MILLIS;

    private Service() {}

    /** True when the launcher runs the application as a service. */
    public static boolean isService() {
        return "true".equals(System.getProperty("lumex.isService"));
    }

    /** The service name; "" when the application does not run as a service. */
    public static String name() {
        return isService() ? Launcher.programName() : "";
    }

    /** Adds a handler that runs when the service is asked to stop. */
    public static void addStopHandler(Runnable handler) {
        StopWatcher.add(handler);
    }

    /** Removes a handler added before; false when it was not registered. */
    public static boolean removeStopHandler(Runnable handler) {
        return StopWatcher.remove(handler);
    }
}
