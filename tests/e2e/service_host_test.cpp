// The launcher as a real service under Wine's Service Control Manager: the packed launcher is
// installed and started, its service host starts the service child (the same executable with the
// marker last), which runs the stand-in runtime's main in "serve" mode until the host writes the
// stop line to its standard input. Cross-checked with Wine's sc.exe and the stand-in's trace.
//
// Service names are "LmxE2eHost" and the test's name; they are removed before and after each
// test, since Wine starts auto-start services again with every new session.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <thread>

#include "launcher_e2e.h"

using namespace e2e;
namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

std::string crlf(std::initializer_list<std::string> lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

class ServiceHostExclusive : public ::testing::Test {
protected:
    void SetUp() override {
        name_ = "LmxE2eHost" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
        removeService();
        dir_ = scratchDir();
    }

    void TearDown() override {
        removeService();
        EXPECT_TRUE(waitForState(-1)) << name_ << " is still there";
    }

    RunResult removeService() const {
        return runWine(helperPath("service_query").string(), {"remove", name_});
    }

    // A launcher whose stand-in runtime's main plays behaviour (it shows errors in message
    // boxes when it is not a service), with more settings when given.
    fs::path pack(const std::string& behaviour, StandinRuntime runtime = {},
                  const std::vector<std::pair<launcher::Setting, std::string>>& settings = {}) {
        pack::BlockWriter w;
        w.string(launcher::idOf(launcher::Setting::ServiceName), name_)
            .string(launcher::idOf(launcher::Setting::LauncherKind), "1");
        for (const auto& [id, value] : settings) w.string(launcher::idOf(id), value);
        w.wide(launcher::idOf(launcher::Message::ErrorCaption), u"Launcher Error");
        runtime.mainBehaviour = behaviour;
        return packRunnableLauncher(dir_, "host svc.exe", w, runtime);
    }

    // The text after prefix in the first trace line that starts with it; empty when none.
    static std::string traced(const Lines& trace, const std::string& prefix) {
        for (const auto& line : trace) {
            if (line.starts_with(prefix)) return line.substr(prefix.size());
        }
        return "";
    }

    // Whether any of the processes still runs after up to 10 s.
    static bool anyAlive(const Lines& pids) {
        const auto alive = [](const std::string& pid) {
            return runWine(helperPath("service_query").string(), {"alive", pid})
                .out.starts_with("alive");
        };
        for (int i = 0; i < 20 && std::any_of(pids.begin(), pids.end(), alive); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        return std::any_of(pids.begin(), pids.end(), alive);
    }

    WinrunResult expectCommand(const fs::path& exe, const Lines& args, uint32_t exitCode,
                               const std::string& out) const {
        const WinrunResult r = runViaWinrun(exe, args);
        EXPECT_EQ(r.exitCode, exitCode) << args[0] << "\n" << r.describe();
        EXPECT_EQ(r.out(), out) << args[0] << "\n" << r.describe();
        return r;
    }

    // The state number sc.exe reports; -1 when there is no such service.
    int scState() const {
        const RunResult r = runWine("sc", {"query", name_});
        if (r.exitCode != 0) return -1;
        std::smatch m;
        static const std::regex state(R"(STATE\s*:\s*(\d+))");
        if (!std::regex_search(r.out, m, state)) return -2;
        return std::stoi(m[1].str());
    }

    bool waitForState(int state) const {
        for (int i = 0; i < 90; ++i) {
            if (scState() == state) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        return false;
    }

    Lines trace() const { return readJvmTrace(dir_ / "jre"); }

    // Waits until the stand-in's trace holds a line starting with start; returns the trace.
    Lines waitForTrace(const std::string& line) const {
        Lines seen;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        do {
            seen = trace();
            if (std::any_of(seen.begin(), seen.end(),
                            [&](const std::string& l) { return l.starts_with(line); })) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        } while (std::chrono::steady_clock::now() < until);
        return seen;
    }

    std::string name_;
    fs::path dir_;
};

// The "arg <i>: <text>" lines of the main's argument array.
Lines mainArguments(const Lines& trace) {
    Lines arguments;
    static const std::regex arg(R"(arg \d+: (.*))");
    std::smatch m;
    for (const auto& line : trace) {
        if (std::regex_match(line, m, arg)) arguments.push_back(m[1].str());
    }
    return arguments;
}

// How many JVMs the service's children created so far.
long creates(const Lines& trace) {
    return std::count_if(trace.begin(), trace.end(),
                         [](const std::string& l) { return l.starts_with("create "); });
}

TEST_F(ServiceHostExclusive, StartRunsTheChildAndStopSendsTheStopLine) {
    const std::string& n = name_;
    const auto exe = pack("serve");
    expectCommand(exe, {"/install"}, 0, crlf({"Installed service '" + n + "'."}));
    expectCommand(exe, {"/start", n, "a", "b c"}, 0, crlf({"Starting service '" + n + "'."}));

    // The child's main got the service name, then the start parameters (the one with a space
    // quoted on the child's command line and split back into one argument).
    Lines seen = waitForTrace("main args=");
    const Lines arguments = mainArguments(seen);
    ASSERT_GE(arguments.size(), 3u) << joined(seen);
    EXPECT_EQ(Lines(arguments.end() - 3, arguments.end()), (Lines{n, "a", "b c"})) << joined(seen);
    // The child runs in service mode, from the quoted path with its space.
    EXPECT_NE(std::find(seen.begin(), seen.end(), "option 1: -Dlumex.isService=true"), seen.end());
    EXPECT_NE(std::find_if(seen.begin(), seen.end(),
                           [](const std::string& l) {
                               return l.starts_with("option ") && l.ends_with(": -Xrs");
                           }),
              seen.end());
    EXPECT_NE(
        std::find(seen.begin(), seen.end(), "option 2: -Dlumex.moduleName=" + toWinePath(exe)),
        seen.end())
        << joined(seen);
    // The marker was taken off: no argument is left of it.
    EXPECT_EQ(std::find(arguments.begin(), arguments.end(), "__pkx_restart"), arguments.end());

    EXPECT_EQ(scState(), 4);
    expectCommand(exe, {"/status"}, 0, crlf({"Running."}));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "serve stop"), 0) << joined(seen);

    expectCommand(exe, {"/stop"}, 0, crlf({"Stopping service '" + n + "'.", "Service stopped"}));
    seen = waitForTrace("serve stop");
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "serve stop"), 1) << joined(seen);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "serve eof"), 0) << joined(seen);
    EXPECT_TRUE(waitForState(1));
    expectCommand(exe, {"/status"}, 3, crlf({"Not running."}));
    expectCommand(exe, {"/uninstall"}, 0,
                  crlf({"Service is already stopped.", "Uninstalled service '" + n + "'."}));
}

