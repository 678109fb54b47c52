// The Windows language identifiers the launcher knows and their codes of the form xx or xx_YY
// (Java runtime locale names). The launcher chooses its language sections by them and the
// packing tool accepts a language section for exactly these codes and their languages.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace launcher {

struct LanguageRow {
    uint16_t langId;  // below 0x400: a primary language (the low 10 bits of a LANGID)
    const char* code;
};

// The rows in ascending order of their identifiers.
std::span<const LanguageRow> languageTable();

// The code for a Windows language identifier: the row of the full identifier, else the row of
// its primary language (low 10 bits), else "en".
std::string languageCodeFor(uint16_t langId);

// Whether a language section key is one the launcher can match: a code of the table or its
// two-letter language ("de", "de_CH", "no_NO_NY").
bool isLanguageKey(std::string_view key);

}  // namespace launcher
