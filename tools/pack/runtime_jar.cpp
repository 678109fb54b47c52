#include "runtime_jar.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <string_view>

#include "config/config.h"
#include "config/config_block.h"
#include "config/settings.h"

namespace pack {

namespace {

using launcher::idOf;
using launcher::Setting;

constexpr std::string_view kRuntimeJarNames[] = {"lumex-runtime.jar", "parcelkit-runtime.jar"};

// The last name of a path with '\' or '/' between its parts.
std::string_view lastName(std::string_view path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool isRuntimeJarName(std::string_view path) {
    const std::string_view name = lastName(path);
    return std::any_of(
        std::begin(kRuntimeJarNames), std::end(kRuntimeJarNames), [&](std::string_view jar) {
            return std::equal(name.begin(), name.end(), jar.begin(), jar.end(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == b;
            });
        });
}

// A class or module path value: entries "<kind><required><path>" separated by ';'.
bool pathListNamesRuntimeJar(std::string_view list) {
    while (!list.empty()) {
        const size_t end = std::min(list.find(';'), list.size());
        const std::string_view entry = list.substr(0, end);
        if (entry.size() > 2 && isRuntimeJarName(entry.substr(2))) return true;
        list.remove_prefix(std::min(end + 1, list.size()));
    }
    return false;
}

}  // namespace

std::string runtimeJarName(const BlockWriter& writer) {
    for (const auto& [id, value] : writer.strings()) {
        if (id == idOf(Setting::ProductMarker) && value == "p") {
            return std::string(kRuntimeJarNames[1]);
        }
    }
    return std::string(kRuntimeJarNames[0]);
}

std::string runtimeJarName(const BlockContent& content) {
    const auto marker = content.strings.find(idOf(Setting::ProductMarker));
    const bool parcelkit = marker != content.strings.end() && marker->second == "p";
    return std::string(kRuntimeJarNames[parcelkit ? 1 : 0]);
}

std::span<const uint8_t> carriedRuntimeJar(const RuntimeJars& jars, std::string_view name) {
    return name == kRuntimeJarNames[0] ? jars.lumex : jars.parcelkit;
}

bool namesRuntimeJar(std::span<const IncludedFile> files, std::string_view classPath,
                     std::string_view modulePath) {
    return std::any_of(files.begin(), files.end(),
                       [](const IncludedFile& file) { return isRuntimeJarName(file.name); }) ||
           pathListNamesRuntimeJar(classPath) || pathListNamesRuntimeJar(modulePath);
}

bool namesRuntimeJar(const BlockWriter& writer) {
    std::string_view classPath, modulePath;
    for (const auto& [id, value] : writer.strings()) {
        if (id == idOf(Setting::ClassPath)) classPath = value;
        if (id == idOf(Setting::ModulePath)) modulePath = value;
    }
    return namesRuntimeJar(writer.files(), classPath, modulePath);
}

bool namesRuntimeJar(const BlockContent& content) {
    const auto value = [&](Setting id) {
        const auto found = content.strings.find(idOf(id));
        return found == content.strings.end() ? std::string_view()
                                              : std::string_view(found->second);
    };
    return namesRuntimeJar(content.files, value(Setting::ClassPath), value(Setting::ModulePath));
}

BlockWriter withRuntimeJar(const BlockWriter& writer, const std::string& name,
                           std::span<const uint8_t> jar) {
    constexpr int32_t countId = idOf(Setting::IncludedFileCount);
    constexpr int32_t namesId = idOf(Setting::IncludedFileNames);
    // The strings in the order of their ids, as a description writes them.
    std::map<int32_t, std::string> strings;
    for (const auto& [id, value] : writer.strings()) strings[id] = value;
    size_t extracted = writer.files().size();
    if (const auto count = strings.find(countId); count != strings.end()) {
        extracted = std::min<size_t>(std::strtoull(count->second.c_str(), nullptr, 10), extracted);
    }
    std::vector<IncludedFile> files = writer.files();
    files.insert(files.begin() + static_cast<std::ptrdiff_t>(extracted),
                 IncludedFile{name, std::vector<uint8_t>(jar.begin(), jar.end())});
    std::string names;
    for (const IncludedFile& file : files) {
        names +=
            (names.empty() ? "" : std::string(1, launcher::kIncludedFileNameSeparator)) + file.name;
    }
    strings[countId] = std::to_string(extracted + 1);
    strings[namesId] = names;

    BlockWriter result;
    for (const auto& [id, value] : strings) result.string(id, value);
    for (const auto& [id, value] : writer.wides()) result.wide(id, value);
    for (const LanguageSection& section : writer.sections()) result.section(section);
    for (IncludedFile& file : files) result.file(std::move(file));
    return result;
}

bool leaveOutCarriedRuntimeJar(BlockContent& content, const RuntimeJars& jars) {
    const auto count = content.strings.find(idOf(Setting::IncludedFileCount));
    if (count == content.strings.end()) return false;
    const int32_t extracted = launcher::parseConfigInt(count->second);
    if (extracted <= 0 || static_cast<size_t>(extracted) > content.files.size() ||
        std::to_string(extracted) != count->second) {
        return false;
    }
    const auto jarAt = content.files.begin() + (extracted - 1);
    const std::string name = runtimeJarName(content);
    const std::span<const uint8_t> carried = carriedRuntimeJar(jars, name);
    if (jarAt->name != name || carried.empty() ||
        !std::equal(jarAt->content.begin(), jarAt->content.end(), carried.begin(), carried.end())) {
        return false;
    }
    BlockContent without = content;
    without.files.erase(without.files.begin() + (extracted - 1));
    if (namesRuntimeJar(without)) return false;  // `pack build` would not add it then
    if (without.files.empty()) {
        without.strings.erase(idOf(Setting::IncludedFileCount));
        without.strings.erase(idOf(Setting::IncludedFileNames));
    } else {
        std::string names;
        for (const IncludedFile& file : without.files) {
            names += (names.empty() ? "" : std::string(1, launcher::kIncludedFileNameSeparator)) +
                     file.name;
        }
        without.strings[idOf(Setting::IncludedFileCount)] = std::to_string(extracted - 1);
        without.strings[idOf(Setting::IncludedFileNames)] = names;
    }
    content = std::move(without);
    return true;
}

}  // namespace pack
