#include <windows.h>

#include "common/command_line.h"
#include "config/config.h"
#include "env/expand_launcher_variables.h"
#include "env/paths.h"
#include "jvm/launch/launch_arguments.h"

namespace launcher {

namespace {

// A configured path for the launcher class: expanded, then made absolute against the launcher's
// folder, unless it came out empty or still starts with an unexpanded "$" reference.
std::wstring configuredPath(Setting pass, Setting path, std::string_view jvmHome) {
    if (getConfigInt(pass) == 0) return {};
    std::wstring text;
    getConfigWide(path, text);
    expandLauncherVariables(text, false, jvmHome);
    if (text.empty() || text.front() == L'$') return text;
    return canonicalPath(text, true, FolderForm::Wide);
}

}  // namespace

LauncherArgumentInputs readLauncherArgumentInputs(std::string_view jvmHome) {
    LauncherArgumentInputs inputs;
    inputs.windowedLauncher = getConfigInt(Setting::LauncherKind) == 1;
    inputs.moduleMode = getConfigInt(Setting::MainFromModulePath) != 0;
    getConfigWide(Setting::MainClass, inputs.mainClass);
    inputs.firstPath = configuredPath(Setting::PassFirstPath, Setting::FirstPath, jvmHome);
    inputs.secondPath = configuredPath(Setting::PassSecondPath, Setting::SecondPath, jvmHome);
    inputs.launcherFlag = getConfigInt(Setting::LauncherFlag) != 0;
    std::wstring configured;
    getConfigWide(Setting::ProgramArguments, configured);
    expandLauncherVariables(configured, false, jvmHome);
    splitCommandLine(configured, inputs.configuredArguments);
    inputs.javaOptionArguments = getConfigInt(Setting::JavaOptionArguments) != 0;
    return inputs;
}

}  // namespace launcher
