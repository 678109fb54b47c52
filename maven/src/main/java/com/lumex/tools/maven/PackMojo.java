package com.lumex.tools.maven;

import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.HashSet;
import java.util.List;
import java.util.Set;
import org.apache.maven.artifact.Artifact;
import org.apache.maven.plugin.AbstractMojo;
import org.apache.maven.plugin.MojoExecutionException;
import org.apache.maven.plugin.MojoFailureException;
import org.apache.maven.plugins.annotations.LifecyclePhase;
import org.apache.maven.plugins.annotations.Mojo;
import org.apache.maven.plugins.annotations.Parameter;
import org.apache.maven.plugins.annotations.ResolutionScope;
import org.apache.maven.project.MavenProject;

/**
 * Makes the service launcher of the project with `pack build` and, by default, copies the
 * project's jar and its runtime dependencies beside it under lib/: the launcher's folder is
 * then ready to copy to the Windows machine.
 */
@Mojo(name = "pack", defaultPhase = LifecyclePhase.PACKAGE,
        requiresDependencyResolution = ResolutionScope.RUNTIME, threadSafe = true)
public class PackMojo extends AbstractMojo {
    static final String LIB = "lib";

    /** The launcher description (TOML, docs/pack.md). */
    @Parameter(property = "lumex.descriptor",
            defaultValue = "${project.basedir}/src/main/lumex/service.toml")
    private File descriptor;

    /** The launcher to write; the jars go to lib/ in its folder. */
    @Parameter(property = "lumex.output",
            defaultValue = "${project.build.directory}/lumex/${project.artifactId}.exe")
    private File output;

    /**
     * Copy the project's jar and its runtime dependencies to lib/ beside the launcher; when the
     * description names no class path, these jars are the launcher's class path.
     */
    @Parameter(property = "lumex.copyDependencies", defaultValue = "true")
    private boolean copyDependencies;

    /** A pack of one's own; by default the plugin runs the one it carries for this machine. */
    @Parameter(property = "lumex.packExecutable")
    private File packExecutable;

    @Parameter(defaultValue = "${project}", readonly = true, required = true)
    private MavenProject project;

    @Override
    public void execute() throws MojoExecutionException, MojoFailureException {
        if (!descriptor.isFile()) {
            throw new MojoFailureException("The launcher description " + descriptor
                    + " does not exist: write it there, or set <descriptor> to its path");
        }
        final Path pack = packTool();
        final Path launcher = output.toPath().toAbsolutePath();
        final Description description;
        try {
            Files.createDirectories(launcher.getParent());
            description = new Description(Files.readAllBytes(descriptor.toPath()));
        } catch (IOException e) {
            throw new MojoExecutionException("Cannot prepare " + launcher + ": " + e, e);
        }

        Description.Derived derived = null;
        if (copyDependencies) {
            final List<String> classPath = copyJars(launcher.getParent().resolve(LIB));
            if (description.namesClassPath()) {
                getLog().info("The description names its own class path; the jars are in "
                        + LIB + "/ all the same");
            } else {
                derived = description.withClassPath(classPath);
                getLog().info("Class path: " + String.join(", ", classPath));
            }
        }

        Path input = descriptor.toPath();
        try {
            if (derived != null) {
                // Beside the description, so that the files it names are found where pack
                // looks for them; removed when pack is done.
                input = Files.createTempFile(input.toAbsolutePath().getParent(),
                        "." + descriptor.getName() + ".", ".toml");
                Files.write(input, derived.bytes);
            }
            runPack(pack, input, launcher, derived);
        } catch (IOException e) {
            throw new MojoExecutionException("Cannot run " + pack + ": " + e, e);
        } finally {
            if (derived != null) {
                try {
                    Files.deleteIfExists(input);
                } catch (IOException e) {
                    getLog().warn("Cannot remove " + input + ": " + e);
                }
            }
        }
    }

