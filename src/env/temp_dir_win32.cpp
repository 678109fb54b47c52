#include <windows.h>
// After windows.h:
#include <ntsecapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <array>
#include <cstdlib>
#include <ctime>

#include "common/fatal.h"
#include "common/limits.h"
#include "common/log.h"
#include "common/unique_handle.h"
#include "config/settings.h"
#include "env/paths.h"
#include "env/run_mark.h"
#include "env/temp_dir.h"

namespace launcher {

static_assert(kAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY);
static_assert(kAttributeReparsePoint == FILE_ATTRIBUTE_REPARSE_POINT);

namespace {

struct TempBase {
    TempBaseOptions options;
    std::string narrow;
    std::wstring wide;
    bool resolving = false;
};

TempBase& tempBase() {
    static TempBase base;
    return base;
}

using FolderPathA = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
using FolderPathW = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);

struct ShellFolders {
    FolderPathA narrow = nullptr;
    FolderPathW wide = nullptr;
    ShellFolders() {
        // Looked up once; either may be missing, and the candidates that need it are skipped.
        HMODULE shell = ::LoadLibraryA("shell32.dll");
        if (shell == nullptr) return;
        narrow = reinterpret_cast<FolderPathA>(
            reinterpret_cast<void*>(::GetProcAddress(shell, "SHGetFolderPathA")));
        wide = reinterpret_cast<FolderPathW>(
            reinterpret_cast<void*>(::GetProcAddress(shell, "SHGetFolderPathW")));
    }
};

const ShellFolders& shellFolders() {
    static const ShellFolders folders;
    return folders;
}

enum class Source {
    LocalAppData,
    TempPath,
    UserProfile,
    HomeDrivePath,
    CommonAppData,
    WindowsTemp,
    CTemp,
    CTmp,
    WindowsDir
};
enum class Condition { Always, LocalFirst, BangFree };
enum class Long { Off, Config };

struct Candidate {
    Source source;
    bool create, strict;
    Long preferLong;
    Condition condition;
    int bangOf;  // for BangFree: the row whose bang flags must be clear (1-based)
};

// The candidates in the order they are tried. The second half retries the first ones without
// the strict long-form checks, unless their path carries the bang mark.
constexpr std::array<Candidate, 14> kCandidates{{
    {Source::LocalAppData, true, true, Long::Config, Condition::LocalFirst, 0},
    {Source::TempPath, true, true, Long::Config, Condition::Always, 0},
    {Source::UserProfile, false, true, Long::Config, Condition::Always, 0},
    {Source::HomeDrivePath, false, true, Long::Config, Condition::Always, 0},
    {Source::CommonAppData, true, true, Long::Config, Condition::Always, 0},
    {Source::WindowsTemp, false, false, Long::Off, Condition::Always, 0},
    {Source::CTemp, false, false, Long::Off, Condition::Always, 0},
    {Source::CTmp, false, false, Long::Off, Condition::Always, 0},
    {Source::WindowsDir, false, false, Long::Off, Condition::Always, 0},
    {Source::CTmp, true, false, Long::Off, Condition::Always, 0},
    {Source::LocalAppData, true, false, Long::Config, Condition::BangFree, 1},
    {Source::TempPath, true, false, Long::Config, Condition::BangFree, 2},
    {Source::UserProfile, false, false, Long::Config, Condition::BangFree, 3},
    {Source::HomeDrivePath, false, false, Long::Config, Condition::BangFree, 4},
}};

template <typename Ch>
struct Api;

template <>
struct Api<char> {
    static DWORD env(const char* name, char* b, DWORD n) {
        return ::GetEnvironmentVariableA(name, b, n);
    }
    static DWORD tempPath(char* b, DWORD n) { return ::GetTempPathA(n, b); }
    static bool shellFolder(int csidl, std::string& out) {
        if (!shellFolders().narrow) return false;
        char b[MAX_PATH + 1] = {};
        if (shellFolders().narrow(nullptr, csidl, nullptr, 0, b) != 0 || b[0] == 0) return false;
        out = b;
        return true;
    }
    static std::string windowsDir() { return toNarrowPath(windowsDirectory()).text; }
    static BOOL createDir(const std::string& p) { return ::CreateDirectoryA(p.c_str(), nullptr); }
    static BOOL removeDir(const std::string& p) { return ::RemoveDirectoryA(p.c_str()); }
    static std::string longPath(const std::string& p) {
        std::string b(kBufferLength, '\0');
        const DWORD n = ::GetLongPathNameA(p.c_str(), b.data(), kBufferLength);
        b.resize(n > 0 && n < kBufferLength ? n : 0);
        return b;
    }
};

template <>
struct Api<wchar_t> {
    static DWORD env(const char* name, wchar_t* b, DWORD n) {
        return ::GetEnvironmentVariableW(widen(name).c_str(), b, n);
    }
    static DWORD tempPath(wchar_t* b, DWORD n) { return ::GetTempPathW(n, b); }
    static bool shellFolder(int csidl, std::wstring& out) {
        if (!shellFolders().wide) return false;
        wchar_t b[MAX_PATH + 1] = {};
        if (shellFolders().wide(nullptr, csidl, nullptr, 0, b) != 0 || b[0] == 0) return false;
        out = b;
        return true;
    }
    static std::wstring windowsDir() { return windowsDirectory(); }
    static BOOL createDir(const std::wstring& p) { return ::CreateDirectoryW(p.c_str(), nullptr); }
    static BOOL removeDir(const std::wstring& p) { return ::RemoveDirectoryW(p.c_str()); }
    static std::wstring longPath(const std::wstring& p) {
        std::wstring b(kBufferLength, L'\0');
        const DWORD n = ::GetLongPathNameW(p.c_str(), b.data(), kBufferLength);
        b.resize(n > 0 && n < kBufferLength ? n : 0);
        return b;
    }
};

template <typename Ch>
bool envValue(const char* name, std::basic_string<Ch>& out) {
    std::basic_string<Ch> b(kBufferLength, Ch(0));
    const DWORD n = Api<Ch>::env(name, b.data(), kBufferLength);
    if (n == 0 || n >= kBufferLength) return false;
    b.resize(n);
    out = b;
    return true;
}

// Builds a candidate's path; false when its source is not available.
template <typename Ch>
bool candidatePath(Source source, std::basic_string<Ch>& out) {
    using A = Api<Ch>;
    out.clear();
    switch (source) {
        case Source::LocalAppData:
        case Source::CommonAppData: {
            const bool local = source == Source::LocalAppData;
            if (!A::shellFolder(local ? CSIDL_LOCAL_APPDATA : CSIDL_COMMON_APPDATA, out))
                return false;
            out += asciiText<Ch>("\\parcelkit");
            A::createDir(out);
            out += asciiText<Ch>(local ? "\\t" : "\\temp");
            return true;
        }
        case Source::TempPath: {
            std::basic_string<Ch> b(kBufferLength, Ch(0));
            const DWORD n = A::tempPath(b.data(), kBufferLength);
            if (n == 0 || n >= kBufferLength) return false;
            b.resize(n);
            out = b;
            return true;
        }
        case Source::UserProfile:
            if (!envValue<Ch>("USERPROFILE", out)) return false;
            out += asciiText<Ch>("\\AppData\\Local\\Temp");
            return true;
        case Source::HomeDrivePath: {
            std::basic_string<Ch> path;
            if (!envValue<Ch>("HOMEDRIVE", out) || !envValue<Ch>("HOMEPATH", path)) return false;
            out += path;
            return true;
        }
        case Source::WindowsTemp:
            out = A::windowsDir();
            if (out.empty()) return false;
            out += asciiText<Ch>("\\temp");
            return true;
        case Source::CTemp:
            out = asciiText<Ch>("c:\\temp");
            return true;
        case Source::CTmp:
            out = asciiText<Ch>("c:\\tmp");
            return true;
        case Source::WindowsDir:
            out = A::windowsDir();
            return !out.empty();
    }
    return false;
}

// Creates and removes a uniquely named directory in the candidate: only a folder we can really
// write to is accepted, and the probe never stays behind.
template <typename Ch>
bool writeTest(const std::basic_string<Ch>& candidate) {
    using A = Api<Ch>;
    const DWORD pid = ::GetCurrentProcessId();
    std::srand(static_cast<unsigned>(std::time(nullptr) * pid));
    const int random = std::rand();
    std::basic_string<Ch> probe = candidate + asciiText<Ch>(formatA("\\lmxtw%d%d", pid, random));
    if (pathExists(std::basic_string_view<Ch>(probe))) A::removeDir(probe);
    if (!A::createDir(probe)) return false;
    const bool exists = pathExists(std::basic_string_view<Ch>(probe));
    A::removeDir(probe);
    return exists;
}

bool acceptNarrowTempCandidate(std::string& path, bool create, bool strict, bool preferLong,
                               bool& bang) {
    bang = false;
    if (path.empty()) return false;
    if (create) ::CreateDirectoryA(path.c_str(), nullptr);
    if (hasBangMark(std::string_view(path))) {
        bang = true;
        return false;
    }
    if (strict || preferLong) {
        const std::string longForm = Api<char>::longPath(path);
        if (!longForm.empty()) {
            bang = hasBangMark(std::string_view(longForm));
            if (bang || longForm.find('?') != std::string::npos) {
                if (bang || strict) return false;
            } else if (preferLong && longForm.size() < kBufferLength && longForm != path) {
                logMessage(L"using long path %S", longForm);
                path = longForm;
            }
        }
    }
    return writeTest(path);
}

std::wstring folded(const std::wstring& path) {
    std::wstring out(kBufferLength - 1, L'\0');
    const int n = ::FoldStringW(MAP_PRECOMPOSED, path.c_str(), static_cast<int>(path.size()),
                                out.data(), static_cast<int>(out.size()));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

bool acceptWideTempCandidate(const std::wstring& path, bool create, bool strict, bool& bang) {
    bang = false;
    if (path.empty()) return false;
    if (create) ::CreateDirectoryW(path.c_str(), nullptr);
    if (hasBangMark(std::wstring_view(path))) {
        bang = true;
        return false;
    }
    // Decomposed text (an accent as a combining mark) is refused: the narrow form cannot hold it.
    const std::wstring f = folded(path);
    if (f.empty() || f.size() != path.size()) {
        logMessage(L"folding error %s %d %s %d", f, static_cast<int>(f.size()), path,
                   static_cast<int>(path.size()));
        return false;
    }
    if (!strict) return writeTest(path);
    const std::wstring longForm = Api<wchar_t>::longPath(path);
    if (longForm.empty()) return writeTest(path);
    bang = hasBangMark(std::wstring_view(longForm));
    if (bang || longForm.find(L'?') != std::wstring::npos) return false;
    const std::wstring f2 = folded(longForm);
    if (f2.size() != longForm.size()) {
        logMessage(L"folding error2 %s %d %s %d", f2, static_cast<int>(f2.size()), longForm,
                   static_cast<int>(longForm.size()));
        return false;
    }
    return writeTest(path);
}

// Leaves the mark by which the application runtime knows the directory as this run's own (see
// run_mark.h); without it the runtime leaves the directory where it is. The file inherits the
// directory's access list, so only administrators, the owner and SYSTEM can read it.
void markTempDirectory(const std::string& directory) {
    uint8_t random[kRunMarkRandomBytes];
    bool marked = false;
    std::string mark;
    if (::RtlGenRandom(random, sizeof random)) {
        mark = runMarkText(::GetCurrentProcessId(), random, sizeof random);
        const std::string path = directory + "\\" + kRunMarkFile;
        UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_HIDDEN, nullptr));
        DWORD written = 0;
        marked = file &&
                 ::WriteFile(file.get(), mark.data(), static_cast<DWORD>(mark.size()), &written,
                             nullptr) &&
                 written == mark.size();
    }
    if (!marked) logMessage(L"could not mark %S (%d)", directory, ::GetLastError());
    ::SetEnvironmentVariableA(kRunMarkVariable, marked ? mark.c_str() : nullptr);
}

}  // namespace

