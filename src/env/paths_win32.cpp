#include <windows.h>

#include "common/child_runner.h"
#include "common/limits.h"
#include "common/log.h"
#include "common/unique_handle.h"
#include "env/paths.h"

namespace launcher {

namespace {

// The command interpreter has this long to print the short name and end: its reading and its
// wait share the deadline.
constexpr uint64_t kShellTimeoutMs = 5000;

UINT fileCodePage() {
    return ::AreFileApisANSI() ? CP_ACP : CP_OEMCP;
}

// Calls a Windows "fill this buffer" function with a buffer of the standard length; a result
// that does not fit counts as a failure, so no value is ever cut silently.
template <typename Ch, typename F>
std::basic_string<Ch> fillBuffer(F&& call) {
    std::basic_string<Ch> buffer(kBufferLength, Ch(0));
    const DWORD n = call(buffer.data(), static_cast<DWORD>(kBufferLength));
    if (n == 0 || n >= kBufferLength) return {};
    buffer.resize(n);
    return buffer;
}

std::wstring longPathW(const std::wstring& path) {
    return fillBuffer<wchar_t>(
        [&](wchar_t* b, DWORD n) { return ::GetLongPathNameW(path.c_str(), b, n); });
}

std::wstring fullPathW(const std::wstring& path) {
    return fillBuffer<wchar_t>(
        [&](wchar_t* b, DWORD n) { return ::GetFullPathNameW(path.c_str(), n, b, nullptr); });
}

std::string fullPathA(const std::string& path) {
    return fillBuffer<char>(
        [&](char* b, DWORD n) { return ::GetFullPathNameA(path.c_str(), n, b, nullptr); });
}

template <typename Str>
Str folderWithBackslash(const Str& path) {
    const size_t at = path.find_last_of(typename Str::value_type('\\'));
    return at == Str::npos ? Str() : path.substr(0, at + 1);
}

// The long form of the module file name; its narrow twin is worked out only when asked for,
// since that may start the command interpreter.
std::wstring moduleLongPath() {
    const std::wstring module = fillBuffer<wchar_t>(
        [](wchar_t* b, DWORD n) { return ::GetModuleFileNameW(nullptr, b, n); });
    std::wstring path = longPathW(module);
    if (path.empty()) path = module;
    launcher::collapseBackslashes(path);
    return path;
}

// A narrow path for the executable that survives the code-page conversion: the long form, else
// the short form, else the command interpreter's short form, else the narrow module name.
std::string chooseNarrowPath(const std::wstring& wide) {
    NarrowPath candidate = toNarrowPath(wide);
    if (!candidate.replaced && endsWithExe(std::string_view(candidate.text))) return candidate.text;
    const std::wstring shortForm = fillBuffer<wchar_t>(
        [&](wchar_t* b, DWORD n) { return ::GetShortPathNameW(wide.c_str(), b, n); });
    if (!shortForm.empty()) {
        candidate = toNarrowPath(shortForm);
        if (!candidate.replaced && endsWithExe(std::string_view(candidate.text)))
            return candidate.text;
    }
    if (auto viaShell = shortPathViaShell(wide);
        viaShell && endsWithExe(std::string_view(*viaShell))) {
        return *viaShell;
    }
    const std::string moduleA =
        fillBuffer<char>([](char* b, DWORD n) { return ::GetModuleFileNameA(nullptr, b, n); });
    const std::string shortA = fillBuffer<char>(
        [&](char* b, DWORD n) { return ::GetShortPathNameA(moduleA.c_str(), b, n); });
    return shortA.empty() ? moduleA : shortA;
}

uint64_t toUint64(const FILETIME& ft) {
    return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

}  // namespace

const std::wstring& executablePathW() {
    static const std::wstring path = moduleLongPath();
    return path;
}

const std::string& executablePathA() {
    static const std::string path = [] {
        std::string narrow = chooseNarrowPath(executablePathW());
        collapseBackslashes(narrow);
        return narrow;
    }();
    return path;
}

const std::string& executableFolderA() {
    static const std::string folder = [] {
        std::string f = fullPathA(folderWithBackslash(executablePathA()));
        if (!f.empty() && f.back() != '\\') f += '\\';
        return f;
    }();
    return folder;
}

const std::wstring& executableFolderW(FolderForm form) {
    if (form != FolderForm::Wide) {
        static const std::wstring fromNarrow = fromNarrowPath(executableFolderA());
        return fromNarrow;
    }
    static const std::wstring wide = [] {
        std::wstring f = fullPathW(folderWithBackslash(executablePathW()));
        if (!f.empty() && f.back() != L'\\') f += L'\\';
        return f;
    }();
    return wide;
}

NarrowPath toNarrowPath(std::wstring_view path) {
    NarrowPath result;
    if (path.empty()) {
        result.replaced = true;
        return result;
    }
    const UINT cp = fileCodePage();
    const int length = static_cast<int>(path.size());
    BOOL usedDefault = FALSE;
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    int n = ::WideCharToMultiByte(cp, flags, path.data(), length, nullptr, 0, "?", &usedDefault);
    if (n == 0 && ::GetLastError() == ERROR_INVALID_FLAGS) {
        flags = 0;
        n = ::WideCharToMultiByte(cp, 0, path.data(), length, nullptr, 0, nullptr, nullptr);
    }
    if (n <= 0) {
        result.replaced = true;
        return result;
    }
    result.text.resize(static_cast<size_t>(n));
    usedDefault = FALSE;
    if (flags != 0) {
        ::WideCharToMultiByte(cp, flags, path.data(), length, result.text.data(), n, "?",
                              &usedDefault);
    } else {
        ::WideCharToMultiByte(cp, 0, path.data(), length, result.text.data(), n, nullptr, nullptr);
    }
    result.replaced = usedDefault != FALSE;
    return result;
}

std::wstring fromNarrowPath(std::string_view path) {
    if (path.empty()) return {};
    const UINT cp = fileCodePage();
    const int length = static_cast<int>(path.size());
    const int n = ::MultiByteToWideChar(cp, 0, path.data(), length, nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(cp, 0, path.data(), length, out.data(), n);
    return out;
}

void collapseBackslashes(std::string& path, size_t start) {
    if (start >= path.size()) return;
    std::wstring wide = fromNarrowPath(std::string_view(path).substr(start));
    launcher::collapseBackslashes(wide, 0);
    const NarrowPath back = toNarrowPath(wide);
    if (back.replaced) return;
    path.resize(start);
    path += back.text;
}

void appendResolvedPath(std::string& target, std::string_view path, const std::string* baseFile) {
    const size_t start = target.size();
    if (isRelativePath(path)) {
        target += baseFile ? folderWithBackslash(fullPathA(*baseFile)) : executableFolderA();
    }
    target.append(path);
    collapseBackslashes(target, start);
}

void appendResolvedPath(std::wstring& target, std::wstring_view path, const std::wstring* baseFile,
                        FolderForm folder) {
    const size_t start = target.size();
    if (isRelativePath(path)) {
        target += baseFile ? folderWithBackslash(fullPathW(*baseFile)) : executableFolderW(folder);
    }
    target.append(path);
    launcher::collapseBackslashes(target, start);
}

std::string canonicalPath(std::string_view path, bool keepCase) {
    std::string resolved;
    appendResolvedPath(resolved, path);
    std::string full = fullPathA(resolved);
    if (full.empty()) {
        logError(L"could not get canonical path for %S.", resolved);
        full = resolved;
    }
    if (!keepCase) {
        const NarrowPath lowered = toNarrowPath(lowerAscii(fromNarrowPath(full)));
        if (!lowered.replaced) full = lowered.text;
    }
    collapseBackslashes(full);
    return full;
}

std::wstring canonicalPath(std::wstring_view path, bool keepCase, FolderForm folder) {
    std::wstring resolved;
    appendResolvedPath(resolved, path, nullptr, folder);
    std::wstring full = fullPathW(resolved);
    if (full.empty()) {
        logError(L"could not get canonical path for %s.", resolved);
        full = resolved;
    }
    if (!keepCase) full = lowerAscii(full);
    launcher::collapseBackslashes(full);
    return full;
}

bool findFileTime(std::string_view path, uint64_t* lastWrite) {
    WIN32_FIND_DATAA data;
    UniqueFind find(::FindFirstFileA(std::string(path).c_str(), &data));
    if (!find) return false;
    if (lastWrite) *lastWrite = toUint64(data.ftLastWriteTime);
    return true;
}

bool findFileTime(std::wstring_view path, uint64_t* lastWrite) {
    WIN32_FIND_DATAW data;
    UniqueFind find(::FindFirstFileW(std::wstring(path).c_str(), &data));
    if (!find) return false;
    if (lastWrite) *lastWrite = toUint64(data.ftLastWriteTime);
    return true;
}

bool pathExists(std::string_view path) {
    return isDriveRoot(path) || findFileTime(path);
}
bool pathExists(std::wstring_view path) {
    return isDriveRoot(path) || findFileTime(path);
}

std::string resolvePathList(std::string_view list,
                            const std::function<void(const std::string&)>& onEntry) {
    std::string out;
    for (const std::string& entry : splitPathList(list)) {
        if (!out.empty()) out += ';';
        const size_t start = out.size();
        appendResolvedPath(out, entry);
        if (onEntry) onEntry(out.substr(start));
    }
    return out;
}

std::vector<std::wstring> listFolderByExtension(std::wstring_view folder,
                                                std::wstring_view extension) {
    std::wstring pattern(folder);
    pattern += L"\\*";
    if (extension.empty() || extension.front() != L'.') pattern += L'.';
    pattern.append(extension);
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    UniqueFind find(::FindFirstFileW(pattern.c_str(), &data));
    if (!find) return names;
    do {
        names.emplace_back(data.cFileName);
    } while (::FindNextFileW(find.get(), &data));
    return names;
}

std::wstring windowsDirectory() {
    wchar_t buffer[MAX_PATH + 1];
    const UINT n = ::GetWindowsDirectoryW(buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

std::optional<std::string> shortPathViaShell(std::wstring_view path) {
    ChildProcess child;
    if (!child.openOutputPipe()) return std::nullopt;
    std::wstring command =
        windowsDirectory() +
        formatW(L"\\system32\\cmd.exe /C for %%I in (\"%s\") do @echo %%~sI", path);
    logMessage(L"executing %s", command);
    ChildOptions options;
    options.creationFlags = CREATE_NO_WINDOW;
    options.outputToPipe = true;
    options.errorsToPipe = true;
    options.timeoutMs = kShellTimeoutMs;
    if (!child.start(command, options)) {
        logMessage(L"could not execute cmd.exe");
        return std::nullopt;
    }
    const std::string output = child.readOutput(kBufferLength);
    logMessage(L"finished reading from cmd.exe %d \"%S\"", static_cast<int>(output.size()), output);
    const uint32_t exitCode = child.waitForExit();
    logMessage(L"Exit Code %d", static_cast<int>(exitCode));
    if (exitCode == kChildStillActive) {
        logMessage(L"Terminating process");
        child.terminate();
        return std::nullopt;
    }
    const size_t lineEnd = output.find_first_of("\r\n");
    if (exitCode != 0 || output.size() < 6 || lineEnd == std::string::npos) return std::nullopt;
    std::string result = output.substr(0, lineEnd);
    logMessage(L"Using %S", result);
    return result;
}

}  // namespace launcher
