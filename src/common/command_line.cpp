#include "common/command_line.h"

#include <array>
#include <utility>

namespace launcher {

std::optional<size_t> nextCommandLineToken(std::wstring_view text, size_t position,
                                           std::wstring& out) {
    out.clear();
    bool insideQuotes = false;
    bool separatorSeen = false;
    wchar_t previous = 0;
    for (size_t i = position;; ++i) {
        const wchar_t c = i < text.size() ? text[i] : L'\0';
        if (c == L'\0') return std::nullopt;
        if (c == L' ' || c == L'\t') {
            if (insideQuotes) {
                out.push_back(c);
            } else {
                separatorSeen = true;
            }
        } else if (c == L'"') {
            if (separatorSeen) return i;
            if (previous == L'"' && !insideQuotes) {
                out.push_back(L'"');
                insideQuotes = true;
            } else {
                insideQuotes = !insideQuotes;
            }
        } else {
            if (separatorSeen) return i;
            out.push_back(c);
        }
        previous = c;
    }
}

void splitCommandLine(std::wstring_view text, std::vector<std::wstring>& list) {
    if (text.empty() || text.front() == L'\0') return;
    std::wstring scratch;
    scratch.reserve(text.size() + 1);
    std::optional<size_t> position = 0;
    while (position) {
        position = nextCommandLineToken(text, *position, scratch);
        list.push_back(scratch);
    }
}

}  // namespace launcher
