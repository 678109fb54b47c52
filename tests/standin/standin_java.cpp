// java.exe and javaw.exe of the stand-in runtime (one source; javaw.exe is linked for the GUI
// subsystem). Records every run in HOME\standin-runs.log:
//   run exe=<module path> args=<command line> _JAVA_OPTIONS=<value> JAVA_TOOL_OPTIONS=<value>
//       JDK_JAVA_OPTIONS=<value> stdin=<kind> stdout=<kind> stderr=<kind>
// (one line; a missing variable shows as "(unset)", handle kinds as standin::handleKind).
// With a "-version" argument it then writes version_text to the standard error handle and exits
// with exit_code. With version_by_child=1 it hands that work to a copy of itself (which inherits
// its standard handles, waits half a second and writes the text) and exits at once, as a
// launcher that starts the real runtime would. With "--standin-wait" it runs until
// HOME\standin-release exists (at most two minutes), as a process the application started. Any
// other run just exits with exit_code.
#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <string>

#include "line_escapes.h"
#include "standin_home.h"

namespace {

constexpr char kDefaultVersionText[] =
    "openjdk version \"17.0.1\" 2021-10-19\\nOpenJDK Runtime Environment (build 17.0.1+12)\\n";

constexpr wchar_t kLateArgument[] = L"--standin-late";
constexpr wchar_t kWaitArgument[] = L"--standin-wait";

bool hasArgument(const wchar_t* wanted) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr) return false;
    bool found = false;
    for (int i = 1; i < argc && !found; ++i) found = std::wcscmp(argv[i], wanted) == 0;
    LocalFree(argv);
    return found;
}

// Starts a copy of this program that writes the version text later, with the standard handles.
void startLateWriter(const std::wstring& exe) {
    std::wstring commandLine = L"\"" + exe + L"\" -version " + kLateArgument;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

void writeAll(HANDLE h, const std::string& bytes) {
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(h, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                       nullptr) ||
            written == 0) {
            return;
        }
        done += written;
    }
}

}  // namespace

// Both subsystems start here: the C runtime only falls back to WinMain when main is missing.
int main() {
    const std::wstring exe = standin::modulePath(nullptr);
    const standin::Home home = standin::findHome(exe, 1);
    const standin::Config& config = home.config;

    std::string line = "run exe=" + standin::recordValue(standin::utf8(exe));
    line += " args=" + standin::recordValue(standin::utf8(GetCommandLineW()));
    for (const wchar_t* name : {L"_JAVA_OPTIONS", L"JAVA_TOOL_OPTIONS", L"JDK_JAVA_OPTIONS"}) {
        line +=
            " " + standin::utf8(name) + "=" + standin::recordValue(standin::environmentValue(name));
    }
    line += std::string(" stdin=") + standin::handleKind(STD_INPUT_HANDLE);
    line += std::string(" stdout=") + standin::handleKind(STD_OUTPUT_HANDLE);
    line += std::string(" stderr=") + standin::handleKind(STD_ERROR_HANDLE);
    standin::appendRecord(home.file(standin::kRunRecordName), line);

    const int exitCode = static_cast<int>(static_cast<unsigned>(config.number("exit_code", 0)));
    if (hasArgument(kWaitArgument)) {
        // A process the application started: it runs until released (at most two minutes).
        for (int i = 0; i < 1200 && GetFileAttributesW(home.file(L"standin-release").c_str()) ==
                                        INVALID_FILE_ATTRIBUTES;
             ++i) {
            Sleep(100);
        }
        return exitCode;
    }
    if (!hasArgument(L"-version")) return exitCode;
    if (hasArgument(kLateArgument)) {
        Sleep(500);
    } else if (config.number("version_by_child", 0) != 0) {
        startLateWriter(exe);
        return exitCode;
    }
    writeAll(GetStdHandle(STD_ERROR_HANDLE),
             test_text::unescapeLine(config.text("version_text", kDefaultVersionText)));
    return exitCode;
}
