#include "launcher/launcher_settings.h"

#include "common/limits.h"
#include "config/splash_groups.h"

namespace launcher {

namespace {

void startSettings(const ConfigView& config, StartSettings& start) {
    start.launcherKind = config.number(Setting::LauncherKind);
    std::string marker;
    config.text(Setting::ProductMarker, 2, marker);
    start.productMarker = marker.c_str()[0];
    start.reducePath = config.flag(Setting::ReducePath);
    start.ignoreJavaOptionVariables = config.flag(Setting::IgnoreJavaOptionVariables);
    config.wide(Setting::WorkingDirectory, start.workingDirectory);
    config.wide(Setting::ServiceName, start.serviceName);
}

void discoverySettings(const ConfigView& config, int32_t launcherKind,
                       DiscoverySettings& discovery) {
    config.text(Setting::MinVersion, kVersionBoundLength, discovery.minVersion);
    config.text(Setting::MaxVersion, kVersionBoundLength, discovery.maxVersion);
    config.text(Setting::SearchSequence, kBufferLength, discovery.searchSequence);
    discovery.useWindowedJava = launcherKind == 1;
    discovery.allowBetaAlways = config.flag(Setting::AllowBeta);
    discovery.requireJdk = config.flag(Setting::RequireJdk);
    discovery.acceptUnvalidated = config.flag(Setting::AcceptUnvalidatedDirectories);
    config.text(Setting::JvmVariant, kJvmVariantLength, discovery.jvmVariant);
    discovery.addDllDirectories = config.flag(Setting::AddDllDirectories);
    config.text(Setting::ApplicationId, kBufferLength, discovery.applicationId);
    discovery.skipVendorRegistry = config.flag(Setting::SkipVendorRegistry);
    config.wide(Setting::ApplicationDirectory, discovery.applicationDirectory);
}

void optionSettings(const ConfigView& config, OptionSettings& options) {
    config.wide(Setting::JvmOptions, options.configured.jvmOptions);
    const int32_t count = config.number(Setting::VersionOptionCount);
    options.configured.versionLineCount = count;
    const int32_t lines = count < kMaxVersionLines ? count : kMaxVersionLines;
    for (int32_t i = 0; i < lines; ++i) {
        options.configured.versionConditions.push_back(std::string());
        config.whole(ConfigId::versionCondition(i), options.configured.versionConditions.back());
        options.configured.versionOptions.push_back(std::wstring());
        config.wide(ConfigId::versionOptions(i), options.configured.versionOptions.back());
    }
    options.readDefaultVmOptionsFile = config.flag(Setting::ReadVmOptionsFile);
    options.javaOptionArguments = config.flag(Setting::JavaOptionArguments);
    options.moduleMode = config.flag(Setting::MainFromModulePath);
    config.text(Setting::MainClass, kBufferLength, options.mainClass);
    config.whole(Setting::ClassPath, options.classPathEntries);
    config.whole(Setting::ModulePath, options.modulePathEntries);
    config.whole(Setting::ApplicationDirectory, options.applicationDirectory);
}

void launchSettings(const ConfigView& config, int32_t launcherKind, LaunchSettings& launch) {
    LauncherArgumentSettings& arguments = launch.arguments;
    arguments.windowedLauncher = launcherKind == 1;
    arguments.moduleMode = config.flag(Setting::MainFromModulePath);
    config.wide(Setting::MainClass, arguments.mainClass);
    arguments.passFirstPath = config.flag(Setting::PassFirstPath);
    config.wide(Setting::FirstPath, arguments.firstPath);
    arguments.passSecondPath = config.flag(Setting::PassSecondPath);
    config.wide(Setting::SecondPath, arguments.secondPath);
    arguments.launcherFlag = config.flag(Setting::LauncherFlag);
    config.wide(Setting::ProgramArguments, arguments.programArguments);
    arguments.javaOptionArguments = config.flag(Setting::JavaOptionArguments);
    if (config.flag(Setting::SplashSettings)) {
        SplashSettings& splash = launch.splash.emplace();
        splash.flag = config.flag(Setting::SplashConfigured);
        for (size_t i = 0; i < SplashSettings::kGroupCount; ++i) {
            config.text(kSplashGroups[i].text, kSplashTextLength, splash.groups[i].text);
            splash.groups[i].first = config.number(kSplashGroups[i].first);
            splash.groups[i].second = config.number(kSplashGroups[i].second);
        }
    }
    config.wide(Setting::ApplicationDirectory, launch.applicationDirectory);
    launch.outputRotateSize = config.number(Setting::OutputRotateSize);
    launch.outputKeep = config.number(Setting::OutputKeep);
}

void serviceSettings(const ConfigView& config, int32_t launcherKind, ServiceSettings& service) {
    ServiceInstallOptions& install = service.install;
    install.delayedAutoStart = config.flag(Setting::DelayedAutoStart);
    config.wideCut(Setting::ServiceDisplayName, kBufferLength, install.displayName);
    config.text(Setting::RecoveryActions, kBufferLength, install.recoveryActions);
    install.recoveryDelaySeconds = config.number(Setting::RecoveryDelay);
    install.recoveryResetAfterSeconds = config.number(Setting::RecoveryResetAfter);
    install.recoveryOnErrorExit = config.flag(Setting::RecoveryOnErrorExit);
    config.wideCut(Setting::ServiceAccount, kBufferLength, install.account);
    config.wideCut(Setting::PasswordVariable, kBufferLength, install.passwordVariable);
    install.launcherKind = launcherKind;
    config.wideCut(Setting::ServiceDependencies, kBufferLength, install.dependencies);
    ServiceHostOptions& host = service.host;
    host.stopTimeoutSeconds = stopTimeoutSeconds(config.number(Setting::StopTimeout));
    host.killChildWithHost = config.flag(Setting::KillChildWithHost);
    host.reportChildFailure = !install.recoveryActions.empty();
}

}  // namespace

Settings buildSettings(const ConfigView& config) {
    Settings settings;
    settings.temp = {config.flag(Setting::PreferLongTempPath),
                     config.flag(Setting::LocalAppDataTempFirst)};
    startSettings(config, settings.start);
    const int32_t kind = settings.start.launcherKind;
    settings.extraction.fileCount = config.number(Setting::IncludedFileCount);
    std::string names;
    config.whole(Setting::IncludedFileNames, names);
    settings.extraction.fileNames = includedFileNames(names);
    config.whole(Setting::NativeLibraryDirectories, settings.nativePath.directories);
    settings.nativePath.addDllDirectories = config.flag(Setting::AddDllDirectories);
    settings.instance.machineWide = config.flag(Setting::SingleInstanceMachineWide);
    settings.instance.session = config.flag(Setting::SingleInstanceSession);
    settings.instance.singleInstance = config.flag(Setting::SingleInstance);
    settings.instance.raiseOtherInstance = config.flag(Setting::RaiseOtherInstance);
    discoverySettings(config, kind, settings.discovery);
    optionSettings(config, settings.options);
    launchSettings(config, kind, settings.launch);
    serviceSettings(config, kind, settings.service);
    return settings;
}

}  // namespace launcher
