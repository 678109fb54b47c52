#include <windows.h>

#include "common/command_line.h"
#include "env/expand_launcher_variables.h"
#include "env/path_environment.h"
#include "env/paths.h"
#include "jvm/launch/launch_arguments.h"
#include "jvm/launch/system_properties.h"

namespace launcher {

namespace {

// A configured path for the launcher class: expanded, then made absolute against the launcher's
// folder, unless it came out empty or still starts with an unexpanded "$" reference.
std::wstring configuredPath(bool pass, std::wstring text, const RunDirectory& run,
                            std::string_view jvmHome) {
    if (!pass) return {};
    expandLauncherVariables(text, false, run, jvmHome);
    if (text.empty() || text.front() == L'$') return text;
    return canonicalPath(text, true, FolderForm::Wide);
}

}  // namespace

LauncherArgumentInputs launcherArgumentInputs(const LauncherArgumentSettings& settings,
                                              const RunDirectory& run, std::string_view jvmHome) {
    LauncherArgumentInputs inputs;
    inputs.windowedLauncher = settings.windowedLauncher;
    inputs.moduleMode = settings.moduleMode;
    inputs.mainClass = settings.mainClass;
    inputs.firstPath = configuredPath(settings.passFirstPath, settings.firstPath, run, jvmHome);
    inputs.secondPath = configuredPath(settings.passSecondPath, settings.secondPath, run, jvmHome);
    // A service child the host restarted appends, so the runs before it stay in the files.
    inputs.launcherFlag =
        settings.launcherFlag || environmentVariableA(kRestartVariable).has_value();
    std::wstring configured = settings.programArguments;
    expandLauncherVariables(configured, false, run, jvmHome);
    splitCommandLine(configured, inputs.configuredArguments);
    inputs.javaOptionArguments = settings.javaOptionArguments;
    return inputs;
}

}  // namespace launcher
