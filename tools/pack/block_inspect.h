// Lists the configuration block of a launcher image field by field (`pack inspect --raw`): every
// string with its id, the offsets, and where a damaged block stops the launcher.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "config/config_block.h"

namespace pack {

struct IncludedFileEntry {
    int index = 0;           // 1-based, in the order of the data
    std::string name;        // from config string 2003
    int64_t size = 0;        // as stored; 0 or less means no content
    uint64_t offset = 0;     // of the content
    bool extracted = false;  // among the files the launcher writes out (config string 2002)
};

// Locates the block the way the launcher does and prints it. Returns 0 when the block and its
// included files were read in full, 1 when the listing ends in an "error:" line.
int inspectBlock(launcher::ByteSource& image, std::ostream& out);

}  // namespace pack
