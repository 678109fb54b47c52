// Formatter for the launcher's log and console texts. The texts follow the Windows C runtime's
// convention: in a wide format "%s" takes a wide string and "%S" a narrow one (the reverse in a
// narrow format). Only the specifiers the texts use are known: %s %S %d %I64d %lld %p %c %%.
// A specifier whose argument is missing or of another kind never reads out of bounds: strings
// and numbers are converted where that makes sense, anything else prints nothing.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace launcher {

// One argument of a formatted line: a kind and its value, small enough that laying out the
// arguments at each of the many log calls stays cheap.
struct LogArg {
    enum class Kind : uint8_t { Wide, Narrow, Int, Pointer };
    Kind kind;
    size_t length = 0;  // of a text
    union {
        const wchar_t* wideText;
        const char* narrowText;
        int64_t number;
        const void* pointer;
    };

    LogArg(const wchar_t* s) : LogArg(std::wstring_view(s ? s : L"(null)")) {}
    LogArg(const std::wstring& s) : LogArg(std::wstring_view(s)) {}
    LogArg(std::wstring_view s) : kind(Kind::Wide), length(s.size()), wideText(s.data()) {}
    LogArg(const char* s) : LogArg(std::string_view(s ? s : "(null)")) {}
    LogArg(const std::string& s) : LogArg(std::string_view(s)) {}
    LogArg(std::string_view s) : kind(Kind::Narrow), length(s.size()), narrowText(s.data()) {}
    LogArg(int v) : kind(Kind::Int), number(v) {}
    LogArg(unsigned v) : kind(Kind::Int), number(v) {}
    LogArg(long v) : kind(Kind::Int), number(v) {}
    LogArg(unsigned long v) : kind(Kind::Int), number(static_cast<int64_t>(v)) {}
    LogArg(long long v) : kind(Kind::Int), number(v) {}
    LogArg(unsigned long long v) : kind(Kind::Int), number(static_cast<int64_t>(v)) {}
    LogArg(wchar_t c) : kind(Kind::Int), number(c) {}
    LogArg(char c) : kind(Kind::Int), number(static_cast<unsigned char>(c)) {}
    LogArg(const void* p) : kind(Kind::Pointer), pointer(p) {}
    LogArg(void* p) : kind(Kind::Pointer), pointer(p) {}

    std::wstring_view wide() const { return {wideText, length}; }
    std::string_view narrow() const { return {narrowText, length}; }
};

std::wstring formatWide(std::wstring_view format, std::span<const LogArg> args);
std::string formatNarrow(std::string_view format, std::span<const LogArg> args);

// C varargs front end, for callers that hand the launcher a printf-style callback: every
// conversion of the Microsoft C runtime (flags, width, precision, length prefixes) takes exactly
// one argument of its size; after one whose size is unknown the rest of the format stands as it
// is and no further argument is read (text_format_va.cpp).
std::wstring formatWideV(const wchar_t* format, va_list args);

template <typename... Args>
std::wstring formatW(std::wstring_view format, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return formatWide(format, {});
    } else {
        const LogArg list[] = {LogArg(args)...};
        return formatWide(format, list);
    }
}

template <typename... Args>
std::string formatA(std::string_view format, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return formatNarrow(format, {});
    } else {
        const LogArg list[] = {LogArg(args)...};
        return formatNarrow(format, list);
    }
}

// An ASCII literal as a string of either width (for code written once for both forms).
template <typename Ch>
std::basic_string<Ch> asciiText(std::string_view text) {
    return std::basic_string<Ch>(text.begin(), text.end());
}

// Byte-by-byte widening, as the C runtime's default "C" locale conversion does.
std::wstring widen(std::string_view s);
// The reverse for code units below 256; others become '?'.
std::string narrowLossy(std::wstring_view s);

}  // namespace launcher
