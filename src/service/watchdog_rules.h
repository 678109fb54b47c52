// The watchdog's decisions and the host's status record, portable. The host pings its child on
// the child's standard input and reads the answers from a named pipe (docs/watchdog.md); these
// rules say, for each line that came and for the time that passed, what the host does next.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "service/restart_rules.h"
#include "service/service_host.h"

namespace launcher {

// The protocol version the host speaks.
constexpr uint32_t kWatchdogProtocolVersion = 1;
// Milliseconds the host waits for "dumped" after "dump" before it ends the child.
constexpr uint32_t kWatchdogDumpAllowance = 5000;
// The longest line the host reads from the pipe; a longer one is dropped whole.
constexpr size_t kWatchdogLineLimit = 1024;
// The pipe's name: the prefix, then "<host pid>-<child number>".
inline constexpr std::wstring_view kWatchdogPipePrefix = L"\\\\.\\pipe\\lumex-watchdog-";

enum class WatchdogState : uint8_t { Off, WaitingForHello, Answering, Late };

enum class WatchdogAction : uint8_t {
    None,
    SendPing,      // write "ping N" on the child's input
    SendDump,      // write "dump" on the child's input
    EndChild,      // end the child's job: it is hung
    ReportNoHello  // log once that the runtime never said hello: the watchdog is off for it
};

struct WatchdogStep {
    WatchdogAction action = WatchdogAction::None;
    uint32_t ping = 0;  // N of SendPing

    bool operator==(const WatchdogStep&) const = default;
};

// One line the runtime wrote on the pipe.
struct WatchdogLine {
    enum class Kind : uint8_t { Unknown, Hello, Pong, Sick, Dumped, Info, RotationFailed };
    Kind kind = Kind::Unknown;
    uint32_t number = 0;     // the version of hello, N of pong and sick
    std::string_view key;    // of info; the file of rotation-failed
    std::string_view value;  // of info; the reason of rotation-failed
};

// Reads one line (without its line feed); anything else is Unknown.
WatchdogLine parseWatchdogLine(std::string_view line);

// The watchdog of one child, on a clock of milliseconds the host passes in.
class WatchdogRules {
public:
    // Interval 0: off for good. Otherwise the child is waited for from startMilliseconds.
    WatchdogRules(const WatchdogSettings& settings, uint64_t startMilliseconds);

    void hello(uint32_t version, uint64_t now);
    void pong(uint32_t n, uint64_t now);
    void sick(uint32_t n, uint64_t now);
    void dumped(uint64_t now);
    // Time has passed: the action due now, if any. Call again until it returns None.
    WatchdogStep poll(uint64_t now);
    // Milliseconds from now until poll has something to do; nothing when nothing is scheduled.
    std::optional<uint64_t> nextDeadline(uint64_t now) const;

    WatchdogState state() const;
    // The child is found hung (no answer in time, or sick): it is being dumped and ended.
    bool hung() const { return hung_; }
    // The runtime answered "dumped" after the dump request.
    bool dumpWritten() const { return dumpedSeen_; }

private:
    uint64_t intervalMs_ = 0;
    uint64_t timeoutMs_ = 0;
    bool on_ = false;
    bool helloSeen_ = false;
    bool noHelloReported_ = false;
    bool hung_ = false;
    bool dumpSent_ = false;
    bool ended_ = false;
    bool dumpedSeen_ = false;
    uint64_t startMs_ = 0;
    // When the oldest unanswered ping went out (or the last answer came, when later).
    uint64_t pendingSinceMs_ = 0;
    uint64_t nextPingMs_ = 0;
    uint64_t dumpMs_ = 0;
    uint32_t lastSent_ = 0;
    uint32_t lastAnswered_ = 0;
};

// The text of a watchdog state in the status record.
std::string_view watchdogStateText(WatchdogState state);

// UTC seconds since 1970 as ISO 8601 ("2026-12-08T04:52:13Z").
std::string isoUtcText(uint64_t unixSeconds);

// The host's state in the status record.
enum class HostState : uint8_t { Running, Restarting, Stopping, Stopped };

// The facts of the status record (docs/watchdog.md), texts in UTF-8.
struct StatusRecord {
    std::string service;
    uint32_t hostPid = 0;
    HostState state = HostState::Running;
    uint32_t appPid = 0;
    std::optional<uint64_t> appStarted;  // UTC seconds since 1970
    uint32_t restarts = 0;
    uint32_t quickFailures = 0;
    std::optional<uint32_t> lastExitCode;
    std::optional<uint64_t> lastExitAt;
    RestartReason lastReason = RestartReason::None;
    WatchdogState watchdog = WatchdogState::Off;
    std::string javaHome;
    std::string javaVersion;
};

// The record's key=value lines, each ended by a line feed, in the documented order.
std::string statusRecordText(const StatusRecord& record);

}  // namespace launcher
