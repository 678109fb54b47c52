#include "service/watchdog_rules.h"

#include <gtest/gtest.h>

#include <vector>

using launcher::WatchdogAction;
using launcher::WatchdogLine;
using launcher::WatchdogRules;
using launcher::WatchdogSettings;
using launcher::WatchdogState;
using launcher::WatchdogStep;

namespace {

// One event on the fake clock: at a millisecond, a line came (or only time passed), and what
// poll then returns, and the state after it.
struct Event {
    uint64_t at;
    const char* line;  // nullptr: time passing only
    WatchdogAction action;
    uint32_t ping;
    WatchdogState state;
};

constexpr auto None = WatchdogAction::None;
constexpr auto Ping = WatchdogAction::SendPing;
constexpr auto Dump = WatchdogAction::SendDump;
constexpr auto End = WatchdogAction::EndChild;
constexpr auto NoHello = WatchdogAction::ReportNoHello;
constexpr auto Off = WatchdogState::Off;
constexpr auto Waiting = WatchdogState::WaitingForHello;
constexpr auto Answering = WatchdogState::Answering;
constexpr auto Late = WatchdogState::Late;

TEST(WatchdogRules, LinesAndTimeInTurn) {
    const WatchdogSettings on{1, 3};  // interval 1 s, timeout 3 s
    const struct {
        const char* name;
        WatchdogSettings settings;
        std::vector<Event> events;
    } cases[] = {
        {"off: interval 0",
         {0, 60},
         {{0, "hello 1", None, 0, Off}, {100000, nullptr, None, 0, Off}}},
        {"answering pings",
         on,
         {{0, nullptr, None, 0, Waiting},
          {500, "hello 1", None, 0, Answering},
          {1499, nullptr, None, 0, Answering},
          {1500, nullptr, Ping, 1, Answering},
          {1600, "pong 1", None, 0, Answering},
          {2500, nullptr, Ping, 2, Answering},
          {2600, "pong 2", None, 0, Answering},
          {3500, nullptr, Ping, 3, Answering}}},
        {"silence after hello: late, dump, dumped, end",
         on,
         {{0, "hello 1", None, 0, Answering},
          {1000, nullptr, Ping, 1, Answering},
          {2000, nullptr, Ping, 2, Late},
          {3000, nullptr, Ping, 3, Late},
          {3999, nullptr, None, 0, Late},
          {4000, nullptr, Dump, 0, Late},
          {4100, nullptr, None, 0, Late},
          {4200, "dumped", End, 0, Late},
          {20000, nullptr, None, 0, Late}}},
        {"a missing dumped: ended 5 s after dump",
         on,
         {{0, "hello 1", None, 0, Answering},
          {1000, nullptr, Ping, 1, Answering},
          {4000, nullptr, Dump, 0, Late},
          {8999, nullptr, None, 0, Late},
          {9000, nullptr, End, 0, Late}}},
        {"sick: dump at once",
         on,
         {{0, "hello 1", None, 0, Answering},
          {1000, nullptr, Ping, 1, Answering},
          {1100, "sick 1", Dump, 0, Late},
          {1200, "pong 1", None, 0, Late},
          {1300, "dumped", End, 0, Late}}},
        {"a pong for an old N proves nothing",
         on,
         {{0, "hello 1", None, 0, Answering},
          {1000, nullptr, Ping, 1, Answering},
          {1100, "pong 1", None, 0, Answering},
          {2000, nullptr, Ping, 2, Answering},
          {2100, "pong 1", None, 0, Answering},
          {3000, nullptr, Ping, 3, Late},
          {3100, "pong 7", None, 0, Late},
          {4000, nullptr, Ping, 4, Late},
          {5000, nullptr, Dump, 0, Late}}},
        {"a late pong still counts and clears late",
         on,
         {{0, "hello 1", None, 0, Answering},
          {1000, nullptr, Ping, 1, Answering},
          {2000, nullptr, Ping, 2, Late},
          {3000, nullptr, Ping, 3, Late},
          {3500, "pong 3", None, 0, Answering},
          {4000, nullptr, Ping, 4, Answering}}},
        {"never a hello: reported once, never ended",
         on,
         {{0, nullptr, None, 0, Waiting},
          {2999, nullptr, None, 0, Waiting},
          {3000, nullptr, NoHello, 0, Off},
          {4000, nullptr, None, 0, Off},
          {100000, nullptr, None, 0, Off}}},
        {"a late hello turns the watchdog on",
         on,
         {{3000, nullptr, NoHello, 0, Off},
          {10000, "hello 1", None, 0, Answering},
          {11000, nullptr, Ping, 1, Answering},
          {12000, nullptr, Ping, 2, Late},
          {14000, nullptr, Dump, 0, Late}}},
        {"unknown lines and pongs before hello change nothing",
         on,
         {{0, "pong 1", None, 0, Waiting},
          {100, "hello x", None, 0, Waiting},
          {200, "hello 0", None, 0, Waiting},
          {300, "hello 2", None, 0, Answering},
          {400, "dumped", None, 0, Answering},
          {1300, nullptr, Ping, 1, Answering}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WatchdogRules rules(c.settings, 0);
        for (const Event& e : c.events) {
            SCOPED_TRACE(e.at);
            if (e.line != nullptr) {
                const WatchdogLine line = launcher::parseWatchdogLine(e.line);
                switch (line.kind) {
                    case WatchdogLine::Kind::Hello:
                        rules.hello(line.number, e.at);
                        break;
                    case WatchdogLine::Kind::Pong:
                        rules.pong(line.number, e.at);
                        break;
                    case WatchdogLine::Kind::Sick:
                        rules.sick(line.number, e.at);
                        break;
                    case WatchdogLine::Kind::Dumped:
                        rules.dumped(e.at);
                        break;
                    default:
                        break;
                }
            }
            // Nothing is due before the deadline poll is told of.
            EXPECT_EQ(rules.poll(e.at), (WatchdogStep{e.action, e.ping}));
            EXPECT_EQ(rules.state(), e.state);
        }
    }
}

TEST(WatchdogRules, TheNextDeadlineIsTheNextPingOrTheTimeout) {
    WatchdogRules rules({10, 3}, 0);
    EXPECT_EQ(rules.nextDeadline(0), std::optional<uint64_t>(3000));
    rules.hello(1, 1000);
    EXPECT_EQ(rules.nextDeadline(1000), std::optional<uint64_t>(10000));
    EXPECT_EQ(rules.poll(11000), (WatchdogStep{Ping, 1}));
    // Interval longer than the timeout: the unanswered ping's timeout comes first.
    EXPECT_EQ(rules.nextDeadline(11000), std::optional<uint64_t>(3000));
    EXPECT_EQ(rules.poll(14000), (WatchdogStep{Dump, 0}));
    EXPECT_EQ(rules.nextDeadline(14000), std::optional<uint64_t>(5000));
    EXPECT_EQ(rules.poll(19000), (WatchdogStep{End, 0}));
    EXPECT_EQ(rules.nextDeadline(19000), std::nullopt);
    EXPECT_EQ(WatchdogRules({0, 3}, 0).nextDeadline(0), std::nullopt);
}

TEST(ParseWatchdogLine, ProtocolLines) {
    using Kind = WatchdogLine::Kind;
    const struct {
        const char* line;
        Kind kind;
        uint32_t number;
        const char *key, *value;
    } cases[] = {
        {"hello 1", Kind::Hello, 1, "", ""},
        {"pong 42\r", Kind::Pong, 42, "", ""},
        {"sick 4294967295", Kind::Sick, 4294967295u, "", ""},
        {"sick 4294967296", Kind::Unknown, 0, "", ""},
        {"pong", Kind::Unknown, 0, "", ""},
        {"pong -1", Kind::Unknown, 0, "", ""},
        {"pong  1", Kind::Unknown, 0, "", ""},
        {"dumped", Kind::Dumped, 0, "", ""},
        {"dumped now", Kind::Unknown, 0, "", ""},
        {"info java.version=17.0.15", Kind::Info, 0, "java.version", "17.0.15"},
        {"info java.home=C:\\a=b", Kind::Info, 0, "java.home", "C:\\a=b"},
        {"info =x", Kind::Unknown, 0, "", ""},
        {"rotation-failed C:\\logs\\err.log\tC:\\logs\\err.log.1 is not a plain file",
         Kind::RotationFailed, 0, "C:\\logs\\err.log", "C:\\logs\\err.log.1 is not a plain file"},
        {"rotation-failed no tab", Kind::Unknown, 0, "", ""},
        {"", Kind::Unknown, 0, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const WatchdogLine line = launcher::parseWatchdogLine(c.line);
        EXPECT_EQ(line.kind, c.kind);
        EXPECT_EQ(line.number, c.number);
        EXPECT_EQ(line.key, c.key);
        EXPECT_EQ(line.value, c.value);
    }
}

TEST(IsoUtcText, SecondsSince1970) {
    const struct {
        uint64_t seconds;
        const char* text;
    } cases[] = {
        {0, "1970-01-01T00:00:00Z"},
        {951782400, "2000-02-29T00:00:00Z"},
        {1796705533, "2026-12-08T04:52:13Z"},
        {4102444799, "2099-12-31T23:59:59Z"},
    };
    for (const auto& c : cases) EXPECT_EQ(launcher::isoUtcText(c.seconds), c.text);
}

TEST(StatusRecordText, EveryKeyInOrder) {
    launcher::StatusRecord record;
    record.service = "My Service";
    record.hostPid = 1234;
    EXPECT_EQ(launcher::statusRecordText(record),
              "service=My Service\nhost_pid=1234\nstate=running\napp_pid=0\napp_started=\n"
              "restarts=0\nquick_failures=0\nlast_exit_code=\nlast_exit_at=\n"
              "last_restart_reason=\nwatchdog=off\njava_home=\njava_version=\n");
    record.state = launcher::HostState::Restarting;
    record.appPid = 77;
    record.appStarted = 1796705533;
    record.restarts = 2;
    record.quickFailures = 1;
    record.lastExitCode = 3;
    record.lastExitAt = 1796705533;
    record.lastReason = launcher::RestartReason::Hung;
    record.watchdog = WatchdogState::WaitingForHello;
    record.javaHome = "C:\\jdk\nx";
    record.javaVersion = "17.0.15";
    EXPECT_EQ(launcher::statusRecordText(record),
              "service=My Service\nhost_pid=1234\nstate=restarting\napp_pid=77\n"
              "app_started=2026-12-08T04:52:13Z\nrestarts=2\nquick_failures=1\nlast_exit_code=3\n"
              "last_exit_at=2026-12-08T04:52:13Z\nlast_restart_reason=hung\n"
              "watchdog=waiting for hello\njava_home=C:\\jdk x\njava_version=17.0.15\n");
}

}  // namespace
