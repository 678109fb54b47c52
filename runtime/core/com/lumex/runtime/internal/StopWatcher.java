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
 */
public final class StopWatcher implements Runnable {
    /** How long one stop handler may run before the stop goes on without it. */
    public static final long HANDLER_WAIT_MILLIS = 10_000;

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
        try {
            String line;
            while ((line = readLine()) != null && !line.trim().equals("0")) {
                // Other lines are not requests of the service host.
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
        runHandlers();
        System.exit(0);
    }

    // Newest first, each on a daemon thread of its own, so neither a failing nor a hanging
    // handler keeps the others or the exit from happening.
    static void runHandlers() {
        final List<Runnable> snapshot;
        synchronized (handlers) {
            snapshot = new ArrayList<>(handlers);
        }
        for (int i = snapshot.size() - 1; i >= 0; --i) {
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
                thread.join(HANDLER_WAIT_MILLIS);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
            if (thread.isAlive()) {
                System.err.println("stop handler still running after " + HANDLER_WAIT_MILLIS
                                   + " ms; stopping without it");
            }
        }
    }
}
