// The language the launcher speaks: the Windows user-interface language mapped to a code of the
// form xx or xx_YY (Java runtime locale names), whose language sections of the configuration
// block apply, and the language and country that go to the JVM.
#pragma once

#include <string>
#include <string_view>

#include "config/language_table.h"

namespace launcher {

struct LanguageCodes {
    std::string language;
    std::string country;
};

// "de_CH" -> de / CH; "fi" -> fi / none; "no_NO_NY" -> no / none; shorter than 2: both empty.
LanguageCodes splitLanguageCode(std::string_view code);

// Asks Windows for the user's interface language and logs the chosen code.
std::string selectLanguage();

}  // namespace launcher
