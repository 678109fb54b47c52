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

// Formats and writes one line when the log is wanted. Out of line, so that each of the many
// call sites only lays out its arguments.
void logFormatted(bool isError, std::wstring_view format, std::span<const LogArg> args);

template <typename... Args>
void logMessage(std::wstring_view format, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        logFormatted(false, format, {});
    } else {
        const LogArg list[] = {LogArg(args)...};
        logFormatted(false, format, list);
    }
}

template <typename... Args>
void logError(std::wstring_view format, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        logFormatted(true, format, {});
    } else {
        const LogArg list[] = {LogArg(args)...};
        logFormatted(true, format, list);
    }
}

}  // namespace launcher
