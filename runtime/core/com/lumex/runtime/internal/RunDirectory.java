package com.lumex.runtime.internal;

import java.io.IOException;
import java.nio.file.FileVisitResult;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.SimpleFileVisitor;
import java.nio.file.attribute.BasicFileAttributes;

/**
 * Removal of the launcher's per-run directory when the JVM ends normally. Best effort: whatever
 * cannot be deleted (on Windows an open file, such as this runtime's jar when it was extracted
 * there) stays, and the hook never throws. Links are removed, never followed: a symbolic link is
 * deleted as a link, a junction (a directory that is a reparse point) as the junction itself.
 */
final class RunDirectory {
    private static boolean registered;

    private RunDirectory() {}

    static synchronized void removeAtExit(String directory) {
        if (registered || directory.isEmpty()) return;
        final Path root;
        try {
            root = Paths.get(directory).toAbsolutePath().normalize();
        } catch (RuntimeException e) {
            return;
        }
        // Never a whole drive or file system.
        if (root.getParent() == null) return;
        registered = true;
        Runtime.getRuntime().addShutdownHook(new Thread("run directory") {
            @Override
            public void run() {
                remove(root);
            }
        });
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
