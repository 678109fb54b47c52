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
 * writes a line to each standard stream, then, by "sample.mode", returns, throws, or blocks as a
 * service with stop handlers and a shutdown hook.
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
        final String mode = System.getProperty("sample.mode", "return");
        if (mode.equals("throw")) throw new IllegalStateException("boom \u00e4");
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
