#include "launcher/extraction.h"

#include <algorithm>
#include <array>

#include "common/log.h"

namespace launcher {

std::string includedFileDirectory(std::string_view name) {
    const size_t slash = name.find('\\');
    return slash == std::string_view::npos ? std::string() : std::string(name.substr(0, slash));
}

ExtractResult copyFileData(BlockReader& source, ByteSink& target, int64_t count, bool transform) {
    if (count <= 0) return ExtractResult::Ok;
    std::array<uint8_t, kCopyChunk> buffer;
    int64_t copied = 0;
    while (copied < count) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(kCopyChunk, count - copied));
        uint32_t error = 0;
        const size_t got = source.readBytes(buffer.data(), want, error);
        if (got == 0) {
            // The end of the file before the content's end: the content was cut short.
            logError(L"ReadFile failed %d %d %I64d", static_cast<int>(got), error, copied);
            return ExtractResult::ReadFailed;
        }
        if (transform) {
            for (size_t i = 0; i < got; ++i) buffer[i] ^= kIncludedFileXor;
        }
        size_t done = 0;
        while (done < got) {
            size_t written = 0;
            if (!target.write(buffer.data() + done, got - done, written, error) || written == 0) {
                logError(L"WriteFile failed %d %d", static_cast<int>(got - done), error);
                return ExtractResult::WriteFailed;
            }
            done += written;
        }
        copied += static_cast<int64_t>(got);
    }
    return ExtractResult::Ok;
}

}  // namespace launcher
