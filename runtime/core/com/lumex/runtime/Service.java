package com.lumex.runtime;

import com.lumex.runtime.internal.StopWatcher;
import com.lumex.runtime.internal.Watchdog;
import java.util.function.BooleanSupplier;

/**
 * The application as a Windows service. When the service is asked to stop, the runtime runs the
 * stop handlers, newest first, each for at most {@link #STOP_HANDLER_WAIT_MILLIS}, and then ends
 * the JVM with System.exit(0), so shutdown hooks run as well.
 *
 * <p>When the launcher's service host watches the JVM (its watchdog setting), the runtime answers
 * the host's pings from a Java thread; an application may add a health check that decides the
 * answer ({@link #setHealthCheck}).
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

    /**
     * Sets the application's health check; null removes it. While the service host's watchdog is
     * on, each of its pings runs the check on a daemon thread of its own and waits for it at most
     * half the watchdog's timeout: the answer is healthy only when the check returned true in that
     * time. False, an exception or no result in time counts as sick: the host then has every
     * thread's stack written to the standard error file and ends the JVM, to restart the
     * application by its restart settings. A check still running from an earlier ping is not
     * started again (the answer is sick while it runs). Without the watchdog the check is never
     * called.
     */
    public static void setHealthCheck(BooleanSupplier check) {
        Watchdog.setHealthCheck(check);
    }
}
