// Reading the configuration block from the launcher's own executable at start-up.
#pragma once

#include <cstdint>
#include <string>

#include "common/unique_handle.h"
#include "launcher/config_block.h"

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

// The own executable, opened for reading (shared for reading and writing).
UniqueFile openOwnExecutable();
// First reading: the narrow strings. Every failure ends the process.
void readConfigStrings();
// Second reading: localized strings, language sections, the end position and the error
// presentation mode. Every failure ends the process.
void readConfigBlock();
// The position just behind the language sections, where the included files begin.
uint32_t blockEndPosition();
// The chosen language code ("en" when nothing better is known).
std::string selectLanguage();

}  // namespace launcher
