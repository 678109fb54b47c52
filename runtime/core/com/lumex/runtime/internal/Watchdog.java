package com.lumex.runtime.internal;

import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.util.ArrayDeque;
import java.util.Map;
import java.util.function.BooleanSupplier;

/**
 * The JVM's side of the service host's watchdog. The host names a pipe in the property
 * "lumex.watchdogPipe"; a daemon thread of its own opens it for writing, says "hello 1" and which
 * Java runs, then answers the requests the stop watcher reads from standard input: "ping N" with
 * "pong N" ("sick N" when the application's health check returns false, throws or takes more than
 * half of "lumex.watchdogTimeout"), and "dump" by writing every thread's stack to standard error,
 * then "dumped". The answers come from that Java thread, so each one shows that the JVM still runs
 * Java code. Nothing of this is loaded or started without the property.
 */
public final class Watchdog implements Runnable {
    /** The protocol version the first line says. */
    static final int PROTOCOL_VERSION = 1;

    // The host's timeout when the property is absent or not a number of seconds from 1 to a day.
    private static final long DEFAULT_TIMEOUT_MILLIS = 60_000;

    // Requests not yet answered; more are dropped (the host then sees no answer, as from a hung
    // JVM). "ping " and at most this many digits.
    private static final int MAX_WAITING = 16;
    private static final int MAX_DIGITS = 19;

    private static volatile BooleanSupplier healthCheck;
    // The running watchdog, for what other parts of the runtime tell the host.
    private static volatile Watchdog current;

    private final String pipe;
    private final long checkWaitMillis;
    private final ArrayDeque<String> requests = new ArrayDeque<>();  // under its own lock
    private volatile boolean off;
    private OutputStream out;  // under the writer lock (this); null until open and once failed
    private Thread runningCheck;  // a health check that outlived its wait (answering thread only)

    private Watchdog(String pipe, long checkWaitMillis) {
        this.pipe = pipe;
        this.checkWaitMillis = checkWaitMillis;
    }

    /** Registers the application's health check; null clears it. */
    public static void setHealthCheck(BooleanSupplier check) {
        healthCheck = check;
    }

    /**
     * Tells the host that an output file could not be rotated ("rotation-failed FILE\tREASON"),
     * so that it can report it where an administrator looks. Nothing without a watchdog.
     */
    static void rotationFailed(String file, String reason) {
        final Watchdog watchdog = current;
        if (watchdog != null) {
            watchdog.write("rotation-failed " + oneLine(file) + "\t" + oneLine(reason));
        }
    }

    /** Starts the daemon thread that opens the pipe and answers the host's requests. */
    static Watchdog start(String pipe) {
        final Watchdog watchdog =
            new Watchdog(pipe, checkWaitMillis(System.getProperty("lumex.watchdogTimeout")));
        final Thread thread = new Thread(watchdog, "service watchdog");
        thread.setDaemon(true);
        thread.start();
        current = watchdog;
        return watchdog;
    }

    /** How long a health check may take: half the host's timeout (seconds, 60 if not valid). */
    static long checkWaitMillis(String timeoutSeconds) {
        final long timeout = StopWatcher.stopTimeoutMillis(timeoutSeconds);
        return (timeout > 0 ? timeout : DEFAULT_TIMEOUT_MILLIS) / 2;
    }

    /** A line of standard input other than the stop request; lines it does not know are ignored. */
    void request(String line) {
        if (off || !(line.equals("dump") || isPing(line))) return;
        synchronized (requests) {
            if (requests.size() < MAX_WAITING) requests.add(line);
            requests.notify();
        }
    }

    private String next() throws InterruptedException {
        synchronized (requests) {
            while (requests.isEmpty()) requests.wait();
            return requests.remove();
        }
    }

    static boolean isPing(String line) {
        final int digits = line.length() - "ping ".length();
        if (!line.startsWith("ping ") || digits < 1 || digits > MAX_DIGITS) return false;
        for (int i = "ping ".length(); i < line.length(); ++i) {
            if (line.charAt(i) < '0' || line.charAt(i) > '9') return false;
        }
        return true;
    }

