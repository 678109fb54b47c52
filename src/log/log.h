// The diagnostic log file: switched on by an environment variable, named in the temp base,
// one open-write-close per line (see common/log.h for writing lines).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/log.h"

namespace launcher {

// Where the log goes, told once by the entry before the first line: the folder's provider is
// asked only when the log is switched on (lines written while it runs are dropped), and the
// executable path names the program in the header.
struct LogSetup {
    std::wstring (*tempBase)() = nullptr;
    std::wstring executablePath;
};
void configureLog(LogSetup setup);

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
