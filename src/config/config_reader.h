// Reading the configuration block from the launcher's own executable at start-up.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/unique_handle.h"
#include "config/config_block.h"

namespace launcher {

// The executable's bytes through ReadFile; a BlockReader on top buffers them.
class FileSource : public ByteSource {
public:
    explicit FileSource(HANDLE file);
    uint64_t size() const override { return size_; }
    size_t readAt(uint64_t offset, uint8_t* dst, size_t n, uint32_t& error) override;

private:
    HANDLE file_;
    uint64_t size_ = 0;
};

// The launcher's own executable (its long path), opened for reading, shared for reading and
// writing.
UniqueFile openOwnExecutable(const std::wstring& executablePath);
// The executable's configuration block, read in one pass: readStrings opens the file and reads
// the narrow strings into the process-wide table, readTables goes on with the localized strings
// and the language sections, and the same open file serves the extraction of the included files
// behind them. A failure comes back with its log line written; the entry ends the process with
// its text (readFailureText): the launcher cannot run on a partial configuration.
class OwnBlock {
public:
    explicit OwnBlock(const std::wstring& executablePath);
    OwnBlock(const OwnBlock&) = delete;
    OwnBlock& operator=(const OwnBlock&) = delete;

    // Finds the block in the opened file and reads its narrow strings; executablePath names the
    // file in the log line of an open failure.
    ReadFailure readStrings(const std::wstring& executablePath);
    // Localized strings and the language sections for languageCode; blockEnd becomes the
    // position just behind the sections, where the included files begin.
    ReadFailure readTables(std::string_view languageCode, uint32_t& blockEnd);
    // The reader over the open file, for the included files.
    BlockReader& reader() { return reader_; }
    // Closes the file once nothing more is read.
    void close() { file_.reset(); }

private:
    ReadFailure failed();

    UniqueFile file_;
    uint32_t openError_;  // taken before anything else can change the last error
    FileSource source_;
    BlockReader reader_;
};

}  // namespace launcher
