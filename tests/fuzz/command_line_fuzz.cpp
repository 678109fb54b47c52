// Fuzzes what a hostile command line or environment reaches: splitting, the dispatch decision
// and token expansion. Every result must stay within bounds of its input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/log_host.h"
#include "config/expansion.h"
#include "launcher/commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Two bytes per UTF-16 code unit; the first half is the command line, the rest the
    // environment entries (separated by NUL).
    std::wstring text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        text.push_back(static_cast<wchar_t>(data[i] | data[i + 1] << 8));
    }
    const std::wstring line = text.substr(0, text.size() / 2);
    std::vector<std::wstring> args;
    launcher::splitCommandLine(line, args);
    size_t total = 0;
    for (const auto& a : args) total += a.size();
    if (total > line.size()) __builtin_trap();
    if (args.size() > line.size() + 1) __builtin_trap();
    const auto decision = launcher::decideDispatch(args);
    if (decision.arguments.size() > args.size()) __builtin_trap();

    std::vector<std::wstring> environment;
    std::wstring rest = text.substr(line.size());
    size_t start = 0;
    while (start < rest.size() && environment.size() < 64) {
        size_t end = rest.find(L'\0', start);
        if (end == std::wstring::npos) end = rest.size();
        environment.push_back(rest.substr(start, end - start));
        start = end + 1;
    }
    std::wstring expanded = line;
    launcher::expandTokens(
        expanded, launcher::ExpansionValues<wchar_t>{L"C:\\app\\", L"C:\\t\\d", L"", L"C:\\T\\"},
        environment);
    if (expanded.size() > launcher::kMaxExpandedLength + 64 && expanded.size() > line.size()) {
        __builtin_trap();
    }
    (void)launcher::takeLogLines();  // the host log keeps lines until they are taken
    return 0;
}
