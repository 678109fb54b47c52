#include "config/config.h"

#include <limits>

#include "common/log.h"

namespace launcher {

ConfigStrings& configStrings() {
    static ConfigStrings strings;
    return strings;
}

LocalizedStrings& localizedStrings() {
    static LocalizedStrings strings;
    return strings;
}

std::string getConfigString(ConfigId configId, size_t maximum) {
    const int32_t id = configId.value();
    const auto it = configStrings().find(id);
    if (it == configStrings().end() || maximum == 0) return {};
    const std::string& value = it->second;
    if (value.size() > maximum - 1) {
        logMessage(L"ERROR: config string %d truncated (%d %d)", id, static_cast<int>(maximum),
                   static_cast<int>(value.size()));
        return value.substr(0, maximum - 1);
    }
    return value;
}

int32_t parseConfigInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > int64_t(std::numeric_limits<int32_t>::max()) + 1) break;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

int32_t getConfigInt(ConfigId id) {
    return parseConfigInt(getConfigString(id, kBufferLength));
}

bool getConfigWide(ConfigId id, std::wstring& out) {
    const auto it = configStrings().find(id.value());
    if (it == configStrings().end()) return false;
    out += widen(it->second);
    return true;
}

void appendConfigString(ConfigId id, std::string& out) {
    const auto it = configStrings().find(id.value());
    if (it != configStrings().end()) out += it->second;
}

std::string dupConfigString(ConfigId id) {
    std::string out;
    appendConfigString(id, out);
    return out;
}

static std::wstring cutWide(std::wstring value, size_t maximum, int32_t id) {
    if (maximum == 0) return {};
    if (value.size() > maximum - 1) {
        logError(L"string %d cut to %d characters (%d)", id, static_cast<int>(maximum - 1),
                 static_cast<int>(value.size()));
        value.resize(maximum - 1);
    }
    return value;
}

std::wstring getConfigStringAsWide(ConfigId id, size_t maximum) {
    const auto it = configStrings().find(id.value());
    if (it == configStrings().end()) return {};
    return cutWide(widen(it->second), maximum, id.value());
}

std::wstring getLocalizedString(Message id) {
    const auto it = localizedStrings().find(idOf(id));
    if (it == localizedStrings().end()) return {};
    return cutWide(it->second, kBufferLength, idOf(id));
}

std::wstring getMessageText(Message id) {
    std::wstring text = getLocalizedString(id);
    if (!text.empty()) return text;
    return getConfigStringAsWide(id, kBufferLength);
}

}  // namespace launcher
