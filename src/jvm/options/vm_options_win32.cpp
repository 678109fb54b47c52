#include <windows.h>

#include <utility>

#include "common/fatal.h"
#include "common/limits.h"
#include "common/log.h"
#include "common/unique_handle.h"
#include "env/expand_launcher_variables.h"
#include "env/paths.h"
#include "jvm/options/vm_options.h"

namespace launcher {

namespace {

constexpr DWORD kReadChunk = 64 * 1024;

// What became of a file read for its options.
struct FileRead {
    bool opened = false;               // it exists and could be opened
    std::optional<std::string> bytes;  // nothing when it did not open or held too much
};

// The whole file, opened as the C runtime's fopen(..., "r") shares it; a file of more than
// maxBytes is refused (logged) without being read into memory.
FileRead readWholeFile(const std::wstring& path, size_t maxBytes) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(file.get(), &size) && uint64_t(size.QuadPart) > maxBytes) {
        logError(L"options file %s not read: %I64d bytes, more than %I64d", path,
                 static_cast<long long>(size.QuadPart), static_cast<long long>(maxBytes));
        return {true, std::nullopt};
    }
    std::string bytes;
    // The size is checked again while reading: the file may grow meanwhile.
    while (true) {
        const size_t start = bytes.size();
        bytes.resize(start + kReadChunk);
        DWORD got = 0;
        // A read error ends the text as it ends the runtime's line reads.
        if (!::ReadFile(file.get(), bytes.data() + start, kReadChunk, &got, nullptr)) got = 0;
        bytes.resize(start + got);
        if (got == 0) break;
        if (bytes.size() > maxBytes) {
            logError(L"options file %s not read: it grew beyond %I64d bytes", path,
                     static_cast<long long>(maxBytes));
            return {true, std::nullopt};
        }
    }
    return {true, std::move(bytes)};
}

// Candidate A (the path without ".exe", plus ".vmoptions"), then candidate B (the whole path
// plus ".vmoptions") when A did not open. A file that opened ends the search even when it was
// refused for its size: the application's own file is never passed over for another.
std::pair<bool, std::optional<VmOptionsFile>> readOptionsBeside(const std::wstring& executable,
                                                                size_t maxBytes) {
    std::wstring candidate;
    FileRead read;
    if (executable.size() > 4) {
        candidate = executable.substr(0, executable.size() - 4) + L".vmoptions";
        read = readWholeFile(candidate, maxBytes);
        logMessage(L"vmoptions2: exe %s file: %s, file: %d", executable, candidate,
                   read.opened ? 1 : 0);
    }
    if (!read.opened) {
        candidate = executable + L".vmoptions";
        read = readWholeFile(candidate, maxBytes);
        logMessage(L"vmoptions: opts2: %s, file: %d", candidate, read.opened ? 1 : 0);
    }
    if (!read.bytes) return {read.opened, std::nullopt};
    return {true, VmOptionsFile{std::move(candidate), std::move(*read.bytes)}};
}

// "A" and "D" entries (and "S" outside the class path): the resolved path whether or not it
// exists; returns whether it does.
bool appendPathEntry(const std::string& value, std::string& target) {
    const std::string resolved = resolvePathList(value);
    target += resolved;
    target += ';';
    return pathExists(resolved);
}

// An "S" entry of the class path: its archives, .jar before .zip; present when the folder is.
bool appendArchiveEntries(const std::string& value, OptionSources& sources, std::string& target) {
    const std::string folder = resolvePathList(value);
    const std::wstring wideFolder = fromNarrowPath(folder);
    for (const std::wstring_view extension :
         {std::wstring_view(L"jar"), std::wstring_view(L"zip")}) {
        for (const std::wstring& name : listFolderByExtension(wideFolder, extension)) {
            appendResolvedPath(target, folder + '\\' + sources.narrow(name));
            target += ';';
        }
    }
    return pathExists(folder);
}

// An "E" entry: the variable's value, without one pair of enclosing quotes, ending in ";".
// Returns whether anything was appended.
bool appendVariableEntry(const std::string& name, std::string& target) {
    std::string value(kBufferLength, '\0');
    ::SetLastError(ERROR_SUCCESS);
    const DWORD n = ::GetEnvironmentVariableA(name.c_str(), value.data(), DWORD(kBufferLength));
    if (n >= kBufferLength) {
        logError(L"variable %S not used: its value is longer than %d characters", name,
                 static_cast<int>(kBufferLength - 1));
        return false;
    }
    if (n == 0) {
        const bool missing = ::GetLastError() == ERROR_ENVVAR_NOT_FOUND;
        logMessage(missing ? L"variable %S not set" : L"variable %S empty", name);
        return false;
    }
    value.resize(n);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    // A value of two quotes alone adds its empty value and the separator.
    target += value;
    if (value.empty() || value.back() != ';') target += ';';
    return true;
}

}  // namespace

std::wstring WindowsOptionSources::expand(std::wstring_view text, bool ansiSafe) {
    std::wstring out(text);
    expandLauncherVariables(out, ansiSafe, run_, jvmHome_);
    return out;
}

std::string WindowsOptionSources::expandNarrow(std::string_view text) {
    std::string out(text);
    expandLauncherVariablesNarrow(out, run_, jvmHome_);
    return out;
}

std::string WindowsOptionSources::narrow(std::wstring_view text) {
    return toNarrowPath(text).text;
}

std::wstring WindowsOptionSources::resolveInclude(std::wstring_view path,
                                                  const std::wstring* baseFile) {
    std::wstring out;
    appendResolvedPath(out, path, baseFile, FolderForm::Wide);
    return out;
}

std::optional<std::string> WindowsOptionSources::readFile(const std::wstring& path,
                                                          size_t maxBytes) {
    return readWholeFile(path, maxBytes).bytes;
}

std::optional<VmOptionsFile> readDefaultVmOptionsFile(size_t maxBytes) {
    auto [opened, file] = readOptionsBeside(executablePathW(), maxBytes);
    if (opened) return std::move(file);
    // The module name as the system reports it may differ from the long form (a short name).
    std::wstring module(kBufferLength, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, module.data(), DWORD(kBufferLength));
    if (n == 0 || n >= kBufferLength) return std::nullopt;
    module.resize(n);
    return readOptionsBeside(module, maxBytes).second;
}

bool appendConfiguredEntries(Setting list, std::string_view text, OptionSources& sources,
                             std::string& target, RunFailure& failure) {
    logMessage(L"entry %S", text);
    const std::vector<ConfiguredEntry> entries = configuredEntries(text);
    logMessage(L"entries %d", static_cast<int>(entries.size()));
    for (const ConfiguredEntry& entry : entries) {
        const std::string value = sources.expandNarrow(entry.value);
        bool present = true;
        switch (entry.kind) {
            case 'A':
            case 'D':
                present = appendPathEntry(value, target);
                break;
            case 'S':
                present = list == Setting::ClassPath ? appendArchiveEntries(value, sources, target)
                                                     : appendPathEntry(value, target);
                break;
            case 'E':
                // A required variable that adds nothing (unset, empty or too long) fails as
                // missing: the application cannot start without what it names.
                if (!appendVariableEntry(value, target) && entry.required) {
                    failure.set(Message::RequiredVariableMissing, value);
                    return false;
                }
                break;
            default:
                break;
        }
        if (!present && entry.required) {
            failure.set(Message::RequiredPathMissing, value);
            return false;
        }
    }
    return true;
}

}  // namespace launcher
