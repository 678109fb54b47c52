// Writing one diagnostic log line. Every floor logs through these two templates; the log file
// itself (when it is written, where, with which header) belongs to the log floor, which defines
// logWanted and writeLogLine. The lines are fixed English format texts (see text_format.h).
#pragma once

#include <string_view>

#include "common/text_format.h"

namespace launcher {

// Whether a line would be written (true until the first line decided it). Lets callers skip
// formatting when the log is off.
bool logWanted();
// Writes one formatted line; isError adds the "ERROR: " mark.
void writeLogLine(bool isError, std::wstring_view message);

// logError as a C varargs function, for the error callback of a loaded library ("%s" a wide
// string, "%S" a narrow one, "%d" an int, ...).
void logErrorCallback(const wchar_t* format, ...);

template <typename... Args>
void logMessage(std::wstring_view format, const Args&... args) {
    if (logWanted()) writeLogLine(false, formatW(format, args...));
}

template <typename... Args>
void logError(std::wstring_view format, const Args&... args) {
    if (logWanted()) writeLogLine(true, formatW(format, args...));
}

}  // namespace launcher
