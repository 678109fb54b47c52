// winrun: starts one Windows program with a changed environment, waits for it and exits with its
// exit code. The end-to-end tests run every launcher through it, because Wine does not hand the
// Unix TMP/TEMP to Windows programs and because a launcher's error message boxes must be read
// and answered by someone.
//
//   winrun.exe [--env NAME=VALUE]... [--unset NAME]... [--cwd DIR] [--msgbox FILE]
//              [--hold-until FILE] [--timeout SECONDS] [--status FILE] [--raw-args TEXT] -- PROGRAM
//              [ARGS...]
//
//   --env NAME=VALUE  sets a variable in the child's environment (an empty VALUE is kept empty)
//   --unset NAME      removes a variable from it (names compare case-insensitively)
//   --cwd DIR         the child's working directory
//   --msgbox FILE     while the child runs, answers each message box (dialog class "#32770") of
//                     the child or of a process it started, after appending it to FILE
//   --hold-until FILE with --msgbox: records each box at once but answers it only once FILE
//                     exists (a test looks at the child's state while the box is open)
//   --timeout SECONDS ends the child and everything it started after that many seconds
//   --status FILE     writes the child's full 32-bit exit code (decimal) or "timeout" to FILE;
//                     a Unix parent sees only the low 8 bits of winrun's exit code
//   --raw-args TEXT   puts TEXT verbatim behind the program name instead of quoting ARGS
//
// The message-box file is UTF-8 without a byte-order mark; every box is one record of two lines:
//   caption: <the dialog's title>
//   text: <the message text>
// In both values a backslash is written as "\\", CR as "\r" and LF as "\n", so a record is
// always exactly two lines.
//
// The child inherits winrun's standard handles, also when it is a GUI-subsystem program.
// Exit codes: the child's, or 124 timeout, 125 usage or internal failure, 126 the child could not
// be started, 127 the program was not found.
#include <windows.h>

#include <shellapi.h>

#include "line_escapes.h"
#include "utf8_output.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kExitTimeout = 124;
constexpr int kExitFailure = 125;
constexpr int kExitCannotStart = 126;
constexpr int kExitNotFound = 127;
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr DWORD kPollMilliseconds = 100;
// A box still open this long after it was answered is answered again.
constexpr ULONGLONG kAnswerRetryMilliseconds = 2000;
// A box shows no caption and no text while its dialog is still being set up, or while its
// thread is too busy to answer in time (a loaded machine under emulation): it is looked at again
// on later polls, and recorded empty only when it stays so this long.
constexpr ULONGLONG kEmptyBoxGraceMilliseconds = 10000;

// Move-only owner of a kernel handle that closes it.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    void reset() {
        if (valid()) CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

// The result of CommandLineToArgvW, released with LocalFree.
class ArgumentList {
public:
    ArgumentList() : argv_(CommandLineToArgvW(GetCommandLineW(), &argc_)) {}
    ArgumentList(const ArgumentList&) = delete;
    ArgumentList& operator=(const ArgumentList&) = delete;
    ~ArgumentList() {
        if (argv_ != nullptr) LocalFree(argv_);
    }
    std::vector<std::wstring> strings() const {
        std::vector<std::wstring> out;
        for (int i = 0; argv_ != nullptr && i < argc_; ++i) out.emplace_back(argv_[i]);
        return out;
    }

private:
    int argc_ = 0;
    LPWSTR* argv_ = nullptr;
};

// The block of GetEnvironmentStringsW, released with FreeEnvironmentStringsW.
class EnvironmentStrings {
public:
    EnvironmentStrings() : block_(GetEnvironmentStringsW()) {}
    EnvironmentStrings(const EnvironmentStrings&) = delete;
    EnvironmentStrings& operator=(const EnvironmentStrings&) = delete;
    ~EnvironmentStrings() {
        if (block_ != nullptr) FreeEnvironmentStringsW(block_);
    }
    std::vector<std::wstring> entries() const {
        std::vector<std::wstring> out;
        for (const wchar_t* p = block_; p != nullptr && *p != L'\0'; p += std::wcslen(p) + 1) {
            out.emplace_back(p);
        }
        return out;
    }

private:
    LPWCH block_;
};

using helpers::utf8;

void printError(const std::wstring& text) {
    helpers::writeUtf8Line(GetStdHandle(STD_ERROR_HANDLE), L"winrun: " + text);
}

