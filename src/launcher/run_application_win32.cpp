#include "launcher/run_application.h"

#include "common/fatal.h"
#include "common/log.h"
#include "env/path_environment.h"
#include "env/paths.h"
#include "env/temp_dir.h"
#include "instance/instance_guard.h"
#include "jvm/discovery/discovery.h"
#include "jvm/launch/launch.h"
#include "jvm/launch/launch_arguments.h"
#include "jvm/launch/system_properties.h"
#include "jvm/options/assembly.h"
#include "launcher/extraction.h"
#include "service/service_host.h"

namespace launcher {

namespace {

// The option list for the selected runtime, from every configured and outside source, and the
// class-data archive to finish after a normal end.
AssembledOptions assembleJvmOptions(const LauncherState& state, const Settings& settings,
                                    const Extraction& extraction, const RunDirectory& run,
                                    const SelectedRuntime& runtime,
                                    const std::string& semaphoreName,
                                    const std::vector<std::wstring>& arguments) {
    const bool parcelkit = state.productMarker == kParcelkitMarker;
    SystemPropertyInputs properties = currentSystemPropertyInputs();
    properties.semaphoreName = semaphoreName;
    properties.usedPreviousInstallationJvm = runtime.usedPreviousInstallationJvm;
    properties.parcelkitFamily = parcelkit;
    properties.serviceMode = state.serviceMode;
    properties.tempDirectory = run.path();
    properties.unextractedPosition = extraction.unextractedPosition;
    // Only a service child is asked to stop, by its host, which ends it after its own timeout.
    if (state.serviceMode) {
        properties.stopTimeoutSeconds =
            javaStopTimeoutSeconds(settings.service.host.stopTimeoutSeconds);
        properties.watchdogTimeoutSeconds = settings.service.host.watchdog.timeoutSeconds;
    }
    const int32_t rotateSize = settings.launch.outputRotateSize;
    if (rotateSize > 0) {
        properties.outputRotateSize = static_cast<uint32_t>(rotateSize);
        const int32_t keep = settings.launch.outputKeep;
        properties.outputKeep = keep > 0 ? static_cast<uint32_t>(keep) : 0;
    }

    AssemblyInputs inputs;
    inputs.systemProperties = launcherSystemProperties(properties);
    inputs.programArguments = arguments;
    inputs.jvmVersion = runtime.jvmVersion;
    inputs.jvmBinDirectory = runtime.jvmBinDirectory;
    inputs.languageCode = state.languageCode;
    inputs.countryCode = state.countryCode;
    const OptionSettings& options = settings.options;
    inputs.readDefaultVmOptionsFile = options.readDefaultVmOptionsFile;
    inputs.javaOptionArguments = options.javaOptionArguments;
    inputs.moduleMode = options.moduleMode;
    inputs.mainClass = options.mainClass;
    inputs.configured = &options.configured;
    inputs.classPathEntries = options.classPathEntries;
    inputs.modulePathEntries = options.modulePathEntries;
    inputs.applicationDirectory = options.applicationDirectory;
    inputs.serviceMode = state.serviceMode;
    inputs.noRedirect = state.noRedirect;
    inputs.parcelkitFamily = parcelkit;
    // Option lines may name the selected runtime's home.
    WindowsOptionSources sources(run, runtime.jvmHome);
    WindowsAssemblyMachine machine(run);
    WindowsClassDataMachine classData(state.serviceMode ? state.serviceName : std::wstring());
    if (options.classDataSharing) {
        ClassDataInputs& data = inputs.classData.emplace();
        data.jvmVersion = runtime.jvmVersion;
        data.jvmLibraryPath = runtime.jvmLibraryPath;
        if (!run.path().empty()) data.runDirectory = run.path() + "\\";
        machine.setClassDataMachine(&classData);
    }
    RunFailure failure;
    AssembledOptions assembled = buildJvmOptions(inputs, sources, machine, failure);
    if (failure) fatalMessage(failure);
    if (!assembled.refusal.empty()) fatalMessage(Message::SetupFailed, assembled.refusal);
    return assembled;
}

// How extraction's failure ends the launch; the partial file is already gone.
[[noreturn]] void extractionFailed(ExtractResult result, const BlockReader& reader,
                                   const RunFailure& failure) {
    switch (result) {
        case ExtractResult::BlockDamaged:
            logReadFailure(reader);
            fatalError(readFailureText(reader.failure()));
        case ExtractResult::NotCreated:
            fatalMessage(Message::SetupFailed, FailureDetail::IncludedFileNotCreated);
        case ExtractResult::NoDirectory:
            fatalMessage(failure);
        default:
            fatalMessage(Message::SetupFailed, FailureDetail::ExtractionFailed);
    }
}

}  // namespace

void runApplication(const LauncherState& state, const Settings& settings,
                    const OwnExecutable& executable, RunDirectory& run,
                    std::vector<std::wstring>& arguments, bool serviceChild) {
    // Why the run cannot go on, filled in by the floor that meets such a failure.
    RunFailure failure;
    const Extraction extraction = extractIncludedFiles(
        executable.block.reader(), executable.blockEnd, settings.extraction.fileCount,
        settings.extraction.fileNames, run, true, failure);
    if (extraction.result != ExtractResult::Ok) {
        extractionFailed(extraction.result, executable.block.reader(), failure);
    }
    executable.block.close();
    if (!prependNativeLibraryPath(settings.nativePath.directories,
                                  settings.nativePath.addDllDirectories, run)) {
        fatalMessage(Message::NoTempFolder);
    }
    if (serviceChild) registerConsoleCtrlHandler();
    // A second instance in single-instance mode ends here, before any JVM is looked for.
    const std::optional<std::string> semaphoreName = acquireInstanceGuard(settings.instance);
    if (!semaphoreName) exitLauncher(0);
    // The search has shown the user why when nothing loaded.
    const std::optional<SelectedRuntime> runtime = LoadDLL(settings.discovery, run, true, failure);
    if (failure) fatalMessage(failure);
    if (!runtime) exitLauncher(1);
    logMessage(L"launching program");
    LaunchRequest request;
    request.createJavaVm = runtime->createJavaVm;
    AssembledOptions assembled =
        assembleJvmOptions(state, settings, extraction, run, *runtime, *semaphoreName, arguments);
    request.options = std::move(assembled.options);
    if (const std::optional<ClassDataWrite>& write = assembled.classDataWrite) {
        request.afterNormalEnd = [write = *write, serviceName = state.serviceName]() {
            WindowsClassDataMachine machine(serviceName);
            finishClassData(write, machine);
        };
    }
    request.elements = launcherArguments(
        launcherArgumentInputs(settings.launch.arguments, run, runtime->jvmHome), arguments);
    request.parcelkitFamily = state.productMarker == kParcelkitMarker;
    request.legacyMinimumVersion = runtime->legacyMinimumVersion;
    request.executablePath = executablePathW();
    // The helper library lies in the application directory as configured.
    request.applicationDirectory = settings.discovery.applicationDirectory;
    if (settings.launch.passSplash) request.splash = &settings.launch.splash;
    // The per-run directory stays: the application was told where it is.
    if (!launchProgram(request)) exitLauncher(1);
}

}  // namespace launcher
