// The README's sample service, packed from examples/sample/service.toml through the packing
// library as `pack build` packs it, run as a user would: the usage line and "/run" with the
// stand-in runtime in jre\ beside it.
#include <gtest/gtest.h>

#include <algorithm>

#include "launcher_e2e.h"
#include "launcher_toml.h"

using namespace e2e;
namespace fs = std::filesystem;

TEST(Sample, ThePackedSampleServiceRunsItsApplication) {
    const fs::path description = repoRoot() / "examples/sample/service.toml";
    const auto text = readFile(description);
    ASSERT_TRUE(text) << description;
    const pack::TomlBuild built =
        pack::buildFromToml(*text, description.string(), description.parent_path().string());
    std::string errors;
    for (const auto& e : built.errors) errors += pack::formatDiagnostic("service.toml", e) + "\n";
    ASSERT_TRUE(built.writer) << errors;

    const fs::path dir = scratchDir();
    layOutRuntime(dir / "jre", {});
    const fs::path exe = packLauncher(dir, "SampleService.exe", *built.writer);
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
