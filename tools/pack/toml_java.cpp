// The [java] table: the main class or module, the class and module path, the versions a runtime
// must have and where to look for one, and the options and arguments it gets.
#include "common/text_list.h"
#include "runtime_jar.h"
#include "toml_printer.h"
#include "toml_reader.h"

#include <algorithm>

namespace pack::reading {

namespace {

bool isVersionText(std::string_view text) {
    // Numbers of up to nine digits separated by single ".", "_", "-" or "+".
    size_t digits = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            if (++digits > 9) return false;
        } else if (std::string_view("._-+").find(c) != std::string_view::npos && digits > 0) {
            digits = 0;
        } else {
            return false;
        }
    }
    return digits > 0;
}

std::vector<long> versionNumbers(std::string_view text) {
    std::vector<long> numbers{0};
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            numbers.back() = numbers.back() * 10 + (c - '0');
        } else {
            numbers.push_back(0);
        }
    }
    return numbers;
}

}  // namespace

void Reader::java(const toml::table* t) {
    const std::string p = "java.";
    if (t == nullptr) {
        errors_.push_back(
            {0, 0, "java", "missing; the description needs a [java] table with the main class"});
        return;
    }
    onlyKeys(*t, p, kJavaKeys);
    const auto mainClass = string(t, p, "main_class");
    const auto module = string(t, p, "module");
    std::string mainBytes, moduleBytes;
    const auto plainName = [&](std::string_view key, const std::string& text, std::string& out) {
        if (!narrow(*t->get(key), p + std::string(key), text, kTextLimit, out)) return false;
        if (out.empty() || out.find_first_of(" \t/;") != std::string::npos) {
            error(*t->get(key), p + std::string(key),
                  "\"" + text + "\" is no " + (key == "module" ? "module" : "class") +
                      " name (not empty, no blanks, '/' or ';')");
            return false;
        }
        for (std::string_view file : {".class", ".java"}) {
            if (key == "main_class" && out.size() > file.size() && out.ends_with(file)) {
                error(*t->get(key), p + std::string(key),
                      "\"" + text + "\" names a source or class file; write the class name \"" +
                          text.substr(0, text.size() - file.size()) + "\"");
                return false;
            }
        }
        return true;
    };
    if (t->get("main_class") == nullptr) {
        error(*t, p + "main_class", "missing; name the application's main class");
    } else if (mainClass && plainName("main_class", *mainClass, mainBytes)) {
        if (!module) {
            put(Setting::MainClass, mainBytes);
        } else if (plainName("module", *module, moduleBytes)) {
            const std::string value = moduleBytes + "/" + mainBytes;
            if (value.size() > kTextLimit) {
                error(*t->get("module"), p + "module",
                      "module and main class together are longer than the launcher reads (" +
                          std::to_string(kTextLimit) + ")");
            } else {
                put(Setting::MainClass, value);
                put(Setting::MainFromModulePath, "1");
            }
        }
    }
    pathEntries(t, "class_path", Setting::ClassPath);
    pathEntries(t, "module_path", Setting::ModulePath);
    versions(t);
    search(t);
    flagSetting(t, p, "allow_prerelease", Setting::AllowBeta);
    flagSetting(t, p, "require_jdk", Setting::RequireJdk);
    textSetting(t, p, "jvm_variant", Setting::JvmVariant, kVariantLimit);
    commandLineSetting(t, p, "options", idOf(Setting::JvmOptions));
    versionLines(t);
    commandLineSetting(t, p, "arguments", idOf(Setting::ProgramArguments));
    flagSetting(t, p, "j_arguments", Setting::JavaOptionArguments);
    flagSetting(t, p, "read_vmoptions", Setting::ReadVmOptionsFile);
    flagSetting(t, p, "accept_unvalidated_directories", Setting::AcceptUnvalidatedDirectories);
    flagSetting(t, p, "ignore_java_option_variables", Setting::IgnoreJavaOptionVariables);
    textSetting(t, p, "application_id", Setting::ApplicationId);
    runtimeJar_ = flag(t, p, "runtime_jar").value_or(true);
    flagSetting(t, p, "skip_vendor_registry", Setting::SkipVendorRegistry);
    // A new launcher keeps class-data archives unless told not to; a block without the setting
    // keeps none.
    if (choice(t, p, "class_data_sharing", {"auto", "off"}).value_or("auto") == "auto") {
        put(Setting::ClassDataSharing, "1");
    }
}

