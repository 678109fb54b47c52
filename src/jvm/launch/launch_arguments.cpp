#include "jvm/launch/launch_arguments.h"

#include <limits>

namespace launcher {

namespace {

constexpr std::wstring_view kJavaOptionArgument = L"-J";
constexpr std::wstring_view kLocaleArgument = L"-Dsun.locale.formatasdefault=";
constexpr std::string_view kStackSizeOption = "-Xss";
constexpr uint32_t kMinimumStackSize = 65536;

std::wstring flagText(bool value) {
    return value ? L"true" : L"false";
}

}  // namespace

std::vector<std::wstring> launcherArguments(const LauncherArgumentInputs& inputs,
                                            const std::vector<std::wstring>& programArguments) {
    std::vector<std::wstring> elements;
    elements.push_back(flagText(inputs.windowedLauncher));
    elements.push_back((inputs.moduleMode ? L"/" : L"") + inputs.mainClass);
    elements.push_back(inputs.firstPath);
    elements.push_back(inputs.secondPath);
    elements.push_back(flagText(inputs.launcherFlag));
    if (programArguments.empty()) return elements;
    elements.push_back(programArguments.front());
    elements.insert(elements.end(), inputs.configuredArguments.begin(),
                    inputs.configuredArguments.end());
    for (size_t i = 1; i < programArguments.size(); ++i) {
        const std::wstring& argument = programArguments[i];
        if (inputs.javaOptionArguments && argument.starts_with(kJavaOptionArgument)) continue;
        if (argument.starts_with(kLocaleArgument)) continue;
        elements.push_back(argument);
    }
    return elements;
}

int64_t parseStackSize(std::string_view text) {
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0 || text.size() > digits + 1) return -1;
    int shift = 0;
    if (text.size() == digits + 1) {
        switch (text[digits]) {
            case 'k':
            case 'K':
                shift = 10;
                break;
            case 'm':
            case 'M':
                shift = 20;
                break;
            case 'g':
            case 'G':
                shift = 30;
                break;
            case 't':
            case 'T':
                shift = 40;
                break;
            default:
                return -1;
        }
    }
    // Sizes beyond what 63 bits hold are no sizes either.
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    int64_t value = 0;
    for (size_t i = 0; i < digits; ++i) {
        const int digit = text[i] - '0';
        if (value > (kMax - digit) / 10) return -1;
        value = value * 10 + digit;
    }
    if (value > (kMax >> shift)) return -1;
    return value << shift;
}

uint32_t jvmThreadStackSize(const std::vector<std::string>& options) {
    uint32_t size = 0;
    for (const std::string& option : options) {
        if (!option.starts_with(kStackSizeOption)) continue;
        const int64_t parsed =
            parseStackSize(std::string_view(option).substr(kStackSizeOption.size()));
        // Higher bits are dropped, as a 32-bit size keeps them.
        if (parsed > 0) size = static_cast<uint32_t>(parsed);
    }
    if (size > 0 && size < kMinimumStackSize) size = kMinimumStackSize;
    return size;
}

}  // namespace launcher
