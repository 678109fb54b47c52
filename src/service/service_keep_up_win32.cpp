#include "service/service_keep_up_win32.h"

namespace launcher {

uint64_t fileTimeValue(const FILETIME& time) {
    return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

uint64_t systemTimeNow() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return fileTimeValue(now);
}

uint64_t unixNow() {
    constexpr uint64_t kUnixEpoch = 116444736000000000ull;  // 1970 in FILETIME units
    constexpr uint64_t kUnitsPerSecond = 10000000;
    const uint64_t value = systemTimeNow();
    return value > kUnixEpoch ? (value - kUnixEpoch) / kUnitsPerSecond : 0;
}

void takeWatchdogLine(const std::string& text, WatchdogRules& rules, KeepUp& keepUp,
                      const EventLog& events, uint64_t now) {
    constexpr size_t kMaxInfoValue = 260;
    const WatchdogLine line = parseWatchdogLine(text);
    switch (line.kind) {
        case WatchdogLine::Kind::Hello:
            logMessage(L"the application's runtime said hello (protocol %d)", line.number);
            rules.hello(line.number, now);
            break;
        case WatchdogLine::Kind::Pong:
            rules.pong(line.number, now);
            break;
        case WatchdogLine::Kind::Sick:
            logMessage(L"the application reported itself sick (sick %d)", line.number);
            rules.sick(line.number, now);
            break;
        case WatchdogLine::Kind::Dumped:
            rules.dumped(now);
            break;
        case WatchdogLine::Kind::Info: {
            const std::string value(line.value.substr(0, kMaxInfoValue));
            if (line.key == "java.home") keepUp.record.javaHome = value;
            if (line.key == "java.version") keepUp.record.javaVersion = value;
            if (line.key == "stderr") keepUp.errorFile = line.value;
            keepUp.write();
            if (line.key == "java.home" && !keepUp.startReported) {
                keepUp.startReported = true;
                events.report<EventId::ApplicationStarted>(
                    keepUp.record.appPid, wideUtf8(keepUp.record.javaVersion), wideUtf8(value));
            }
            break;
        }
        case WatchdogLine::Kind::RotationFailed:
            logMessage(L"the application's output was not rotated");
            events.report<EventId::OutputNotRotated>(wideUtf8(std::string(line.key)),
                                                     wideUtf8(std::string(line.value)));
            break;
        case WatchdogLine::Kind::Unknown:
            break;
    }
}

}  // namespace launcher
