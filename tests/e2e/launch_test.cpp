// "/run" up to the application: the JVM created by the stand-in runtime's jvm.dll on a thread with
// the "-Xss" stack reservation, the launcher class's main called with its argument array, the
// failures of creation and of main, and the parcelkit family's helper library.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>

#include "launcher_e2e.h"

using namespace e2e;
namespace fs = std::filesystem;
using launcher::idOf;
using launcher::Setting;

namespace {

struct Launch {
    WinrunResult result;
    std::vector<std::string> log;    // without the "[s:ms] " stamps
    std::vector<std::string> trace;  // the stand-in's standin-jvm.log
    std::string exe;
};

// Packs dir/app.exe (console kind unless settings say otherwise) and runs it with "/run".
Launch launch(const fs::path& dir, const std::map<Setting, std::string>& settings,
              std::vector<std::string> args = {}, const StandinRuntime& runtime = {}) {
    pack::BlockWriter block = sampleBlock("2");
    for (const auto& [setting, value] : settings) block.string(idOf(setting), value);
    const fs::path exe = packRunnableLauncher(dir, "app.exe", block, runtime);
    args.insert(args.begin(), "/run");
    Launch run{runViaWinrun(exe, args, withTemp(dir / "temp")), {}, {}, toWinePath(exe)};
    run.log = logMessages(dir / "temp/pkx_nlog_1.log");
    run.trace = readJvmTrace(dir / "jre");
    return run;
}

bool has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The texts of the lines matching pattern's first group, in order.
std::vector<std::string> texts(const std::vector<std::string>& lines, const std::string& pattern) {
    const std::regex re(pattern);
    std::vector<std::string> found;
    for (const auto& line : lines) {
        std::smatch m;
        if (std::regex_match(line, m, re)) found.push_back(m[1]);
    }
    return found;
}

std::string all(const Launch& run) {
    return run.result.describe() + "\n--- log:\n" + joined(run.log) + "--- trace:\n" +
           joined(run.trace);
}

}  // namespace

