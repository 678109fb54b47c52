// Host builds: log lines go to an in-memory list that the unit tests read.
#include "common/log_host.h"

#include "common/log.h"

namespace launcher {

namespace {
std::vector<std::wstring>& lines() {
    static std::vector<std::wstring> captured;
    return captured;
}
}  // namespace

bool logWanted() {
    return true;
}

void writeLogLine(bool isError, std::wstring_view message) {
    lines().push_back((isError ? std::wstring(L"ERROR: ") : std::wstring()) +
                      std::wstring(message));
}

std::vector<std::wstring> takeLogLines() {
    std::vector<std::wstring> out;
    out.swap(lines());
    return out;
}

}  // namespace launcher
