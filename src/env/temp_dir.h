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

// The per-run directory, readable only by administrators, the owner and SYSTEM. The entry owns
// the one object of a run, hands it to the floors that read or make the directory, and tells
// the fatal exit to remove it.
class RunDirectory {
public:
    // The directory's path; empty while none was made.
    const std::string& path() const { return path_; }
    // Creates the directory under the temp base and leaves the runtime's mark in it.
    void create();
    // Forgets the directory: a run without included files has none.
    void forget() { path_.clear(); }
    // Empties and removes the directory, if one was made (the clean-up of every exit).
    void remove() const;

private:
    std::string path_;
};

// Deletes the files of a directory and, down to depth, of its subdirectories, then removes the
// subdirectories that became empty.
void emptyDirectory(const std::string& directory, int depth);

}  // namespace launcher
