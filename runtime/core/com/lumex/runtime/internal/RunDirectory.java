package com.lumex.runtime.internal;

import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.FileVisitResult;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.SimpleFileVisitor;
import java.nio.file.attribute.BasicFileAttributes;
import java.security.MessageDigest;
import java.util.Arrays;

/**
 * Removal of the launcher's per-run directory when the JVM ends normally. Best effort: whatever
 * cannot be deleted (on Windows an open file, such as this runtime's jar when it was extracted
 * there) stays, and the hook never throws. Links are removed, never followed: a symbolic link is
 * deleted as a link, a junction (a directory that is a reparse point) as the junction itself.
 *
 * <p>Only a directory the launcher made for this run is removed. Any later "-D" option can give
 * "lumex.tempDir" another value, so the name alone proves nothing: the launcher also writes a
 * random text, headed by its process id, into the file {@value #MARK_FILE} of the directory it
 * made and into the environment variable {@value #MARK_VARIABLE}, which the JVM inherits from
 * the launcher's process and no option can change. The directory goes only when that variable
 * names this process and the directory's mark file (a plain file, not a link) holds exactly its
 * text; otherwise it stays where it is. A "lumex.tempDir" that is not a local absolute path (a
 * network path such as "\\host\share\dir") is not looked at: nothing of it is removed.
 */
final class RunDirectory {
    static final String MARK_FILE = ".lumex-run";
    static final String MARK_VARIABLE = "LUMEX_RUN_MARK";
    // The launcher's mark is a process id, a colon and 32 hex digits.
    private static final int MARK_LIMIT = 64;

    private static boolean registered;

    private RunDirectory() {}


    static synchronized void removeAtExit(final String directory) {
        // Looking up a network path contacts its host, at the end of every run.
        if (registered || !localAbsolute(directory, File.separatorChar == '\\')) return;
        final String mark;
        try {
            mark = System.getenv(MARK_VARIABLE);
        } catch (RuntimeException e) {
            return;
        }
        if (mark == null || mark.length() > MARK_LIMIT) return;
        registered = true;
        // The checks at the end: the process id costs HotSpot tens of milliseconds.
        Runtime.getRuntime().addShutdownHook(new Thread("run directory") {
            @Override
            public void run() {
                final Path root = ownDirectory(directory, mark);
                if (root != null) remove(root);
            }
        });
    }

    /**
     * True for a local absolute path: on Windows one that starts with a drive letter, a colon and
     * a separator; elsewhere one that starts with a single "/". Never a network path
     * ("\\host\share", "//host/share", "\\?\UNC\host\share") nor a device path ("\\.\C:").
     */
    static boolean localAbsolute(String path, boolean windows) {
        if (!windows) return path.startsWith("/") && !path.startsWith("//");
        final char letter = (char) (path.length() < 3 ? 0 : path.charAt(0) | 0x20);
        return letter >= 'a' && letter <= 'z' && path.charAt(1) == ':'
            && (path.charAt(2) == '\\' || path.charAt(2) == '/');
    }

    // The real path of the directory when it holds the launcher's mark for this process: a child
    // process inherits its parent's variable, which names the parent. The real path is the one
    // removed, whatever links led to it.
    private static Path ownDirectory(String directory, String mark) {
        try {
            final int colon = mark.indexOf(':');
            if (colon <= 0 || !mark.substring(0, colon).equals(Long.toString(processId()))) {
                return null;
            }
            final Path root = Paths.get(directory).toRealPath();
            // Never a whole drive or file system.
            if (root.getParent() == null) return null;
            return marked(root, mark.getBytes(StandardCharsets.UTF_8)) ? root : null;
        } catch (IOException | RuntimeException e) {
            return null;
        }
    }

    // True when the directory's mark file is a plain file that holds exactly the mark.
    private static boolean marked(Path root, byte[] mark) {
        final Path file = root.resolve(MARK_FILE);
        try {
            final BasicFileAttributes attributes =
                Files.readAttributes(file, BasicFileAttributes.class, LinkOption.NOFOLLOW_LINKS);
            if (!attributes.isRegularFile() || attributes.size() > MARK_LIMIT) return false;
            final byte[] content = new byte[MARK_LIMIT + 1];
            int length = 0;
            try (InputStream in = Files.newInputStream(file, LinkOption.NOFOLLOW_LINKS)) {
                for (int n; length < content.length
                            && (n = in.read(content, length, content.length - length)) > 0;) {
                    length += n;
                }
            }
            return MessageDigest.isEqual(Arrays.copyOf(content, length), mark);
        } catch (IOException | RuntimeException e) {
            return false;
        }
    }

    // ProcessHandle from Java 9 on, the runtime bean's "pid@host" on Java 8; -1 when unknown.
    private static long processId() {
        try {
            final Class<?> handle = Class.forName("java.lang.ProcessHandle");
            return (Long) handle.getMethod("pid").invoke(handle.getMethod("current").invoke(null));
        } catch (ReflectiveOperationException | RuntimeException e) {
            // Java 8
        }
        try {
            final Object bean = Class.forName("java.lang.management.ManagementFactory")
                                    .getMethod("getRuntimeMXBean")
                                    .invoke(null);
            final String name = (String) Class.forName("java.lang.management.RuntimeMXBean")
                                    .getMethod("getName")
                                    .invoke(bean);
            return Long.parseLong(name.substring(0, name.indexOf('@')));
        } catch (ReflectiveOperationException | RuntimeException e) {
            return -1;
        }
    }

    static void remove(Path root) {
        try {
            Files.walkFileTree(root, new SimpleFileVisitor<Path>() {
                @Override
                public FileVisitResult preVisitDirectory(Path dir, BasicFileAttributes attrs) {
                    // A junction is a directory that is also "other" (a reparse point).
                    if (!attrs.isOther()) return FileVisitResult.CONTINUE;
                    delete(dir);
                    return FileVisitResult.SKIP_SUBTREE;
                }

                @Override
                public FileVisitResult visitFile(Path file, BasicFileAttributes attrs) {
                    delete(file);
                    return FileVisitResult.CONTINUE;
                }

                @Override
                public FileVisitResult visitFileFailed(Path file, IOException e) {
                    return FileVisitResult.CONTINUE;
                }

                @Override
                public FileVisitResult postVisitDirectory(Path dir, IOException e) {
                    delete(dir);
                    return FileVisitResult.CONTINUE;
                }
            });
        } catch (Throwable e) {
            // Best effort: the launcher's next run does not depend on it.
        }
    }

    private static void delete(Path path) {
        try {
            Files.deleteIfExists(path);
        } catch (IOException | RuntimeException e) {
            // In use or not ours to delete: it stays.
        }
    }
}
