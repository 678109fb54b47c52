#include "service/watchdog_rules.h"

#include "service/status_report.h"

namespace launcher {

namespace {

constexpr uint64_t kMillisecondsPerSecond = 1000;

void appendDecimal(std::string& out, uint64_t value, size_t minimumDigits = 1) {
    char digits[20];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count < minimumDigits && count < sizeof digits) digits[count++] = '0';
    while (count > 0) out.push_back(digits[--count]);
}

void appendLine(std::string& out, std::string_view key, std::string_view value) {
    out.append(key);
    out.push_back('=');
    // A value never breaks the record's lines.
    for (const char c : value) out.push_back(c == '\n' || c == '\r' ? ' ' : c);
    out.push_back('\n');
}

void appendNumberLine(std::string& out, std::string_view key, std::optional<uint64_t> value) {
    std::string text;
    if (value) appendDecimal(text, *value);
    appendLine(out, key, text);
}

void appendTimeLine(std::string& out, std::string_view key, std::optional<uint64_t> value) {
    appendLine(out, key, value ? isoUtcText(*value) : std::string());
}

std::string_view hostStateText(HostState state) {
    switch (state) {
        case HostState::Running:
            return "running";
        case HostState::Restarting:
            return "restarting";
        case HostState::Stopping:
            return "stopping";
        case HostState::Stopped:
            break;
    }
    return "stopped";
}

std::string_view reasonText(RestartReason reason) {
    switch (reason) {
        case RestartReason::Exit:
            return "exit";
        case RestartReason::Hung:
            return "hung";
        case RestartReason::None:
            break;
    }
    return "";
}

}  // namespace

WatchdogLine parseWatchdogLine(std::string_view line) {
    WatchdogLine parsed;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t space = line.find(' ');
    const std::string_view word = line.substr(0, space);
    const std::string_view rest =
        space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    if (word == "dumped" && space == std::string_view::npos) {
        parsed.kind = WatchdogLine::Kind::Dumped;
        return parsed;
    }
    // "info KEY=VALUE" and "rotation-failed FILE<tab>REASON": a key before a separator.
    const auto keyed = [&](char separator, WatchdogLine::Kind kind) {
        const size_t at = rest.find(separator);
        if (at == std::string_view::npos || at == 0) return parsed;
        parsed.kind = kind;
        parsed.key = rest.substr(0, at);
        parsed.value = rest.substr(at + 1);
        return parsed;
    };
    if (word == "rotation-failed") return keyed('\t', WatchdogLine::Kind::RotationFailed);
    if (word == "info") return keyed('=', WatchdogLine::Kind::Info);
    const std::optional<uint32_t> number = statusNumber(rest);
    if (!number) return parsed;
    parsed.number = *number;
    if (word == "hello") parsed.kind = WatchdogLine::Kind::Hello;
    if (word == "pong") parsed.kind = WatchdogLine::Kind::Pong;
    if (word == "sick") parsed.kind = WatchdogLine::Kind::Sick;
    return parsed;
}

WatchdogRules::WatchdogRules(const WatchdogSettings& settings, uint64_t startMilliseconds)
    : intervalMs_(uint64_t{settings.intervalSeconds} * kMillisecondsPerSecond),
      timeoutMs_(uint64_t{settings.timeoutSeconds > 0 ? settings.timeoutSeconds : 1} *
                 kMillisecondsPerSecond),
      on_(settings.intervalSeconds > 0),
      startMs_(startMilliseconds) {}

void WatchdogRules::hello(uint32_t version, uint64_t now) {
    if (!on_ || helloSeen_ || version == 0) return;
    // A hello after the host gave up waiting for it still turns the watchdog on.
    helloSeen_ = true;
    nextPingMs_ = now + intervalMs_;
}

void WatchdogRules::pong(uint32_t n, uint64_t now) {
    // Only an answer to a ping sent and not yet answered counts; a repeated or an unknown N
    // proves nothing.
    if (!helloSeen_ || hung_ || n <= lastAnswered_ || n > lastSent_) return;
    lastAnswered_ = n;
    // Pings sent after this one are counted from now.
    pendingSinceMs_ = now;
}

void WatchdogRules::sick(uint32_t n, uint64_t) {
    if (!helloSeen_ || hung_ || n <= lastAnswered_ || n > lastSent_) return;
    lastAnswered_ = n;
    hung_ = true;
}

void WatchdogRules::dumped(uint64_t) {
    if (dumpSent_) dumpedSeen_ = true;
}

