// The way back: a configuration block's content printed as the launcher description that
// builds it again, and the check that it does.
#include <algorithm>
#include <set>
#include <sstream>

#include "common/text_list.h"
#include "config/config.h"
#include "config/settings.h"
#include "launcher_toml.h"
#include "runtime_jar.h"
#include "toml_keys.h"

namespace pack {

namespace {

using launcher::idOf;
using launcher::Message;
using launcher::Setting;

// A TOML basic string.
std::string quoted(std::string_view utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20 || u == 0x7F) {
            const char digits[] = "0123456789ABCDEF";
            out += "\\u00";
            out += digits[u >> 4];
            out += digits[u & 0xF];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string quotedBytes(std::string_view bytes) {
    return quoted(latin1ToUtf8(bytes));
}

std::string quotedList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + items[i];
    return out + "]";
}

// Prints the content table by table, taking each config string it expresses out of the
// remaining set; what is left at the end goes into comments.
class Printer {
public:
    explicit Printer(const BlockContent& content, std::string_view filesFolder)
        : content_(content), strings_(content.strings), filesFolder_(filesFolder) {}

    std::string run();

private:
    std::optional<std::string> take(Setting id) { return take(idOf(id)); }
    std::optional<std::string> take(int32_t id) {
        const auto it = strings_.find(id);
        if (it == strings_.end()) return std::nullopt;
        std::string value = std::move(it->second);
        strings_.erase(it);
        return value;
    }
    // Puts a value back when it cannot be expressed, so it ends in the comments.
    void keep(int32_t id, std::string value) { strings_[id] = std::move(value); }

    void line(const std::string& key, const std::string& value) {
        flush();
        out_ << key << " = " << value << "\n";
    }
    // A table's header is written with its first key, so that empty tables are left out;
    // force writes it at once (a table whose presence says something).
    void header(std::string_view name, bool force = false) {
        pending_ = "\n[" + std::string(name) + "]\n";
        if (force) flush();
    }
    void flush() {
        out_ << pending_;
        pending_.clear();
    }
    void text(std::string_view key, Setting id) {
        if (auto v = take(id)) line(std::string(key), quotedBytes(*v));
    }
    void flag(std::string_view key, Setting id) {
        if (auto v = take(id)) {
            if (*v == "1") {
                line(std::string(key), "true");
            } else {
                keep(idOf(id), *v);
            }
        }
    }
    // A number whose absent id means 0 and whose default (left out) is the given text.
    void number(std::string_view key, Setting id, std::string_view defaultText) {
        const auto v = take(id);
        if (!v) {
            line(std::string(key), "0");
        } else if (*v != defaultText) {
            const int32_t n = launcher::parseConfigInt(*v);
            if (std::to_string(n) == *v && n > 0) {
                line(std::string(key), *v);
            } else {
                keep(idOf(id), *v);
            }
        }
    }
    // A flag that is on by default: "1" is left out, an absent id is false.
    void defaultOnFlag(std::string_view key, Setting id) {
        const auto v = take(id);
        if (!v) {
            line(std::string(key), "false");
        } else if (*v != "1") {
            keep(idOf(id), *v);
        }
    }
    void commandLine(std::string_view key, int32_t id) {
        if (auto v = take(id)) line(std::string(key), commandLineValue(*v));
    }
    static std::string commandLineValue(const std::string& text) {
        const auto tokens = splitCommandLineBytes(text);
        if (joinCommandLine(tokens) != text) return quotedBytes(text);
        std::vector<std::string> items;
        for (const auto& token : tokens) items.push_back(quotedBytes(token));
        return quotedList(items);
    }
    void list(std::string_view key, Setting id, char separator) {
        auto v = take(id);
        if (!v) return;
        std::vector<std::string> items;
        size_t start = 0;
        while (start <= v->size()) {
            const size_t end = std::min(v->find(separator, start), v->size());
            items.push_back(quotedBytes(v->substr(start, end - start)));
            start = end + 1;
        }
        line(std::string(key), quotedList(items));
    }

    void service();
    void recovery();
    void java();
    void pathEntries(std::string_view key, Setting id);
    void launcherTable();
    void version();
    void splash();
    void messages();
    void files();
    void leftovers();