TEST(JvmLaunch, MainReceivesTheLauncherValuesAndTheFilteredArguments) {
    const std::string foo = "f\xc3\xb6\xc3\xb6";
    struct Case {
        std::string name;
        std::map<Setting, std::string> settings;
        std::vector<std::string> args, expected;  // "EXE": the launcher as named
        bool xmxIsOption;
        StandinRuntime runtime = {};
    };
    const fs::path root = scratchDir();
    const std::string start = toWinePath(root / "paths") + "\\lib\\start";
    const std::vector<Case> cases = {
        {"module",
         {{Setting::MainFromModulePath, "1"},
          {Setting::MainClass, "com.acme.app/com.acme.app.Main"}},
         {},
         {"false", "/com.acme.app/com.acme.app.Main", "", "", "false", "EXE"},
         false},
        {"joptions",
         {{Setting::JavaOptionArguments, "1"}, {Setting::ProgramArguments, "--conf \"x y\""}},
         {"-J-Xmx1g", "-Dsun.locale.formatasdefault=true", foo},
         {"false", "", "", "", "false", "EXE", "--conf", "x y", foo},
         true},
        {"plain", {}, {"-J-Xmx1g"}, {"false", "", "", "", "false", "EXE", "-J-Xmx1g"}, false},
        {"kind1", {{Setting::LauncherKind, "1"}}, {}, {"true", "", "", "", "false", "EXE"}, false},
        {"paths",
         {{Setting::PassFirstPath, "1"},
          {Setting::FirstPath, "lib\\start"},
          {Setting::PassSecondPath, "1"},
          {Setting::SecondPath, "${NOT_SET_ANYWHERE}"},
          {Setting::LauncherFlag, "1"}},
         {},
         {"false", "", start, "${NOT_SET_ANYWHERE}", "true", "EXE"},
         false},
        // A splash text that cannot be made a Java string: no JNI call with its exception
        // pending, no splash call, and the launch goes on.
        {"splashfail",
         {{Setting::SplashSettings, "1"}, {Setting::SplashText2, "splashfail"}},
         {},
         {"false", "", "", "", "false", "EXE"},
         false,
         {.extraConfigLines = {"fail_strings=splashfail"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Launch run = launch(root / c.name, c.settings, c.args, c.runtime);
        EXPECT_EQ(run.result.exitCode, 0u) << all(run);
        EXPECT_EQ(texts(run.trace, "(call with an exception pending.*)"),
                  std::vector<std::string>{})
            << all(run);
        EXPECT_EQ(has(run.log, "ERROR: could not create string for splash properties"),
                  c.name == "splashfail")
            << all(run);
        std::vector<std::string> expected;
        for (const auto& arg : c.expected) expected.push_back(arg == "EXE" ? run.exe : arg);
        EXPECT_EQ(texts(run.trace, "arg \\d+: (.*)"), expected) << all(run);
        EXPECT_TRUE(has(run.trace, "main args=" + std::to_string(expected.size()))) << all(run);
        const auto options = texts(run.trace, "option \\d+: (.*)");
        EXPECT_EQ(options, texts(run.log, "vmoption \\d+: (.*)")) << all(run);
        EXPECT_EQ(has(options, "-Xmx1g"), c.xmxIsOption) << all(run);
        EXPECT_FALSE(run.trace.empty() || run.trace.back() != "destroy") << all(run);
    }
}

TEST(JvmLaunch, TheLastValidStackSizeSetsTheThreadReservation) {
    const std::vector<std::pair<std::string, long>> cases = {{"-Xss0", 0},
                                                             {"-Xss512k -Xss2m", 2097152},
                                                             {"-Xss100", 65536},
                                                             {"-Xss1mb", 0},
                                                             {"-Xss4g", 0}};
    const fs::path root = scratchDir();
    std::string defaultReserve;
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& [options, size] = cases[i];
        SCOPED_TRACE(options);
        const Launch run = launch(root / std::to_string(i), {{Setting::JvmOptions, options}});
        EXPECT_EQ(run.result.exitCode, 0u) << all(run);
        EXPECT_TRUE(has(run.log, "used stack size " + std::to_string(size))) << all(run);
        const auto reserve = texts(run.trace, "stack reserve=(.*)");
        ASSERT_EQ(reserve.size(), 1u) << all(run);
        if (size != 0) {
            // Wine raises every thread reservation below 1 MiB to 1 MiB.
            EXPECT_TRUE(reserve[0] == std::to_string(size) ||
                        (size < 1048576 && reserve[0] == "1048576"))
                << all(run);
            continue;
        }
        if (defaultReserve.empty()) defaultReserve = reserve[0];
        EXPECT_EQ(reserve[0], defaultReserve) << "the executable's default stack";
        EXPECT_NE(reserve[0], "unknown");
        EXPECT_NE(reserve[0], "65536");
    }
}

TEST(JvmLaunch, FailuresOfCreationAndOfMainSetTheExitCode) {
    struct Case {
        std::string name;
        StandinRuntime runtime;
        uint32_t exitCode;
        std::vector<std::string> logged;  // ERROR lines in this order
        std::string traced;               // a trace line; empty: main was not called
    };
    const std::vector<Case> cases = {
        {"throws",
         {.mainBehaviour = "throw:bad \xc3\xa4"},
         1,
         {"ERROR: an exception occurred", "ERROR: java.lang.IllegalStateException: bad \xc3\xa4",
          "ERROR: could not call main"},
         "throw java.lang.IllegalStateException: bad \xc3\xa4"},
        {"noclass", withoutLauncherClass(), 1, {"ERROR: could not find main class"}, ""},
        {"nocreate", {.createResult = -1}, 1, {"ERROR: could not initialize JVM"}, ""},
        {"exits", {.mainBehaviour = "exit:7"}, 7, {}, "exit 7"},
    };
    const fs::path root = scratchDir();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Launch run = launch(root / c.name, {}, {}, c.runtime);
        EXPECT_EQ(run.result.exitCode, c.exitCode) << all(run);
        EXPECT_EQ(texts(run.log, "(ERROR: .*)"), c.logged) << all(run);
        EXPECT_EQ(has(run.trace, c.traced), !c.traced.empty()) << all(run);
        EXPECT_EQ(texts(run.trace, "(main args=.*)").size(), c.traced.empty() ? 0u : 1u);
        EXPECT_FALSE(has(run.trace, "destroy")) << all(run);
        // A JVM that was never destroyed still reads its option strings at the process's end.
        EXPECT_EQ(has(run.trace, "options at exit intact"), c.runtime.createResult == 0)
            << all(run);
        if (c.name == "noclass") {
            EXPECT_EQ(run.result.err(), std::string(kNoLauncherClass) + "\r\n\r\nLog: " +
                                            toWinePath(root / c.name / "temp/pkx_nlog_1.log") +
                                            "\r\n");
        }
    }
}

TEST(JvmLaunch, ParcelkitLaunchesRegisterTheHelperLibrary) {
    const fs::path root = scratchDir();
    for (const auto& [minimum, full] :
         std::vector<std::pair<std::string, std::string>>{{"", "1"}, {"1.7", "0"}}) {
        SCOPED_TRACE("minimum " + minimum);
        const fs::path dir = root / ("min" + minimum);
        placeHelperLibrary(dir / "app");
        // The application folder as an absolute path, or relative to the launcher's folder.
        std::map<Setting, std::string> settings = {
            {Setting::ProductMarker, "p"},
            {Setting::ApplicationDirectory, minimum.empty() ? toWinePath(dir / "app") : "app"}};
        if (!minimum.empty()) settings[Setting::MinVersion] = minimum;
        const Launch run = launch(dir, settings);
        EXPECT_EQ(run.result.exitCode, 0u) << all(run);
        const std::vector<std::string> order = {
            "initFromLauncher 1",
            "registerNatives full=" + full + " module=self",
            "property lumex.moduleName=" + run.exe,
            "find class com/parcelkit/runtime/launcher/WinLauncher",
            "main args=6",
            "destroy"};
        auto at = run.trace.begin();
        for (const auto& line : order) {
            at = std::find(at, run.trace.end(), line);
            EXPECT_NE(at, run.trace.end()) << "missing in order: " << line << "\n" << all(run);
        }
        EXPECT_TRUE(has(texts(run.trace, "option \\d+: (.*)"), "-Dlumex.isParcelkit=true"))
            << all(run);
        EXPECT_TRUE(has(run.log, "ERROR: helper says hi 7")) << all(run);
        EXPECT_TRUE(has(
            run.log, "ERROR: helper formats 2a after   2.5|7   |narrow 18446744073709551615 end"))
            << all(run);
        EXPECT_EQ(has(run.log, "partially registering natives"), full == "0") << all(run);
    }
}
