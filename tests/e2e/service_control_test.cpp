// The service commands of a packed launcher against Wine's real Service Control Manager: what
// each command prints and returns, cross-checked with Wine's sc.exe (the state) and our
// service_query helper (start type, image path, description, DependOnService). A small service
// of our own, test_service.exe, stands in where a service must really run: the launcher installs
// the service, the helper points its image path at the test service.
//
// Every test uses service names of its own ("LmxE2e" and the test's name) and removes them
// before and after itself, since the tests share one Wine session and Wine starts auto-start
// services again with every new session.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <map>
#include <regex>
#include <thread>

#include "launcher_e2e.h"

using namespace e2e;
namespace fs = std::filesystem;

namespace {

// Lines as the launcher's text-mode standard output writes them.
std::string crlf(std::initializer_list<std::string> lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// Where the Application log's event source of a service is registered.
std::string eventSourceKey(const std::string& name) {
    return "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + name;
}

class ServiceControl : public ::testing::Test {
protected:
    void SetUp() override {
        name_ =
            "LmxE2e" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
        names_ = {name_};
        removeService(name_);
        dir_ = scratchDir();
    }

    void TearDown() override {
        // A test service stuck in a stop lets go once this file exists.
        writeFile(releaseFile(), "");
        for (const auto& name : names_) {
            const RunResult r = removeService(name);
            EXPECT_EQ(r.exitCode, 0) << name << "\n" << r.describe();
            // A service marked for deletion goes once it has stopped.
            EXPECT_TRUE(waitForState(name, -1)) << name << " is still there";
        }
    }

    // Another service name this test uses (removed before and after it, too).
    std::string otherName(const std::string& suffix) {
        const std::string name = name_ + suffix;
        removeService(name);
        names_.push_back(name);
        return name;
    }

    pack::BlockWriter block(const std::string& launcherKind) const {
        pack::BlockWriter w;
        w.string(101, name_).string(107, launcherKind);
        w.wide(1000, u"Launcher Error");
        return w;
    }

    fs::path pack(const pack::BlockWriter& writer, const std::string& file = "svc.exe") {
        return packLauncher(dir_, file, writer);
    }

    static WinrunResult launch(const fs::path& exe, const std::vector<std::string>& args) {
        return runViaWinrun(exe, args);
    }

    // Runs a command and checks its exit code and its whole output.
    static WinrunResult expectCommand(const fs::path& exe, const std::vector<std::string>& args,
                                      uint32_t exitCode, const std::string& out) {
        const WinrunResult r = launch(exe, args);
        std::string command;
        for (const auto& a : args) command += a + " ";
        EXPECT_EQ(r.exitCode, exitCode) << command << "\n" << r.describe();
        EXPECT_EQ(r.out(), out) << command << "\n" << r.describe();
        return r;
    }

    static RunResult removeService(const std::string& name) {
        return runWine(helperPath("service_query").string(), {"remove", name});
    }

    // The state number sc.exe reports (1 stopped, 3 stop pending, 4 running); -1 when sc finds
    // no such service.
    static int scState(const std::string& name, std::string* output = nullptr) {
        const RunResult r = runWine("sc", {"query", name});
        if (output) *output = r.out;
        if (r.exitCode != 0) return -1;
        std::smatch m;
        static const std::regex state(R"(STATE\s*:\s*(\d+))");
        if (!std::regex_search(r.out, m, state)) return -2;
        return std::stoi(m[1].str());
    }

    // service_query's "key: value" lines.
    static std::map<std::string, std::string> serviceConfig(const std::string& name) {
        const RunResult r = runWine(helperPath("service_query").string(), {"config", name});
        EXPECT_EQ(r.exitCode, 0) << r.describe();
        std::map<std::string, std::string> config;
        for (const auto& line : splitLines(r.out)) {
            const size_t colon = line.find(": ");
            if (colon != std::string::npos) config[line.substr(0, colon)] = line.substr(colon + 2);
        }
        return config;
    }

    fs::path testServiceCopy() const { return dir_ / "test_service.exe"; }
    fs::path releaseFile() const { return dir_ / "test_service.exe.release"; }

    // Points the installed service at a copy of test_service.exe in the test's folder.
    void useTestService(const std::string& name) {
        if (!fs::exists(testServiceCopy())) {
            fs::copy_file(helperPath("test_service"), testServiceCopy());
        }
        const RunResult r =
            runWine(helperPath("service_query").string(),
                    {"set-path", name, quoted(toWinePath(testServiceCopy())) + " " + name});
        ASSERT_EQ(r.exitCode, 0) << r.describe();
    }

    std::vector<std::string> serviceLog() const {
        const auto text = readFile(dir_ / "test_service.exe.log");
        return text ? splitLines(*text) : std::vector<std::string>{};
    }

    // Waits until the test service's log reads these lines, or at least ends with the same
    // line (nothing more is to come then); returns what it read last.
    std::vector<std::string> waitForLog(const std::vector<std::string>& lines) const {
        std::vector<std::string> seen;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        do {
            seen = serviceLog();
            if (seen == lines) break;
            if (!seen.empty() && !lines.empty() && seen.size() >= lines.size() &&
                seen.back() == lines.back()) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } while (std::chrono::steady_clock::now() < until);
        return seen;
    }

    bool waitForState(const std::string& name, int state) const {
        for (int i = 0; i < 60; ++i) {
            if (scState(name) == state) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        return false;
    }

    std::string name_;
    std::vector<std::string> names_;
    fs::path dir_;
};

using Lines = std::vector<std::string>;

TEST_F(ServiceControl, InstallDemandStartWithDependenciesAndDescription) {
    auto w = block("1");
    w.string(149, "a,,b").wide(20017, u"Dienst f\u00FCr die Tests");
    // A launcher without the event log setting, which still removes the event source.
    const auto plain = pack(w, "plain.exe");
    w.string(launcher::idOf(launcher::Setting::EventLog), "1");
    const auto exe = pack(w);
    const std::string& n = name_;

    expectCommand(exe, {"/install"}, 0, crlf({"Installed service '" + n + "'."}));
    // The service's name is an event source of the Application log, its messages in the
    // launcher.
    const RunResult source = runWine("reg", {"query", eventSourceKey(n)});
    EXPECT_EQ(source.exitCode, 0) << source.describe();
    EXPECT_TRUE(std::regex_search(
        source.out, std::regex(R"(EventMessageFile\s+REG_EXPAND_SZ\s+)" +
                               std::regex_replace(toWinePath(exe),
                                                  std::regex(R"([\\.^$|()\[\]{}*+?])"), R"(\$&)") +
                               "\r?\n")))
        << source.out;
    EXPECT_TRUE(std::regex_search(source.out, std::regex(R"(TypesSupported\s+REG_DWORD\s+0x7\b)")))
        << source.out;
    auto config = serviceConfig(n);
    EXPECT_EQ(config["start-type"], "3");
    EXPECT_EQ(config["binary-path"], quoted(toWinePath(exe)));
    EXPECT_EQ(config["description"], "Dienst f\xC3\xBCr die Tests");
    EXPECT_EQ(config["description-value"], "yes");
    EXPECT_EQ(config["depend-on-service"], "a|b");
    EXPECT_EQ(scState(n), 1);

    // A stopped demand-start service: one line, exit code 3.
    expectCommand(exe, {"/status"}, 3, crlf({"Not running."}));
    // The same as one JSON object; a service that never ran has no status record.
    const WinrunResult json = launch(exe, {"/status-json"});
    EXPECT_EQ(json.exitCode, 3u) << json.describe();
    const std::pair<std::string, std::string> members[] = {
        {"service", quoted(n)},   {"installed", "true"},       {"state", R"("stopped")"},
        {"start", R"("demand")"}, {"display_name", quoted(n)}, {"account", R"("LocalSystem")"},
        {"host_pid", "0"},        {"service_exit_code", "0"},  {"application", "null"}};
    for (const auto& [key, value] : members) EXPECT_EQ(jsonMember(json.out(), key), value) << key;
    // Installing over the stopped service deletes and creates it again.
    expectCommand(exe, {"/install"}, 0,
                  crlf({"Service is already stopped.", "Installed service '" + n + "'."}));
    EXPECT_EQ(serviceConfig(n)["depend-on-service"], "a|b");

    EXPECT_EQ(runWine("reg", {"query", eventSourceKey(n)}).exitCode, 0);

    expectCommand(plain, {"/uninstall"}, 0,
                  crlf({"Service is already stopped.", "Uninstalled service '" + n + "'."}));
    EXPECT_EQ(scState(n), -1);
    EXPECT_NE(runWine("reg", {"query", eventSourceKey(n)}).exitCode, 0)
        << "the event source is left after the uninstall";
    expectCommand(exe, {"/uninstall"}, 1, crlf({"Could not delete service."}));
}

// The install options of the service operation settings as Wine's manager keeps them. Wine 8
// refuses some ChangeServiceConfig2W levels (each is named in a line of its own) and answers
// QueryServiceConfig2W with ERROR_INVALID_LEVEL for them; the structures the launcher
// hands over are tested on the host.
TEST_F(ServiceControl, InstallOptionsAndAccountsReachTheServiceRecord) {
    using launcher::Setting;
    const std::string& n = name_;
    auto w = block("4");
    for (const auto& [id, value] : std::initializer_list<std::pair<Setting, std::string>>{
             {Setting::DelayedAutoStart, "1"},
             {Setting::ServiceDisplayName, "Lumex Options \xC4"},
             {Setting::RecoveryActions, "restart,restart,none"},
             {Setting::RecoveryDelay, "10"},
             {Setting::RecoveryResetAfter, "86400"},
             {Setting::RecoveryOnErrorExit, "1"},
             {Setting::StopTimeout, "30"},
             {Setting::ServiceAccount, ".\\tester"},
             {Setting::PasswordVariable, "LMX_E2E_PASSWORD"}}) {
        w.string(launcher::idOf(id), value);
    }
    const auto exe = pack(w);
    // Without its password nothing is installed.
    expectCommand(exe, {"/install"}, 1,
                  crlf({"The environment variable LMX_E2E_PASSWORD with the password of "
                        "'.\\tester' is not set."}));
    EXPECT_EQ(scState(n), -1);
    // Nor with one longer than Windows takes for a logon (256 characters).
    const WinrunResult tooLong =
        runViaWinrun(exe, {"/install"}, {.env = {{"LMX_E2E_PASSWORD", std::string(257, 'p')}}});
    EXPECT_EQ(tooLong.exitCode, 1u) << tooLong.describe();
    EXPECT_EQ(tooLong.out(), "The password in LMX_E2E_PASSWORD is longer than 256 characters.\r\n");
    EXPECT_EQ(scState(n), -1);
    const WinrunResult r = runViaWinrun(exe, {"/install"}, {.env = {{"LMX_E2E_PASSWORD", "pw"}}});
    EXPECT_EQ(r.exitCode, 0u) << r.describe();
    auto config = serviceConfig(n);
    EXPECT_EQ(config["start-type"], "2");
    EXPECT_EQ(config["display-name"], "Lumex Options \xC3\x84");
    EXPECT_EQ(config["account"], ".\\tester");
    // The stop timeout of 30 s gives the system's shutdown 30 s, the 5 s allowance for ending
    // the child and a second more.
    const std::array<std::array<std::string, 3>, 4> levels = {{
        {"the delayed start", "delayed-auto-start", "1"},
        {"the failure actions", "failure-actions", "reset=86400 1/10000,1/10000,0/0"},
        {"the failure actions flag", "failure-actions-flag", "1"},
        {"the shutdown timeout", "preshutdown-timeout", "36000"},
    }};
    std::string refusals;
    for (const auto& [option, query, value] : levels) {
        const bool refused =
            r.out().find("Could not set " + option + " (error ") != std::string::npos;
        if (refused) refusals += "Could not set " + option + " (error 124).\r\n";
        std::printf("[ wine     ] %s: ChangeServiceConfig2W %s, QueryServiceConfig2W: %s\n",
                    option.c_str(), refused ? "refused" : "accepted", config[query].c_str());
        // The manager reports what was asked for, or cannot report it at all.
        EXPECT_TRUE(config[query] == value || config[query] == "error 124") << config[query];
    }
    EXPECT_EQ(r.out(), refusals + "Installed service '" + n + "'.\r\n");
    const WinrunResult json = launch(exe, {"/status-json"});
    EXPECT_EQ(json.exitCode, 3u) << json.describe();
    EXPECT_EQ(jsonMember(json.out(), "display_name"), "\"Lumex Options \xC3\x84\"");
    EXPECT_EQ(jsonMember(json.out(), "account"), R"(".\\tester")");
    EXPECT_EQ(jsonMember(json.out(), "start"),
              config["delayed-auto-start"] == "1" ? R"("delayed")" : R"("auto")");
    std::printf("[ wine     ] registry values kept: %s\n", config["registry-values"].c_str());

    // The service's virtual account; a user whose password comes from standard input, asked for
    // before anything changes; one whose password cannot be read and ones whose password is
    // longer than Windows takes (read to the line's end, never cut), which install nothing; and
    // one with the longest password.
    const std::string longest(256, 'p');
    const std::array<std::array<std::string, 4>, 6> accounts = {{
        {"virtual", "", "NT SERVICE\\" + n,
         "Service is already stopped.\r\nInstalled service '" + n + "'.\r\n"},
        {"ACME\\svc", "secret\r\n", "ACME\\svc",
         "Password of 'ACME\\svc': Service is already stopped.\r\nInstalled service '" + n +
             "'.\r\n"},
        {"ACME\\x", "", "ACME\\svc",
         "Password of 'ACME\\x': Could not read the password of 'ACME\\x'.\r\n"},
        {"ACME\\y", longest + "q\r\n", "ACME\\svc",
         "Password of 'ACME\\y': The password of 'ACME\\y' is longer than 256 characters.\r\n"},
        {"ACME\\z", std::string(2000, 'q'), "ACME\\svc",
         "Password of 'ACME\\z': The password of 'ACME\\z' is longer than 256 characters.\r\n"},
        {"ACME\\max", longest + "\r\n", "ACME\\max",
         "Password of 'ACME\\max': Service is already stopped.\r\nInstalled service '" + n +
             "'.\r\n"},
    }};
    for (const auto& [account, input, shown, out] : accounts) {
        auto user = block("1");
        user.string(launcher::idOf(Setting::ServiceAccount), account);
        const WinrunResult u = runViaWinrun(pack(user), {"/install"}, {.stdinData = input});
        EXPECT_EQ(u.out(), out) << u.describe();
        EXPECT_EQ(serviceConfig(n)["account"], shown);
    }
}

TEST_F(ServiceControl, CommandsOnAMissingServiceFail) {
    const auto exe = pack(block("4"));
    expectCommand(exe, {"/status"}, 1, crlf({"Could not get status."}));
    const WinrunResult json = expectCommand(
        exe, {"/status-json"}, 1,
        crlf({R"({"service": ")" + name_ + R"(", "installed": false, "state": "not_installed"})"}));
    EXPECT_EQ(jsonMember(json.out(), "state"), R"("not_installed")");
    expectCommand(exe, {"/stop"}, 1, crlf({"Could not stop service."}));
    // 1060: ERROR_SERVICE_DOES_NOT_EXIST.
    expectCommand(exe, {"/start", name_, "a"}, 1,
                  crlf({"Could not start service. Error code: 1060"}));
    // The silent stop of a restart prints nothing.
    expectCommand(exe, {"/restart"}, 1, crlf({"Could not start service. Error code: 1060"}));
    expectCommand(exe, {"-uninstall"}, 1, crlf({"Could not delete service."}));
    EXPECT_EQ(scState(name_), -1);
}

TEST_F(ServiceControl, StartTypeFollowsTheCommandAndTheLauncherKind) {
    const std::string& n = name_;
    const auto kind4 = pack(block("4"), "kind4.exe");
    expectCommand(kind4, {"/install"}, 0, crlf({"Installed service '" + n + "'."}));
    auto config = serviceConfig(n);
    EXPECT_EQ(config["start-type"], "2");
    EXPECT_EQ(config["binary-path"], quoted(toWinePath(kind4)));
    // No config string 149 and no description: neither is set.
    EXPECT_EQ(config["depend-on-service"], "(absent)");
    EXPECT_EQ(config["description"], "(none)");
    EXPECT_EQ(config["description-value"], "no");
    // Nor any of the service operation settings: the record as before them.
    EXPECT_EQ(config["display-name"], n);
    EXPECT_EQ(config["account"], "LocalSystem");
    for (const char* value : {"DelayedAutostart", "FailureActions", "FailureActionsOnNonCrash"}) {
        EXPECT_EQ(config["registry-values"].find(value), std::string::npos)
            << config["registry-values"];
    }
    expectCommand(kind4, {"/install-demand"}, 0,
                  crlf({"Service is already stopped.", "Installed service '" + n + "'."}));
    EXPECT_EQ(serviceConfig(n)["start-type"], "3");

    // The name on the command line wins over config string 101.
    const std::string configured = otherName("Cfg");
    auto w = pack::BlockWriter();
    w.string(101, configured).string(107, "1").string(149, ",,");
    w.wide(20017, u"");
    const auto kind1 = pack(w, "kind1.exe");
    expectCommand(kind1, {"/install", n}, 0,
                  crlf({"Service is already stopped.", "Installed service '" + n + "'."}));
    config = serviceConfig(n);
    EXPECT_EQ(config["start-type"], "3");
    EXPECT_EQ(config["binary-path"], quoted(toWinePath(kind1)));
    // Only commas: a list without names. Wine writes no value for it; an empty one would do.
    EXPECT_TRUE(config["depend-on-service"] == "(absent)" || config["depend-on-service"].empty())
        << config["depend-on-service"];
    EXPECT_EQ(config["description-value"], "no");
    expectCommand(kind1, {"--install-auto", n}, 0,
                  crlf({"Service is already stopped.", "Installed service '" + n + "'."}));
    EXPECT_EQ(serviceConfig(n)["start-type"], "2");
    // The name on the command line wins for /status-json too.
    const WinrunResult json = launch(kind1, {"/status-json", n});
    EXPECT_EQ(json.exitCode, 3u) << json.describe();
    EXPECT_EQ(jsonMember(json.out(), "service"), quoted(n));
    EXPECT_EQ(jsonMember(json.out(), "start"), R"("auto")");
    EXPECT_EQ(jsonMember(json.out(), "account"), R"("LocalSystem")");
    EXPECT_EQ(scState(configured), -1);
    expectCommand(kind1, {"/uninstall", n}, 0,
                  crlf({"Service is already stopped.", "Uninstalled service '" + n + "'."}));
}

TEST_F(ServiceControl, RunningAutoStartServiceStatusStartAndStop) {
    const std::string& n = name_;
    const auto exe = pack(block("4"));
    expectCommand(exe, {"/install"}, 0, crlf({"Installed service '" + n + "'."}));
    useTestService(n);

    expectCommand(exe, {"/start", n, "p1", "p 2"}, 0, crlf({"Starting service '" + n + "'."}));
    EXPECT_EQ(waitForLog({"start " + n + "|p1|p 2", "running"}),
              (Lines{"start " + n + "|p1|p 2", "running"}));
    EXPECT_EQ(scState(n), 4);
    expectCommand(exe, {"/status"}, 0, crlf({"Running.", "Auto-start."}));
    expectCommand(exe, {"/start"}, 0, crlf({"Service is already running."}));

    expectCommand(exe, {"/stop"}, 0, crlf({"Stopping service '" + n + "'.", "Service stopped"}));
    EXPECT_EQ(serviceLog(), (Lines{"start " + n + "|p1|p 2", "running", "stop", "stopped"}));
    EXPECT_EQ(scState(n), 1);
    // Not running, but still an auto-start service: both lines, exit code 3.
    expectCommand(exe, {"/status"}, 3, crlf({"Not running.", "Auto-start."}));
    expectCommand(exe, {"/stop"}, 0, crlf({"Service is already stopped."}));
}

TEST_F(ServiceControl, EmptyStartParametersArePassedOn) {
    const std::string& n = name_;
    const auto exe = pack(block("1"));
    expectCommand(exe, {"/install"}, 0, crlf({"Installed service '" + n + "'."}));
    useTestService(n);
    expectCommand(exe, {"/start", n, "a", "", "c"}, 0, crlf({"Starting service '" + n + "'."}));
    const Lines expected{"start " + n + "|a||c", "running"};
    const Lines log = waitForLog(expected);
    if (log == Lines{"start " + n + "|a", "running"}) {
        GTEST_SKIP() << "Wine's StartServiceW hands the start parameters on as one NUL-separated "
                        "list, so an empty parameter ends it and drops the rest";
    }
    EXPECT_EQ(log, expected);
}

TEST_F(ServiceControl, RestartInstallAndUninstallStopTheRunningServiceFirst) {
    const std::string& n = name_;
    const auto exe = pack(block("1"));
    expectCommand(exe, {"/install"}, 0, crlf({"Installed service '" + n + "'."}));
    useTestService(n);

    // Restart of a stopped service: the silent stop still says it was not needed.
    expectCommand(exe, {"/restart", n, "r1"}, 0,
                  crlf({"Service is already stopped.", "Starting service '" + n + "'."}));
    Lines log{"start " + n + "|r1", "running"};
    EXPECT_EQ(waitForLog(log), log);

    expectCommand(exe, {"/restart"}, 0,
                  crlf({"Stopping service '" + n + "'.", "Service stopped",
                        "Starting service '" + n + "'."}));
    log.insert(log.end(), {"stop", "stopped", "start " + n, "running"});
    EXPECT_EQ(waitForLog(log), log);
    EXPECT_EQ(scState(n), 4);

    // Installing over the running service stops it, deletes it and creates it again.
    expectCommand(exe, {"/install"}, 0,
                  crlf({"Stopping service '" + n + "'.", "Service stopped",
                        "Installed service '" + n + "'."}));
    log.insert(log.end(), {"stop", "stopped"});
    EXPECT_EQ(serviceLog(), log);
    EXPECT_EQ(serviceConfig(n)["binary-path"], quoted(toWinePath(exe)));
    EXPECT_EQ(scState(n), 1);

    useTestService(n);
    expectCommand(exe, {"/start"}, 0, crlf({"Starting service '" + n + "'."}));
    log.insert(log.end(), {"start " + n, "running"});
    EXPECT_EQ(waitForLog(log), log);
    expectCommand(exe, {"/uninstall"}, 0,
                  crlf({"Stopping service '" + n + "'.", "Service stopped",
                        "Uninstalled service '" + n + "'."}));
    log.insert(log.end(), {"stop", "stopped"});
    EXPECT_EQ(serviceLog(), log);
    EXPECT_EQ(scState(n), -1);
}

TEST_F(ServiceControl, StopGivesUpWhenTheCheckpointStandsStill) {
    const std::string& n = name_;
    const auto exe = pack(block("1"));
    expectCommand(exe, {"/install"}, 0, crlf({"Installed service '" + n + "'."}));
    useTestService(n);
    expectCommand(exe, {"/start", n, "stuck-stop"}, 0, crlf({"Starting service '" + n + "'."}));
    const Lines log{"start " + n + "|stuck-stop", "running"};
    ASSERT_EQ(waitForLog(log), log);

    // The service stays stop-pending with checkpoint 1 and a wait hint of 2000 ms: the stop is
    // given up after five polls of 500 ms, and still counts as done.
    const auto r = expectCommand(
        exe, {"/stop"}, 0, crlf({"Stopping service '" + n + "'.", "Error while stopping service"}));
    EXPECT_GE(r.run.seconds, 2.5) << r.describe();
    EXPECT_LT(r.run.seconds, 30.0) << r.describe();
    std::string sc;
    EXPECT_EQ(scState(n, &sc), 3);
    EXPECT_NE(sc.find("CHECKPOINT         : 0x1"), std::string::npos) << sc;
    EXPECT_NE(sc.find("WAIT_HINT          : 0x7d0"), std::string::npos) << sc;
    expectCommand(exe, {"/status"}, 3, crlf({"Not running."}));
    // A stop-pending service takes no second stop request (ERROR_SERVICE_CANNOT_ACCEPT_CTRL).
    expectCommand(exe, {"/stop"}, 1, crlf({"Could not stop service."}));

    writeFile(releaseFile(), "");
    EXPECT_TRUE(waitForState(n, 1));
    EXPECT_EQ(serviceLog(), (Lines{log[0], log[1], "stop", "stopped"}));
}

TEST_F(ServiceControl, StopWaitsWhileTheCheckpointGrows) {
    const std::string& n = name_;
    const auto exe = pack(block("1"));
    expectCommand(exe, {"/install"}, 0, crlf({"Installed service '" + n + "'."}));
    useTestService(n);
    expectCommand(exe, {"/start", n, "slow-stop"}, 0, crlf({"Starting service '" + n + "'."}));
    const Lines log{"start " + n + "|slow-stop", "running"};
    ASSERT_EQ(waitForLog(log), log);

    // A wait hint of 1000 ms, but the checkpoint grows every 400 ms for about 3 s.
    const auto r = expectCommand(exe, {"/stop"}, 0,
                                 crlf({"Stopping service '" + n + "'.", "Service stopped"}));
    EXPECT_GE(r.run.seconds, 3.0) << r.describe();
    EXPECT_EQ(serviceLog(), (Lines{log[0], log[1], "stop", "stopped"}));
    EXPECT_EQ(scState(n), 1);
}

TEST_F(ServiceControl, InstallAndStartReportsTheStartResult) {
    const std::string& n = name_;
    const auto exe = pack(block("1"));
    // The launcher itself is the service now; whether its service road starts is the start
    // result, and that decides the exit code.
    const auto r = launch(exe, {"/install-and-start"});
    const Lines lines = splitLines(r.out());
    ASSERT_EQ(lines.size(), 2u) << r.describe();
    EXPECT_EQ(lines[0], "Installed service '" + n + "'.");
    if (lines[1] == "Starting service '" + n + "'.") {
        EXPECT_EQ(r.exitCode, 0u) << r.describe();
    } else {
        EXPECT_EQ(lines[1].rfind("Could not start service. Error code: ", 0), 0u) << r.describe();
        EXPECT_EQ(r.exitCode, 1u) << r.describe();
    }
    EXPECT_EQ(serviceConfig(n)["binary-path"], quoted(toWinePath(exe)));
    EXPECT_EQ(serviceConfig(n)["start-type"], "3");
}

TEST_F(ServiceControl, InstallAndStartExitsWithTheStartResultWhenTheInstallFailed) {
    const std::string& n = name_;
    const auto exe = pack(block("1"));
    expectCommand(exe, {"/install"}, 0, crlf({"Installed service '" + n + "'."}));
    useTestService(n);
    expectCommand(exe, {"/start", n, "stuck-stop"}, 0, crlf({"Starting service '" + n + "'."}));
    const Lines log{"start " + n + "|stuck-stop", "running"};
    ASSERT_EQ(waitForLog(log), log);

    // The old service hangs in its stop, so its deletion waits and the creation fails; the
    // start then meets the old service.
    const auto r = launch(exe, {"/install-and-start"});
    const Lines lines = splitLines(r.out());
    ASSERT_EQ(lines.size(), 4u) << r.describe();
    EXPECT_EQ(lines[0], "Stopping service '" + n + "'.");
    EXPECT_EQ(lines[1], "Error while stopping service");
    EXPECT_EQ(lines[2], "Could not create service.");
    if (lines[3] != "Service is already running.") {
        GTEST_SKIP() << "this Service Control Manager refuses the start of a service marked for "
                        "deletion (\""
                     << lines[3] << "\"), so no start succeeds after the failed install";
    }
    EXPECT_EQ(r.exitCode, 0u) << r.describe();
    writeFile(releaseFile(), "");
    EXPECT_TRUE(waitForState(n, -1)) << "the service marked for deletion goes once it stops";
}

}  // namespace
