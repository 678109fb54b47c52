#include <windows.h>

#include <algorithm>

#include "common/fatal.h"
#include "common/log.h"
#include "config/config.h"
#include "config/config_reader.h"

namespace launcher {

namespace {

// The open executable, or the fatal exit with the open failure's log line.
HANDLE checkedOpen(const UniqueFile& file, const std::wstring& path) {
    if (!file) {
        const DWORD error = ::GetLastError();
        logError(L"Could not open %p %d %s", static_cast<void*>(file.get()), error, path);
        fatalError(readFailureText(ReadFailure::Open));
    }
    return file.get();
}

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

OwnBlock::OwnBlock(const std::wstring& executablePath)
    : file_(openOwnExecutable(executablePath)),
      source_(checkedOpen(file_, executablePath)),
      reader_(source_) {
    if (!seekConfigBlock(reader_) || !readConfigStrings(reader_, configStrings())) fail();
}

uint32_t OwnBlock::readTables(std::string_view languageCode) {
    uint32_t blockEnd = 0;
    if (!readLocalizedTables(reader_, languageCode, localizedStrings(), blockEnd)) fail();
    return blockEnd;
}

void OwnBlock::fail() {
    logReadFailure(reader_);
    fatalError(readFailureText(reader_.failure()));
}

}  // namespace launcher
