// UTF-8 output for the Windows test helpers: the host tests read everything they print as UTF-8.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace helpers {

inline std::string utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                            nullptr, nullptr);
    }
    return out;
}

// Writes the line and a line feed, as UTF-8, to a handle (a standard stream or a file).
inline void writeUtf8Line(HANDLE target, std::wstring_view line) {
    const std::string bytes = utf8(line) + "\n";
    DWORD written = 0;
    WriteFile(target, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace helpers
