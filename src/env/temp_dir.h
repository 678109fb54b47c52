// The temp base (a writable folder chosen once per process) and the protected per-run directory.
#pragma once

#include <string>
#include <string_view>

namespace launcher {

// Fills both forms of the temp base, or leaves both empty.
void resolveTempBase();
// The narrow temp base; ends the launch (message 1015) when there is none.
std::string tempBaseNarrow();
// The wide temp base; with fatalWhenMissing false an empty text instead of ending the launch.
std::wstring tempBaseWide(bool fatalWhenMissing);

// A unique file name in the temp base (GetTempFileNameA creates the empty file).
std::string makeTempFileName();
// Creates the per-run directory, readable only by administrators, the owner and SYSTEM.
void createTempDirectory();
// The per-run directory, empty when none was made.
std::string& tempDirectory();
// Deletes the files of a directory and, down to depth, of its subdirectories, then removes the
// subdirectories that became empty.
void emptyDirectory(const std::string& directory, int depth);

}  // namespace launcher
