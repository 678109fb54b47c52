// What the files that read the launcher description share: the TOML reader (toml++, header-only,
// with exceptions, all caught by buildFromToml), the limits of the values, and the Reader that
// checks the tables key by key and collects config strings, messages and included files. Each
// table has its own file (toml_service.cpp, toml_java.cpp, toml_launcher.cpp, toml_messages.cpp,
// toml_files.cpp); the shared look-ups and the whole run are in toml_input.cpp.
#pragma once

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

#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/limits.h"
#include "config/settings.h"
#include "launcher_toml.h"
#include "toml_keys.h"

namespace pack::reading {

using launcher::idOf;
using launcher::Message;
using launcher::Setting;

// Values read into 6000-element buffers must leave room for the terminating NUL.
inline constexpr size_t kTextLimit = launcher::kBufferLength - 1;
inline constexpr size_t kVersionLimit = 1999;     // min and max version, splash texts: 2000 bytes
inline constexpr size_t kVariantLimit = 199;      // JVM variant: 200 bytes
inline constexpr size_t kServiceNameLimit = 256;  // the Service Control Manager's limit
inline constexpr size_t kFileNameLimit = 200;     // below the temp folder, inside a 6000-byte path
inline constexpr size_t kMaxVersionLines = 1000;
inline constexpr int64_t kDefaultStopTimeout = 30;    // seconds, written when the key is absent
inline constexpr int64_t kMaxStopTimeout = 86400;     // a day, as the launcher bounds it
inline constexpr int64_t kDefaultRecoveryDelay = 10;  // seconds before a restart
inline constexpr int64_t kDefaultResetAfter = 86400;  // seconds without a failure
inline constexpr int64_t kMaxFailureActions = 16;     // as the launcher reads them
inline constexpr int64_t kMinRotateSize = 1024;       // bytes
inline constexpr int64_t kMaxRotateSize = INT32_MAX;  // the launcher reads a 32-bit number
inline constexpr int64_t kDefaultOutputKeep = 5;
inline constexpr int64_t kMaxOutputKeep = 1000;

// "a string", "an integer", ... for messages about a value of the wrong type.
std::string typeName(const toml::node& node);

class Reader {
public:
    Reader(const std::string& baseDir, const FileLoader& load, const FileSizer& size)
        : baseDir_(baseDir), load_(load), size_(size) {}

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
                  std::span<const std::string_view> known);
    void onlyKeys(const toml::table& t, const std::string& prefix,
                  std::initializer_list<std::string_view> known) {
        onlyKeys(t, prefix, std::span<const std::string_view>(known.begin(), known.size()));
    }

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
    // A value the launcher expands: every ${...} closed, and every ${LUMEX_...},
    // ${PARCELKIT_...} and ${launcher:...} one the launcher knows; reports and returns false.
    bool variables(const toml::node& at, const std::string& key, std::string_view bytes);
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
    void restart(const toml::table* t);
    void watchdog(const toml::table* t);
    // The numbers of keys, each its default when left out; false when one was reported.
    bool numbers(const toml::table* t, const std::string& prefix, std::span<const NumberKey> keys,
                 std::vector<int64_t>& values);
    void outputRotation(const toml::table* t);
    void java(const toml::table* t);
    void pathEntries(const toml::table* t, std::string_view key, Setting id);
    void versions(const toml::table* t);
    void search(const toml::table* t);
    void versionLines(const toml::table* t);
    void launcherTable(const toml::table* t);
    void launcherKind();
    void icon(const toml::table* t);
    void version(const toml::table* t);
    void splash(const toml::table* t);
    void messages(const toml::table* t);
    bool messageValue(const toml::node& value, const std::string& key, const MessageText& info,
                      std::u16string& out);
    void files(const toml::array* list);

    void put(Setting id, std::string value) { strings_[idOf(id)] = std::move(value); }

    const std::string& baseDir_;
    const FileLoader& load_;
    const FileSizer& size_;
    std::vector<Diagnostic> errors_;
    std::map<int32_t, std::string> strings_;
    std::vector<std::pair<int32_t, std::u16string>> wides_;
    std::vector<LanguageSection> sections_;
    std::vector<IncludedFile> files_;
    LauncherResources resources_;
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

}  // namespace pack::reading
