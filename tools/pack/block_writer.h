// Builds configuration blocks and appends them to a launcher stub. Portable; used by the pack
// tool and by the tests, which also use it to build deliberately damaged blocks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/config_block.h"

namespace pack {

struct LanguageSection {
    std::string key;  // "", "de", "de_CH", ...
    std::vector<std::pair<int32_t, std::u16string>> entries;
};

struct IncludedFile {
    std::string name;              // relative name, at most one backslash
    std::vector<uint8_t> content;  // plain bytes; the writer applies the XOR transform
};

class BlockWriter {
public:
    // Narrow configuration string, stored as given (bytes).
    BlockWriter& string(int32_t id, std::string_view value);
    // Localized (UTF-16) string of the default language.
    BlockWriter& wide(int32_t id, std::u16string_view value);
    BlockWriter& section(LanguageSection section);
    // An included file: its data goes into the included-files area, and the writer keeps config
    // strings 2002 (count) and 2003 (names) in step unless they were set explicitly.
    BlockWriter& file(IncludedFile file);
    // Raw bytes appended behind the included files (tests: truncated or odd data).
    BlockWriter& trailer(std::vector<uint8_t> bytes);
    BlockWriter& magic(uint32_t value);
    BlockWriter& reserved(int32_t a, int32_t b, int64_t c);

    // The block's bytes, from the magic through the included files.
    std::vector<uint8_t> build() const;

    const std::vector<std::pair<int32_t, std::string>>& strings() const { return strings_; }
    const std::vector<std::pair<int32_t, std::u16string>>& wides() const { return wides_; }
    const std::vector<LanguageSection>& sections() const { return sections_; }
    const std::vector<IncludedFile>& files() const { return files_; }

private:
    uint32_t magic_ = launcher::kConfigMagic;
    int32_t reservedA_ = 0, reservedB_ = 0;
    int64_t reservedC_ = 0;
    std::vector<std::pair<int32_t, std::string>> strings_;
    std::vector<std::pair<int32_t, std::u16string>> wides_;
    std::vector<LanguageSection> sections_;
    std::vector<IncludedFile> files_;
    std::vector<uint8_t> trailer_;
};

// The stub's bytes with the block appended. The stub must be a PE image; the block lands at the
// end of the file, which is where the launcher looks when the last section ends the image.
std::vector<uint8_t> appendBlock(const std::vector<uint8_t>& stub,
                                 const std::vector<uint8_t>& block);

// Where the launcher looks for a block in this image (PointerToRawData + SizeOfRawData of the
// last section header), or -1 when the headers cannot be read.
int64_t blockOffset(const std::vector<uint8_t>& image);

// The largest launcher image: the launcher computes file offsets in 32 bits, signed.
constexpr uint64_t kMaxImageSize = 0x7FFFFFFF;

// Files named by UTF-8 paths. writeFileBytes replaces the file in one step (through a temporary
// file beside it), so an output that cannot be written keeps what it held; it refuses a folder,
// writes a device in place and throws std::runtime_error with what went wrong.
std::vector<uint8_t> readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes, bool executable);

}  // namespace pack
