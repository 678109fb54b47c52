// One-line values in the tests' text files (the stand-in runtime's standin.cfg, winrun's
// message-box record): backslash, line feed, carriage return and tab written as "\\", "\n",
// "\r", "\t". Header only: used by the Windows helpers and the host harness alike.
#pragma once

#include <string>
#include <string_view>

namespace test_text {

inline std::string escapeLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
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
                out += c;
        }
    }
    return out;
}

// The reverse; an unknown escape stays as it stands.
inline std::string unescapeLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (const char c = text[++i]) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                out += '\\';
                out += c;
        }
    }
    return out;
}

}  // namespace test_text
