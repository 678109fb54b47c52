#include "service/restart_rules.h"

#include <gtest/gtest.h>

#include <vector>

using launcher::ChildEnd;
using launcher::RestartAction;
using launcher::RestartDecision;
using launcher::RestartOn;
using launcher::RestartReason;
using launcher::RestartSettings;
using launcher::RestartTimeline;

namespace {

// One end of a child, in the table's shorthand.
struct End {
    uint32_t exitCode;
    uint64_t ranSeconds;
    bool askedByHost = false;
    bool hung = false;
    bool systemShutdown = false;
};

struct Expected {
    RestartAction action;
    uint32_t delayMs;
    uint32_t exitCode;
};

RestartSettings settings(RestartOn on, uint32_t delay = 5, uint32_t maxDelay = 300,
                         uint32_t successfulRun = 300, uint32_t maxFailures = 5) {
    RestartSettings s;
    s.on = on;
    s.delaySeconds = delay;
    s.maxDelaySeconds = maxDelay;
    s.successfulRunSeconds = successfulRun;
    s.maxFailures = maxFailures;
    return s;
}

constexpr auto Restart = RestartAction::Restart;
constexpr auto GiveUp = RestartAction::GiveUp;
constexpr auto Stop = RestartAction::Stop;

TEST(RestartTimeline, EachEndOfAChildInTurn) {
    const struct {
        const char* name;
        RestartSettings settings;
        std::vector<End> ends;
        std::vector<Expected> expected;
        uint32_t restarts, quickFailures;
        RestartReason reason;
    } cases[] = {
        {"quick failures double the delay, then give up",
         settings(RestartOn::Failure),
         {{3, 1}, {3, 1}, {3, 1}, {3, 1}, {3, 1}},
         {{Restart, 5000, 3},
          {Restart, 10000, 3},
          {Restart, 20000, 3},
          {Restart, 40000, 3},
          {GiveUp, 0, 3}},
         4,
         5,
         RestartReason::Exit},
        {"the delay stops growing at max_delay",
         settings(RestartOn::Failure, 5, 12, 300, 10),
         {{1, 0}, {1, 0}, {1, 0}, {1, 0}},
         {{Restart, 5000, 1}, {Restart, 10000, 1}, {Restart, 12000, 1}, {Restart, 12000, 1}},
         4,
         4,
         RestartReason::Exit},
        {"a long run resets the delay and the count",
         settings(RestartOn::Failure, 1, 300, 10, 3),
         {{2, 1}, {2, 1}, {2, 10}, {2, 1}, {2, 1}, {2, 1}},
         {{Restart, 1000, 2},
          {Restart, 2000, 2},
          {Restart, 1000, 2},
          {Restart, 1000, 2},
          {Restart, 2000, 2},
          {GiveUp, 0, 2}},
         5,
         3,
         RestartReason::Exit},
        {"failure: a clean exit stops the service",
         settings(RestartOn::Failure),
         {{0, 1}},
         {{Stop, 0, 0}},
         0,
         0,
         RestartReason::None},
        {"failure: a crash restarts",
         settings(RestartOn::Failure),
         {{0xC0000005u, 1}},
         {{Restart, 5000, 0xC0000005u}},
         1,
         1,
         RestartReason::Exit},
        {"always: a clean exit restarts",
         settings(RestartOn::Always),
         {{0, 400}},
         {{Restart, 5000, 0}},
         1,
         0,
         RestartReason::Exit},
        {"never: a failure stops as before",
         settings(RestartOn::Never),
         {{3, 1}},
         {{Stop, 0, 3}},
         0,
         0,
         RestartReason::None},
        {"never: a hang stops the service",
         settings(RestartOn::Never),
         {{1, 1, false, true}},
         {{Stop, 0, 1}},
         0,
         0,
         RestartReason::None},
        {"a hang restarts with its reason",
         settings(RestartOn::Failure),
         {{1, 20, false, true}},
         {{Restart, 5000, 1}},
         1,
         1,
         RestartReason::Hung},
        {"a stop the host asked for is no failure",
         settings(RestartOn::Always),
         {{1, 1, true}},
         {{Stop, 0, 1}},
         0,
         0,
         RestartReason::None},
        {"nothing restarts while the system shuts down",
         settings(RestartOn::Always),
         {{1, 1, false, false, true}},
         {{Stop, 0, 1}},
         0,
         0,
         RestartReason::None},
        {"max_failures 1 gives up at the first quick failure",
         settings(RestartOn::Failure, 5, 300, 300, 1),
         {{7, 1}},
         {{GiveUp, 0, 7}},
         0,
         1,
         RestartReason::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RestartTimeline timeline(c.settings);
        ASSERT_EQ(c.ends.size(), c.expected.size());
        for (size_t i = 0; i < c.ends.size(); ++i) {
            const End& e = c.ends[i];
            ChildEnd end;
            end.exitCode = e.exitCode;
            end.ranMilliseconds = e.ranSeconds * 1000;
            end.askedByHost = e.askedByHost;
            end.hung = e.hung;
            end.systemShutdown = e.systemShutdown;
            const RestartDecision decision = timeline.childEnded(end);
            EXPECT_EQ(decision, (RestartDecision{c.expected[i].action, c.expected[i].delayMs,
                                                 c.expected[i].exitCode}))
                << "end " << i;
            EXPECT_EQ(timeline.lastExitCode(), std::optional<uint32_t>(e.exitCode));
            // Each restart begins once its delay is over.
            EXPECT_EQ(timeline.beginRestart(), decision.action == Restart);
        }
        EXPECT_EQ(timeline.restarts(), c.restarts);
        EXPECT_EQ(timeline.quickFailures(), c.quickFailures);
        EXPECT_EQ(timeline.lastReason(), c.reason);
    }
}

TEST(RestartTimeline, AStopDuringTheDelayStartsNothing) {
    RestartTimeline timeline(settings(RestartOn::Always));
    ChildEnd end;
    end.exitCode = 3;
    end.ranMilliseconds = 100;
    EXPECT_EQ(timeline.childEnded(end).action, Restart);
    timeline.stopRequested();
    EXPECT_FALSE(timeline.beginRestart());
    EXPECT_EQ(timeline.restarts(), 0u);
    // Nor does a later end restart.
    EXPECT_EQ(timeline.childEnded(end).action, Stop);
}

}  // namespace