bool writeFile(const std::wstring& path, const std::string& bytes, bool append) {
    UniqueHandle file(CreateFileW(
        path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

// ---- environment ----

// The name part of an environment entry; entries like "=C:=C:\dir" keep their leading '='.
std::wstring_view variableName(std::wstring_view entry) {
    const size_t eq = entry.find(L'=', 1);
    return entry.substr(0, eq == std::wstring_view::npos ? entry.size() : eq);
}

int compareNames(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) -
           CSTR_EQUAL;
}

void removeVariable(std::vector<std::wstring>& entries, std::wstring_view name) {
    std::erase_if(entries,
                  [&](const std::wstring& e) { return compareNames(variableName(e), name) == 0; });
}

// The child's environment block: winrun's own with the changes applied, sorted by name as
// Windows keeps it.
std::wstring environmentBlock(const std::vector<std::wstring>& sets,
                              const std::vector<std::wstring>& unsets) {
    std::vector<std::wstring> entries = EnvironmentStrings().entries();
    for (const auto& name : unsets) removeVariable(entries, name);
    for (const auto& entry : sets) {
        removeVariable(entries, variableName(entry));
        entries.push_back(entry);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return compareNames(variableName(a), variableName(b)) < 0;
    });
    std::wstring block;
    for (const auto& entry : entries) {
        block += entry;
        block += L'\0';
    }
    if (entries.empty()) block += L'\0';
    block += L'\0';
    return block;
}

// ---- command line ----

// Quotes one argument so that CommandLineToArgvW and the C runtime read it back unchanged.
void appendQuoted(std::wstring& commandLine, const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        commandLine += argument;
        return;
    }
    commandLine += L'"';
    for (auto it = argument.begin();; ++it) {
        size_t backslashes = 0;
        while (it != argument.end() && *it == L'\\') {
            ++it;
            ++backslashes;
        }
        if (it == argument.end()) {
            commandLine.append(backslashes * 2, L'\\');
            break;
        }
        if (*it == L'"') {
            commandLine.append(backslashes * 2 + 1, L'\\');
        } else {
            commandLine.append(backslashes, L'\\');
        }
        commandLine += *it;
    }
    commandLine += L'"';
}

// The program name follows simpler rules: quotes only group, backslashes are literal.
std::wstring programToken(const std::wstring& program) {
    if (program.find_first_of(L" \t") == std::wstring::npos) return program;
    return L"\"" + program + L"\"";
}

// ---- message boxes ----

std::wstring windowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
        return {};
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 2000, &copied)) {
        return {};
    }
    text.resize(std::min<size_t>(copied, length));
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[64] = {};
    const int n = GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return std::wstring(name, n > 0 ? static_cast<size_t>(n) : 0);
}

