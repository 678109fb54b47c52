// The stand-in Java runtime under Wine, as the launcher's tests rely on it: java.exe/javaw.exe
// answer -version with the configured text and exit code and record each run, unpack200.exe
// unpacks, jvm.dll records or refuses its loading, and the x86-64 java.exe is what it claims.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "harness/wine_harness.h"
#include "standin_runtime.h"

using namespace e2e;
namespace fs = std::filesystem;

namespace {

constexpr char kDefaultVersionText[] =
    "openjdk version \"17.0.1\" 2021-10-19\nOpenJDK Runtime Environment (build 17.0.1+12)\n";
const std::vector<std::string> kJavaVariables = {"_JAVA_OPTIONS", "JAVA_TOOL_OPTIONS",
                                                 "JDK_JAVA_OPTIONS"};

// The PE machine field of a program file.
unsigned peMachine(const fs::path& file) {
    const auto bytes = readFile(file).value_or("");
    if (bytes.size() < 0x40) return 0;
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes.at(i)); };
    const size_t pe = byte(0x3C) | byte(0x3D) << 8 | byte(0x3E) << 16 | byte(0x3F) << 24;
    return pe + 6 <= bytes.size() ? byte(pe + 4) | byte(pe + 5) << 8 : 0;
}

}  // namespace

TEST(StandinRuntime, JavaAnswersVersionWithTheConfiguredTextAndCodeAndRecordsTheRun) {
    struct Case {
        const char* name;
        StandinRuntime runtime;
        const char* program;
        std::vector<std::string> args;
        Environment env;
        std::string expectedErr;
        uint32_t expectedCode;
        double minSeconds;
    };
    StandinRuntime old;
    old.versionText = "java version \"1.8.0_301\"\r\nJava(TM) SE Runtime Environment\n";
    old.exitCode = 3;
    old.holdStderrMs = 1500;
    old.oldJdkLayout = true;
    StandinRuntime failing;
    failing.exitCode = -2;
    const std::vector<Case> cases = {
        {"default", {}, "java.exe", {"-version"}, {}, kDefaultVersionText, 0, 0},
        {"javaw-old-layout",
         old,
         "javaw.exe",
         {"-version"},
         {{"_JAVA_OPTIONS", "-Xmx8m -Dx=\"a b\""}, {"JDK_JAVA_OPTIONS", ""}},
         old.versionText,
         3,
         1.5},
        {"not-a-version-run",
         failing,
         "java.exe",
         {"-cp", "a b.jar", "Main"},
         {},
         "",
         0xFFFFFFFE,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path home = scratchDir() / c.name;
        const fs::path program = layOutRuntime(home, c.runtime) / "bin" / c.program;
        WinrunOptions options;
        options.env = c.env;
        for (const auto& name : kJavaVariables) {
            const bool set = std::any_of(c.env.begin(), c.env.end(),
                                         [&](const auto& entry) { return entry.first == name; });
            if (!set) options.unset.push_back(name);
        }
        const auto result = runViaWinrun(program, c.args, options);
        EXPECT_EQ(result.exitCode, c.expectedCode) << result.describe();
        EXPECT_EQ(result.err(), c.expectedErr) << result.describe();
        EXPECT_EQ(result.out(), "");
        EXPECT_GE(result.run.seconds, c.minSeconds);

        const auto runs = readRunRecord(home);
        ASSERT_EQ(runs.size(), 1u) << result.describe();
        EXPECT_TRUE(runs[0].starts_with("run exe=")) << runs[0];
        EXPECT_EQ(recordField(runs[0], "exe"), toWinePath(program));
        const std::string args = recordField(runs[0], "args").value_or("");
        EXPECT_TRUE(args.ends_with(c.args.back())) << args;
        for (const auto& name : kJavaVariables) {
            std::string expected = "(unset)";
            for (const auto& [key, value] : c.env) {
                if (key == name) expected = value;
            }
            EXPECT_EQ(recordField(runs[0], name), expected) << name;
        }
        EXPECT_EQ(recordField(runs[0], "stderr"), "pipe");
    }
}

TEST(StandinRuntime, Unpack200TurnsThePackIntoTheJarAndRemovesThePackWithR) {
    struct Case {
        const char* name;
        bool remove;
        bool fail;
        int expectedCode;
        bool packStays;
    };
    const Case cases[] = {
        {"remove", true, false, 0, false},
        {"keep", false, false, 0, true},
        {"told-to-fail", true, true, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path home = scratchDir() / c.name;
        StandinRuntime runtime;
        runtime.packedJars = {"lib/rt.jar"};
        runtime.unpackFail = c.fail;
        const fs::path root = layOutRuntime(home, runtime);
        const fs::path pack = root / "lib" / "rt.jar.pack";
        const fs::path jar = root / "lib" / "rt.jar";
        std::vector<std::string> args = {toWinePath(pack), toWinePath(jar)};
        if (c.remove) args.insert(args.begin(), "-r");

        const auto result = runWine(toWinePath(root / "bin" / "unpack200.exe"), args);
        EXPECT_EQ(result.exitCode, c.expectedCode) << result.describe();
        EXPECT_EQ(fs::exists(pack), c.packStays);
        EXPECT_EQ(readFile(jar), c.fail
                                     ? std::nullopt
                                     : std::optional<std::string>("unpacked\npacked lib/rt.jar\n"));
        const auto runs = readRunRecord(home);
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_TRUE(runs[0].starts_with("unpack args=")) << runs[0];
        EXPECT_NE(runs[0].find(toWinePath(pack)), std::string::npos) << runs[0];
    }
}

// rundll32 is the cheapest loader at hand: it loads the DLL and calls an export with arguments
// that JNI_GetCreatedJavaVMs never looks at.
TEST(StandinRuntime, JvmDllRecordsItsLoadOrRefusesIt) {
    const fs::path home = scratchDir() / "jdk";
    StandinRuntime runtime;
    runtime.variants = {"server", "client"};
    runtime.refuseLoad = {"CLIENT"};
    layOutRuntime(home, runtime);
    std::vector<std::string> expected;
    for (const char* variant : {"server", "client"}) {
        const std::string dll = toWinePath(home / "bin" / variant / "jvm.dll");
        const auto result = runWine("rundll32.exe", {dll + ",JNI_GetCreatedJavaVMs"});
        EXPECT_FALSE(result.timedOut) << result.describe();
        expected.push_back((variant == std::string("client") ? "refused dll=" : "load dll=") + dll);
    }
    EXPECT_EQ(readLoadRecord(home), expected);
}

TEST(StandinRuntime, X64JavaIsAnAmd64ProgramThatWineForArm64DoesNotStart) {
    EXPECT_EQ(peMachine(standinBinDir() / "java.exe"), 0xAA64u);
    const fs::path home = scratchDir() / "x64";
    StandinRuntime runtime;
    runtime.x64Java = true;
    const fs::path java = layOutRuntime(home, runtime) / "bin" / "java.exe";
    ASSERT_EQ(peMachine(java), 0x8664u);

    // Wine 8 for Arm64 has no x86-64 emulation: CreateProcess fails with ERROR_BAD_EXE_FORMAT.
    const auto result = runViaWinrun(java, {"-version"});
    EXPECT_EQ(result.run.exitCode, 126) << result.describe();
    EXPECT_NE(result.err().find("(error 193)"), std::string::npos) << result.describe();
    EXPECT_TRUE(readRunRecord(home).empty());
}
