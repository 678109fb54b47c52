// The least a service can be: it registers with the Service Control Manager, reports running
// and sleeps until stopped. bench/service.sh compares the service host's memory with it, since
// every service pays for the dispatcher the manager's protocol needs.
#include <windows.h>

namespace {
SERVICE_STATUS_HANDLE statusHandle;
SERVICE_STATUS status{};
HANDLE stopped;

void report(DWORD state) {
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    ::SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI control(DWORD code, DWORD, LPVOID, LPVOID) {
    if (code == SERVICE_CONTROL_STOP) {
        ::SetEvent(stopped);
    }
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD, LPWSTR*) {
    statusHandle = ::RegisterServiceCtrlHandlerExW(L"", control, nullptr);
    report(SERVICE_RUNNING);
    ::WaitForSingleObject(stopped, INFINITE);
    report(SERVICE_STOPPED);
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    stopped = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wchar_t name[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{name, serviceMain}, {nullptr, nullptr}};
    return ::StartServiceCtrlDispatcherW(table) ? 0 : 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int show) {
    return wWinMain(instance, previous, ::GetCommandLineW(), show);
}
