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

const std::string* ConfigView::find(ConfigId id) const {
    const auto it = strings_.find(id.value());
    return it == strings_.end() ? nullptr : &it->second;
}

std::string_view ConfigView::view(ConfigId configId, size_t maximum) const {
    const std::string* value = find(configId);
    if (value == nullptr || maximum == 0) return {};
    std::string_view text = *value;
    if (text.size() > maximum - 1) {
        logMessage(L"ERROR: config string %d truncated (%d %d)", configId.value(),
                   static_cast<int>(maximum), static_cast<int>(text.size()));
        text = text.substr(0, maximum - 1);
    }
    return text;
}

void ConfigView::text(ConfigId id, size_t maximum, std::string& out) const {
    const std::string_view text = view(id, maximum);
    out.assign(text.data(), text.size());
}

int32_t ConfigView::number(ConfigId id) const {
    return parseConfigInt(view(id, kBufferLength));
}

bool ConfigView::appendWide(ConfigId id, std::wstring& out) const {
    const std::string* value = find(id);
    if (value == nullptr) return false;
    out += widen(*value);
    return true;
}

void ConfigView::wide(ConfigId id, std::wstring& out) const {
    out.clear();
    appendWide(id, out);
}

void ConfigView::whole(ConfigId id, std::string& out) const {
    const std::string_view text = view(id, SIZE_MAX);
    out.assign(text.data(), text.size());
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

static std::wstring cutWide(std::wstring value, size_t maximum, int32_t id) {
    if (maximum == 0) return {};
    if (value.size() > maximum - 1) {
        logError(L"string %d cut to %d characters (%d)", id, static_cast<int>(maximum - 1),
                 static_cast<int>(value.size()));
        value.resize(maximum - 1);
    }
    return value;
}

void ConfigView::wideCut(ConfigId id, size_t maximum, std::wstring& out) const {
    const std::string* value = find(id);
    if (value == nullptr) {
        out.clear();
        return;
    }
    out = cutWide(widen(*value), maximum, id.value());
}

std::string getConfigString(ConfigId id, size_t maximum) {
    std::string out;
    ConfigView(configStrings()).text(id, maximum, out);
    return out;
}

int32_t getConfigInt(ConfigId id) {
    return ConfigView(configStrings()).number(id);
}

bool getConfigWide(ConfigId id, std::wstring& out) {
    return ConfigView(configStrings()).appendWide(id, out);
}

void appendConfigString(ConfigId id, std::string& out) {
    std::string value;
    ConfigView(configStrings()).whole(id, value);
    out += value;
}

std::string dupConfigString(ConfigId id) {
    std::string out;
    ConfigView(configStrings()).whole(id, out);
    return out;
}

std::wstring getConfigStringAsWide(ConfigId id, size_t maximum) {
    std::wstring out;
    ConfigView(configStrings()).wideCut(id, maximum, out);
    return out;
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
