// The diagnostic log: one line per call, written only when the log is switched on. The lines
// are fixed English format texts (see log_format.h for the specifiers).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "log/log_format.h"

namespace launcher {

// Whether a line would be written (true until the first line decided it). Lets callers skip
// formatting when the log is off.
bool logWanted();
// Writes one formatted line; isError adds the "ERROR: " mark. Platform-specific.
void writeLogLine(bool isError, std::wstring_view message);

template <typename... Args>
void logMessage(std::wstring_view format, const Args&... args) {
    if (logWanted()) writeLogLine(false, formatW(format, args...));
}

template <typename... Args>
void logError(std::wstring_view format, const Args&... args) {
    if (logWanted()) writeLogLine(true, formatW(format, args...));
}

// Portable pieces of the log and of error presentation.

// True only for the exact value "yes".
bool isLogSwitchOn(std::string_view value);
// "[seconds:milliseconds] ", elapsed in signed 32-bit arithmetic from the low 32 bits of both
// millisecond counts.
std::wstring logLinePrefix(uint64_t nowMs, uint64_t startMs);
// The folder for log files: the temp base with a trailing separator, or "c:\" without one.
std::wstring logFolder(std::wstring_view tempBase);
// "<folder>pkx_nlog_<i>.log"
std::wstring logFileName(std::wstring_view folder, int index);
constexpr int kMaxLogFileIndex = 1000;
// The message text with its first "{0}" replaced by the detail (when both are present).
std::wstring replacePlaceholder(std::wstring_view text, const std::wstring* detail);
// The text shown for an error: with a log, two line breaks and "Log: <path>" follow.
std::wstring errorTextWithLog(std::wstring_view text, const std::wstring* logPath);

}  // namespace launcher
