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

std::optional<uint32_t> ServiceStateTracker::childEnded(uint32_t exitCode) {
    if (final_) return std::nullopt;
    if (!reportsStoppedAtEnd(exitCode, state_)) {
        if (!reportFailures_) return std::nullopt;
        failureExitCode_ = exitCode;
    }
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
    // A fifth of the time, at most 5 s, is left for the JVM's own end and the host's report;
    // a timeout below 5 s leaves the Java side the whole of it (at least 1 s).
    constexpr uint32_t kMaxMargin = 5;
    const uint32_t margin =
        hostTimeoutSeconds / 5 < kMaxMargin ? hostTimeoutSeconds / 5 : kMaxMargin;
    return hostTimeoutSeconds - margin;
}

bool usesJobObject(const ServiceHostOptions& options) {
    return options.killChildWithHost || options.stopTimeoutSeconds > 0;
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

}  // namespace launcher
