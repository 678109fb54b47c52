// service_query: reads, points and removes services for the end-to-end tests of the service
// commands, independently of the launcher (Wine's sc.exe knows no "qc" or "qdescription").
//
//   service_query.exe config NAME
//       Prints, as UTF-8 lines:
//         start-type: N                 QueryServiceConfigW
//         binary-path: TEXT             QueryServiceConfigW
//         description: TEXT             QueryServiceConfig2W; "(none)" for a null description
//         description-value: yes|no     whether the service key has a "Description" value
//         depend-on-service: A|B|...    the key's DependOnService value (REG_MULTI_SZ) with its
//                                       entries joined by '|'; "(absent)" without the value
//       where the key is HKLM\System\CurrentControlSet\Services\NAME.
//         display-name: TEXT            QueryServiceConfigW
//         account: TEXT                 QueryServiceConfigW's lpServiceStartName
//         failure-actions: TEXT         QueryServiceConfig2W: "reset=N T/D,T/D" (type/delay ms)
//         delayed-auto-start: 0|1       QueryServiceConfig2W
//         failure-actions-flag: 0|1     QueryServiceConfig2W
//         preshutdown-timeout: N        QueryServiceConfig2W (milliseconds)
//                                       (each of the four "error N" when the query fails)
//         registry-values: A|B|...      the names of the key's values, sorted
//   service_query.exe alive PID
//       Prints "alive" while the process runs, "gone" once it has ended or does not exist.
//   service_query.exe set-path NAME COMMANDLINE
//       Changes the service's image path (ChangeServiceConfigW), e.g. to a test service.
//   service_query.exe kill NAME
//       Ends the process of a running service at once (TerminateProcess), as a crash would;
//       prints "killed PID".
//   service_query.exe start NAME [PARAMETER...]
//       Starts the service with exactly these start parameters (StartServiceW).
//   service_query.exe remove NAME
//       Stops the service if it runs (ending its process when the stop does not finish within
//       5 s) and deletes it. A service that does not exist is fine. Prints "removed" or
//       "absent".
//
// Exit codes: 0 done, 1 failure (a line on standard error says which), 2 usage.
#include <windows.h>

#include "utf8_output.h"

#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "common/unique_handle.h"

