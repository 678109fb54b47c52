#include <windows.h>

#include <algorithm>

#include "common/log.h"
#include "config/config.h"
#include "config/config_reader.h"

namespace launcher {

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
      openError_(file_ ? 0 : ::GetLastError()),
      source_(file_.get()),
      reader_(source_) {}

ReadFailure OwnBlock::readStrings(const std::wstring& executablePath) {
    if (!file_) {
        logError(L"Could not open %p %d %s", static_cast<void*>(file_.get()), openError_,
                 executablePath);
        return ReadFailure::Open;
    }
    if (!seekConfigBlock(reader_) || !readConfigStrings(reader_, configStrings())) return failed();
    return ReadFailure::None;
}

ReadFailure OwnBlock::readTables(std::string_view languageCode, uint32_t& blockEnd) {
    if (!readLocalizedTables(reader_, languageCode, localizedStrings(), blockEnd)) return failed();
    return ReadFailure::None;
}

ReadFailure OwnBlock::failed() {
    logReadFailure(reader_);
    return reader_.failure();
}

}  // namespace launcher
