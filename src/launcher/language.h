// The language whose sections of the configuration block apply.
#pragma once

#include <string>

namespace launcher {

// The chosen language code ("en" when nothing better is known).
std::string selectLanguage();

}  // namespace launcher