// With the event log alone (no restart, no watchdog, no stop timeout) the host still reads the
// runtime's lines: the start is reported with the Java it runs, then the stop.
TEST_F(ServiceHostExclusive, TheEventLogAloneReportsTheStartAndTheStop) {
    const std::string& n = name_;
    const auto exe = pack("serve", {}, {{launcher::Setting::EventLog, "1"}});
    const uintmax_t mark = eventLogMark();
    expectCommand(exe, {"/install"}, 0, crlf({"Installed service '" + n + "'."}));
    expectCommand(exe, {"/start"}, 0, crlf({"Starting service '" + n + "'."}));
    const Lines seen = waitForTrace("watchdog hello");
    ASSERT_NE(std::find(seen.begin(), seen.end(), "watchdog hello"), seen.end()) << joined(seen);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    expectCommand(exe, {"/stop"}, 0, crlf({"Stopping service '" + n + "'.", "Service stopped"}));
    const auto events = eventsReported(mark);
    const Lines start = eventInserts(events, 1000);
    ASSERT_EQ(start.size(), 1u) << events.size();
    EXPECT_TRUE(start[0].starts_with(n + "|")) << start[0];
    EXPECT_EQ(eventInserts(events, 1001).size(), 1u);
    EXPECT_TRUE(eventInserts(events, 1003).empty());
}

