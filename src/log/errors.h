// Error presentation and console output.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/fatal.h"
#include "common/text_format.h"
#include "config/settings.h"

namespace launcher {

// True: errors are shown in a message box; false: on the console (or standard error).
extern bool guiErrors;

// The log file's path, once logging decided to write one.
std::optional<std::wstring> logFilePath();

void showError(std::wstring_view text);
// Called with the text of every error shown, before it is shown (a service child reports it to
// the event log, since nobody sees its boxes or its standard error); none by default.
void setErrorObserver(void (*observer)(std::wstring_view text));
// The message of the id with its first "{0}" replaced by the detail.
void showMessage(Message message, const std::wstring* detail);
void showMessage(Message message, std::string_view detail);
// The detail shown as its decimal number.
void showMessage(Message message, FailureDetail detail);

// What the entry registers for fatal exits.
FatalHooks fatalPresentation();
// Whether a launcher kind (config 107) shows errors in message boxes.
bool showsErrorsInMessageBoxes(int32_t launcherKind);

// Wide text to standard output, not flushed.
void printConsoleText(std::wstring_view text);
template <typename... Args>
void printConsole(std::wstring_view format, const Args&... args) {
    printConsoleText(formatW(format, args...));
}
// A fixed narrow text to standard output, flushed.
void printStdout(std::string_view text);

}  // namespace launcher
