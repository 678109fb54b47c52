#include <windows.h>

#include <cstdlib>

#include "common/limits.h"
#include "common/log.h"
#include "common/unique_handle.h"
#include "env/expand_launcher_variables.h"
#include "env/path_environment.h"
#include "env/paths.h"
#include "env/temp_dir.h"

namespace launcher {

namespace {

using PutenvS = int(__cdecl*)(const char*, const char*);

std::wstring environmentValueW(const wchar_t* name) {
    const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    const DWORD n = ::GetEnvironmentVariableW(name, value.data(), size);
    value.resize(n < size ? n : 0);
    return value;
}

}  // namespace

std::optional<std::string> environmentVariableA(const char* name, uint32_t* reportedSize) {
    const DWORD size = ::GetEnvironmentVariableA(name, nullptr, 0);
    if (reportedSize != nullptr) *reportedSize = size;
    if (size == 0) return std::nullopt;
    // Room for a little more: the variable may grow between the two calls.
    std::string value(size_t(size) + 16, '\0');
    const DWORD n = ::GetEnvironmentVariableA(name, value.data(), size + 16);
    value.resize(n < size + 16 ? n : 0);
    return value;
}

uint32_t setPathInBothCopies(const std::optional<std::string>& value) {
    const bool set = ::SetEnvironmentVariableA("PATH", value ? value->c_str() : nullptr);
    const uint32_t error = set ? 0 : ::GetLastError();
    ::_putenv(("PATH=" + value.value_or(std::string())).c_str());
    return error;
}

void reducePath() {
    const std::wstring path = environmentValueW(L"PATH");
    const std::wstring windows = windowsDirectory();
    if (path.empty() || windows.empty()) return;
    logMessage(L"reducing PATH %d %d %s", static_cast<int>(windows.size()),
               static_cast<int>(path.size() + 1), path);
    const std::wstring reduced = pathEntriesInside(path, windows);
    logMessage(L"reduced PATH %d to %s", static_cast<int>(reduced.size()), reduced);
    if (reduced.empty()) return;
    if (!::SetEnvironmentVariableW(L"PATH", reduced.c_str())) logMessage(L"ERROR setting path");
}

void clearJavaOptionVariables() {
    for (const char* name : kJavaOptionVariables) ::SetEnvironmentVariableA(name, nullptr);
    // The runtime's own copy of the environment, which the JVM's C runtime may read too.
    const auto ownPutenvS = lookupFunction<PutenvS>("msvcrt.dll", "_putenv_s");
    for (const char* name : kJavaOptionVariables) {
        if (ownPutenvS) {
            ownPutenvS(name, "");
        } else {
            ::_putenv((std::string(name) + "=").c_str());
        }
    }
    if (const auto ucrtPutenvS = lookupFunction<PutenvS>("ucrtbase.dll", "_putenv_s")) {
        logMessage(L"using _putenv_s in ucrtbase.dll %p %p", reinterpret_cast<void*>(ucrtPutenvS),
                   reinterpret_cast<void*>(ownPutenvS));
        for (const char* name : kJavaOptionVariables) ucrtPutenvS(name, "");
    }
}

void* addDllSearchDirectory(const std::string& directory, bool registerDllDirectories) {
    if (!registerDllDirectories) return nullptr;
    using AddDllDirectoryFunction = DLL_DIRECTORY_COOKIE(WINAPI*)(PCWSTR);
    const auto add = lookupFunction<AddDllDirectoryFunction>("kernel32.dll", "AddDllDirectory");
    if (add == nullptr) return nullptr;
    const std::wstring wide = fromNarrowPath(directory);
    if (wide.empty() || wide.size() >= kBufferLength) return nullptr;
    logMessage(L"Adding DLL directory %s", wide);
    return add(wide.c_str());
}

void removeDllSearchDirectory(void* cookie) {
    if (cookie == nullptr) return;
    using RemoveDllDirectoryFunction = BOOL(WINAPI*)(DLL_DIRECTORY_COOKIE);
    const auto remove =
        lookupFunction<RemoveDllDirectoryFunction>("kernel32.dll", "RemoveDllDirectory");
    if (remove == nullptr) return;
    logMessage(L"Removing DLL directory");
    remove(cookie);
}

bool prependNativeLibraryPath(const std::string& configuredDirectories, bool registerDllDirectories,
                              const RunDirectory& run) {
    std::string directories = configuredDirectories;
    logMessage(L"native lib dir is %S", directories);
    if (!hasTempBase()) return false;
    expandLauncherVariablesNarrow(directories, run);
    // The directories stay registered for the life of the process.
    std::string path = resolvePathList(directories, [&](const std::string& entry) {
        addDllSearchDirectory(entry, registerDllDirectories);
    });
    if (!path.empty() && path.back() != ';') path += ';';
    if (const auto current = environmentVariableA("PATH")) path += *current;
    if (const uint32_t error = setPathInBothCopies(path)) {
        logMessage(L"Setting PATH (native libs) %S failed with error %d", path, error);
    } else {
        logMessage(L"Setting PATH (native libs) %S", path);
    }
    return true;
}

}  // namespace launcher