TEST_F(ServiceHostExclusive, AChildEndingWithExitCodeZeroLeavesTheServiceStopped) {
    const std::string& n = name_;
    const auto exe = pack("exit:0");
    expectCommand(exe, {"/install"}, 0, crlf({"Installed service '" + n + "'."}));
    // Start parameters the child's command line must carry exactly: quotes, tabs, a trailing
    // backslash, and one that would otherwise swallow the marker.
    const Lines parameters = {"say \"hi\"", "t\tab", "C:\\dir\\", "\"", "x\" __pkx_restart"};
    Lines start = {"start", n};
    start.insert(start.end(), parameters.begin(), parameters.end());
    const RunResult started = runWine(helperPath("service_query").string(), start);
    ASSERT_EQ(started.exitCode, 0) << started.describe();
    const Lines seen = waitForTrace("exit 0");
    EXPECT_NE(std::find(seen.begin(), seen.end(), "exit 0"), seen.end()) << joined(seen);
    const Lines arguments = mainArguments(seen);
    Lines recorded = parameters;  // the trace writes a control character as \xHH
    recorded[1] = "t\\x09ab";
    ASSERT_GE(arguments.size(), parameters.size()) << joined(seen);
    EXPECT_EQ(Lines(arguments.end() - static_cast<long>(parameters.size()), arguments.end()),
              recorded)
        << joined(seen);
    EXPECT_TRUE(waitForState(1));
    expectCommand(exe, {"/status"}, 3, crlf({"Not running."}));
    expectCommand(exe, {"/uninstall"}, 0,
                  crlf({"Service is already stopped.", "Uninstalled service '" + n + "'."}));
}

TEST_F(ServiceHostExclusive, AChildFailingOnItsOwnEndsTheHostWithoutAStoppedReport) {
    const std::string& n = name_;
    // Ending with code 1, and a fatal error of a launcher that shows errors in message boxes:
    // as a service child it never shows one (nobody would press OK), so it ends too.
    const auto exe = pack("exit:1", withoutLauncherClass());
    expectCommand(exe, {"/install"}, 0, crlf({"Installed service '" + n + "'."}));
    expectCommand(exe, {"/start"}, 0, crlf({"Starting service '" + n + "'."}));
    const Lines seen = waitForTrace("options at exit");
    EXPECT_NE(std::find(seen.begin(), seen.end(), "options at exit intact"), seen.end())
        << "the child did not end: " << joined(seen);
    EXPECT_NE(
        std::find(seen.begin(), seen.end(), "find class com/lumex/runtime/WinLauncher (missing)"),
        seen.end())
        << joined(seen);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    // Without the restart settings nothing starts the application again, and no watchdog pipe
    // is handed to the JVM.
    const Lines later = trace();
    EXPECT_EQ(creates(later), 1) << joined(later);
    EXPECT_EQ(joined(later).find("watchdog"), std::string::npos) << joined(later);
    // The last report stays "running": Wine's manager never notices the host's end, Windows
    // records an unexpected termination and shows the service stopped.
    const int state = scState();
    EXPECT_TRUE(state == 4 || state == 1) << state;
    const WinrunResult r = runViaWinrun(exe, {"/uninstall"});
    EXPECT_EQ(r.exitCode, 0u) << r.describe();
    EXPECT_TRUE(r.out().ends_with("Uninstalled service '" + n + "'.\r\n")) << r.describe();
    // A deleted service's record goes only once its process has ended: the host is gone.
    EXPECT_TRUE(waitForState(-1)) << "the host process is still running";

    // With failure actions that count a non-zero exit code (their flag) the host reports the
    // end itself: stopped, with the child's code as the service-specific exit code, for the
    // failure actions to act on. Without the flag the manager acts only on an end without a
    // final report, so the host leaves "running" standing, as with no actions at all.
    using launcher::Setting;
    for (const char* flag : {"1", "0"}) {
        SCOPED_TRACE(std::string("on_error_exit ") + flag);
        const auto recovering =
            pack("exit:3", {},
                 {{Setting::RecoveryActions, "restart"}, {Setting::RecoveryOnErrorExit, flag}});
        // Wine's manager refuses the flag itself ("Could not set the failure actions flag").
        const WinrunResult installed = runViaWinrun(recovering, {"/install"});
        EXPECT_EQ(installed.exitCode, 0u) << installed.describe();
        EXPECT_TRUE(installed.out().ends_with(crlf({"Installed service '" + n + "'."})))
            << installed.describe();
        expectCommand(recovering, {"/start"}, 0, crlf({"Starting service '" + n + "'."}));
        if (flag[0] == '1') {
            EXPECT_TRUE(waitForState(1));
            const RunResult sc = runWine("sc", {"query", name_});
            EXPECT_NE(sc.out.find("WIN32_EXIT_CODE    : 1066"), std::string::npos) << sc.out;
            EXPECT_NE(sc.out.find("SERVICE_EXIT_CODE  : 3 "), std::string::npos) << sc.out;
        } else {
            const Lines ended = waitForTrace("exit 3");
            EXPECT_NE(std::find(ended.begin(), ended.end(), "exit 3"), ended.end())
                << joined(ended);
            std::this_thread::sleep_for(std::chrono::seconds(3));
            const RunResult sc = runWine("sc", {"query", name_});
            EXPECT_EQ(sc.out.find("SERVICE_EXIT_CODE  : 3 "), std::string::npos) << sc.out;
            const int left = scState();
            EXPECT_TRUE(left == 4 || left == 1) << left;
        }
        removeService();
        EXPECT_TRUE(waitForState(-1)) << "the host process is still running";
        fs::remove(dir_ / "jre" / "standin-jvm.log");
    }
}

