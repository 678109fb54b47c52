#include <windows.h>

#include <algorithm>

#include "common/fatal.h"
#include "common/log.h"
#include "config/config.h"
#include "config/config_reader.h"

namespace launcher {

namespace {

uint32_t& blockEnd() {
    static uint32_t position = 0;
    return position;
}

// Opens the executable and positions a reader at the block; ends the process on failure.
struct OpenBlock {
    UniqueFile file;
    FileSource source;
    BlockReader reader;
    explicit OpenBlock(const std::wstring& path)
        : file(openOwnExecutable(path)), source(checked(file, path)), reader(source) {
        if (!seekConfigBlock(reader)) fail(reader);
    }
    static HANDLE checked(const UniqueFile& f, const std::wstring& path) {
        if (!f) {
            const DWORD error = ::GetLastError();
            logError(L"Could not open %p %d %s", static_cast<void*>(f.get()), error, path);
            fatalError(readFailureText(ReadFailure::Open));
        }
        return f.get();
    }
    [[noreturn]] static void fail(const BlockReader& r) {
        logReadFailure(r);
        fatalError(readFailureText(r.failure()));
    }
};

}  // namespace

FileSource::FileSource(HANDLE file) : file_(file) {
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(file, &size)) size_ = static_cast<uint64_t>(size.QuadPart);
}

size_t FileSource::readAt(uint64_t offset, uint8_t* dst, size_t n, uint32_t& error) {
    error = 0;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(file_, at, nullptr, FILE_BEGIN)) {
        error = ::GetLastError();
        return 0;
    }
    size_t done = 0;
    while (done < n) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(n - done, 1u << 30));
        if (!::ReadFile(file_, dst + done, want, &got, nullptr)) {
            error = ::GetLastError();
            break;
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

UniqueFile openOwnExecutable(const std::wstring& executablePath) {
    return UniqueFile(::CreateFileW(executablePath.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

void readConfigStrings(const std::wstring& executablePath) {
    OpenBlock block(executablePath);
    if (!launcher::readConfigStrings(block.reader, configStrings())) OpenBlock::fail(block.reader);
}

void readConfigBlock(const std::wstring& executablePath, std::string_view languageCode) {
    OpenBlock block(executablePath);
    if (!readConfigBlockTables(block.reader, languageCode, localizedStrings(), blockEnd())) {
        OpenBlock::fail(block.reader);
    }
}

uint32_t blockEndPosition() {
    return blockEnd();
}

}  // namespace launcher
