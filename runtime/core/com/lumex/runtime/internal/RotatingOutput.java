package com.lumex.runtime.internal;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.BasicFileAttributes;
import java.util.ArrayList;
import java.util.List;

/**
 * A redirected output file, which rotates when the launcher gives a rotation size: once it holds
 * at least that size and a line has just ended, it is closed and renamed to NAME.1 (NAME.1 having
 * moved to NAME.2 and so on, the oldest of keep files dropped), and a new NAME is opened. Rotation
 * happens only between lines, so no line is ever split across two files.
 *
 * <p>The oldest file is first renamed to NAME.rotating and deleted only once NAME is NAME.1. When
 * a step fails (on Windows a file that another program holds open), the steps already made are
 * undone, NAME is opened again to append, and the failure is reported once into NAME itself; the
 * next attempt comes one rotation size later. Every earlier file and every written line stays.
 *
 * <p>The stream buffers what it is given and writes it out at a flush or when the buffer is full;
 * a write that fails part-way keeps exactly the bytes not yet written for the next attempt.
 */
final class RotatingOutput extends OutputStream {
    /** How many earlier files are kept when the launcher does not say. */
    static final int DEFAULT_KEEP = 5;
    /** The most earlier files kept. */
    static final int MAX_KEEP = 1000;
    /** The largest rotation size: a file that does not rotate has it. */
    static final long NEVER = 1L << 62;

    private final File file;
    private final long rotateSize;
    private final int keep;
    private final PrintStream warnings;
    private final byte[] buffer = new byte[8192];
    // The buffer's bytes from start to count are not written yet.
    private int start;
    private int count;
    private FileOutputStream out;
    // Bytes in the file now, and the size at which the next rotation is tried.
    private long size;
    private long nextRotation;
    // The last rotation failed: the next failure is not reported again.
    private boolean failing;

    RotatingOutput(File file, boolean append, long rotateSize, int keep, PrintStream warnings)
        throws IOException {
        this.file = file;
        this.out = new FileOutputStream(file, append);
        this.rotateSize = rotateSize;
        this.keep = keep;
        this.warnings = warnings;
        this.size = append ? file.length() : 0;
        this.nextRotation = rotateSize;
    }

    /** The name of the earlier file number index (from 1): NAME.index. */
    static File rotatedName(File file, int index) {
        return new File(file.getPath() + "." + index);
    }

    /** The rotation size in bytes of the property's text; NEVER when not valid or not set. */
    static long rotateSize(String text) {
        if (text == null) return NEVER;
        try {
            final long value = Long.parseLong(text.trim());
            return value > 0 ? Math.min(value, NEVER) : NEVER;
        } catch (NumberFormatException e) {
            return NEVER;
        }
    }

    /**
     * The number of earlier files to keep of the property's text: 1 to MAX_KEEP; DEFAULT_KEEP
     * for a text that is no number or a number below 1.
     */
    static int keep(String text) {
        if (text == null) return DEFAULT_KEEP;
        try {
            final long value = Long.parseLong(text.trim());
            return value < 1 ? DEFAULT_KEEP : (int) Math.min(MAX_KEEP, value);
        } catch (NumberFormatException e) {
            return DEFAULT_KEEP;
        }
    }

    @Override
    public synchronized void write(int b) throws IOException {
        write(new byte[] {(byte) b}, 0, 1);
    }

    @Override
    public synchronized void write(byte[] bytes, int offset, int length) throws IOException {
        for (int done = 0; done < length;) {
            if (count == buffer.length) writeOut();
            final int n = Math.min(length - done, buffer.length - count);
            System.arraycopy(bytes, offset + done, buffer, count, n);
            count += n;
            done += n;
        }
    }

    @Override
    public synchronized void flush() throws IOException {
        writeOut();
    }

    @Override
    public synchronized void close() throws IOException {
        try {
            writeOut();
        } finally {
            if (out != null) out.close();
            out = null;
        }
    }

