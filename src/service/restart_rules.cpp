#include "service/restart_rules.h"

#include "common/text_format.h"
#include "service/watchdog_rules.h"

namespace launcher {

namespace {

constexpr uint64_t kMillisecondsPerSecond = 1000;

}  // namespace

bool RestartTimeline::restartsAfter(const ChildEnd& end) const {
    switch (settings_.on) {
        case RestartOn::Always:
            return true;
        case RestartOn::Failure:
            return end.exitCode != 0 || end.hung;
        case RestartOn::Never:
            break;
    }
    return false;
}

uint32_t RestartTimeline::delayAfter(uint32_t quickFailures) const {
    const uint64_t maximum = uint64_t{settings_.maxDelaySeconds} * kMillisecondsPerSecond;
    uint64_t delay = uint64_t{settings_.delaySeconds} * kMillisecondsPerSecond;
    // Each quick failure after the first doubles the delay; the cap keeps the loop short.
    for (uint32_t i = 1; i < quickFailures && delay < maximum; ++i) delay *= 2;
    if (delay > maximum && maximum >= uint64_t{settings_.delaySeconds} * kMillisecondsPerSecond)
        delay = maximum;
    return static_cast<uint32_t>(delay);
}

RestartDecision RestartTimeline::childEnded(const ChildEnd& end) {
    lastExitCode_ = end.exitCode;
    pending_ = false;
    RestartDecision decision;
    decision.exitCode = end.exitCode;
    // An end the host asked for never counts as a failure, and nothing restarts after a stop
    // or while the system shuts down.
    if (end.askedByHost || end.systemShutdown || stopped_ || !restartsAfter(end)) return decision;
    if (end.ranMilliseconds >= uint64_t{settings_.successfulRunSeconds} * kMillisecondsPerSecond) {
        // A long run starts the count again.
        quickFailures_ = 0;
        decision.delayMilliseconds = delayAfter(1);
    } else {
        ++quickFailures_;
        if (quickFailures_ >= settings_.maxFailures) {
            decision.action = RestartAction::GiveUp;
            return decision;
        }
        decision.delayMilliseconds = delayAfter(quickFailures_);
    }
    decision.action = RestartAction::Restart;
    pending_ = true;
    pendingReason_ = end.hung ? RestartReason::Hung : RestartReason::Exit;
    return decision;
}

bool RestartTimeline::beginRestart() {
    if (!pending_ || stopped_) return false;
    pending_ = false;
    ++restarts_;
    lastReason_ = pendingReason_;
    return true;
}

std::string hungText(uint32_t timeoutSeconds) {
    return formatA(
        "the application is hung (no answer in %d s, or sick): asking it for a thread dump",
        timeoutSeconds);
}

std::string dumpText(bool written) {
    return written ? "the application wrote its thread dump; ending it and the processes it "
                     "started"
                   : formatA(
                         "no thread dump came within %d ms; ending the application and the "
                         "processes it started",
                         kWatchdogDumpAllowance);
}

std::string restartText(const ChildEnd& end, const RestartDecision& decision,
                        uint32_t quickFailures) {
    return formatA(
        "the application ended (%s, exit code %d) after %d ms: restarting it in %d ms (%d "
        "quick failures in a row)",
        end.hung ? "hung" : "exit", end.exitCode, static_cast<long long>(end.ranMilliseconds),
        decision.delayMilliseconds, quickFailures);
}

std::string giveUpText(uint32_t quickFailures, uint32_t successfulRunSeconds, uint32_t exitCode) {
    return formatA(
        "giving up: the application failed %d times in a row, each time within %d s; last exit "
        "code %d",
        quickFailures, successfulRunSeconds, exitCode);
}

}  // namespace launcher
