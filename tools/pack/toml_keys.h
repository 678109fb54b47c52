// The vocabulary the launcher description shares between reading and printing: the built-in
// English messages, the language keys the launcher matches, the readable search kinds and path
// entry kinds, and how lists and option texts are written into config strings.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/language_table.h"
#include "config/settings.h"
#include "config/splash_groups.h"

namespace pack {

struct MessageText {
    launcher::Message id;
    std::string_view key;      // as in settings.h
    std::string_view english;  // built-in text; empty: none (the service description)
    bool takesDetail;          // the launcher puts a detail in place of "{0}"
};

// Every message of settings.h, in its order.
std::span<const MessageText> messageTexts();
const MessageText* messageText(std::string_view key);

// Language section keys the launcher can match: its language codes and their two-letter
// languages ("de", "de_CH", "no_NO_NY"), from the launcher's own table.
using launcher::isLanguageKey;

// The readable search sequence entries: "bundled:DIR", "directory:DIR", "env:NAME", "JAVA_HOME",
// "path", "registry", "installations". Empty error: the entry in the launcher's letter form.
std::string searchEntryCode(std::string_view entry, std::string& error);
// The readable form of one entry of config string 128, or nothing when there is none.
std::optional<std::string> searchEntryText(std::string_view code);
// The search sequence used when the description names none.
inline constexpr std::string_view kDefaultSearch[] = {"bundled:jre", "JAVA_HOME", "registry"};

// Path entry kinds of the class and module path (key in the description, launcher letter).
struct EntryKind {
    std::string_view key;
    char letter;
};
std::span<const EntryKind> entryKinds();

// Tokens joined into a text that the launcher's command-line splitter splits back into exactly
// these tokens; and the tokens of such a text.
std::string joinCommandLine(const std::vector<std::string>& tokens);
std::vector<std::string> splitCommandLineBytes(std::string_view text);

// Narrow config strings are bytes that the launcher widens one by one (Latin-1). UTF-8 text to
// such bytes: false (with the first character that does not fit) beyond U+00FF.
bool utf8ToLatin1(std::string_view text, std::string& out, std::string& badCharacter);
std::string latin1ToUtf8(std::string_view bytes);
// UTF-16 code units to UTF-8; false when a lone surrogate had to be replaced.
bool utf16ToUtf8(std::u16string_view text, std::string& out);

// The four splash groups: a text and two numbers each, in the order the launcher passes them.
using launcher::kSplashGroups;
using launcher::SplashGroupIds;

// The runtime's output files: the key, the flag that passes the path, and the path.
struct OutputFileIds {
    std::string_view key;
    launcher::Setting pass, path;
};
inline constexpr OutputFileIds kOutputFiles[] = {
    {"stdout_file", launcher::Setting::PassFirstPath, launcher::Setting::FirstPath},
    {"stderr_file", launcher::Setting::PassSecondPath, launcher::Setting::SecondPath},
};

// A size such as "10 MiB", "512 KiB", "1 GiB", "300 B" or "4096" in bytes (units of 1024); -1
// for any other text.
int64_t byteSize(std::string_view text);
// The way back: "10 MiB" where the size is a whole number of a unit, else the bytes ("1000 B").
std::string byteSizeText(int64_t bytes);

// The keys of the tables, which also say where a key written in the wrong table belongs, and
// which `pack build --help` lists.
inline constexpr std::string_view kServiceKeys[] = {"name",
                                                    "description",
                                                    "start",
                                                    "dependencies",
                                                    "display_name",
                                                    "stop_timeout",
                                                    "kill_child_with_host",
                                                    "event_log",
                                                    "account",
                                                    "password_env",
                                                    "recovery",
                                                    "restart",
                                                    "watchdog"};
inline constexpr std::string_view kRecoveryKeys[] = {"actions", "delay", "reset_after",
                                                     "on_error_exit"};
inline constexpr std::string_view kRestartKeys[] = {"on_exit", "delay", "max_delay",
                                                    "successful_run", "max_failures"};
inline constexpr std::string_view kWatchdogKeys[] = {"interval", "timeout"};
inline constexpr std::string_view kJavaKeys[] = {"main_class",
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
                                                 "runtime_jar",
                                                 "class_data_sharing"};
inline constexpr std::string_view kLauncherKeys[] = {"family",
                                                     "errors",
                                                     "windowed",
                                                     "working_directory",
                                                     "application_directory",
                                                     "native_library_directories",
                                                     "reduce_path",
                                                     "add_dll_directories",
                                                     "single_instance",
                                                     "instance_scope",
                                                     "raise_other_instance",
                                                     "temp_prefer_long_paths",
                                                     "temp_local_app_data_first",
                                                     "stdout_file",
                                                     "stderr_file",
                                                     "append_output",
                                                     "output_rotate_size",
                                                     "output_keep",
                                                     "icon"};
inline constexpr std::string_view kVersionTableKeys[] = {
    "product_name", "product_version", "file_version", "company", "copyright", "description"};
inline constexpr std::string_view kSplashKeys[] = {"configured", "groups"};
inline constexpr std::string_view kFileKeys[] = {"name", "source", "extract"};
struct TableKeys {
    std::string_view table;
    std::span<const std::string_view> keys;
};
inline constexpr TableKeys kTableKeys[] = {
    {"service", kServiceKeys},
    {"service.recovery", kRecoveryKeys},
    {"service.restart", kRestartKeys},
    {"service.watchdog", kWatchdogKeys},
    {"java", kJavaKeys},
    {"launcher", kLauncherKeys},
    {"version", kVersionTableKeys},
    {"splash", kSplashKeys},
};

// The numbers of [service.restart] and [service.watchdog] (seconds, but for max_failures): the
// config string, the range the tool takes (the launcher bounds each to a day, the failures to
// a thousand) and what a new launcher gets when the key is left out.
inline constexpr int64_t kDefaultMaxDelay = 300;
struct NumberKey {
    std::string_view key;
    launcher::Setting id;
    int64_t low, high, byDefault;
};
inline constexpr NumberKey kRestartNumbers[] = {
    {"delay", launcher::Setting::RestartDelay, 0, 86400, 5},
    {"max_delay", launcher::Setting::RestartMaxDelay, 0, 86400, kDefaultMaxDelay},
    {"successful_run", launcher::Setting::RestartSuccessfulRun, 0, 86400, 300},
    {"max_failures", launcher::Setting::RestartMaxFailures, 1, 1000, 5},
};
inline constexpr NumberKey kWatchdogNumbers[] = {
    {"interval", launcher::Setting::WatchdogInterval, 0, 86400, 10},
    {"timeout", launcher::Setting::WatchdogTimeout, 1, 86400, 60},
};
// What [service.restart] on_exit is when left out.
inline constexpr std::string_view kDefaultRestartOn = "failure";
// A max_delay left out is the delay when that is longer than the default, as the launcher
// reads a block without it.
constexpr int64_t defaultMaxDelay(int64_t delay) {
    return delay > kDefaultMaxDelay ? delay : kDefaultMaxDelay;
}
// Keys that a description must hold when it holds their table.
inline constexpr std::string_view kRequiredKeys[] = {"service.name", "java.main_class",
                                                     "files.name", "files.source"};

// "U+03A9" style name of a character, for messages.
std::string codePointName(char32_t c);

}  // namespace pack
