// The PE image around the resources (see pe_resources.h): its headers, the section the resources
// go into, where a reader finds them again, the checksum, and what makes an image a stub.
#include <algorithm>
#include <string>

#include "pe_bytes.h"
#include "pe_resources.h"

namespace pack {

using namespace pe;

namespace {

constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kHeaderWindow = 64 * 1024;                // where the headers must lie
constexpr size_t kMaxResourceSection = 64 * 1024 * 1024;   // the largest section read back
constexpr uint32_t kResourceCharacteristics = 0x40000040;  // initialised data, readable
constexpr uint16_t kMachineArm64 = 0xAA64;
constexpr uint16_t kSubsystemGui = 2;

struct Headers {
    size_t pe = 0, optional = 0, table = 0;
    uint16_t machine = 0, sections = 0, optionalSize = 0, subsystem = 0;
    uint32_t sectionAlignment = 0, fileAlignment = 0, sizeOfHeaders = 0;
    size_t sizeOfImageAt = 0, checksumAt = 0, directoriesAt = 0;
    uint32_t directoryCount = 0;
};

struct SectionHeader {
    uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, rawPointer = 0;
};

SectionHeader sectionAt(std::span<const uint8_t> b, size_t at) {
    return {get32(b, at + 8), get32(b, at + 12), get32(b, at + 16), get32(b, at + 20)};
}

bool readHeaders(std::span<const uint8_t> b, Headers& h, std::string& error) {
    error = "not a PE image";
    if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z') return false;
    h.pe = get32(b, 0x3C);
    if (h.pe > b.size() || b.size() - h.pe < 24 || get32(b, h.pe) != 0x00004550) return false;
    h.machine = get16(b, h.pe + 4);
    h.sections = get16(b, h.pe + 6);
    h.optionalSize = get16(b, h.pe + 20);
    h.optional = h.pe + 24;
    h.table = h.optional + h.optionalSize;
    if (b.size() < h.optional + 2) return false;
    const uint16_t magic = get16(b, h.optional);
    const size_t directories = magic == 0x20B ? 112 : magic == 0x10B ? 96 : 0;
    error = "not a PE image (unknown optional header)";
    if (directories == 0 || h.optionalSize < directories ||
        b.size() < h.table + kSectionHeaderSize * h.sections) {
        return false;
    }
    h.sectionAlignment = get32(b, h.optional + 32);
    h.fileAlignment = get32(b, h.optional + 36);
    h.sizeOfImageAt = h.optional + 56;
    h.sizeOfHeaders = get32(b, h.optional + 60);
    h.checksumAt = h.optional + 64;
    h.subsystem = get16(b, h.optional + 68);
    h.directoryCount = get32(b, h.optional + directories - 4);
    h.directoriesAt = h.optional + directories;
    if (h.directoryCount > (h.optionalSize - directories) / 8) {
        h.directoryCount = static_cast<uint32_t>((h.optionalSize - directories) / 8);
    }
    error.clear();
    return true;
}

}  // namespace

bool addResourceSection(const std::vector<uint8_t>& stub, const LauncherResources& resources,
                        std::vector<uint8_t>& image, std::string& error) {
    Headers h;
    if (!readHeaders(stub, h, error)) return false;
    if (h.directoryCount <= 2) {
        error = "its optional header has no resource directory";
        return false;
    }
    const size_t resourceDirectory = h.directoriesAt + 2 * 8;
    if (get32(stub, resourceDirectory) != 0) {
        error =
            "it has resources of its own; the event texts, icon and version go into a stub "
            "without them";
        return false;
    }
    if (h.sectionAlignment == 0 || h.fileAlignment == 0) {
        error = "its section or file alignment is 0";
        return false;
    }
    uint64_t virtualEnd = 0, firstRaw = h.sizeOfHeaders, rawEnd = 0;
    for (size_t i = 0; i < h.sections; ++i) {
        const SectionHeader s = sectionAt(stub, h.table + kSectionHeaderSize * i);
        virtualEnd = std::max<uint64_t>(
            virtualEnd, uint64_t(s.virtualAddress) + std::max(s.virtualSize, s.rawSize));
        if (s.rawSize > 0) {
            firstRaw = std::min<uint64_t>(firstRaw, s.rawPointer);
            rawEnd = std::max<uint64_t>(rawEnd, uint64_t(s.rawPointer) + s.rawSize);
        }
    }
    // The new section and then the block follow the last section: data behind it (a
    // signature, debug data) would end up inside the image, and the launcher would not find
    // the block where it looks.
    if (stub.size() > rawEnd) {
        error = "it has " + std::to_string(stub.size() - rawEnd) +
                " bytes behind its last section (a signature or debug data?); the icon, the "
                "version information and the configuration block must follow the last section";
        return false;
    }
    // The new section header goes right behind the table: those 40 bytes must lie within the
    // headers, before the first section's data, and hold nothing yet.
    const size_t newHeader = h.table + kSectionHeaderSize * h.sections;
    if (newHeader + kSectionHeaderSize > firstRaw || newHeader + kSectionHeaderSize > stub.size()) {
        error = "its headers have no room for one more section";
        return false;
    }
    if (!std::all_of(stub.begin() + static_cast<long>(newHeader),
                     stub.begin() + static_cast<long>(newHeader + kSectionHeaderSize),
                     [](uint8_t b) { return b == 0; })) {
        error =
            "the 40 bytes behind its section table are in use, so its headers have no room "
            "for one more section";
        return false;
    }
    const uint64_t rva = alignUp(virtualEnd, h.sectionAlignment);
    const uint64_t rawPointer = alignUp(stub.size(), h.fileAlignment);
    if (rva > 0x7FFFFFFF) {
        error = "its sections end beyond what an image can address";
        return false;
    }
    const std::vector<uint8_t> section =
        resourceSectionBytes(resources, static_cast<uint32_t>(rva));
    const uint64_t rawSize = alignUp(section.size(), h.fileAlignment);
    image = stub;
    image.resize(static_cast<size_t>(rawPointer), 0);
    image.insert(image.end(), section.begin(), section.end());
    image.resize(static_cast<size_t>(rawPointer + rawSize), 0);
    const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    std::copy(name, name + 8, image.begin() + static_cast<long>(newHeader));
    set32(image, newHeader + 8, static_cast<uint32_t>(section.size()));
    set32(image, newHeader + 12, static_cast<uint32_t>(rva));
    set32(image, newHeader + 16, static_cast<uint32_t>(rawSize));
    set32(image, newHeader + 20, static_cast<uint32_t>(rawPointer));
    for (size_t at = newHeader + 24; at < newHeader + 36; ++at) image[at] = 0;
    set32(image, newHeader + 36, kResourceCharacteristics);
    set16(image, h.pe + 6, static_cast<uint16_t>(h.sections + 1));
    set32(image, h.sizeOfImageAt,
          static_cast<uint32_t>(alignUp(rva + section.size(), h.sectionAlignment)));
    set32(image, resourceDirectory, static_cast<uint32_t>(rva));
    set32(image, resourceDirectory + 4, static_cast<uint32_t>(section.size()));
    error.clear();
    return true;
}

bool readImageResources(launcher::ByteSource& image, LauncherResources& out, std::string& error) {
    out = {};
    const auto read = [&](uint64_t at, size_t n, std::vector<uint8_t>& bytes) {
        bytes.assign(n, 0);
        uint32_t code = 0;
        return image.readAt(at, bytes.data(), n, code) == n;
    };
    std::vector<uint8_t> headers;
    if (!read(0, static_cast<size_t>(std::min<uint64_t>(image.size(), kHeaderWindow)), headers)) {
        error = "cannot read the image's headers";
        return false;
    }
    Headers h;
    if (!readHeaders(headers, h, error)) return false;
    if (h.directoryCount <= 2) return true;
    const uint32_t rootRva = get32(headers, h.directoriesAt + 16);
    if (rootRva == 0) return true;
    for (size_t i = 0; i < h.sections; ++i) {
        const SectionHeader s = sectionAt(headers, h.table + kSectionHeaderSize * i);
        const uint32_t size = std::min(s.rawSize, s.virtualSize == 0 ? s.rawSize : s.virtualSize);
        if (rootRva < s.virtualAddress || rootRva - s.virtualAddress >= size) continue;
        std::vector<uint8_t> section;
        if (size > kMaxResourceSection || s.rawPointer > image.size() ||
            size > image.size() - s.rawPointer || !read(s.rawPointer, size, section)) {
            error = "the resource section lies outside the file";
            return false;
        }
        return readResourceSection(section, s.virtualAddress, rootRva, out, error);
    }
    error = "no section holds the resource directory";
    return false;
}

uint32_t imageChecksum(std::span<const uint8_t> image, size_t checksumOffset) {
    uint64_t sum = 0;
    for (size_t i = 0; i < image.size(); i += 2) {
        if (i == checksumOffset || i == checksumOffset + 2) continue;
        sum += static_cast<uint64_t>(image[i] | (i + 1 < image.size() ? image[i + 1] << 8 : 0));
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + image.size());
}

void updateImageChecksum(std::vector<uint8_t>& image) {
    Headers h;
    std::string ignored;
    if (!readHeaders(image, h, ignored) || get32(image, h.checksumAt) == 0) return;
    set32(image, h.checksumAt, imageChecksum(image, h.checksumAt));
}

bool isPeImage(std::span<const uint8_t> image) {
    Headers h;
    std::string ignored;
    return readHeaders(image, h, ignored);
}

std::string stubImageProblem(std::span<const uint8_t> image) {
    Headers h;
    std::string error;
    if (!readHeaders(image, h, error)) return "is " + error;
    if (h.machine != kMachineArm64) {
        const char digits[] = "0123456789ABCDEF";
        std::string hex;
        for (int shift = 12; shift >= 0; shift -= 4) hex += digits[(h.machine >> shift) & 0xF];
        return "is no Arm64 image (machine 0x" + hex + ")";
    }
    if (h.subsystem != kSubsystemGui) {
        return "is no Windows GUI image (subsystem " + std::to_string(h.subsystem) + ")";
    }
    return "";
}

}  // namespace pack
