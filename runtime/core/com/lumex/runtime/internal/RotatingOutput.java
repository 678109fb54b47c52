package com.lumex.runtime.internal;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.io.PrintStream;
import java.nio.file.Files;
import java.nio.file.StandardCopyOption;

/**
 * A redirected output file that rotates: once it holds at least the rotation size and a line has
 * just ended, it is copied to NAME.1 (NAME.1 having moved to NAME.2 and so on, the oldest of
 * keep files dropped) and started anew. Rotation happens only between lines, so no line is ever
 * split across two files, and the file is never closed: it is copied and then emptied, so a
 * rotation that fails (a locked or full disk) loses nothing; the file just grows until the next
 * attempt, one rotation size later.
 */
final class RotatingOutput extends OutputStream {
    /** How many earlier files are kept when the launcher does not say. */
    static final int DEFAULT_KEEP = 5;
    /** The most earlier files kept. */
    static final int MAX_KEEP = 1000;

    private final File file;
    private final FileOutputStream out;
    private final long rotateSize;
    private final int keep;
    private final PrintStream warnings;
    // Bytes in the file now, and the size at which the next rotation is tried.
    private long size;
    private long nextRotation;

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

    /** The rotation size in bytes of the property's text; 0 (no rotation) when not valid. */
    static long rotateSize(String text) {
        if (text == null) return 0;
        try {
            final long value = Long.parseLong(text.trim());
            return value > 0 ? value : 0;
        } catch (NumberFormatException e) {
            return 0;
        }
    }

    /** The number of earlier files to keep of the property's text: 1 to MAX_KEEP. */
    static int keep(String text) {
        if (text == null) return DEFAULT_KEEP;
        try {
            final long value = Long.parseLong(text.trim());
            return (int) Math.max(1, Math.min(MAX_KEEP, value));
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
        final int end = offset + length;
        int from = offset;
        while (from < end) {
            int lineEnd = from;
            while (lineEnd < end && bytes[lineEnd] != '\n') ++lineEnd;
            final boolean ended = lineEnd < end;
            final int count = (ended ? lineEnd + 1 : end) - from;
            out.write(bytes, from, count);
            size += count;
            from += count;
            if (ended && size >= nextRotation) rotate();
        }
    }

    @Override
    public synchronized void flush() throws IOException {
        out.flush();
    }

    @Override
    public synchronized void close() throws IOException {
        out.close();
    }

    // Moves the earlier files one number up (dropping the oldest), copies the file to NAME.1 and
    // empties it. Any failure leaves the file as it is.
    private void rotate() {
        try {
            out.flush();
            Files.deleteIfExists(rotatedName(file, keep).toPath());
            for (int i = keep - 1; i >= 1; --i) {
                final File older = rotatedName(file, i);
                if (older.exists()) {
                    Files.move(older.toPath(), rotatedName(file, i + 1).toPath(),
                               StandardCopyOption.REPLACE_EXISTING);
                }
            }
            Files.copy(file.toPath(), rotatedName(file, 1).toPath(),
                       StandardCopyOption.REPLACE_EXISTING);
            // Emptying also moves the write position back to the start.
            out.getChannel().truncate(0);
            size = 0;
            nextRotation = rotateSize;
        } catch (IOException | RuntimeException e) {
            warnings.println("warning: " + file + " not rotated: " + e);
            nextRotation = size + rotateSize;
        }
    }
}
