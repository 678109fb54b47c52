// The /status-json report, portable: the host's status record read back (bounded), whether it
// belongs to the service's current host, and the one JSON object the command prints
// (docs/status.md).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace launcher {

// The most of a status record the reader takes: bytes of the file, lines, bytes of one value.
// Lines past the cap are ignored, a longer value is cut (at a character's start).
constexpr size_t kStatusRecordMaxBytes = 16384;
constexpr size_t kStatusRecordMaxLines = 64;
constexpr size_t kStatusRecordMaxValue = 1024;

// The keys of the status record (docs/watchdog.md), in the record's order.
enum class StatusKey : uint8_t {
    Service,
    HostPid,
    State,
    AppPid,
    AppStarted,
    Restarts,
    QuickFailures,
    LastExitCode,
    LastExitAt,
    LastRestartReason,
    Watchdog,
    JavaHome,
    JavaVersion,
};
constexpr size_t kStatusKeyCount = 13;

// A status record as read back: each known key's value as written (UTF-8), empty when the
// record lacks it or left it empty. Unknown keys and lines without "=" are ignored. The values
// point into the text that was read.
struct StatusRecordValues {
    std::array<std::string_view, kStatusKeyCount> values;
    std::string_view operator[](StatusKey key) const { return values[static_cast<size_t>(key)]; }
};

StatusRecordValues parseStatusRecord(std::string_view text);

// A decimal number of 1 to 10 digits that fits 32 bits; nothing otherwise.
std::optional<uint32_t> statusNumber(std::string_view text);

// Whether the record tells about the service's current host: a running host (any state but
// stopped, with a process id) whose record names the same host_pid, or a stopped service whose
// record says stopped (the last run's facts). A record of an earlier host never shows.
bool recordBelongsToHost(const StatusRecordValues& record, uint32_t serviceState, uint32_t hostPid);

// What /status-json reports of one service, texts in UTF-8.
struct ServiceStatusReport {
    std::string service;
    std::string_view error;  // not empty: the manager could not be asked; only this is shown
    uint32_t errorCode = 0;  // with the error, the failed call's error code
    bool installed = false;
    uint32_t state = 0;                 // SERVICE_STOPPED (1) .. SERVICE_PAUSED (7)
    std::optional<uint32_t> startType;  // SERVICE_BOOT_START (0) .. SERVICE_DISABLED (4)
    bool delayed = false;               // an automatic start that waits for the system
    std::string displayName;            // empty when the configuration was not read
    std::string account;
    uint32_t hostPid = 0;
    uint32_t exitCode = 0;
    uint32_t serviceExitCode = 0;
    std::string recordText;                    // the host's status record as read
    std::optional<StatusRecordValues> record;  // its values, when it belongs to the host
};

// The state's text: "stopped", "start pending", "stop pending", "running", "continue pending",
// "pause pending", "paused"; empty for any other number.
std::string_view serviceStateText(uint32_t state);
// "boot", "system", "auto" ("delayed" when delayed), "demand", "disabled"; empty otherwise.
std::string_view startTypeText(uint32_t startType, bool delayed);

// The report as one JSON object on one line, ended by a line feed.
std::string serviceStatusJson(const ServiceStatusReport& report);

// The exit code of /status-json, as /status: 0 running, 3 not running, 1 failed or not installed.
int statusJsonExitCode(const ServiceStatusReport& report);

// Appends text as a JSON string: quotes and backslashes escaped, control characters as
// \u00XX, UTF-8 kept; a byte that is not a lead byte followed by the continuation bytes it
// announces becomes \ufffd.
void appendJsonString(std::string& out, std::string_view text);

}  // namespace launcher