    @Override
    public void run() {
        try {
            final OutputStream opened = new FileOutputStream(pipe);
            synchronized (this) {
                out = opened;
            }
        } catch (IOException | RuntimeException e) {
            off = true;
            System.err.println("lumex: cannot open the watchdog pipe " + pipe + ": " + e
                               + "; the service host's watchdog is off for this JVM");
            return;
        }
        write("hello " + PROTOCOL_VERSION);
        write("info java.version=" + oneLine(System.getProperty("java.version")));
        write("info java.home=" + oneLine(System.getProperty("java.home")));
        if (!Redirect.errorFile().isEmpty()) write("info stderr=" + oneLine(Redirect.errorFile()));
        try {
            while (!off) {
                final String request = next();
                if (request.equals("dump")) {
                    dump();
                    write("dumped");
                } else {
                    final String number = request.substring("ping ".length());
                    write((healthy() ? "pong " : "sick ") + number);
                }
            }
        } catch (InterruptedException e) {
            // only the end of the JVM ends the answers
        }
    }

    // True without a health check, or when it returned true within the wait. A check still
    // running from an earlier ping is not started again.
    private boolean healthy() {
        final BooleanSupplier check = healthCheck;
        if (check == null) return true;
        if (runningCheck != null && runningCheck.isAlive()) return false;
        runningCheck = null;
        final boolean[] result = new boolean[1];
        final Thread thread = new Thread(() -> {
            try {
                result[0] = check.getAsBoolean();
            } catch (Throwable e) {
                System.err.println("health check failed: " + e);
            }
        }, "service health check");
        thread.setDaemon(true);
        thread.start();
        try {
            thread.join(checkWaitMillis);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
        if (!thread.isAlive()) return result[0];  // its end makes the result visible here
        System.err.println("health check still running after " + checkWaitMillis + " ms");
        runningCheck = thread;
        return false;
    }

    // Every thread's stack, as one write to standard error (the service's standard error file).
    private static void dump() {
        final StringBuilder text = new StringBuilder("Full thread dump ")
                                       .append(System.getProperty("java.vm.name"))
                                       .append(" (")
                                       .append(System.getProperty("java.vm.version"))
                                       .append("), asked for by the service host's watchdog, "
                                               + "which found this JVM late or sick:\n");
        for (final Map.Entry<Thread, StackTraceElement[]> entry :
             Thread.getAllStackTraces().entrySet()) {
            final Thread thread = entry.getKey();
            text.append("\n\"")
                .append(thread.getName())
                .append("\" #")
                .append(thread.getId())
                .append(thread.isDaemon() ? " daemon" : "")
                .append(" prio=")
                .append(thread.getPriority())
                .append("\n   java.lang.Thread.State: ")
                .append(thread.getState())
                .append('\n');
            for (final StackTraceElement frame : entry.getValue()) {
                text.append("\tat ").append(frame).append('\n');
            }
        }
        System.err.print(text.append('\n'));
        System.err.flush();
    }

    // One line on the pipe, written out at once; a failed write turns the watchdog off.
    private synchronized void write(String line) {
        if (out == null) return;
        try {
            out.write((line + "\n").getBytes(StandardCharsets.UTF_8));
            out.flush();
        } catch (IOException e) {
            off = true;
            try {
                out.close();
            } catch (IOException ignored) {
                // already failed
            }
            out = null;
            System.err.println("lumex: writing to the watchdog pipe failed: " + e
                               + "; the service host's watchdog is off for this JVM");
        }
    }

    // The value with any control character (a line end) as a space.
    private static String oneLine(String value) {
        if (value == null) return "";
        final StringBuilder text = new StringBuilder(value);
        for (int i = 0; i < text.length(); ++i) {
            if (text.charAt(i) < ' ') text.setCharAt(i, ' ');
        }
        return text.toString();
    }
}