    const BlockContent& content_;
    std::map<int32_t, std::string> strings_;
    std::string_view filesFolder_;
    std::ostringstream out_;
    std::string pending_;
    std::string kind_;  // config 107
};

std::string Printer::run() {
    out_ << "# Launcher description printed by `pack inspect`; `pack build` makes the same block "
            "from it.\n";
    kind_ = take(Setting::LauncherKind).value_or("");
    service();
    java();
    launcherTable();
    version();
    splash();
    messages();
    files();
    leftovers();
    return out_.str();
}

void Printer::service() {
    header("service");
    text("name", Setting::ServiceName);
    const auto description = content_.wides.find(idOf(Message::ServiceDescription));
    if (description != content_.wides.end()) {
        std::string utf8;
        utf16ToUtf8(description->second, utf8);
        line("description", quoted(utf8));
    }
    const auto delayed = take(Setting::DelayedAutoStart);
    if (kind_ == "4") {
        line("start", delayed == "1" ? "\"delayed\"" : "\"auto\"");
        kind_.clear();
        if (delayed && *delayed != "1") keep(idOf(Setting::DelayedAutoStart), *delayed);
    } else if (delayed) {
        keep(idOf(Setting::DelayedAutoStart), *delayed);
    }
    list("dependencies", Setting::ServiceDependencies, ',');
    text("display_name", Setting::ServiceDisplayName);
    // A new launcher gets these two; a block without them stops as launchers did before.
    number("stop_timeout", Setting::StopTimeout, "30");
    defaultOnFlag("kill_child_with_host", Setting::KillChildWithHost);
    text("account", Setting::ServiceAccount);
    text("password_env", Setting::PasswordVariable);
    recovery();
}

void Printer::recovery() {
    auto actions = take(Setting::RecoveryActions);
    if (!actions) return;
    std::vector<std::string> items;
    for (size_t start = 0; start <= actions->size();) {
        const size_t end = std::min(actions->find(',', start), actions->size());
        items.push_back(quotedBytes(actions->substr(start, end - start)));
        start = end + 1;
    }
    header("service.recovery", true);
    line("actions", quotedList(items));
    number("delay", Setting::RecoveryDelay, "10");
    number("reset_after", Setting::RecoveryResetAfter, "86400");
    defaultOnFlag("on_error_exit", Setting::RecoveryOnErrorExit);
}

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
    // A launcher without a runtime jar is built again without one.
    if (!namesRuntimeJar(content_)) line("runtime_jar", "false");
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

void Printer::launcherTable() {
    header("launcher");
    if (auto marker = take(Setting::ProductMarker)) {
        if (*marker == "p") {
            line("family", "\"parcelkit\"");
        } else if (*marker != "l") {
            keep(idOf(Setting::ProductMarker), *marker);
        }
    }
    if (kind_ == "1") {
        line("windowed", "true");
    } else if (kind_ == "5") {
        line("errors", "\"message-box\"");
    } else if (!kind_.empty()) {
        keep(idOf(Setting::LauncherKind), kind_);
    }
    text("working_directory", Setting::WorkingDirectory);
    text("application_directory", Setting::ApplicationDirectory);
    list("native_library_directories", Setting::NativeLibraryDirectories, ';');
    flag("reduce_path", Setting::ReducePath);
    flag("add_dll_directories", Setting::AddDllDirectories);
    flag("single_instance", Setting::SingleInstance);
    const auto machine = take(Setting::SingleInstanceMachineWide);
    const auto session = take(Setting::SingleInstanceSession);
    if (machine == "1" && !session) {
        line("instance_scope", "\"machine\"");
    } else if (session == "1" && !machine) {
        line("instance_scope", "\"session\"");
    } else {
        if (machine) keep(idOf(Setting::SingleInstanceMachineWide), *machine);
        if (session) keep(idOf(Setting::SingleInstanceSession), *session);
    }
    flag("raise_other_instance", Setting::RaiseOtherInstance);
    flag("temp_prefer_long_paths", Setting::PreferLongTempPath);
    flag("temp_local_app_data_first", Setting::LocalAppDataTempFirst);
    for (const OutputFileIds& file : kOutputFiles) {
        const auto pass = take(file.pass);
        const auto path = take(file.path);
        if (pass == "1" && path) {
            line(std::string(file.key), quotedBytes(*path));
        } else {
            if (pass) keep(idOf(file.pass), *pass);
            if (path) keep(idOf(file.path), *path);
        }
    }
    flag("append_output", Setting::LauncherFlag);
    if (auto size = take(Setting::OutputRotateSize)) {
        const int32_t n = launcher::parseConfigInt(*size);
        if (std::to_string(n) == *size && n > 0) {
            line("output_rotate_size", quoted(byteSizeText(n)));
        } else {
            keep(idOf(Setting::OutputRotateSize), *size);
        }
        if (auto count = take(Setting::OutputKeep); count && *count != "5") {
            const int32_t k = launcher::parseConfigInt(*count);
            if (std::to_string(k) == *count && k > 0) {
                line("output_keep", *count);
            } else {
                keep(idOf(Setting::OutputKeep), *count);
            }
        }
    }
    if (!content_.resources.icon.empty()) line("icon", quoted(kIconFile));
}

void Printer::version() {
    header("version");
    for (const VersionText& text : content_.resources.version) {
        const auto key = std::find_if(std::begin(kVersionKeys), std::end(kVersionKeys),
                                      [&](const VersionKey& k) { return k.name == text.name; });
        std::string utf8;
        utf16ToUtf8(text.value, utf8);
        if (key == std::end(kVersionKeys)) {
            flush();
            out_ << "# version text " << text.name << " = " << quoted(utf8) << "\n";
        } else {
            line(std::string(key->key), quoted(utf8));
        }
    }
}

void Printer::splash() {
    auto enabled = take(Setting::SplashSettings);
    if (!enabled) return;
    if (*enabled != "1") {
        keep(idOf(Setting::SplashSettings), *enabled);
        return;
    }
    header("splash", true);
    flag("configured", Setting::SplashConfigured);
    size_t used = 0;
    for (size_t i = 0; i < std::size(kSplashGroups); ++i) {
        for (Setting id :
             {kSplashGroups[i].text, kSplashGroups[i].first, kSplashGroups[i].second}) {
            if (strings_.count(idOf(id)) != 0) used = i + 1;
        }
    }
    std::vector<std::string> groups;
    for (size_t i = 0; i < used; ++i) {
        std::string group;
        if (auto t = take(kSplashGroups[i].text)) group += "text = " + quotedBytes(*t);
        const std::pair<std::string_view, Setting> numbers[] = {
            {"first", kSplashGroups[i].first}, {"second", kSplashGroups[i].second}};
        for (const auto& [key, id] : numbers) {
            auto v = take(id);
            if (!v) continue;
            const int32_t n = launcher::parseConfigInt(*v);
            if (std::to_string(n) == *v && n != 0) {
                group += (group.empty() ? "" : ", ") + std::string(key) + " = " + *v;
            } else {
                keep(idOf(id), *v);
            }
        }
        groups.push_back("{ " + group + (group.empty() ? "}" : " }"));
    }
    if (!groups.empty()) line("groups", quotedList(groups));
}

void Printer::messages() {
    // The default language: only texts that differ from the built-in ones.
    std::vector<std::string> lines;
    for (const MessageText& m : messageTexts()) {
        if (m.id == Message::ServiceDescription) continue;
        const auto it = content_.wides.find(idOf(m.id));
        if (it == content_.wides.end()) continue;  // shows among the losses
        std::string utf8;
        utf16ToUtf8(it->second, utf8);
        if (utf8 != m.english) lines.push_back(std::string(m.key) + " = " + quoted(utf8));
    }
    if (!lines.empty()) {
        header("messages", true);
        for (const auto& l : lines) out_ << l << "\n";
    }
    for (const LanguageSection& section : content_.sections) {
        header("messages." + (section.key.empty() ? std::string("\"\"") : section.key), true);
        for (const auto& [id, text] : section.entries) {
            std::string utf8;
            utf16ToUtf8(text, utf8);
            const MessageText* info = nullptr;
            for (const MessageText& m : messageTexts()) {
                if (idOf(m.id) == id) info = &m;
            }
            out_ << (info ? std::string(info->key) : "message_" + std::to_string(id)) << " = "
                 << quoted(utf8) << "\n";
        }
    }
}

void Printer::files() {
    const auto count = take(Setting::IncludedFileCount);
    const auto names = take(Setting::IncludedFileNames);
    pending_.clear();
    if (!count && !names) return;
    const int32_t extracted = count ? launcher::parseConfigInt(*count) : 0;
    for (size_t i = 0; i < content_.files.size(); ++i) {
        const IncludedFile& file = content_.files[i];
        std::string name = latin1ToUtf8(file.name);
        std::replace(name.begin(), name.end(), '\\', '/');
        out_ << "\n[[files]]\n";
        line("name", quoted(name));
        line("source", quoted(std::string(filesFolder_) + "/" + name));
        if (static_cast<int32_t>(i) >= extracted) line("extract", "false");
        out_ << "# " << file.content.size() << " bytes\n";
    }
}

void Printer::leftovers() {
    pending_.clear();
    if (strings_.empty()) return;
    out_ << "\n# Config strings this description cannot express (`pack build` leaves them out):\n";
    for (const auto& [id, value] : strings_) {
        out_ << "# " << id << " = " << quotedBytes(value) << "\n";
    }
}

}  // namespace

bool readBlockContent(launcher::ByteSource& source, uint64_t start, BlockContent& content,
                      std::string& error) {
    launcher::BlockReader reader(source);
    reader.seek(start);
    content = {};
    const auto failed = [&](const std::string& what) {
        const std::wstring text = launcher::readFailureText(reader.failure());
        error = std::string(text.begin(), text.end());
        if (error.empty()) error = "cannot read";
        error += " (" + what + ")";
        return false;
    };
    int32_t magic = 0, a = 0, b = 0, n = 0;
    int64_t c = 0;
    if (!reader.readInt32(magic)) return failed("magic");
    if (static_cast<uint32_t>(magic) != launcher::kConfigMagic) {
        reader.failWith(launcher::ReadFailure::Magic);
        return failed("magic");
    }
    if (!reader.readInt32(a) || !reader.readInt32(b) || !reader.readInt64(c)) {
        return failed("reserved values");
    }
    if (!reader.readInt32(n)) return failed("number of config strings");
    for (int32_t i = 0; i < n; ++i) {
        int32_t id = 0;
        std::string value;
        if (!reader.readInt32(id) || !reader.readByteString(value)) return failed("config string");
        content.strings[id] = std::move(value);
    }
    const auto units = [](const std::wstring& w) {
        std::u16string out;
        for (wchar_t ch : w) out.push_back(static_cast<char16_t>(ch));
        return out;
    };
    if (!reader.readInt32(n)) return failed("number of wide strings");
    for (int32_t i = 0; i < n; ++i) {
        int32_t id = 0;
        std::wstring value;
        if (!reader.readInt32(id) || !reader.readWideString(value)) return failed("wide string");
        content.wides[id] = units(value);
    }
    if (!reader.readInt32(n)) return failed("number of language sections");
    for (int32_t i = 0; i < n; ++i) {
        LanguageSection section;
        int32_t entries = 0;
        if (!reader.readByteString(section.key) || !reader.readInt32(entries)) {
            return failed("language section");
        }
        for (int32_t j = 0; j < entries; ++j) {
            int32_t id = 0;
            std::wstring value;
            if (!reader.readInt32(id) || !reader.readWideString(value)) {
                return failed("language section entry");
            }
            section.entries.emplace_back(id, units(value));
        }
        content.sections.push_back(std::move(section));
    }
    const auto countText = content.strings.find(idOf(Setting::IncludedFileCount));
    const auto namesText = content.strings.find(idOf(Setting::IncludedFileNames));
    const int64_t extracted =
        countText == content.strings.end() ? 0 : launcher::parseConfigInt(countText->second);
    const std::vector<std::string> names = namesText == content.strings.end()
                                               ? std::vector<std::string>()
                                               : launcher::includedFileNames(namesText->second);
    for (size_t i = 0; i < names.size(); ++i) {
        const bool extract = static_cast<int64_t>(i) < extracted;
        const uint64_t at = reader.position();
        const uint64_t left = at < source.size() ? source.size() - at : 0;
        if (!extract && left < 8) break;  // the launcher never reads these
        int64_t size = 0;
        if (!reader.readInt64(size)) return failed("size of included file " + names[i]);
        const uint64_t available = left - 8;
        const uint64_t wanted = size > 0 ? static_cast<uint64_t>(size) : 0;
        if (wanted > available) {
            if (!extract) break;
            error = "included file " + names[i] + " needs " + std::to_string(size) +
                    " bytes but only " + std::to_string(available) + " are left";
            return false;
        }
        IncludedFile file;
        file.name = names[i];
        file.content.resize(static_cast<size_t>(wanted));
        uint32_t code = 0;
        if (reader.readBytes(file.content.data(), file.content.size(), code) !=
            file.content.size()) {
            error = "cannot read included file " + names[i];
            return false;
        }
        for (uint8_t& byte : file.content) byte ^= launcher::kIncludedFileXor;
        content.files.push_back(std::move(file));
    }
    return true;
}

bool readLauncherContent(launcher::ByteSource& image, BlockContent& content, std::string& error) {
    launcher::BlockReader reader(image);
    if (!launcher::seekConfigBlock(reader)) {
        const std::wstring text = launcher::readFailureText(reader.failure());
        error = std::string(text.begin(), text.end()) +
                " (locating the block through the PE "
                "headers)";
        return false;
    }
    if (reader.position() >= image.size()) {
        error = "no configuration block was appended to this image";
        return false;
    }
    if (!readBlockContent(image, reader.position(), content, error)) return false;
    if (!readImageResources(image, content.resources, error)) {
        error = "resources: " + error;
        return false;
    }
    return true;
}

BlockContent contentOf(const BlockWriter& writer) {
    launcher::MemorySource source(writer.build());
    BlockContent content;
    std::string ignored;
    readBlockContent(source, 0, content, ignored);
    return content;
}

std::string printToml(const BlockContent& content, std::string_view filesFolder) {
    return Printer(content, filesFolder).run();
}

std::vector<std::string> contentDifferences(const BlockContent& expected,
                                            const BlockContent& actual) {
    std::vector<std::string> lines;
    const auto show = [](const std::optional<std::string>& v) {
        return v ? quotedBytes(*v) : std::string("(none)");
    };
    std::set<int32_t> ids;
    for (const auto* m : {&expected.strings, &actual.strings}) {
        for (const auto& [id, v] : *m) ids.insert(id);
    }
    for (int32_t id : ids) {
        const auto e = expected.strings.find(id), a = actual.strings.find(id);
        const std::optional<std::string> ev =
            e == expected.strings.end() ? std::nullopt : std::optional(e->second);
        const std::optional<std::string> av =
            a == actual.strings.end() ? std::nullopt : std::optional(a->second);
        if (ev != av) {
            lines.push_back("config string " + std::to_string(id) + ": " + show(ev) + " becomes " +
                            show(av));
        }
    }
    if (expected.wides != actual.wides) lines.push_back("the default-language messages differ");
    if (expected.resources.icon != actual.resources.icon) lines.push_back("the icon differs");
    if (expected.resources.version != actual.resources.version) {
        lines.push_back("the version information differs");
    }
    if (expected.sections.size() != actual.sections.size()) {
        lines.push_back("the number of language sections differs");
    } else {
        for (size_t i = 0; i < expected.sections.size(); ++i) {
            if (expected.sections[i].key != actual.sections[i].key ||
                expected.sections[i].entries != actual.sections[i].entries) {
                lines.push_back("language section " + expected.sections[i].key + " differs");
            }
        }
    }
    if (expected.files.size() != actual.files.size()) {
        lines.push_back("the number of included files differs");
    } else {
        for (size_t i = 0; i < expected.files.size(); ++i) {
            if (expected.files[i].name != actual.files[i].name ||
                expected.files[i].content != actual.files[i].content) {
                lines.push_back("included file " + expected.files[i].name + " differs");
            }
        }
    }
    return lines;
}

std::vector<std::string> roundTripLosses(const BlockContent& content) {
    const std::string text = printToml(content, "files");
    // The printed sources name the files under "files/"; serve them from the content.
    const FileLoader fromContent = [&](const std::string& path, std::vector<uint8_t>& data,
                                       std::string& error) {
        if (path == kIconFile && !content.resources.icon.empty()) {
            data = icoFileBytes(content.resources.icon);
            return true;
        }
        for (const IncludedFile& file : content.files) {
            std::string name = latin1ToUtf8(file.name);
            std::replace(name.begin(), name.end(), '\\', '/');
            if (path == "files/" + name) {
                data = file.content;
                return true;
            }
        }
        error = "no such included file";
        return false;
    };
    const TomlBuild rebuilt = buildFromToml(text, "inspect", "", fromContent,
                                            [](const std::string&) { return std::nullopt; });
    if (!rebuilt.writer) {
        std::vector<std::string> lines;
        for (const auto& d : rebuilt.errors) lines.push_back(formatDiagnostic("printed", d));
        return lines;
    }
    BlockContent again = contentOf(*rebuilt.writer);
    again.resources = rebuilt.resources;
    return contentDifferences(content, again);
}

}  // namespace pack
