#include <windows.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/child_runner.h"
#include "common/limits.h"
#include "common/log.h"
#include "common/unique_handle.h"
#include "common/unique_stdio.h"
#include "env/path_environment.h"
#include "env/paths.h"
#include "jvm/discovery/discovery.h"

namespace launcher {

namespace {

// A FILETIME as the version cache stores it: its eight bytes in memory order.
using LastWriteTime = std::array<BYTE, 8>;

// Hidden from the "-version" run, in this order, so that they can't change what it prints.
constexpr const auto& kProbeHiddenVariables = kJavaOptionVariables;
constexpr DWORD kShortPathLength = 5980;
// Bounds both the reading of the output and the wait for the process.
constexpr ULONGLONG kProbeTimeoutMs = 60000;
// Output beyond this is read and dropped, so a chatty runtime neither blocks nor fills memory.
constexpr size_t kProbeOutputLimit = size_t{1} << 20;

constexpr std::array<std::string_view, 3> kUncachedVersionPrefixes = {"1.5.", "1.6.", "1.7."};

LastWriteTime toLastWriteTime(uint64_t fileTime) {
    LastWriteTime bytes{};
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<BYTE>(fileTime >> (8 * i));
    }
    return bytes;
}

std::optional<std::string> takeEnvironmentVariable(const char* name) {
    const DWORD size = ::GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) return std::nullopt;
    std::string value(size, '\0');
    const DWORD length = ::GetEnvironmentVariableA(name, value.data(), size);
    std::optional<std::string> saved;
    if (length == size - 1) {
        value.resize(length);
        logMessage(L"%S is %S", name, value);
        saved = std::move(value);
    } else {
        logMessage(L"error reading %S", name);
    }
    ::SetEnvironmentVariableA(name, nullptr);
    return saved;
}

// Takes the Java option variables away for the lifetime of a "-version" run and puts back
// each one that had a value, on every way out.
class HiddenJavaOptions {
public:
    HiddenJavaOptions() {
        for (size_t i = 0; i < std::size(kProbeHiddenVariables); ++i) {
            saved_[i] = takeEnvironmentVariable(kProbeHiddenVariables[i]);
        }
    }
    HiddenJavaOptions(const HiddenJavaOptions&) = delete;
    HiddenJavaOptions& operator=(const HiddenJavaOptions&) = delete;
    ~HiddenJavaOptions() { restore(); }

    void restore() {
        if (restored_) return;
        restored_ = true;
        for (size_t i = 0; i < std::size(kProbeHiddenVariables); ++i) {
            if (saved_[i]) ::SetEnvironmentVariableA(kProbeHiddenVariables[i], saved_[i]->c_str());
        }
    }

private:
    std::array<std::optional<std::string>, std::size(kProbeHiddenVariables)> saved_;
    bool restored_ = false;
};

void storeVersionCache(const std::string& javaExe, const LastWriteTime& lastWrite,
                       std::string_view version, uint32_t machine) {
    if (version.size() > MAXDWORD) return;
    UniqueKey key;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, versionCacheKeyName(javaExe).c_str(), 0, nullptr,
                          REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(),
                          nullptr) != ERROR_SUCCESS) {
        key.release();  // not ours to close after a failed call
        return;
    }
    const DWORD machineValue = machine;
    ::RegSetValueExA(key.get(), "LastWriteTime", 0, REG_BINARY, lastWrite.data(),
                     static_cast<DWORD>(lastWrite.size()));
    ::RegSetValueExA(key.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.data()),
                     static_cast<DWORD>(version.size()));
    ::RegSetValueExA(key.get(), "Machine", 0, REG_DWORD,
                     reinterpret_cast<const BYTE*>(&machineValue), sizeof machineValue);
}

