#include "config/config_block.h"

#include <algorithm>
#include <cstring>

#include "common/log.h"
#include "common/text_list.h"

namespace launcher {

std::vector<std::string> includedFileNames(std::string_view names) {
    return splitList(names);
}

std::wstring readFailureText(ReadFailure failure) {
    switch (failure) {
        case ReadFailure::None:
            return L"";
        case ReadFailure::Open:
            return L"Error opening media file.";
        case ReadFailure::Magic:
            return L"Internal Error: magic";
        case ReadFailure::ReadInt:
            return L"Internal Error: readInt";
        case ReadFailure::ReadLong:
            return L"Internal Error: readLong";
        case ReadFailure::ReadShort:
            return L"Internal Error: readShort";
        case ReadFailure::ReadString:
            return L"Internal Error: readString";
        case ReadFailure::ReadWString:
            return L"Internal Error: readWString";
    }
    return L"";
}

size_t MemorySource::readAt(uint64_t offset, uint8_t* dst, size_t n, uint32_t& error) {
    error = 0;
    if (offset >= bytes_.size()) return 0;
    const size_t count = static_cast<size_t>(std::min<uint64_t>(n, bytes_.size() - offset));
    std::memcpy(dst, bytes_.data() + offset, count);
    return count;
}

BlockReader::BlockReader(ByteSource& source, size_t window)
    : source_(source), buffer_(std::max<size_t>(window, 64)) {}

void BlockReader::seek(uint64_t position) {
    position_ = position;
}

// Copies up to n bytes from the current position through the buffer window.
size_t BlockReader::fill(uint8_t* dst, size_t n, uint32_t& error) {
    error = 0;
    size_t done = 0;
    while (done < n) {
        if (position_ >= bufferStart_ && position_ < bufferStart_ + bufferLength_) {
            const size_t at = static_cast<size_t>(position_ - bufferStart_);
            const size_t count = std::min(n - done, bufferLength_ - at);
            std::memcpy(dst + done, buffer_.data() + at, count);
            done += count;
            position_ += count;
            continue;
        }
        if (n - done >= buffer_.size()) {
            // Large reads (included files) bypass the window.
            const size_t got = source_.readAt(position_, dst + done, n - done, error);
            done += got;
            position_ += got;
            break;
        }
        bufferStart_ = position_;
        bufferLength_ = source_.readAt(position_, buffer_.data(), buffer_.size(), error);
        if (bufferLength_ == 0) break;
    }
    return done;
}

bool BlockReader::fail(ReadFailure kind, uint32_t error, size_t got) {
    if (failure_ == ReadFailure::None) {
        failure_ = kind;
        errorCode_ = error;
        bytesRead_ = static_cast<uint32_t>(got);
    }
    return false;
}

bool BlockReader::readRaw(uint8_t* dst, size_t n, ReadFailure kind) {
    if (failure_ != ReadFailure::None) return false;
    uint32_t error = 0;
    const size_t got = fill(dst, n, error);
    if (got < n) return fail(kind, error, got);
    return true;
}

size_t BlockReader::readBytes(uint8_t* dst, size_t n, uint32_t& error) {
    return fill(dst, n, error);
}

bool BlockReader::readInt16(int16_t& value) {
    uint8_t b[2];
    if (!readRaw(b, 2, ReadFailure::ReadShort)) return false;
    value = static_cast<int16_t>(b[0] | b[1] << 8);
    return true;
}

bool BlockReader::readInt32(int32_t& value) {
    uint8_t b[4];
    if (!readRaw(b, 4, ReadFailure::ReadInt)) return false;
    value = static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 |
                                 uint32_t(b[3]) << 24);
    return true;
}

bool BlockReader::readInt64(int64_t& value) {
    uint8_t b[8];
    if (!readRaw(b, 8, ReadFailure::ReadLong)) return false;
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | b[i];
    value = static_cast<int64_t>(v);
    return true;
}

// A length is only trusted when the file really holds that many bytes after it: a damaged
// block never leads to a huge allocation.
static bool lengthFits(int32_t length, uint64_t position, uint64_t size) {
    return length >= 0 && position <= size && static_cast<uint64_t>(length) <= size - position;
}

bool BlockReader::readByteString(std::string& value) {
    int32_t length = 0;
    if (!readInt32(length)) return false;
    if (!lengthFits(length, position_, source_.size())) {
        return fail(ReadFailure::ReadString, 0, 0);
    }
    value.resize(static_cast<size_t>(length));
    return readRaw(reinterpret_cast<uint8_t*>(value.data()), value.size(), ReadFailure::ReadString);
}

bool BlockReader::skipByteString() {
    int32_t length = 0;
    if (!readInt32(length)) return false;
    if (!lengthFits(length, position_, source_.size())) {
        return fail(ReadFailure::ReadString, 0, 0);
    }
    position_ += static_cast<uint64_t>(length);
    return true;
}

