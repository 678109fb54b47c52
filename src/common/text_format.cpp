#include "common/text_format.h"

namespace launcher {

std::wstring widen(std::string_view s) {
    std::wstring out;
    out.reserve(s.size());
    for (char c : s) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return out;
}

std::string narrowLossy(std::wstring_view s) {
    std::string out;
    out.reserve(s.size());
    for (wchar_t c : s) {
        const auto u = static_cast<uint32_t>(c);
        out.push_back(u < 256 ? static_cast<char>(u) : '?');
    }
    return out;
}

namespace {

enum class Spec { None, Same, Other, Int, Int64, Pointer, Char, Percent };

// Reads one specifier after a '%'; returns the specifier and advances pos past it.
Spec parseSpec(std::wstring_view f, size_t& pos) {
    auto at = [&](size_t i) -> wchar_t { return i < f.size() ? f[i] : wchar_t(0); };
    const wchar_t c = at(pos);
    switch (c) {
        case L'%':
            pos += 1;
            return Spec::Percent;
        case L's':
            pos += 1;
            return Spec::Same;
        case L'S':
            pos += 1;
            return Spec::Other;
        case L'd':
            pos += 1;
            return Spec::Int;
        case L'p':
            pos += 1;
            return Spec::Pointer;
        case L'c':
            pos += 1;
            return Spec::Char;
        case L'I':
            if (at(pos + 1) == L'6' && at(pos + 2) == L'4' && at(pos + 3) == L'd') {
                pos += 4;
                return Spec::Int64;
            }
            return Spec::None;
        case L'l':
            if (at(pos + 1) == L'l' && at(pos + 2) == L'd') {
                pos += 3;
                return Spec::Int64;
            }
            return Spec::None;
        default:
            return Spec::None;
    }
}

// Decimal and hex digits by hand: the platform printf engines are large and disagree.
void appendDecimal(std::wstring& out, int64_t value) {
    uint64_t magnitude =
        value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    wchar_t digits[24];
    size_t n = 0;
    do {
        digits[n++] = static_cast<wchar_t>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) out.push_back(L'-');
    while (n > 0) out.push_back(digits[--n]);
}

void appendHex16(std::wstring& out, uint64_t value) {
    for (int shift = 60; shift >= 0; shift -= 4) {
        out.push_back(static_cast<wchar_t>("0123456789ABCDEF"[(value >> shift) & 0xF]));
    }
}

void appendArg(std::wstring& out, Spec spec, const LogArg* arg) {
    if (arg == nullptr) return;
    switch (spec) {
        case Spec::Same:
        case Spec::Other:
            // Strings print as the text they hold whichever width the caller passed.
            if (arg->kind == LogArg::Kind::Wide) {
                out.append(arg->wide());
            } else if (arg->kind == LogArg::Kind::Narrow) {
                for (char c : arg->narrow())
                    out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
            }
            return;
        case Spec::Int:
            if (arg->kind == LogArg::Kind::Int)
                appendDecimal(out, static_cast<int32_t>(arg->number));
            return;
        case Spec::Int64:
            if (arg->kind == LogArg::Kind::Int) appendDecimal(out, arg->number);
            return;
        case Spec::Pointer: {
            uint64_t v = 0;
            if (arg->kind == LogArg::Kind::Pointer)
                v = reinterpret_cast<uintptr_t>(arg->pointer);
            else if (arg->kind == LogArg::Kind::Int)
                v = static_cast<uint64_t>(arg->number);
            else
                return;
            // The Windows runtime prints pointers as 16 upper-case hex digits on 64-bit targets.
            appendHex16(out, v);
            return;
        }
        case Spec::Char:
            if (arg->kind == LogArg::Kind::Int) {
                const auto u = static_cast<uint32_t>(arg->number);
                out.push_back(static_cast<wchar_t>(u));
            }
            return;
        case Spec::None:
        case Spec::Percent:
            return;
    }
}

std::wstring formatAny(std::wstring_view f, std::span<const LogArg> args) {
    std::wstring out;
    out.reserve(f.size() + 32);
    size_t next = 0;
    for (size_t i = 0; i < f.size();) {
        if (f[i] != L'%') {
            out.push_back(f[i++]);
            continue;
        }
        size_t pos = i + 1;
        const Spec spec = parseSpec(f, pos);
        if (spec == Spec::None) {
            // Unknown specifier: keep the text as it stands.
            out.push_back(f[i++]);
            continue;
        }
        if (spec == Spec::Percent) {
            out.push_back(L'%');
        } else {
            appendArg(out, spec, next < args.size() ? &args[next] : nullptr);
            ++next;
        }
        i = pos;
    }
    return out;
}

}  // namespace

std::wstring formatWide(std::wstring_view format, std::span<const LogArg> args) {
    return formatAny(format, args);
}

// Every narrow text widens byte for byte and narrows back unchanged, and a wide text narrows as
// it would in place: one formatter serves both widths.
std::string formatNarrow(std::string_view format, std::span<const LogArg> args) {
    return narrowLossy(formatAny(widen(format), args));
}

}  // namespace launcher
