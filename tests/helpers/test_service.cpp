// test_service: a small Windows service of our own, so that the end-to-end tests of the service
// commands have a service that really runs, stops, hangs on a stop and takes start parameters.
//
//   test_service.exe [NAME]      run by the Service Control Manager (the service's image path)
//
// NAME names the dispatcher's table entry (default "TestService"). Every event is appended as a
// line to "<this exe>.log" next to the program:
//   start NAME|PARAM|...   ServiceMain ran (its arguments, the service name first, joined by '|')
//   running                SERVICE_RUNNING was reported
//   stop                   a stop or shutdown request arrived
//   stopped                SERVICE_STOPPED is about to be reported (the process ends right
//                          after it)
// The first start parameter chooses how a stop goes:
//   (anything else)  SERVICE_STOP_PENDING (checkpoint 1, wait hint 2000 ms), then stopped after
//                    250 ms
//   slow-stop        stop-pending for about 3 s with a wait hint of 1000 ms, the checkpoint
//                    growing every 400 ms, then stopped
//   stuck-stop       stop-pending with a wait hint of 2000 ms and checkpoint 1 forever: nothing
//                    changes until a file "<this exe>.release" exists (or 5 minutes have
//                    passed); then stopped
// Started from a console (not by the SCM) it prints an error and exits with 1.
#include <windows.h>

#include "utf8_output.h"

#include <shellapi.h>

#include <string>

#include "common/unique_handle.h"

namespace {

using launcher::UniqueFile;
using launcher::UniqueHandle;

enum class StopMode { Quick, Slow, Stuck };

constexpr DWORD kWaitHintMilliseconds = 2000;
// Half the launcher's poll interval: its first status query after the stop request still sees
// the pending state, and the process has ended well before the next one.
constexpr DWORD kQuickStopMilliseconds = 250;
constexpr DWORD kSlowWaitHintMilliseconds = 1000;
constexpr DWORD kSlowStepMilliseconds = 400;
constexpr int kSlowSteps = 8;
constexpr ULONGLONG kStuckLimitMilliseconds = 5 * 60 * 1000;

std::wstring exePath() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

void appendLog(const std::wstring& line) {
    UniqueFile file(CreateFileW((exePath() + L".log").c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) helpers::writeUtf8Line(file.get(), line);
}

bool releaseFileExists() {
    return GetFileAttributesW((exePath() + L".release").c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring tableName = L"TestService";
SERVICE_STATUS_HANDLE statusHandle = nullptr;
UniqueHandle stopRequested;
StopMode stopMode = StopMode::Quick;

void report(DWORD state, DWORD checkpoint, DWORD waitHint) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = NO_ERROR;
    status.dwCheckPoint = checkpoint;
    status.dwWaitHint = waitHint;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI control(DWORD code, DWORD, LPVOID, LPVOID) {
    switch (code) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            appendLog(L"stop");
            report(SERVICE_STOP_PENDING, 1,
                   stopMode == StopMode::Slow ? kSlowWaitHintMilliseconds : kWaitHintMilliseconds);
            SetEvent(stopRequested.get());
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI serviceMain(DWORD argc, LPWSTR* argv) {
    std::wstring line = L"start ";
    for (DWORD i = 0; i < argc; ++i) line += (i == 0 ? L"" : L"|") + std::wstring(argv[i]);
    appendLog(line);
    if (argc >= 2 && std::wstring(argv[1]) == L"slow-stop") stopMode = StopMode::Slow;
    if (argc >= 2 && std::wstring(argv[1]) == L"stuck-stop") stopMode = StopMode::Stuck;
    statusHandle =
        RegisterServiceCtrlHandlerExW(argc > 0 ? argv[0] : tableName.c_str(), control, nullptr);
    if (statusHandle == nullptr) {
        appendLog(L"RegisterServiceCtrlHandlerExW failed " + std::to_wstring(GetLastError()));
        return;
    }
    report(SERVICE_RUNNING, 0, 0);
    appendLog(L"running");
    WaitForSingleObject(stopRequested.get(), INFINITE);
    if (stopMode == StopMode::Slow) {
        for (int step = 2; step < 2 + kSlowSteps; ++step) {
            Sleep(kSlowStepMilliseconds);
            report(SERVICE_STOP_PENDING, static_cast<DWORD>(step), kSlowWaitHintMilliseconds);
        }
    } else if (stopMode == StopMode::Quick) {
        Sleep(kQuickStopMilliseconds);
    } else if (stopMode == StopMode::Stuck) {
        const ULONGLONG start = GetTickCount64();
        while (!releaseFileExists() && GetTickCount64() - start < kStuckLimitMilliseconds) {
            Sleep(100);
        }
    }
    appendLog(L"stopped");
    report(SERVICE_STOPPED, 0, 0);
    // Wine's SCM keeps a deleted service's record until the service's process has gone, so a
    // reinstall right after the stop would meet it: the process ends at once.
    ExitProcess(0);
}

}  // namespace

// The toolchain's C runtime ignores wmain: the arguments come from the command line.
int main() {
    int argc = 0;
    launcher::UniqueLocal argv(CommandLineToArgvW(GetCommandLineW(), &argc));
    if (argv && argc >= 2) tableName = static_cast<wchar_t**>(argv.get())[1];
    stopRequested.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    SERVICE_TABLE_ENTRYW table[] = {{tableName.data(), serviceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        const std::string message = "test_service: StartServiceCtrlDispatcherW failed with error " +
                                    std::to_string(GetLastError()) + "\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), message.data(),
                  static_cast<DWORD>(message.size()), &written, nullptr);
        return 1;
    }
    return 0;
}
