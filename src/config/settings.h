// Every configuration string, localized message and failure detail the launcher reads from its
// configuration block, by name. The tables below give each id its key name and kind; the
// launcher's reads, the packing tool's listing and its input keys all come from here, so an id
// is written down exactly once.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace launcher {

// Narrow configuration strings (ids of the first table of the block).
enum class Setting : int32_t {
    ServiceName = 101,
    PassFirstPath = 102,
    FirstPath = 103,
    PassSecondPath = 104,
    SecondPath = 105,
    LauncherFlag = 106,
    LauncherKind = 107,
    SplashSettings = 108,
    ClassPath = 121,
    MainClass = 122,
    JvmOptions = 123,
    ProgramArguments = 124,
    JavaOptionArguments = 125,
    MinVersion = 126,
    MaxVersion = 127,
    SearchSequence = 128,
    AllowBeta = 130,
    RequireJdk = 131,
    ModulePath = 132,
    MainFromModulePath = 133,
    AcceptUnvalidatedDirectories = 134,
    WorkingDirectory = 146,
    ServiceDependencies = 149,
    JvmVariant = 152,
    AddDllDirectories = 154,
    SingleInstanceMachineWide = 158,
    ApplicationId = 160,
    SplashConfigured = 163,
    SkipVendorRegistry = 165,
    ReadVmOptionsFile = 166,
    SingleInstanceSession = 200,
    ProductMarker = 2001,
    IncludedFileCount = 2002,
    IncludedFileNames = 2003,
    ApplicationDirectory = 10003,
    NativeLibraryDirectories = 10004,
    SingleInstance = 10005,
    RaiseOtherInstance = 10008,
    PreferLongTempPath = 10009,
    ReducePath = 10010,
    IgnoreJavaOptionVariables = 10012,
    LocalAppDataTempFirst = 10015,
    // Splash settings handed to the launcher class unchanged: four groups of a text and two
    // numbers.
    SplashNumber1a = 10109,
    SplashNumber1b = 10110,
    SplashText1 = 10111,
    SplashNumber2a = 10113,
    SplashText2 = 10114,
    SplashNumber2b = 10115,
    SplashNumber3a = 10116,
    SplashNumber3b = 10117,
    SplashText3 = 10118,
    SplashNumber4a = 10120,
    SplashText4 = 10121,
    SplashNumber4b = 10122,
    VersionOptionCount = 10200,
    // Version-specific line i: its condition at FirstVersionCondition + 2i, its options one above.
    FirstVersionCondition = 10201,
    FirstVersionOptions = 10202,
};

