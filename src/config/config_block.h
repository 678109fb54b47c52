// The configuration block appended to the launcher executable: its format, locating it through
// the PE headers and parsing its tables. The launcher and the packing tool both use this code.
// OS-independent: the bytes come from a ByteSource.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace launcher {

// The block starts with this value (bytes D5 13 E4 E8 in the file).
constexpr uint32_t kConfigMagic = 0xE8E413D5u;
// Byte transform of included-file content.
constexpr uint8_t kIncludedFileXor = 0xA7;
// The included files' names (config string 2003) are separated by this character.
constexpr char kIncludedFileNameSeparator = ';';  // as splitList splits
// The included files' names as the launcher splits config string 2003: at ";", runs skipped.
std::vector<std::string> includedFileNames(std::string_view names);

using ConfigStrings = std::map<int32_t, std::string>;
using LocalizedStrings = std::map<int32_t, std::wstring>;

// What went wrong while reading; each kind has its own fatal text.
enum class ReadFailure { None, Open, Magic, ReadInt, ReadLong, ReadShort, ReadString, ReadWString };

// The fatal text shown for a failure ("Internal Error: readInt", ...).
std::wstring readFailureText(ReadFailure failure);

// Random access to the executable's bytes.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Reads up to n bytes at offset; returns how many were read. A short read sets error to the
    // system's error code (0 at the end of the file).
    virtual size_t readAt(uint64_t offset, uint8_t* dst, size_t n, uint32_t& error) = 0;
};

// A ByteSource over bytes in memory (tests, the packing tool).
class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    uint64_t size() const override { return bytes_.size(); }
    size_t readAt(uint64_t offset, uint8_t* dst, size_t n, uint32_t& error) override;

private:
    std::vector<uint8_t> bytes_;
};

// Sequential little-endian reader over a ByteSource through one buffer window. Every length is
// checked against the bytes the source holds before anything is allocated. After the first
// failure every further read fails too and failure() tells the first one.
class BlockReader {
public:
    explicit BlockReader(ByteSource& source, size_t window = 64 * 1024);

    void seek(uint64_t position);
    uint64_t position() const { return position_; }

    bool readInt16(int16_t& value);
    bool readInt32(int32_t& value);
    bool readInt64(int64_t& value);
    // A 32-bit length n, then n bytes.
    bool readByteString(std::string& value);
    bool skipByteString();
    // A 32-bit length n in bytes (even), then n bytes of UTF-16LE text.
    bool readWideString(std::wstring& value);
    // Up to n bytes at the current position; returns how many (used for included files).
    size_t readBytes(uint8_t* dst, size_t n, uint32_t& error);

    ReadFailure failure() const { return failure_; }
    // Records a failure found by the caller (a wrong magic); returns false.
    bool failWith(ReadFailure kind) { return fail(kind, 0, 0); }
    // The system error code and the bytes read of the failed read.
    uint32_t errorCode() const { return errorCode_; }
    uint32_t bytesRead() const { return bytesRead_; }

private:
    bool readRaw(uint8_t* dst, size_t n, ReadFailure kind);
    bool fail(ReadFailure kind, uint32_t error, size_t got);
    size_t fill(uint8_t* dst, size_t n, uint32_t& error);

    ByteSource& source_;
    uint64_t position_ = 0;
    std::vector<uint8_t> buffer_;
    uint64_t bufferStart_ = 0;
    size_t bufferLength_ = 0;
    ReadFailure failure_ = ReadFailure::None;
    uint32_t errorCode_ = 0;
    uint32_t bytesRead_ = 0;
};

// Logs the line that goes with a reader failure ("error %d %d\n", ...), if any.
void logReadFailure(const BlockReader& reader);

// What the location steps read from the image headers.
struct BlockLocation {
    int16_t sections = 0;      // NumberOfSections
    int16_t optionalSize = 0;  // SizeOfOptionalHeader
    // PointerToRawData + SizeOfRawData of the last section header (32-bit arithmetic); may lie
    // beyond the end of the file.
    uint32_t offset = 0;
};

// Reads the PE headers: where the block of this image starts.
bool locateConfigBlock(BlockReader& reader, BlockLocation& location);
// Seeks the reader to the start of the block: behind the last section in the section table.
bool seekConfigBlock(BlockReader& reader);

// First reading: magic, reserved values, the narrow strings. A repeated id keeps the later one.
bool readConfigStrings(BlockReader& reader, ConfigStrings& strings);

// Whether a language section with this key applies to the chosen language code.
bool languageSectionApplies(std::string_view key, std::string_view languageCode);

// Second reading: skips the narrow strings, reads the wide strings and applies the language
// sections that match languageCode. blockEnd is the position behind the sections.
bool readConfigBlockTables(BlockReader& reader, std::string_view languageCode,
                           LocalizedStrings& localized, uint32_t& blockEnd);
// The same from the reader's position behind the narrow strings (the first reading's end): the
// launcher reads the block once, in one pass.
bool readLocalizedTables(BlockReader& reader, std::string_view languageCode,
                         LocalizedStrings& localized, uint32_t& blockEnd);

}  // namespace launcher
