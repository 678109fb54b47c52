#include "block_writer.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <stdexcept>
#include <system_error>

#include "config/config_block.h"
#include "config/settings.h"
#include "file_path.h"

namespace pack {

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void put64(std::vector<uint8_t>& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putBytes(std::vector<uint8_t>& out, std::string_view s) {
    put32(out, static_cast<uint32_t>(s.size()));
    out.insert(out.end(), s.begin(), s.end());
}

void putWide(std::vector<uint8_t>& out, std::u16string_view s) {
    put32(out, static_cast<uint32_t>(s.size() * 2));
    for (char16_t c : s) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
}
}  // namespace

BlockWriter& BlockWriter::string(int32_t id, std::string_view value) {
    strings_.emplace_back(id, std::string(value));
    return *this;
}

BlockWriter& BlockWriter::wide(int32_t id, std::u16string_view value) {
    wides_.emplace_back(id, std::u16string(value));
    return *this;
}

BlockWriter& BlockWriter::section(LanguageSection section) {
    sections_.push_back(std::move(section));
    return *this;
}

BlockWriter& BlockWriter::file(IncludedFile file) {
    files_.push_back(std::move(file));
    return *this;
}

BlockWriter& BlockWriter::trailer(std::vector<uint8_t> bytes) {
    trailer_ = std::move(bytes);
    return *this;
}

BlockWriter& BlockWriter::magic(uint32_t value) {
    magic_ = value;
    return *this;
}

BlockWriter& BlockWriter::reserved(int32_t a, int32_t b, int64_t c) {
    reservedA_ = a;
    reservedB_ = b;
    reservedC_ = c;
    return *this;
}

std::vector<uint8_t> BlockWriter::build() const {
    auto strings = strings_;
    if (!files_.empty()) {
        constexpr int32_t countId = launcher::idOf(launcher::Setting::IncludedFileCount);
        constexpr int32_t namesId = launcher::idOf(launcher::Setting::IncludedFileNames);
        bool hasCount = false, hasNames = false;
        for (const auto& [id, v] : strings) {
            hasCount |= id == countId;
            hasNames |= id == namesId;
        }
        if (!hasCount) strings.emplace_back(countId, std::to_string(files_.size()));
        if (!hasNames) {
            std::string names;
            for (const auto& f : files_) {
                if (!names.empty()) names += launcher::kIncludedFileNameSeparator;
                names += f.name;
            }
            strings.emplace_back(namesId, names);
        }
    }
    std::vector<uint8_t> out;
    put32(out, magic_);
    put32(out, static_cast<uint32_t>(reservedA_));
    put32(out, static_cast<uint32_t>(reservedB_));
    put64(out, static_cast<uint64_t>(reservedC_));
    put32(out, static_cast<uint32_t>(strings.size()));
    for (const auto& [id, v] : strings) {
        put32(out, static_cast<uint32_t>(id));
        putBytes(out, v);
    }
    put32(out, static_cast<uint32_t>(wides_.size()));
    for (const auto& [id, v] : wides_) {
        put32(out, static_cast<uint32_t>(id));
        putWide(out, v);
    }
    put32(out, static_cast<uint32_t>(sections_.size()));
    for (const auto& s : sections_) {
        putBytes(out, s.key);
        put32(out, static_cast<uint32_t>(s.entries.size()));
        for (const auto& [id, v] : s.entries) {
            put32(out, static_cast<uint32_t>(id));
            putWide(out, v);
        }
    }
    for (const auto& f : files_) {
        put64(out, f.content.size());
        for (uint8_t b : f.content) out.push_back(b ^ launcher::kIncludedFileXor);
    }
    out.insert(out.end(), trailer_.begin(), trailer_.end());
    return out;
}

int64_t blockOffset(const std::vector<uint8_t>& b) {
    launcher::MemorySource source(b);
    launcher::BlockReader reader(source);
    launcher::BlockLocation location;
    if (!launcher::locateConfigBlock(reader, location)) return -1;
    // A stub without sections or with a negative optional-header size is no image to pack,
    // even though the launcher would still compute some offset for it.
    if (location.sections <= 0 || location.optionalSize < 0) return -1;
    return location.offset;
}

std::vector<uint8_t> appendBlock(const std::vector<uint8_t>& stub,
                                 const std::vector<uint8_t>& block) {
    const int64_t at = blockOffset(stub);
    if (at < 0) throw std::runtime_error("the stub is not a PE image");
    if (static_cast<uint64_t>(at) != stub.size()) {
        // Data behind the last section (a signature, debug data) would hide the block: the
        // launcher reads it right behind the last section.
        throw std::runtime_error("the stub has " + std::to_string(int64_t(stub.size()) - at) +
                                 " bytes behind its last section; the block must start there");
    }
    std::vector<uint8_t> out = stub;
    out.insert(out.end(), block.begin(), block.end());
    return out;
}

std::vector<uint8_t> readFileBytes(const std::string& path) {
    std::ifstream in(pathFromUtf8(path), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

namespace {

// Writes the bytes to a file and closes it: a disk that fills up shows only when the last
// buffer is flushed, so the stream is checked after closing.
bool writeWhole(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

// A name for the temporary file beside the output, unused so far.
std::filesystem::path temporaryBeside(const std::filesystem::path& target) {
    std::random_device random;
    for (int attempt = 0;; ++attempt) {
        std::filesystem::path candidate = target;
        candidate += pathFromUtf8(".pack-" + std::to_string(random() % 1000000) + ".tmp");
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::symlink_status(candidate, ec)) ||
            attempt == 100) {
            return candidate;
        }
    }
}

}  // namespace

void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes, bool executable) {
    namespace fs = std::filesystem;
    fs::path target = pathFromUtf8(path);
    std::error_code ec;
    // A link is followed: the file it names is replaced and the link stays.
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        if (fs::path resolved = fs::canonical(target, ec); !ec) target = resolved;
    }
    const fs::file_status status = fs::status(target, ec);
    if (fs::is_directory(status)) {
        throw std::runtime_error("cannot write " + path +
                                 ": it is a folder; name a file to write instead");
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        // A device or a pipe cannot be replaced: it is written in place.
        if (!writeWhole(target, bytes)) throw std::runtime_error("cannot write " + path);
        return;
    }
    // The bytes go to a temporary file in the same folder, which then replaces the output in
    // one step (MoveFileEx with MOVEFILE_REPLACE_EXISTING on Windows): an output that cannot
    // be written keeps what it held, and a failed write leaves no half-written file.
    const fs::path temporary = temporaryBeside(target);
    const auto fail = [&](const std::string& why) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw std::runtime_error("cannot write " + path + why);
    };
    if (!writeWhole(temporary, bytes)) fail("");
    if (executable) {
        // rwxr-xr-x where the file system has such bits; nothing to do elsewhere (Windows).
        fs::permissions(temporary, fs::perms(0755), fs::perm_options::replace, ec);
    }
    fs::rename(temporary, target, ec);
    if (ec) fail(": " + ec.message());
}

}  // namespace pack
