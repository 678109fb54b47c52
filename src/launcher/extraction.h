// Extraction of the files carried behind the configuration block into the per-run directory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_block.h"

namespace launcher {

// Results of the extraction operations.
enum class ExtractResult { Ok, ReadFailed, WriteFailed };

// Where extracted bytes go.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Writes up to n bytes; returns false with the system error code when the write failed.
    virtual bool write(const uint8_t* data, size_t n, size_t& written, uint32_t& error) = 0;
};

// Size of one copy step.
constexpr size_t kCopyChunk = 6000;

// Copies count bytes from the reader's position to the sink in chunks of at most 6000 bytes,
// XOR-decoding each byte when transform is set. A failure comes with its log line.
ExtractResult copyFileData(BlockReader& source, ByteSink& target, int64_t count, bool transform);

// The one subdirectory level a name asks for: the text before its first backslash, or empty.
std::string includedFileDirectory(std::string_view name);

struct Extraction {
    ExtractResult result = ExtractResult::Ok;
    // The position behind the last extracted file; 0 unless extraction ran to its end.
    uint32_t unextractedPosition = 0;
};

// Windows side: extracts the first n files (config string 2002) of the block behind
// blockEnd into the per-run directory, creating it when createDirectory is set. A file that
// cannot be created ends the launch.
Extraction extractIncludedFiles(const std::wstring& executablePath, uint32_t blockEnd,
                                bool createDirectory);

}  // namespace launcher
