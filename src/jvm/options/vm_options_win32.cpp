#include <windows.h>

#include "common/fatal.h"
#include "common/limits.h"
#include "common/log.h"
#include "common/unique_handle.h"
#include "config/config.h"
#include "env/expand_launcher_variables.h"
#include "env/paths.h"
#include "jvm/options/vm_options.h"

namespace launcher {

namespace {

// Option files hold a few lines; a file this large is a mistake or hostile and is not parsed.
constexpr uint64_t kMaxOptionsFileBytes = uint64_t(16) << 20;
constexpr DWORD kReadChunk = 64 * 1024;

// The whole file, opened as the C runtime's fopen(..., "r") shares it; nothing when it cannot
// be opened or is too large.
std::optional<std::string> readWholeFile(const std::wstring& path) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(file.get(), &size) && uint64_t(size.QuadPart) > kMaxOptionsFileBytes) {
        logError(L"options file %s not read: %I64d bytes", path,
                 static_cast<long long>(size.QuadPart));
        return std::nullopt;
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
        if (bytes.size() > kMaxOptionsFileBytes) {
            logError(L"options file %s not read: it grew beyond %I64d bytes", path,
                     static_cast<long long>(kMaxOptionsFileBytes));
            return std::nullopt;
        }
    }
    return bytes;
}

class WindowsOptionSources final : public OptionSources {
public:
    void setJvmHome(std::string_view jvmHome) { jvmHome_.assign(jvmHome); }

    std::wstring expand(std::wstring_view text, bool ansiSafe) override {
        std::wstring out(text);
        expandLauncherVariables(out, ansiSafe, jvmHome_);
        return out;
    }
    std::string expandNarrow(std::string_view text) override {
        std::string out(text);
        expandLauncherVariablesNarrow(out, jvmHome_);
        return out;
    }
    std::string narrow(std::wstring_view text) override { return toNarrowPath(text).text; }
    std::wstring resolveInclude(std::wstring_view path, const std::wstring* baseFile) override {
        std::wstring out;
        appendResolvedPath(out, path, baseFile, FolderForm::Wide);
        return out;
    }
    std::optional<std::string> readFile(const std::wstring& path) override {
        return readWholeFile(path);
    }

private:
    std::string jvmHome_;
};

WindowsOptionSources& processSources() {
    static WindowsOptionSources sources;
    return sources;
}

// Candidate A (the path without ".exe", plus ".vmoptions"), then candidate B (the whole path
// plus ".vmoptions").
std::optional<std::string> readOptionsBeside(const std::wstring& executable) {
    std::optional<std::string> bytes;
    if (executable.size() > 4) {
        const std::wstring candidate = executable.substr(0, executable.size() - 4) + L".vmoptions";
        bytes = readWholeFile(candidate);
        logMessage(L"vmoptions2: exe %s file: %s, file: %d", executable, candidate, bytes ? 1 : 0);
    }
    if (!bytes) {
        const std::wstring candidate = executable + L".vmoptions";
        bytes = readWholeFile(candidate);
        logMessage(L"vmoptions: opts2: %s, file: %d", candidate, bytes ? 1 : 0);
    }
    return bytes;
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
    // A value of two quotes alone would add an empty class-path element, which Java reads as
    // the current folder.
    if (value.empty()) return false;
    target += value;
    if (value.back() != ';') target += ';';
    return true;
}

}  // namespace

OptionSources& windowsOptionSources() {
    return processSources();
}

OptionSources& windowsOptionSources(std::string_view jvmHome) {
    processSources().setJvmHome(jvmHome);
    return processSources();
}

std::optional<std::string> readDefaultVmOptionsFile() {
    if (auto bytes = readOptionsBeside(executablePathW())) return bytes;
    // The module name as the system reports it may differ from the long form (a short name).
    std::wstring module(kBufferLength, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, module.data(), DWORD(kBufferLength));
    if (n == 0 || n >= kBufferLength) return std::nullopt;
    module.resize(n);
    return readOptionsBeside(module);
}

void appendConfiguredEntries(Setting list, OptionSources& sources, std::string& target) {
    const std::string text = dupConfigString(list);
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
                    fatalMessage(Message::RequiredVariableMissing, value);
                }
                break;
            default:
                break;
        }
        if (!present && entry.required) fatalMessage(Message::RequiredPathMissing, value);
    }
}

}  // namespace launcher
