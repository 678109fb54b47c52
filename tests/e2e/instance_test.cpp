// The single-instance guard under Wine: the semaphore's name in each scope and its way to the
// JVM, a second start that ends at once and raises the first one's windows, marker counters, and
// copies in other folders that never meet.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <map>
#include <regex>
#include <thread>

#include "launcher_e2e.h"

using namespace e2e;
namespace fs = std::filesystem;
using launcher::idOf;
using launcher::Setting;

namespace {

using Settings = std::map<Setting, std::string>;

fs::path packGuarded(const fs::path& dir, const std::string& name, const Settings& settings,
                     const StandinRuntime& runtime = {}) {
    fs::remove_all(dir / "jre");  // no release file or records of an earlier run
    pack::BlockWriter block = sampleBlock("2");
    for (const auto& [setting, value] : settings) block.string(idOf(setting), value);
    return packRunnableLauncher(dir, name, block, runtime);
}

// The application waits until released; with windows, it shows a minimised and a hidden one.
StandinRuntime waitingRuntime(bool windows = false) {
    StandinRuntime runtime;
    runtime.mainBehaviour = "wait";
    if (windows) runtime.extraConfigLines = {"windows=1"};
    return runtime;
}

// "/run" with a fresh temp folder of its own, where its log goes.
WinrunResult run(const fs::path& exe, const fs::path& temp) {
    fs::remove_all(temp);
    return runViaWinrun(exe, {"/run"}, withTemp(temp));
}
std::future<WinrunResult> start(const fs::path& exe, const fs::path& temp) {
    return std::async(std::launch::async, [exe, temp] { return run(exe, temp); });
}

size_t countMatching(const std::vector<std::string>& lines, const std::string& pattern) {
    const std::regex re(pattern);
    return static_cast<size_t>(std::count_if(
        lines.begin(), lines.end(), [&](const auto& line) { return std::regex_match(line, re); }));
}

// Waits (at most a minute) until the trace of home holds count lines matching pattern.
bool awaitTrace(const fs::path& home, const std::string& pattern, size_t count) {
    for (int i = 0; i < 600; ++i) {
        if (countMatching(readJvmTrace(home), pattern) >= count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// The executable's canonical path as the semaphore name holds it.
std::string mangled(const fs::path& exe) {
    std::string name = canon(exe);
    std::replace(name.begin(), name.end(), '\\', '_');
    std::replace(name.begin(), name.end(), ' ', '_');
    return name;
}

void release(const fs::path& home) {
    writeFile(home / "standin-release", "");
}

std::string semaphoreLine(const std::vector<std::string>& log) {
    for (const auto& line : log) {
        if (line.starts_with("semaphore name ")) return line;
    }
    return {};
}

std::string escaped(std::string text) {
    return std::regex_replace(text, std::regex(R"([\\.^$|()\[\]{}*+?])"), R"(\$&)");
}

}  // namespace

TEST(SingleInstance, NamesInEveryScopeReachTheJvm) {
    const fs::path dir = scratchDir() / "My App";
    struct Case {
        Settings settings;
        std::string prefix, suffix;  // regular expressions around the mangled path
    };
    const std::vector<Case> cases = {
        {{{Setting::SingleInstance, "1"}, {Setting::SingleInstanceMachineWide, "1"}},
         R"(Global\\)",
         ""},
        {{{Setting::SingleInstance, "1"}}, R"(Global\\S-1-5-[0-9-]+)", ""},
        {{{Setting::SingleInstance, "1"}, {Setting::SingleInstanceSession, "1"}}, R"(Local\\)", ""},
        {{{Setting::SingleInstanceMachineWide, "1"}, {Setting::SingleInstanceSession, "1"}},
         R"(Global\\)",
         "0"},
    };
    for (const Case& c : cases) {
        const fs::path exe = packGuarded(dir, "Svc Host.exe", c.settings);
        const WinrunResult result = run(exe, dir / "temp");
        const auto log = logMessages(dir / "temp/pkx_nlog_1.log");
        const auto trace = readJvmTrace(dir / "jre");
        const std::string context = c.prefix + "\n" + result.describe() + joined(log);
        EXPECT_EQ(result.exitCode, 0u) << context;

        const std::string name = c.prefix + escaped(mangled(exe)) + c.suffix;
        EXPECT_TRUE(std::regex_match(semaphoreLine(log),
                                     std::regex("semaphore name " + name + ", code 0, value .+")))
            << context;
        EXPECT_EQ(countMatching(log, "semaphore name .*, value 0+"), 0u) << "a null handle";
        EXPECT_EQ(countMatching(trace, "option [0-9]+: -Dlumex\\.semaphoreName=" + name), 1u)
            << context << joined(trace);
        const bool perUser = c.prefix.find("S-1-5") != std::string::npos;
        EXPECT_EQ(countMatching(log, "user single instance"), perUser ? 1u : 0u) << context;
        EXPECT_EQ(countMatching(log, "user single instance failed.*"), 0u) << context;
    }
}

TEST(SingleInstance, SecondStartEndsAndRaisesTheFirstsWindowsExclusive) {
    const fs::path dir = scratchDir();
    const fs::path exe = packGuarded(
        dir, "app.exe", {{Setting::SingleInstance, "1"}, {Setting::RaiseOtherInstance, "1"}},
        waitingRuntime(true));
    auto first = start(exe, dir / "temp1");
    ASSERT_TRUE(awaitTrace(dir / "jre", "windows shown", 1)) << joined(readJvmTrace(dir / "jre"));

    const WinrunResult second = run(exe, dir / "temp2");
    const auto log = logMessages(dir / "temp2/pkx_nlog_1.log");
    EXPECT_EQ(second.exitCode, 0u) << second.describe();
    release(dir / "jre");
    const WinrunResult firstResult = first.get();
    EXPECT_EQ(firstResult.exitCode, 0u) << firstResult.describe();

    const auto trace = readJvmTrace(dir / "jre");
    std::smatch pid;
    const std::string traceText = joined(trace);
    ASSERT_TRUE(std::regex_search(traceText, pid, std::regex("wait pid=([0-9]+)"))) << traceText;
    // The second start found the first one's id, raised its one visible window and left before
    // looking for a JVM.
    const std::vector<std::string> expected = {"single instance mode",
                                               "other pid " + pid[1].str(),
                                               "found window",
                                               "restore",
                                               "foreground",
                                               "popup",
                                               "done",
                                               "exiting"};
    std::vector<std::string> guardLines;
    for (const auto& line : log) {
        for (const auto& want : expected) {
            if (line == want || (want == "found window" && line.starts_with(want + " "))) {
                guardLines.push_back(want);
            }
        }
    }
    EXPECT_EQ(guardLines, expected) << joined(log);
    EXPECT_EQ(countMatching(log, "Creating JVM|.*jvm\\.dll.*"), 0u) << joined(log);
    EXPECT_EQ(readLoadRecord(dir / "jre").size(), 1u) << "only the first instance loads a JVM";
    EXPECT_EQ(countMatching(trace, "wait pid=.*"), 1u) << traceText;
    EXPECT_EQ(countMatching(trace, "window shown visible=1 iconic=0 foreground=1"), 1u)
        << traceText;
    EXPECT_EQ(countMatching(trace, "window hidden visible=0 iconic=0 .*"), 1u) << traceText;
}

TEST(SingleInstance, MarkerCountersAndOtherFoldersNeverBlock) {
    const fs::path root = scratchDir();
    // Two instances of one marker-mode launcher, and single-instance copies in two folders.
    const fs::path marker = packGuarded(
        root / "marker", "app.exe", {{Setting::SingleInstanceMachineWide, "1"}}, waitingRuntime());
    const Settings single = {{Setting::SingleInstance, "1"}};
    const fs::path copyA = packGuarded(root / "a", "app.exe", single, waitingRuntime());
    const fs::path copyB = packGuarded(root / "b", "app.exe", single, waitingRuntime());

    std::vector<std::future<WinrunResult>> runs;
    runs.push_back(start(marker, root / "temp-m1"));
    ASSERT_TRUE(awaitTrace(root / "marker/jre", "wait pid=.*", 1));
    runs.push_back(start(marker, root / "temp-m2"));
    runs.push_back(start(copyA, root / "temp-a"));
    runs.push_back(start(copyB, root / "temp-b"));
    EXPECT_TRUE(awaitTrace(root / "marker/jre", "wait pid=.*", 2));
    EXPECT_TRUE(awaitTrace(root / "a/jre", "wait pid=.*", 1));
    EXPECT_TRUE(awaitTrace(root / "b/jre", "wait pid=.*", 1));
    for (const char* home : {"marker/jre", "a/jre", "b/jre"}) release(root / home);
    for (auto& run : runs) {
        const WinrunResult result = run.get();
        EXPECT_EQ(result.exitCode, 0u) << result.describe();
    }

    const std::string base = escaped("semaphore name Global\\" + mangled(marker));
    EXPECT_TRUE(std::regex_match(semaphoreLine(logMessages(root / "temp-m1/pkx_nlog_1.log")),
                                 std::regex(base + "0, code 0, .*")));
    EXPECT_TRUE(std::regex_match(semaphoreLine(logMessages(root / "temp-m2/pkx_nlog_1.log")),
                                 std::regex(base + "1, code 0, .*")));
    for (const char* temp : {"temp-a", "temp-b"}) {
        const auto log = logMessages(root / temp / "pkx_nlog_1.log");
        EXPECT_TRUE(std::regex_match(semaphoreLine(log), std::regex(".*, code 0, .*")))
            << joined(log);
        EXPECT_EQ(countMatching(log, "exiting"), 0u) << joined(log);
    }
}
