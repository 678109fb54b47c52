// A runtime shipped with the application may keep its jars packed ("x.jar.pack" in place of
// "x.jar"); they are unpacked with the runtime's own unpack200 before the runtime is validated.
#include <windows.h>

#include "common/child_runner.h"
#include "common/fatal.h"
#include "common/log.h"
#include "common/unique_handle.h"
#include "config/settings.h"
#include "env/paths.h"
#include "jvm/discovery/discovery.h"
#include "log/errors.h"

namespace launcher {

namespace {

constexpr std::string_view kPackSuffix = ".pack";
// How long one unpack200 run may take. Unpacking the largest archive of a runtime (rt.jar, some
// 60 MB unpacked) takes a few seconds; a run still going after ten times that is taken as hung
// and ended, so a launch never waits on it without end.
constexpr uint64_t kUnpackTimeoutMs = 30000;
// The folders of a runtime home that hold packed jars, in the order they are handled.
constexpr std::string_view kPackedFolders[] = {"lib", "lib\\ext"};

bool unpackJar(const std::string& home, const std::string& packedPath, RunFailure& failure) {
    const std::string jarPath = packedPath.substr(0, packedPath.size() - kPackSuffix.size());
    if (!pathExists(std::string_view(packedPath))) {
        logMessage(L"pack path doesn't exists");
        return true;
    }
    const std::string program = home + "\\bin\\unpack200.exe";
    const std::string arguments = "-r \"" + packedPath + "\" \"" + jarPath + "\"";
    logMessage(L"%S", program);
    logMessage(L"%S", arguments);
    ChildProcess child;
    ChildOptions options;
    options.hideWindow = true;
    options.creationFlags = NORMAL_PRIORITY_CLASS;
    options.timeoutMs = kUnpackTimeoutMs;
    if (!child.start(fromNarrowPath("\"" + program + "\" " + arguments), options)) {
        logMessage(L"could not create unpack process");
        failure.set(Message::UnpackNotStarted);
        return false;
    }
    logMessage(L"waiting for unpack200 to finish");
    if (child.waitForExit() == kChildStillActive) {
        // Ended like an unpack200 that failed: the runtime's validation judges the runtime as it
        // is. The packed file stays and the partial jar goes, so a later run unpacks again.
        logMessage(L"unpack200 did not finish within %d seconds; ending it",
                   static_cast<int>(kUnpackTimeoutMs / 1000));
        child.terminate();
        ::DeleteFileA(jarPath.c_str());
        return true;
    }
    logMessage(L"unpack done");
    if (!::DeleteFileA(packedPath.c_str())) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) {
            logMessage(L"could not delete packed file (error %d)", error);
        }
    }
    return true;
}

bool unpackFolder(const std::string& home, std::string_view folder, bool& started,
                  RunFailure& failure) {
    const std::string pattern = home + "\\" + std::string(folder) + "\\*.jar.pack";
    WIN32_FIND_DATAA data;
    UniqueFind find(::FindFirstFileA(pattern.c_str(), &data));
    if (!find) return true;
    do {
        const std::string_view name(data.cFileName);
        if (name.size() < kPackSuffix.size()) continue;
        const std::string_view jarName = name.substr(0, name.size() - kPackSuffix.size());
        const std::string relative = std::string(folder) + "\\" + std::string(jarName);
        const std::string jarPath = home + "\\" + relative;
        logMessage(L"checking %S", jarPath);
        if (pathExists(std::string_view(jarPath))) continue;
        if (!started) {
            logMessage(L"Unpacking JRE");
            printStdout("Preparing JRE ...\n");
            started = true;
        }
        if (!unpackJar(home, home + "\\" + relative + std::string(kPackSuffix), failure)) {
            return false;
        }
    } while (::FindNextFileA(find.get(), &data));
    return true;
}

}  // namespace

bool unpackRuntime(const std::string& home, RunFailure& failure) {
    bool started = false;
    for (std::string_view folder : kPackedFolders) {
        if (!unpackFolder(home, folder, started, failure)) return false;
    }
    if (started) logMessage(L"Unpacking JRE done");
    return true;
}

}  // namespace launcher
