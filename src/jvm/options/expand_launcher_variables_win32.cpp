#include <windows.h>

#include "env/paths.h"
#include "env/temp_dir.h"
#include "jvm/discovery/selected_runtime.h"
#include "jvm/options/expand_launcher_variables.h"
#include "jvm/options/expansion.h"
#include "log/log_format.h"

namespace launcher {

void expandLauncherVariables(std::wstring& text, bool ansiSafe) {
    ExpansionValues<wchar_t> values;
    values.launcherDirectory =
        ansiSafe ? widen(executableFolderA()) : executableFolderW(FolderForm::Wide);
    values.tempDirectory = widen(tempDirectory());
    values.jvmHome = widen(selectedRuntime().jvmHome);
    values.systemTempDirectory = ansiSafe ? widen(tempBaseNarrow()) : tempBaseWide(true);
    std::vector<std::wstring> environment;
    if (wchar_t* block = ::GetEnvironmentStringsW()) {
        environment = environmentEntries(block);
        ::FreeEnvironmentStringsW(block);
    }
    expandTokens(text, values, environment);
}

void expandLauncherVariablesNarrow(std::string& text) {
    ExpansionValues<char> values;
    values.launcherDirectory = executableFolderA();
    values.tempDirectory = tempDirectory();
    values.jvmHome = selectedRuntime().jvmHome;
    values.systemTempDirectory = tempBaseNarrow();
    std::vector<std::string> environment;
    if (char* block = ::GetEnvironmentStrings()) {
        environment = environmentEntries(block);
        ::FreeEnvironmentStringsA(block);
    }
    expandTokens(text, values, environment);
}

}  // namespace launcher