// The message text: the static control with the id Windows gives it, else the first static
// control with text (the icon is a static control without text).
std::wstring messageText(HWND box) {
    if (HWND text = GetDlgItem(box, kMessageBoxTextId)) return windowText(text);
    std::wstring found;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM param) -> BOOL {
            auto& out = *reinterpret_cast<std::wstring*>(param);
            const LONG style = GetWindowLongW(child, GWL_STYLE);
            if (_wcsicmp(className(child).c_str(), L"Static") != 0 ||
                (style & SS_TYPEMASK) == SS_ICON) {
                return TRUE;
            }
            out = windowText(child);
            return out.empty();
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

std::string escaped(const std::wstring& value) {
    return test_text::escapeLine(utf8(value));
}

// Presses the default answer: OK when there is such a button, else Cancel, else the first
// button. WM_COMMAND works without the dialog having the focus, unlike BM_CLICK.
void answer(HWND box) {
    int id = 0;
    if (GetDlgItem(box, IDOK) != nullptr) {
        id = IDOK;
    } else if (GetDlgItem(box, IDCANCEL) != nullptr) {
        id = IDCANCEL;
    } else {
        EnumChildWindows(
            box,
            [](HWND child, LPARAM param) -> BOOL {
                if (_wcsicmp(className(child).c_str(), L"Button") != 0) return TRUE;
                *reinterpret_cast<int*>(param) = GetDlgCtrlID(child);
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&id));
    }
    if (id == 0) id = IDOK;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

class MessageBoxWatcher {
public:
    MessageBoxWatcher(std::wstring file, std::wstring holdFile, DWORD childId, HANDLE job)
        : file_(std::move(file)), holdFile_(std::move(holdFile)), childId_(childId), job_(job) {}

    // Records and answers every box that appeared since the last call.
    void poll() {
        std::erase_if(answered_, [](const Answered& a) { return !IsWindow(a.window); });
        std::erase_if(unready_, [](const Answered& a) { return !IsWindow(a.window); });
        std::vector<HWND> boxes;
        Search search{this, &boxes};
        EnumWindows(
            [](HWND window, LPARAM param) -> BOOL {
                auto& s = *reinterpret_cast<Search*>(param);
                if (s.watcher->isChildBox(window)) s.boxes->push_back(window);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        for (HWND box : boxes) handle(box);
    }

private:
    struct Answered {
        HWND window;
        ULONGLONG at;
        bool pressed;
    };

    bool released() const {
        return holdFile_.empty() ||
               GetFileAttributesW(holdFile_.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    struct Search {
        MessageBoxWatcher* watcher;
        std::vector<HWND>* boxes;
    };

    bool isChildBox(HWND window) const {
        if (!IsWindowVisible(window) || className(window) != L"#32770") return false;
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid == childId_) return true;
        if (job_ == nullptr) return false;
        // Wine's IsProcessInJob wants the full query right; Windows takes the limited one too.
        UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
        if (!process.valid()) {
            process = UniqueHandle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        }
        BOOL inJob = FALSE;
        return process.valid() && IsProcessInJob(process.get(), job_, &inJob) && inJob;
    }

    void handle(HWND box) {
        const ULONGLONG now = GetTickCount64();
        auto it = std::find_if(answered_.begin(), answered_.end(),
                               [&](const Answered& a) { return a.window == box; });
        if (it != answered_.end()) {
            if (!it->pressed) {
                if (released()) {
                    it->pressed = true;
                    it->at = now;
                    answer(box);
                }
                return;
            }
            if (now - it->at >= kAnswerRetryMilliseconds) {
                it->at = now;
                answer(box);
            }
            return;
        }
        const std::wstring caption = windowText(box);
        const std::wstring text = messageText(box);
        if (caption.empty() && text.empty()) {
            auto first = std::find_if(unready_.begin(), unready_.end(),
                                      [&](const Answered& a) { return a.window == box; });
            if (first == unready_.end()) first = unready_.insert(unready_.end(), {box, now, false});
            if (now - first->at < kEmptyBoxGraceMilliseconds) return;
        }
        const std::string record =
            "caption: " + escaped(caption) + "\ntext: " + escaped(text) + "\n";
        if (!writeFile(file_, record, true)) {
            printError(L"cannot append to " + file_ + L" (error " +
                       std::to_wstring(GetLastError()) + L")");
        }
        const bool press = released();
        answered_.push_back({box, now, press});
        if (press) answer(box);
    }

    std::wstring file_;
    std::wstring holdFile_;
    DWORD childId_;
    HANDLE job_;
    std::vector<Answered> answered_;
    std::vector<Answered> unready_;  // boxes seen without texts so far, since when
};

// ---- options ----

struct Options {
    std::vector<std::wstring> sets;
    std::vector<std::wstring> unsets;
    std::wstring cwd;
    std::wstring msgboxFile;
    std::wstring holdFile;
    std::wstring statusFile;
    DWORD timeoutSeconds = 0;
    bool rawArgs = false;
    std::wstring rawArgText;
    std::vector<std::wstring> command;
};

bool parseOptions(const std::vector<std::wstring>& args, Options& options) {
    size_t i = 1;
    auto value = [&](std::wstring& out) {
        if (i + 1 >= args.size()) return false;
        out = args[++i];
        return true;
    };
    for (; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        std::wstring v;
        if (a == L"--") {
            ++i;
            break;
        } else if (a == L"--env") {
            if (!value(v) || v.find(L'=', 1) == std::wstring::npos) return false;
            options.sets.push_back(v);
        } else if (a == L"--unset") {
            if (!value(v)) return false;
            options.unsets.push_back(v);
        } else if (a == L"--cwd") {
            if (!value(options.cwd)) return false;
        } else if (a == L"--msgbox") {
            if (!value(options.msgboxFile)) return false;
        } else if (a == L"--hold-until") {
            if (!value(options.holdFile)) return false;
        } else if (a == L"--status") {
            if (!value(options.statusFile)) return false;
        } else if (a == L"--raw-args") {
            if (!value(options.rawArgText)) return false;
            options.rawArgs = true;
        } else if (a == L"--timeout") {
            if (!value(v)) return false;
            wchar_t* end = nullptr;
            const unsigned long seconds = std::wcstoul(v.c_str(), &end, 10);
            if (v.empty() || *end != L'\0' || seconds == 0 || seconds > 86400) return false;
            options.timeoutSeconds = static_cast<DWORD>(seconds);
        } else {
            return false;
        }
    }
    options.command.assign(args.begin() + static_cast<std::ptrdiff_t>(std::min(i, args.size())),
                           args.end());
    return !options.command.empty() && (!options.rawArgs || options.command.size() == 1);
}

int run(const Options& options) {
    std::wstring commandLine = programToken(options.command[0]);
    if (options.rawArgs) {
        commandLine += L' ';
        commandLine += options.rawArgText;
    } else {
        for (size_t i = 1; i < options.command.size(); ++i) {
            commandLine += L' ';
            appendQuoted(commandLine, options.command[i]);
        }
    }
    std::wstring environment = environmentBlock(options.sets, options.unsets);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    HANDLE* targets[] = {&startup.hStdInput, &startup.hStdOutput, &startup.hStdError};
    const DWORD sources[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int i = 0; i < 3; ++i) {
        HANDLE h = GetStdHandle(sources[i]);
        if (h != nullptr && h != INVALID_HANDLE_VALUE) {
            // Console pseudo-handles of old systems refuse this and are inherited anyway.
            SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        }
        *targets[i] = h;
    }

    // The job lets a timeout end the whole tree the child starts, and tells the boxes of
    // grandchildren apart from those of unrelated programs.
    UniqueHandle job(CreateJobObjectW(nullptr, nullptr));

    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED, environment.data(),
                        options.cwd.empty() ? nullptr : options.cwd.c_str(), &startup, &info)) {
        const DWORD error = GetLastError();
        printError(L"cannot start " + commandLine + L" (error " + std::to_wstring(error) + L")");
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? kExitNotFound
                                                                              : kExitCannotStart;
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    if (job.valid() && !AssignProcessToJobObject(job.get(), process.get())) job.reset();
    ResumeThread(thread.get());
    thread.reset();

    MessageBoxWatcher watcher(options.msgboxFile, options.holdFile, info.dwProcessId, job.get());
    const ULONGLONG deadline = GetTickCount64() + ULONGLONG{options.timeoutSeconds} * 1000;
    for (;;) {
        DWORD wait = INFINITE;
        if (!options.msgboxFile.empty()) {
            wait = kPollMilliseconds;
        } else if (options.timeoutSeconds != 0) {
            const ULONGLONG now = GetTickCount64();
            wait = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        }
        const DWORD result = WaitForSingleObject(process.get(), wait);
        if (result == WAIT_OBJECT_0) break;
        if (result != WAIT_TIMEOUT) {
            printError(L"waiting for the child failed (error " + std::to_wstring(GetLastError()) +
                       L")");
            return kExitFailure;
        }
        if (!options.msgboxFile.empty()) watcher.poll();
        if (options.timeoutSeconds != 0 && GetTickCount64() >= deadline) {
            if (!job.valid() || !TerminateJobObject(job.get(), kExitTimeout)) {
                TerminateProcess(process.get(), kExitTimeout);
            }
            WaitForSingleObject(process.get(), 5000);
            printError(L"timeout: " + options.command[0] + L" still ran after " +
                       std::to_wstring(options.timeoutSeconds) + L" s and was ended");
            if (!options.statusFile.empty()) writeFile(options.statusFile, "timeout\n", false);
            return kExitTimeout;
        }
    }

    DWORD code = 0;
    if (!GetExitCodeProcess(process.get(), &code)) {
        printError(L"cannot read the child's exit code (error " + std::to_wstring(GetLastError()) +
                   L")");
        return kExitFailure;
    }
    if (!options.statusFile.empty() &&
        !writeFile(options.statusFile, std::to_string(code) + "\n", false)) {
        printError(L"cannot write " + options.statusFile);
        return kExitFailure;
    }
    return static_cast<int>(code);
}

}  // namespace

int main() {
    Options options;
    if (!parseOptions(ArgumentList().strings(), options)) {
        printError(
            L"usage: winrun.exe [--env NAME=VALUE]... [--unset NAME]... [--cwd DIR] "
            L"[--msgbox FILE] [--hold-until FILE] [--timeout SECONDS] [--status FILE] [--raw-args "
            L"TEXT] -- PROGRAM "
            L"[ARGS...]");
        return kExitFailure;
    }
    return run(options);
}
