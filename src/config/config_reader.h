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
// First reading: the narrow strings. Every failure ends the process.
void readConfigStrings(const std::wstring& executablePath);
// Second reading: localized strings and the language sections for languageCode; records where
// the included files begin. Every failure ends the process.
void readConfigBlock(const std::wstring& executablePath, std::string_view languageCode);
// The position just behind the language sections, where the included files begin.
uint32_t blockEndPosition();

}  // namespace launcher
