// Extraction of the files carried behind the configuration block into the per-run directory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/fatal.h"
#include "config/config_block.h"

namespace launcher {

class RunDirectory;

// Results of the extraction operations. Extraction reports every failure this one way; the run
// road turns it into the fatal exit with the matching text.
enum class ExtractResult {
    Ok,
    ReadFailed,    // the included bytes ended early (message 1009, "16")
    WriteFailed,   // an extracted file could not be written (message 1009, "16")
    NotCreated,    // an extracted file could not be created (message 1009, "11")
    BlockDamaged,  // a size field could not be read (the reader's failure text)
    NoDirectory,   // the per-run directory could not be made (the failure says why)
};

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

// Windows side: extracts the first fileCount of the named files behind blockEnd of the block's
// reader into the per-run directory run, creating it when createDirectory is set (and forgetting
// it when there is nothing to extract; NoDirectory with failure filled in when it cannot be
// made). A partly written file is deleted before a failure is returned.
Extraction extractIncludedFiles(BlockReader& reader, uint32_t blockEnd, int32_t fileCount,
                                const std::vector<std::string>& fileNames, RunDirectory& run,
                                bool createDirectory, RunFailure& failure);

}  // namespace launcher
