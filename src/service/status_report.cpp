#include "service/status_report.h"

namespace launcher {

namespace {

constexpr uint32_t kStateStopped = 1;  // SERVICE_STOPPED
constexpr uint32_t kStateRunning = 4;  // SERVICE_RUNNING

// The record's keys, in StatusKey's order.
constexpr std::array<std::string_view, kStatusKeyCount> kRecordKeys{
    "service",  "host_pid",       "state",          "app_pid",      "app_started",
    "restarts", "quick_failures", "last_exit_code", "last_exit_at", "last_restart_reason",
    "watchdog", "java_home",      "java_version"};

// The values the JSON objects are written from. The record's keys from app_pid on follow,
// in the record's order.
namespace slot {
enum : uint8_t {
    Service,
    Error,
    ErrorCode,
    State,
    Start,
    DisplayName,
    Account,
    HostPid,
    ExitCode,
    ServiceExitCode,
    FirstRecord
};
}
constexpr size_t kValueCount =
    slot::FirstRecord + kStatusKeyCount - static_cast<size_t>(StatusKey::AppPid);

// The values written as numbers; the others are strings.
constexpr uint32_t kNumberValues = 1u << slot::ErrorCode | 1u << slot::HostPid |
                                   1u << slot::ExitCode | 1u << slot::ServiceExitCode |
                                   1u << slot::FirstRecord | 1u << (slot::FirstRecord + 2) |
                                   1u << (slot::FirstRecord + 3) | 1u << (slot::FirstRecord + 4);

// The objects as templates (each ended by a line feed when written): a byte below 0x20 stands
// for a value (the byte minus one) and is written as null when the value is empty; kApplication
// starts the application object, which is null up to its closing brace when there is no record.
constexpr char kApplication = '\x1f';
constexpr std::string_view kErrorObject =
    "{\"service\": \x01, \"error\": \x02, \"error_code\": \x03}";
constexpr std::string_view kMissingObject =
    "{\"service\": \x01, \"installed\": false, \"state\": \"not_installed\"}";
constexpr std::string_view kServiceObject =
    "{\"service\": \x01, \"installed\": true, \"state\": \x04, \"start\": \x05, "
    "\"display_name\": \x06, \"account\": \x07, \"host_pid\": \x08, \"exit_code\": \x09, "
    "\"service_exit_code\": \x0a, \"application\": \x1f{\"pid\": \x0b, \"started\": \x0c, "
    "\"restarts\": \x0d, \"consecutive_failures\": \x0e, \"last_exit_code\": \x0f, "
    "\"last_exit\": \x10, \"last_restart_reason\": \x11, \"watchdog\": \x12, "
    "\"java_home\": \x13, \"java_version\": \x14}}";

// Every piece of the JSON text is appended here: one call site per piece keeps the stub small.
[[gnu::noinline]] void put(std::string& out, std::string_view text) {
    out.append(text.data(), text.size());
}

// The digits of a number, written at the end of the buffer (one copy of the loop for all).
[[gnu::noinline]] std::string_view decimal(char (&buffer)[10], uint32_t value) {
    size_t at = sizeof buffer;
    do {
        buffer[--at] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    return {buffer + at, sizeof buffer - at};
}

}  // namespace

std::optional<uint32_t> statusNumber(std::string_view text) {
    constexpr size_t kMaxDigits = 10;
    if (text.empty() || text.size() > kMaxDigits) return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(value);
}

StatusRecordValues parseStatusRecord(std::string_view text) {
    StatusRecordValues record;
    text = text.substr(0, kStatusRecordMaxBytes);
    for (size_t line = 0; line < kStatusRecordMaxLines && !text.empty(); ++line) {
        const size_t end = text.find('\n');
        std::string_view current = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!current.empty() && current.back() == '\r') current.remove_suffix(1);
        const size_t equals = current.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = current.substr(0, equals);
        std::string_view value = current.substr(equals + 1);
        if (value.size() > kStatusRecordMaxValue) {
            size_t cut = kStatusRecordMaxValue;
            // Never in the middle of a character.
            while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) --cut;
            value = value.substr(0, cut);
        }
        for (size_t i = 0; i < kStatusKeyCount; ++i) {
            if (kRecordKeys[i] == key) record.values[i] = value;
        }
    }
    return record;
}

bool recordBelongsToHost(const StatusRecordValues& record, uint32_t serviceState,
                         uint32_t hostPid) {
    const bool recordStopped = record[StatusKey::State] == "stopped";
    if (serviceState == kStateStopped) return recordStopped;
    return hostPid != 0 && !recordStopped && statusNumber(record[StatusKey::HostPid]) == hostPid;
}