WatchdogStep WatchdogRules::poll(uint64_t now) {
    WatchdogStep step;
    if (!on_ || ended_) return step;
    if (!helloSeen_) {
        if (!noHelloReported_ && now - startMs_ >= timeoutMs_) {
            noHelloReported_ = true;
            step.action = WatchdogAction::ReportNoHello;
        }
        return step;
    }
    if (!hung_ && lastSent_ > lastAnswered_ && now - pendingSinceMs_ >= timeoutMs_) hung_ = true;
    if (hung_) {
        if (!dumpSent_) {
            dumpSent_ = true;
            dumpMs_ = now;
            step.action = WatchdogAction::SendDump;
        } else if (dumpedSeen_ || now - dumpMs_ >= kWatchdogDumpAllowance) {
            ended_ = true;
            step.action = WatchdogAction::EndChild;
        }
        return step;
    }
    if (now >= nextPingMs_) {
        if (lastSent_ == lastAnswered_) pendingSinceMs_ = now;
        step.action = WatchdogAction::SendPing;
        step.ping = ++lastSent_;
        nextPingMs_ += intervalMs_;
        // After a long pause of the clock the pings keep their interval from now.
        if (nextPingMs_ <= now) nextPingMs_ = now + intervalMs_;
    }
    return step;
}

std::optional<uint64_t> WatchdogRules::nextDeadline(uint64_t now) const {
    if (!on_ || ended_) return std::nullopt;
    const auto until = [now](uint64_t at) { return at > now ? at - now : 0; };
    if (!helloSeen_) {
        if (noHelloReported_) return std::nullopt;
        return until(startMs_ + timeoutMs_);
    }
    if (hung_) {
        if (!dumpSent_ || dumpedSeen_) return 0;
        return until(dumpMs_ + kWatchdogDumpAllowance);
    }
    uint64_t at = nextPingMs_;
    if (lastSent_ > lastAnswered_ && pendingSinceMs_ + timeoutMs_ < at)
        at = pendingSinceMs_ + timeoutMs_;
    return until(at);
}

WatchdogState WatchdogRules::state() const {
    if (!on_) return WatchdogState::Off;
    if (!helloSeen_) return noHelloReported_ ? WatchdogState::Off : WatchdogState::WaitingForHello;
    // Late: found hung, or a ping still unanswered when the next one went out.
    if (hung_ || lastSent_ > lastAnswered_ + 1) return WatchdogState::Late;
    return WatchdogState::Answering;
}

std::string_view watchdogStateText(WatchdogState state) {
    switch (state) {
        case WatchdogState::WaitingForHello:
            return "waiting for hello";
        case WatchdogState::Answering:
            return "answering";
        case WatchdogState::Late:
            return "late";
        case WatchdogState::Off:
            break;
    }
    return "off";
}

std::string isoUtcText(uint64_t unixSeconds) {
    constexpr uint64_t kSecondsPerDay = 86400;
    const uint64_t days = unixSeconds / kSecondsPerDay;
    const uint64_t secondOfDay = unixSeconds % kSecondsPerDay;
    // The civil date of a day count (proleptic Gregorian calendar, eras of 400 years).
    const uint64_t z = days + 719468;
    const uint64_t era = z / 146097;
    const uint64_t dayOfEra = z - era * 146097;
    const uint64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const uint64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const uint64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const uint64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const uint64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    const uint64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    std::string text;
    appendDecimal(text, year, 4);
    text.push_back('-');
    appendDecimal(text, month, 2);
    text.push_back('-');
    appendDecimal(text, day, 2);
    text.push_back('T');
    appendDecimal(text, secondOfDay / 3600, 2);
    text.push_back(':');
    appendDecimal(text, secondOfDay / 60 % 60, 2);
    text.push_back(':');
    appendDecimal(text, secondOfDay % 60, 2);
    text.push_back('Z');
    return text;
}

std::string statusRecordText(const StatusRecord& record) {
    std::string out;
    appendLine(out, "service", record.service);
    appendNumberLine(out, "host_pid", record.hostPid);
    appendLine(out, "state", hostStateText(record.state));
    appendNumberLine(out, "app_pid", record.appPid);
    appendTimeLine(out, "app_started", record.appStarted);
    appendNumberLine(out, "restarts", record.restarts);
    appendNumberLine(out, "quick_failures", record.quickFailures);
    appendNumberLine(
        out, "last_exit_code",
        record.lastExitCode ? std::optional<uint64_t>(*record.lastExitCode) : std::nullopt);
    appendTimeLine(out, "last_exit_at", record.lastExitAt);
    appendLine(out, "last_restart_reason", reasonText(record.lastReason));
    appendLine(out, "watchdog", watchdogStateText(record.watchdog));
    appendLine(out, "java_home", record.javaHome);
    appendLine(out, "java_version", record.javaVersion);
    return out;
}

}  // namespace launcher
