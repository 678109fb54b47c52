// The process-wide configuration tables and their accessors. An absent id reads as empty text
// or 0, never as an error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "launcher/config_block.h"

namespace launcher {

// Standard length of text and path buffers.
constexpr size_t kBufferLength = 6000;

ConfigStrings& configStrings();
LocalizedStrings& localizedStrings();

// At most maximum - 1 bytes of the string (an empty text when absent); a cut is logged.
std::string getConfigString(int32_t id, size_t maximum);
// The string (read as into a 6000-byte buffer) converted as C atoi does; 0 when absent.
int32_t getConfigInt(int32_t id);
// Appends the widened string; reports whether the id was present.
bool getConfigWide(int32_t id, std::wstring& out);
// Appends the string; the target stays unchanged when absent.
void appendConfigString(int32_t id, std::string& out);
// A copy of the string, empty when absent.
std::string dupConfigString(int32_t id);
// The widened string, at most maximum - 1 characters (longer values are cut and the cut logged).
std::wstring getConfigStringAsWide(int32_t id, size_t maximum);
// The localized string, at most 5999 characters (longer values are cut and the cut logged).
std::wstring getLocalizedString(int32_t id);
// The localized string, or when that is absent or empty the config string widened (at most
// 5999 characters).
std::wstring getMessageText(int32_t id);

// C atoi: optional leading white space and sign, then decimal digits up to the first other
// character; values beyond the 32-bit range saturate.
int32_t parseConfigInt(std::string_view text);

}  // namespace launcher
