#include "service/service_control.h"

#include <gtest/gtest.h>

#include <deque>

#include "common/log_host.h"

using launcher::dependencyMultiString;
using launcher::ServiceCommand;
using launcher::ServiceConfigLevel;
using launcher::ServiceProgress;

namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

// The multi-string of a comma list, with every NUL visible as '|'.
std::string shown(std::wstring_view list) {
    const auto names = dependencyMultiString(list);
    if (!names) return "none";
    std::string out;
    for (wchar_t c : *names) out.push_back(c == L'\0' ? '|' : static_cast<char>(c));
    return out;
}

TEST(DependencyMultiString, EmptyTextGivesNoList) {
    EXPECT_EQ(shown(L""), "none");
}

TEST(DependencyMultiString, NamesAreNulTerminatedWithOneMoreNulAtTheEnd) {
    EXPECT_EQ(shown(L"a"), "a||");
    EXPECT_EQ(shown(L"a,b"), "a|b||");
    EXPECT_EQ(shown(L"Tcpip,Dnscache,LanmanWorkstation"), "Tcpip|Dnscache|LanmanWorkstation||");
}

TEST(DependencyMultiString, RunsOfCommasGiveNoEmptyEntries) {
    EXPECT_EQ(shown(L"a,,b"), "a|b||");
    EXPECT_EQ(shown(L",a,,,b,"), "a|b||");
}

TEST(DependencyMultiString, OnlyCommasGiveAnEmptyList) {
    EXPECT_EQ(shown(L","), "|");
    EXPECT_EQ(shown(L",,,"), "|");
}

TEST(DependencyMultiString, SpacesStayPartOfTheNames) {
    EXPECT_EQ(shown(L" a , b c"), " a | b c||");
    EXPECT_EQ(shown(L" "), " ||");
}

TEST(DependencyMultiString, ANulEndsTheText) {
    EXPECT_EQ(shown(L"a,b\0c"s.c_str()), "a|b||");
    EXPECT_EQ(shown(std::wstring_view(L"a,b\0c", 5)), "a|b||");
    EXPECT_EQ(shown(std::wstring_view(L"\0a", 2)), "none");
}

TEST(DependencyMultiString, LongListsAreNotCut) {
    const std::wstring name(5999, L'x');
    const auto names = dependencyMultiString(name);
    ASSERT_TRUE(names);
    EXPECT_EQ(names->size(), 6001u);
    EXPECT_EQ(names->substr(5999), std::wstring(2, L'\0'));
}

TEST(StartParameters, AreTheArgumentsAfterTheServiceName) {
    auto texts = [](const std::vector<std::wstring>& arguments) {
        std::vector<std::wstring> out;
        for (const wchar_t* p : launcher::startParameters(arguments)) out.emplace_back(p);
        return out;
    };
    EXPECT_TRUE(texts({}).empty());
    EXPECT_TRUE(texts({L"MySvc"}).empty());
    EXPECT_EQ(texts({L"MySvc", L"a"}), std::vector<std::wstring>{L"a"});
    EXPECT_EQ(texts({L"MySvc", L"a", L"", L"b c"}), (std::vector<std::wstring>{L"a", L"", L"b c"}));
}

TEST(StartParameters, PointIntoTheArgumentList) {
    const std::vector<std::wstring> arguments{L"MySvc", L"x"};
    const auto parameters = launcher::startParameters(arguments);
    ASSERT_EQ(parameters.size(), 1u);
    EXPECT_EQ(parameters[0], arguments[1].c_str());
}

TEST(InstallStartType, PlainInstallIsAutomaticOnlyForLauncherKind4) {
    for (ServiceCommand c : {ServiceCommand::Install, ServiceCommand::InstallAndStart}) {
        EXPECT_EQ(launcher::installStartType(c, 4), 2u);
        for (int kind : {0, 1, 2, 3, 5, -4, 14}) EXPECT_EQ(launcher::installStartType(c, kind), 3u);
    }
}

TEST(InstallStartType, AutoAndDemandIgnoreTheLauncherKind) {
    for (int kind : {0, 3, 4}) {
        EXPECT_EQ(launcher::installStartType(ServiceCommand::InstallAuto, kind), 2u);
        EXPECT_EQ(launcher::installStartType(ServiceCommand::InstallDemand, kind), 3u);
    }
}

