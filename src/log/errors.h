// Error presentation, the common exit routine and console output.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "log/log_format.h"

namespace launcher {

// True: errors are shown in a message box; false: on the console (or standard error).
extern bool guiErrors;

// The log file's path, once logging decided to write one.
std::optional<std::wstring> logFilePath();

void showError(std::wstring_view text);
// The message of the id with its first "{0}" replaced by the detail.
void showMessage(int32_t messageId, const std::wstring* detail);
void showMessage(int32_t messageId, std::string_view detail);

[[noreturn]] void exitLauncher(int code);
[[noreturn]] void fatalError(std::wstring_view text);
[[noreturn]] void fatalMessage(int32_t messageId, const std::wstring* detail = nullptr);
[[noreturn]] void fatalMessage(int32_t messageId, std::string_view detail);

// Wide text to standard output, not flushed.
void printConsoleText(std::wstring_view text);
template <typename... Args>
void printConsole(std::wstring_view format, const Args&... args) {
    printConsoleText(formatW(format, args...));
}
// A fixed narrow text to standard output, flushed.
void printStdout(std::string_view text);

}  // namespace launcher
