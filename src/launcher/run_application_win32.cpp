#include "launcher/run_application.h"

#include "common/fatal.h"
#include "common/log.h"
#include "config/config.h"
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

// The option list for the selected runtime, from every configured and outside source.
std::vector<std::string> assembleJvmOptions(const LauncherState& state,
                                            const Extraction& extraction,
                                            const SelectedRuntime& runtime,
                                            const std::string& semaphoreName,
                                            const std::vector<std::wstring>& arguments) {
    const bool parcelkit = state.productMarker == kParcelkitMarker;
    SystemPropertyInputs properties = currentSystemPropertyInputs();
    properties.semaphoreName = semaphoreName;
    properties.usedPreviousInstallationJvm = runtime.usedPreviousInstallationJvm;
    properties.parcelkitFamily = parcelkit;
    properties.serviceMode = state.serviceMode;
    properties.tempDirectory = tempDirectory();
    properties.unextractedPosition = extraction.unextractedPosition;
    // Only a service child is asked to stop, by its host, which ends it after its own timeout.
    if (state.serviceMode) {
        properties.stopTimeoutSeconds =
            javaStopTimeoutSeconds(stopTimeoutSeconds(getConfigInt(Setting::StopTimeout)));
    }
    const int32_t rotateSize = getConfigInt(Setting::OutputRotateSize);
    if (rotateSize > 0) {
        properties.outputRotateSize = static_cast<uint32_t>(rotateSize);
        const int32_t keep = getConfigInt(Setting::OutputKeep);
        properties.outputKeep = keep > 0 ? static_cast<uint32_t>(keep) : 0;
    }

    AssemblyInputs inputs;
    inputs.systemProperties = launcherSystemProperties(properties);
    inputs.programArguments = arguments;
    inputs.jvmVersion = runtime.jvmVersion;
    inputs.jvmBinDirectory = runtime.jvmBinDirectory;
    inputs.languageCode = state.languageCode;
    inputs.countryCode = state.countryCode;
    inputs.readDefaultVmOptionsFile = getConfigInt(Setting::ReadVmOptionsFile) != 0;
    inputs.javaOptionArguments = getConfigInt(Setting::JavaOptionArguments) != 0;
    inputs.moduleMode = getConfigInt(Setting::MainFromModulePath) != 0;
    inputs.mainClass = getConfigString(Setting::MainClass, kBufferLength);
    inputs.serviceMode = state.serviceMode;
    inputs.noRedirect = state.noRedirect;
    inputs.parcelkitFamily = parcelkit;
    // Option lines may name the selected runtime's home.
    AssembledOptions assembled =
        buildJvmOptions(inputs, windowsOptionSources(runtime.jvmHome), windowsAssemblyMachine());
    if (!assembled.refusal.empty()) fatalMessage(Message::SetupFailed, assembled.refusal);
    return std::move(assembled.options);
}

InstanceGuardSettings instanceGuardSettings() {
    InstanceGuardSettings settings;
    settings.machineWide = getConfigInt(Setting::SingleInstanceMachineWide) != 0;
    settings.session = getConfigInt(Setting::SingleInstanceSession) != 0;
    settings.singleInstance = getConfigInt(Setting::SingleInstance) != 0;
    settings.raiseOtherInstance = getConfigInt(Setting::RaiseOtherInstance) != 0;
    return settings;
}

}  // namespace

void runApplication(const LauncherState& state, const OwnExecutable& executable,
                    std::vector<std::wstring>& arguments, bool serviceChild) {
    const Extraction extraction = extractIncludedFiles(executable.path, executable.blockEnd, true);
    if (extraction.result != ExtractResult::Ok) {
        fatalMessage(Message::SetupFailed, FailureDetail::ExtractionFailed);
    }
    prependNativeLibraryPath(dupConfigString(Setting::NativeLibraryDirectories),
                             getConfigInt(Setting::AddDllDirectories) != 0);
    if (serviceChild) registerConsoleCtrlHandler();
    // A second instance in single-instance mode ends here, before any JVM is looked for.
    const std::string semaphoreName = acquireInstanceGuard(instanceGuardSettings());
    // The search has shown the user why when nothing loaded.
    const std::optional<SelectedRuntime> runtime = LoadDLL(true);
    if (!runtime) exitLauncher(1);
    logMessage(L"launching program");
    LaunchRequest request;
    request.createJavaVm = runtime->createJavaVm;
    request.options = assembleJvmOptions(state, extraction, *runtime, semaphoreName, arguments);
    request.elements = launcherArguments(readLauncherArgumentInputs(runtime->jvmHome), arguments);
    request.parcelkitFamily = state.productMarker == kParcelkitMarker;
    request.legacyMinimumVersion = runtime->legacyMinimumVersion;
    request.executablePath = executablePathW();
    getConfigWide(Setting::ApplicationDirectory, request.applicationDirectory);
    // The per-run directory stays: the application was told where it is.
    if (!launchProgram(request)) exitLauncher(1);
}

}  // namespace launcher
