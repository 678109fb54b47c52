// The launcher's icon and version information as Windows reads them: the .ico file format, the
// resource section (an icon group with its images and a VS_VERSIONINFO) and the PE headers that
// point at it. Portable: no Windows header; every reader checks its bounds and returns false with
// what is wrong.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_block.h"
#include "pe_messages.h"

namespace pack {

// One image of an icon: the fields of its directory entry and its data (a DIB or a PNG).
struct IconImage {
    uint8_t width = 0, height = 0, colors = 0;  // 0 width or height means 256
    uint16_t planes = 0, bitCount = 0;
    std::vector<uint8_t> data;
    bool operator==(const IconImage&) const = default;
};

// One text of the version information: its name there ("ProductName") and its value.
struct VersionText {
    std::string name;
    std::u16string value;
    bool operator==(const VersionText&) const = default;
};

// The description's [version] keys and the names Windows shows them under, in the order written.
struct VersionKey {
    std::string_view key;
    std::string_view name;
    bool isVersion;  // a version number, also written into the fixed file information
};
inline constexpr VersionKey kVersionKeys[] = {
    {"product_name", "ProductName", false}, {"product_version", "ProductVersion", true},
    {"file_version", "FileVersion", true},  {"company", "CompanyName", false},
    {"copyright", "LegalCopyright", false}, {"description", "FileDescription", false},
};

struct LauncherResources {
    std::vector<IconImage> icon;       // empty: no icon
    std::vector<VersionText> version;  // empty: no version information
    bool empty() const { return icon.empty() && version.empty(); }
    bool operator==(const LauncherResources&) const = default;
};

// The most images an icon may have, and the largest icon file read.
constexpr size_t kMaxIconImages = 64;
constexpr size_t kMaxIconFileSize = 16 * 1024 * 1024;

// The images of a .ico file; false with what is wrong.
bool readIcoFile(std::span<const uint8_t> bytes, std::vector<IconImage>& images,
                 std::string& error);
// The .ico file of these images, each right behind the one before it.
std::vector<uint8_t> icoFileBytes(const std::vector<IconImage>& images);

// "1", "1.2", "1.2.3" or "1.2.3.4" (numbers up to 65535) as the 64-bit version of the fixed file
// information (major in the top 16 bits); false for any other text.
bool parseFourPartVersion(std::string_view text, uint64_t& value);

// The bytes of a resource section that Windows maps at rva: the icon and version information
// there are, and always the event message table.
std::vector<uint8_t> resourceSectionBytes(const LauncherResources& resources, uint32_t rva);
// The icon group and version information of a resource section mapped at sectionRva whose root
// directory lies at rootRva; resources of other kinds are passed over.
bool readResourceSection(std::span<const uint8_t> section, uint32_t sectionRva, uint32_t rootRva,
                         LauncherResources& out, std::string& error);
// The message table of such a section; false with what is wrong (none there, damaged).
bool readMessageResource(std::span<const uint8_t> section, uint32_t sectionRva, uint32_t rootRva,
                         std::vector<MessageEntry>& messages, std::string& error);

// The stub with a resource section added as its last section (with or without an icon and
// version information: the message table is always there), which the configuration block then
// follows; false with what is wrong (a stub with resources of its own, headers without room
// for one more section).
bool addResourceSection(const std::vector<uint8_t>& stub, const LauncherResources& resources,
                        std::vector<uint8_t>& image, std::string& error);

// The icon group and version information of an image; empty when it has no resource section.
bool readImageResources(launcher::ByteSource& image, LauncherResources& out, std::string& error);

// Sets the optional header's checksum for the whole file when the image has one (not 0).
void updateImageChecksum(std::vector<uint8_t>& image);
// The checksum Windows computes over a file, its own field taken as 0.
uint32_t imageChecksum(std::span<const uint8_t> image, size_t checksumOffset);

// Whether the bytes begin like a PE image (headers that can be read).
bool isPeImage(std::span<const uint8_t> image);

// What the packing tool checks of a stub: a PE image of the machine and subsystem the launcher
// has. Empty when it is one, otherwise what it is instead.
std::string stubImageProblem(std::span<const uint8_t> image);

}  // namespace pack
