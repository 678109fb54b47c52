// Expansion of launcher tokens (%LUMEX_EXEDIR%, ${launcher:sys.jvmHome}, ...) and of ${NAME}
// references to environment variables, in place, in one string.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace launcher {

// The values the tokens stand for, in the form (narrow or wide) of the string expanded.
template <typename Ch>
struct ExpansionValues {
    std::basic_string<Ch> launcherDirectory;
    std::basic_string<Ch> tempDirectory;
    std::basic_string<Ch> jvmHome;
    std::basic_string<Ch> systemTempDirectory;
};

// Replaces every occurrence of token, continuing behind each inserted value (inserted text is
// never searched for the same token). Logs each replacement; returns how many were made.
size_t replaceAllOccurrences(std::wstring& text, std::wstring_view token, std::wstring_view value);
size_t replaceAllOccurrences(std::string& text, std::string_view token, std::string_view value);

// The fixed tokens in table order, then ${NAME} and its upper-case form for every entry of the
// environment block ("NAME=value" texts, in block order; entries without "=" are skipped).
void expandTokens(std::wstring& text, const ExpansionValues<wchar_t>& values,
                  const std::vector<std::wstring>& environment);
void expandTokens(std::string& text, const ExpansionValues<char>& values,
                  const std::vector<std::string>& environment);

// The entries of a Windows environment block (NUL-separated, ending with an empty entry).
std::vector<std::wstring> environmentEntries(const wchar_t* block);
std::vector<std::string> environmentEntries(const char* block);

// An expanded text never grows beyond this many characters: a hostile environment (values that
// name later variables twice over) could otherwise double it with every variable.
constexpr size_t kMaxExpandedLength = size_t(1) << 20;

}  // namespace launcher
