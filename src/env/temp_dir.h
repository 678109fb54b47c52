// The temp base (a writable folder chosen once per process) and the protected per-run directory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/fatal.h"

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
// The narrow temp base, resolved first when needed; empty when there is none (a run that needs
// one cannot go on: message 1015).
std::string tempBaseNarrow();
// The wide temp base, alike.
std::wstring tempBaseWide();
// Whether there is a temp base (resolved first when needed). Launcher-variable expansion and the
// per-run directory need one; the first of them on a road asks, and without one the run cannot
// go on (message 1015).
bool hasTempBase();

// A unique file name in the temp base (GetTempFileNameA creates the empty file); the temp base
// must be there (hasTempBase).
std::string makeTempFileName();

// The per-run directory, readable only by administrators, the owner and SYSTEM. The entry owns
// the one object of a run, hands it to the floors that read or make the directory, and tells
// the fatal exit to remove it.
class RunDirectory {
public:
    // The directory's path; empty while none was made.
    const std::string& path() const { return path_; }
    // Creates the directory under the temp base and leaves the runtime's mark in it; false with
    // the failure filled in when there is no temp base (message 1015) or ten attempts made none
    // (message 1009, "7").
    [[nodiscard]] bool create(RunFailure& failure);
    // Forgets the directory: a run without included files has none.
    void forget() { path_.clear(); }
    // Empties and removes the directory, if one was made (the clean-up of every exit).
    void remove() const;

private:
    std::string path_;
};

// Deletes the files of a directory and, down to depth, of its subdirectories, then removes the
// subdirectories that became empty. A junction or symbolic link is removed itself, never entered.
void emptyDirectory(const std::string& directory, int depth);

// ---- portable decisions ----

// The file attributes the clean-up looks at (FILE_ATTRIBUTE_DIRECTORY and
// FILE_ATTRIBUTE_REPARSE_POINT, the mark of a junction or symbolic link).
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeReparsePoint = 0x400;

// How the clean-up removes one entry of a directory it empties.
enum class EntryRemoval {
    DeleteEntry,      // a file, or a link to one: DeleteFileA removes the link itself
    RemoveEntry,      // a directory not entered (below the depth), or a link to one:
                      // RemoveDirectoryA removes the link itself
    EmptyThenRemove,  // a real directory within the depth: emptied first, then removed
};
// The removal of an entry with these attributes, met by emptyDirectory at this depth.
EntryRemoval entryRemoval(uint32_t attributes, int depth);

}  // namespace launcher
