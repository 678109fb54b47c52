// The temp base (a writable folder chosen once per process) and the protected per-run directory.
#pragma once

#include <string>
#include <string_view>

namespace launcher {

// What the configuration says about choosing the temp base.
struct TempBaseOptions {
    bool preferLongPaths = false;    // take the long form of a candidate when it differs
    bool localAppDataFirst = false;  // try the per-user local application data folder first
};

// Records the options the temp base is chosen with (once, at start-up, before it is needed).
void setTempBaseOptions(const TempBaseOptions& options);
// Fills both forms of the temp base, or leaves both empty.
void resolveTempBase(const TempBaseOptions& options);
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
// Empties and removes the per-run directory, if one was made (the clean-up of every exit).
void removeTempDirectory();
// Deletes the files of a directory and, down to depth, of its subdirectories, then removes the
// subdirectories that became empty.
void emptyDirectory(const std::string& directory, int depth);

}  // namespace launcher