namespace {

using launcher::UniqueHandle;
using launcher::UniqueKey;
using launcher::UniqueLocal;
using launcher::UniqueServiceHandle;

constexpr ULONGLONG kStopWaitMilliseconds = 5000;

void write(DWORD stream, const std::wstring& line) {
    helpers::writeUtf8Line(GetStdHandle(stream), line);
}

void out(const std::wstring& line) {
    write(STD_OUTPUT_HANDLE, line);
}

int fail(const std::wstring& what) {
    write(STD_ERROR_HANDLE,
          L"service_query: " + what + L" failed with error " + std::to_wstring(GetLastError()));
    return 1;
}

// A buffer for a variable-size structure, aligned for it.
std::vector<uint64_t> structBuffer(DWORD bytes) {
    return std::vector<uint64_t>(bytes / sizeof(uint64_t) + 1);
}

// "key: value" of one QueryServiceConfig2W level, the value as show gives it; "error N" when the
// query fails.
template <typename Info, typename Show>
void printLevel(SC_HANDLE service, const wchar_t* key, DWORD level, Show show) {
    DWORD needed = 0;
    QueryServiceConfig2W(service, level, nullptr, 0, &needed);
    auto buffer = structBuffer(needed + sizeof(Info));
    const bool ok =
        QueryServiceConfig2W(service, level, reinterpret_cast<BYTE*>(buffer.data()),
                             static_cast<DWORD>(buffer.size() * sizeof(uint64_t)), &needed);
    out(key + (ok ? show(*reinterpret_cast<Info*>(buffer.data()))
                  : L"error " + std::to_wstring(GetLastError())));
}

void printLevels(SC_HANDLE service) {
    printLevel<SERVICE_FAILURE_ACTIONSW>(
        service, L"failure-actions: ", SERVICE_CONFIG_FAILURE_ACTIONS, [](const auto& a) {
            std::wstring text = L"reset=" + std::to_wstring(a.dwResetPeriod);
            for (DWORD i = 0; i < a.cActions; ++i) {
                text += (i == 0 ? L" " : L",") + std::to_wstring(a.lpsaActions[i].Type) + L"/" +
                        std::to_wstring(a.lpsaActions[i].Delay);
            }
            return text;
        });
    printLevel<SERVICE_DELAYED_AUTO_START_INFO>(
        service, L"delayed-auto-start: ", SERVICE_CONFIG_DELAYED_AUTO_START_INFO,
        [](const auto& d) { return std::to_wstring(d.fDelayedAutostart); });
    printLevel<SERVICE_FAILURE_ACTIONS_FLAG>(
        service, L"failure-actions-flag: ", SERVICE_CONFIG_FAILURE_ACTIONS_FLAG,
        [](const auto& f) { return std::to_wstring(f.fFailureActionsOnNonCrashFailures); });
    printLevel<SERVICE_PRESHUTDOWN_INFO>(
        service, L"preshutdown-timeout: ", SERVICE_CONFIG_PRESHUTDOWN_INFO,
        [](const auto& p) { return std::to_wstring(p.dwPreshutdownTimeout); });
}

int printConfig(SC_HANDLE service, const std::wstring& name) {
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    auto buffer = structBuffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service, config, needed, &needed)) return fail(L"QueryServiceConfigW");
    out(L"start-type: " + std::to_wstring(config->dwStartType));
    out(L"binary-path: " + std::wstring(config->lpBinaryPathName ? config->lpBinaryPathName : L""));
    out(L"display-name: " + std::wstring(config->lpDisplayName ? config->lpDisplayName : L""));
    out(L"account: " +
        std::wstring(config->lpServiceStartName ? config->lpServiceStartName : L"(none)"));
    printLevels(service);

    needed = 0;
    QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
    auto descriptionBuffer = structBuffer(needed + sizeof(SERVICE_DESCRIPTIONW));
    auto* description = reinterpret_cast<SERVICE_DESCRIPTIONW*>(descriptionBuffer.data());
    if (!QueryServiceConfig2W(
            service, SERVICE_CONFIG_DESCRIPTION, reinterpret_cast<BYTE*>(description),
            static_cast<DWORD>(descriptionBuffer.size() * sizeof(uint64_t)), &needed)) {
        return fail(L"QueryServiceConfig2W");
    }
    out(L"description: " +
        std::wstring(description->lpDescription ? description->lpDescription : L"(none)"));

    UniqueKey key;
    const std::wstring keyName = L"System\\CurrentControlSet\\Services\\" + name;
    const LSTATUS opened =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_QUERY_VALUE, key.put());
    if (opened != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(opened));
        return fail(L"RegOpenKeyExW");
    }
    const bool hasDescription = RegQueryValueExW(key.get(), L"Description", nullptr, nullptr,
                                                 nullptr, nullptr) == ERROR_SUCCESS;
    out(std::wstring(L"description-value: ") + (hasDescription ? L"yes" : L"no"));
    std::vector<std::wstring> names;
    wchar_t valueName[256];
    for (DWORD i = 0, length = 256; RegEnumValueW(key.get(), i, valueName, &length, nullptr,
                                                  nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = 256) {
        names.emplace_back(valueName, length);
    }
    std::sort(names.begin(), names.end());
    std::wstring joinedNames;
    for (const auto& n : names) joinedNames += (joinedNames.empty() ? L"" : L"|") + n;
    out(L"registry-values: " + joinedNames);

    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key.get(), L"DependOnService", nullptr, &type, nullptr, &bytes) !=
        ERROR_SUCCESS) {
        out(L"depend-on-service: (absent)");
        return 0;
    }
    std::wstring value(bytes / sizeof(wchar_t) + 2, L'\0');
    if (RegQueryValueExW(key.get(), L"DependOnService", nullptr, &type,
                         reinterpret_cast<BYTE*>(value.data()), &bytes) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ) {
        SetLastError(static_cast<DWORD>(type));
        return fail(L"reading DependOnService as REG_MULTI_SZ (type in error)");
    }
    std::wstring joined;
    for (const wchar_t* entry = value.c_str(); *entry != L'\0'; entry += wcslen(entry) + 1) {
        if (!joined.empty()) joined += L'|';
        joined += entry;
    }
    out(L"depend-on-service: " + joined);
    return 0;
}

