// Loading a runtime's jvm.dll into this process. The library lies in a variant folder of the
// runtime's bin directory, and it needs that directory's other libraries: the bin directory leads
// PATH (in both copies of the environment) while the variants are tried, and stays there when
// one loads; a group that fails leaves PATH and the DLL directories as they were.
#include <windows.h>

#include <cstdlib>

#include "common/limits.h"
#include "common/log.h"
#include "env/path_environment.h"
#include "env/paths.h"
#include "jvm/discovery/discovery.h"

namespace launcher {

namespace {

// Older systems than Windows 8.1 need the runtime's own ucrtbase.dll loaded from its folder
// first, or jvm.dll picks up an incompatible one.
void preloadUcrtbase(const std::string& binDirectory) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
    if (!::GetVersionExA(&version)) return;
    if (!(version.dwMajorVersion < 6 ||
          (version.dwMajorVersion == 6 && version.dwMinorVersion < 4)))
        return;
    const std::string path = binDirectory + "\\ucrtbase.dll";
    if (!pathExists(std::string_view(path))) return;
    logMessage(L"Preloading ucrtbase.dll 4");
    std::string current(kBufferLength, '\0');
    const DWORD n = ::GetCurrentDirectoryA(static_cast<DWORD>(kBufferLength), current.data());
    current.resize(n < kBufferLength ? n : 0);
    ::SetCurrentDirectoryA(binDirectory.c_str());
    if (::LoadLibraryA("ucrtbase.dll") == nullptr && ::LoadLibraryA(path.c_str()) == nullptr) {
        logMessage(L"Could not preload ucrtbase.dll");
    }
    if (!current.empty()) ::SetCurrentDirectoryA(current.c_str());
}

HMODULE tryJvmDll(const std::string& dllPath) {
    const bool exists = pathExists(std::string_view(dllPath));
    logMessage(L"Trying %S (exists %d)", dllPath, exists ? 1 : 0);
    HMODULE module = ::LoadLibraryA(dllPath.c_str());
    if (exists && module == nullptr) logMessage(L"Failed with error code %d", ::GetLastError());
    return module;
}

std::optional<LoadedJvm> loadJvmFromBinDirectory(const Discovery& discovery,
                                                 const std::string& javaExe) {
    const std::string binDirectory = binDirectoryOf(javaExe);
    void* cookie = addDllSearchDirectory(binDirectory, discovery.settings.addDllDirectories);
    preloadUcrtbase(binDirectory);

    uint32_t oldSize = 0;
    const std::optional<std::string> oldPath = environmentVariableA("PATH", &oldSize);
    std::string newPath = binDirectory + ";";
    if (oldPath) newPath += *oldPath;
    if (const uint32_t error = setPathInBothCopies(newPath)) {
        logMessage(L"Setting PATH %S failed with error %d", newPath, error);
    } else {
        logMessage(L"Setting PATH %d %S", static_cast<int>(oldSize), newPath);
    }

    for (const std::string& dll : jvmDllAttempts(binDirectory, discovery.settings.jvmVariant)) {
        if (HMODULE module = tryJvmDll(dll)) return LoadedJvm{module, binDirectory, dll};
    }

    removeDllSearchDirectory(cookie);
    // PATH as it was; unset again when it was unset.
    const std::string restored = oldPath.value_or(std::string());
    if (const uint32_t error = setPathInBothCopies(oldPath)) {
        logMessage(L"Setting PATH %S failed with error %d", restored, error);
    } else {
        logMessage(L"Setting PATH %S", restored);
    }
    return std::nullopt;
}

}  // namespace

std::optional<LoadedJvm> loadJvmFromJavaExe(const Discovery& discovery,
                                            const std::string& javaExe) {
    logMessage(L"Trying to load JVM-DLL from %S", javaExe);
    if (auto loaded = loadJvmFromBinDirectory(discovery, javaExe)) return loaded;
    return loadJvmFromBinDirectory(discovery, olderLayoutJavaExe(javaExe));
}

}  // namespace launcher
