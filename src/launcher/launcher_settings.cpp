#include "launcher/launcher_settings.h"

#include "common/limits.h"
#include "config/splash_groups.h"

namespace launcher {

namespace {

StartSettings startSettings(const ConfigView& config) {
    StartSettings start;
    start.launcherKind = config.number(Setting::LauncherKind);
    start.productMarker = config.text(Setting::ProductMarker, 2).c_str()[0];
    start.reducePath = config.flag(Setting::ReducePath);
    start.ignoreJavaOptionVariables = config.flag(Setting::IgnoreJavaOptionVariables);
    start.workingDirectory = config.wide(Setting::WorkingDirectory);
    start.serviceName = config.wide(Setting::ServiceName);
    return start;
}

DiscoverySettings discoverySettings(const ConfigView& config, int32_t launcherKind) {
    DiscoverySettings discovery;
    discovery.minVersion = config.text(Setting::MinVersion, kVersionBoundLength);
    discovery.maxVersion = config.text(Setting::MaxVersion, kVersionBoundLength);
    discovery.searchSequence = config.text(Setting::SearchSequence, kBufferLength);
    discovery.useWindowedJava = launcherKind == 1;
    discovery.allowBetaAlways = config.flag(Setting::AllowBeta);
    discovery.requireJdk = config.flag(Setting::RequireJdk);
    discovery.acceptUnvalidated = config.flag(Setting::AcceptUnvalidatedDirectories);
    discovery.jvmVariant = config.text(Setting::JvmVariant, kJvmVariantLength);
    discovery.addDllDirectories = config.flag(Setting::AddDllDirectories);
    discovery.applicationId = config.text(Setting::ApplicationId, kBufferLength);
    discovery.skipVendorRegistry = config.flag(Setting::SkipVendorRegistry);
    discovery.applicationDirectory = config.wide(Setting::ApplicationDirectory);
    return discovery;
}

OptionSettings optionSettings(const ConfigView& config) {
    OptionSettings options;
    options.configured.jvmOptions = config.wide(Setting::JvmOptions);
    const int32_t count = config.number(Setting::VersionOptionCount);
    options.configured.versionLineCount = count;
    const int32_t lines = count < kMaxVersionLines ? count : kMaxVersionLines;
    for (int32_t i = 0; i < lines; ++i) {
        options.configured.versionLines.push_back({config.whole(ConfigId::versionCondition(i)),
                                                   config.wide(ConfigId::versionOptions(i))});
    }
    options.readDefaultVmOptionsFile = config.flag(Setting::ReadVmOptionsFile);
    options.javaOptionArguments = config.flag(Setting::JavaOptionArguments);
    options.moduleMode = config.flag(Setting::MainFromModulePath);
    options.mainClass = config.text(Setting::MainClass, kBufferLength);
    options.classPathEntries = config.whole(Setting::ClassPath);
    options.modulePathEntries = config.whole(Setting::ModulePath);
    options.applicationDirectory = config.whole(Setting::ApplicationDirectory);
    return options;
}

LaunchSettings launchSettings(const ConfigView& config, int32_t launcherKind) {
    LaunchSettings launch;
    LauncherArgumentSettings& arguments = launch.arguments;
    arguments.windowedLauncher = launcherKind == 1;
    arguments.moduleMode = config.flag(Setting::MainFromModulePath);
    arguments.mainClass = config.wide(Setting::MainClass);
    arguments.passFirstPath = config.flag(Setting::PassFirstPath);
    arguments.firstPath = config.wide(Setting::FirstPath);
    arguments.passSecondPath = config.flag(Setting::PassSecondPath);
    arguments.secondPath = config.wide(Setting::SecondPath);
    arguments.launcherFlag = config.flag(Setting::LauncherFlag);
    arguments.programArguments = config.wide(Setting::ProgramArguments);
    arguments.javaOptionArguments = config.flag(Setting::JavaOptionArguments);
    if (config.flag(Setting::SplashSettings)) {
        SplashSettings splash;
        splash.flag = config.flag(Setting::SplashConfigured);
        for (size_t i = 0; i < SplashSettings::kGroupCount; ++i) {
            splash.groups[i].text = config.text(kSplashGroups[i].text, kSplashTextLength);
            splash.groups[i].first = config.number(kSplashGroups[i].first);
            splash.groups[i].second = config.number(kSplashGroups[i].second);
        }
        launch.splash = std::move(splash);
    }
    launch.applicationDirectory = config.wide(Setting::ApplicationDirectory);
    launch.outputRotateSize = config.number(Setting::OutputRotateSize);
    launch.outputKeep = config.number(Setting::OutputKeep);
    return launch;
}

ServiceSettings serviceSettings(const ConfigView& config, int32_t launcherKind) {
    ServiceSettings service;
    ServiceInstallOptions& install = service.install;
    install.delayedAutoStart = config.flag(Setting::DelayedAutoStart);
    install.displayName = config.wideCut(Setting::ServiceDisplayName, kBufferLength);
    install.recoveryActions = config.text(Setting::RecoveryActions, kBufferLength);
    install.recoveryDelaySeconds = config.number(Setting::RecoveryDelay);
    install.recoveryResetAfterSeconds = config.number(Setting::RecoveryResetAfter);
    install.recoveryOnErrorExit = config.flag(Setting::RecoveryOnErrorExit);
    install.account = config.wideCut(Setting::ServiceAccount, kBufferLength);
    install.passwordVariable = config.wideCut(Setting::PasswordVariable, kBufferLength);
    install.launcherKind = launcherKind;
    install.dependencies = config.wideCut(Setting::ServiceDependencies, kBufferLength);
    ServiceHostOptions& host = service.host;
    host.stopTimeoutSeconds = stopTimeoutSeconds(config.number(Setting::StopTimeout));
    host.killChildWithHost = config.flag(Setting::KillChildWithHost);
    host.reportChildFailure = !install.recoveryActions.empty();
    return service;
}

}  // namespace

Settings buildSettings(const ConfigView& config) {
    Settings settings;
    settings.temp = {config.flag(Setting::PreferLongTempPath),
                     config.flag(Setting::LocalAppDataTempFirst)};
    settings.start = startSettings(config);
    const int32_t kind = settings.start.launcherKind;
    settings.extraction.fileCount = config.number(Setting::IncludedFileCount);
    settings.extraction.fileNames = includedFileNames(config.whole(Setting::IncludedFileNames));
    settings.nativePath = {config.whole(Setting::NativeLibraryDirectories),
                           config.flag(Setting::AddDllDirectories)};
    settings.instance.machineWide = config.flag(Setting::SingleInstanceMachineWide);
    settings.instance.session = config.flag(Setting::SingleInstanceSession);
    settings.instance.singleInstance = config.flag(Setting::SingleInstance);
    settings.instance.raiseOtherInstance = config.flag(Setting::RaiseOtherInstance);
    settings.discovery = discoverySettings(config, kind);
    settings.options = optionSettings(config);
    settings.launch = launchSettings(config, kind);
    settings.service = serviceSettings(config, kind);
    return settings;
}

}  // namespace launcher
