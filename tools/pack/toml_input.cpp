// Reading the launcher description: TOML checked key by key and turned into the config strings,
// messages and included files of a configuration block (docs/pack.md documents every key). Here
// are the shared look-ups, the order of the tables and the entry that catches every exception;
// each table has a file of its own.
#include "toml_reader.h"

#include <algorithm>
#include <cctype>
#include <exception>

#include "toml_prepare.h"
#include "value_text.h"

namespace pack {

namespace reading {

std::string typeName(const toml::node& node) {
    switch (node.type()) {
        case toml::node_type::string:
            return "a string";
        case toml::node_type::integer:
            return "an integer";
        case toml::node_type::floating_point:
            return "a number";
        case toml::node_type::boolean:
            return "a boolean";
        case toml::node_type::array:
            return "a list";
        case toml::node_type::table:
            return "a table";
        default:
            return "a date or time";
    }
}

void Reader::onlyKeys(const toml::table& t, const std::string& prefix,
                      std::span<const std::string_view> known) {
    for (const auto& [key, value] : t) {
        if (std::find(known.begin(), known.end(), key.str()) != known.end()) continue;
        // A key of another table (not of a list's entries): say where it belongs.
        std::string tables;
        for (const TableKeys& table : kTableKeys) {
            if (std::find(table.keys.begin(), table.keys.end(), key.str()) == table.keys.end()) {
                continue;
            }
            tables += (tables.empty() ? "[" : " or [") + std::string(table.table) + "]";
        }
        if (!tables.empty() && prefix.find('[') == std::string::npos) {
            error(key.source(), prefix + std::string(key.str()),
                  "belongs in " + tables + ", not " +
                      (prefix.empty() ? std::string("before the first table")
                                      : "in [" + prefix.substr(0, prefix.size() - 1) + "]"));
            continue;
        }
        std::string list;
        for (std::string_view k : known) list += (list.empty() ? "" : ", ") + std::string(k);
        error(key.source(), prefix + std::string(key.str()),
              "unknown key; " +
                  (prefix.empty() ? std::string("the description has ")
                                  : "[" + prefix.substr(0, prefix.size() - 1) + "] knows ") +
                  list);
    }
}

std::optional<std::string> Reader::string(const toml::table* t, const std::string& prefix,
                                          std::string_view key) {
    const toml::node* n = node(t, key);
    if (n == nullptr) return std::nullopt;
    if (const auto* s = n->as_string()) return s->get();
    error(*n, prefix + std::string(key), "expected a string, found " + typeName(*n));
    return std::nullopt;
}

std::optional<bool> Reader::flag(const toml::table* t, const std::string& prefix,
                                 std::string_view key) {
    const toml::node* n = node(t, key);
    if (n == nullptr) return std::nullopt;
    if (const auto* b = n->as_boolean()) return b->get();
    error(*n, prefix + std::string(key), "expected true or false, found " + typeName(*n));
    return std::nullopt;
}

std::optional<int64_t> Reader::integer(const toml::table* t, const std::string& prefix,
                                       std::string_view key, int64_t low, int64_t high) {
    const toml::node* n = node(t, key);
    if (n == nullptr) return std::nullopt;
    const auto* v = n->as_integer();
    if (v == nullptr) {
        error(*n, prefix + std::string(key), "expected an integer, found " + typeName(*n));
        return std::nullopt;
    }
    if (v->get() < low || v->get() > high) {
        error(*n, prefix + std::string(key),
              "is " + std::to_string(v->get()) + "; write a number from " + std::to_string(low) +
                  " to " + std::to_string(high));
        return std::nullopt;
    }
    return v->get();
}

const toml::table* Reader::table(const toml::table* t, const std::string& prefix,
                                 std::string_view key) {
    const toml::node* n = node(t, key);
    if (n == nullptr) return nullptr;
    if (const auto* tt = n->as_table()) return tt;
    error(*n, prefix + std::string(key), "expected a table, found " + typeName(*n));
    return nullptr;
}

const toml::array* Reader::list(const toml::table* t, const std::string& prefix,
                                std::string_view key) {
    const toml::node* n = node(t, key);
    if (n == nullptr) return nullptr;
    if (const auto* a = n->as_array()) return a;
    error(*n, prefix + std::string(key), "expected a list, found " + typeName(*n));
    return nullptr;
}

std::optional<std::string> Reader::choice(const toml::table* t, const std::string& prefix,
                                          std::string_view key,
                                          std::initializer_list<std::string_view> choices) {
    const auto value = string(t, prefix, key);
    if (!value) return std::nullopt;
    if (std::find(choices.begin(), choices.end(), *value) != choices.end()) return value;
    std::string list;
    for (size_t i = 0; i < choices.size(); ++i) {
        list += std::string(i == 0                    ? ""
                            : i + 1 == choices.size() ? " or "
                                                      : ", ") +
                "\"" + std::string(choices.begin()[i]) + "\"";
    }
    error(*node(t, key), prefix + std::string(key),
          "\"" + *value + "\" is not allowed here; write " + list);
    return std::nullopt;
}

bool Reader::narrow(const toml::node& at, const std::string& key, std::string_view text,
                    size_t limit, std::string& out) {
    std::string bad;
    if (!utf8ToLatin1(text, out, bad)) {
        error(at, key,
              "holds " + bad +
                  ", which the launcher cannot read here: this setting is read as single bytes "
                  "(Latin-1 characters only)");
        return false;
    }
    if (out.find('\0') != std::string::npos) {
        error(at, key, "holds a NUL character, which would end the value early");
        return false;
    }
    if (out.size() > limit) {
        error(at, key,
              "is " + std::to_string(out.size()) + " characters long; the launcher reads at most " +
                  std::to_string(limit));
        return false;
    }
    return true;
}

namespace {

// The launcher's own variables; any other ${NAME} is the environment variable NAME.
constexpr std::string_view kLauncherVariables[] = {
    "LUMEX_EXEDIR",
    "PARCELKIT_EXEDIR",
    "LUMEX_TEMPDIR",
    "PARCELKIT_TEMPDIR",
    "LUMEX_PATHLIST_SEPARATOR",
    "PARCELKIT_PATHLIST_SEPARATOR",
    "LUMEX_JVM_HOME",
    "PARCELKIT_JVM_HOME",
    "launcher:sys.launcherDirectory",
    "launcher:sys.launcherTempDirectory",
    "launcher:sys.pathlistSeparator",
    "launcher:sys.jvmHome",
    "launcher:sys.tempDir",
};

bool startsWithFolded(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

}  // namespace

bool Reader::variables(const toml::node& at, const std::string& key, std::string_view bytes) {
    for (size_t open = bytes.find("${"); open != std::string_view::npos;
         open = bytes.find("${", open + 2)) {
        const size_t close = bytes.find('}', open + 2);
        if (close == std::string_view::npos) {
            error(at, key,
                  "holds \"" + std::string(bytes.substr(open, 20)) +
                      "\" without its closing '}'; write ${NAME}");
            return false;
        }
        const std::string_view name = bytes.substr(open + 2, close - open - 2);
        const bool ours = startsWithFolded(name, "LUMEX_") ||
                          startsWithFolded(name, "PARCELKIT_") ||
                          startsWithFolded(name, "launcher:");
        if (name.empty() ||
            (ours && std::find(std::begin(kLauncherVariables), std::end(kLauncherVariables),
                               name) == std::end(kLauncherVariables))) {
            error(at, key,
                  "holds ${" + std::string(name) +
                      "}, which is no variable of the launcher; it knows ${LUMEX_EXEDIR}, "
                      "${LUMEX_TEMPDIR}, ${LUMEX_JVM_HOME} and ${LUMEX_PATHLIST_SEPARATOR}, and "
                      "${NAME} for the environment variable NAME");
            return false;
        }
    }
    return true;
}

void Reader::textSetting(const toml::table* t, const std::string& prefix, std::string_view key,
                         Setting id, size_t limit) {
    const auto value = string(t, prefix, key);
    std::string bytes;
    if (value && narrow(*node(t, key), prefix + std::string(key), *value, limit, bytes)) {
        if (bytes.empty()) {
            error(*node(t, key), prefix + std::string(key), "is empty; leave the key out instead");
            return;
        }
        // The launcher's paths and files take variables.
        if (prefix == "launcher." && !variables(*node(t, key), prefix + std::string(key), bytes)) {
            return;
        }
        put(id, bytes);
    }
}

void Reader::flagSetting(const toml::table* t, const std::string& prefix, std::string_view key,
                         Setting id) {
    if (flag(t, prefix, key).value_or(false)) put(id, "1");
}

std::optional<std::string> Reader::commandLine(const toml::node& value, const std::string& key) {
    std::string text;
    if (const auto* s = value.as_string()) {
        if (!narrow(value, key, s->get(), SIZE_MAX, text) || !variables(value, key, text)) {
            return std::nullopt;
        }
        return text;
    }
    const auto* a = value.as_array();
    if (a == nullptr) {
        error(value, key, "expected a list of strings, found " + typeName(value));
        return std::nullopt;
    }
    std::vector<std::string> tokens;
    bool ok = true;
    for (size_t i = 0; i < a->size(); ++i) {
        const toml::node& item = *a->get(i);
        const std::string itemKey = key + "[" + std::to_string(i) + "]";
        std::string token;
        if (const auto* s = item.as_string()) {
            ok = narrow(item, itemKey, s->get(), SIZE_MAX, token) &&
                 variables(item, itemKey, token) && ok;
        } else {
            error(item, itemKey, "expected a string, found " + typeName(item));
            ok = false;
        }
        tokens.push_back(std::move(token));
    }
    if (!ok) return std::nullopt;
    return joinCommandLine(tokens);
}

void Reader::commandLineSetting(const toml::table* t, const std::string& prefix,
                                std::string_view key, int32_t id) {
    const toml::node* n = node(t, key);
    if (n == nullptr) return;
    const auto text = commandLine(*n, prefix + std::string(key));
    if (text && !text->empty()) strings_[id] = *text;
}

void Reader::listSetting(const toml::table* t, const std::string& prefix, std::string_view key,
                         Setting id, char separator, std::string_view forbidden, size_t limit) {
    const toml::array* a = list(t, prefix, key);
    if (a == nullptr) return;
    std::string joined;
    bool ok = true;
    for (size_t i = 0; i < a->size(); ++i) {
        const toml::node& item = *a->get(i);
        const std::string itemKey = prefix + std::string(key) + "[" + std::to_string(i) + "]";
        std::string bytes;
        const auto* s = item.as_string();
        if (s == nullptr) {
            error(item, itemKey, "expected a string, found " + typeName(item));
            ok = false;
            continue;
        }
        if (!narrow(item, itemKey, s->get(), limit, bytes) ||
            (prefix == "launcher." && !variables(item, itemKey, bytes))) {
            ok = false;
            continue;
        }
        const size_t bad = bytes.find_first_of(forbidden);
        if (bytes.empty() || bad != std::string::npos) {
            error(item, itemKey,
                  bytes.empty() ? std::string("is empty")
                                : "holds '" + std::string(1, bytes[bad]) +
                                      "', which the launcher reads as a separator or cannot use "
                                      "in this list");
            ok = false;
            continue;
        }
        if (!joined.empty()) joined += separator;
        joined += bytes;
    }
    if (!ok) return;
    if (joined.size() > limit) {
        error(*node(t, key), prefix + std::string(key),
              "joined, the list is " + std::to_string(joined.size()) +
                  " characters long; the launcher reads at most " + std::to_string(limit));
        return;
    }
    if (!joined.empty()) put(id, joined);
}

void Reader::run(const toml::table& root) {
    onlyKeys(root, "", {"service", "java", "launcher", "version", "splash", "messages", "files"});
    service(table(&root, "", "service"));
    java(table(&root, "", "java"));
    launcherTable(table(&root, "", "launcher"));
    launcherKind();
    version(table(&root, "", "version"));
    splash(table(&root, "", "splash"));
    messages(table(&root, "", "messages"));
    if (root.get("files") != nullptr && root.get("files")->is_table()) {
        error(*root.get("files"), "files", "write each included file as a [[files]] table");
    } else {
        files(list(&root, "", "files"));
    }
}

TomlBuild Reader::finish() {
    TomlBuild result;
    result.errors = std::move(errors_);
    result.runtimeJar = runtimeJar_;
    if (!result.errors.empty()) return result;
    result.resources = std::move(resources_);
    BlockWriter writer;
    for (const auto& [id, value] : strings_) writer.string(id, value);
    for (const auto& [id, value] : wides_) writer.wide(id, value);
    if (description_) writer.wide(idOf(Message::ServiceDescription), *description_);
    for (auto& section : sections_) writer.section(std::move(section));
    for (auto& file : files_) writer.file(std::move(file));
    result.writer = std::move(writer);
    return result;
}

}  // namespace reading

std::string formatDiagnostic(std::string_view source, const Diagnostic& d) {
    std::string text(source);
    if (d.line > 0) text += ":" + std::to_string(d.line) + ":" + std::to_string(d.column);
    text += ": ";
    if (!d.key.empty()) text += d.key + ": ";
    return text + d.message;
}

TomlBuild buildFromToml(std::string_view text, const std::string& sourceName,
                        const std::string& baseDir, const FileLoader& load, const FileSizer& size) {
    if (text.size() > kMaxDescriptionSize) {
        TomlBuild result;
        result.errors.push_back({0, 0, "",
                                 "the description is " + std::to_string(text.size()) +
                                     " bytes long; the tool reads at most " +
                                     std::to_string(kMaxDescriptionSize)});
        return result;
    }
    reading::Prepared prepared;
    Diagnostic problem;
    if (!reading::prepareForToml(text, prepared, problem)) {
        TomlBuild result;
        result.errors.push_back(problem);
        return result;
    }
    try {
        const toml::table root = toml::parse(prepared.text, sourceName);
        reading::Reader reader(baseDir, load, size);
        reader.run(root);
        TomlBuild result = reader.finish();
        for (Diagnostic& d : result.errors) d.column = prepared.originalColumn(d.line, d.column);
        // In the order of the text (what concerns the whole file first), not of the checks.
        std::stable_sort(result.errors.begin(), result.errors.end(),
                         [](const Diagnostic& a, const Diagnostic& b) {
                             return std::pair(a.line, a.column) < std::pair(b.line, b.column);
                         });
        return result;
    } catch (const toml::parse_error& e) {
        TomlBuild result;
        const int line = static_cast<int>(e.source().begin.line);
        std::string message(e.description());
        if (message.find("escape sequence") != std::string::npos) {
            // Mostly a Windows path in double quotes, where '\' starts an escape.
            message +=
                "; in \"double quotes\" write each '\\' of a path as '\\\\', or write "
                "the path in 'single quotes', which take it as it stands";
        }
        result.errors.push_back(
            {line, prepared.originalColumn(line, static_cast<int>(e.source().begin.column)), "",
             message});
        return result;
    } catch (const std::exception& e) {
        TomlBuild result;
        result.errors.push_back(
            {0, 0, "", std::string("this is no valid TOML (") + e.what() + " failed)"});
        return result;
    }
}

}  // namespace pack
