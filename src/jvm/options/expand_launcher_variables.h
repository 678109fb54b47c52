// Token and environment expansion with the values of this process.
#pragma once

#include <string>

namespace launcher {

// ansiSafe: the launcher directory and system temp directory in the narrow form, widened;
// otherwise their long wide forms. Ends the launch (message 1015) without a temp base.
void expandLauncherVariables(std::wstring& text, bool ansiSafe);
void expandLauncherVariablesNarrow(std::string& text);

}  // namespace launcher