void Reader::pathEntries(const toml::table* t, std::string_view key, Setting id) {
    const std::string listKey = "java." + std::string(key);
    const toml::array* a = list(t, "java.", key);
    if (a == nullptr) return;
    std::string joined;
    for (size_t i = 0; i < a->size(); ++i) {
        const toml::node& item = *a->get(i);
        const std::string k = listKey + "[" + std::to_string(i) + "]";
        char letter = 'A';
        bool required = false;
        const toml::node* pathNode = &item;
        std::optional<std::string> path;
        if (const auto* s = item.as_string()) {
            path = s->get();
        } else if (const auto* entry = item.as_table()) {
            onlyKeys(*entry, k + ".", {"jar", "directory", "jars_in", "env", "required"});
            int kinds = 0;
            for (const EntryKind& kind : entryKinds()) {
                if (entry->get(kind.key) == nullptr) continue;
                ++kinds;
                letter = kind.letter;
                pathNode = entry->get(kind.key);
                path = string(entry, k + ".", kind.key);
            }
            if (kinds != 1) {
                error(item, k,
                      "an entry names exactly one of jar, directory, jars_in or env (found " +
                          std::to_string(kinds) + ")");
                continue;
            }
            required = flag(entry, k + ".", "required").value_or(false);
        } else {
            error(item, k,
                  "expected a path or a table such as { jars_in = \"lib\" }, found " +
                      typeName(item));
            continue;
        }
        std::string bytes;
        if (!path || !narrow(*pathNode, k, *path, kTextLimit, bytes)) continue;
        if (bytes.empty() || bytes.find(';') != std::string::npos) {
            error(*pathNode, k,
                  bytes.empty() ? "is empty" : "holds ';', which separates the entries");
            continue;
        }
        if (const size_t wild = bytes.find_first_of("*?"); wild != std::string::npos) {
            error(*pathNode, k,
                  "holds '" + std::string(1, bytes[wild]) +
                      "': the launcher takes a path as it stands, without wildcards; write "
                      "{ jars_in = \"" +
                      (bytes.find_last_of("/\\") == std::string::npos
                           ? std::string(".")
                           : bytes.substr(0, bytes.find_last_of("/\\"))) +
                      "\" } for every jar in a folder");
            continue;
        }
        if (!variables(*pathNode, k, bytes)) continue;
        if (!joined.empty()) joined += ';';
        joined += std::string(1, letter) + (required ? "1" : "0") + bytes;
    }
    if (!joined.empty()) put(id, joined);
}

void Reader::versions(const toml::table* t) {
    std::optional<std::string> bound[2];
    const std::string_view keys[2] = {"min_version", "max_version"};
    const Setting ids[2] = {Setting::MinVersion, Setting::MaxVersion};
    for (int i = 0; i < 2; ++i) {
        const auto text = string(t, "java.", keys[i]);
        if (!text) continue;
        std::string bytes;
        if (!narrow(*t->get(keys[i]), "java." + std::string(keys[i]), *text, kVersionLimit,
                    bytes)) {
            continue;
        }
        if (!isVersionText(bytes)) {
            error(*t->get(keys[i]), "java." + std::string(keys[i]),
                  "\"" + *text +
                      "\" is no version; write numbers separated by '.', '_', '-' or '+', such "
                      "as \"11\", \"17.0.2\" or \"1.8.0_292\"");
            continue;
        }
        put(ids[i], bytes);
        bound[i] = bytes;
    }
    if (bound[0] && bound[1]) {
        // The launcher compares each bound over its own length; over their common length the
        // minimum must not lie above the maximum, or no runtime can pass both.
        const auto low = versionNumbers(*bound[0]), high = versionNumbers(*bound[1]);
        const size_t n = std::min(low.size(), high.size());
        if (std::lexicographical_compare(high.begin(), high.begin() + static_cast<long>(n),
                                         low.begin(), low.begin() + static_cast<long>(n))) {
            error(*t->get("max_version"), "java.max_version",
                  "\"" + *bound[1] + "\" lies below min_version \"" + *bound[0] +
                      "\": no Java runtime can pass both");
        }
    }
}