void setTempBaseOptions(const TempBaseOptions& options) {
    tempBase().options = options;
}

void resolveTempBase(const TempBaseOptions& options) {
    TempBase& base = tempBase();
    if (base.resolving) return;
    base.resolving = true;
    base.narrow.clear();
    base.wide.clear();
    const bool preferLongConfig = options.preferLongPaths;
    const bool localFirst = options.localAppDataFirst;
    std::array<bool, 5> bangSeen{};
    for (size_t i = 0; i < kCandidates.size(); ++i) {
        const Candidate& c = kCandidates[i];
        if (c.condition == Condition::LocalFirst && !localFirst) continue;
        if (c.condition == Condition::BangFree &&
            ((c.source == Source::LocalAppData && !localFirst) || bangSeen[size_t(c.bangOf)])) {
            continue;
        }
        std::string narrow;
        if (!candidatePath(c.source, narrow)) continue;
        const bool preferLong = c.preferLong == Long::Config && preferLongConfig;
        bool bang = false;
        const bool narrowOk =
            acceptNarrowTempCandidate(narrow, c.create, c.strict, preferLong, bang);
        if (i < 4) bangSeen[i + 1] = bangSeen[i + 1] || bang;
        if (!narrowOk) continue;
        std::wstring wide;
        if (!candidatePath(c.source, wide)) continue;
        const bool wideOk = acceptWideTempCandidate(wide, c.create, c.strict, bang);
        if (i < 4) bangSeen[i + 1] = bangSeen[i + 1] || bang;
        if (!wideOk) continue;
        base.narrow = narrow;
        base.wide = wide;
        break;
    }
    base.resolving = false;
}

