#include "service/status_report.h"

namespace launcher {

namespace {

constexpr uint32_t kStateStopped = 1;  // SERVICE_STOPPED
constexpr uint32_t kStateRunning = 4;  // SERVICE_RUNNING

// A record key, its name in the application object (empty: not shown there) and whether its
// value is a number.
struct KeyName {
    std::string_view record;
    std::string_view json;
    bool number;
};

constexpr std::array<KeyName, kStatusKeyCount> kKeys{{
    {"service", "", false},
    {"host_pid", "", true},
    {"state", "", false},
    {"app_pid", "pid", true},
    {"app_started", "started", false},
    {"restarts", "restarts", true},
    {"quick_failures", "consecutive_failures", true},
    {"last_exit_code", "last_exit_code", true},
    {"last_exit_at", "last_exit", false},
    {"last_restart_reason", "last_restart_reason", false},
    {"watchdog", "watchdog", false},
    {"java_home", "java_home", false},
    {"java_version", "java_version", false},
}};

void appendNumber(std::string& out, uint64_t value) {
    char digits[20];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) out.push_back(digits[--count]);
}

// The length of the valid UTF-8 character at the start of text; 0 when it starts none.
size_t utf8Length(std::string_view text) {
    const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong form
        if (lead == 0xED) high = 0x9F;  // no surrogate
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

void appendKey(std::string& out, std::string_view key) {
    if (out.back() != '{') out += ", ";
    out += '"';
    out += key;
    out += "\": ";
}

void appendText(std::string& out, std::string_view key, std::optional<std::string_view> value) {
    appendKey(out, key);
    if (value && !value->empty()) {
        appendJsonString(out, *value);
    } else {
        out += "null";
    }
}

void appendNumber(std::string& out, std::string_view key, std::optional<uint64_t> value) {
    appendKey(out, key);
    if (value) {
        appendNumber(out, *value);
    } else {
        out += "null";
    }
}

// The application object of a record that belongs to the host.
void appendApplication(std::string& out, const StatusRecordValues& record, bool stopped) {
    out += '{';
    for (size_t i = 0; i < kStatusKeyCount; ++i) {
        const KeyName& key = kKeys[i];
        if (key.json.empty()) continue;
        if (!key.number) {
            appendText(out, key.json, record.values[i]);
            continue;
        }
        std::optional<uint32_t> number = statusNumber(record.values[i]);
        // No process runs: no process id.
        if (static_cast<StatusKey>(i) == StatusKey::AppPid && (number == 0u || stopped)) {
            number.reset();
        }
        appendNumber(out, key.json, number);
    }
    out += '}';
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
            if (kKeys[i].record == key) record.values[i] = value;
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
        "stopped",          "start pending", "stop pending", "running",
        "continue pending", "pause pending", "paused"};
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
    std::string out = "{";
    appendText(out, "service", report.service);
    if (!report.error.empty()) {
        appendText(out, "error", report.error);
        return out + "}\n";
    }
    appendKey(out, "installed");
    out += report.installed ? "true" : "false";
    if (!report.installed) {
        appendText(out, "state", std::nullopt);
        return out + "}\n";
    }
    appendText(out, "state", serviceStateText(report.state));
    appendText(out, "start",
               report.startType ? std::optional(startTypeText(*report.startType, report.delayed))
                                : std::nullopt);
    appendText(out, "display_name", report.displayName);
    appendText(out, "account", report.account);
    appendNumber(out, "host_pid", report.hostPid);
    appendNumber(out, "exit_code", report.exitCode);
    appendNumber(out, "service_exit_code", report.serviceExitCode);
    appendKey(out, "application");
    if (report.record) {
        appendApplication(out, *report.record, report.state == kStateStopped);
    } else {
        out += "null";
    }
    return out + "}\n";
}

int statusJsonExitCode(const ServiceStatusReport& report) {
    if (!report.error.empty() || !report.installed) return 1;
    return report.state == kStateRunning ? 0 : 3;
}

void appendJsonString(std::string& out, std::string_view text) {
    constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    while (!text.empty()) {
        const auto c = static_cast<unsigned char>(text[0]);
        const size_t length = utf8Length(text);
        if (length == 0) {
            out += "\\ufffd";
            text.remove_prefix(1);
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    out += '"';
}

}  // namespace launcher