void Reader::search(const toml::table* t) {
    const toml::node* n = node(t, "search");
    std::string sequence;
    if (n == nullptr) {
        for (std::string_view entry : kDefaultSearch) {
            std::string ignored;
            if (!sequence.empty()) sequence += ';';
            sequence += searchEntryCode(entry, ignored);
        }
        put(Setting::SearchSequence, sequence);
        return;
    }
    const toml::array* a = list(t, "java.", "search");
    if (a == nullptr) return;
    bool ok = true;
    for (size_t i = 0; i < a->size(); ++i) {
        const toml::node& item = *a->get(i);
        const std::string k = "java.search[" + std::to_string(i) + "]";
        const auto* s = item.as_string();
        std::string bytes, problem;
        if (s == nullptr) {
            error(item, k, "expected a string such as \"registry\", found " + typeName(item));
            ok = false;
            continue;
        }
        if (!narrow(item, k, s->get(), kTextLimit, bytes)) {
            ok = false;
            continue;
        }
        const std::string code = searchEntryCode(bytes, problem);
        if (code.empty()) {
            error(item, k, problem);
            ok = false;
            continue;
        }
        if (!sequence.empty()) sequence += ';';
        sequence += code;
    }
    if (!ok) return;
    if (sequence.size() > kTextLimit) {
        error(*n, "java.search",
              "the sequence is " + std::to_string(sequence.size()) +
                  " characters long; the launcher reads at most " + std::to_string(kTextLimit));
        return;
    }
    put(Setting::SearchSequence, sequence);
}

void Reader::versionLines(const toml::table* t) {
    const toml::array* a = list(t, "java.", "version_options");
    if (a == nullptr || a->empty()) return;
    if (a->size() > kMaxVersionLines) {
        error(*t->get("version_options"), "java.version_options",
              "more than " + std::to_string(kMaxVersionLines) + " lines");
        return;
    }
    int32_t line = 0;
    for (size_t i = 0; i < a->size(); ++i) {
        const toml::node& item = *a->get(i);
        const std::string k = "java.version_options[" + std::to_string(i) + "]";
        const auto* entry = item.as_table();
        if (entry == nullptr) {
            error(item, k,
                  "expected a table such as { versions = \"8-11\", options = [...] }, found " +
                      typeName(item));
            continue;
        }
        onlyKeys(*entry, k + ".", {"versions", "options"});
        const auto versions = string(entry, k + ".", "versions");
        const toml::node* optionsNode = entry->get("options");
        if (!versions || optionsNode == nullptr) {
            if (!versions && entry->get("versions") == nullptr) {
                error(item, k + ".versions", "missing; write a range \"8-11\" or a pattern");
            }
            if (optionsNode == nullptr) error(item, k + ".options", "missing");
            continue;
        }
        std::string condition;
        if (!narrow(*entry->get("versions"), k + ".versions", *versions, kTextLimit, condition)) {
            continue;
        }
        bool valid = condition.size() > 1 && condition[0] == '*';
        if (!valid) {
            const size_t dash = condition.find('-');
            const std::string low = condition.substr(0, dash);
            const std::string high = dash == std::string::npos ? "" : condition.substr(dash + 1);
            const auto number = [](const std::string& s) {
                return !s.empty() && s.size() <= 9 &&
                       std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
            };
            valid = dash != std::string::npos && number(low) && number(high) &&
                    std::stol(low) <= std::stol(high);
        }
        if (!valid) {
            error(*entry->get("versions"), k + ".versions",
                  "\"" + *versions +
                      "\" is neither a range of major versions such as \"8-11\" (lower first) "
                      "nor a pattern such as \"*17.0.?\"");
            continue;
        }
        const auto options = commandLine(*optionsNode, k + ".options");
        if (!options) continue;
        strings_[launcher::ConfigId::versionCondition(line).value()] = condition;
        strings_[launcher::ConfigId::versionOptions(line).value()] = *options;
        ++line;
    }
    if (line > 0) put(Setting::VersionOptionCount, std::to_string(line));
}

}  // namespace pack::reading

