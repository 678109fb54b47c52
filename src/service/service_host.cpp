#include "service/service_host.h"

#include "common/limits.h"
#include "service/service_control.h"

namespace launcher {

std::wstring serviceNameFromArguments(const std::vector<std::wstring_view>& arguments) {
    if (!arguments.empty()) {
        // The name is C text: a NUL ends it.
        const std::wstring_view name = arguments.front().substr(0, arguments.front().find(L'\0'));
        if (!name.empty() && name.size() < kBufferLength) return std::wstring(name);
    }
    return std::wstring(kUnknownServiceName);
}

std::wstring quoteChildArgument(std::wstring_view piece) {
    if (!piece.empty() && piece.find_first_of(L" \t\"") == std::wstring_view::npos)
        return std::wstring(piece);
    std::wstring quoted;
    quoted.reserve(piece.size() + 2);
    quoted.push_back(L'"');
    for (const wchar_t c : piece) {
        // Two quotes inside a quoted section read back as one literal quote.
        if (c == L'"') quoted.push_back(L'"');
        quoted.push_back(c);
    }
    quoted.push_back(L'"');
    return quoted;
}

std::wstring childCommandLine(const std::vector<std::wstring>& ownArguments,
                              std::wstring_view serviceName,
                              const std::vector<std::wstring_view>& startParameters) {
    std::wstring line;
    bool first = true;
    const auto add = [&line, &first](std::wstring_view piece) {
        if (!first) line.push_back(L' ');
        first = false;
        line.append(quoteChildArgument(piece));
    };
    // An empty own command line has no program path; the service name then comes first.
    if (!ownArguments.empty()) add(ownArguments.front());
    add(serviceName);
    for (size_t i = 1; i < ownArguments.size(); ++i) add(ownArguments[i]);
    for (const std::wstring_view parameter : startParameters) add(parameter);
    add(kChildRestartMarker);
    return line;
}

std::optional<uint32_t> servicePriorityValue(bool queried, uint32_t dataSize, uint32_t value) {
    if (queried && dataSize == sizeof(uint32_t)) return value;
    return std::nullopt;
}

bool reportsStoppedAtEnd(uint32_t childExitCode, uint32_t currentState) {
    return childExitCode == 0 || currentState == kServiceStopPending;
}

std::optional<uint32_t> ServiceStateTracker::childStarted() {
    if (final_ || stopRequested_) return std::nullopt;
    return state_ = kServiceRunning;
}

std::optional<uint32_t> ServiceStateTracker::stopRequested() {
    stopRequested_ = true;
    if (final_) return std::nullopt;
    return state_ = kServiceStopPending;
}

std::optional<uint32_t> ServiceStateTracker::otherControl() const {
    if (final_) return std::nullopt;
    return state_;
}

std::optional<uint32_t> ServiceStateTracker::childEnded(uint32_t exitCode,
                                                        bool endedBeforeStopSent) {
    if (final_) return std::nullopt;
    // A child that was gone before the stop line reached it did not end because of the stop.
    const bool stoppedByRequest = stopRequested_ && !endedBeforeStopSent;
    if (!reportsStoppedAtEnd(exitCode, stoppedByRequest ? kServiceStopPending : kServiceRunning)) {
        // With a stop pending the manager waits for the stopped report, and gets the code.
        if (!reportFailures_ && !stopRequested_) return std::nullopt;
        failureExitCode_ = exitCode;
    }
    final_ = true;
    return state_ = kServiceStopped;
}

std::optional<uint32_t> ServiceStateTracker::childNotEnded() {
    if (final_) return std::nullopt;
    failureExitCode_ = kChildNotEndedCode;
    final_ = true;
    return state_ = kServiceStopped;
}

uint32_t stopTimeoutSeconds(int32_t configured) {
    if (configured <= 0) return 0;
    return static_cast<uint32_t>(configured) < kMaxStopTimeoutSeconds
               ? static_cast<uint32_t>(configured)
               : kMaxStopTimeoutSeconds;
}

uint32_t javaStopTimeoutSeconds(uint32_t hostTimeoutSeconds) {
    // A fifth of the time, at least 1 s and at most 5 s, is left for the JVM's own end and the
    // host's report; the Java side keeps at least 1 s.
    constexpr uint32_t kMinMargin = 1;
    constexpr uint32_t kMaxMargin = 5;
    if (hostTimeoutSeconds <= kMinMargin) return hostTimeoutSeconds;
    const uint32_t fifth = hostTimeoutSeconds / 5;
    const uint32_t margin = fifth < kMinMargin   ? kMinMargin
                            : fifth > kMaxMargin ? kMaxMargin
                                                 : fifth;
    return hostTimeoutSeconds - margin;
}

uint32_t serviceHostControls(const ServiceHostOptions& options) {
    return options.stopTimeoutSeconds > 0 ? kServiceHostControls | kServiceAcceptPreshutdown
                                          : kServiceHostControls;
}

uint32_t preshutdownTimeoutMilliseconds(uint32_t stopTimeoutSeconds) {
    if (stopTimeoutSeconds == 0) return 0;
    const uint32_t seconds =
        stopTimeoutSeconds < kMaxStopTimeoutSeconds ? stopTimeoutSeconds : kMaxStopTimeoutSeconds;
    return seconds * 1000u + kEndChildAllowance + kStopReportInterval;
}

bool usesJobObject(const ServiceHostOptions& options) {
    return options.killChildWithHost || options.stopTimeoutSeconds > 0 ||
           options.watchdog.intervalSeconds > 0;
}

StopStep boundedStopStep(uint32_t timeoutMilliseconds, uint64_t elapsedMilliseconds) {
    StopStep step;
    if (elapsedMilliseconds >= timeoutMilliseconds) {
        step.endChild = true;
        step.waitHint = kEndChildAllowance;
        step.waitBeforeNext = kEndChildAllowance;
        return step;
    }
    const auto rest = static_cast<uint32_t>(timeoutMilliseconds - elapsedMilliseconds);
    step.waitHint = rest + kEndChildAllowance;
    step.waitBeforeNext = rest < kStopReportInterval ? rest : kStopReportInterval;
    return step;
}

std::optional<uint32_t> ServiceStateTracker::startFailed() {
    if (final_) return std::nullopt;
    final_ = true;
    return state_ = kServiceStopped;
}

std::optional<uint32_t> ServiceStateTracker::gaveUp(uint32_t exitCode) {
    if (final_) return std::nullopt;
    final_ = true;
    // The manager's failure actions act only on a process that ends without a final report.
    if (recoveryConfigured_ && !reportFailures_) return std::nullopt;
    failureExitCode_ = exitCode;
    return state_ = kServiceStopped;
}

}  // namespace launcher