TEST_F(ServiceHostExclusive, KillingTheHostEndsTheChildWithinFiveSeconds) {
    const std::string& n = name_;
    const auto exe = pack("serve");
    expectCommand(exe, {"/install"}, 0, crlf({"Installed service '" + n + "'."}));
    expectCommand(exe, {"/start"}, 0, crlf({"Starting service '" + n + "'."}));
    const Lines started = waitForTrace("main args=");
    ASSERT_FALSE(mainArguments(started).empty()) << joined(started);
    const RunResult killed = runWine(helperPath("service_query").string(), {"kill", name_});
    ASSERT_EQ(killed.exitCode, 0) << killed.describe();
    // The child's standard input ends with the host: the Java side sees end of file, main
    // returns and the JVM is destroyed, so no JVM outlives its service.
    const auto since = std::chrono::steady_clock::now();
    const Lines seen = waitForTrace("destroy");
    const auto took = std::chrono::steady_clock::now() - since;
    EXPECT_NE(std::find(seen.begin(), seen.end(), "serve eof"), seen.end()) << joined(seen);
    EXPECT_NE(std::find(seen.begin(), seen.end(), "destroy"), seen.end()) << joined(seen);
    EXPECT_LT(took, std::chrono::seconds(5));
}

// An application that ignores the stop line and has started a process of its own leaves no
// process behind: with kill_child_with_host the job ends both when the host is killed; with
// stop_timeout the host ends both once the timeout has passed (reporting growing checkpoints
// meanwhile, so the stop command waits) and reports stopped.
TEST_F(ServiceHostExclusive, AnApplicationIgnoringTheStopLeavesNoProcess) {
    const std::string& n = name_;
    using launcher::Setting;
    const std::pair<Setting, int> rows[] = {
        {Setting::KillChildWithHost, 1}, {Setting::StopTimeout, 3}, {Setting::StopTimeout, 10}};
    for (const auto& [setting, value] : rows) {
        SCOPED_TRACE(std::to_string(launcher::idOf(setting)) + " " + std::to_string(value));
        removeService();
        fs::remove(dir_ / "jre" / "standin-jvm.log");
        StandinRuntime runtime;
        runtime.extraConfigLines = {"grandchild=1"};
        const auto exe =
            pack("wait", runtime, {{setting, std::to_string(value)}, {Setting::EventLog, "1"}});
        ASSERT_EQ(runViaWinrun(exe, {"/install"}).exitCode, 0u);
        expectCommand(exe, {"/start"}, 0, crlf({"Starting service '" + n + "'."}));
        const Lines started = waitForTrace("grandchild ");
        const Lines pids = {traced(started, "wait pid="), traced(started, "grandchild pid=")};
        ASSERT_FALSE(pids[0].empty() || pids[1].empty()) << joined(started);
        if (setting == Setting::KillChildWithHost) {
            ASSERT_EQ(runWine(helperPath("service_query").string(), {"kill", n}).exitCode, 0);
        } else {
            const uintmax_t mark = eventLogMark();
            const WinrunResult stopped = expectCommand(
                exe, {"/stop"}, 0, crlf({"Stopping service '" + n + "'.", "Service stopped"}));
            // The stop timeout's event, then the stop's with how long it took.
            const auto events = eventsReported(mark);
            EXPECT_EQ(eventInserts(events, 1002), Lines{n + "|" + std::to_string(value)});
            const Lines stop = eventInserts(events, 1001);
            ASSERT_EQ(stop.size(), 1u);
            EXPECT_GE(std::stoi(stop[0].substr(n.size() + 1)), value * 1000 - 500) << stop[0];
            std::printf(
                "[ stop     ] stop_timeout = %d s: /stop of an application that ignores "
                "the stop line took %.1f s\n",
                value, stopped.run.seconds);
            EXPECT_GE(stopped.run.seconds, value - 0.5);
            EXPECT_LE(stopped.run.seconds, value + 5.0);
            EXPECT_EQ(scState(), 1);
        }
        EXPECT_FALSE(anyAlive(pids)) << "a process of the service is left";
        const Lines seen = trace();
        EXPECT_EQ(std::count(seen.begin(), seen.end(), "released"), 0) << joined(seen);
    }
    writeFile(dir_ / "jre" / "standin-release", "");
}

