package com.lumex.runtime.internal;

import java.io.File;
import java.io.IOException;
import java.io.PrintStream;

/**
 * Redirection of System.out and System.err to the files the launcher names. An empty path leaves
 * the stream as it is; so does a path that still holds an unexpanded variable ("$..."), with a
 * warning. One file named for both gets one shared stream, so the lines keep their order. Each
 * file is a RotatingOutput: with the property "lumex.outputRotateSize" (bytes) it rotates,
 * keeping "lumex.outputKeep" earlier files.
 */
final class Redirect {
    // The absolute path of the standard error file once System.err goes there; "" otherwise.
    private static volatile String errorFile = "";

    private Redirect() {}

    /** The absolute path of the file System.err was redirected to; "" when it was not. */
    static String errorFile() {
        return errorFile;
    }

    static void apply(String outPath, String errPath, boolean append) {
        // Console runs ("/run") keep the console.
        if ("true".equals(System.getProperty("parcelkit.noRedir"))) return;
        final PrintStream warnings = System.err;
        final long rotateSize =
            RotatingOutput.rotateSize(System.getProperty("lumex.outputRotateSize"));
        final int keep = RotatingOutput.keep(System.getProperty("lumex.outputKeep"));
        final PrintStream out =
            open("standard output", outPath, append, rotateSize, keep, warnings);
        final PrintStream err = out != null && sameFile(outPath, errPath)
                                    ? out
                                    : open("standard error", errPath, append, rotateSize, keep,
                                           warnings);
        if (out == null && err == null) return;
        if (out != null) System.setOut(out);
        if (err != null) {
            System.setErr(err);
            errorFile = new File(errPath).getAbsolutePath();
        }
        // Lines are flushed as they end; an unfinished last line is flushed at the end.
        Runtime.getRuntime().addShutdownHook(new Thread("stream flush") {
            @Override
            public void run() {
                if (out != null) out.flush();
                if (err != null) err.flush();
            }
        });
    }

    // The stream for the path; null when the stream stays as it is.
    private static PrintStream open(String what, String path, boolean append, long rotateSize,
                                    int keep, PrintStream warnings) {
        if (path.isEmpty()) return null;
        if (path.startsWith("$")) {
            warnings.println("warning: " + what + " not redirected: the path " + path
                             + " holds an unexpanded variable");
            return null;
        }
        final File file = new File(path);
        try {
            final File parent = file.getAbsoluteFile().getParentFile();
            if (parent != null && !parent.isDirectory() && !parent.mkdirs()) {
                throw new IOException("cannot create the folder " + parent);
            }
            // It buffers by itself and keeps what a failed write did not write.
            return new PrintStream(new RotatingOutput(file, append, rotateSize, keep, warnings),
                                   true);
        } catch (IOException | RuntimeException e) {
            warnings.println("warning: " + what + " not redirected to " + path + ": " + e);
            return null;
        }
    }

    private static boolean sameFile(String first, String second) {
        return !second.isEmpty() && canonical(first).equals(canonical(second));
    }

    // File.equals follows the file system's case rule (none on Windows).
    private static File canonical(String path) {
        final File file = new File(path);
        try {
            return file.getCanonicalFile();
        } catch (IOException | RuntimeException e) {
            return file.getAbsoluteFile();
        }
    }
}