namespace pack::printing {

void Printer::java() {
    header("java");
    const auto module = take(Setting::MainFromModulePath);
    auto mainClass = take(Setting::MainClass);
    if (mainClass && module == "1" && mainClass->find('/') != std::string::npos) {
        const size_t slash = mainClass->find('/');
        line("main_class", quotedBytes(mainClass->substr(slash + 1)));
        line("module", quotedBytes(mainClass->substr(0, slash)));
    } else {
        if (mainClass) line("main_class", quotedBytes(*mainClass));
        if (module) keep(idOf(Setting::MainFromModulePath), *module);
    }
    pathEntries("class_path", Setting::ClassPath);
    pathEntries("module_path", Setting::ModulePath);
    text("min_version", Setting::MinVersion);
    text("max_version", Setting::MaxVersion);
    if (auto sequence = take(Setting::SearchSequence)) {
        std::vector<std::string> items, plain;
        for (const std::string& code : launcher::splitList(*sequence)) {
            const auto entry = searchEntryText(code);
            items.push_back(quotedBytes(entry.value_or("?" + code)));
            plain.push_back(entry.value_or(""));
        }
        const std::vector<std::string> defaults(std::begin(kDefaultSearch),
                                                std::end(kDefaultSearch));
        if (plain != defaults) line("search", quotedList(items));
    }
    flag("allow_prerelease", Setting::AllowBeta);
    flag("require_jdk", Setting::RequireJdk);
    text("jvm_variant", Setting::JvmVariant);
    commandLine("options", idOf(Setting::JvmOptions));
    if (auto count = take(Setting::VersionOptionCount)) {
        const int32_t n = launcher::parseConfigInt(*count);
        if (std::to_string(n) != *count || n <= 0) {
            keep(idOf(Setting::VersionOptionCount), *count);
        } else {
            flush();
            out_ << "version_options = [\n";
            for (int32_t i = 0; i < n; ++i) {
                const auto condition = take(launcher::ConfigId::versionCondition(i).value());
                const auto options = take(launcher::ConfigId::versionOptions(i).value());
                out_ << "    { versions = " << quotedBytes(condition.value_or(""))
                     << ", options = " << commandLineValue(options.value_or("")) << " },\n";
            }
            out_ << "]\n";
        }
    }
    commandLine("arguments", idOf(Setting::ProgramArguments));
    flag("j_arguments", Setting::JavaOptionArguments);
    flag("read_vmoptions", Setting::ReadVmOptionsFile);
    flag("accept_unvalidated_directories", Setting::AcceptUnvalidatedDirectories);
    flag("ignore_java_option_variables", Setting::IgnoreJavaOptionVariables);
    text("application_id", Setting::ApplicationId);
    flag("skip_vendor_registry", Setting::SkipVendorRegistry);
    if (const auto sharing = take(Setting::ClassDataSharing); !sharing) {
        line("class_data_sharing", "\"off\"");
    } else if (*sharing != "1") {
        keep(idOf(Setting::ClassDataSharing), *sharing);
    }
    // A launcher without a runtime jar is built again without one.
    if (leftOutJar_.empty() && !namesRuntimeJar(content_)) line("runtime_jar", "false");
}

void Printer::pathEntries(std::string_view key, Setting id) {
    auto value = take(id);
    if (!value) return;
    std::vector<std::string> items;
    for (const std::string& entry : launcher::splitList(*value)) {
        if (entry.size() < 3) {
            items.push_back(quotedBytes(entry));  // not written by the tool: shows in the losses
            continue;
        }
        const std::string path = quotedBytes(entry.substr(2));
        const bool required = entry[1] == '1';
        std::string kindKey;
        for (const EntryKind& kind : entryKinds()) {
            if (kind.letter == entry[0]) kindKey = kind.key;
        }
        if (kindKey == "jar" && !required) {
            items.push_back(path);
        } else {
            items.push_back("{ " + (kindKey.empty() ? std::string("unknown") : kindKey) + " = " +
                            path + (required ? ", required = true" : "") + " }");
        }
    }
    line(std::string(key), quotedList(items));
}

}  // namespace pack::printing
