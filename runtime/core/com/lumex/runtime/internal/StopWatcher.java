package com.lumex.runtime.internal;

import java.io.IOException;
import java.io.InputStream;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.atomic.AtomicBoolean;

/**
 * The stop request of the service host: it writes the line "0" to the service's standard input
 * and closes it. End of file means the same (the host is gone). Either way the stop handlers
 * run, newest first, and the JVM exits with code 0 so that no JVM outlives its service.
 *
 * <p>With the property "lumex.stopTimeout" (seconds, set by the launcher below the service
 * host's own timeout) the stop handlers and System.exit share one deadline: once it has passed,
 * Runtime.halt ends the JVM with the stop's exit code, whatever handlers or shutdown hooks are
 * still doing.
 *
 * <p>With the property "lumex.watchdogPipe" the watchdog's requests on the same input ("ping N",
 * "dump") go to the Watchdog; every other line is ignored.
 */
public final class StopWatcher implements Runnable {
    /** How long one stop handler may run before the stop goes on without it. */
    public static final long HANDLER_WAIT_MILLIS = 10_000;

    /** The exit code of a stop. */
    static final int STOP_EXIT_CODE = 0;

    // The longest stop timeout taken from the property: a day.
    private static final long MAX_TIMEOUT_SECONDS = 86_400;

    // Lines longer than this cannot be the stop request; only this much of them is kept.
    private static final int MAX_LINE = 64;

    private static final List<Runnable> handlers = new ArrayList<>();
    private static final AtomicBoolean stopping = new AtomicBoolean();

    private final InputStream in;

    private StopWatcher(InputStream in) {
        this.in = in;
    }

    public static void add(Runnable handler) {
        if (handler == null) throw new NullPointerException("stop handler");
        synchronized (handlers) {
            handlers.add(handler);
        }
    }

    public static boolean remove(Runnable handler) {
        synchronized (handlers) {
            return handlers.remove(handler);
        }
    }

    /** Starts the daemon thread that waits for the stop request on the given stream. */
    static void start(InputStream in) {
        final Thread watcher = new Thread(new StopWatcher(in), "service stop watcher");
        watcher.setDaemon(true);
        watcher.start();
    }

    @Override
    public void run() {
        // With a watchdog pipe the service host watches this JVM (Watchdog, loaded only then).
        final String pipe = System.getProperty("lumex.watchdogPipe", "");
        final Watchdog watchdog = pipe.isEmpty() ? null : Watchdog.start(pipe);
        try {
            String line;
            while ((line = readLine()) != null) {
                final String request = line.trim();
                if (request.equals("0")) break;
                if (watchdog != null) watchdog.request(request);  // it ignores other lines
            }
        } catch (IOException e) {
            // A broken standard input: the service host is gone.
        }
        stop();
    }

    // One line without its end; null at end of file.
    private String readLine() throws IOException {
        final StringBuilder line = new StringBuilder();
        int b;
        while ((b = in.read()) != -1 && b != '\n') {
            if (line.length() < MAX_LINE) line.append((char) b);
        }
        return b == -1 && line.length() == 0 ? null : line.toString();
    }

    /** Runs the stop handlers (once) and ends the JVM with exit code 0. */
    static void stop() {
        if (!stopping.compareAndSet(false, true)) return;
        final long timeout = stopTimeoutMillis(System.getProperty("lumex.stopTimeout"));
        final long deadline = System.nanoTime() + timeout * 1_000_000L;
        if (timeout > 0) haltAt(deadline, STOP_EXIT_CODE);
        runHandlers(timeout > 0, deadline);
        System.exit(STOP_EXIT_CODE);
    }

    /**
     * The stop timeout of the property's text in milliseconds: a whole number of seconds from 1
     * to a day; 0 (no deadline) for anything else.
     */
    static long stopTimeoutMillis(String seconds) {
        if (seconds == null) return 0;
        final String text = seconds.trim();
        if (text.isEmpty() || text.length() > 6) return 0;
        long value = 0;
        for (int i = 0; i < text.length(); ++i) {
            final char c = text.charAt(i);
            if (c < '0' || c > '9') return 0;
            value = value * 10 + (c - '0');
        }
        return value > 0 && value <= MAX_TIMEOUT_SECONDS ? value * 1000 : 0;
    }

    // A daemon thread that ends the JVM at the deadline (System.nanoTime) if it still runs then.
    private static void haltAt(final long deadline, final int exitCode) {
        final Thread watchdog = new Thread(() -> {
            long left;
            while ((left = deadline - System.nanoTime()) > 0) {
                try {
                    Thread.sleep(left / 1_000_000L + 1);
                } catch (InterruptedException e) {
                    // only the deadline ends the wait
                }
            }
            System.err.println("service stop still running at its deadline; halting the JVM");
            System.err.flush();
            Runtime.getRuntime().halt(exitCode);
        }, "service stop deadline");
        watchdog.setDaemon(true);
        watchdog.start();
    }

    // Newest first, each on a daemon thread of its own, so neither a failing nor a hanging
    // handler keeps the others or the exit from happening. When bounded, the deadline
    // (System.nanoTime) shortens the waits; once it has passed, the other handlers are not run.
    static void runHandlers(boolean bounded, long deadline) {
        final List<Runnable> snapshot;
        synchronized (handlers) {
            snapshot = new ArrayList<>(handlers);
        }
        for (int i = snapshot.size() - 1; i >= 0; --i) {
            long wait = HANDLER_WAIT_MILLIS;
            if (bounded) {
                final long left = (deadline - System.nanoTime()) / 1_000_000L;
                if (left <= 0) {
                    System.err.println("stop timeout reached; " + (i + 1)
                                       + " stop handler(s) not run");
                    return;
                }
                wait = Math.min(wait, left);
            }
            final Runnable handler = snapshot.get(i);
            final Thread thread = new Thread(() -> {
                try {
                    handler.run();
                } catch (Throwable e) {
                    System.err.println("stop handler failed: " + e);
                }
            }, "service stop handler");
            thread.setDaemon(true);
            thread.start();
            try {
                thread.join(wait);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
            if (thread.isAlive()) {
                System.err.println("stop handler still running after " + wait
                                   + " ms; stopping without it");
            }
        }
    }
}
