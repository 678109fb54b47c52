// Builds small PE images in memory for tests: just enough header for the launcher's block
// location (e_lfanew, NumberOfSections, SizeOfOptionalHeader, the section table).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pack {

struct PeImageShape {
    uint32_t peOffset = 0x80;      // e_lfanew
    uint16_t sections = 2;         // NumberOfSections
    uint16_t optionalSize = 0xF0;  // SizeOfOptionalHeader (0xF0: PE32+)
    uint32_t sectionSize = 0x200;  // SizeOfRawData of every section
    uint32_t trailingBytes = 0;    // bytes behind the last section (a signature, say)
    // Sections laid out in reverse table order: the last header's section comes first in the
    // file, so only the last header (not the file's end) says where a block belongs.
    bool reverseSections = false;
};

// Sections follow the headers back to back, 0x200-aligned, in table order, so the last
// header's section ends the image (before any trailing bytes). Section bytes are a pattern.
std::vector<uint8_t> makePeImage(const PeImageShape& shape = {});

}  // namespace pack
