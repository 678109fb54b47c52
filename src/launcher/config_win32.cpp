#include <windows.h>

#include "env/paths.h"
#include "launcher/config.h"
#include "launcher/config_reader.h"
#include "log/errors.h"
#include "log/log.h"

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
    OpenBlock() : file(openOwnExecutable()), source(checked(file)), reader(source) {
        if (!seekConfigBlock(reader)) fail(reader);
    }
    static HANDLE checked(const UniqueFile& f) {
        if (!f) {
            const DWORD error = ::GetLastError();
            logError(L"Could not open %p %d %s", static_cast<void*>(f.get()), error,
                     executablePathW());
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

UniqueFile openOwnExecutable() {
    return UniqueFile(::CreateFileW(executablePathW().c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

void readConfigStrings() {
    OpenBlock block;
    if (!launcher::readConfigStrings(block.reader, configStrings())) OpenBlock::fail(block.reader);
}

std::string selectLanguage() {
    // The user-interface language is not consulted yet: the default texts are English.
    const std::string code = "en";
    logMessage(L"language/country is %S", code);
    return code;
}

void readConfigBlock() {
    OpenBlock block;
    const std::string language = selectLanguage();
    if (!readConfigBlockTables(block.reader, language, localizedStrings(), blockEnd())) {
        OpenBlock::fail(block.reader);
    }
    const int32_t kind = parseConfigInt(getConfigString(107, kBufferLength));
    if (kind != 1 && kind != 5) guiErrors = false;
}

uint32_t blockEndPosition() {
    return blockEnd();
}

}  // namespace launcher
