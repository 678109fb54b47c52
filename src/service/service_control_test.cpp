#include "service/service_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "common/log_host.h"
#include "config/config.h"
#include "service/service_host.h"

using launcher::dependencyMultiString;
using launcher::FailureAction;
using launcher::FailureActions;
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

constexpr int32_t kDependencies = launcher::idOf(launcher::Setting::ServiceDependencies);

class ServiceDependencies : public ::testing::Test {
protected:
    void SetUp() override {
        launcher::configStrings().clear();
        (void)launcher::takeLogLines();
    }
    void TearDown() override { launcher::configStrings().clear(); }
};

TEST_F(ServiceDependencies, ComeFromConfigString149) {
    EXPECT_FALSE(launcher::readServiceDependencies());
    launcher::configStrings()[kDependencies] = "";
    EXPECT_FALSE(launcher::readServiceDependencies());
    launcher::configStrings()[kDependencies] = "RpcSs,,Tcp ip";
    EXPECT_EQ(launcher::readServiceDependencies(), L"RpcSs\0Tcp ip\0\0"s);
    launcher::configStrings()[kDependencies - 1] = "Other";
    launcher::configStrings()[kDependencies] = ",";
    EXPECT_EQ(launcher::readServiceDependencies(), L"\0"s);
}

TEST_F(ServiceDependencies, BytesAreWidenedOneByOne) {
    launcher::configStrings()[kDependencies] = "Dienst\xE4,b";
    EXPECT_EQ(launcher::readServiceDependencies(), L"Dienst\u00E4\0b\0\0"s);
}

