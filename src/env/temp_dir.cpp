#include "env/temp_dir.h"

namespace launcher {

EntryRemoval entryRemoval(uint32_t attributes, int depth) {
    if ((attributes & kAttributeDirectory) == 0) return EntryRemoval::DeleteEntry;
    // A junction or directory symbolic link: entering it would empty its target.
    if ((attributes & kAttributeReparsePoint) != 0 || depth <= 0) {
        return EntryRemoval::RemoveEntry;
    }
    return EntryRemoval::EmptyThenRemove;
}

}  // namespace launcher
