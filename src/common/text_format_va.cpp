// The C varargs front end of the formatter, for a library of the application's installation that
// is handed the log as a printf-style callback. Such a library may use any conversion of the
// Microsoft C runtime, so each one is parsed in full (flags, width, precision, length, type) and
// takes exactly one argument of its size: a conversion this file does not render still consumes
// its argument, so the ones after it read the right values. A conversion whose argument size is
// unknown ends the formatting: the rest of the format is written as it stands and no further
// argument is read.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "common/text_format.h"

namespace launcher {

namespace {

// Padding a hostile format may ask for ("%999999999d") is cut here rather than allocated.
constexpr int kMaxFieldWidth = 4096;
// Digits a float conversion prints after the point at most; the rest would be noise anyway.
constexpr int kMaxFloatPrecision = 40;

enum class Length { None, Short, Char, Long, LongLong, Int32, Size, Wide, LongDouble };

struct Conversion {
    bool left = false, plus = false, space = false, alternate = false, zero = false;
    int width = 0;
    int precision = -1;
    Length length = Length::None;
    wchar_t type = 0;
};

// Reads a decimal field width or precision, saturating instead of overflowing.
int readNumber(std::wstring_view f, size_t& pos) {
    int value = 0;
    while (pos < f.size() && f[pos] >= L'0' && f[pos] <= L'9') {
        value = value > kMaxFieldWidth ? value : value * 10 + (f[pos] - L'0');
        ++pos;
    }
    return value;
}

bool startsWith(std::wstring_view f, size_t pos, std::wstring_view prefix) {
    return f.substr(pos, prefix.size()) == prefix;
}

// Parses the length prefix the Microsoft runtime knows; returns false for an unknown "I" form.
bool readLength(std::wstring_view f, size_t& pos, Length& length) {
    if (pos >= f.size()) return true;
    switch (f[pos]) {
        case L'h':
            ++pos;
            length = Length::Short;
            if (pos < f.size() && f[pos] == L'h') ++pos, length = Length::Char;
            return true;
        case L'l':
            ++pos;
            length = Length::Long;
            if (pos < f.size() && f[pos] == L'l') ++pos, length = Length::LongLong;
            return true;
        case L'L':
            ++pos;
            length = Length::LongDouble;
            return true;
        case L'w':
            ++pos;
            length = Length::Wide;
            return true;
        case L'z':
        case L't':
        case L'j':
            ++pos;
            length = Length::Size;
            return true;
        case L'I':
            if (startsWith(f, pos, L"I64")) {
                pos += 3;
                length = Length::LongLong;
            } else if (startsWith(f, pos, L"I32")) {
                pos += 3;
                length = Length::Int32;
            } else if (pos + 1 < f.size() && f[pos + 1] != L'1' && f[pos + 1] != L'3' &&
                       f[pos + 1] != L'6') {
                pos += 1;
                length = Length::Size;
            } else {
                return false;
            }
            return true;
        default:
            return true;
    }
}

// Writes prefix, zeros leading zeros and body into a field of the conversion's width.
void emitField(std::wstring& out, const Conversion& c, std::wstring_view prefix,
               std::wstring_view body, int zeros = 0, bool zeroFill = false) {
    const int width = c.width > kMaxFieldWidth ? kMaxFieldWidth : c.width;
    int fill = width - static_cast<int>(prefix.size() + body.size()) - zeros;
    if (fill < 0) fill = 0;
    if (zeroFill && !c.left && c.zero) zeros += fill, fill = 0;
    if (!c.left) out.append(static_cast<size_t>(fill), L' ');
    out.append(prefix);
    out.append(static_cast<size_t>(zeros), L'0');
    out.append(body);
    if (c.left) out.append(static_cast<size_t>(fill), L' ');
}

// The digits of value in base, most significant first, into buffer; returns their number.
size_t toDigits(wchar_t (&buffer)[72], uint64_t value, unsigned base, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    size_t n = 0;
    do {
        buffer[n++] = static_cast<wchar_t>(digits[value % base]);
        value /= base;
    } while (value != 0);
    for (size_t i = 0; i < n / 2; ++i) std::swap(buffer[i], buffer[n - 1 - i]);
    return n;
}

void emitInteger(std::wstring& out, const Conversion& c, uint64_t magnitude, bool negative) {
    const bool isSigned = c.type == L'd' || c.type == L'i';
    const unsigned base = c.type == L'o' ? 8 : (c.type == L'x' || c.type == L'X') ? 16 : 10;
    wchar_t buffer[72];
    size_t n =
        magnitude == 0 && c.precision == 0 ? 0 : toDigits(buffer, magnitude, base, c.type == L'X');
    const int precision = c.precision > kMaxFieldWidth ? kMaxFieldWidth : c.precision;
    int zeros = precision > static_cast<int>(n) ? precision - static_cast<int>(n) : 0;
    std::wstring_view prefix;
    if (isSigned) {
        prefix = negative ? L"-" : c.plus ? L"+" : c.space ? L" " : L"";
    } else if (c.alternate && magnitude != 0) {
        if (base == 16) prefix = c.type == L'X' ? L"0X" : L"0x";
        if (base == 8 && zeros == 0) prefix = L"0";
    }
    emitField(out, c, prefix, std::wstring_view(buffer, n), zeros, c.precision < 0);
}

// Decimal digits of a double by repeated scaling, rounded at the last one: exact enough for a
// diagnostic line. value is below 1e18; writes precision digits after the point.
void appendFixed(std::wstring& out, double value, int precision) {
    const size_t start = out.size();
    const auto whole = static_cast<uint64_t>(value);
    wchar_t buffer[72];
    out.append(buffer, toDigits(buffer, whole, 10, false));
    double fraction = value - static_cast<double>(whole);
    const size_t point = out.size();
    for (int i = 0; i < precision; ++i) {
        fraction *= 10;
        const int digit = static_cast<int>(fraction);
        out.push_back(static_cast<wchar_t>(L'0' + digit));
        fraction -= digit;
    }
    if (fraction >= 0.5) {  // carry the rounding up through the digits
        size_t i = out.size();
        while (i > start && out[i - 1] == L'9') out[--i] = L'0';
        if (i > start)
            ++out[i - 1];
        else
            out.insert(start, 1, L'1');
    }
    if (precision > 0) out.insert(out.size() - static_cast<size_t>(precision), 1, L'.');
    (void)point;
}

void emitFloat(std::wstring& out, const Conversion& c, double value) {
    std::wstring_view prefix = c.plus ? L"+" : c.space ? L" " : L"";
    if (std::signbit(value)) {
        prefix = L"-";
        value = -value;
    }
    const bool upper = c.type >= L'A' && c.type <= L'Z';
    const wchar_t kind = static_cast<wchar_t>(upper ? c.type - L'A' + L'a' : c.type);
    std::wstring body;
    if (!std::isfinite(value)) {
        body = std::isnan(value) ? L"nan" : L"inf";
    } else if (kind == L'a') {
        // Hexadecimal: the bits of the double, all thirteen digits unless a precision cuts them.
        int exponent = 0;
        const double mantissa = value == 0 ? 0 : std::frexp(value, &exponent) * 2;
        const auto bits = static_cast<uint64_t>(std::ldexp(mantissa == 0 ? 0 : mantissa - 1, 52));
        body = mantissa == 0 ? L"0x0." : L"0x1.";
        wchar_t buffer[72];
        const size_t n = toDigits(buffer, bits | (uint64_t(1) << 52), 16, false);
        body.append(buffer + 1, c.precision >= 0 && c.precision < 13
                                    ? static_cast<size_t>(c.precision)
                                    : n - 1);
        if (body.back() == L'.') body.pop_back();
        body += exponent - 1 < 0 || mantissa == 0 ? (mantissa == 0 ? L"p+" : L"p-") : L"p+";
        const int e = mantissa == 0 ? 0 : exponent - 1;
        body.append(buffer, toDigits(buffer, static_cast<uint64_t>(e < 0 ? -e : e), 10, false));
    } else {
        int precision = c.precision < 0 ? 6 : std::min(c.precision, kMaxFloatPrecision);
        int exponent = 0;
        double mantissa = value;
        while (mantissa >= 10) mantissa /= 10, ++exponent;
        while (mantissa != 0 && mantissa < 1) mantissa *= 10, --exponent;
        bool useExponent = kind == L'e' || value >= 1e18;
        if (kind == L'g') {
            const int p = precision == 0 ? 1 : precision;
            useExponent = exponent < -4 || exponent >= p;
            precision = useExponent ? p - 1 : p - 1 - exponent;
        }
        if (useExponent) {
            appendFixed(body, mantissa, precision);
            if (body.size() > 1 && body[1] == L'0' && body[0] == L'1' && mantissa >= 9.5) {
                body.clear();  // rounded up to 10
                appendFixed(body, mantissa / 10, precision);
                ++exponent;
            }
        } else {
            appendFixed(body, value, precision);
        }
        if (kind == L'g' && !c.alternate && body.find(L'.') != std::wstring::npos) {
            // %g drops the zeros after the point, and the point when nothing follows it.
            while (body.back() == L'0') body.pop_back();
            if (body.back() == L'.') body.pop_back();
        }
        if (useExponent) {
            body += exponent < 0 ? L"e-" : L"e+";
            if (exponent > -10 && exponent < 10) body.push_back(L'0');
            wchar_t buffer[72];
            body.append(buffer,
                        toDigits(buffer, static_cast<uint64_t>(exponent < 0 ? -exponent : exponent),
                                 10, false));
        }
    }
    if (upper)
        for (wchar_t& ch : body) ch = ch >= L'a' && ch <= L'z' ? static_cast<wchar_t>(ch - 32) : ch;
    emitField(out, c, prefix, body, 0, std::isfinite(value));
}

template <typename Ch>
void emitString(std::wstring& out, const Conversion& c, const Ch* text, size_t length) {
    std::wstring body;
    if (text == nullptr) {
        body = L"(null)";
    } else {
        for (size_t i = 0; i < length && text[i] != 0; ++i) {
            if (c.precision >= 0 && static_cast<int>(i) >= c.precision) break;
            body.push_back(static_cast<wchar_t>(
                sizeof(Ch) == 1 ? static_cast<unsigned char>(text[i]) : text[i]));
        }
    }
    emitField(out, c, {}, body);
}

// The counted strings of %Z (ANSI_STRING, UNICODE_STRING): a byte length and a buffer.
template <typename Ch>
struct CountedString {
    uint16_t length;
    uint16_t maximumLength;
    const Ch* buffer;
};

template <typename Ch>
void emitCounted(std::wstring& out, const Conversion& c, const void* pointer) {
    if (pointer == nullptr) return emitString<Ch>(out, c, nullptr, 0);
    const auto* counted = static_cast<const CountedString<Ch>*>(pointer);
    emitString(out, c, counted->buffer, counted->length / sizeof(Ch));
}

// Whether the conversion's text is narrow: "%s" is wide in a wide format, "%S" narrow, and the
// "h" / "l" / "w" prefixes choose explicitly.
bool narrowText(const Conversion& c) {
    if (c.length == Length::Short || c.length == Length::Char) return true;
    if (c.length == Length::Long || c.length == Length::Wide) return false;
    return c.type == L'S' || c.type == L'C';
}

}  // namespace

std::wstring formatWideV(const wchar_t* format, va_list args) {
    if (format == nullptr) return {};
    const std::wstring_view f(format);
    std::wstring out;
    size_t i = 0;
    while (i < f.size()) {
        if (f[i] != L'%') {
            out.push_back(f[i++]);
            continue;
        }
        size_t pos = i + 1;
        Conversion c;
        for (; pos < f.size(); ++pos) {
            const wchar_t flag = f[pos];
            if (flag == L'-')
                c.left = true;
            else if (flag == L'+')
                c.plus = true;
            else if (flag == L' ')
                c.space = true;
            else if (flag == L'#')
                c.alternate = true;
            else if (flag == L'0')
                c.zero = true;
            else
                break;
        }
        if (pos < f.size() && f[pos] == L'*') {
            ++pos;
            c.width = va_arg(args, int);
            if (c.width < 0) {
                c.left = true;
                c.width = c.width == INT32_MIN ? kMaxFieldWidth : -c.width;
            }
        } else {
            c.width = readNumber(f, pos);
        }
        if (pos < f.size() && f[pos] == L'.') {
            ++pos;
            if (pos < f.size() && f[pos] == L'*') {
                ++pos;
                c.precision = va_arg(args, int);
                if (c.precision < 0) c.precision = -1;
            } else {
                c.precision = readNumber(f, pos);
            }
        }
        const bool lengthKnown = readLength(f, pos, c.length);
        c.type = pos < f.size() ? f[pos] : 0;
        ++pos;

        const bool isInteger = c.type == L'd' || c.type == L'i' || c.type == L'u' ||
                               c.type == L'o' || c.type == L'x' || c.type == L'X';
        if (!lengthKnown) c.type = 0;
        if (isInteger && c.length != Length::Wide) {
            const bool isSigned = c.type == L'd' || c.type == L'i';
            int64_t value = 0;
            switch (c.length) {
                case Length::Long:
                    value = va_arg(args, long);
                    break;
                case Length::LongLong:
                case Length::LongDouble:
                    value = va_arg(args, long long);
                    break;
                case Length::Size:
                    value = static_cast<int64_t>(va_arg(args, size_t));
                    break;
                default:
                    value = va_arg(args, int);
                    break;
            }
            // Unsigned conversions and the narrower lengths see only the bits of their size.
            uint64_t bits = static_cast<uint64_t>(value);
            switch (c.length) {
                case Length::Short:
                    bits &= 0xFFFF;
                    break;
                case Length::Char:
                    bits &= 0xFF;
                    break;
                case Length::None:
                case Length::Int32:
                    bits &= 0xFFFFFFFF;
                    break;
                case Length::Long:
                    if (sizeof(long) == 4) bits &= 0xFFFFFFFF;
                    break;
                default:
                    break;
            }
            if (isSigned) {
                const unsigned size = c.length == Length::Short  ? 16
                                      : c.length == Length::Char ? 8
                                      : (c.length == Length::None || c.length == Length::Int32 ||
                                         (c.length == Length::Long && sizeof(long) == 4))
                                          ? 32
                                          : 64;
                const uint64_t signBit = uint64_t(1) << (size - 1);
                const bool negative = (bits & signBit) != 0;
                const uint64_t magnitude =
                    negative ? ((~bits + 1) & (size == 64 ? ~uint64_t(0) : (signBit << 1) - 1))
                             : bits;
                emitInteger(out, c, magnitude, negative);
            } else {
                emitInteger(out, c, bits, false);
            }
        } else {
            switch (c.type) {
                case L'%':
                    out.push_back(L'%');
                    break;
                case L'e':
                case L'E':
                case L'f':
                case L'F':
                case L'g':
                case L'G':
                case L'a':
                case L'A':
                    emitFloat(out, c,
                              c.length == Length::LongDouble
                                  ? static_cast<double>(va_arg(args, long double))
                                  : va_arg(args, double));
                    break;
                case L'c':
                case L'C': {
                    const int value = va_arg(args, int);
                    const wchar_t ch = narrowText(c)
                                           ? static_cast<wchar_t>(static_cast<unsigned char>(value))
                                           : static_cast<wchar_t>(value);
                    emitField(out, c, {}, std::wstring_view(&ch, 1));
                    break;
                }
                case L's':
                case L'S':
                    if (narrowText(c)) {
                        const char* s = va_arg(args, const char*);
                        emitString(out, c, s, s ? std::strlen(s) : 0);
                    } else {
                        const wchar_t* s = va_arg(args, const wchar_t*);
                        emitString(out, c, s, s ? std::wstring_view(s).size() : 0);
                    }
                    break;
                case L'Z': {
                    const void* p = va_arg(args, const void*);
                    if (c.length == Length::Long || c.length == Length::Wide)
                        emitCounted<wchar_t>(out, c, p);
                    else
                        emitCounted<char>(out, c, p);
                    break;
                }
                case L'p': {
                    // Sixteen upper-case hex digits, as the runtime prints a 64-bit pointer.
                    const auto value = reinterpret_cast<uintptr_t>(va_arg(args, const void*));
                    std::wstring digits;
                    for (int shift = 60; shift >= 0; shift -= 4)
                        digits.push_back(
                            static_cast<wchar_t>("0123456789ABCDEF"[(value >> shift) & 0xF]));
                    emitField(out, c, {}, digits);
                    break;
                }
                case L'n':
                    // Counting into the caller's memory is never done; the pointer is only taken.
                    (void)va_arg(args, void*);
                    break;
                default:
                    // Unknown: nothing after this can be matched to its argument.
                    out.append(f.substr(i));
                    return out;
            }
        }
        i = pos;
    }
    return out;
}

}  // namespace launcher
