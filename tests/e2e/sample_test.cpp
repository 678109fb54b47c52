// The README's sample service, packed from examples/sample/service.toml by `pack build`, run as a
// user would: the usage line and "/run" with the stand-in runtime in jre\ beside it. Its icon and
// version information are what Windows reads of the file, and `pack inspect` and `pack extract`
// give them back so that building again makes the same file. Every launcher `pack build` writes
// carries the service events' texts, which Windows reads from it as a message table.
#include <gtest/gtest.h>

#include <algorithm>

#include "launcher_e2e.h"

using namespace e2e;
namespace fs = std::filesystem;

TEST(Sample, ThePackedSampleServiceRunsItsApplication) {
    const fs::path description = repoRoot() / "examples/sample/service.toml";
    const fs::path dir = scratchDir();
    layOutRuntime(dir / "jre", {});
    const fs::path exe = dir / "SampleService.exe";
    const auto packed = runProcess({PACK_TOOL, "build", "--stub", stubPath().string(), "--input",
                                    description.string(), "--output", exe.string()});
    ASSERT_EQ(packed.exitCode, 0) << packed.describe();

    const auto info = runWine(helperPath("file_info").string(), {exe.string()});
    ASSERT_EQ(info.exitCode, 0) << info.describe();
    for (const char* line :
         {"ProductName: Sample Service\n", "ProductVersion: 1.0\n", "FileVersion: 1.0.0.1\n",
          "CompanyName: Example Corp.\n", "LegalCopyright: Copyright 2026 Example Corp.\n",
          "FileDescription: A sample Java application run as a Windows service\n",
          "fixed-file-version: 1.0.0.1\n", "fixed-product-version: 1.0.0.0\n",
          "translation: 0409 04B0\n", "icon-groups: 1\n", "large-icon: 32x32\n",
          "loaded-icon: 16x16\n"}) {
        EXPECT_NE(info.out.find(line), std::string::npos) << line << info.describe();
    }
    const auto inspected = runProcess({PACK_TOOL, "inspect", exe.string()});
    EXPECT_NE(inspected.out.find("icon = \"icon.ico\"\n\n[version]\nproduct_name = \"Sample "
                                 "Service\"\n"),
              std::string::npos)
        << inspected.describe();
    const auto extracted = runProcess({PACK_TOOL, "extract", exe.string(), (dir / "x").string()});
    ASSERT_EQ(extracted.exitCode, 0) << extracted.describe();
    const auto again =
        runProcess({PACK_TOOL, "build", "--stub", stubPath().string(), "--input",
                    (dir / "x/service.toml").string(), "--output", (dir / "again.exe").string()});
    ASSERT_EQ(again.exitCode, 0) << again.describe();
    EXPECT_EQ(readFile(dir / "again.exe"), readFile(exe)) << "a rebuild makes the same bytes";

    const auto usage = runViaWinrun(exe, {"/?"});
    ASSERT_EQ(usage.exitCode, 0u) << usage.describe();
    EXPECT_TRUE(usage.out().starts_with("Usage: SampleService.exe /install | /uninstall"))
        << usage.describe();

    const auto run = runViaWinrun(exe, {"/run", "extra"}, withTemp(dir / "temp"));
    const auto log = logMessages(dir / "temp/pkx_nlog_1.log");
    const auto trace = readJvmTrace(dir / "jre");
    const std::string all =
        run.describe() + "\n--- log:\n" + joined(log) + "--- trace:\n" + joined(trace);
    ASSERT_EQ(run.exitCode, 0u) << all;
    const auto has = [](const std::vector<std::string>& lines, const std::string& part,
                        const std::string& also = "") {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.find(part) != std::string::npos && l.find(also) != std::string::npos;
        });
    };
    // The embedded runtime jar is extracted and makes the class path; the bundled runtime is
    // found first; the configured option, the main class and the argument reach the JVM.
    EXPECT_TRUE(has(log, "Included files: 1")) << all;
    EXPECT_TRUE(has(trace, ": -Djava.class.path=", "\\lumex-runtime.jar")) << all;
    EXPECT_TRUE(has(log, "(type B)")) << all;
    EXPECT_TRUE(has(trace, ": -Xmx256m")) << all;
    EXPECT_TRUE(has(trace, "arg 1: com.example.sample.Main")) << all;
    EXPECT_TRUE(has(trace, "arg 6: extra")) << all;
}

// The Event Viewer formats a launcher's events from the launcher file itself: every launcher the
// tool writes, with or without an icon and version information, gives whole sentences.
TEST(Sample, EveryPackedLauncherCarriesTheEventTexts) {
    const fs::path dir = scratchDir();
    writeFile(dir / "plain.toml", "[service]\nname = \"Plain\"\n[java]\nmain_class = \"a.M\"\n");
    const struct {
        fs::path description;
        std::string exe;
    } launchers[] = {{dir / "plain.toml", "plain.exe"},
                     {repoRoot() / "examples/sample/service.toml", "sample.exe"}};
    const struct {
        std::vector<std::string> args;
        std::string line;
    } messages[] = {
        {{"1003", "Svc", "3"},
         "message-1003: The application of the service Svc ended on its own with exit code 3.\n"},
        {{"1007", "Svc", "No Java runtime was found."},
         "message-1007: The service Svc could not start its application: No Java runtime was "
         "found.\n"},
        {{"1009", "Svc"}, "message-1009: none"},  // one past the last event
    };
    for (const auto& launcher : launchers) {
        const fs::path exe = dir / launcher.exe;
        const auto packed =
            runProcess({PACK_TOOL, "build", "--stub", stubPath().string(), "--input",
                        launcher.description.string(), "--output", exe.string()});
        ASSERT_EQ(packed.exitCode, 0) << packed.describe();
        for (const auto& message : messages) {
            std::vector<std::string> args = {exe.string(), "--message"};
            args.insert(args.end(), message.args.begin(), message.args.end());
            const auto info = runWine(helperPath("file_info").string(), args);
            ASSERT_EQ(info.exitCode, 0) << info.describe();
            EXPECT_TRUE(info.out.starts_with(message.line)) << launcher.exe << info.describe();
        }
    }
}
