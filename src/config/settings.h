// Every configuration string, localized message and failure detail the launcher reads from its
// configuration block, by name. The tables below give each id its key name and kind; the
// launcher's reads, the packing tool's listing and its input keys all come from here, so an id
// is written down exactly once.
#pragma once

#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>

namespace launcher {

// Every narrow configuration string: name, id, key, kind. Each setting is written down here
// once; the enum and the table below are made from this list.
//
// Ids from 3001 on are the service operation settings (bounded stop, job object, install
// options, output rotation). A block without them behaves as one written before they existed:
// an absent id reads as 0 or empty text, which is the old behaviour of each of them.
#define LAUNCHER_SETTINGS(X)                                                     \
    X(ServiceName, 101, "service_name", Text)                                    \
    X(PassFirstPath, 102, "pass_first_path", Flag)                               \
    X(FirstPath, 103, "first_path", Text)                                        \
    X(PassSecondPath, 104, "pass_second_path", Flag)                             \
    X(SecondPath, 105, "second_path", Text)                                      \
    X(LauncherFlag, 106, "launcher_flag", Flag)                                  \
    X(LauncherKind, 107, "launcher_kind", Number)                                \
    X(SplashSettings, 108, "splash_settings", Flag)                              \
    X(ClassPath, 121, "class_path", Text)                                        \
    X(MainClass, 122, "main_class", Text)                                        \
    X(JvmOptions, 123, "jvm_options", Text)                                      \
    X(ProgramArguments, 124, "program_arguments", Text)                          \
    X(JavaOptionArguments, 125, "java_option_arguments", Flag)                   \
    X(MinVersion, 126, "min_version", Text)                                      \
    X(MaxVersion, 127, "max_version", Text)                                      \
    X(SearchSequence, 128, "search_sequence", Text)                              \
    X(AllowBeta, 130, "allow_beta", Flag)                                        \
    X(RequireJdk, 131, "require_jdk", Flag)                                      \
    X(ModulePath, 132, "module_path", Text)                                      \
    X(MainFromModulePath, 133, "main_from_module_path", Flag)                    \
    X(AcceptUnvalidatedDirectories, 134, "accept_unvalidated_directories", Flag) \
    X(WorkingDirectory, 146, "working_directory", Text)                          \
    X(ServiceDependencies, 149, "service_dependencies", Text)                    \
    X(JvmVariant, 152, "jvm_variant", Text)                                      \
    X(AddDllDirectories, 154, "add_dll_directories", Flag)                       \
    X(SingleInstanceMachineWide, 158, "single_instance_machine_wide", Flag)      \
    X(ApplicationId, 160, "application_id", Text)                                \
    X(SplashConfigured, 163, "splash_configured", Flag)                          \
    X(SkipVendorRegistry, 165, "skip_vendor_registry", Flag)                     \
    X(ReadVmOptionsFile, 166, "read_vmoptions_file", Flag)                       \
    X(SingleInstanceSession, 200, "single_instance_session", Flag)               \
    X(ProductMarker, 2001, "product_marker", Text)                               \
    X(IncludedFileCount, 2002, "included_file_count", Number)                    \
    X(IncludedFileNames, 2003, "included_file_names", Text)                      \
    X(ApplicationDirectory, 10003, "application_directory", Text)                \
    X(NativeLibraryDirectories, 10004, "native_library_directories", Text)       \
    X(SingleInstance, 10005, "single_instance", Flag)                            \
    X(RaiseOtherInstance, 10008, "raise_other_instance", Flag)                   \
    X(PreferLongTempPath, 10009, "prefer_long_temp_path", Flag)                  \
    X(ReducePath, 10010, "reduce_path", Flag)                                    \
    X(IgnoreJavaOptionVariables, 10012, "ignore_java_option_variables", Flag)    \
    X(LocalAppDataTempFirst, 10015, "local_app_data_temp_first", Flag)           \
    X(SplashNumber1a, 10109, "splash_number_1a", Number)                         \
    X(SplashNumber1b, 10110, "splash_number_1b", Number)                         \
    X(SplashText1, 10111, "splash_text_1", Text)                                 \
    X(SplashNumber2a, 10113, "splash_number_2a", Number)                         \
    X(SplashText2, 10114, "splash_text_2", Text)                                 \
    X(SplashNumber2b, 10115, "splash_number_2b", Number)                         \
    X(SplashNumber3a, 10116, "splash_number_3a", Number)                         \
    X(SplashNumber3b, 10117, "splash_number_3b", Number)                         \
    X(SplashText3, 10118, "splash_text_3", Text)                                 \
    X(SplashNumber4a, 10120, "splash_number_4a", Number)                         \
    X(SplashText4, 10121, "splash_text_4", Text)                                 \
    X(SplashNumber4b, 10122, "splash_number_4b", Number)                         \
    X(VersionOptionCount, 10200, "version_option_count", Number)                 \
    X(StopTimeout, 3001, "stop_timeout", Number)                                 \
    X(KillChildWithHost, 3002, "kill_child_with_host", Flag)                     \
    X(DelayedAutoStart, 3003, "delayed_auto_start", Flag)                        \
    X(ServiceDisplayName, 3004, "display_name", Text)                            \
    X(RecoveryActions, 3005, "recovery_actions", Text)                           \
    X(RecoveryDelay, 3006, "recovery_delay", Number)                             \
    X(RecoveryResetAfter, 3007, "recovery_reset_after", Number)                  \
    X(RecoveryOnErrorExit, 3008, "recovery_on_error_exit", Flag)                 \
    X(ServiceAccount, 3009, "service_account", Text)                             \
    X(PasswordVariable, 3010, "password_env", Text)                              \
    X(OutputRotateSize, 3011, "output_rotate_size", Number)                      \
    X(OutputKeep, 3012, "output_keep", Number)                                   \
    X(RestartOnExit, 3013, "restart_on_exit", Text)                              \
    X(RestartDelay, 3014, "restart_delay", Number)                               \
    X(RestartMaxDelay, 3015, "restart_max_delay", Number)                        \
    X(RestartSuccessfulRun, 3016, "restart_successful_run", Number)              \
    X(RestartMaxFailures, 3017, "restart_max_failures", Number)                  \
    X(WatchdogInterval, 3018, "watchdog_interval", Number)                       \
    X(WatchdogTimeout, 3019, "watchdog_timeout", Number)                         \
    X(EventLog, 3020, "event_log", Flag)                                         \
    X(ClassDataSharing, 3021, "class_data_sharing", Flag)

// Every localized message: name, id, key.
#define LAUNCHER_MESSAGES(X)                                       \
    X(ErrorCaption, 1000, "error_caption")                         \
    X(RegistryJvmNotLoaded, 1005, "registry_jvm_not_loaded")       \
    X(RequiredPathMissing, 1006, "required_path_missing")          \
    X(RequiredVariableMissing, 1008, "required_variable_missing")  \
    X(SetupFailed, 1009, "setup_failed")                           \
    X(LauncherClassNotFound, 1010, "launcher_class_not_found")     \
    X(MainMethodNotFound, 1011, "main_method_not_found")           \
    X(NoTempFolder, 1015, "no_temp_folder")                        \
    X(NoJvmFound, 1016, "no_jvm_found")                            \
    X(EnvironmentJvmNotLoaded, 1018, "environment_jvm_not_loaded") \
    X(DirectoryJvmNotLoaded, 1020, "directory_jvm_not_loaded")     \
    X(UnpackNotStarted, 1021, "unpack_not_started")                \
    X(ServiceDescription, 20017, "service_description")

// Narrow configuration strings (ids of the first table of the block).
enum class Setting : int32_t {
#define LAUNCHER_SETTING_ENUM(name, id, key, kind) name = id,
    LAUNCHER_SETTINGS(LAUNCHER_SETTING_ENUM)
#undef LAUNCHER_SETTING_ENUM
    // Per-version line i: its condition at FirstVersionCondition + 2i, its options one above.
    FirstVersionCondition = 10201,
    FirstVersionOptions = 10202,
};

// Localized texts (wide strings and language sections); a message falls back to the narrow
// string of the same id.
enum class Message : int32_t {
#define LAUNCHER_MESSAGE_ENUM(name, id, key) name = id,
    LAUNCHER_MESSAGES(LAUNCHER_MESSAGE_ENUM)
#undef LAUNCHER_MESSAGE_ENUM
};

// The numbers shown in place of "{0}" when a message names what failed.
enum class FailureDetail : int32_t {
    TempDirectoryNotCreated = 7,
    IncludedFileNotCreated = 11,
    ExtractionFailed = 16,
    NoJvmFound = 64,
};

// How a value is written: free text, a number read as C atoi does, or 0/1.
enum class SettingKind { Text, Number, Flag };

struct SettingInfo {
    Setting id;
    std::string_view key;
    SettingKind kind;
};

struct MessageInfo {
    Message id;
    std::string_view key;
};

inline constexpr SettingInfo kSettings[] = {
#define LAUNCHER_SETTING_INFO(name, id, key, kind) {Setting::name, key, SettingKind::kind},
    LAUNCHER_SETTINGS(LAUNCHER_SETTING_INFO)
#undef LAUNCHER_SETTING_INFO
};

inline constexpr MessageInfo kMessages[] = {
#define LAUNCHER_MESSAGE_INFO(name, id, key) {Message::name, key},
    LAUNCHER_MESSAGES(LAUNCHER_MESSAGE_INFO)
#undef LAUNCHER_MESSAGE_INFO
};

constexpr int32_t idOf(Setting setting) {
    return static_cast<int32_t>(setting);
}
constexpr int32_t idOf(Message message) {
    return static_cast<int32_t>(message);
}
constexpr int32_t idOf(FailureDetail detail) {
    return static_cast<int32_t>(detail);
}

// An id of the narrow string table: a named setting, a message (whose narrow string is the
// fallback text), or one of the numbered per-version lines.
class ConfigId {
public:
    constexpr ConfigId(Setting setting) : value_(idOf(setting)) {}
    constexpr ConfigId(Message message) : value_(idOf(message)) {}
    // Per-version line i (from 0): its condition, and its options one id above.
    static constexpr ConfigId versionCondition(int32_t line) {
        return ConfigId(idOf(Setting::FirstVersionCondition) + 2 * line);
    }
    static constexpr ConfigId versionOptions(int32_t line) {
        return ConfigId(idOf(Setting::FirstVersionOptions) + 2 * line);
    }
    constexpr int32_t value() const { return value_; }

private:
    constexpr explicit ConfigId(int32_t value) : value_(value) {}
    int32_t value_;
};

// The named entry of an id, if the launcher knows it.
constexpr std::optional<SettingInfo> settingInfo(int32_t id) {
    for (const SettingInfo& info : kSettings) {
        if (idOf(info.id) == id) return info;
    }
    return std::nullopt;
}
constexpr std::optional<MessageInfo> messageInfo(int32_t id) {
    for (const MessageInfo& info : kMessages) {
        if (idOf(info.id) == id) return info;
    }
    return std::nullopt;
}

// Every id and every key is named once.
template <typename Table>
constexpr bool namedOnce(const Table& table) {
    for (size_t i = 0; i < std::size(table); ++i) {
        for (size_t j = i + 1; j < std::size(table); ++j) {
            if (table[i].id == table[j].id || table[i].key == table[j].key) return false;
        }
    }
    return true;
}
static_assert(namedOnce(kSettings));
static_assert(namedOnce(kMessages));

// A message falls back to the narrow string of its id, so no setting may share a message's id.
constexpr bool settingsApartFromMessages() {
    for (const SettingInfo& setting : kSettings) {
        if (messageInfo(idOf(setting.id))) return false;
    }
    return true;
}
static_assert(settingsApartFromMessages());

}  // namespace launcher
