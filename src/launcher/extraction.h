// Extraction of the files carried behind the configuration block into the per-run directory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "launcher/config_block.h"

namespace launcher {

// Results of the extraction operations.
constexpr int kExtractOk = 0;
constexpr int kExtractReadFailed = 1;
constexpr int kExtractWriteFailed = 2;

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
// XOR-decoding each byte when transform is set. Returns kExtractOk, kExtractReadFailed or
// kExtractWriteFailed, with the matching log line.
int copyFileData(BlockReader& source, ByteSink& target, int64_t count, bool transform);

// The included files' names as the launcher splits config string 2003: at ";", runs skipped.
std::vector<std::string> includedFileNames(std::string_view names);

// The one subdirectory level a name asks for: the text before its first backslash, or empty.
std::string includedFileDirectory(std::string_view name);

// The position behind the last extracted file; 0 until extraction ran to its end.
uint32_t& unextractedPosition();

// Windows side: extracts the first n files (config string 2002) into the per-run directory,
// creating it when createDirectory is set. Returns kExtractOk, kExtractReadFailed or
// kExtractWriteFailed; a file that cannot be created ends the launch.
int extractIncludedFiles(bool createDirectory);

}  // namespace launcher