TEST_F(ServiceDependencies, ALongConfigStringIsCutAndTheCutLogged) {
    launcher::configStrings()[kDependencies] = std::string(6100, 'y');
    const auto names = launcher::readServiceDependencies();
    ASSERT_TRUE(names);
    EXPECT_EQ(*names, std::wstring(5999, L'y') + std::wstring(2, L'\0'));
    EXPECT_FALSE(launcher::takeLogLines().empty());
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

TEST(FailureActions, RestartAndNoneWithTheirDelays) {
    const auto restart = [](uint32_t ms) { return FailureAction{launcher::kScActionRestart, ms}; };
    const FailureAction none{launcher::kScActionNone, 0};
    const auto actions = [](uint32_t reset, std::vector<FailureAction> list) {
        FailureActions result;
        result.resetPeriodSeconds = reset;
        for (const FailureAction& a : list) result.actions[result.count++] = a;
        return result;
    };
    const struct {
        std::string_view words;
        int32_t delay, reset;
        std::optional<FailureActions> expected;
    } cases[] = {
        {"restart,restart,none", 10, 86400, actions(86400, {restart(10000), restart(10000), none})},
        {"none", 10, 0, actions(0, {none})},
        {"restart", 0, -5, actions(0, {restart(0)})},
        {"restart", -1, 60, actions(60, {restart(0)})},
        {"restart", 86401, 60, actions(60, {restart(86400000)})},
        {"restart", INT32_MAX, INT32_MAX, actions(INT32_MAX, {restart(86400000)})},
        {"", 10, 60, std::nullopt},
        {"restart,", 10, 60, std::nullopt},
        {",none", 10, 60, std::nullopt},
        {"reboot", 10, 60, std::nullopt},
        {"Restart", 10, 60, std::nullopt},
        {"restart, none", 10, 60, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(launcher::failureActions(c.words, c.delay, c.reset), c.expected) << c.words;
    }
    std::string sixteen = "none";
    for (int i = 1; i < 16; ++i) sixteen += ",restart";
    ASSERT_TRUE(launcher::failureActions(sixteen, 1, 1));
    EXPECT_EQ(launcher::failureActions(sixteen, 1, 1)->count, 16u);
    EXPECT_FALSE(launcher::failureActions(sixteen + ",none", 1, 1)) << "more than 16";
}

// The ChangeServiceConfig2W calls an installation makes, with the structures they hand over.
TEST(ServiceConfigChanges, OnlyWhatTheSettingsAskForInOrder) {
    using Level = ServiceConfigLevel;
    launcher::ServiceInstallOptions plain;
    launcher::ServiceInstallOptions all;
    all.delayedAutoStart = true;
    all.recoveryActions = "restart,none";
    all.recoveryDelaySeconds = 10;
    all.recoveryResetAfterSeconds = 86400;
    all.recoveryOnErrorExit = true;
    launcher::ServiceInstallOptions invalid = all;
    invalid.recoveryActions = "restart,reboot";
    launcher::ServiceInstallOptions noFlag = all;
    noFlag.recoveryOnErrorExit = false;
    const auto levels = [](const launcher::ServiceConfigChanges& changes) {
        std::vector<Level> list;
        for (const auto& change : changes) list.push_back(change.level);
        return list;
    };
    const struct {
        const launcher::ServiceInstallOptions* options;
        uint32_t startType;
        std::wstring_view description;
        std::vector<Level> expected;
    } cases[] = {
        // A block without the settings: the description alone, as before them.
        {&plain, launcher::kServiceAutoStart, L"Text", {Level::Description}},
        {&plain, launcher::kServiceDemandStart, L"", {}},
        {&plain, launcher::kServiceAutoStart, L"\0hidden"sv, {}},
        {&all,
         launcher::kServiceAutoStart,
         L"Text",
         {Level::Description, Level::DelayedAutoStart, Level::FailureActions,
          Level::FailureActionsFlag}},
        // A delayed start only means something for an automatic one.
        {&all,
         launcher::kServiceDemandStart,
         L"",
         {Level::FailureActions, Level::FailureActionsFlag}},
        {&noFlag,
         launcher::kServiceAutoStart,
         L"",
         {Level::DelayedAutoStart, Level::FailureActions}},
        // A list the launcher cannot read is named, and its flag not set.
        {&invalid, launcher::kServiceDemandStart, L"", {Level::FailureActions}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(levels(launcher::serviceConfigChanges(*c.options, c.startType, c.description)),
                  c.expected)
            << c.startType;
    }
    const auto changes = launcher::serviceConfigChanges(all, launcher::kServiceAutoStart, L"Text");
    EXPECT_EQ(changes.items[0].description, L"Text");
    EXPECT_TRUE(changes.items[1].flag);
    EXPECT_EQ(changes.items[2].actions, launcher::failureActions("restart,none", 10, 86400));
    EXPECT_TRUE(changes.items[2].valid);
    EXPECT_TRUE(changes.items[3].flag);
    EXPECT_FALSE(launcher::serviceConfigChanges(invalid, 3, L"").items[0].valid);
}

TEST(ServiceAccountName, BuiltInAccountsVirtualAccountsAndUsers) {
    using launcher::ServiceAccountName;
    const struct {
        std::wstring_view account;
        ServiceAccountName expected;
    } cases[] = {
        {L"", {}},
        {L"LocalSystem", {}},
        {L"LocalService", {L"NT AUTHORITY\\LocalService", false}},
        {L"NetworkService", {L"NT AUTHORITY\\NetworkService", false}},
        {L"virtual", {L"NT SERVICE\\My Svc", false}},
        {L"ACME\\svc-user", {L"ACME\\svc-user", true}},
        {L".\\local", {L".\\local", true}},
        {L"localservice", {L"localservice", true}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(launcher::serviceAccountName(c.account, L"My Svc"), c.expected);
    }
}

TEST(PasswordFromLine, TheLineWithoutItsEndAndAtMost256Characters) {
    EXPECT_EQ(launcher::passwordFromLine(L"secret\r\n"), L"secret");
    EXPECT_EQ(launcher::passwordFromLine(L"secret\n"), L"secret");
    EXPECT_EQ(launcher::passwordFromLine(L"sec ret"), L"sec ret");
    EXPECT_EQ(launcher::passwordFromLine(L"a\rb\nc"), L"a\rb");
    EXPECT_EQ(launcher::passwordFromLine(L"\r\n"), L"");
    EXPECT_EQ(launcher::passwordFromLine(std::wstring(300, L'p')), std::wstring(256, L'p'));
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
    EXPECT_EQ(dispatch(ServiceCommand::Start, ops, {}), 1);
    EXPECT_TRUE(ops.startArguments.empty());
    EXPECT_EQ(ops.calls, (Calls{"uninstall verbose", "stop verbose", "status", "start"}));
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

// The host's reports during a bounded stop of a child that ignores the stop line, made the way
// the host makes them: the control handler's report, one a step until the timeout, the report
// as it ends the child, and the stopped state once the child has gone.
struct BoundedStopHost {
    std::vector<std::pair<uint64_t, ServiceProgress>> reports;
    uint32_t now = 0;

    BoundedStopHost(uint32_t timeout, uint32_t childGoneAfter) {
        uint32_t checkpoint = 0;
        uint64_t at = 0;
        launcher::StopStep step = launcher::boundedStopStep(timeout, 0);
        reports.push_back({0, {kPending, checkpoint, step.waitHint}});
        while (!step.endChild) {
            at += step.waitBeforeNext;
            step = launcher::boundedStopStep(timeout, at);
            reports.push_back({at, {kPending, ++checkpoint, step.waitHint}});
        }
        reports.push_back({at + childGoneAfter, {kStopped, checkpoint, 0}});
    }
    // The last report made by now (the reports are in time order).
    std::optional<ServiceProgress> query() const {
        const auto after =
            std::upper_bound(reports.begin(), reports.end(), uint64_t{now},
                             [](uint64_t time, const auto& report) { return time < report.first; });
        return after == reports.begin() ? ServiceProgress{} : std::prev(after)->second;
    }
    void sleep(uint32_t ms) { now += ms; }
    uint32_t tickCount() const { return now; }
};

TEST(FollowServiceStop, WaitsThroughABoundedStopUntilTheHostHasEndedTheChild) {
    for (const uint32_t timeout : {1000u, 1500u, 30000u, 86400000u}) {
        for (const uint32_t gone : {0u, 100u, launcher::kEndChildAllowance}) {
            BoundedStopHost host(timeout, gone);
            EXPECT_TRUE(launcher::followServiceStop(host)) << timeout << " " << gone;
            // Polled every 500 ms: the stop is seen at most half a second after it happened.
            EXPECT_LE(host.now, uint64_t{timeout} + gone + launcher::kStopPollMilliseconds);
            EXPECT_GE(host.now, uint64_t{timeout} + gone);
        }
    }
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
