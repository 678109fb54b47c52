#include "pe_file.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>

namespace artifact {

namespace {

constexpr size_t kImportDirectory = 1;
constexpr size_t kDelayImportDirectory = 13;
constexpr size_t kMaxDlls = 1024;
constexpr size_t kMaxFunctionsPerDll = 65536;
constexpr size_t kMaxNameLength = 512;

class Bytes {
public:
    explicit Bytes(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    uint16_t u16(uint64_t at, const char* what) const {
        need(at, 2, what);
        return static_cast<uint16_t>(bytes_[at] | bytes_[at + 1] << 8);
    }
    uint32_t u32(uint64_t at, const char* what) const {
        need(at, 4, what);
        return uint32_t{bytes_[at]} | uint32_t{bytes_[at + 1]} << 8 |
               uint32_t{bytes_[at + 2]} << 16 | uint32_t{bytes_[at + 3]} << 24;
    }
    uint64_t u64(uint64_t at, const char* what) const {
        return uint64_t{u32(at, what)} | uint64_t{u32(at + 4, what)} << 32;
    }
    std::string cString(uint64_t at, const char* what) const {
        std::string out;
        for (;; ++at) {
            need(at, 1, what);
            if (bytes_[at] == 0) return out;
            if (out.size() == kMaxNameLength)
                throw std::runtime_error(std::string(what) + " too long");
            out += static_cast<char>(bytes_[at]);
        }
    }
    std::string fixedString(uint64_t at, size_t n, const char* what) const {
        need(at, n, what);
        std::string out(bytes_.begin() + static_cast<std::ptrdiff_t>(at),
                        bytes_.begin() + static_cast<std::ptrdiff_t>(at + n));
        return out.substr(0, out.find('\0'));
    }

private:
    void need(uint64_t at, uint64_t n, const char* what) const {
        if (at > bytes_.size() || n > bytes_.size() - at) {
            throw std::runtime_error(std::string(what) + " at offset " + std::to_string(at) +
                                     " lies beyond the end of the file");
        }
    }
    const std::vector<uint8_t>& bytes_;
};

uint64_t offsetOf(const PeFile& pe, uint32_t rva, const char* what) {
    const auto offset = pe.fileOffset(rva);
    if (!offset) {
        throw std::runtime_error(std::string(what) + ": RVA " + std::to_string(rva) +
                                 " lies in no section");
    }
    return *offset;
}

// Reads a lookup table of thunks (names or ordinals) until its terminating zero entry.
std::vector<std::string> readThunks(const Bytes& b, const PeFile& pe, uint32_t tableRva) {
    std::vector<std::string> functions;
    const uint64_t table = offsetOf(pe, tableRva, "import lookup table");
    const unsigned width = pe.pe32Plus ? 8 : 4;
    const uint64_t ordinalFlag = pe.pe32Plus ? 1ull << 63 : 1ull << 31;
    for (size_t i = 0;; ++i) {
        if (i == kMaxFunctionsPerDll) throw std::runtime_error("import lookup table without end");
        const uint64_t at = table + i * width;
        const uint64_t thunk = pe.pe32Plus ? b.u64(at, "import thunk") : b.u32(at, "import thunk");
        if (thunk == 0) return functions;
        if (thunk & ordinalFlag) {
            functions.push_back("#" + std::to_string(thunk & 0xFFFF));
        } else {
            const uint64_t hintName =
                offsetOf(pe, static_cast<uint32_t>(thunk & 0x7FFFFFFF), "import name");
            functions.push_back(b.cString(hintName + 2, "import name"));
        }
    }
}

void readImports(const Bytes& b, PeFile& pe, uint32_t directoryRva) {
    const uint64_t table = offsetOf(pe, directoryRva, "import directory");
    for (size_t i = 0;; ++i) {
        if (i == kMaxDlls) throw std::runtime_error("import directory without end");
        const uint64_t at = table + i * 20;
        const uint32_t lookup = b.u32(at, "import descriptor");
        const uint32_t nameRva = b.u32(at + 12, "import descriptor");
        const uint32_t addresses = b.u32(at + 16, "import descriptor");
        if (nameRva == 0 && addresses == 0) return;
        ImportedDll dll;
        dll.name = b.cString(offsetOf(pe, nameRva, "import DLL name"), "import DLL name");
        dll.functions = readThunks(b, pe, lookup != 0 ? lookup : addresses);
        pe.imports.push_back(std::move(dll));
    }
}

void readDelayImports(const Bytes& b, PeFile& pe, uint32_t directoryRva) {
    const uint64_t table = offsetOf(pe, directoryRva, "delay import directory");
    for (size_t i = 0;; ++i) {
        if (i == kMaxDlls) throw std::runtime_error("delay import directory without end");
        const uint64_t at = table + i * 32;
        const uint32_t nameRva = b.u32(at + 4, "delay import descriptor");
        const uint32_t names = b.u32(at + 16, "delay import descriptor");
        if (nameRva == 0) return;
        ImportedDll dll;
        dll.delayLoaded = true;
        dll.name = b.cString(offsetOf(pe, nameRva, "delay import DLL name"), "delay import name");
        if (names != 0) dll.functions = readThunks(b, pe, names);
        pe.imports.push_back(std::move(dll));
    }
}

}  // namespace

std::optional<uint64_t> PeFile::fileOffset(uint32_t rva) const {
    for (const auto& s : sections) {
        const uint32_t span = std::max(s.virtualSize, s.rawSize);
        if (rva >= s.virtualAddress && rva - s.virtualAddress < span) {
            const uint32_t delta = rva - s.virtualAddress;
            if (delta >= s.rawSize) return std::nullopt;  // in the zero-filled tail
            return uint64_t{s.rawPointer} + delta;
        }
    }
    return std::nullopt;
}

PeFile parsePe(const std::vector<uint8_t>& bytes) {
    const Bytes b(bytes);
    if (b.u16(0, "DOS header") != 0x5A4D) throw std::runtime_error("no MZ signature");
    const uint32_t nt = b.u32(0x3C, "e_lfanew");
    if (b.u32(nt, "PE signature") != 0x00004550) throw std::runtime_error("no PE signature");
    const uint64_t coff = uint64_t{nt} + 4;
    PeFile pe;
    pe.machine = b.u16(coff, "Machine");
    const uint16_t sectionCount = b.u16(coff + 2, "NumberOfSections");
    pe.coffSymbolTable = b.u32(coff + 8, "PointerToSymbolTable");
    const uint16_t optionalSize = b.u16(coff + 16, "SizeOfOptionalHeader");
    const uint64_t optional = coff + 20;
    const uint16_t magic = b.u16(optional, "optional header magic");
    if (magic != 0x10B && magic != 0x20B) throw std::runtime_error("unknown optional header");
    pe.pe32Plus = magic == 0x20B;
    pe.subsystem = b.u16(optional + 68, "Subsystem");
    const uint64_t directoryCountAt = optional + (pe.pe32Plus ? 108 : 92);
    const uint32_t directoryCount = b.u32(directoryCountAt, "NumberOfRvaAndSizes");
    const uint64_t directories = directoryCountAt + 4;

    const uint64_t sectionTable = optional + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint64_t at = sectionTable + uint64_t{i} * 40;
        Section s;
        s.name = b.fixedString(at, 8, "section header");
        s.virtualSize = b.u32(at + 8, "section header");
        s.virtualAddress = b.u32(at + 12, "section header");
        s.rawSize = b.u32(at + 16, "section header");
        s.rawPointer = b.u32(at + 20, "section header");
        pe.sections.push_back(std::move(s));
    }

    auto directoryRva = [&](size_t index) -> uint32_t {
        if (index >= directoryCount) return 0;
        return b.u32(directories + index * 8, "data directory");
    };
    if (const uint32_t rva = directoryRva(kImportDirectory)) readImports(b, pe, rva);
    if (const uint32_t rva = directoryRva(kDelayImportDirectory)) readDelayImports(b, pe, rva);
    return pe;
}

}  // namespace artifact
