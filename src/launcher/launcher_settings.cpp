#include "launcher/launcher_settings.h"

#include <cstddef>
#include <type_traits>

#include "common/limits.h"
#include "config/splash_groups.h"

namespace launcher {

namespace {

// How one setting is read and what kind of member it fills.
enum class Field : uint8_t {
    Flag,     // bool: the number is not 0
    Number,   // int32_t: C atoi of the text (read as into a 6000-byte buffer)
    Text,     // std::string: at most limit - 1 bytes, a cut logged
    Whole,    // std::string: the whole text
    Wide,     // std::wstring: the text widened byte by byte
    WideCut,  // std::wstring: widened, at most limit - 1 characters, a cut logged
};

struct Row {
    Setting id;
    Field field;
    uint16_t limit;   // Text and WideCut only
    uint16_t offset;  // of the member inside Settings
};

// Settings is one plain aggregate of groups, so a member's place is a fixed offset.
static_assert(std::is_standard_layout_v<Settings>);
static_assert(sizeof(Settings) <= UINT16_MAX);

#define LAUNCHER_FIELD(id, field, limit, member)                     \
    Row {                                                            \
        Setting::id, Field::field, limit, offsetof(Settings, member) \
    }

constexpr uint16_t kText = kBufferLength;
constexpr uint16_t kBound = kVersionBoundLength;
constexpr uint16_t kVariant = kJvmVariantLength;

// Every setting that is read as it is written, group by group.
constexpr Row kRows[] = {
    // Start-up.
    LAUNCHER_FIELD(LauncherKind, Number, 0, start.launcherKind),
    LAUNCHER_FIELD(ReducePath, Flag, 0, start.reducePath),
    LAUNCHER_FIELD(IgnoreJavaOptionVariables, Flag, 0, start.ignoreJavaOptionVariables),
    LAUNCHER_FIELD(WorkingDirectory, Wide, 0, start.workingDirectory),
    LAUNCHER_FIELD(ServiceName, Wide, 0, start.serviceName),
    LAUNCHER_FIELD(PreferLongTempPath, Flag, 0, temp.preferLongPaths),
    LAUNCHER_FIELD(LocalAppDataTempFirst, Flag, 0, temp.localAppDataFirst),
    // The run road before the search.
    LAUNCHER_FIELD(IncludedFileCount, Number, 0, extraction.fileCount),
    LAUNCHER_FIELD(NativeLibraryDirectories, Whole, 0, nativePath.directories),
    LAUNCHER_FIELD(AddDllDirectories, Flag, 0, nativePath.addDllDirectories),
    LAUNCHER_FIELD(SingleInstanceMachineWide, Flag, 0, instance.machineWide),
    LAUNCHER_FIELD(SingleInstanceSession, Flag, 0, instance.session),
    LAUNCHER_FIELD(SingleInstance, Flag, 0, instance.singleInstance),
    LAUNCHER_FIELD(RaiseOtherInstance, Flag, 0, instance.raiseOtherInstance),
    // The search.
    LAUNCHER_FIELD(MinVersion, Text, kBound, discovery.minVersion),
    LAUNCHER_FIELD(MaxVersion, Text, kBound, discovery.maxVersion),
    LAUNCHER_FIELD(SearchSequence, Text, kText, discovery.searchSequence),
    LAUNCHER_FIELD(AllowBeta, Flag, 0, discovery.allowBetaAlways),
    LAUNCHER_FIELD(RequireJdk, Flag, 0, discovery.requireJdk),
    LAUNCHER_FIELD(AcceptUnvalidatedDirectories, Flag, 0, discovery.acceptUnvalidated),
    LAUNCHER_FIELD(JvmVariant, Text, kVariant, discovery.jvmVariant),
    LAUNCHER_FIELD(AddDllDirectories, Flag, 0, discovery.addDllDirectories),
    LAUNCHER_FIELD(ApplicationId, Text, kText, discovery.applicationId),
    LAUNCHER_FIELD(SkipVendorRegistry, Flag, 0, discovery.skipVendorRegistry),
    LAUNCHER_FIELD(ApplicationDirectory, Wide, 0, discovery.applicationDirectory),
    // The option list.
    LAUNCHER_FIELD(JvmOptions, Wide, 0, options.configured.jvmOptions),
    LAUNCHER_FIELD(VersionOptionCount, Number, 0, options.configured.versionLineCount),
    LAUNCHER_FIELD(ReadVmOptionsFile, Flag, 0, options.readDefaultVmOptionsFile),
    LAUNCHER_FIELD(JavaOptionArguments, Flag, 0, options.javaOptionArguments),
    LAUNCHER_FIELD(MainFromModulePath, Flag, 0, options.moduleMode),
    LAUNCHER_FIELD(MainClass, Text, kText, options.mainClass),
    LAUNCHER_FIELD(ClassPath, Whole, 0, options.classPathEntries),
    LAUNCHER_FIELD(ModulePath, Whole, 0, options.modulePathEntries),
    LAUNCHER_FIELD(ApplicationDirectory, Whole, 0, options.applicationDirectory),
    // The JVM thread.
    LAUNCHER_FIELD(MainFromModulePath, Flag, 0, launch.arguments.moduleMode),
    LAUNCHER_FIELD(MainClass, Wide, 0, launch.arguments.mainClass),
    LAUNCHER_FIELD(PassFirstPath, Flag, 0, launch.arguments.passFirstPath),
    LAUNCHER_FIELD(FirstPath, Wide, 0, launch.arguments.firstPath),
    LAUNCHER_FIELD(PassSecondPath, Flag, 0, launch.arguments.passSecondPath),
    LAUNCHER_FIELD(SecondPath, Wide, 0, launch.arguments.secondPath),
    LAUNCHER_FIELD(LauncherFlag, Flag, 0, launch.arguments.launcherFlag),
    LAUNCHER_FIELD(ProgramArguments, Wide, 0, launch.arguments.programArguments),
    LAUNCHER_FIELD(JavaOptionArguments, Flag, 0, launch.arguments.javaOptionArguments),
    LAUNCHER_FIELD(SplashSettings, Flag, 0, launch.passSplash),
    LAUNCHER_FIELD(OutputRotateSize, Number, 0, launch.outputRotateSize),
    LAUNCHER_FIELD(OutputKeep, Number, 0, launch.outputKeep),
    // The service commands and the service host.
    LAUNCHER_FIELD(DelayedAutoStart, Flag, 0, service.install.delayedAutoStart),
    LAUNCHER_FIELD(ServiceDisplayName, WideCut, kText, service.install.displayName),
    LAUNCHER_FIELD(RecoveryActions, Text, kText, service.install.recoveryActions),
    LAUNCHER_FIELD(RecoveryDelay, Number, 0, service.install.recoveryDelaySeconds),
    LAUNCHER_FIELD(RecoveryResetAfter, Number, 0, service.install.recoveryResetAfterSeconds),
    LAUNCHER_FIELD(RecoveryOnErrorExit, Flag, 0, service.install.recoveryOnErrorExit),
    LAUNCHER_FIELD(ServiceAccount, WideCut, kText, service.install.account),
    LAUNCHER_FIELD(PasswordVariable, WideCut, kText, service.install.passwordVariable),
    LAUNCHER_FIELD(ServiceDependencies, WideCut, kText, service.install.dependencies),
    LAUNCHER_FIELD(KillChildWithHost, Flag, 0, service.host.killChildWithHost),
};

#undef LAUNCHER_FIELD

template <typename T>
T& member(Settings& settings, uint16_t offset) {
    return *reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(&settings) + offset);
}

void readRow(const ConfigView& config, const Row& row, Settings& settings) {
    switch (row.field) {
        case Field::Flag:
            member<bool>(settings, row.offset) = config.flag(row.id);
            break;
        case Field::Number:
            member<int32_t>(settings, row.offset) = config.number(row.id);
            break;
        case Field::Text:
            config.text(row.id, row.limit, member<std::string>(settings, row.offset));
            break;
        case Field::Whole:
            config.whole(row.id, member<std::string>(settings, row.offset));
            break;
        case Field::Wide:
            config.wide(row.id, member<std::wstring>(settings, row.offset));
            break;
        case Field::WideCut:
            config.wideCut(row.id, row.limit, member<std::wstring>(settings, row.offset));
            break;
    }
}

}  // namespace

