#include <windows.h>

#include "common/text_format.h"
#include "config/expansion.h"
#include "env/expand_launcher_variables.h"
#include "env/paths.h"
#include "env/temp_dir.h"

namespace launcher {

void expandLauncherVariables(std::wstring& text, bool ansiSafe, const RunDirectory& run,
                             std::string_view jvmHome) {
    ExpansionValues<wchar_t> values;
    values.launcherDirectory =
        ansiSafe ? widen(executableFolderA()) : executableFolderW(FolderForm::Wide);
    values.tempDirectory = widen(run.path());
    values.jvmHome = widen(jvmHome);
    values.systemTempDirectory = ansiSafe ? widen(tempBaseNarrow()) : tempBaseWide();
    std::vector<std::wstring> environment;
    if (wchar_t* block = ::GetEnvironmentStringsW()) {
        environment = environmentEntries(block);
        ::FreeEnvironmentStringsW(block);
    }
    expandTokens(text, values, environment);
}

void expandLauncherVariablesNarrow(std::string& text, const RunDirectory& run,
                                   std::string_view jvmHome) {
    ExpansionValues<char> values;
    values.launcherDirectory = executableFolderA();
    values.tempDirectory = run.path();
    values.jvmHome = std::string(jvmHome);
    values.systemTempDirectory = tempBaseNarrow();
    std::vector<std::string> environment;
    if (char* block = ::GetEnvironmentStrings()) {
        environment = environmentEntries(block);
        ::FreeEnvironmentStringsA(block);
    }
    expandTokens(text, values, environment);
}

}  // namespace launcher