// Localized texts (wide strings and language sections); a message falls back to the narrow
// string of the same id.
enum class Message : int32_t {
    ErrorCaption = 1000,
    RegistryJvmNotLoaded = 1005,
    RequiredPathMissing = 1006,
    RequiredVariableMissing = 1008,
    SetupFailed = 1009,
    LauncherClassNotFound = 1010,
    MainMethodNotFound = 1011,
    NoTempFolder = 1015,
    NoJvmFound = 1016,
    EnvironmentJvmNotLoaded = 1018,
    DirectoryJvmNotLoaded = 1020,
    UnpackNotStarted = 1021,
    ServiceDescription = 20017,
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

inline constexpr std::array kSettings{
    SettingInfo{Setting::ServiceName, "service_name", SettingKind::Text},
    SettingInfo{Setting::PassFirstPath, "pass_first_path", SettingKind::Flag},
    SettingInfo{Setting::FirstPath, "first_path", SettingKind::Text},
    SettingInfo{Setting::PassSecondPath, "pass_second_path", SettingKind::Flag},
    SettingInfo{Setting::SecondPath, "second_path", SettingKind::Text},
    SettingInfo{Setting::LauncherFlag, "launcher_flag", SettingKind::Flag},
    SettingInfo{Setting::LauncherKind, "launcher_kind", SettingKind::Number},
    SettingInfo{Setting::SplashSettings, "splash_settings", SettingKind::Flag},
    SettingInfo{Setting::ClassPath, "class_path", SettingKind::Text},
    SettingInfo{Setting::MainClass, "main_class", SettingKind::Text},
    SettingInfo{Setting::JvmOptions, "jvm_options", SettingKind::Text},
    SettingInfo{Setting::ProgramArguments, "program_arguments", SettingKind::Text},
    SettingInfo{Setting::JavaOptionArguments, "java_option_arguments", SettingKind::Flag},
    SettingInfo{Setting::MinVersion, "min_version", SettingKind::Text},
    SettingInfo{Setting::MaxVersion, "max_version", SettingKind::Text},
    SettingInfo{Setting::SearchSequence, "search_sequence", SettingKind::Text},
    SettingInfo{Setting::AllowBeta, "allow_beta", SettingKind::Flag},
    SettingInfo{Setting::RequireJdk, "require_jdk", SettingKind::Flag},
    SettingInfo{Setting::ModulePath, "module_path", SettingKind::Text},
    SettingInfo{Setting::MainFromModulePath, "main_from_module_path", SettingKind::Flag},
    SettingInfo{Setting::AcceptUnvalidatedDirectories, "accept_unvalidated_directories",
                SettingKind::Flag},
    SettingInfo{Setting::WorkingDirectory, "working_directory", SettingKind::Text},
    SettingInfo{Setting::ServiceDependencies, "service_dependencies", SettingKind::Text},
    SettingInfo{Setting::JvmVariant, "jvm_variant", SettingKind::Text},
    SettingInfo{Setting::AddDllDirectories, "add_dll_directories", SettingKind::Flag},
    SettingInfo{Setting::SingleInstanceMachineWide, "single_instance_machine_wide",
                SettingKind::Flag},
    SettingInfo{Setting::ApplicationId, "application_id", SettingKind::Text},
    SettingInfo{Setting::SplashConfigured, "splash_configured", SettingKind::Flag},
    SettingInfo{Setting::SkipVendorRegistry, "skip_vendor_registry", SettingKind::Flag},
    SettingInfo{Setting::ReadVmOptionsFile, "read_vmoptions_file", SettingKind::Flag},
    SettingInfo{Setting::SingleInstanceSession, "single_instance_session", SettingKind::Flag},
    SettingInfo{Setting::ProductMarker, "product_marker", SettingKind::Text},
    SettingInfo{Setting::IncludedFileCount, "included_file_count", SettingKind::Number},
    SettingInfo{Setting::IncludedFileNames, "included_file_names", SettingKind::Text},
    SettingInfo{Setting::ApplicationDirectory, "application_directory", SettingKind::Text},
    SettingInfo{Setting::NativeLibraryDirectories, "native_library_directories", SettingKind::Text},
    SettingInfo{Setting::SingleInstance, "single_instance", SettingKind::Flag},
    SettingInfo{Setting::RaiseOtherInstance, "raise_other_instance", SettingKind::Flag},
    SettingInfo{Setting::PreferLongTempPath, "prefer_long_temp_path", SettingKind::Flag},
    SettingInfo{Setting::ReducePath, "reduce_path", SettingKind::Flag},
    SettingInfo{Setting::IgnoreJavaOptionVariables, "ignore_java_option_variables",
                SettingKind::Flag},
    SettingInfo{Setting::LocalAppDataTempFirst, "local_app_data_temp_first", SettingKind::Flag},
    SettingInfo{Setting::SplashNumber1a, "splash_number_1a", SettingKind::Number},
    SettingInfo{Setting::SplashNumber1b, "splash_number_1b", SettingKind::Number},
    SettingInfo{Setting::SplashText1, "splash_text_1", SettingKind::Text},
    SettingInfo{Setting::SplashNumber2a, "splash_number_2a", SettingKind::Number},
    SettingInfo{Setting::SplashText2, "splash_text_2", SettingKind::Text},
    SettingInfo{Setting::SplashNumber2b, "splash_number_2b", SettingKind::Number},
    SettingInfo{Setting::SplashNumber3a, "splash_number_3a", SettingKind::Number},
    SettingInfo{Setting::SplashNumber3b, "splash_number_3b", SettingKind::Number},
    SettingInfo{Setting::SplashText3, "splash_text_3", SettingKind::Text},
    SettingInfo{Setting::SplashNumber4a, "splash_number_4a", SettingKind::Number},
    SettingInfo{Setting::SplashText4, "splash_text_4", SettingKind::Text},
    SettingInfo{Setting::SplashNumber4b, "splash_number_4b", SettingKind::Number},
    SettingInfo{Setting::VersionOptionCount, "version_option_count", SettingKind::Number},
};

inline constexpr std::array kMessages{
    MessageInfo{Message::ErrorCaption, "error_caption"},
    MessageInfo{Message::RegistryJvmNotLoaded, "registry_jvm_not_loaded"},
    MessageInfo{Message::RequiredPathMissing, "required_path_missing"},
    MessageInfo{Message::RequiredVariableMissing, "required_variable_missing"},
    MessageInfo{Message::SetupFailed, "setup_failed"},
    MessageInfo{Message::LauncherClassNotFound, "launcher_class_not_found"},
    MessageInfo{Message::MainMethodNotFound, "main_method_not_found"},
    MessageInfo{Message::NoTempFolder, "no_temp_folder"},
    MessageInfo{Message::NoJvmFound, "no_jvm_found"},
    MessageInfo{Message::EnvironmentJvmNotLoaded, "environment_jvm_not_loaded"},
    MessageInfo{Message::DirectoryJvmNotLoaded, "directory_jvm_not_loaded"},
    MessageInfo{Message::UnpackNotStarted, "unpack_not_started"},
    MessageInfo{Message::ServiceDescription, "service_description"},
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
// fallback text), or one of the numbered version-specific lines.
class ConfigId {
public:
    constexpr ConfigId(Setting setting) : value_(idOf(setting)) {}
    constexpr ConfigId(Message message) : value_(idOf(message)) {}
    // Version-specific line i (from 0): its condition, and its options one id above.
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
    for (size_t i = 0; i < table.size(); ++i) {
        for (size_t j = i + 1; j < table.size(); ++j) {
            if (table[i].id == table[j].id || table[i].key == table[j].key) return false;
        }
    }
    return true;
}
static_assert(namedOnce(kSettings));
static_assert(namedOnce(kMessages));

}  // namespace launcher
