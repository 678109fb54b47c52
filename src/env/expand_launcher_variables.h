// Token and environment expansion with the values of this process.
#pragma once

#include <string>
#include <string_view>

namespace launcher {

class RunDirectory;

// ansiSafe: the launcher directory and system temp directory in the narrow form, widened;
// otherwise their long wide forms. jvmHome is the selected runtime's home, empty before the JVM
// search chose one; run is this run's per-run directory (empty before extraction made it). The
// temp base must be there (hasTempBase): the first expansion of a road comes after that check,
// and a temp base once found stays for the process.
void expandLauncherVariables(std::wstring& text, bool ansiSafe, const RunDirectory& run,
                             std::string_view jvmHome = {});
void expandLauncherVariablesNarrow(std::string& text, const RunDirectory& run,
                                   std::string_view jvmHome = {});

}  // namespace launcher
