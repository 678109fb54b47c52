// What the stand-in Java runtime does that the launcher's discovery tests do not show: its
// unpack200.exe keeping the pack without "-r" or failing when told to, and its x86-64 java.exe
// being the program Wine for Arm64 refuses to start.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/wine_harness.h"
#include "standin_runtime.h"

using namespace e2e;
namespace fs = std::filesystem;

namespace {

// The PE machine field of a program file.
unsigned peMachine(const fs::path& file) {
    const auto bytes = readFile(file).value_or("");
    if (bytes.size() < 0x40) return 0;
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes.at(i)); };
    const size_t pe = byte(0x3C) | byte(0x3D) << 8 | byte(0x3E) << 16 | byte(0x3F) << 24;
    return pe + 6 <= bytes.size() ? byte(pe + 4) | byte(pe + 5) << 8 : 0;
}

}  // namespace

TEST(StandinRuntime, Unpack200KeepsThePackWithoutRAndFailsWhenToldTo) {
    const struct {
        const char* name;
        bool remove, fail;
    } cases[] = {{"keep", false, false}, {"told-to-fail", true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path home = scratchDir() / c.name;
        const fs::path root =
            layOutRuntime(home, {.unpackFail = c.fail, .packedJars = {"lib/rt.jar"}});
        const fs::path pack = root / "lib/rt.jar.pack", jar = root / "lib/rt.jar";
        std::vector<std::string> args = {toWinePath(pack), toWinePath(jar)};
        if (c.remove) args.insert(args.begin(), "-r");

        const auto result = runWine(toWinePath(root / "bin/unpack200.exe"), args);
        EXPECT_EQ(result.exitCode, c.fail ? 1 : 0) << result.describe();
        EXPECT_TRUE(fs::exists(pack));
        EXPECT_EQ(readFile(jar), c.fail
                                     ? std::nullopt
                                     : std::optional<std::string>("unpacked\npacked lib/rt.jar\n"));
        const auto runs = readRunRecord(home);
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_TRUE(runs[0].starts_with("unpack args=")) << runs[0];
        EXPECT_NE(runs[0].find(toWinePath(pack)), std::string::npos) << runs[0];
    }
}

TEST(StandinRuntime, X64JavaIsAnAmd64ProgramThatWineForArm64DoesNotStart) {
    EXPECT_EQ(peMachine(standinBinDir() / "java.exe"), 0xAA64u);
    const fs::path home = scratchDir() / "x64";
    const fs::path java = layOutRuntime(home, {.x64Java = true}) / "bin/java.exe";
    ASSERT_EQ(peMachine(java), 0x8664u);

    const auto result = runViaWinrun(java, {"-version"});
    if (!readRunRecord(home).empty()) {
        GTEST_SKIP() << "this Wine runs x86-64 programs, as Windows on Arm does";
    }
    // Wine 8 for Arm64 has no x86-64 emulation: CreateProcess fails with ERROR_BAD_EXE_FORMAT.
    EXPECT_EQ(result.run.exitCode, 126) << result.describe();
    EXPECT_NE(result.err().find("(error 193)"), std::string::npos) << result.describe();
}