TEST_F(ServiceHostExclusive, PriorityValuesOfTheWrongSizeAreIgnored) {
    const std::string& n = name_;
    const std::string key = R"(HKLM\SOFTWARE\harbor-works\lumex\priority)";
    const auto setValue = [&](const std::string& type, const std::string& data) {
        const RunResult r = runWine("reg", {"add", key, "/v", n, "/t", type, "/d", data, "/f"});
        ASSERT_EQ(r.exitCode, 0) << r.describe();
    };
    runWine("reg", {"delete", key, "/v", n, "/f"});
    const auto exe = pack("serve");
    expectCommand(exe, {"/install"}, 0, crlf({"Installed service '" + n + "'."}));
    // Two bytes, then eight bytes, both naming no valid priority class: ignored, normal priority.
    for (const auto& [type, data] :
         {std::pair<std::string, std::string>{"REG_BINARY", "c000"}, {"REG_QWORD", "0xC0"}}) {
        SCOPED_TRACE(type);
        setValue(type, data);
        expectCommand(exe, {"/start"}, 0, crlf({"Starting service '" + n + "'."}));
        EXPECT_TRUE(waitForState(4));
        expectCommand(exe, {"/stop"}, 0,
                      crlf({"Stopping service '" + n + "'.", "Service stopped"}));
    }
    // A four-byte value of a real class is used.
    setValue("REG_DWORD", "64");
    expectCommand(exe, {"/start"}, 0, crlf({"Starting service '" + n + "'."}));
    EXPECT_TRUE(waitForState(4));
    expectCommand(exe, {"/stop"}, 0, crlf({"Stopping service '" + n + "'.", "Service stopped"}));
    Lines seen = trace();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "serve stop"), 3) << joined(seen);
    // The child's priority class itself cannot be seen from here; Wine's CreateProcessW also
    // takes contradictory classes, so the start-failure report (code 5000) is not reachable.
    runWine("reg", {"delete", key, "/v", n, "/f"});
    expectCommand(exe, {"/uninstall"}, 0,
                  crlf({"Service is already stopped.", "Uninstalled service '" + n + "'."}));
}

// Keeping the application up: restarts by the restart rules, and the watchdog that asks the
// stand-in runtime for pongs on its pipe. Small numbers keep each test short.
class ServiceHostKeepUpExclusive : public ServiceHostExclusive {
protected:
    using Settings = std::vector<std::pair<launcher::Setting, std::string>>;

    static Settings keepUpSettings(const std::string& delay, Settings more = {}) {
        using launcher::Setting;
        Settings settings = {{Setting::EventLog, "1"},
                             {Setting::RestartOnExit, "failure"},
                             {Setting::RestartDelay, delay},
                             {Setting::RestartMaxDelay, "2"},
                             {Setting::RestartSuccessfulRun, "60"},
                             {Setting::RestartMaxFailures, "3"}};
        settings.insert(settings.end(), more.begin(), more.end());
        return settings;
    }

    static Settings watched() {
        using launcher::Setting;
        return {{Setting::WatchdogInterval, "1"},
                {Setting::WatchdogTimeout, "3"},
                {Setting::StopTimeout, "3"}};
    }

    // No record of an earlier run of the same test stands in for the one this run's host writes.
    void SetUp() override {
        ServiceHostExclusive::SetUp();
        const fs::path record = statusRecordPath();
        if (!record.empty()) fs::remove(record);
    }

    // The host's status record, in the machine's ProgramData folder as the registry's profile
    // list names it (Wine gives services another %ProgramData% than its programs, so the host
    // does not go by its environment); empty when the registry has no such value.
    fs::path statusRecordPath() const {
        const RunResult r = runWine(
            "reg", {"query", R"(HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList)",
                    "/v", "ProgramData"});
        std::smatch m;
        static const std::regex value(R"(ProgramData\s+REG_\w+\s+(.+?)\r?\n)");
        if (!std::regex_search(r.out, m, value)) return {};
        const std::string programData =
            std::regex_replace(m[1].str(), std::regex("%SystemDrive%"), "C:");
        return fromWinePath(programData + "\\lumex\\status\\" + name_ + ".status");
    }

