#include "launcher/language.h"

namespace launcher {

LanguageCodes splitLanguageCode(std::string_view code) {
    LanguageCodes codes;
    if (code.size() < 2) return codes;
    codes.language = code.substr(0, 2);
    // Only xx_YY carries a country; no_NO_NY names a variant, not a country.
    if (code.size() == 5) codes.country = code.substr(3, 2);
    return codes;
}

}  // namespace launcher
