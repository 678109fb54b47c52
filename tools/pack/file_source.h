// A ByteSource over a file on disk, read where asked instead of loaded whole.
#pragma once

#include <fstream>
#include <string>

#include "config/config_block.h"

namespace pack {

class FileSource : public launcher::ByteSource {
public:
    explicit FileSource(const std::string& path);
    bool isOpen() const { return open_; }
    uint64_t size() const override { return size_; }
    size_t readAt(uint64_t offset, uint8_t* dst, size_t n, uint32_t& error) override;

private:
    std::ifstream in_;
    bool open_ = false;
    uint64_t size_ = 0;
};

}  // namespace pack
