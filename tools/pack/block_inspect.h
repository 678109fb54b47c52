// Lists the configuration block of a launcher image in the pack tool's input syntax.
#pragma once

#include <cstdint>
#include <functional>
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

struct InspectOptions {
    // When set, receives the content of every included file and returns the path to print in
    // its `file` line, so that the listing can be packed again; false with an error text.
    std::function<bool(const IncludedFileEntry& entry, const std::vector<uint8_t>& content,
                       std::string& path, std::string& error)>
        saveFile;
};

// Locates the block the way the launcher does and prints it. Returns 0 when the block and its
// included files were read in full, 1 when the listing ends in an "error:" line.
int inspectBlock(launcher::ByteSource& image, std::ostream& out,
                 const InspectOptions& options = {});

}  // namespace pack
