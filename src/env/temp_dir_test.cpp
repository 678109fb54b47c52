#include "env/temp_dir.h"

#include <gtest/gtest.h>

using launcher::EntryRemoval;

TEST(TempDirectoryCleanUp, LinksAreRemovedThemselvesNeverEntered) {
    constexpr uint32_t kDirectory = launcher::kAttributeDirectory;
    constexpr uint32_t kLink = launcher::kAttributeReparsePoint;
    constexpr uint32_t kArchive = 0x20, kHidden = 0x2;
    const struct {
        uint32_t attributes;
        int depth;
        EntryRemoval removal;
    } cases[] = {
        {kArchive, 1, EntryRemoval::DeleteEntry},
        {kHidden | kArchive, 0, EntryRemoval::DeleteEntry},
        {kDirectory, 1, EntryRemoval::EmptyThenRemove},
        {kDirectory | kHidden, 3, EntryRemoval::EmptyThenRemove},
        {kDirectory, 0, EntryRemoval::RemoveEntry},
        {kDirectory, -1, EntryRemoval::RemoveEntry},
        // A junction or directory symbolic link at any depth: the link goes, its target stays.
        {kDirectory | kLink, 1, EntryRemoval::RemoveEntry},
        {kDirectory | kLink | kHidden, 5, EntryRemoval::RemoveEntry},
        {kDirectory | kLink, 0, EntryRemoval::RemoveEntry},
        // A file symbolic link: DeleteFile removes the link itself.
        {kLink, 1, EntryRemoval::DeleteEntry},
        {kLink | kArchive, 0, EntryRemoval::DeleteEntry},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(launcher::entryRemoval(c.attributes, c.depth), c.removal)
            << std::hex << c.attributes << " at depth " << c.depth;
    }
}