    // The record's text; empty when there is none.
    std::string statusRecord() const {
        const fs::path path = statusRecordPath();
        return path.empty() ? "" : readFile(path).value_or("");
    }

    // A runtime that records the service's %ProgramData%, with more standin.cfg lines.
    static StandinRuntime runtimeWith(std::vector<std::string> lines) {
        StandinRuntime runtime;
        runtime.extraConfigLines = std::move(lines);
        runtime.extraConfigLines.push_back("environment=ProgramData");
        return runtime;
    }

    // Waits until the trace holds count lines starting with prefix, or seconds have passed.
    Lines waitForCount(const std::string& prefix, long count, int seconds) const {
        Lines seen;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        do {
            seen = trace();
            if (std::count_if(seen.begin(), seen.end(), [&](const std::string& l) {
                    return l.starts_with(prefix);
                }) >= count) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        } while (std::chrono::steady_clock::now() < until);
        return seen;
    }

    void installAndStart(const fs::path& exe) {
        ASSERT_EQ(runViaWinrun(exe, {"/install"}).exitCode, 0u);
        expectCommand(exe, {"/start"}, 0, crlf({"Starting service '" + name_ + "'."}));
    }
};

// An application that keeps failing with 3 is started again after the delay, a new JVM each
// time, until the third quick failure in a row: then the service stops with code 3. Its standard
// error file keeps every run (restarted children append) and the host's lines about them.
TEST_F(ServiceHostKeepUpExclusive, AFailingApplicationIsRestartedUntilTheHostGivesUp) {
    using launcher::Setting;
    const auto exe = pack(
        "exit:3", runtimeWith({}),
        keepUpSettings("1", {{Setting::PassSecondPath, "1"}, {Setting::SecondPath, "stderr.txt"}}));
    const uintmax_t mark = eventLogMark();
    installAndStart(exe);
    EXPECT_TRUE(waitForState(1));
    const Lines seen = trace();
    EXPECT_EQ(creates(seen), 3) << joined(seen);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "exit 3"), 3) << joined(seen);
    const RunResult sc = runWine("sc", {"query", name_});
    EXPECT_NE(sc.out.find("SERVICE_EXIT_CODE  : 3 "), std::string::npos) << sc.out;
    const std::string status = statusRecord();
    for (const char* line : {"state=stopped\n", "restarts=2\n", "quick_failures=3\n",
                             "last_exit_code=3\n", "last_restart_reason=exit\n", "app_pid=0\n"}) {
        EXPECT_NE(status.find(line), std::string::npos) << line << "\n" << status;
    }
    const std::string restart = "lumex: service host: the application ended (exit, exit code 3)";
    const std::string giveUp = "lumex: service host: giving up: the application failed 3 times";
    const Lines expected = {"stand-in run", restart,        "stand-in run",
                            restart,        "stand-in run", giveUp};
    Lines file = splitLines(readFile(dir_ / "stderr.txt").value_or(""));
    ASSERT_EQ(file.size(), expected.size()) << joined(file);
    for (size_t i = 0; i < file.size(); ++i)
        EXPECT_TRUE(file[i].starts_with(expected[i])) << file[i];
    // The event log: each end, the two restarts with their delays, giving up.
    const auto events = eventsReported(mark);
    const std::string n = name_ + "|";
    EXPECT_EQ(eventInserts(events, 1003), Lines(3, n + "3"));
    EXPECT_EQ(eventInserts(events, 1004), (Lines{n + "1|1|exit code 3", n + "2|2|exit code 3"}));
    EXPECT_EQ(eventInserts(events, 1006), Lines{n + "3|3"});
}