bool waitForState(SC_HANDLE service, DWORD state, ULONGLONG milliseconds) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        SERVICE_STATUS status{};
        if (!QueryServiceStatus(service, &status)) return false;
        if (status.dwCurrentState == state) return true;
        if (GetTickCount64() - start >= milliseconds) return false;
        Sleep(200);
    }
}

int removeService(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS process{};
    DWORD needed = 0;
    if (QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&process),
                             sizeof(process), &needed) &&
        process.dwCurrentState != SERVICE_STOPPED) {
        SERVICE_STATUS status{};
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        if (!waitForState(service, SERVICE_STOPPED, kStopWaitMilliseconds) &&
            process.dwProcessId != 0) {
            UniqueHandle child(
                OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process.dwProcessId));
            if (child) {
                TerminateProcess(child.get(), 1);
                WaitForSingleObject(child.get(), 5000);
            }
            // Wine 8's SCM never notices that the process of a stop-pending service ended; the
            // service is deleted all the same.
        }
    }
    if (!DeleteService(service) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
        return fail(L"DeleteService");
    }
    out(L"removed");
    return 0;
}

int killService(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS process{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&process),
                              sizeof(process), &needed) ||
        process.dwProcessId == 0) {
        return fail(L"QueryServiceStatusEx");
    }
    UniqueHandle host(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process.dwProcessId));
    if (!host || !TerminateProcess(host.get(), 9)) return fail(L"TerminateProcess");
    WaitForSingleObject(host.get(), 5000);
    out(L"killed " + std::to_wstring(process.dwProcessId));
    return 0;
}

int processAlive(const std::wstring& pid) {
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, std::wcstoul(pid.c_str(), nullptr, 10)));
    out(process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT ? L"alive" : L"gone");
    return 0;
}

int run(const std::vector<std::wstring>& args) {
    if (args.size() == 3 && args[1] == L"alive") return processAlive(args[2]);
    if (args.size() < 3) {
        write(STD_ERROR_HANDLE,
              L"usage: service_query.exe config NAME | set-path NAME COMMANDLINE | kill NAME | "
              L"start NAME [PARAMETER...] | remove NAME | alive PID");
        return 2;
    }
    const std::wstring& command = args[1];
    const std::wstring& name = args[2];
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return fail(L"OpenSCManagerW");
    UniqueServiceHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
    if (!service) {
        if (command == L"remove" && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) {
            out(L"absent");
            return 0;
        }
        return fail(L"OpenServiceW");
    }
    if (command == L"config" && args.size() == 3) return printConfig(service.get(), name);
    if (command == L"remove" && args.size() == 3) return removeService(service.get());
    if (command == L"kill" && args.size() == 3) return killService(service.get());
    if (command == L"start") {
        std::vector<const wchar_t*> parameters;
        for (size_t i = 3; i < args.size(); ++i) parameters.push_back(args[i].c_str());
        if (!StartServiceW(service.get(), static_cast<DWORD>(parameters.size()),
                           parameters.empty() ? nullptr : parameters.data())) {
            return fail(L"StartServiceW");
        }
        return 0;
    }
    if (command == L"set-path" && args.size() == 4) {
        if (!ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                  SERVICE_NO_CHANGE, args[3].c_str(), nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr)) {
            return fail(L"ChangeServiceConfigW");
        }
        return 0;
    }
    write(STD_ERROR_HANDLE, L"service_query: unknown command or wrong argument count");
    return 2;
}

}  // namespace

// The toolchain's C runtime ignores wmain: the arguments come from the command line.
int main() {
    int argc = 0;
    UniqueLocal argv(CommandLineToArgvW(GetCommandLineW(), &argc));
    if (!argv) return fail(L"CommandLineToArgvW");
    const auto* list = static_cast<wchar_t**>(argv.get());
    return run(std::vector<std::wstring>(list, list + argc));
}
