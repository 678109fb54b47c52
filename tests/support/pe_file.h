// A small, bounds-checked reader of PE image headers and import tables, for checking the shipped
// stub from the host. Reads only what the checks need.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace artifact {

constexpr uint16_t kMachineArm64 = 0xAA64;
constexpr uint16_t kSubsystemWindowsGui = 2;

struct Section {
    std::string name;
    uint32_t virtualAddress = 0;
    uint32_t virtualSize = 0;
    uint32_t rawPointer = 0;
    uint32_t rawSize = 0;
};

struct ImportedDll {
    std::string name;
    std::vector<std::string> functions;  // names, or "#N" for imports by ordinal
    bool delayLoaded = false;
};

struct PeFile {
    uint16_t machine = 0;
    uint16_t subsystem = 0;
    bool pe32Plus = false;
    uint32_t coffSymbolTable = 0;   // PointerToSymbolTable; 0 in a stripped image
    std::vector<Section> sections;  // in section-table order
    std::vector<ImportedDll> imports;

    // The file offset of an RVA, through the section that holds it.
    std::optional<uint64_t> fileOffset(uint32_t rva) const;
};

// Parses an image; throws std::runtime_error naming the first thing that is out of bounds or
// malformed.
PeFile parsePe(const std::vector<uint8_t>& bytes);

}  // namespace artifact