std::string_view serviceStateText(uint32_t state) {
    constexpr std::array<std::string_view, 7> kStates{
        "stopped",          "start_pending", "stop_pending", "running",
        "continue_pending", "pause_pending", "paused"};
    return state >= 1 && state <= kStates.size() ? kStates[state - 1] : std::string_view();
}

std::string_view startTypeText(uint32_t startType, bool delayed) {
    constexpr std::array<std::string_view, 5> kStarts{"boot", "system", "auto", "demand",
                                                      "disabled"};
    constexpr uint32_t kAutoStart = 2;
    if (startType == kAutoStart && delayed) return "delayed";
    return startType < kStarts.size() ? kStarts[startType] : std::string_view();
}

std::string serviceStatusJson(const ServiceStatusReport& report) {
    char digits[4][10];
    std::string_view values[kValueCount] = {
        report.service,
        report.error,
        decimal(digits[3], report.errorCode),
        serviceStateText(report.state),
        report.startType ? startTypeText(*report.startType, report.delayed) : "",
        report.displayName,
        report.account,
        decimal(digits[0], report.hostPid),
        decimal(digits[1], report.exitCode),
        decimal(digits[2], report.serviceExitCode),
    };
    if (report.record) {
        for (size_t i = slot::FirstRecord; i < kValueCount; ++i) {
            values[i] =
                report.record
                    ->values[i - slot::FirstRecord + static_cast<size_t>(StatusKey::AppPid)];
        }
        // No process runs: no process id.
        if (values[slot::FirstRecord] == "0" || report.state == kStateStopped) {
            values[slot::FirstRecord] = {};
        }
    }
    const std::string_view object = !report.error.empty() ? kErrorObject
                                    : !report.installed   ? kMissingObject
                                                          : kServiceObject;
    std::string out;
    for (size_t i = 0; i < object.size();) {
        size_t end = i;
        while (end < object.size() && static_cast<unsigned char>(object[end]) >= 0x20) ++end;
        put(out, object.substr(i, end - i));
        if (end == object.size()) break;
        const char c = object[end];
        i = end + 1;
        if (c == kApplication) {
            if (!report.record) {
                put(out, "null");
                i = object.find('}', i) + 1;
            }
            continue;
        }
        const size_t index = static_cast<size_t>(c - 1);
        std::string_view value = values[index];
        // A number as it was written when it is a JSON number that fits 32 bits (no sign, no
        // leading zero); null otherwise.
        const bool number = (kNumberValues >> index & 1u) != 0;
        if (number && (!statusNumber(value) || (value.size() > 1 && value[0] == '0'))) value = {};
        if (value.empty()) {
            put(out, "null");
        } else if (number) {
            put(out, value);
        } else {
            appendJsonString(out, value);
        }
    }
    put(out, "\n");
    return out;
}

int statusJsonExitCode(const ServiceStatusReport& report) {
    if (!report.error.empty() || !report.installed) return 1;
    return report.state == kStateRunning ? 0 : 3;
}

void appendJsonString(std::string& out, std::string_view text) {
    constexpr char kHex[] = "0123456789abcdef";
    put(out, "\"");
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        // A lead byte and the continuation bytes it announces make one character.
        size_t length = c < 0x80   ? 1
                        : c < 0xC2 ? 0
                        : c < 0xE0 ? 2
                        : c < 0xF0 ? 3
                        : c < 0xF5 ? 4
                                   : 0;
        for (size_t k = 1; k < length; ++k) {
            if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                length = 0;
            }
        }
        // No overlong form, no surrogate (a lone one is no character), nothing past U+10FFFF.
        if (length >= 3) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) ||
                (c == 0xF0 && second < 0x90) || (c == 0xF4 && second > 0x8F)) {
                length = 0;
            }
        }
        char escaped[] = "\\u00..";
        std::string_view piece = text.substr(i, length);
        if (length == 0) {
            piece = "\\ufffd";
            length = 1;
        } else if (c == '"' || c == '\\') {
            escaped[1] = static_cast<char>(c);
            piece = {escaped, 2};
        } else if (c < 0x20) {
            escaped[4] = kHex[c >> 4];
            escaped[5] = kHex[c & 0xF];
            piece = {escaped, 6};
        }
        put(out, piece);
        i += length;
    }
    put(out, "\"");
}

}  // namespace launcher
