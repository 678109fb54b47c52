#include "file_source.h"

#include "file_path.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace pack {

FileSource::FileSource(const std::string& path) {
    const std::filesystem::path file = pathFromUtf8(path);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec) || ec) return;
    size_ = std::filesystem::file_size(file, ec);
    if (ec) return;
    in_.open(file, std::ios::binary);
    open_ = static_cast<bool>(in_);
}

size_t FileSource::readAt(uint64_t offset, uint8_t* dst, size_t n, uint32_t& error) {
    error = 0;
    if (!open_ || offset >= size_) return 0;
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(reinterpret_cast<char*>(dst), static_cast<std::streamsize>(n));
    const auto got = static_cast<size_t>(in_.gcount());
    // A short read before the end of the file is a read error, not the end.
    if (got < n && offset + got < size_) error = errno != 0 ? static_cast<uint32_t>(errno) : EIO;
    return got;
}

}  // namespace pack
