#include "service/service_host.h"

#include <gtest/gtest.h>

#include "common/command_line.h"
#include "service/service_control.h"

using launcher::childCommandLine;
using launcher::quoteChildArgument;
using launcher::reportsStoppedAtEnd;
using launcher::serviceNameFromArguments;
using launcher::servicePriorityValue;

namespace {

TEST(QuoteChildArgument, TheChildsSplitterReadsEachPieceBack) {
    const struct {
        std::wstring_view piece, quoted;
    } cases[] = {
        {L"plain", L"plain"},
        {L"with space", L"\"with space\""},
        {L"tab\there", L"\"tab\there\""},
        {L"say \"hi\"", L"\"say \"\"hi\"\"\""},
        {L"q\"uote", L"\"q\"\"uote\""},
        {L"", L"\"\""},
        {L" ", L"\" \""},
        {L"\"", L"\"\"\"\""},
        {L"C:\\dir\\", L"C:\\dir\\"},
        {L"C:\\my dir\\", L"\"C:\\my dir\\\""},
        {L"x\" __pkx_restart", L"\"x\"\" __pkx_restart\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(quoteChildArgument(c.piece), c.quoted);
        // The child splits its command line with the launcher's own splitter.
        std::vector<std::wstring> back;
        launcher::splitCommandLine(L"svc.exe " + quoteChildArgument(c.piece) + L" __pkx_restart",
                                   back);
        EXPECT_EQ(back,
                  (std::vector<std::wstring>{L"svc.exe", std::wstring(c.piece), L"__pkx_restart"}));
    }
}

TEST(ChildCommandLine, PathNameAndMarker) {
    EXPECT_EQ(childCommandLine({L"C:\\Program Files\\My App\\svc.exe"}, L"My Service", {}),
              L"\"C:\\Program Files\\My App\\svc.exe\" \"My Service\" __pkx_restart");
    EXPECT_EQ(childCommandLine({L"c:\\app\\svc.exe"}, L"Svc", {}),
              L"c:\\app\\svc.exe Svc __pkx_restart");
}

TEST(ChildCommandLine, OwnArgumentsThenStartParametersBeforeTheMarker) {
    EXPECT_EQ(
        childCommandLine({L"c:\\a\\svc.exe", L"own", L"own 2"}, L"Svc", {L"p1", L"p 2", L"p\t3"}),
        L"c:\\a\\svc.exe Svc own \"own 2\" p1 \"p 2\" \"p\t3\" __pkx_restart");
}

TEST(ChildCommandLine, EmptyPiecesKeepTheirSeparators) {
    EXPECT_EQ(childCommandLine({L"svc.exe"}, L"Svc", {L"", L"b"}),
              L"svc.exe Svc \"\" b __pkx_restart");
    EXPECT_EQ(childCommandLine({}, L"Svc", {}), L"Svc __pkx_restart");
}

TEST(ServiceNameFromArguments, FirstArgumentOfOneTo5999Characters) {
    EXPECT_EQ(serviceNameFromArguments({L"MySvc", L"a"}), L"MySvc");
    EXPECT_EQ(serviceNameFromArguments({}), L"unknown");
    EXPECT_EQ(serviceNameFromArguments({L""}), L"unknown");
    const std::wstring longest(5999, L'n');
    EXPECT_EQ(serviceNameFromArguments({longest}), longest);
    const std::wstring tooLong(6000, L'n');
    EXPECT_EQ(serviceNameFromArguments({tooLong}), L"unknown");
}

TEST(ServiceNameFromArguments, UnknownNameReachesTheChild) {
    EXPECT_EQ(childCommandLine({L"svc.exe"}, serviceNameFromArguments({L""}), {}),
              L"svc.exe unknown __pkx_restart");
}

TEST(ServicePriorityValue, OnlyAFourByteValueCounts) {
    EXPECT_EQ(servicePriorityValue(true, 4, 64), std::optional<uint32_t>(64));
    EXPECT_EQ(servicePriorityValue(true, 4, 0x8000), std::optional<uint32_t>(0x8000));
    EXPECT_EQ(servicePriorityValue(true, 2, 64), std::nullopt);
    EXPECT_EQ(servicePriorityValue(true, 8, 64), std::nullopt);
    EXPECT_EQ(servicePriorityValue(false, 4, 64), std::nullopt);
}

TEST(ReportsStoppedAtEnd, ExitCodeZeroOrAStopRequest) {
    const struct {
        uint32_t exitCode, state;
        bool stopped;
    } cases[] = {
        {0, launcher::kServiceRunning, true},
        {1, launcher::kServiceRunning, false},
        {1, launcher::kServiceStopPending, true},
        {0, launcher::kServiceStopPending, true},
        {0xC0000005u, launcher::kServiceRunning, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(reportsStoppedAtEnd(c.exitCode, c.state), c.stopped)
            << c.exitCode << " in state " << c.state;
    }
}

// The reports of the host as events arrive in the orders the two threads can produce.
TEST(ServiceStateTracker, AStopIsNeverOverwrittenAndNothingFollowsTheFinalReport) {
    using launcher::kServiceRunning, launcher::kServiceStopPending, launcher::kServiceStopped;
    using launcher::ServiceStateTracker;
    using Report = std::optional<uint32_t>;
    // EarlyOne: the child ended with code 1 before the stop line was sent; NotEnded: the stop's
    // end of the child did not take.
    enum Event {
        Started,
        Stop,
        Other,
        EndedZero,
        EndedOne,
        EarlyOne,
        NotEnded,
        StartFailed,
        GaveUpThree
    };
    const struct {
        const char* name;
        std::vector<std::pair<Event, Report>> steps;
        bool reportFailures = false;  // failure actions are configured
        uint32_t failureExitCode = 0;
        bool recoveryConfigured = false;  // with or without their flag
    } cases[] = {
        // With failure actions, a child failing on its own ends the service with its code.
        {"failing on its own, reported",
         {{Started, kServiceRunning}, {EndedOne, kServiceStopped}, {Stop, std::nullopt}},
         true,
         1},
        {"stopped, reported",
         {{Started, kServiceRunning}, {Stop, kServiceStopPending}, {EndedOne, kServiceStopped}},
         true,
         0},
        {"ending well, reported",
         {{Started, kServiceRunning}, {EndedZero, kServiceStopped}},
         true,
         0},
        {"plain",
         {{Started, kServiceRunning}, {Stop, kServiceStopPending}, {EndedOne, kServiceStopped}}},
        {"stop before the child ran",
         {{Stop, kServiceStopPending},
          {Started, std::nullopt},
          {Other, kServiceStopPending},
          {EndedZero, kServiceStopped}}},
        {"requests after the end",
         {{Started, kServiceRunning},
          {EndedZero, kServiceStopped},
          {Stop, std::nullopt},
          {Other, std::nullopt}}},
        {"failing on its own", {{Started, kServiceRunning}, {EndedOne, std::nullopt}}},
        {"start failed",
         {{StartFailed, kServiceStopped}, {Stop, std::nullopt}, {Started, std::nullopt}}},
        // A child that failed just before a stop arrived keeps its code, with or without
        // failure actions; one that ended well before it is a clean stop.
        {"failing just before a stop",
         {{Started, kServiceRunning}, {Stop, kServiceStopPending}, {EarlyOne, kServiceStopped}},
         false,
         1},
        {"failing just before a stop, reported",
         {{Started, kServiceRunning}, {Stop, kServiceStopPending}, {EarlyOne, kServiceStopped}},
         true,
         1},
        {"failing on its own, no stop", {{Started, kServiceRunning}, {EarlyOne, std::nullopt}}},
        // A child the stop could not end is never reported as a clean stop.
        {"not ended",
         {{Started, kServiceRunning},
          {Stop, kServiceStopPending},
          {NotEnded, kServiceStopped},
          {EndedZero, std::nullopt}},
         false,
         launcher::kChildNotEndedCode},
        // Giving up restarting: stopped with the last code, unless failure actions without
        // their flag are to take over.
        {"giving up",
         {{Started, kServiceRunning}, {GaveUpThree, kServiceStopped}, {Stop, std::nullopt}},
         false,
         3},
        {"giving up, failure actions take over",
         {{Started, kServiceRunning}, {GaveUpThree, std::nullopt}, {Stop, std::nullopt}},
         false,
         0,
         true},
        {"giving up, failure actions with their flag",
         {{Started, kServiceRunning}, {GaveUpThree, kServiceStopped}},
         true,
         3,
         true},
    };
    for (const auto& c : cases) {
        ServiceStateTracker tracker;
        tracker.reportChildFailures(c.reportFailures);
        tracker.recoveryConfigured(c.recoveryConfigured);
        for (const auto& [event, want] : c.steps) {
            Report got;
            switch (event) {
                case Started:
                    got = tracker.childStarted();
                    break;
                case Stop:
                    got = tracker.stopRequested();
                    break;
                case Other:
                    got = tracker.otherControl();
                    break;
                case EndedZero:
                    got = tracker.childEnded(0);
                    break;
                case EndedOne:
                    got = tracker.childEnded(1);
                    break;
                case EarlyOne:
                    got = tracker.childEnded(1, true);
                    break;
                case NotEnded:
                    got = tracker.childNotEnded();
                    break;
                case StartFailed:
                    got = tracker.startFailed();
                    break;
                case GaveUpThree:
                    got = tracker.gaveUp(3);
                    break;
            }
            EXPECT_EQ(got, want) << c.name << ", event " << event;
        }
        EXPECT_EQ(tracker.failureExitCode(), c.failureExitCode) << c.name;
    }
}

TEST(StopTimeout, TheHostsBoundTheJavaSidesAndTheJob) {
    using launcher::javaStopTimeoutSeconds, launcher::stopTimeoutSeconds;
    const struct {
        int32_t configured;
        uint32_t host, java;
    } cases[] = {{0, 0, 0},
                 {-5, 0, 0},
                 {1, 1, 1},
                 {2, 2, 1},
                 {4, 4, 3},
                 {5, 5, 4},
                 {12, 12, 10},
                 {30, 30, 25},
                 {86400, 86400, 86395},
                 {INT32_MAX, 86400, 86395}};
    for (const auto& c : cases) {
        EXPECT_EQ(stopTimeoutSeconds(c.configured), c.host) << c.configured;
        EXPECT_EQ(javaStopTimeoutSeconds(c.host), c.java) << c.configured;
    }
    // A job object only when the settings need one: a block without them starts no job.
    EXPECT_FALSE(launcher::usesJobObject({}));
    EXPECT_TRUE(launcher::usesJobObject({30, false, false}));
    EXPECT_TRUE(launcher::usesJobObject({0, true, false}));
    EXPECT_FALSE(launcher::usesJobObject({0, false, true}));
    launcher::ServiceHostOptions watched;
    watched.watchdog.intervalSeconds = 1;
    EXPECT_TRUE(launcher::usesJobObject(watched));
    launcher::ServiceHostOptions restarted;
    restarted.restart.on = launcher::RestartOn::Always;
    EXPECT_FALSE(launcher::usesJobObject(restarted));
    // Pre-shutdown only with a bounded stop, whose whole length it then covers.
    EXPECT_EQ(launcher::serviceHostControls({}), 5u);
    EXPECT_EQ(launcher::serviceHostControls({30, false, false}), 0x105u);
    EXPECT_EQ(launcher::preshutdownTimeoutMilliseconds(0), 0u);
    EXPECT_EQ(launcher::preshutdownTimeoutMilliseconds(30), 36000u);
    EXPECT_EQ(launcher::preshutdownTimeoutMilliseconds(86400), 86406000u);
}

// A report every second whose hint covers the rest of the timeout and the time to end the
// child, until the timeout has passed.
TEST(BoundedStopStep, HintsCoverTheRestAndTheChildEndsAtTheTimeout) {
    using launcher::boundedStopStep, launcher::StopStep, launcher::kEndChildAllowance;
    const struct {
        uint32_t timeout;
        uint64_t elapsed;
        StopStep expected;
    } cases[] = {
        {30000, 0, {false, 30000 + kEndChildAllowance, 1000}},
        {30000, 1003, {false, 28997 + kEndChildAllowance, 1000}},
        {30000, 29999, {false, 1 + kEndChildAllowance, 1}},
        {30000, 30000, {true, kEndChildAllowance, kEndChildAllowance}},
        {86400000, 0, {false, 86400000 + kEndChildAllowance, 1000}},
        {86400000, uint64_t{1} << 40, {true, kEndChildAllowance, kEndChildAllowance}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(boundedStopStep(c.timeout, c.elapsed), c.expected)
            << c.timeout << " " << c.elapsed;
    }
}

}  // namespace
