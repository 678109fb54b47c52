#include "value_text.h"

#include <cstdint>

namespace pack {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads `digits` hex digits at text[at]; -1 when they are not all there.
int32_t hexNumber(std::string_view text, size_t at, int digits) {
    if (at + static_cast<size_t>(digits) > text.size()) return -1;
    int32_t v = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = hexDigit(text[at + static_cast<size_t>(i)]);
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

// One UTF-8 sequence at text[at]: its code point and length, or false when it is malformed,
// overlong, a surrogate or beyond U+10FFFF.
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

// The one quoted-string decoder: narrow output receives bytes, wide output code units.
bool decodeQuoted(std::string_view text, std::string* narrow, std::u16string* wide, size_t& end,
                  std::string& error) {
    const auto emit = [&](uint32_t unit) {
        if (wide) {
            wide->push_back(static_cast<char16_t>(unit));
        } else {
            narrow->push_back(static_cast<char>(unit));
        }
    };
    size_t i = 1;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"') {
            end = i + 1;
            return true;
        }
        if (c != '\\') {
            if (!wide) {
                narrow->push_back(c);
                ++i;
                continue;
            }
            uint32_t cp = 0;
            size_t len = 0;
            if (!decodeUtf8One(text, i, cp, len)) {
                error = "invalid UTF-8 at byte " + std::to_string(i + 1) + " of the value";
                return false;
            }
            appendUtf16(*wide, cp);
            i += len;
            continue;
        }
        if (i + 1 >= text.size()) {
            error = "backslash at the end of a quoted value";
            return false;
        }
        const char e = text[i + 1];
        i += 2;
        switch (e) {
            case '\\':
                emit('\\');
                break;
            case '"':
                emit('"');
                break;
            case 'n':
                emit('\n');
                break;
            case 'r':
                emit('\r');
                break;
            case 't':
                emit('\t');
                break;
            case 'x': {
                const int32_t v = hexNumber(text, i, 2);
                if (v < 0) {
                    error = "\\x needs two hex digits";
                    return false;
                }
                emit(static_cast<uint32_t>(v));
                i += 2;
                break;
            }
            case 'u': {
                if (!wide) {
                    error = "\\u is only allowed in wide values; write bytes as \\xHH";
                    return false;
                }
                const int32_t v = hexNumber(text, i, 4);
                if (v < 0) {
                    error = "\\u needs four hex digits";
                    return false;
                }
                emit(static_cast<uint32_t>(v));
                i += 4;
                break;
            }
            default: {
                const auto shown = static_cast<uint8_t>(e);
                error = "unknown escape \\";
                if (shown >= 0x21 && shown < 0x7F) {
                    error.push_back(e);
                } else {
                    error += "(byte 0x";
                    error.push_back(kHex[shown >> 4]);
                    error.push_back(kHex[shown & 0xF]);
                    error += ")";
                }
                error += " (known: \\\\ \\\" \\n \\r \\t \\xHH \\uHHHH)";
                return false;
            }
        }
    }
    error = "missing closing quote";
    return false;
}

bool decodeField(std::string_view field, std::string* narrow, std::u16string* wide,
                 std::string& error) {
    if (field.empty() || field[0] != '"') {
        if (!wide) {
            narrow->assign(field);
            return true;
        }
        size_t bad = 0;
        if (!decodeUtf8(field, *wide, bad)) {
            error = "invalid UTF-8 at byte " + std::to_string(bad + 1) + " of the value";
            return false;
        }
        return true;
    }
    size_t end = 0;
    if (!decodeQuoted(field, narrow, wide, end, error)) return false;
    for (size_t i = end; i < field.size(); ++i) {
        if (!isBlank(field[i])) {
            error = "text after the closing quote";
            return false;
        }
    }
    return true;
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

bool decodeNarrowField(std::string_view field, std::string& value, std::string& error) {
    value.clear();
    return decodeField(field, &value, nullptr, error);
}

bool decodeWideField(std::string_view field, std::u16string& value, std::string& error) {
    value.clear();
    return decodeField(field, nullptr, &value, error);
}

bool decodeQuotedNarrow(std::string_view text, std::string& value, size_t& end,
                        std::string& error) {
    value.clear();
    return decodeQuoted(text, &value, nullptr, end, error);
}

namespace {

std::string encodeNarrow(std::string_view value, bool token) {
    bool verbatim =
        !value.empty() && value.front() != '"' && value.front() != ' ' && value.back() != ' ';
    for (char c : value) {
        const auto b = static_cast<uint8_t>(c);
        verbatim = verbatim && b >= 0x20 && b < 0x7F && !(token && c == ' ');
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
    return encodeNarrow(value, false);
}

std::string encodeNarrowToken(std::string_view value) {
    return encodeNarrow(value, true);
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
