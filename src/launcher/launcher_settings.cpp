#include "launcher/launcher_settings.h"

#include "common/limits.h"
#include "config/splash_groups.h"
#include "launcher/settings_rows.h"

namespace launcher {

namespace {

// Every id a row names fits its 16 bits.
constexpr bool idsFit() {
    for (const SettingInfo& info : kSettings) {
        if (idOf(info.id) < 0 || idOf(info.id) > UINT16_MAX) return false;
    }
    return true;
}
static_assert(idsFit());

// Every setting that is read as it is written, group by group.
constexpr Row kRows[] = {
    // Start-up.
    LAUNCHER_FIELD(LauncherKind, Number, start.launcherKind),
    LAUNCHER_FIELD(ReducePath, Flag, start.reducePath),
    LAUNCHER_FIELD(IgnoreJavaOptionVariables, Flag, start.ignoreJavaOptionVariables),
    LAUNCHER_FIELD(WorkingDirectory, Wide, start.workingDirectory),
    LAUNCHER_FIELD(ServiceName, Wide, start.serviceName),
    LAUNCHER_FIELD(PreferLongTempPath, Flag, temp.preferLongPaths),
    LAUNCHER_FIELD(LocalAppDataTempFirst, Flag, temp.localAppDataFirst),
    // The run road before the search.
    LAUNCHER_FIELD(IncludedFileCount, Number, extraction.fileCount),
    LAUNCHER_FIELD(NativeLibraryDirectories, Whole, nativePath.directories),
    LAUNCHER_FIELD(AddDllDirectories, Flag, nativePath.addDllDirectories),
    LAUNCHER_FIELD(SingleInstanceMachineWide, Flag, instance.machineWide),
    LAUNCHER_FIELD(SingleInstanceSession, Flag, instance.session),
    LAUNCHER_FIELD(SingleInstance, Flag, instance.singleInstance),
    LAUNCHER_FIELD(RaiseOtherInstance, Flag, instance.raiseOtherInstance),
    // The search.
    LAUNCHER_FIELD(MinVersion, Bound, discovery.minVersion),
    LAUNCHER_FIELD(MaxVersion, Bound, discovery.maxVersion),
    LAUNCHER_FIELD(SearchSequence, Text, discovery.searchSequence),
    LAUNCHER_FIELD(AllowBeta, Flag, discovery.allowBetaAlways),
    LAUNCHER_FIELD(RequireJdk, Flag, discovery.requireJdk),
    LAUNCHER_FIELD(AcceptUnvalidatedDirectories, Flag, discovery.acceptUnvalidated),
    LAUNCHER_FIELD(JvmVariant, Variant, discovery.jvmVariant),
    LAUNCHER_FIELD(ApplicationId, Text, discovery.applicationId),
    LAUNCHER_FIELD(SkipVendorRegistry, Flag, discovery.skipVendorRegistry),
    LAUNCHER_FIELD(ApplicationDirectory, Wide, discovery.applicationDirectory),
    // The option list.
    LAUNCHER_FIELD(JvmOptions, Wide, options.configured.jvmOptions),
    LAUNCHER_FIELD(VersionOptionCount, Number, options.configured.versionLineCount),
    LAUNCHER_FIELD(ReadVmOptionsFile, Flag, options.readDefaultVmOptionsFile),
    LAUNCHER_FIELD(JavaOptionArguments, Flag, options.javaOptionArguments),
    LAUNCHER_FIELD(MainFromModulePath, Flag, options.moduleMode),
    LAUNCHER_FIELD(MainClass, Text, options.mainClass),
    LAUNCHER_FIELD(ClassPath, Whole, options.classPathEntries),
    LAUNCHER_FIELD(ModulePath, Whole, options.modulePathEntries),
    LAUNCHER_FIELD(ApplicationDirectory, Whole, options.applicationDirectory),
    LAUNCHER_FIELD(ClassDataSharing, Flag, options.classDataSharing),
    // The JVM thread.
    LAUNCHER_FIELD(MainClass, Wide, launch.arguments.mainClass),
    LAUNCHER_FIELD(PassFirstPath, Flag, launch.arguments.passFirstPath),
    LAUNCHER_FIELD(FirstPath, Wide, launch.arguments.firstPath),
    LAUNCHER_FIELD(PassSecondPath, Flag, launch.arguments.passSecondPath),
    LAUNCHER_FIELD(SecondPath, Wide, launch.arguments.secondPath),
    LAUNCHER_FIELD(LauncherFlag, Flag, launch.arguments.launcherFlag),
    LAUNCHER_FIELD(ProgramArguments, Wide, launch.arguments.programArguments),
    LAUNCHER_FIELD(SplashSettings, Flag, launch.passSplash),
    LAUNCHER_FIELD(OutputRotateSize, Number, launch.outputRotateSize),
    LAUNCHER_FIELD(OutputKeep, Number, launch.outputKeep),
    // The service commands and the service host.
    LAUNCHER_FIELD(DelayedAutoStart, Flag, service.install.delayedAutoStart),
    LAUNCHER_FIELD(ServiceDisplayName, WideCut, service.install.displayName),
    LAUNCHER_FIELD(RecoveryActions, Text, service.install.recoveryActions),
    LAUNCHER_FIELD(RecoveryDelay, Number, service.install.recoveryDelaySeconds),
    LAUNCHER_FIELD(RecoveryResetAfter, Number, service.install.recoveryResetAfterSeconds),
    LAUNCHER_FIELD(RecoveryOnErrorExit, Flag, service.install.recoveryOnErrorExit),
    LAUNCHER_FIELD(ServiceAccount, WideCut, service.install.account),
    LAUNCHER_FIELD(PasswordVariable, WideCut, service.install.passwordVariable),
    LAUNCHER_FIELD(ServiceDependencies, WideCut, service.install.dependencies),
    LAUNCHER_FIELD(KillChildWithHost, Flag, service.host.killChildWithHost),
    LAUNCHER_FIELD(EventLog, Flag, service.host.eventLog),
};

template <typename T>
T& member(Settings& settings, uint16_t offset) {
    return *reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(&settings) + offset);
}

void readRow(const ConfigView& config, const Row& row, Settings& settings) {
    const auto id = static_cast<Setting>(row.id);
    const uint16_t offset = row.offset();
    const Field field = row.field();
    if (field == Field::Flag) {
        member<bool>(settings, offset) = config.flag(id);
    } else if (field == Field::Number) {
        member<int32_t>(settings, offset) = config.number(id);
    } else if (field == Field::Whole) {
        config.whole(id, member<std::string>(settings, offset));
    } else if (field == Field::Wide) {
        config.wide(id, member<std::wstring>(settings, offset));
    } else if (field == Field::WideCut) {
        config.wideCut(id, kBufferLength, member<std::wstring>(settings, offset));
    } else {
        const size_t limit = field == Field::Bound     ? kVersionBoundLength
                             : field == Field::Variant ? kJvmVariantLength
                                                       : kBufferLength;
        config.text(id, limit, member<std::string>(settings, offset));
    }
}

// The restart and watchdog numbers are bounded to a day, the quick failures to a thousand.
constexpr uint32_t kMaxRestartSeconds = 86400;
constexpr uint32_t kMaxRestartFailures = 1000;

// A number setting as the host uses it: fallback when the block lacks it or it lies below low,
// at most high.
uint32_t boundedNumber(const ConfigView& config, Setting id, int32_t low, uint32_t high,
                       uint32_t fallback) {
    if (!config.has(id)) return fallback;
    const int32_t n = config.number(id);
    if (n < low) return fallback;
    return static_cast<uint32_t>(n) < high ? static_cast<uint32_t>(n) : high;
}

// A block without these settings restarts nothing and watches nothing, as launchers did before.
RestartSettings restartSettings(const ConfigView& config) {
    RestartSettings restart;
    std::string on;
    config.text(Setting::RestartOnExit, kBufferLength, on);
    restart.on = on == "failure"  ? RestartOn::Failure
                 : on == "always" ? RestartOn::Always
                                  : RestartOn::Never;
    restart.delaySeconds =
        boundedNumber(config, Setting::RestartDelay, 0, kMaxRestartSeconds, restart.delaySeconds);
    const uint32_t atLeast = restart.delaySeconds > restart.maxDelaySeconds
                                 ? restart.delaySeconds
                                 : restart.maxDelaySeconds;
    restart.maxDelaySeconds =
        boundedNumber(config, Setting::RestartMaxDelay, static_cast<int32_t>(restart.delaySeconds),
                      kMaxRestartSeconds, atLeast);
    restart.successfulRunSeconds = boundedNumber(config, Setting::RestartSuccessfulRun, 0,
                                                 kMaxRestartSeconds, restart.successfulRunSeconds);
    restart.maxFailures = boundedNumber(config, Setting::RestartMaxFailures, 1, kMaxRestartFailures,
                                        restart.maxFailures);
    return restart;
}

WatchdogSettings watchdogSettings(const ConfigView& config) {
    WatchdogSettings watchdog;
    watchdog.intervalSeconds = boundedNumber(config, Setting::WatchdogInterval, 0,
                                             kMaxRestartSeconds, watchdog.intervalSeconds);
    watchdog.timeoutSeconds = boundedNumber(config, Setting::WatchdogTimeout, 1, kMaxRestartSeconds,
                                            watchdog.timeoutSeconds);
    return watchdog;
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
    // Read once, wanted in two places.
    settings.launch.arguments.moduleMode = settings.options.moduleMode;
    settings.launch.arguments.javaOptionArguments = settings.options.javaOptionArguments;
    settings.discovery.addDllDirectories = settings.nativePath.addDllDirectories;
    settings.service.install.launcherKind = kind;
    settings.service.host.stopTimeoutSeconds =
        stopTimeoutSeconds(config.number(Setting::StopTimeout));
    settings.service.host.reportChildFailure = !settings.service.install.recoveryActions.empty() &&
                                               settings.service.install.recoveryOnErrorExit;
    settings.service.host.recoveryConfigured = !settings.service.install.recoveryActions.empty();
    settings.service.host.restart = restartSettings(config);
    settings.service.host.watchdog = watchdogSettings(config);
    settings.service.install.eventLog = settings.service.host.eventLog;
    settings.service.install.preshutdownTimeoutMilliseconds =
        preshutdownTimeoutMilliseconds(settings.service.host.stopTimeoutSeconds);

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
