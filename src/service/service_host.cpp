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
    if (final_ || !reportsStoppedAtEnd(exitCode, state_)) return std::nullopt;
    final_ = true;
    return state_ = kServiceStopped;
}

std::optional<uint32_t> ServiceStateTracker::startFailed() {
    if (final_) return std::nullopt;
    final_ = true;
    return state_ = kServiceStopped;
}

}  // namespace launcher
