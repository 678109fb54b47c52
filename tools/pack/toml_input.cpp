// Reading the launcher description: TOML (toml++, header-only, with exceptions, all caught
// here) checked key by key and turned into the config strings, messages and included files of
// a configuration block. docs/pack.md documents every key.
#include <stdexcept>

// toml++ 3.3 checks its own preconditions with assertions, and one of them fails on malformed
// table headers such as "[[[1]]]" (fixed upstream later); without NDEBUG that aborts, with it
// the check becomes an optimizer assumption. Here every check throws, and is reported as a
// malformed description.
#ifdef NDEBUG
#define PACK_TOML_NDEBUG
#undef NDEBUG
#endif
#define TOML_ASSERT(expr) \
    ((expr) ? static_cast<void>(0) : throw std::logic_error("the TOML reader's check " #expr))
#include <toml++/toml.h>
#ifdef PACK_TOML_NDEBUG
#define NDEBUG
#endif

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <set>
#include <system_error>

#include "common/limits.h"
#include "config/settings.h"
#include "launcher_toml.h"
#include "toml_keys.h"
#include "value_text.h"

namespace pack {

namespace {

using launcher::idOf;
using launcher::Message;
using launcher::Setting;

// Values read into 6000-element buffers must leave room for the terminating NUL.
constexpr size_t kTextLimit = launcher::kBufferLength - 1;
constexpr size_t kVersionLimit = 1999;     // min and max version, splash texts: 2000 bytes
constexpr size_t kVariantLimit = 199;      // JVM variant: 200 bytes
constexpr size_t kServiceNameLimit = 256;  // the Service Control Manager's limit
constexpr size_t kFileNameLimit = 200;     // below the temp folder, inside a 6000-byte path
constexpr size_t kMaxVersionLines = 1000;
constexpr int64_t kDefaultStopTimeout = 30;    // seconds, written when the key is absent
constexpr int64_t kMaxStopTimeout = 86400;     // a day, as the launcher bounds it
constexpr int64_t kDefaultRecoveryDelay = 10;  // seconds before a restart
constexpr int64_t kDefaultResetAfter = 86400;  // seconds without a failure
constexpr int64_t kMaxFailureActions = 16;     // as the launcher reads them
constexpr int64_t kMinRotateSize = 1024;       // bytes
constexpr int64_t kMaxRotateSize = INT32_MAX;  // the launcher reads a 32-bit number
constexpr int64_t kDefaultOutputKeep = 5;
constexpr int64_t kMaxOutputKeep = 1000;

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

// toml++ 3.3's test for blanks beyond ASCII runs into an unreachable branch (undefined
// behaviour) for whole ranges of characters, and its parser asks that test in states that no
// outside pass can foresee (after "+", in keys, behind backslashes). So toml++ is given ASCII
// only: before parsing, characters beyond ASCII in strings become \u escapes, those in comments
// become "?", and every other one is refused (TOML allows none outside strings and comments), as
// is text that is no well-formed UTF-8. A 'literal string' has no escapes, so it is handed on as
// the "basic string" of the same value (its backslashes and double quotes escaped). Whatever
// toml++ takes the text for, it never meets a byte it mishandles. Escaping lengthens a line; the
// shifts are kept to give positions of the original text back.

struct Prepared {
    std::string text;
    // Per line (from 1): (column in the prepared text from which, extra columns before it).
    std::map<int, std::vector<std::pair<int, int>>> shifts;

    int originalColumn(int line, int column) const {
        const auto it = shifts.find(line);
        if (it == shifts.end()) return column;
        int extra = 0;
        for (const auto& [from, shift] : it->second) {
            if (column >= from) extra = shift;
        }
        return column - extra;
    }
};

bool prepareForToml(std::string_view in, Prepared& out, Diagnostic& problem) {
    enum class State { Normal, Comment, Basic, MultiBasic, Literal, MultiLiteral };
    State state = State::Normal;
    int line = 1, column = 1, extra = 0;
    size_t i = in.starts_with("\xEF\xBB\xBF") ? 3 : 0;  // a byte order mark
    const auto fail = [&](const std::string& text) {
        problem = {line, column, "", text};
        return false;
    };
    const auto quotes = [&](char q) {
        size_t n = 0;
        while (i + n < in.size() && in[i + n] == q) ++n;
        return n;
    };
    // Writes text for one character of the original; what is longer shifts later columns.
    const auto emitFor = [&](const std::string& text) {
        out.text += text;
        if (text.size() > 1) {
            extra += static_cast<int>(text.size()) - 1;
            out.shifts[line].emplace_back(column + extra, extra);
        }
    };
    while (i < in.size()) {
        const auto b = static_cast<unsigned char>(in[i]);
        if (b == '\n') {
            out.text += '\n';
            ++i;
            ++line;
            column = 1;
            extra = 0;
            if (state == State::Comment || state == State::Basic || state == State::Literal) {
                state = State::Normal;
            }
            continue;
        }
        if (b >= 0x80) {
            uint32_t c = 0;
            size_t n = 0;
            if (!decodeUtf8One(in, i, c, n)) {
                const char digits[] = "0123456789ABCDEF";
                return fail(std::string("the byte 0x") + digits[b >> 4] + digits[b & 0xF] +
                            " is no UTF-8; save the description as UTF-8");
            }
            switch (state) {
                case State::Normal:
                    return fail("the character " + codePointName(c) +
                                " stands outside a string; write text in \"quotes\"");
                case State::Comment:
                    out.text += '?';
                    break;
                case State::Literal:
                case State::MultiLiteral:
                case State::Basic:
                case State::MultiBasic:
                    emitFor((c > 0xFFFF ? "\\U00" : "\\u") + codePointName(c).substr(2));
                    break;
            }
            i += n;
            ++column;
            continue;
        }
        const char ch = static_cast<char>(b);
        switch (state) {
            case State::Normal:
                if (ch == '#') state = State::Comment;
                if (ch == '"' || ch == '\'') {
                    const size_t n = std::min<size_t>(quotes(ch), 3);
                    const bool multi = n == 3;
                    if (n == 2) {  // an empty string
                        out.text.append(2, '"');
                        i += 2;
                        column += 2;
                        continue;
                    }
                    state = ch == '"' ? (multi ? State::MultiBasic : State::Basic)
                                      : (multi ? State::MultiLiteral : State::Literal);
                    out.text.append(n, '"');
                    i += n;
                    column += static_cast<int>(n);
                    continue;
                }
                break;
            case State::Basic:
            case State::MultiBasic:
                if (ch == '\\' && i + 1 < in.size()) {
                    const auto next = static_cast<unsigned char>(in[i + 1]);
                    if (next >= 0x80) {
                        ++column;
                        return fail("a backslash starts an escape such as \\n or \\u00E9");
                    }
                    if (next != '\n') {
                        out.text += in.substr(i, 2);
                        i += 2;
                        column += 2;
                        continue;
                    }
                }
                [[fallthrough]];
            case State::Literal:
            case State::MultiLiteral: {
                const bool literal = state == State::Literal || state == State::MultiLiteral;
                if (literal && (ch == '\\' || ch == '"')) {
                    // Literal text that a basic string must escape.
                    emitFor(std::string("\\") + ch);
                    ++i;
                    ++column;
                    continue;
                }
                const char q = literal ? '\'' : '"';
                if (ch != q) break;
                const size_t n = quotes(q);
                const bool multi = state == State::MultiBasic || state == State::MultiLiteral;
                const bool closes = !multi || n >= 3;
                if (closes) state = State::Normal;
                const size_t take = multi ? n : 1;
                if (literal && closes) {
                    // Quotes before the closing ones are text, which needs no escape.
                    const size_t closing = multi ? 3 : 1;
                    out.text.append(take - closing, '\'');
                    out.text.append(closing, '"');
                } else {
                    out.text.append(take, q);
                }
                i += take;
                column += static_cast<int>(take);
                continue;
            }
            case State::Comment:
                break;
        }
        out.text += ch;
        ++i;
        ++column;
    }
    return true;
}

class Reader {
public:
    Reader(const std::string& baseDir, const FileLoader& load) : baseDir_(baseDir), load_(load) {}

    void run(const toml::table& root);
    TomlBuild finish();

private:
    // Findings.
    void error(const toml::source_region& at, const std::string& key, const std::string& text) {
        errors_.push_back(
            {static_cast<int>(at.begin.line), static_cast<int>(at.begin.column), key, text});
    }
    void error(const toml::node& at, const std::string& key, const std::string& text) {
        error(at.source(), key, text);
    }

    // Every key of t must be one of known; reports the others.
    void onlyKeys(const toml::table& t, const std::string& prefix,
                  std::initializer_list<std::string_view> known);

    // Typed look-ups: nothing when the key is absent; a wrong type is reported.
    const toml::node* node(const toml::table* t, std::string_view key) const {
        return t == nullptr ? nullptr : t->get(key);
    }
    std::optional<std::string> string(const toml::table* t, const std::string& prefix,
                                      std::string_view key);
    std::optional<bool> flag(const toml::table* t, const std::string& prefix, std::string_view key);
    // An integer from low to high; nothing when absent or reported.
    std::optional<int64_t> integer(const toml::table* t, const std::string& prefix,
                                   std::string_view key, int64_t low, int64_t high);
    const toml::table* table(const toml::table* t, const std::string& prefix, std::string_view key);
    const toml::array* list(const toml::table* t, const std::string& prefix, std::string_view key);
    // One of choices, or nothing (absent or reported).
    std::optional<std::string> choice(const toml::table* t, const std::string& prefix,
                                      std::string_view key,
                                      std::initializer_list<std::string_view> choices);

    // A text as the launcher's bytes, at most limit of them; reports and returns false.
    bool narrow(const toml::node& at, const std::string& key, std::string_view text, size_t limit,
                std::string& out);
    // Writes a narrow text setting when the key is present.
    void textSetting(const toml::table* t, const std::string& prefix, std::string_view key,
                     Setting id, size_t limit = kTextLimit);
    void flagSetting(const toml::table* t, const std::string& prefix, std::string_view key,
                     Setting id);
    // A list of texts (or one text, taken as it stands) as a command line.
    std::optional<std::string> commandLine(const toml::node& value, const std::string& key);
    void commandLineSetting(const toml::table* t, const std::string& prefix, std::string_view key,
                            int32_t id);
    // A list of names joined by separator; none of them may hold forbidden characters.
    void listSetting(const toml::table* t, const std::string& prefix, std::string_view key,
                     Setting id, char separator, std::string_view forbidden, size_t limit);

    void service(const toml::table* t);
    void serviceOperation(const toml::table* t);
    void recovery(const toml::table* t);
    void outputRotation(const toml::table* t);
    void java(const toml::table* t);
    void pathEntries(const toml::table* t, std::string_view key, Setting id);
    void versions(const toml::table* t);
    void search(const toml::table* t);
    void versionLines(const toml::table* t);
    void launcherTable(const toml::table* t);
    void launcherKind();
    void splash(const toml::table* t);
    void messages(const toml::table* t);
    bool messageValue(const toml::node& value, const std::string& key, const MessageText& info,
                      std::u16string& out);
    void files(const toml::array* list);

    void put(Setting id, std::string value) { strings_[idOf(id)] = std::move(value); }

    const std::string& baseDir_;
    const FileLoader& load_;
    std::vector<Diagnostic> errors_;
    std::map<int32_t, std::string> strings_;
    std::vector<std::pair<int32_t, std::u16string>> wides_;
    std::vector<LanguageSection> sections_;
    std::vector<IncludedFile> files_;
    std::optional<std::u16string> description_;
    // The launcher kind (config 107) comes from three keys in two tables.
    std::string start_ = "demand";
    std::optional<std::string> errorsShown_;
    bool windowed_ = false;
    const toml::node* errorsNode_ = nullptr;
    const toml::node* windowedNode_ = nullptr;
    const toml::node* startNode_ = nullptr;
    bool runtimeJar_ = true;
};

void Reader::onlyKeys(const toml::table& t, const std::string& prefix,
                      std::initializer_list<std::string_view> known) {
    for (const auto& [key, value] : t) {
        if (std::find(known.begin(), known.end(), key.str()) != known.end()) continue;
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

void Reader::textSetting(const toml::table* t, const std::string& prefix, std::string_view key,
                         Setting id, size_t limit) {
    const auto value = string(t, prefix, key);
    std::string bytes;
    if (value && narrow(*node(t, key), prefix + std::string(key), *value, limit, bytes)) {
        if (bytes.empty()) {
            error(*node(t, key), prefix + std::string(key), "is empty; leave the key out instead");
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
        if (!narrow(value, key, s->get(), SIZE_MAX, text)) return std::nullopt;
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
            ok = narrow(item, itemKey, s->get(), SIZE_MAX, token) && ok;
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
        if (!narrow(item, itemKey, s->get(), limit, bytes)) {
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
    onlyKeys(root, "", {"service", "java", "launcher", "splash", "messages", "files"});
    service(table(&root, "", "service"));
    java(table(&root, "", "java"));
    launcherTable(table(&root, "", "launcher"));
    launcherKind();
    splash(table(&root, "", "splash"));
    messages(table(&root, "", "messages"));
    if (root.get("files") != nullptr && root.get("files")->is_table()) {
        error(*root.get("files"), "files", "write each included file as a [[files]] table");
    } else {
        files(list(&root, "", "files"));
    }
}

void Reader::service(const toml::table* t) {
    const std::string p = "service.";
    if (t == nullptr) {
        errors_.push_back({0, 0, "service",
                           "missing; the description needs a [service] table "
                           "with the service's name"});
        return;
    }
    onlyKeys(*t, p,
             {"name", "description", "start", "dependencies", "display_name", "stop_timeout",
              "kill_child_with_host", "account", "password_env", "recovery"});
    if (t->get("name") == nullptr) {
        error(*t, p + "name", "missing; name the service the launcher installs and runs");
    } else if (const auto name = string(t, p, "name")) {
        std::string bytes;
        if (narrow(*t->get("name"), p + "name", *name, kServiceNameLimit, bytes)) {
            if (bytes.empty() || bytes.find_first_of("/\\") != std::string::npos) {
                error(*t->get("name"), p + "name",
                      "a service name is not empty and holds no '/' or '\\'");
            } else {
                put(Setting::ServiceName, bytes);
            }
        }
    }
    if (const auto description = string(t, p, "description")) {
        std::u16string wide;
        if (messageValue(*t->get("description"), p + "description",
                         *messageText("service_description"), wide)) {
            description_ = wide;
        }
    }
    startNode_ = node(t, "start");
    if (const auto start = choice(t, p, "start", {"auto", "demand", "delayed"})) start_ = *start;
    listSetting(t, p, "dependencies", Setting::ServiceDependencies, ',', ",/\\", kTextLimit);
    serviceOperation(t);
    recovery(table(t, p, "recovery"));
}

// How the service is stopped and whom it runs as. A new launcher gets a bounded stop and a child
// that never outlives its host unless the description says otherwise.
void Reader::serviceOperation(const toml::table* t) {
    const std::string p = "service.";
    const int64_t timeout =
        integer(t, p, "stop_timeout", 0, kMaxStopTimeout).value_or(kDefaultStopTimeout);
    if (timeout > 0) put(Setting::StopTimeout, std::to_string(timeout));
    if (flag(t, p, "kill_child_with_host").value_or(true)) put(Setting::KillChildWithHost, "1");
    textSetting(t, p, "display_name", Setting::ServiceDisplayName, kServiceNameLimit);
    const auto account = string(t, p, "account");
    bool namedUser = false;
    std::string bytes;
    if (account && narrow(*t->get("account"), p + "account", *account, kServiceNameLimit, bytes)) {
        const size_t slash = bytes.find('\\');
        namedUser = slash != std::string::npos;
        const bool builtIn = bytes == "LocalSystem" || bytes == "LocalService" ||
                             bytes == "NetworkService" || bytes == "virtual";
        if (!builtIn && (!namedUser || slash == 0 || slash + 1 == bytes.size() ||
                         bytes.find('\\', slash + 1) != std::string::npos)) {
            error(*t->get("account"), p + "account",
                  "\"" + *account +
                      "\" is no account; write \"LocalSystem\", \"LocalService\", "
                      "\"NetworkService\", \"virtual\" or a user as \"DOMAIN\\\\user\" "
                      "(\".\\\\user\" "
                      "for a local one)");
            namedUser = false;
        } else {
            put(Setting::ServiceAccount, bytes);
        }
    }
    if (const auto variable = string(t, p, "password_env")) {
        const toml::node& at = *t->get("password_env");
        std::string name;
        if (!namedUser) {
            error(at, p + "password_env",
                  "only a named user (account = \"DOMAIN\\\\user\") has a password");
        } else if (narrow(at, p + "password_env", *variable, kTextLimit, name)) {
            const bool valid = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
                return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '_';
            });
            if (valid) {
                put(Setting::PasswordVariable, name);
            } else {
                error(at, p + "password_env",
                      "\"" + *variable +
                          "\" is no environment variable name (letters, digits and '_')");
            }
        }
    }
}

// [service.recovery]: what the Service Control Manager does when the service fails.
void Reader::recovery(const toml::table* t) {
    if (t == nullptr) return;
    const std::string p = "service.recovery.";
    onlyKeys(*t, p, {"actions", "delay", "reset_after", "on_error_exit"});
    const toml::array* actions = list(t, p, "actions");
    if (t->get("actions") == nullptr) {
        error(*t, p + "actions", "missing; write a list such as [\"restart\", \"none\"]");
    }
    std::string words;
    bool ok = actions != nullptr;
    if (actions != nullptr && (actions->empty() || actions->size() > kMaxFailureActions)) {
        error(*t->get("actions"), p + "actions",
              "write 1 to " + std::to_string(kMaxFailureActions) + " actions");
        ok = false;
    }
    for (size_t i = 0; ok && i < actions->size(); ++i) {
        const toml::node& item = *actions->get(i);
        const auto* word = item.as_string();
        if (word == nullptr || (word->get() != "restart" && word->get() != "none")) {
            error(item, p + "actions[" + std::to_string(i) + "]", "write \"restart\" or \"none\"");
            ok = false;
            break;
        }
        words += (words.empty() ? "" : ",") + word->get();
    }
    const int64_t delay =
        integer(t, p, "delay", 0, kMaxStopTimeout).value_or(kDefaultRecoveryDelay);
    const int64_t reset = integer(t, p, "reset_after", 0, INT32_MAX).value_or(kDefaultResetAfter);
    const bool onErrorExit = flag(t, p, "on_error_exit").value_or(true);
    if (!ok) return;
    put(Setting::RecoveryActions, words);
    if (delay > 0) put(Setting::RecoveryDelay, std::to_string(delay));
    if (reset > 0) put(Setting::RecoveryResetAfter, std::to_string(reset));
    if (onErrorExit) put(Setting::RecoveryOnErrorExit, "1");
}

// output_rotate_size ("10 MiB", "512 KiB", "1 GiB" or a number of bytes) and output_keep.
void Reader::outputRotation(const toml::table* t) {
    const std::string p = "launcher.";
    const toml::node* size = node(t, "output_rotate_size");
    const toml::node* keepNode = node(t, "output_keep");
    const int64_t keep =
        integer(t, p, "output_keep", 1, kMaxOutputKeep).value_or(kDefaultOutputKeep);
    if (size == nullptr) {
        if (keepNode != nullptr) {
            error(*keepNode, p + "output_keep", "only works with output_rotate_size");
        }
        return;
    }
    int64_t bytes = -1;
    if (const auto* number = size->as_integer()) {
        bytes = number->get();
    } else if (const auto* text = size->as_string()) {
        bytes = byteSize(text->get());
    }
    if (bytes < kMinRotateSize || bytes > kMaxRotateSize) {
        error(*size, p + "output_rotate_size",
              "write a size from 1 KiB to 2047 MiB, such as \"10 MiB\", \"512 KiB\" or a number of "
              "bytes");
        return;
    }
    if (strings_.count(idOf(Setting::FirstPath)) == 0 &&
        strings_.count(idOf(Setting::SecondPath)) == 0) {
        error(*size, p + "output_rotate_size", "only works with stdout_file or stderr_file");
        return;
    }
    put(Setting::OutputRotateSize, std::to_string(bytes));
    put(Setting::OutputKeep, std::to_string(keep));
}

void Reader::java(const toml::table* t) {
    const std::string p = "java.";
    if (t == nullptr) {
        errors_.push_back(
            {0, 0, "java", "missing; the description needs a [java] table with the main class"});
        return;
    }
    onlyKeys(*t, p,
             {"main_class",
              "module",
              "class_path",
              "module_path",
              "min_version",
              "max_version",
              "search",
              "allow_prerelease",
              "require_jdk",
              "jvm_variant",
              "options",
              "version_options",
              "arguments",
              "j_arguments",
              "read_vmoptions",
              "accept_unvalidated_directories",
              "ignore_java_option_variables",
              "application_id",
              "skip_vendor_registry",
              "runtime_jar"});
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

void Reader::launcherTable(const toml::table* t) {
    const std::string p = "launcher.";
    if (t != nullptr) {
        onlyKeys(*t, p,
                 {"family", "errors", "windowed", "working_directory", "application_directory",
                  "native_library_directories", "reduce_path", "add_dll_directories",
                  "single_instance", "instance_scope", "raise_other_instance",
                  "temp_prefer_long_paths", "temp_local_app_data_first", "stdout_file",
                  "stderr_file", "append_output", "output_rotate_size", "output_keep"});
    }
    const auto family = choice(t, p, "family", {"lumex", "parcelkit"});
    put(Setting::ProductMarker, family.value_or("lumex") == "parcelkit" ? "p" : "l");
    errorsNode_ = node(t, "errors");
    errorsShown_ = choice(t, p, "errors", {"console", "message-box"});
    windowedNode_ = node(t, "windowed");
    windowed_ = flag(t, p, "windowed").value_or(false);
    textSetting(t, p, "working_directory", Setting::WorkingDirectory);
    textSetting(t, p, "application_directory", Setting::ApplicationDirectory);
    listSetting(t, p, "native_library_directories", Setting::NativeLibraryDirectories, ';', ";",
                kTextLimit);
    flagSetting(t, p, "reduce_path", Setting::ReducePath);
    flagSetting(t, p, "add_dll_directories", Setting::AddDllDirectories);
    const bool single = flag(t, p, "single_instance").value_or(false);
    if (single) put(Setting::SingleInstance, "1");
    const auto scope = choice(t, p, "instance_scope", {"user", "session", "machine"});
    if (scope == "machine") put(Setting::SingleInstanceMachineWide, "1");
    if (scope == "session") put(Setting::SingleInstanceSession, "1");
    if (flag(t, p, "raise_other_instance").value_or(false)) {
        if (single) {
            put(Setting::RaiseOtherInstance, "1");
        } else {
            error(*t->get("raise_other_instance"), p + "raise_other_instance",
                  "only works with single_instance = true");
        }
    }
    flagSetting(t, p, "temp_prefer_long_paths", Setting::PreferLongTempPath);
    flagSetting(t, p, "temp_local_app_data_first", Setting::LocalAppDataTempFirst);
    for (const OutputFileIds& file : kOutputFiles) {
        const size_t before = strings_.size();
        textSetting(t, p, file.key, file.path);
        if (strings_.size() != before) put(file.pass, "1");
    }
    flagSetting(t, p, "append_output", Setting::LauncherFlag);
    outputRotation(t);
}

// One value (config 107) says how to install, how errors are shown and whether the application
// is a windowed one; the keys that feed it must agree.
void Reader::launcherKind() {
    std::string kind;
    if (start_ == "auto" || start_ == "delayed") {
        if (errorsShown_ == "message-box") {
            error(*errorsNode_, "launcher.errors",
                  "\"message-box\" cannot go with [service] start = \"" + start_ +
                      "\": a launcher that installs for automatic start shows its errors on the "
                      "console");
        }
        if (windowed_) {
            error(*windowedNode_, "launcher.windowed",
                  "a windowed application cannot be installed with [service] start = \"" + start_ +
                      "\"");
        }
        kind = "4";
        if (start_ == "delayed") put(Setting::DelayedAutoStart, "1");
    } else if (windowed_) {
        if (errorsShown_ == "console") {
            error(*errorsNode_, "launcher.errors",
                  "\"console\" cannot go with windowed = true: a windowed application shows its "
                  "errors in message boxes");
        }
        kind = "1";
    } else if (errorsShown_ == "message-box") {
        kind = "5";
    }
    if (!kind.empty()) put(Setting::LauncherKind, kind);
}

void Reader::splash(const toml::table* t) {
    if (t == nullptr) return;
    const std::string p = "splash.";
    onlyKeys(*t, p, {"configured", "groups"});
    put(Setting::SplashSettings, "1");
    flagSetting(t, p, "configured", Setting::SplashConfigured);
    const toml::array* groups = list(t, p, "groups");
    if (groups == nullptr) return;
    if (groups->size() > std::size(kSplashGroups)) {
        error(*t->get("groups"), p + "groups", "the launcher passes at most 4 groups");
        return;
    }
    for (size_t i = 0; i < groups->size(); ++i) {
        const toml::node& item = *groups->get(i);
        const std::string k = p + "groups[" + std::to_string(i) + "]";
        const auto* g = item.as_table();
        if (g == nullptr) {
            error(item, k, "expected a table { text = ..., first = ..., second = ... }");
            continue;
        }
        onlyKeys(*g, k + ".", {"text", "first", "second"});
        textSetting(g, k + ".", "text", kSplashGroups[i].text, kVersionLimit);
        const std::pair<std::string_view, Setting> numbers[] = {
            {"first", kSplashGroups[i].first}, {"second", kSplashGroups[i].second}};
        for (const auto& [key, id] : numbers) {
            const toml::node* n = g->get(key);
            if (n == nullptr) continue;
            const auto* v = n->as_integer();
            if (v == nullptr || v->get() < INT32_MIN || v->get() > INT32_MAX) {
                error(*n, k + "." + std::string(key),
                      v == nullptr ? "expected an integer, found " + typeName(*n)
                                   : std::string("lies outside the 32-bit range"));
                continue;
            }
            if (v->get() != 0) put(id, std::to_string(v->get()));
        }
    }
}

bool Reader::messageValue(const toml::node& value, const std::string& key, const MessageText& info,
                          std::u16string& out) {
    const auto* s = value.as_string();
    if (s == nullptr) {
        error(value, key, "expected a string, found " + typeName(value));
        return false;
    }
    size_t bad = 0;
    std::string problem;
    if (!decodeUtf8(s->get(), out, bad)) {
        error(value, key, "is no valid UTF-8 text");
        return false;
    }
    if (out.empty()) {
        error(value, key, "is empty; leave the key out to keep the built-in text");
        return false;
    }
    if (out.find(u'\0') != std::u16string::npos) {
        error(value, key, "holds a NUL character, which would end the text early");
        return false;
    }
    if (out.size() > kTextLimit) {
        error(value, key,
              "is " + std::to_string(out.size()) +
                  " UTF-16 units long; the launcher shows at most " + std::to_string(kTextLimit));
        return false;
    }
    if (info.takesDetail && s->get().find("{0}") == std::string::npos) {
        error(value, key,
              "has no \"{0}\"; the launcher puts what failed in its place, write it where that "
              "belongs");
        return false;
    }
    return true;
}

void Reader::messages(const toml::table* t) {
    std::vector<std::string_view> known;
    for (const MessageText& m : messageTexts()) {
        if (m.id == Message::ServiceDescription) continue;
        const toml::node* n = node(t, m.key);
        std::u16string text;
        if (n == nullptr || !messageValue(*n, "messages." + std::string(m.key), m, text)) {
            size_t bad = 0;
            decodeUtf8(m.english, text, bad);
        }
        wides_.emplace_back(idOf(m.id), text);
    }
    if (t == nullptr) return;
    for (const auto& [key, value] : *t) {
        const std::string name(key.str());
        if (const MessageText* m = messageText(name)) {
            if (m->id == Message::ServiceDescription) {
                error(key.source(), "messages." + name,
                      "write the service description as [service] description; language "
                      "tables such as [messages.de] may translate it");
            }
            continue;
        }
        const auto* language = value.as_table();
        if (language == nullptr || !isLanguageKey(name)) {
            error(key.source(), "messages." + name,
                  language == nullptr
                      ? std::string("is no message; see docs/pack.md for the message keys")
                      : "\"" + name +
                            "\" is no language code the launcher uses (such as de, de_CH, "
                            "pt_BR, no_NO_NY)");
            continue;
        }
        LanguageSection section;
        section.key = name;
        const std::string prefix = "messages." + name + ".";
        for (const auto& [messageKey, text] : *language) {
            const MessageText* m = messageText(messageKey.str());
            if (m == nullptr) {
                error(messageKey.source(), prefix + std::string(messageKey.str()),
                      "is no message; see docs/pack.md for the message keys");
            }
        }
        for (const MessageText& m : messageTexts()) {
            const toml::node* n = language->get(m.key);
            std::u16string text;
            if (n != nullptr && messageValue(*n, prefix + std::string(m.key), m, text)) {
                section.entries.emplace_back(idOf(m.id), text);
            }
        }
        sections_.push_back(std::move(section));
    }
}

void Reader::files(const toml::array* list) {
    if (list == nullptr) return;
    std::vector<IncludedFile> extracted, kept;
    std::set<std::string> names;
    for (size_t i = 0; i < list->size(); ++i) {
        const toml::node& item = *list->get(i);
        const std::string k = "files[" + std::to_string(i) + "]";
        const auto* f = item.as_table();
        if (f == nullptr) {
            error(item, k,
                  "expected a table { name = ..., source = ... }, found " + typeName(item));
            continue;
        }
        onlyKeys(*f, k + ".", {"name", "source", "extract"});
        const auto name = string(f, k + ".", "name");
        const auto source = string(f, k + ".", "source");
        const bool extract = flag(f, k + ".", "extract").value_or(true);
        if (f->get("name") == nullptr) error(item, k + ".name", "missing");
        if (f->get("source") == nullptr) error(item, k + ".source", "missing");
        if (!name || !source) continue;
        std::string bytes;
        if (!narrow(*f->get("name"), k + ".name", *name, kFileNameLimit, bytes)) continue;
        std::replace(bytes.begin(), bytes.end(), '/', '\\');
        const size_t slash = bytes.find('\\');
        const bool valid =
            !bytes.empty() && bytes.find_first_of(";:*?\"<>|") == std::string::npos &&
            std::none_of(bytes.begin(), bytes.end(),
                         [](char c) { return static_cast<unsigned char>(c) < 0x20; }) &&
            bytes.find('\\', slash == std::string::npos ? 0 : slash + 1) == std::string::npos &&
            slash != 0 && slash != bytes.size() - 1 && bytes != "." && bytes != ".." &&
            !bytes.starts_with(".\\") && !bytes.starts_with("..\\") && !bytes.ends_with("\\.") &&
            !bytes.ends_with("\\..");
        if (!valid) {
            error(*f->get("name"), k + ".name",
                  "\"" + *name +
                      "\" is no name the launcher can extract: a file name, or one folder, '/' "
                      "and a file name, without ; : * ? \" < > |");
            continue;
        }
        if (!names.insert(bytes).second) {
            error(*f->get("name"), k + ".name", "\"" + *name + "\" is included twice");
            continue;
        }
        std::filesystem::path path(*source);
        if (path.is_relative() && !baseDir_.empty()) path = std::filesystem::path(baseDir_) / path;
        IncludedFile file;
        file.name = bytes;
        std::string problem;
        if (!load_(path.string(), file.content, problem)) {
            error(*f->get("source"), k + ".source", problem);
            continue;
        }
        (extract ? extracted : kept).push_back(std::move(file));
    }
    if (extracted.empty() && kept.empty()) return;
    std::string joined;
    for (const auto* group : {&extracted, &kept}) {
        for (const IncludedFile& file : *group) {
            joined += (joined.empty() ? "" : ";") + file.name;
        }
    }
    put(Setting::IncludedFileCount, std::to_string(extracted.size()));
    put(Setting::IncludedFileNames, joined);
    files_ = std::move(extracted);
    for (auto& file : kept) files_.push_back(std::move(file));
}

TomlBuild Reader::finish() {
    TomlBuild result;
    result.errors = std::move(errors_);
    result.runtimeJar = runtimeJar_;
    if (!result.errors.empty()) return result;
    BlockWriter writer;
    for (const auto& [id, value] : strings_) writer.string(id, value);
    for (const auto& [id, value] : wides_) writer.wide(id, value);
    if (description_) writer.wide(idOf(Message::ServiceDescription), *description_);
    for (auto& section : sections_) writer.section(std::move(section));
    for (auto& file : files_) writer.file(std::move(file));
    result.writer = std::move(writer);
    return result;
}

}  // namespace

std::string formatDiagnostic(std::string_view source, const Diagnostic& d) {
    std::string text(source);
    if (d.line > 0) text += ":" + std::to_string(d.line) + ":" + std::to_string(d.column);
    text += ": ";
    if (!d.key.empty()) text += d.key + ": ";
    return text + d.message;
}

bool loadFileFromDisk(const std::string& path, std::vector<uint8_t>& content, std::string& error,
                      uint64_t limit) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        error = "cannot read '" + path + "': no such file";
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = "cannot read '" + path + "': not a regular file";
        return false;
    }
    const uint64_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        error = "cannot read '" + path + "': " + ec.message();
        return false;
    }
    if (size > limit) {
        error = "'" + path + "' is too large (" + std::to_string(size) + " bytes, at most " +
                std::to_string(limit) + ")";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    content.assign(static_cast<size_t>(size), 0);
    if (!in || !in.read(reinterpret_cast<char*>(content.data()),
                        static_cast<std::streamsize>(content.size()))) {
        error = "cannot read '" + path + "'";
        return false;
    }
    return true;
}

TomlBuild buildFromToml(std::string_view text, const std::string& sourceName,
                        const std::string& baseDir, const FileLoader& load) {
    if (text.size() > kMaxDescriptionSize) {
        TomlBuild result;
        result.errors.push_back({0, 0, "",
                                 "the description is " + std::to_string(text.size()) +
                                     " bytes long; the tool reads at most " +
                                     std::to_string(kMaxDescriptionSize)});
        return result;
    }
    Prepared prepared;
    Diagnostic problem;
    if (!prepareForToml(text, prepared, problem)) {
        TomlBuild result;
        result.errors.push_back(problem);
        return result;
    }
    try {
        const toml::table root = toml::parse(prepared.text, sourceName);
        Reader reader(baseDir, load);
        reader.run(root);
        TomlBuild result = reader.finish();
        for (Diagnostic& d : result.errors) d.column = prepared.originalColumn(d.line, d.column);
        return result;
    } catch (const toml::parse_error& e) {
        TomlBuild result;
        const int line = static_cast<int>(e.source().begin.line);
        result.errors.push_back(
            {line, prepared.originalColumn(line, static_cast<int>(e.source().begin.column)), "",
             std::string(e.description())});
        return result;
    } catch (const std::exception& e) {
        TomlBuild result;
        result.errors.push_back(
            {0, 0, "", std::string("this is no valid TOML (") + e.what() + " failed)"});
        return result;
    }
}

}  // namespace pack
