#include <windows.h>

#include "common/limits.h"
#include "common/log.h"
#include "common/unique_handle.h"
#include "env/temp_dir.h"
#include "launcher/extraction.h"

namespace launcher {

namespace {

class FileSink : public ByteSink {
public:
    explicit FileSink(HANDLE file) : file_(file) {}
    bool write(const uint8_t* data, size_t n, size_t& written, uint32_t& error) override {
        DWORD done = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
        if (!::WriteFile(file_, data, want, &done, nullptr)) {
            error = ::GetLastError();
            return false;
        }
        written = done;
        return true;
    }

private:
    HANDLE file_;
};

// Extracts one file whose size field is at the reader's position.
ExtractResult extractFile(BlockReader& reader, const std::string& target) {
    int64_t size = 0;
    if (!reader.readInt64(size)) return ExtractResult::BlockDamaged;
    logMessage(L"extracting %S (size: %I64d)", target, size);
    if (size <= 0) return ExtractResult::Ok;
    UniqueFile file(::CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return ExtractResult::NotCreated;
    FileSink sink(file.get());
    const ExtractResult result = copyFileData(reader, sink, size, true);
    if (result != ExtractResult::Ok) {
        // An incomplete file must not stay behind: the fatal exit that follows removes the
        // per-run directory, which only works when the directory is empty.
        file.reset();
        ::DeleteFileA(target.c_str());
    }
    return result;
}

}  // namespace

Extraction extractIncludedFiles(BlockReader& reader, uint32_t blockEnd, int32_t fileCount,
                                const std::vector<std::string>& names, RunDirectory& run,
                                bool createDirectory, RunFailure& failure) {
    logMessage(L"extracting files");
    const int32_t count = fileCount;
    logMessage(L"Included files: %d", count);
    if (count == 0) {
        if (createDirectory) run.forget();
        return {};
    }
    if (createDirectory) {
        if (!run.create(failure)) return {ExtractResult::NoDirectory};
    }
    reader.seek(blockEnd);
    const std::string& directory = run.path();
    for (int32_t i = 0; i < count && static_cast<size_t>(i) < names.size(); ++i) {
        const std::string& name = names[static_cast<size_t>(i)];
        // Paths are kept below the standard buffer length; a longer name cannot be created.
        if (directory.size() + 1 + name.size() >= kBufferLength) {
            logError(L"file name too long: %S", name);
            return {ExtractResult::NotCreated};
        }
        const std::string subdirectory = includedFileDirectory(name);
        if (!subdirectory.empty()) {
            const std::string path = directory + "\\" + subdirectory;
            logMessage(L"creating directory %S", path);
            if (!::CreateDirectoryA(path.c_str(), nullptr) &&
                ::GetLastError() != ERROR_ALREADY_EXISTS) {
                logError(L"failed to create directory %S", path);
            }
        }
        const std::string target = directory + "\\" + name;
        const ExtractResult result = extractFile(reader, target);
        if (result == ExtractResult::ReadFailed || result == ExtractResult::WriteFailed) {
            logError(L"Failed to extract %S", target);
        }
        if (result != ExtractResult::Ok) return {result};
    }
    const auto position = static_cast<uint32_t>(reader.position());
    logMessage(L"extracting files done");
    return {ExtractResult::Ok, position};
}

}  // namespace launcher
