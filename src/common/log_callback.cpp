// The log as a C callback for libraries of the application's installation: they receive it as a
// printf-style function with a wide format, so its arguments go through the launcher's own
// formatter (never the C runtime's printf family, whose va_list handling differs between
// toolchains).
#include <cstdarg>

#include "common/log.h"

namespace launcher {

void logFormatted(bool isError, std::wstring_view format, std::span<const LogArg> args) {
    if (logWanted()) writeLogLine(isError, formatWide(format, args));
}

void logErrorCallback(const wchar_t* format, ...) {
    if (format == nullptr || !logWanted()) return;
    va_list args;
    va_start(args, format);
    const std::wstring line = formatWideV(format, args);
    va_end(args);
    writeLogLine(true, line);
}

}  // namespace launcher