// The ChangeServiceConfig2W calls of an installation as "level:content;" each, the failure
// actions' content as the reset period and "type/delay" per action.
std::string changesText(const launcher::ServiceInstallOptions& options, uint32_t startType,
                        std::wstring_view description) {
    std::string text;
    for (const auto& change : launcher::serviceConfigChanges(options, startType, description)) {
        text += std::to_string(static_cast<int>(change.level)) + ":";
        if (change.level == ServiceConfigLevel::FailureActions) {
            text += change.valid ? std::to_string(change.actions.resetPeriodSeconds) : "invalid";
            for (uint32_t i = 0; i < change.actions.count; ++i) {
                text += " " + std::to_string(change.actions.actions[i].type) + "/" +
                        std::to_string(change.actions.actions[i].delayMilliseconds);
            }
        } else if (change.level == ServiceConfigLevel::Description) {
            text += std::string(change.description.begin(), change.description.end());
        } else if (change.level == ServiceConfigLevel::PreshutdownInfo) {
            text += std::to_string(change.milliseconds);
        } else {
            text += change.flag ? "1" : "0";
        }
        text += ";";
    }
    return text;
}

// The structures an installation hands to ChangeServiceConfig2W, in order.
TEST(ServiceConfigChanges, OnlyWhatTheSettingsAskFor) {
    std::string seventeen;
    for (int i = 0; i < 16; ++i) seventeen += "restart,";
    const struct {
        bool delayed;
        std::string actions;
        int32_t delay, reset;
        bool onErrorExit;
        uint32_t startType;
        std::wstring_view description;
        std::string expected;
        uint32_t preshutdown = 0;
    } cases[] = {
        // Without the settings: the description alone, as before them.
        {false, "", 10, 60, true, 2, L"Text", "1:Text;"},
        {true, "", 0, 0, false, 3, L"\0hidden"sv, ""},
        {true, "restart,restart,none", 10, 86400, true, 2, L"D",
         "1:D;3:1;2:86400 1/10000 1/10000 0/0;4:1;"},
        // A delayed start only means something for an automatic one.
        {true, "none", 10, 60, false, 3, L"", "2:60 0/0;"},
        {false, "restart", -1, -5, true, 3, L"", "2:0 1/0;4:1;"},
        {false, "restart", 86401, INT32_MAX, false, 3, L"", "2:2147483647 1/86400000;"},
        // A list the launcher cannot read is named (and its flag not set): unknown or empty
        // words, blanks, more than 16 actions.
        {false, "restart,reboot", 10, 60, true, 3, L"", "2:invalid;"},
        {false, "restart,", 10, 60, false, 3, L"", "2:invalid;"},
        {false, "Restart", 10, 60, false, 3, L"", "2:invalid;"},
        {false, "restart, none", 10, 60, false, 3, L"", "2:invalid;"},
        {false, seventeen + "none", 10, 60, false, 3, L"", "2:invalid;"},
        // A bounded stop sets how long the system waits for it at shutdown, last.
        {true, "none", 10, 60, true, 2, L"D", "1:D;3:1;2:60 0/0;4:1;7:36000;", 36000},
        {false, "", 10, 60, false, 3, L"", "7:86406000;", 86406000},
    };
    for (const auto& c : cases) {
        launcher::ServiceInstallOptions options;
        options.delayedAutoStart = c.delayed;
        options.recoveryActions = c.actions;
        options.recoveryDelaySeconds = c.delay;
        options.recoveryResetAfterSeconds = c.reset;
        options.recoveryOnErrorExit = c.onErrorExit;
        options.preshutdownTimeoutMilliseconds = c.preshutdown;
        EXPECT_EQ(changesText(options, c.startType, c.description), c.expected) << c.actions;
    }
    EXPECT_EQ(launcher::failureActions(seventeen.substr(0, 16 * 8 - 1), 1, 1)->count, 16u);
}

TEST(ServiceAccountName, BuiltInVirtualAndNamedAccountsAndTheirPasswordLines) {
    using launcher::ServiceAccountName;
    const std::pair<std::wstring_view, ServiceAccountName> cases[] = {
        {L"", {}},
        {L"LocalSystem", {}},
        {L"LocalService", {L"NT AUTHORITY\\LocalService", false}},
        {L"NetworkService", {L"NT AUTHORITY\\NetworkService", false}},
        {L"virtual", {L"NT SERVICE\\My Svc", false}},
        {L".\\local", {L".\\local", true}},
        {L"localservice", {L"localservice", true}},
    };
    for (const auto& [account, expected] : cases) {
        EXPECT_EQ(launcher::serviceAccountName(account, L"My Svc"), expected);
    }
    // A typed or piped password: the line without its end; a longer one than Windows takes for
    // a logon (256 characters) is refused, never cut.
    const std::wstring longest(launcher::kMaxPasswordLength, L'p');
    const std::pair<std::wstring, std::optional<std::wstring>> lines[] = {
        {L"pw\r\n", L"pw"},
        {L"p w\nx", L"p w"},
        {L"a\rb", L"a\rb"},
        {L"\r\n", L""},
        {longest + L"\r\n", longest},
        {longest, longest},
        {longest + L"q\r\n", std::nullopt},
        {longest + L"q", std::nullopt},
        {std::wstring(300, L'p'), std::nullopt}};
    EXPECT_EQ(launcher::kMaxPasswordLength, 256u);
    for (const auto& [line, password] : lines)
        EXPECT_EQ(launcher::passwordFromLine(line), password) << line.size();
}

