// The language the launcher speaks: the Windows user-interface language mapped to a code of the
// form xx or xx_YY (Java runtime locale names), whose language sections of the configuration
// block apply, and the language and country that go to the JVM.
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

struct LanguageCodes {
    std::string language;
    std::string country;
};

// "de_CH" -> de / CH; "fi" -> fi / none; "no_NO_NY" -> no / none; shorter than 2: both empty.
LanguageCodes splitLanguageCode(std::string_view code);

// Asks Windows for the user's interface language and logs the chosen code.
std::string selectLanguage();

}  // namespace launcher
