package sample.app;

import com.lumex.runtime.Launcher;
import com.lumex.runtime.Service;
import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.nio.file.StandardOpenOption;

/**
 * The application of the runtime's tests: appends what reached it to the file "sample.report",
 * writes a line to each standard stream, then, by "sample.mode", returns, throws, writes
 * "sample.lines" lines of growing length, writes them in one chunk and one more line once the file
 * "sample.go" exists, or blocks as a service with stop handlers and a shutdown hook (quick ones, or
 * slow-stop: one of each that takes 4 s). With "sample.health" it registers a health check.
 */
public final class Main {
    public static void main(String[] args) throws InterruptedException {
        final long delta = System.nanoTime() - Launcher.entryNanos();
        for (final String arg : args) report("arg " + arg);
        report("kind " + Launcher.windowed() + ", service " + Service.isService() + " "
               + Service.name() + ", native " + Launcher.nativeInit() + ", splash "
               + Launcher.splashConfig() + "\nmain-to-main " + delta + " ns");
        System.out.println("out-line");
        System.err.println("err-line");
        // A health check: "true", "false", "throw", or "block" (it never returns).
        final String health = System.getProperty("sample.health", "");
        if (!health.isEmpty()) Service.setHealthCheck(() -> healthy(health));
        final String mode = System.getProperty("sample.mode", "return");
        if (mode.equals("throw")) throw new IllegalStateException("boom \u00e4");
        if (mode.equals("lines")) {
            // Line i holds i characters of its own letter, then the line end.
            final int count = Integer.getInteger("sample.lines", 0);
            for (int i = 1; i <= count; ++i) {
                final StringBuilder line = new StringBuilder();
                for (int j = 0; j < i; ++j) line.append((char) ('a' + i % 26));
                System.out.print(line);
                System.out.print('\n');
            }
            return;
        }
        if (mode.equals("chunk")) {
            // Line i holds 49 characters of its own letter, all printed at once.
            final StringBuilder chunk = new StringBuilder();
            for (int i = 1; i <= Integer.getInteger("sample.lines", 0); ++i) {
                for (int j = 0; j < 49; ++j) chunk.append((char) ('a' + i % 26));
                chunk.append('\n');
            }
            System.out.print(chunk);
            report("pid " + ProcessHandle.current().pid() + "\nchunk written");
            for (int waited = 0; waited < 30_000 && !Files.exists(Paths.get(
                                     System.getProperty("sample.go"))); waited += 20) {
                Thread.sleep(20);
            }
            System.out.println("after");
            return;
        }
        if (mode.equals("slow-stop")) {
            // A stop handler and a shutdown hook that take 4 s each.
            Service.addStopHandler(() -> pause("handler"));
            Runtime.getRuntime().addShutdownHook(new Thread(() -> pause("hook")));
            report("blocking");
            Thread.sleep(Long.MAX_VALUE);
        }
        if (!mode.equals("block")) return;
        Service.addStopHandler(() -> report("stop first"));
        Service.addStopHandler(() -> { throw new IllegalStateException("failing handler"); });
        final Runnable removed = () -> report("stop removed");
        Service.addStopHandler(removed);
        Service.addStopHandler(() -> report("stop last"));
        report("removed " + Service.removeStopHandler(removed));
        Runtime.getRuntime().addShutdownHook(new Thread(() -> report("hook")));
        report("blocking");
        Thread.sleep(Long.MAX_VALUE);
    }

    private static boolean healthy(String health) {
        if (health.equals("throw")) throw new IllegalStateException("unhealthy");
        while (health.equals("block")) pause("check");
        return health.equals("true");
    }

    private static void pause(String what) {
        report(what + " begun");
        try {
            Thread.sleep(4000);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
        report(what + " done");
    }

    private static synchronized void report(String line) {
        try {
            Files.write(Paths.get(System.getProperty("sample.report")),
                        (line + "\n").getBytes(StandardCharsets.UTF_8), StandardOpenOption.CREATE,
                        StandardOpenOption.APPEND);
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
    }

    /** A main that is not static. */
    public static final class Instance {
        public void main(String[] args) {}
    }
}