bool lookupVersionCache(const std::string& javaExe, const LastWriteTime& lastWrite,
                        std::string& javaVersion, uint32_t& machine) {
    UniqueKey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, versionCacheKeyName(javaExe).c_str(), 0, KEY_READ,
                        key.put()) != ERROR_SUCCESS) {
        key.release();  // not ours to close after a failed call
        return false;
    }
    machine = 0;

    LastWriteTime stored{};
    DWORD size = static_cast<DWORD>(stored.size());
    if (::RegQueryValueExA(key.get(), "LastWriteTime", nullptr, nullptr, stored.data(), &size) !=
            ERROR_SUCCESS ||
        size != stored.size() || stored != lastWrite) {
        return false;
    }

    std::string version(kBufferLength, '\0');
    size = static_cast<DWORD>(version.size());
    if (::RegQueryValueExA(key.get(), "Version", nullptr, nullptr,
                           reinterpret_cast<BYTE*>(version.data()), &size) != ERROR_SUCCESS) {
        return false;
    }
    // The text ends at its first NUL, or after its last byte when it has none.
    version.resize(std::min<size_t>(size, version.size()));
    version.resize(std::min(version.find('\0'), version.size()));

    DWORD machineValue = 0;
    size = sizeof machineValue;
    if (::RegQueryValueExA(key.get(), "Machine", nullptr, nullptr,
                           reinterpret_cast<BYTE*>(&machineValue), &size) != ERROR_SUCCESS ||
        size != sizeof machineValue) {
        return false;
    }
    machine = machineValue;

    // Runtimes this old are always asked again.
    for (std::string_view prefix : kUncachedVersionPrefixes) {
        if (version.starts_with(prefix)) return false;
    }
    key.reset();
    javaVersion = std::move(version);
    return true;
}

// The machine field of the executable's PE file header, or 0 when the file isn't a PE file.
uint16_t readPeMachine(const std::string& path) {
    std::FILE* opened = nullptr;
    const errno_t error = ::fopen_s(&opened, path.c_str(), "rb");
    UniqueStdioFile file(opened);
    if (error != 0 || !file) {
        logMessage(L"could not open %S %d %p", path, static_cast<int>(error),
                   static_cast<const void*>(opened));
        return 0;
    }
    const auto readBytes = [&](auto& bytes) {
        return std::fread(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    };

    std::array<unsigned char, 2> dosMagic{};
    if (!readBytes(dosMagic) || dosMagic[0] != 'M' || dosMagic[1] != 'Z') {
        logMessage(L"no PE32 file %S", path);
        return 0;
    }
    if (std::fseek(file.get(), 0x3C, SEEK_SET) != 0) {
        logMessage(L"no PE32 file 2 %S", path);
        return 0;
    }
    std::array<unsigned char, 4> offsetBytes{};
    if (!readBytes(offsetBytes)) {
        logMessage(L"no PE32 file 3 %S", path);
        return 0;
    }
    const uint32_t rawOffset = uint32_t{offsetBytes[0]} | (uint32_t{offsetBytes[1]} << 8) |
                               (uint32_t{offsetBytes[2]} << 16) | (uint32_t{offsetBytes[3]} << 24);
    // The field is signed: an offset with the top bit set points before the file's start.
    const int32_t offset = static_cast<int32_t>(rawOffset);
    if (offset < 0 || std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0) {
        logMessage(L"no PE32 file 4 %S", path);
        return 0;
    }
    std::array<unsigned char, 4> signature{};
    if (!readBytes(signature) || signature[0] != 'P' || signature[1] != 'E' || signature[2] != 0 ||
        signature[3] != 0) {
        logMessage(L"no PE32 file 5 %S", path);
        return 0;
    }
    std::array<unsigned char, 2> machine{};
    if (!readBytes(machine)) {
        logMessage(L"no PE32 file 6 %S", path);
        return 0;
    }
    return static_cast<uint16_t>(machine[0] | (machine[1] << 8));
}

bool runJavaVersion(const std::string& javaExe, const LastWriteTime& lastWrite,
                    std::string& javaVersion) {
    std::string shortPath(kShortPathLength, '\0');
    const DWORD shortLength =
        ::GetShortPathNameA(javaExe.c_str(), shortPath.data(), kShortPathLength);
    if (shortLength == 0 || shortLength >= kShortPathLength) {
        logMessage(L"Could not get short path name for %S", javaExe);
        shortPath = javaExe;
    } else {
        shortPath.resize(shortLength);
    }
    std::string command = "\"" + shortPath + "\" -version";

    HiddenJavaOptions hidden;

    // The probe's output (its standard error) is read within the same deadline as its wait.
    ChildProcess child;
    if (!child.openOutputPipe()) return false;
    ChildOptions options;
    options.hideWindow = true;
    options.creationFlags = NORMAL_PRIORITY_CLASS;
    options.errorsToPipe = true;
    options.timeoutMs = kProbeTimeoutMs;
    const bool started = child.start(fromNarrowPath(command), options);
    std::string output;
    uint32_t exitCode = kChildStillActive;
    if (started) {
        output = child.readOutput(kProbeOutputLimit);
        exitCode = child.waitForExit();
    }
    hidden.restore();

    if (!started) {
        logMessage(L"Could not create process %S (error %d)", command,
                   static_cast<int>(child.startError()));
        return false;
    }

    logMessage(L"Exit Code %d", static_cast<int>(exitCode));
    if (exitCode == kChildStillActive) {
        logMessage(L"Terminating process");
        child.terminate();
    } else if (exitCode != 0) {
        // The failed run is recorded too; its marker is never taken as a version, so the next
        // check runs the executable again.
        storeVersionCache(javaExe, lastWrite, kFailedVersionMarker, kArm64Machine);
    }
    if (exitCode != 0) return false;

    std::optional<std::string> version = versionFromOutput(output);
    if (!version) return false;
    javaVersion = std::move(*version);
    return true;
}

// Steps after the file was found: the version from the cache or a run, the architecture, the
// bounds and the windowed executable.
bool validateFoundJavaExe(const Discovery& discovery, std::string& javaExe,
                          std::string& javaVersion, const LastWriteTime& lastWrite, bool allowBeta,
                          bool useVersionCache, bool storeInVersionCache) {
    javaVersion.clear();
    bool architectureAccepted = false;
    uint32_t cachedMachine = 0;
    if (useVersionCache && lookupVersionCache(javaExe, lastWrite, javaVersion, cachedMachine) &&
        javaVersion != kFailedVersionMarker) {
        logMessage(L"got version from registry %S %d", javaVersion,
                   static_cast<int>(cachedMachine));
        architectureAccepted = cachedMachine == kArm64Machine;
    } else {
        if (!runJavaVersion(javaExe, lastWrite, javaVersion)) {
            logMessage(L"couldn't get version");
            return false;
        }
        const uint16_t machine = readPeMachine(javaExe);
        logMessage(L"got version from execution %S %d", javaVersion, static_cast<int>(machine));
        if (storeInVersionCache && machine != 0) {
            storeVersionCache(javaExe, lastWrite, javaVersion, machine);
        }
        architectureAccepted = machine == kArm64Machine || machine == 0;
    }

    bool result = architectureAccepted &&
                  versionAcceptable(javaVersion, discovery.minVersion, discovery.maxVersion,
                                    allowBeta || discovery.settings.allowBetaAlways);
    if (result && discovery.settings.useWindowedJava && javaExe.size() > 4) {
        javaExe = windowedJavaExe(javaExe);
        result = pathExists(javaExe);
    }
    return result;
}

}  // namespace

