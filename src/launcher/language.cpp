#include "launcher/language.h"

#include "common/log.h"

namespace launcher {

std::string selectLanguage() {
    // The user-interface language is not consulted yet: the default texts are English.
    const std::string code = "en";
    logMessage(L"language/country is %S", code);
    return code;
}

}  // namespace launcher
