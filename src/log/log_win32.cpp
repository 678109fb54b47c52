// The diagnostic log file and error presentation on Windows.
#include <windows.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "common/limits.h"
#include "common/unique_handle.h"
#include "config/config.h"
#include "log/errors.h"
#include "log/log.h"

namespace launcher {

bool guiErrors = true;

namespace {

struct LogState {
    CRITICAL_SECTION lock;
    LogSetup setup;
    bool started = false;
    bool enabled = false;
    // Set while the file is being named: lines written meanwhile (the temp base's own search
    // logs) are dropped instead of starting the log a second time.
    bool starting = false;
    std::optional<std::wstring> path;
    uint64_t startMs = 0;
    LogState() { ::InitializeCriticalSection(&lock); }
};

LogState& logState() {
    static LogState state;
    return state;
}

uint64_t nowMs() {
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    return ((uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10000;
}

// The bytes the runtime's UTF-8 text mode writes: line feeds become CR LF.
std::string utf8Text(std::wstring_view text) {
    std::wstring crlf;
    crlf.reserve(text.size() + 8);
    for (wchar_t c : text) {
        if (c == L'\n') crlf.push_back(L'\r');
        crlf.push_back(c);
    }
    if (crlf.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, crlf.data(), static_cast<int>(crlf.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, crlf.data(), static_cast<int>(crlf.size()), out.data(), n,
                              nullptr, nullptr);
    }
    return out;
}

// Opens the log for one write, shared for reading and writing by other programs. A new (empty)
// file starts with the UTF-8 byte-order mark.
UniqueFile openLogFile(const std::wstring& path, bool truncate) {
    UniqueFile file(::CreateFileW(path.c_str(), truncate ? GENERIC_WRITE : FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  truncate ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file) return file;
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(file.get(), &size) && size.QuadPart == 0) {
        DWORD written = 0;
        ::WriteFile(file.get(), "\xEF\xBB\xBF", 3, &written, nullptr);
    }
    return file;
}

void writeText(const UniqueFile& file, std::wstring_view text) {
    const std::string bytes = utf8Text(text);
    DWORD written = 0;
    if (!bytes.empty()) {
        ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

bool fileExists(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    UniqueFind find(::FindFirstFileW(path.c_str(), &data));
    return static_cast<bool>(find);
}

// Decides once whether to log, names the file and writes the header. Called under the lock.
UniqueFile startLog(LogState& s) {
    s.started = true;
    char value[kBufferLength];
    DWORD n = ::GetEnvironmentVariableA("LUMEX_LOG", value, sizeof value);
    if (!(n > 0 && n < sizeof value && isLogSwitchOn(std::string_view(value, n)))) {
        n = ::GetEnvironmentVariableA("PARCELKIT_LOG", value, sizeof value);
        if (!(n > 0 && n < sizeof value && isLogSwitchOn(std::string_view(value, n)))) {
            return UniqueFile();
        }
    }
    s.enabled = true;
    s.starting = true;
    const std::wstring folder = logFolder(s.setup.tempBase ? s.setup.tempBase() : std::wstring());
    s.starting = false;
    std::wstring name;
    for (int i = 1; i <= kMaxLogFileIndex; ++i) {
        name = logFileName(folder, i);
        if (i == kMaxLogFileIndex || !fileExists(name)) break;
    }
    s.path = name;
    UniqueFile file = openLogFile(name, true);
    if (!file) {
        s.path = L"c:\\pkx_nlog";
        file = openLogFile(*s.path, true);
        if (!file) {
            // Later lines try to append to the fallback; their times count from now.
            s.startMs = nowMs();
            return file;
        }
    }
    const std::time_t now = std::time(nullptr);
    const char* when = std::ctime(&now);
    writeText(file, formatW(L"Started executable %s at %S\n", s.setup.executablePath,
                            when ? when : "\n"));
    s.startMs = nowMs();
    return file;
}

}  // namespace

void configureLog(LogSetup setup) {
    LogState& s = logState();
    ::EnterCriticalSection(&s.lock);
    s.setup = std::move(setup);
    ::LeaveCriticalSection(&s.lock);
}

bool logWanted() {
    const LogState& s = logState();
    return !s.started || s.enabled;
}

void writeLogLine(bool isError, std::wstring_view message) {
    LogState& s = logState();
    ::EnterCriticalSection(&s.lock);
    if (s.starting) {
        ::LeaveCriticalSection(&s.lock);
        return;
    }
    UniqueFile file;
    // The first line goes into the file the header was just written to.
    if (!s.started) file = startLog(s);
    if (!file && s.path) file = openLogFile(*s.path, false);
    if (file) {
        std::wstring line = logLinePrefix(nowMs(), s.startMs);
        if (isError) line += L"ERROR: ";
        line.append(message);
        line += L'\n';
        writeText(file, line);
    }
    file.reset();
    ::LeaveCriticalSection(&s.lock);
}

std::optional<std::wstring> logFilePath() {
    LogState& s = logState();
    ::EnterCriticalSection(&s.lock);
    std::optional<std::wstring> path = s.path;
    ::LeaveCriticalSection(&s.lock);
    return path;
}

namespace {
void (*errorObserver)(std::wstring_view) = nullptr;
}  // namespace

void setErrorObserver(void (*observer)(std::wstring_view text)) {
    errorObserver = observer;
}

void showError(std::wstring_view text) {
    if (errorObserver != nullptr) errorObserver(text);
    std::wstring shown(text);
    if (const auto path = logFilePath()) {
        std::wstring longPath(kBufferLength, L'\0');
        const DWORD n = ::GetLongPathNameW(path->c_str(), longPath.data(), kBufferLength);
        longPath.resize(n > 0 && n < kBufferLength ? n : 0);
        if (longPath.empty()) longPath = *path;
        shown = errorTextWithLog(text, &longPath);
    }
    if (guiErrors) {
        const std::wstring caption = getMessageText(Message::ErrorCaption);
        // user32 is loaded only here: importing it costs every start of the launcher the
        // window system's initialisation, and most starts never show a box.
        using MessageBoxFunction = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
        HMODULE user32 = ::LoadLibraryA("user32.dll");
        const auto messageBox =
            user32 ? reinterpret_cast<MessageBoxFunction>(
                         reinterpret_cast<void*>(::GetProcAddress(user32, "MessageBoxW")))
                   : nullptr;
        if (messageBox != nullptr) {
            messageBox(nullptr, shown.c_str(), caption.c_str(), MB_ICONERROR);
            return;
        }
    }
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE && ::GetFileType(out) == FILE_TYPE_CHAR) {
        DWORD written = 0;
        if (::WriteConsoleW(out, shown.data(), static_cast<DWORD>(shown.size()), &written,
                            nullptr)) {
            ::FlushFileBuffers(out);
            return;
        }
    }
    std::fprintf(stderr, "%s\n", narrowLossy(shown).c_str());
    std::fflush(stderr);
}

void showMessage(Message message, const std::wstring* detail) {
    showError(replacePlaceholder(getMessageText(message), detail));
}

void showMessage(Message message, std::string_view detail) {
    std::wstring wide = widen(detail.substr(0, kBufferLength - 1));
    showMessage(message, &wide);
}

void showMessage(Message message, FailureDetail detail) {
    const std::wstring text = formatW(L"%d", idOf(detail));
    showMessage(message, &text);
}

FatalHooks fatalPresentation() {
    FatalHooks hooks;
    hooks.showMessage = [](Message message, const std::wstring* detail) {
        showMessage(message, detail);
    };
    hooks.showText = [](std::wstring_view text) { showError(text); };
    return hooks;
}

void printConsoleText(std::wstring_view text) {
    std::fputws(std::wstring(text).c_str(), stdout);
}

void printStdout(std::string_view text) {
    std::fputs(std::string(text).c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace launcher