// The watchdog: a runtime that answers once and then no more is asked for its thread dump,
// ended with the process it started and restarted in time; one that never says hello (an older
// runtime) is left running.
TEST_F(ServiceHostKeepUpExclusive, AHungApplicationIsDumpedEndedAndRestarted) {
    const StandinRuntime runtime = runtimeWith({"watchdog=hang-after=1", "grandchild=1"});
    const auto exe = pack("wait", runtime, keepUpSettings("1", watched()));
    const uintmax_t mark = eventLogMark();
    installAndStart(exe);
    const Lines started = waitForTrace("ping 2");
    const auto hangSeen = std::chrono::steady_clock::now();
    ASSERT_NE(std::find(started.begin(), started.end(), "watchdog hello"), started.end())
        << joined(started);
    // The child hands the JVM the pipe's name and the timeout.
    const auto option = [&](const std::string& text) {
        return std::any_of(started.begin(), started.end(), [&](const std::string& l) {
            return l.starts_with("option ") && l.find(": " + text) != std::string::npos;
        });
    };
    EXPECT_TRUE(option("-Dlumex.watchdogPipe=\\\\.\\pipe\\lumex-watchdog-")) << joined(started);
    EXPECT_TRUE(option("-Dlumex.watchdogTimeout=3")) << joined(started);
    const Lines pids = {traced(started, "wait pid="), traced(started, "grandchild pid=")};
    ASSERT_FALSE(pids[0].empty() || pids[1].empty()) << joined(started);

    // timeout + interval + 10 s from the first ping left unanswered.
    const Lines seen = waitForCount("create ", 2, 14);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - hangSeen).count();
    std::printf("[ watchdog ] from the first unanswered ping to the new JVM: %.1f s\n", took);
    ASSERT_EQ(creates(seen), 2) << joined(seen);
    EXPECT_NE(std::find(seen.begin(), seen.end(), "dump"), seen.end()) << joined(seen);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "released"), 0) << joined(seen);
    // Looked at before the new child hangs in its turn (and the third gives up).
    waitForCount("watchdog hello", 2, 10);
    EXPECT_EQ(scState(), 4);
    const std::string status = statusRecord();
    for (const char* line : {"state=running\n", "restarts=1\n", "last_restart_reason=hung\n",
                             "java_version=17.0.1\n"}) {
        EXPECT_NE(status.find(line), std::string::npos) << line << "\n" << status;
    }
    // /status-json shows the restart and the new child.
    const std::string json = runViaWinrun(exe, {"/status-json"}).out();
    EXPECT_EQ(jsonMember(json, "restarts"), "1") << json;
    EXPECT_EQ(jsonMember(json, "last_restart_reason"), R"("hung")") << json;
    const std::string pid = jsonMember(json, "pid");
    EXPECT_TRUE(pid != pids[0] && pid != "null" && pid.find('(') == std::string::npos) << json;
    // The event log: the hang, then the restart (the new child may be found hung in its turn).
    const auto events = eventsReported(mark);
    const Lines hung = eventInserts(events, 1005), restarted = eventInserts(events, 1004);
    ASSERT_FALSE(hung.empty() || restarted.empty()) << events.size();
    EXPECT_EQ(hung[0], name_ + "|3|written to standard error");
    EXPECT_EQ(restarted[0], name_ + "|1|1|not answering");
    EXPECT_FALSE(anyAlive(pids)) << "a process of the hung child is left";
    writeFile(dir_ / "jre" / "standin-release", "");
}

TEST_F(ServiceHostKeepUpExclusive, AnApplicationThatNeverSaysHelloIsLeftRunning) {
    const StandinRuntime runtime = runtimeWith({"watchdog=silent"});
    const auto exe = pack("serve", runtime, keepUpSettings("1", watched()));
    installAndStart(exe);
    const Lines started = waitForTrace("watchdog silent");
    ASSERT_NE(std::find(started.begin(), started.end(), "watchdog silent"), started.end())
        << joined(started);
    // The timeout and a few seconds more: still the one child, running.
    std::this_thread::sleep_for(std::chrono::seconds(3 + 4));
    EXPECT_EQ(scState(), 4);
    const Lines seen = trace();
    EXPECT_EQ(creates(seen), 1) << joined(seen);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "dump"), 0) << joined(seen);
    EXPECT_NE(statusRecord().find("watchdog=off\n"), std::string::npos) << statusRecord();
    expectCommand(exe, {"/stop"}, 0,
                  crlf({"Stopping service '" + name_ + "'.", "Service stopped"}));
    const Lines after = trace();
    EXPECT_EQ(std::count(after.begin(), after.end(), "serve stop"), 1) << joined(after);
}

