// The Windows half of the language choice: which user-interface language Windows reports.
#include <windows.h>

#include "common/log.h"
#include "launcher/language.h"

namespace launcher {

std::string selectLanguage() {
    auto langId = static_cast<uint16_t>(::GetUserDefaultLCID() & 0xFFFF);
    // Looked up rather than imported, as on systems that lack it the user default LCID decides.
    // The library stays loaded.
    using UiLanguage = LANGID(WINAPI*)();
    if (HMODULE kernel = ::LoadLibraryA("Kernel32.DLL")) {
        const auto uiLanguage = reinterpret_cast<UiLanguage>(
            reinterpret_cast<void*>(::GetProcAddress(kernel, "GetUserDefaultUILanguage")));
        if (uiLanguage != nullptr) langId = uiLanguage();
    }
    std::string code = languageCodeFor(langId);
    logMessage(L"language/country is %S", code);
    return code;
}

}  // namespace launcher
