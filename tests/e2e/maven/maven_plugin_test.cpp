// The Maven plugin as a Java team uses it: maven/sample (a main class and commons-cli from
// Debian's Maven repository) built offline with `mvn package` and the plugin that maven/build.sh
// installed into build/maven/repo (the test fixture maven_plugin_build). The folder it leaves
// holds the launcher and lib/ with both jars, which are the launcher's class path; the launcher
// is the one `pack build` makes from the description with that class path, byte for byte, and
// under Wine with the stand-in runtime it reaches the main class.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "launcher_e2e.h"

using namespace e2e;
namespace fs = std::filesystem;

namespace {

std::string version() {
    std::string text = readFile(repoRoot() / "VERSION").value_or("");
    text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return std::isspace(c); }),
               text.end());
    return text;
}

// maven/sample copied to dir/greeter.
fs::path copySample(const fs::path& dir) {
    const fs::path project = dir / "greeter";
    fs::copy(repoRoot() / "maven/sample", project, fs::copy_options::recursive);
    return project;
}

RunResult mvnPackage(const fs::path& project, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> argv = {(repoRoot() / "maven/mvn.sh").string(), "-f",
                                     (project / "pom.xml").string(), "-Dlumex.version=" + version(),
                                     "package"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return runProcess(argv, {.timeout = std::chrono::seconds(120)});
}

std::set<std::string> filesIn(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
    return names;
}

}  // namespace

TEST(MavenPlugin, PackageLeavesAFolderWhoseLauncherRunsTheApplication) {
    const fs::path dir = scratchDir();
    const fs::path project = copySample(dir);
    const auto built = mvnPackage(project);
    ASSERT_EQ(built.exitCode, 0) << built.describe();
    std::cout << "mvn package took " << built.seconds << " s\n";

    const fs::path folder = project / "target/lumex";
    const fs::path exe = folder / "greeter.exe";
    EXPECT_EQ(filesIn(folder), (std::set<std::string>{"greeter.exe", "lib"}));
    EXPECT_EQ(filesIn(folder / "lib"),
              (std::set<std::string>{"greeter-1.0.jar", "commons-cli-1.5.0.jar"}));
    EXPECT_EQ(filesIn(project / "src/main/lumex"),
              (std::set<std::string>{"service.toml", "app.ico"}))
        << "the description the plugin derives is removed";

    const std::string pack = (repoRoot() / "build/pack-linux-x64/tools/pack/pack").string();
    const auto inspected = runProcess({pack, "inspect", exe.string()});
    ASSERT_EQ(inspected.exitCode, 0) << inspected.describe();
    const std::string classPath =
        "class_path = [\"lib/greeter-1.0.jar\", \"lib/commons-cli-1.5.0.jar\"]\n";
    EXPECT_NE(inspected.out.find("main_class = \"com.example.app.Main\"\n" + classPath),
              std::string::npos)
        << inspected.describe();

    // The same description with the class path written in by hand, beside it (for its icon).
    std::string description = readFile(project / "src/main/lumex/service.toml").value_or("");
    const size_t java = description.find("[java]\n");
    ASSERT_NE(java, std::string::npos);
    description.insert(java + 7, classPath);
    writeFile(project / "src/main/lumex/by-hand.toml", description);
    const auto byHand =
        runProcess({pack, "build", (project / "src/main/lumex/by-hand.toml").string(), "-o",
                    (dir / "by-hand.exe").string()});
    ASSERT_EQ(byHand.exitCode, 0) << byHand.describe();
    EXPECT_TRUE(readFile(dir / "by-hand.exe") == readFile(exe)) << "the plugin's launcher differs";

    layOutRuntime(folder / "jre", {});
    const auto run = runViaWinrun(exe, {"/run"}, withTemp(dir / "temp"));
    const auto trace = readJvmTrace(folder / "jre");
    const std::string all = run.describe() + "\n--- trace:\n" + joined(trace);
    ASSERT_EQ(run.exitCode, 0u) << all;
    const auto has = [&](const std::string& part, const std::string& also) {
        return std::any_of(trace.begin(), trace.end(), [&](const std::string& l) {
            return l.find(part) != std::string::npos && l.find(also) != std::string::npos;
        });
    };
    EXPECT_TRUE(has(": -Djava.class.path=", "greeter-1.0.jar")) << all;
    EXPECT_TRUE(has(": -Djava.class.path=", "commons-cli-1.5.0.jar")) << all;
    EXPECT_TRUE(has("arg 1: com.example.app.Main", "")) << all;
}

TEST(MavenPlugin, ABadOrMissingDescriptionFailsTheBuildWithItsPlace) {
    const fs::path dir = scratchDir();
    const fs::path project = copySample(dir);
    writeFile(project / "bad.toml",
              "[service]\nname = \"Greeter\"\nstart = \"automatic\"\n\n[java]\n"
              "main_class = \"com.example.app.Main\"\nmin_version = \"11-ea\"\n");
    const fs::path bad = project / "bad.toml", missing = project / "src/main/lumex/none.toml";
    const struct {
        fs::path descriptor;
        std::vector<std::string> lines;
    } cases[] = {
        // Line 7 of the description is line 8 of what pack reads: the class path comes first.
        {bad,
         {bad.string() + ":3:9: service.start: \"automatic\" is not allowed here",
          bad.string() + ":7:15: java.min_version: \"11-ea\" is no version",
          "The launcher description has mistakes"}},
        {missing, {"The launcher description " + missing.string() + " does not exist"}},
    };
    for (const auto& c : cases) {
        const auto built = mvnPackage(project, {"-Dlumex.descriptor=" + c.descriptor.string()});
        EXPECT_NE(built.exitCode, 0) << built.describe();
        EXPECT_NE(built.out.find("BUILD FAILURE"), std::string::npos) << built.describe();
        for (const auto& line : c.lines) {
            EXPECT_NE(built.out.find(line), std::string::npos) << line << built.describe();
        }
        EXPECT_FALSE(fs::exists(project / "target/lumex/greeter.exe")) << c.descriptor;
    }
    EXPECT_EQ(filesIn(project), (std::set<std::string>{"bad.toml", "pom.xml", "src", "target"}))
        << "the description the plugin derives is removed";
}