bool BlockReader::readWideString(std::wstring& value) {
    int32_t length = 0;
    if (!readInt32(length)) return false;
    // An odd length cannot hold UTF-16 text: the block is damaged.
    if (length % 2 != 0 || !lengthFits(length, position_, source_.size())) {
        return fail(ReadFailure::ReadWString, 0, 0);
    }
    std::string bytes(static_cast<size_t>(length), '\0');
    if (!readRaw(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size(),
                 ReadFailure::ReadWString)) {
        return false;
    }
    value.resize(bytes.size() / 2);
    for (size_t i = 0; i < value.size(); ++i) {
        value[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
    return true;
}

void logReadFailure(const BlockReader& reader) {
    switch (reader.failure()) {
        case ReadFailure::ReadInt:
            logMessage(L"error %d %d\n", reader.errorCode(), reader.bytesRead());
            break;
        case ReadFailure::ReadLong:
        case ReadFailure::ReadShort:
            logMessage(L"error %d\n", reader.errorCode());
            break;
        default:
            break;
    }
}

bool locateConfigBlock(BlockReader& reader, BlockLocation& location) {
    int32_t l = 0;
    int32_t rawSize = 0, rawPointer = 0;
    reader.seek(60);
    if (!reader.readInt32(l)) return false;
    // All offsets are 32-bit, as in the image format: wrap-around arithmetic, never UB.
    reader.seek(static_cast<uint32_t>(l) + 6u);
    if (!reader.readInt16(location.sections)) return false;
    reader.seek(static_cast<uint32_t>(l) + 20u);
    if (!reader.readInt16(location.optionalSize)) return false;
    const uint32_t end = static_cast<uint32_t>(l) + 4u +
                         static_cast<uint32_t>(int32_t(location.optionalSize)) +
                         40u * static_cast<uint32_t>(int32_t(location.sections));
    reader.seek(end - 4u);
    if (!reader.readInt32(rawSize)) return false;
    reader.seek(end);
    if (!reader.readInt32(rawPointer)) return false;
    location.offset = static_cast<uint32_t>(rawPointer) + static_cast<uint32_t>(rawSize);
    return true;
}

bool seekConfigBlock(BlockReader& reader) {
    BlockLocation location;
    if (!locateConfigBlock(reader, location)) return false;
    reader.seek(location.offset);
    return true;
}

static bool readHeader(BlockReader& reader) {
    int32_t magic = 0, reserved = 0;
    int64_t reserved64 = 0;
    if (!reader.readInt32(magic)) return false;
    if (static_cast<uint32_t>(magic) != kConfigMagic) return reader.failWith(ReadFailure::Magic);
    return reader.readInt32(reserved) && reader.readInt32(reserved) && reader.readInt64(reserved64);
}

bool readConfigStrings(BlockReader& reader, ConfigStrings& strings) {
    if (!readHeader(reader)) return false;
    int32_t count = 0;
    if (!reader.readInt32(count)) return false;
    for (int32_t i = 0; i < count; ++i) {
        int32_t id = 0;
        std::string value;
        if (!reader.readInt32(id) || !reader.readByteString(value)) return false;
        strings[id] = std::move(value);
    }
    return true;
}

bool languageSectionApplies(std::string_view key, std::string_view languageCode) {
    return languageCode.substr(0, key.size()) == key && languageCode.size() >= key.size();
}

bool readConfigBlockTables(BlockReader& reader, std::string_view languageCode,
                           LocalizedStrings& localized, uint32_t& blockEnd) {
    if (!readHeader(reader)) return false;
    int32_t count = 0;
    if (!reader.readInt32(count)) return false;
    for (int32_t i = 0; i < count; ++i) {
        int32_t id = 0;
        if (!reader.readInt32(id) || !reader.skipByteString()) return false;
    }
    return readLocalizedTables(reader, languageCode, localized, blockEnd);
}

bool readLocalizedTables(BlockReader& reader, std::string_view languageCode,
                         LocalizedStrings& localized, uint32_t& blockEnd) {
    int32_t count = 0;
    if (!reader.readInt32(count)) return false;
    for (int32_t i = 0; i < count; ++i) {
        int32_t id = 0;
        std::wstring value;
        if (!reader.readInt32(id) || !reader.readWideString(value)) return false;
        localized[id] = std::move(value);
    }
    if (!reader.readInt32(count)) return false;
    for (int32_t i = 0; i < count; ++i) {
        std::string key;
        int32_t entries = 0;
        if (!reader.readByteString(key) || !reader.readInt32(entries)) return false;
        const bool applies = languageSectionApplies(key, languageCode);
        for (int32_t j = 0; j < entries; ++j) {
            int32_t id = 0;
            std::wstring value;
            if (!reader.readInt32(id) || !reader.readWideString(value)) return false;
            if (applies) localized[id] = std::move(value);
        }
    }
    blockEnd = static_cast<uint32_t>(reader.position());
    return true;
}

}  // namespace launcher