bool checkJavaExe(Discovery& discovery, std::string& javaExe, std::string& javaVersion,
                  bool allowBeta, bool useVersionCache, bool storeInVersionCache) {
    logMessage(L"checkJavaExe (%S, [out], %d, %d, %d)", javaExe,
               static_cast<int>(discovery.minVersion.size()),
               static_cast<int>(discovery.maxVersion.size()), static_cast<int>(allowBeta));
    javaExe = canonicalPath(javaExe, false);

    bool result = false;
    uint64_t fileTime = 0;
    if (!findFileTime(javaExe, &fileTime)) {
        logMessage(L"file doesn't exist");
    } else {
        logMessage(L"file exists");
        result = validateFoundJavaExe(discovery, javaExe, javaVersion, toLastWriteTime(fileTime),
                                      allowBeta, useVersionCache, storeInVersionCache);
    }

    if (isNonWorkingJava(discovery.nonWorkingJavas, javaExe)) return false;
    logMessage(L"checkJavaExe returning %d", static_cast<int>(result));
    return result;
}

bool javaExeInDirectory(const Discovery& discovery, std::string& javaExe,
                        std::string_view directory) {
    javaExe = std::string(directory) + "\\jre\\bin\\java.exe";
    if (discovery.settings.requireJdk) {
        return pathExists(std::string(directory) + "\\lib\\tools.jar");
    }
    if (pathExists(javaExe)) return true;
    javaExe = std::string(directory) + "\\bin\\java.exe";
    return true;
}

}  // namespace launcher