// Records the operations a command runs; each returns the configured result.
struct RecordingOperations {
    std::vector<std::string> calls;
    int32_t kind = 0;
    int installResult = 0;
    int startResult = 0;
    int statusResult = 0;
    int stopResult = 0;
    int uninstallResult = 0;
    std::vector<std::wstring> startArguments;

    int install(uint32_t startType) {
        calls.push_back("install " + std::to_string(startType));
        return installResult;
    }
    int start(const std::vector<std::wstring>& arguments) {
        calls.push_back("start");
        startArguments = arguments;
        return startResult;
    }
    int status() {
        calls.push_back("status");
        return statusResult;
    }
    int statusJson() {
        calls.push_back("status json");
        return statusResult;
    }
    int stop(bool verbose) {
        calls.push_back(verbose ? "stop verbose" : "stop silent");
        return stopResult;
    }
    int uninstall(bool verbose) {
        calls.push_back(verbose ? "uninstall verbose" : "uninstall silent");
        return uninstallResult;
    }
    int32_t launcherKind() {
        calls.push_back("kind");
        return kind;
    }
};

using Calls = std::vector<std::string>;

int dispatch(ServiceCommand command, RecordingOperations& ops,
             const std::vector<std::wstring>& arguments = {L"MySvc", L"a"}) {
    return launcher::dispatchServiceCommand(command, arguments, ops);
}

TEST(DispatchServiceCommand, InstallCommandsPassTheirStartType) {
    RecordingOperations ops;
    ops.kind = 4;
    ops.installResult = 1;
    EXPECT_EQ(dispatch(ServiceCommand::Install, ops), 1);
    EXPECT_EQ(dispatch(ServiceCommand::InstallDemand, ops), 1);
    ops.kind = 1;
    ops.installResult = 0;
    EXPECT_EQ(dispatch(ServiceCommand::Install, ops), 0);
    EXPECT_EQ(dispatch(ServiceCommand::InstallAuto, ops), 0);
    EXPECT_EQ(ops.calls, (Calls{"kind", "install 2", "kind", "install 3", "kind", "install 3",
                                "kind", "install 2"}));
}

TEST(DispatchServiceCommand, InstallAndStartReturnsTheStartResult) {
    RecordingOperations ops;
    ops.kind = 4;
    ops.installResult = 1;
    ops.startResult = 0;
    EXPECT_EQ(dispatch(ServiceCommand::InstallAndStart, ops), 0);
    EXPECT_EQ(ops.calls, (Calls{"kind", "install 2", "start"}));
    EXPECT_EQ(ops.startArguments, (std::vector<std::wstring>{L"MySvc", L"a"}));
    ops.calls.clear();
    ops.installResult = 0;
    ops.startResult = 1;
    EXPECT_EQ(dispatch(ServiceCommand::InstallAndStart, ops), 1);
}

TEST(DispatchServiceCommand, RestartStopsSilentlyAndReturnsTheStartResult) {
    RecordingOperations ops;
    ops.stopResult = 1;
    ops.startResult = 0;
    EXPECT_EQ(dispatch(ServiceCommand::Restart, ops, {L"S", L"x", L"y"}), 0);
    EXPECT_EQ(ops.calls, (Calls{"stop silent", "start"}));
    EXPECT_EQ(ops.startArguments, (std::vector<std::wstring>{L"S", L"x", L"y"}));
    ops.stopResult = 0;
    ops.startResult = 1;
    EXPECT_EQ(dispatch(ServiceCommand::Restart, ops), 1);
}

TEST(DispatchServiceCommand, SingleOperationsAreVerboseAndPassTheirResult) {
    RecordingOperations ops;
    ops.uninstallResult = 1;
    ops.stopResult = 1;
    ops.statusResult = 3;
    ops.startResult = 1;
    EXPECT_EQ(dispatch(ServiceCommand::Uninstall, ops), 1);
    EXPECT_EQ(dispatch(ServiceCommand::Stop, ops), 1);
    EXPECT_EQ(dispatch(ServiceCommand::Status, ops), 3);
    EXPECT_EQ(dispatch(ServiceCommand::StatusJson, ops), 3);
    EXPECT_EQ(dispatch(ServiceCommand::Start, ops, {}), 1);
    EXPECT_TRUE(ops.startArguments.empty());
    EXPECT_EQ(ops.calls,
              (Calls{"uninstall verbose", "stop verbose", "status", "status json", "start"}));
}

// A service's answers in order, with a clock that sleeping advances.
struct ScriptedService {
    std::deque<std::optional<ServiceProgress>> answers;
    uint32_t now = 0;
    int queries = 0;
    std::vector<uint32_t> sleeps;