std::string tempBaseNarrow() {
    if (tempBase().narrow.empty()) resolveTempBase(tempBase().options);
    return tempBase().narrow;
}

std::wstring tempBaseWide() {
    if (tempBase().wide.empty()) resolveTempBase(tempBase().options);
    return tempBase().wide;
}

bool hasTempBase() {
    if (tempBase().narrow.empty()) resolveTempBase(tempBase().options);
    return !tempBase().narrow.empty();
}

std::string makeTempFileName() {
    std::string base = tempBaseNarrow();
    logMessage(L"tempPath is %S", base);
    char name[MAX_PATH + 1] = {};
    std::string result;
    if (base.size() < MAX_PATH - 14 && ::GetTempFileNameA(base.c_str(), "lmx", 0, name) != 0) {
        result = name;
    } else {
        logMessage(L"GetTempFileName failed (last error %d)", ::GetLastError());
        if (base.empty() || (base.back() != '\\' && base.back() != '/')) base += '\\';
        std::srand(static_cast<unsigned>(std::time(nullptr) * ::GetCurrentProcessId()));
        result = formatA("%slmx%d", base, std::rand());
    }
    logMessage(L"tempFile is %S", result);
    return result;
}

bool RunDirectory::create(RunFailure& failure) {
    if (!hasTempBase()) {
        failure.set(Message::NoTempFolder);
        return false;
    }
    std::string& dir = path_;
    for (int attempt = 0; attempt < 10; ++attempt) {
        dir = formatA("%s_dir%lld", makeTempFileName(), static_cast<long long>(std::time(nullptr)));
        logMessage(L"Temp dir3: %S", dir);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        BOOL created = FALSE;
        // Protected: only administrators, the owner and SYSTEM may read or write the directory.
        if (::ConvertStringSecurityDescriptorToSecurityDescriptorA(
                "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)(A;OICI;FA;;;SY)", SDDL_REVISION_1, &descriptor,
                nullptr)) {
            UniqueLocal owner(descriptor);
            SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
            created = ::CreateDirectoryA(dir.c_str(), &attributes);
        } else {
            logMessage(L"Failed to create security descriptor %d", ::GetLastError());
            created = ::CreateDirectoryA(dir.c_str(), nullptr);
        }
        if (created) {
            markTempDirectory(dir);
            return true;
        }
        logMessage(L"Could not create dir (%d)", ::GetLastError());
    }
    dir.clear();
    failure.set(Message::SetupFailed, FailureDetail::TempDirectoryNotCreated);
    return false;
}

void RunDirectory::remove() const {
    const std::string& dir = path_;
    if (dir.empty()) return;
    emptyDirectory(dir, 1);
    ::RemoveDirectoryA(dir.c_str());
}

void emptyDirectory(const std::string& directory, int depth) {
    if (directory.empty() || directory[0] == '.') return;
    logMessage(L"emptying %S", directory);
    WIN32_FIND_DATAA data;
    UniqueFind find(::FindFirstFileA((directory + "\\*.*").c_str(), &data));
    if (!find) return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        const std::string full = directory + "\\" + name;
        // A junction or symbolic link is removed itself: the clean-up never enters it, so the
        // files of its target stay.
        const EntryRemoval removal = entryRemoval(data.dwFileAttributes, depth);
        if (removal != EntryRemoval::DeleteEntry) {
            logMessage(L"attempting to remove %S (%d)", full, depth);
            if (removal == EntryRemoval::EmptyThenRemove) emptyDirectory(full, depth - 1);
            ::RemoveDirectoryA(full.c_str());
        } else {
            logMessage(L"attempting to delete %S", full);
            ::DeleteFileA(full.c_str());
        }
    } while (::FindNextFileA(find.get(), &data));
}

}  // namespace launcher
