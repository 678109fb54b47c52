// When the service host starts its child again: the restart timeline decides, at each end of a
// child, whether to restart it after a delay, to give up, or to stop the service, and keeps the
// counts the status record shows. Portable; the host (service_host_win32.cpp) feeds it the ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "service/service_host.h"

namespace launcher {

// Why the last restart happened.
enum class RestartReason : uint8_t { None, Exit, Hung };

// One end of a child as the host saw it.
struct ChildEnd {
    uint32_t exitCode = 0;         // a crash ends with its exception status, never 0
    uint64_t ranMilliseconds = 0;  // from its start to its end
    bool askedByHost = false;      // a stop, shutdown or pre-shutdown request ended it
    bool hung = false;             // the watchdog found it hung and the host ended it
    bool systemShutdown = false;   // the system shuts down
};

enum class RestartAction : uint8_t {
    Stop,     // the service ends as it did without restarts (the host's usual final report)
    Restart,  // start a new child after delayMilliseconds
    GiveUp,   // too many quick failures: stopped, with exitCode as the service-specific code
};

struct RestartDecision {
    RestartAction action = RestartAction::Stop;
    uint32_t delayMilliseconds = 0;
    uint32_t exitCode = 0;

    bool operator==(const RestartDecision&) const = default;
};

class RestartTimeline {
public:
    explicit RestartTimeline(const RestartSettings& settings) : settings_(settings) {}

    // The child has ended: restart it after a delay, give up, or stop.
    RestartDecision childEnded(const ChildEnd& end);
    // A stop, shutdown or pre-shutdown request: nothing starts after it.
    void stopRequested() { stopped_ = true; }
    // The delay is over: true when the new child is to start now (no stop came meanwhile).
    bool beginRestart();

    uint32_t restarts() const { return restarts_; }
    uint32_t quickFailures() const { return quickFailures_; }
    std::optional<uint32_t> lastExitCode() const { return lastExitCode_; }
    RestartReason lastReason() const { return lastReason_; }
    bool stopWasRequested() const { return stopped_; }

private:
    // Whether on_exit restarts a child that ended this way.
    bool restartsAfter(const ChildEnd& end) const;
    // The delay before the restart after the given number of quick failures in a row.
    uint32_t delayAfter(uint32_t quickFailures) const;

    RestartSettings settings_;
    bool stopped_ = false;
    bool pending_ = false;
    RestartReason pendingReason_ = RestartReason::None;
    uint32_t restarts_ = 0;
    uint32_t quickFailures_ = 0;
    std::optional<uint32_t> lastExitCode_;
    RestartReason lastReason_ = RestartReason::None;
};

// The lines the host writes about its child, in the diagnostic log and at the end of the
// application's standard error file (prefixed there with kHostLinePrefix).
inline constexpr std::string_view kHostLinePrefix = "lumex: service host: ";
std::string hungText(uint32_t timeoutSeconds);
std::string dumpText(bool written);
std::string restartText(const ChildEnd& end, const RestartDecision& decision,
                        uint32_t quickFailures);
std::string giveUpText(uint32_t quickFailures, uint32_t successfulRunSeconds, uint32_t exitCode);

}  // namespace launcher