    std::optional<ServiceProgress> query() {
        ++queries;
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        // The last answer repeats.
        if (answers.size() > 1) answers.pop_front();
        return answer;
    }
    void sleep(uint32_t ms) {
        sleeps.push_back(ms);
        now += ms;
    }
    uint32_t tickCount() const { return now; }
};

constexpr uint32_t kStopped = 1;
constexpr uint32_t kPending = 3;
constexpr uint32_t kRunning = 4;

TEST(FollowServiceStop, AStoppedServiceNeedsNoWait) {
    ScriptedService s{{ServiceProgress{kStopped, 0, 0}}};
    EXPECT_TRUE(launcher::followServiceStop(s));
    EXPECT_EQ(s.queries, 1);
    EXPECT_TRUE(s.sleeps.empty());
}

TEST(FollowServiceStop, AFailedFirstQueryIsNoStop) {
    ScriptedService s;
    EXPECT_FALSE(launcher::followServiceStop(s));
    EXPECT_EQ(s.queries, 1);
}

TEST(FollowServiceStop, PollsEvery500MsUntilStopped) {
    ScriptedService s{{ServiceProgress{kPending, 1, 50000}, ServiceProgress{kPending, 1, 50000},
                       ServiceProgress{kStopped, 0, 0}}};
    EXPECT_TRUE(launcher::followServiceStop(s));
    EXPECT_EQ(s.sleeps, (std::vector<uint32_t>{500, 500}));
}

TEST(FollowServiceStop, AFailedQueryWhileWaitingIsNoStop) {
    ScriptedService s{{ServiceProgress{kPending, 1, 50000}, std::nullopt}};
    EXPECT_FALSE(launcher::followServiceStop(s));
    EXPECT_EQ(s.queries, 2);
}

TEST(FollowServiceStop, GivesUpOnceTheWaitHintHasPassedWithoutProgress) {
    ScriptedService s{{ServiceProgress{kPending, 7, 2000}}};
    EXPECT_FALSE(launcher::followServiceStop(s));
    // 2000 ms elapsed is not yet beyond the hint; 2500 is.
    EXPECT_EQ(s.sleeps.size(), 5u);
    EXPECT_EQ(s.now, 2500u);
}

TEST(FollowServiceStop, AGrowingCheckpointRestartsTheClock) {
    ScriptedService s{{ServiceProgress{kPending, 1, 1000}, ServiceProgress{kPending, 1, 1000},
                       ServiceProgress{kPending, 2, 1000}, ServiceProgress{kPending, 2, 1000},
                       ServiceProgress{kPending, 3, 1000}, ServiceProgress{kPending, 3, 1000}}};
    EXPECT_FALSE(launcher::followServiceStop(s));
    // Progress at 1000 and 2000 ms; the last checkpoint is noted at 2000 and the hint has
    // passed at 3500.
    EXPECT_EQ(s.now, 3500u);
}

TEST(FollowServiceStop, ASmallerCheckpointIsNoProgress) {
    ScriptedService s{{ServiceProgress{kPending, 5, 1000}, ServiceProgress{kPending, 4, 1000},
                       ServiceProgress{kPending, 3, 1000}}};
    EXPECT_FALSE(launcher::followServiceStop(s));
    EXPECT_EQ(s.now, 1500u);
}

TEST(FollowServiceStop, TheLatestWaitHintCounts) {
    ScriptedService s{{ServiceProgress{kPending, 1, 60000}, ServiceProgress{kPending, 1, 0}}};
    EXPECT_FALSE(launcher::followServiceStop(s));
    EXPECT_EQ(s.now, 500u);
}

TEST(FollowServiceStop, TheTickCounterMayWrapAround) {
    ScriptedService s{{ServiceProgress{kPending, 1, 2000}, ServiceProgress{kPending, 1, 2000},
                       ServiceProgress{kPending, 1, 2000}, ServiceProgress{kStopped, 0, 0}}};
    s.now = 0xFFFFFE00u;
    EXPECT_TRUE(launcher::followServiceStop(s));
    EXPECT_EQ(s.sleeps.size(), 3u);
}

TEST(FollowServiceStop, OtherStatesEndTheWaitAsNotStopped) {
    ScriptedService running{{ServiceProgress{kRunning, 0, 0}}};
    EXPECT_FALSE(launcher::followServiceStop(running));
    EXPECT_TRUE(running.sleeps.empty());
    ScriptedService restarted{
        {ServiceProgress{kPending, 1, 5000}, ServiceProgress{kRunning, 0, 0}}};
    EXPECT_FALSE(launcher::followServiceStop(restarted));
    EXPECT_EQ(restarted.sleeps.size(), 1u);
}

}  // namespace