    private void runPack(Path pack, Path input, Path launcher, Description.Derived derived)
            throws IOException, MojoExecutionException, MojoFailureException {
        final Path outFile = Files.createTempFile("lumex-pack", ".out");
        final Path errFile = Files.createTempFile("lumex-pack", ".err");
        try {
            final Process process = new ProcessBuilder(pack.toString(), "build", "--input",
                    input.toString(), "--output", launcher.toString())
                    .redirectOutput(outFile.toFile())
                    .redirectError(errFile.toFile())
                    .start();
            final int code;
            try {
                code = process.waitFor();
            } catch (InterruptedException e) {
                process.destroy();
                Thread.currentThread().interrupt();
                throw new MojoExecutionException("Interrupted while pack was running", e);
            }
            for (final String line : Files.readAllLines(outFile, StandardCharsets.UTF_8)) {
                getLog().info(line);
            }
            final List<String> errors = Diagnostics.located(
                    Files.readAllLines(errFile, StandardCharsets.UTF_8), input.toString(),
                    descriptor.getPath(), derived);
            if (code == 0) {
                for (final String line : errors) getLog().warn(line);
            } else if (code == 2) {
                throw new MojoFailureException("The launcher description has mistakes:\n"
                        + String.join("\n", errors));
            } else {
                throw new MojoExecutionException("pack build failed (exit code " + code + "):\n"
                        + String.join("\n", errors));
            }
        } finally {
            Files.deleteIfExists(outFile);
            Files.deleteIfExists(errFile);
        }
    }

    // The pack to run: the configured one, or the carried one of this machine, unpacked into
    // the build folder.
    private Path packTool() throws MojoExecutionException, MojoFailureException {
        if (packExecutable != null) {
            if (!packExecutable.isFile()) {
                throw new MojoFailureException("The pack given as <packExecutable> ("
                        + packExecutable + ") does not exist");
            }
            return packExecutable.toPath();
        }
        final String osName = System.getProperty("os.name");
        final String osArch = System.getProperty("os.arch");
        final String carried = Platform.carriedPack(osName, osArch);
        if (carried == null) throw new MojoFailureException(Platform.noCarriedPack(osName, osArch));
        final Path target = new File(project.getBuild().getDirectory()).toPath()
                .resolve("lumex-pack").resolve(carried);
        try (InputStream in = PackMojo.class.getResourceAsStream("pack/" + carried)) {
            if (in == null) {
                throw new MojoExecutionException("This build of the plugin carries no pack for "
                        + carried + "; set <packExecutable> to a pack for this machine");
            }
            Files.createDirectories(target.getParent());
            final Path part = Files.createTempFile(target.getParent(), ".pack", ".part");
            try {
                Files.copy(in, part, StandardCopyOption.REPLACE_EXISTING);
                if (!part.toFile().setExecutable(true)) {
                    getLog().debug("Cannot mark " + part + " executable");
                }
                Files.move(part, target, StandardCopyOption.REPLACE_EXISTING,
                        StandardCopyOption.ATOMIC_MOVE);
            } finally {
                Files.deleteIfExists(part);
            }
        } catch (IOException e) {
            throw new MojoExecutionException("Cannot unpack the carried pack to " + target, e);
        }
        return target;
    }

    // Copies the project's jar and its runtime dependencies to lib/, in Maven's resolution
    // order; jars left there by an earlier build are removed. Gives the class path entries.
    private List<String> copyJars(Path lib) throws MojoExecutionException, MojoFailureException {
        final List<File> files = new ArrayList<>();
        final List<Libraries.Jar> jars = new ArrayList<>();
        final File own = project.getArtifact().getFile();
        if (own != null && own.isFile() && own.getName().endsWith(".jar")) {
            files.add(own);
            jars.add(new Libraries.Jar(project.getGroupId(), own.getName()));
        } else if (!"pom".equals(project.getPackaging())) {
            throw new MojoFailureException("The project's jar is not built yet: run the pack goal"
                    + " in the package phase (its default), after the jar is made");
        }
        for (final Artifact artifact : project.getArtifacts()) {
            final File file = artifact.getFile();
            if (!artifact.getArtifactHandler().isAddedToClasspath() || file == null
                    || !file.getName().endsWith(".jar")) {
                continue;
            }
            files.add(file);
            jars.add(new Libraries.Jar(artifact.getGroupId(), file.getName()));
        }
        final List<String> names = Libraries.names(jars);
        final List<String> classPath = new ArrayList<>();
        try {
            Files.createDirectories(lib);
            final Set<String> kept = new HashSet<>(names);
            try (DirectoryStream<Path> old = Files.newDirectoryStream(lib, "*.jar")) {
                for (final Path path : old) {
                    if (!kept.contains(path.getFileName().toString())) Files.delete(path);
                }
            }
            for (int i = 0; i < files.size(); ++i) {
                Files.copy(files.get(i).toPath(), lib.resolve(names.get(i)),
                        StandardCopyOption.REPLACE_EXISTING);
                classPath.add(LIB + "/" + names.get(i));
            }
        } catch (IOException e) {
            throw new MojoExecutionException("Cannot copy the jars to " + lib + ": " + e, e);
        }
        return classPath;
    }
}
