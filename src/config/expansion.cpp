#include "config/expansion.h"

#include <array>

#include "common/log.h"

namespace launcher {

namespace {

enum class Value { LauncherDirectory, TempDirectory, Separator, JvmHome, SystemTemp };

struct Token {
    const char* text;
    Value value;
};

constexpr std::array<Token, 21> kTokens{{
    {"%LUMEX_EXEDIR%", Value::LauncherDirectory},
    {"%PARCELKIT_EXEDIR%", Value::LauncherDirectory},
    {"%LUMEX_TEMPDIR%", Value::TempDirectory},
    {"%PARCELKIT_TEMPDIR%", Value::TempDirectory},
    {"%LUMEX_PATHLIST_SEPARATOR%", Value::Separator},
    {"%PARCELKIT_PATHLIST_SEPARATOR%", Value::Separator},
    {"%LUMEX_JVM_HOME%", Value::JvmHome},
    {"%PARCELKIT_JVM_HOME%", Value::JvmHome},
    {"${LUMEX_EXEDIR}", Value::LauncherDirectory},
    {"${PARCELKIT_EXEDIR}", Value::LauncherDirectory},
    {"${LUMEX_TEMPDIR}", Value::TempDirectory},
    {"${PARCELKIT_TEMPDIR}", Value::TempDirectory},
    {"${LUMEX_PATHLIST_SEPARATOR}", Value::Separator},
    {"${PARCELKIT_PATHLIST_SEPARATOR}", Value::Separator},
    {"${LUMEX_JVM_HOME}", Value::JvmHome},
    {"${PARCELKIT_JVM_HOME}", Value::JvmHome},
    {"${launcher:sys.launcherDirectory}", Value::LauncherDirectory},
    {"${launcher:sys.launcherTempDirectory}", Value::TempDirectory},
    {"${launcher:sys.pathlistSeparator}", Value::Separator},
    {"${launcher:sys.jvmHome}", Value::JvmHome},
    {"${launcher:sys.tempDir}", Value::SystemTemp},
}};

// Room for "${" + name + "}" in the standard 6000-character buffer.
constexpr size_t kMaxTokenLength = 5999;

template <typename Ch>
void logExpansion(std::basic_string_view<Ch> token, std::basic_string_view<Ch> value) {
    if constexpr (sizeof(Ch) == 1) {
        logMessage(L"expanding2 %S to %S.", token, value);
    } else {
        logMessage(L"expanding2 %s to %s.", token, value);
    }
}

// Builds the result in one pass: replacing in place would move the rest of the text once per
// occurrence, which a long line of tokens whose value is shorter than the token turns into work
// that grows with the square of the line.
template <typename Ch>
size_t replaceAll(std::basic_string<Ch>& text, std::basic_string_view<Ch> token,
                  std::basic_string_view<Ch> value) {
    if (token.empty()) return 0;
    constexpr size_t npos = std::basic_string<Ch>::npos;
    size_t position = text.find(token);
    if (position == npos) return 0;
    std::basic_string<Ch> result;
    result.reserve(text.size());
    size_t count = 0;
    size_t copied = 0;            // text before this is in result
    size_t length = text.size();  // the length the text has after the replacements so far
    for (; position != npos; position = text.find(token, copied)) {
        if (value.size() > token.size() &&
            length + (value.size() - token.size()) > kMaxExpandedLength) {
            logError(L"expansion stopped: the text would exceed %d characters",
                     static_cast<int>(kMaxExpandedLength));
            break;
        }
        result.append(text, copied, position - copied);
        result.append(value);
        copied = position + token.size();
        length = length - token.size() + value.size();
        logExpansion(token, value);
        ++count;
    }
    if (count == 0) return 0;
    result.append(text, copied, npos);
    text = std::move(result);
    return count;
}

template <typename Ch>
void expandAll(std::basic_string<Ch>& text, const ExpansionValues<Ch>& values,
               const std::vector<std::basic_string<Ch>>& environment) {
    const std::basic_string<Ch> separator = asciiText<Ch>(";");
    for (const Token& token : kTokens) {
        const std::basic_string<Ch>* value = &separator;
        switch (token.value) {
            case Value::LauncherDirectory:
                value = &values.launcherDirectory;
                break;
            case Value::TempDirectory:
                value = &values.tempDirectory;
                break;
            case Value::Separator:
                break;
            case Value::JvmHome:
                value = &values.jvmHome;
                break;
            case Value::SystemTemp:
                value = &values.systemTempDirectory;
                break;
        }
        replaceAll<Ch>(text, asciiText<Ch>(token.text), *value);
    }
    for (const auto& entry : environment) {
        const size_t equals = entry.find(Ch('='));
        if (equals == std::basic_string<Ch>::npos || equals + 3 > kMaxTokenLength) continue;
        const std::basic_string_view<Ch> value =
            std::basic_string_view<Ch>(entry).substr(equals + 1);
        std::basic_string<Ch> token = asciiText<Ch>("${");
        token.append(entry, 0, equals);
        token.push_back(Ch('}'));
        replaceAll<Ch>(text, token, value);
        for (auto& c : token) {
            if (c >= Ch('a') && c <= Ch('z')) c = static_cast<Ch>(c - Ch('a') + Ch('A'));
        }
        replaceAll<Ch>(text, token, value);
    }
}

template <typename Ch>
std::vector<std::basic_string<Ch>> entriesOf(const Ch* block) {
    std::vector<std::basic_string<Ch>> entries;
    if (block == nullptr) return entries;
    while (*block != Ch(0)) {
        std::basic_string<Ch> entry(block);
        block += entry.size() + 1;
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace

size_t replaceAllOccurrences(std::wstring& text, std::wstring_view token, std::wstring_view value) {
    return replaceAll<wchar_t>(text, token, value);
}

size_t replaceAllOccurrences(std::string& text, std::string_view token, std::string_view value) {
    return replaceAll<char>(text, token, value);
}

void expandTokens(std::wstring& text, const ExpansionValues<wchar_t>& values,
                  const std::vector<std::wstring>& environment) {
    expandAll(text, values, environment);
}

void expandTokens(std::string& text, const ExpansionValues<char>& values,
                  const std::vector<std::string>& environment) {
    expandAll(text, values, environment);
}

std::vector<std::wstring> environmentEntries(const wchar_t* block) {
    return entriesOf(block);
}
std::vector<std::string> environmentEntries(const char* block) {
    return entriesOf(block);
}

}  // namespace launcher
