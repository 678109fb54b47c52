#include "value_text.h"

#include <cstdint>

namespace pack {

bool decodeUtf8One(std::string_view text, size_t at, uint32_t& cp, size_t& len) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t c = byte(at);
    uint32_t min = 0;
    if (c < 0x80) {
        cp = c;
        len = 1;
        return true;
    } else if ((c & 0xE0) == 0xC0) {
        cp = c & 0x1Fu;
        len = 2;
        min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        cp = c & 0x0Fu;
        len = 3;
        min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        cp = c & 0x07u;
        len = 4;
        min = 0x10000;
    } else {
        return false;
    }
    if (at + len > text.size()) return false;
    for (size_t i = 1; i < len; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return false;
        cp = cp << 6 | (byte(at + i) & 0x3Fu);
    }
    return cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp < 0xE000);
}

namespace {

void appendUtf16(std::u16string& out, uint32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | cp >> 6));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | cp >> 12));
        out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | cp >> 18));
        out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

const char kHex[] = "0123456789ABCDEF";

void appendHexEscape(std::string& out, char kind, uint32_t value, int digits) {
    out.push_back('\\');
    out.push_back(kind);
    for (int i = digits - 1; i >= 0; --i) out.push_back(kHex[value >> (4 * i) & 0xF]);
}

// Code points shown as escapes even in quoted values: controls, and invisible ones that an
// editor would lose or show ambiguously.
bool needsEscape(uint32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || cp == 0xFEFF || cp == 0x2028 || cp == 0x2029 ||
           cp == 0xFFFE || cp == 0xFFFF;
}

}  // namespace

bool decodeUtf8(std::string_view text, std::u16string& out, size_t& badOffset) {
    out.clear();
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        size_t len = 0;
        if (!decodeUtf8One(text, i, cp, len)) {
            badOffset = i;
            return false;
        }
        appendUtf16(out, cp);
        i += len;
    }
    return true;
}

namespace {

std::string encodeNarrow(std::string_view value) {
    bool verbatim =
        !value.empty() && value.front() != '"' && value.front() != ' ' && value.back() != ' ';
    for (char c : value) {
        const auto b = static_cast<uint8_t>(c);
        verbatim = verbatim && b >= 0x20 && b < 0x7F;
    }
    if (verbatim) return std::string(value);
    std::string out = "\"";
    for (char c : value) {
        const auto b = static_cast<uint8_t>(c);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                // Bytes beyond ASCII are written as escapes: a narrow value is bytes in the
                // launcher's code page, not UTF-8 text.
                if (b >= 0x20 && b < 0x7F) {
                    out.push_back(c);
                } else {
                    appendHexEscape(out, 'x', b, 2);
                }
        }
    }
    out += "\"";
    return out;
}

}  // namespace

std::string encodeNarrowField(std::string_view value) {
    return encodeNarrow(value);
}

std::string encodeWideField(std::u16string_view value) {
    // Walks code points; a lone surrogate is one unit of its own.
    struct Unit {
        uint32_t cp;
        bool lone;
    };
    std::u16string_view v = value;
    bool verbatim = !v.empty() && v.front() != u'"' && v.front() != u' ' && v.back() != u' ';
    std::string plain, quoted = "\"";
    for (size_t i = 0; i < v.size(); ++i) {
        Unit u{v[i], false};
        if (u.cp >= 0xD800 && u.cp < 0xDC00 && i + 1 < v.size() && v[i + 1] >= 0xDC00 &&
            v[i + 1] < 0xE000) {
            u.cp = 0x10000 + ((u.cp - 0xD800) << 10) + (v[i + 1] - 0xDC00u);
            ++i;
        } else if (u.cp >= 0xD800 && u.cp < 0xE000) {
            u.lone = true;
        }
        if (u.lone || needsEscape(u.cp)) {
            verbatim = false;
            switch (u.cp) {
                case '\n':
                    quoted += "\\n";
                    break;
                case '\r':
                    quoted += "\\r";
                    break;
                case '\t':
                    quoted += "\\t";
                    break;
                default:
                    if (u.cp < 0x100) {
                        appendHexEscape(quoted, 'x', u.cp, 2);
                    } else {
                        appendHexEscape(quoted, 'u', u.cp, 4);
                    }
            }
            continue;
        }
        if (u.cp == '\\') {
            quoted += "\\\\";
        } else if (u.cp == '"') {
            quoted += "\\\"";
        } else {
            appendUtf8(quoted, u.cp);
        }
        appendUtf8(plain, u.cp);
    }
    if (verbatim) return plain;
    quoted += "\"";
    return quoted;
}

}  // namespace pack
