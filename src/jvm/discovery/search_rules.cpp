#include "jvm/discovery/search_rules.h"

#include <algorithm>
#include <optional>

#include "common/log.h"
#include "jvm/discovery/java_version.h"

namespace launcher {

namespace {

// How an entry type behaves in the pass after the installer location.
enum class Fallback { Never, WhenRelative, Always };

struct StepLetter {
    char letter;
    SearchStep step;
    Fallback fallback;
};

constexpr std::array<StepLetter, 7> kStepLetters = {{
    {'A', SearchStep::Directory, Fallback::WhenRelative},
    {'B', SearchStep::Directory, Fallback::Always},
    {'R', SearchStep::Directory, Fallback::WhenRelative},
    {'E', SearchStep::EnvironmentVariable, Fallback::Never},
    {'I', SearchStep::PreviousInstallations, Fallback::Never},
    {'S', SearchStep::SearchPath, Fallback::Never},
    {'Y', SearchStep::Registry, Fallback::Never},
}};

const StepLetter* findStepLetter(char type) {
    for (const StepLetter& row : kStepLetters) {
        if (row.letter == type) return &row;
    }
    return nullptr;
}

constexpr std::array<VendorKey, 12> kVendorKeys = {{
    {RegistryRoot::LocalMachine, "SOFTWARE\\JavaSoft\\JRE", VendorLayout::JavaHome, true},
    {RegistryRoot::LocalMachine, "SOFTWARE\\JavaSoft\\JDK", VendorLayout::JavaHome, false},
    {RegistryRoot::LocalMachine, "SOFTWARE\\JavaSoft\\Java Runtime Environment",
     VendorLayout::JavaHome, true},
    {RegistryRoot::LocalMachine, "SOFTWARE\\JavaSoft\\Java Development Kit", VendorLayout::JavaHome,
     false},
    {RegistryRoot::LocalMachine, "SOFTWARE\\Microsoft\\JDK", VendorLayout::Msi, false},
    {RegistryRoot::LocalMachine, "SOFTWARE\\Eclipse Adoptium\\JDK", VendorLayout::Msi, false},
    {RegistryRoot::LocalMachine, "SOFTWARE\\Eclipse Adoptium\\JRE", VendorLayout::Msi, true},
    {RegistryRoot::LocalMachine, "SOFTWARE\\Azul Systems\\Zulu", VendorLayout::Zulu, false},
    {RegistryRoot::CurrentUser, "SOFTWARE\\Microsoft\\JDK", VendorLayout::Msi, false},
    {RegistryRoot::CurrentUser, "SOFTWARE\\Eclipse Adoptium\\JDK", VendorLayout::Msi, false},
    {RegistryRoot::CurrentUser, "SOFTWARE\\Eclipse Adoptium\\JRE", VendorLayout::Msi, true},
    {RegistryRoot::CurrentUser, "SOFTWARE\\Azul Systems\\Zulu", VendorLayout::Zulu, false},
}};

struct LayoutRow {
    VendorLayout layout;
    std::string_view valueName;
    std::string_view subkeySuffix;
    std::string_view rangePrefix;
};

constexpr std::array<LayoutRow, 3> kLayouts = {{
    {VendorLayout::JavaHome, "JavaHome", "", ""},
    {VendorLayout::Msi, "Path", "\\hotspot\\MSI", ""},
    {VendorLayout::Zulu, "InstallationPath", "", "zulu-"},
}};

const LayoutRow& layoutRow(VendorLayout layout) {
    for (const LayoutRow& row : kLayouts) {
        if (row.layout == layout) return row;
    }
    return kLayouts[0];
}

constexpr std::array<std::string_view, 5> kJvmVariants = {"server", "client", "j9vm", "hotspot",
                                                          "jrockit"};

constexpr std::string_view kJavaExeName = "java.exe";
constexpr std::string_view kWindowedJavaExeName = "javaw.exe";

// Length of the bin directory part: the executable name and the backslash before it removed.
// None when the path can't hold both.
std::optional<size_t> binDirectoryLength(std::string_view javaExe) {
    const size_t nameLength =
        javaExe.ends_with(kWindowedJavaExeName) ? kWindowedJavaExeName.size() : kJavaExeName.size();
    if (javaExe.size() <= nameLength) return std::nullopt;
    return javaExe.size() - nameLength - 1;
}

std::string replaceAll(std::string_view text, char from, char to) {
    std::string out(text);
    std::replace(out.begin(), out.end(), from, to);
    return out;
}

}  // namespace

std::vector<SearchEntry> splitSearchSequence(std::string_view sequence) {
    std::vector<SearchEntry> entries;
    size_t start = 0;
    while (start < sequence.size()) {
        size_t end = sequence.find(';', start);
        if (end == std::string_view::npos) end = sequence.size();
        if (end > start) {
            entries.push_back(
                {sequence[start], std::string(sequence.substr(start + 1, end - start - 1))});
        }
        start = end + 1;
    }
    return entries;
}

SearchStep searchStepOf(char type) {
    const StepLetter* row = findStepLetter(type);
    return row ? row->step : SearchStep::Unknown;
}

bool isAbsoluteLocationText(std::string_view text) {
    return text.size() >= 2 && (text[1] == ':' || (text[0] == '\\' && text[1] == '\\'));
}

bool takesPartInFallback(const SearchEntry& entry) {
    const StepLetter* row = findStepLetter(entry.type);
    if (row == nullptr) return false;
    switch (row->fallback) {
        case Fallback::Always:
            return true;
        case Fallback::WhenRelative:
            return !isAbsoluteLocationText(entry.text);
        case Fallback::Never:
            break;
    }
    return false;
}

std::string binDirectoryOf(std::string_view javaExe) {
    const std::optional<size_t> length = binDirectoryLength(javaExe);
    return length ? std::string(javaExe.substr(0, *length)) : std::string();
}

std::string jvmHomeOf(std::string_view javaExe) {
    const std::optional<size_t> length = binDirectoryLength(javaExe);
    return length ? std::string(javaExe.substr(0, *length)) + "\\.." : std::string();
}

std::string windowedJavaExe(std::string_view javaExe) {
    if (javaExe.size() <= 4) return std::string(javaExe);
    return std::string(javaExe.substr(0, javaExe.size() - 4)) + "w.exe";
}

std::string stripLineEnd(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    return line;
}

std::span<const VendorKey> vendorKeys() {
    return kVendorKeys;
}

std::string_view vendorValueName(VendorLayout layout) {
    return layoutRow(layout).valueName;
}

std::string vendorSubkeyPath(VendorLayout layout, std::string_view subkeyName) {
    return std::string(subkeyName) + std::string(layoutRow(layout).subkeySuffix);
}

std::string_view versionRangeName(VendorLayout layout, std::string_view subkeyName) {
    const std::string_view prefix = layoutRow(layout).rangePrefix;
    if (!prefix.empty() && subkeyName.starts_with(prefix)) subkeyName.remove_prefix(prefix.size());
    return subkeyName;
}

std::string versionCacheKeyName(std::string_view javaExe) {
    return std::string(kVersionCacheKeyPrefix) + replaceAll(javaExe, '\\', '/');
}

std::string locatedKeyToPath(std::string_view name) {
    return replaceAll(name, '/', '\\');
}

std::vector<std::string> jvmDllAttempts(std::string_view binDirectory,
                                        std::string_view configuredVariant) {
    std::vector<std::string> paths;
    const auto add = [&](std::string_view variant) {
        paths.push_back(std::string(binDirectory) + "\\" + std::string(variant) + "\\jvm.dll");
    };
    if (!configuredVariant.empty()) add(configuredVariant);
    for (std::string_view variant : kJvmVariants) add(variant);
    return paths;
}

std::string olderLayoutJavaExe(std::string_view javaExe) {
    return binDirectoryOf(javaExe) + "\\..\\jre\\bin\\java.exe";
}

// A stable insertion sort: the lists are short (registry keys of one machine), and unlike
// std::stable_sort it needs no temporary buffer, whose nothrow allocation would bring the C++
// library's exception runtime into the launcher.
template <typename T, typename Newer>
void stableSortNewestFirst(std::vector<T>& items, Newer newer) {
    for (auto it = items.begin(); it != items.end(); ++it) {
        std::rotate(std::upper_bound(items.begin(), it, *it, newer), it, it + 1);
    }
}

void sortNewestFirst(std::vector<JavaCandidate>& candidates) {
    stableSortNewestFirst(candidates, [](const JavaCandidate& a, const JavaCandidate& b) {
        return isNewerVersion(a.version, b.version);
    });
}

void sortKeyNamesNewestFirst(std::vector<std::string>& names) {
    stableSortNewestFirst(
        names, [](const std::string& a, const std::string& b) { return isNewerVersion(a, b); });
}

const JavaCandidate& preferNewer(const JavaCandidate& first, const JavaCandidate& second) {
    return isNewerVersion(first.version, second.version) ? first : second;
}

bool addNonWorkingJava(std::vector<std::string>& list, std::string_view javaExe) {
    list.emplace_back(javaExe);
    logMessage(L"add non-working java %S", javaExe);
    return list.size() < kMaxNonWorkingJavas;
}

bool isNonWorkingJava(const std::vector<std::string>& list, std::string_view javaExe) {
    return std::find(list.begin(), list.end(), javaExe) != list.end();
}

}  // namespace launcher
