// The pass that makes a description safe for the TOML reader, before it parses.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "launcher_toml.h"

namespace pack::reading {

// toml++ 3.3's test for blanks beyond ASCII runs into an unreachable branch (undefined
// behaviour) for whole ranges of characters, and its parser asks that test in states that no
// outside pass can foresee (after "+", in keys, behind backslashes). So toml++ is given ASCII
// only: before parsing, characters beyond ASCII in strings become \u escapes, those in comments
// become "?", and every other one is refused (TOML allows none outside strings and comments), as
// is text that is no well-formed UTF-8. A 'literal string' has no escapes, so it is handed on as
// the "basic string" of the same value (its backslashes and double quotes escaped). Whatever
// toml++ takes the text for, it never meets a byte it mishandles. Escaping lengthens a line; the
// shifts are kept to give positions of the original text back.

struct Prepared {
    std::string text;
    // Per line (from 1): (column in the prepared text from which, extra columns before it).
    std::map<int, std::vector<std::pair<int, int>>> shifts;

    int originalColumn(int line, int column) const {
        const auto it = shifts.find(line);
        if (it == shifts.end()) return column;
        int extra = 0;
        for (const auto& [from, shift] : it->second) {
            if (column >= from) extra = shift;
        }
        return column - extra;
    }
};

// The description as toml++ may read it; false with the problem (line, column) when the text is
// no UTF-8 or holds a character beyond ASCII outside a string or comment.
bool prepareForToml(std::string_view in, Prepared& out, Diagnostic& problem);

}  // namespace pack::reading