// /status-json of the running service shows its host and, from the host's status record, the
// application; once stopped, the record's last facts without a process.
TEST_F(ServiceHostKeepUpExclusive, StatusJsonShowsTheHostAndItsApplication) {
    const auto exe = pack("wait", runtimeWith({}), keepUpSettings("1", watched()));
    const WinrunResult missing = runViaWinrun(exe, {"/status-json"});
    EXPECT_EQ(missing.exitCode, 1u) << missing.describe();
    EXPECT_EQ(missing.out(), R"({"service": ")" + name_ +
                                 R"(", "installed": false, "state": "not_installed"})"
                                 "\r\n");
    const uintmax_t mark = eventLogMark();
    installAndStart(exe);
    const Lines started = waitForTrace("ping 2");
    const std::string childPid = traced(started, "wait pid=");
    ASSERT_FALSE(childPid.empty()) << joined(started);
    // The start's event, with the Java the runtime named.
    const Lines start = eventInserts(eventsReported(mark), 1000);
    ASSERT_EQ(start.size(), 1u);
    EXPECT_TRUE(start[0].starts_with(name_ + "|" + childPid + "|17.0.1|")) << start[0];

    const WinrunResult running = runViaWinrun(exe, {"/status-json"});
    const std::string json = running.out();
    std::printf("[ status   ] %s", json.c_str());
    EXPECT_EQ(running.exitCode, 0u) << running.describe();
    EXPECT_TRUE(json.starts_with("{") && json.ends_with("}}\r\n")) << json;
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 1) << json;
    EXPECT_EQ(jsonMember(json, "state"), R"("running")");
    EXPECT_EQ(jsonMember(json, "start"), R"("demand")");
    const std::string hostPid = jsonMember(json, "host_pid");
    EXPECT_TRUE(std::regex_match(hostPid, std::regex("[1-9][0-9]*"))) << json;
    EXPECT_NE(statusRecord().find("host_pid=" + hostPid + "\n"), std::string::npos)
        << statusRecord();
    EXPECT_EQ(jsonMember(json, "pid"), childPid) << json;
    EXPECT_TRUE(std::regex_match(jsonMember(json, "started"),
                                 std::regex(R"("20\d\d-\d\d-\d\dT\d\d:\d\d:\d\dZ")")))
        << json;
    EXPECT_EQ(jsonMember(json, "restarts"), "0");
    EXPECT_EQ(jsonMember(json, "consecutive_failures"), "0");
    EXPECT_EQ(jsonMember(json, "last_exit_code"), "null");
    EXPECT_EQ(jsonMember(json, "last_restart_reason"), "null");
    // A ping may just be on its way.
    EXPECT_TRUE(jsonMember(json, "watchdog") == R"("answering")" ||
                jsonMember(json, "watchdog") == R"("late")")
        << json;
    EXPECT_EQ(jsonMember(json, "java_version"), R"("17.0.1")");

    // The application ignores the stop line: the host ends it once the stop timeout has passed.
    ASSERT_EQ(runViaWinrun(exe, {"/stop"}).exitCode, 0u);
    EXPECT_TRUE(waitForState(1));
    const WinrunResult stopped = runViaWinrun(exe, {"/status-json", name_});
    EXPECT_EQ(stopped.exitCode, 3u) << stopped.describe();
    EXPECT_EQ(jsonMember(stopped.out(), "state"), R"("stopped")");
    EXPECT_EQ(jsonMember(stopped.out(), "host_pid"), "0");
    EXPECT_EQ(jsonMember(stopped.out(), "pid"), "null") << stopped.out();
    EXPECT_EQ(jsonMember(stopped.out(), "restarts"), "0") << stopped.out();
    writeFile(dir_ / "jre" / "standin-release", "");
}

// A stop while the host waits to restart ends the service at once, and nothing starts after it.
TEST_F(ServiceHostKeepUpExclusive, AStopDuringTheRestartDelayStartsNothing) {
    const auto exe = pack("exit:3", runtimeWith({}),
                          keepUpSettings("5", {{launcher::Setting::StopTimeout, "5"}}));
    installAndStart(exe);
    const Lines ended = waitForTrace("exit 3");
    ASSERT_NE(std::find(ended.begin(), ended.end(), "exit 3"), ended.end()) << joined(ended);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(scState(), 4);
    const WinrunResult stopped = expectCommand(
        exe, {"/stop"}, 0, crlf({"Stopping service '" + name_ + "'.", "Service stopped"}));
    std::printf("[ restart  ] /stop during a 5 s restart delay took %.1f s\n", stopped.run.seconds);
    EXPECT_LE(stopped.run.seconds, 5.0);  // within stop_timeout, winrun's start included
    EXPECT_EQ(scState(), 1);
    std::this_thread::sleep_for(std::chrono::seconds(6));
    const Lines seen = trace();
    EXPECT_EQ(creates(seen), 1) << joined(seen);
    EXPECT_NE(statusRecord().find("state=stopped\n"), std::string::npos) << statusRecord();
}

}  // namespace