    // Writes the buffered bytes, rotating after the line end that brings the file to the
    // rotation size. What a failing write did not write stays buffered: this stream is the file's
    // only writer, so the file's length tells how far the write got.
    private void writeOut() throws IOException {
        while (start < count) {
            if (out == null) out = new FileOutputStream(file, true);
            int stop = (int) Math.min(count, start + Math.max(0, nextRotation - size - 1));
            while (stop < count && buffer[stop] != '\n') ++stop;
            final boolean rotate = stop < count;
            if (rotate) ++stop;
            try {
                out.write(buffer, start, stop - start);
            } catch (IOException e) {
                final long written = Math.max(0, Math.min(stop - start, file.length() - size));
                size += written;
                // The rest moves to the front, so that what comes next still finds room.
                count -= start + (int) written;
                System.arraycopy(buffer, start + (int) written, buffer, 0, count);
                start = 0;
                throw e;
            }
            size += stop - start;
            start = stop;
            if (rotate) rotate();
        }
        start = count = 0;
    }

    // Renames the file to NAME.1 after moving the earlier files one number up, the oldest to
    // NAME.rotating, which is deleted once all else is done. A failing step undoes the steps made
    // before it. Either way the file (a new one, or the old one to append to) is opened again.
    private void rotate() {
        final Path dropped = new File(file.getPath() + ".rotating").toPath();
        final List<Path[]> moved = new ArrayList<>();
        Exception failure = null;
        try {
            final FileOutputStream open = out;
            out = null;
            open.close();
            Path to = dropped;
            for (int i = keep; i >= 0; --i) {
                final Path from = i > 0 ? rotatedName(file, i).toPath() : file.toPath();
                if (isFile(from)) {
                    if (to == dropped && isFile(dropped)) {
                        Files.move(from, to, StandardCopyOption.REPLACE_EXISTING);
                    } else {
                        Files.move(from, to);
                    }
                    moved.add(new Path[] {from, to});
                }
                to = from;
            }
        } catch (IOException | RuntimeException e) {
            failure = e;
            for (int i = moved.size() - 1; i >= 0; --i) {
                try {
                    Files.move(moved.get(i)[1], moved.get(i)[0]);
                } catch (IOException | RuntimeException ignored) {
                    // it stays under its new name
                }
            }
        }
        try {
            if (failure == null) size = 0;
            if (failure == null) Files.deleteIfExists(dropped);
        } catch (IOException | RuntimeException e) {
            // it stays until the next rotation replaces it
        }
        try {
            out = new FileOutputStream(file, true);
            size = file.length();
        } catch (IOException e) {
            // the next write tries again, and fails if it cannot open the file either
        }
        nextRotation = size + rotateSize;
        if (failure != null && !failing) rotationFailed(failure);
        failing = failure != null;
    }

    // True when the path is a plain file; false when nothing is there; anything else (a folder,
    // a link) is in the way of the rotation.
    private static boolean isFile(Path path) throws IOException {
        if (!Files.exists(path, LinkOption.NOFOLLOW_LINKS)) return false;
        final BasicFileAttributes attributes =
            Files.readAttributes(path, BasicFileAttributes.class, LinkOption.NOFOLLOW_LINKS);
        if (!attributes.isRegularFile()) throw new IOException(path + " is not a plain file");
        return true;
    }

    // Reports a failed rotation where someone reads it: a line in the file itself (for a service
    // nobody sees the standard error it had before the redirection), and on that standard error.
    private void rotationFailed(Exception e) {
        warnings.println("warning: " + file + " not rotated: " + e);
        final String reason = e.getClass() == IOException.class
                                  ? e.getMessage()
                                  : e.getClass().getSimpleName() + ": " + e.getMessage();
        // The service host reports it too (the class is there only with its pipe).
        if (!System.getProperty("lumex.watchdogPipe", "").isEmpty()) {
            Watchdog.rotationFailed(file.getPath(), reason);
        }
        final byte[] line = ("lumex: output rotation failed: " + reason + "; retrying after "
                             + rotateSize + " more bytes\n")
                                .getBytes(StandardCharsets.UTF_8);
        try {
            if (out != null) out.write(line);
            if (out != null) size += line.length;
        } catch (IOException | RuntimeException ignored) {
            // the standard error line is all there is
        }
    }
}
