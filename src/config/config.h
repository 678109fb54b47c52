// The process-wide configuration tables and their accessors. An absent id reads as empty text
// or 0, never as an error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/limits.h"
#include "config/config_block.h"
#include "config/settings.h"

namespace launcher {

ConfigStrings& configStrings();
LocalizedStrings& localizedStrings();

// Reads one table of narrow strings by the block's rules; the accessors below read the
// process-wide table through it, the entry's settings builder reads the table it was given.
class ConfigView {
public:
    explicit ConfigView(const ConfigStrings& strings) : strings_(strings) {}
    // Sets out to at most maximum - 1 bytes of the string (empty when absent); a cut is logged.
    void text(ConfigId id, size_t maximum, std::string& out) const;
    // The string (read as into a 6000-byte buffer) converted as C atoi does; 0 when absent.
    int32_t number(ConfigId id) const;
    bool flag(ConfigId id) const { return number(id) != 0; }
    // Whether the block holds the id at all (a setting whose absence means something else
    // than 0).
    bool has(ConfigId id) const { return find(id) != nullptr; }
    // Appends the widened string; reports whether the id was present.
    bool appendWide(ConfigId id, std::wstring& out) const;
    // Sets out to the widened string, empty when absent.
    void wide(ConfigId id, std::wstring& out) const;
    // Sets out to the whole string, empty when absent.
    void whole(ConfigId id, std::string& out) const;
    // Sets out to the widened string, at most maximum - 1 characters (longer values are cut and
    // the cut logged).
    void wideCut(ConfigId id, size_t maximum, std::wstring& out) const;

private:
    const std::string* find(ConfigId id) const;
    // The string as read into a buffer of maximum bytes (a cut is logged); empty when absent.
    std::string_view view(ConfigId id, size_t maximum) const;
    const ConfigStrings& strings_;
};

// At most maximum - 1 bytes of the string (an empty text when absent); a cut is logged.
std::string getConfigString(ConfigId id, size_t maximum);
// The string (read as into a 6000-byte buffer) converted as C atoi does; 0 when absent.
int32_t getConfigInt(ConfigId id);
// Appends the widened string; reports whether the id was present.
bool getConfigWide(ConfigId id, std::wstring& out);
// Appends the string; the target stays unchanged when absent.
void appendConfigString(ConfigId id, std::string& out);
// A copy of the string, empty when absent.
std::string dupConfigString(ConfigId id);
// The widened string, at most maximum - 1 characters (longer values are cut and the cut logged).
std::wstring getConfigStringAsWide(ConfigId id, size_t maximum);
// The localized string, at most 5999 characters (longer values are cut and the cut logged).
std::wstring getLocalizedString(Message id);
// The localized string, or when that is absent or empty the config string widened (at most
// 5999 characters).
std::wstring getMessageText(Message id);

// C atoi: optional leading white space and sign, then decimal digits up to the first other
// character; values beyond the 32-bit range saturate.
int32_t parseConfigInt(std::string_view text);

}  // namespace launcher
