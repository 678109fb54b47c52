#include <windows.h>

#include <cwctype>

#include "common/log.h"
#include "common/unique_handle.h"
#include "env/path_rules.h"
#include "env/paths.h"
#include "env/safe_folder_win32.h"
#include "env/temp_dir.h"
#include "jvm/options/class_data.h"

namespace launcher {

namespace {

constexpr size_t kReadChunk = 64 * 1024;

uint64_t fileTimeValue(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// A short, stable mark of the program's full path: two copies of one program in two folders
// keep their archives apart.
std::wstring pathMark(const std::wstring& path) {
    std::string lower;
    for (const wchar_t c : path) lower += static_cast<char>(::towlower(c) & 0xff);
    const uint64_t hash =
        fnv1a(kFnvStart, reinterpret_cast<const unsigned char*>(lower.data()), lower.size());
    std::wstring digits(8, L'0');
    for (size_t i = 0; i < digits.size(); ++i) {
        digits[i] = L"0123456789abcdef"[(hash >> (28 - 4 * i)) & 15];
    }
    return digits;
}

}  // namespace

std::optional<FileStamp> WindowsClassDataMachine::stamp(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(fromNarrowPath(path).c_str(), GetFileExInfoStandard, &data)) {
        return std::nullopt;
    }
    return FileStamp{(static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                     fileTimeValue(data.ftLastWriteTime)};
}

std::optional<std::string> WindowsClassDataMachine::archiveFolder() {
    // The account's own local application data: owned by the account (SYSTEM's for services
    // running as LocalSystem), so no other account can have put anything above the archives.
    std::wstring base;
    wchar_t value[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", value, MAX_PATH);
    if (length > 0 && length < MAX_PATH) base.assign(value, length);
    std::vector<std::wstring> names = {L"lumex", L"class-data"};
    if (!serviceName_.empty()) {
        if (base.empty()) base = programDataFolder();
        names.push_back(serviceName_);
    } else {
        names.push_back(programNameOf(executablePathW()) + L"-" + pathMark(executablePathW()));
    }
    if (base.empty()) {
        logMessage(L"class-data sharing: no base folder for the archives");
        return std::nullopt;
    }
    const std::wstring folder = makeSafeFolder(base, names);
    if (folder.empty()) return std::nullopt;
    // The JVM takes its options in the code page.
    const NarrowPath narrow = toNarrowPath(folder);
    if (narrow.replaced) {
        logMessage(L"class-data sharing: the code page cannot hold %s", folder);
        return std::nullopt;
    }
    return narrow.text + "\\";
}

std::vector<FolderEntry> WindowsClassDataMachine::listFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW data;
    UniqueFind find(::FindFirstFileW((fromNarrowPath(folder) + L"*").c_str(), &data));
    if (!find) return entries;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const NarrowPath narrow = toNarrowPath(name);
        if (narrow.replaced) continue;
        entries.push_back({narrow.text,
                           {(static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                            fileTimeValue(data.ftLastWriteTime)},
                           (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (::FindNextFileW(find.get(), &data));
    return entries;
}

void WindowsClassDataMachine::removeFile(const std::string& path) {
    const std::wstring wide = fromNarrowPath(path);
    // The JVM leaves its archives read-only.
    ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!::DeleteFileW(wide.c_str())) {
        logMessage(L"class-data sharing: %S not removed (%d)", path, ::GetLastError());
    }
}

bool WindowsClassDataMachine::renameFile(const std::string& from, const std::string& to) {
    return ::MoveFileExW(fromNarrowPath(from).c_str(), fromNarrowPath(to).c_str(), 0) != FALSE;
}

std::optional<uint64_t> WindowsClassDataMachine::contentHash(const std::string& path) {
    const UniqueFile file(::CreateFileW(fromNarrowPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                        nullptr));
    if (!file) return std::nullopt;
    std::vector<unsigned char> chunk(kReadChunk);
    uint64_t hash = kFnvStart;
    DWORD read = 0;
    while (::ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) &&
           read > 0) {
        hash = fnv1a(hash, chunk.data(), read);
    }
    return hash;
}

bool WindowsClassDataMachine::copyFile(const std::string& from, const std::string& to) {
    const std::wstring target = fromNarrowPath(to);
    const std::wstring folder = target.substr(0, target.find_last_of(L'\\'));
    // Inside the safe folder, so the copies' folder inherits its access list.
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring part =
        formatW(L"%s.%d.part", target, static_cast<long long>(::GetCurrentProcessId()));
    if (::CopyFileW(fromNarrowPath(from).c_str(), part.c_str(), FALSE) &&
        ::MoveFileExW(part.c_str(), target.c_str(), 0)) {
        return true;
    }
    ::DeleteFileW(part.c_str());
    return pathExists(std::wstring_view(target));
}

void WindowsClassDataMachine::removeFolder(const std::string& path) {
    emptyDirectory(path, 0);
    ::RemoveDirectoryA(path.c_str());
}

uint32_t WindowsClassDataMachine::processId() {
    return ::GetCurrentProcessId();
}

}  // namespace launcher