Settings buildSettings(const ConfigView& config) {
    Settings settings;
    for (const Row& row : kRows) readRow(config, row, settings);

    // Values the rows do not hold as written.
    const int32_t kind = settings.start.launcherKind;
    std::string text;
    config.text(Setting::ProductMarker, 2, text);
    settings.start.productMarker = text.c_str()[0];
    config.whole(Setting::IncludedFileNames, text);
    settings.extraction.fileNames = includedFileNames(text);
    settings.discovery.useWindowedJava = kind == 1;
    settings.launch.arguments.windowedLauncher = kind == 1;
    settings.service.install.launcherKind = kind;
    settings.service.host.stopTimeoutSeconds =
        stopTimeoutSeconds(config.number(Setting::StopTimeout));
    settings.service.host.reportChildFailure = !settings.service.install.recoveryActions.empty();

    ConfiguredVmOptions& configured = settings.options.configured;
    const int32_t count = configured.versionLineCount;
    const int32_t lines = count < kMaxVersionLines ? count : kMaxVersionLines;
    for (int32_t i = 0; i < lines; ++i) {
        configured.versionConditions.push_back(std::string());
        config.whole(ConfigId::versionCondition(i), configured.versionConditions.back());
        configured.versionOptions.push_back(std::wstring());
        config.wide(ConfigId::versionOptions(i), configured.versionOptions.back());
    }

    // The splash settings are read only when they are passed on.
    if (settings.launch.passSplash) {
        SplashSettings& splash = settings.launch.splash;
        splash.flag = config.flag(Setting::SplashConfigured);
        for (size_t i = 0; i < SplashSettings::kGroupCount; ++i) {
            config.text(kSplashGroups[i].text, kSplashTextLength, splash.groups[i].text);
            splash.groups[i].first = config.number(kSplashGroups[i].first);
            splash.groups[i].second = config.number(kSplashGroups[i].second);
        }
    }
    return settings;
}

}  // namespace launcher
