// Reading the configuration block from the launcher's own executable at start-up.
#pragma once

#include <cstdint>
#include <string>

#include "common/unique_handle.h"

namespace launcher {

// The own executable, opened for reading (shared for reading and writing).
UniqueFile openOwnExecutable();
// First reading: the narrow strings. Every failure ends the process.
void readConfigStrings();
// Second reading: localized strings, language sections, the end position and the error
// presentation mode. Every failure ends the process.
void readConfigBlock();
// The position just behind the language sections, where the included files begin.
uint32_t blockEndPosition();
// The chosen language code ("en" when nothing better is known).
std::string selectLanguage();

}  // namespace launcher
