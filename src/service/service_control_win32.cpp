// The service control commands against the Service Control Manager of the local machine. Each
// operation opens and closes its own handles, prints one short English line per outcome to
// standard output and returns the exit code; nothing goes to the diagnostic log but the event
// source's registration when it fails.
#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/log.h"
#include "common/text_format.h"
#include "common/unique_handle.h"
#include "config/config.h"
#include "env/paths.h"
#include "log/errors.h"
#include "service/service_control.h"
#include "service/service_watchdog_win32.h"
#include "service/status_record_win32.h"
#include "service/status_report.h"

namespace launcher {

static_assert(kServiceAutoStart == SERVICE_AUTO_START);
static_assert(kServiceDemandStart == SERVICE_DEMAND_START);
static_assert(kServiceStopped == SERVICE_STOPPED);
static_assert(kServiceStopPending == SERVICE_STOP_PENDING);
static_assert(kScActionNone == SC_ACTION_NONE);
static_assert(kScActionRestart == SC_ACTION_RESTART);
static_assert(static_cast<DWORD>(ServiceConfigLevel::Description) == SERVICE_CONFIG_DESCRIPTION);
static_assert(static_cast<DWORD>(ServiceConfigLevel::FailureActions) ==
              SERVICE_CONFIG_FAILURE_ACTIONS);
static_assert(static_cast<DWORD>(ServiceConfigLevel::DelayedAutoStart) ==
              SERVICE_CONFIG_DELAYED_AUTO_START_INFO);
static_assert(static_cast<DWORD>(ServiceConfigLevel::FailureActionsFlag) ==
              SERVICE_CONFIG_FAILURE_ACTIONS_FLAG);
static_assert(static_cast<DWORD>(ServiceConfigLevel::PreshutdownInfo) ==
              SERVICE_CONFIG_PRESHUTDOWN_INFO);

namespace {

// Where the Application log keeps its event sources: the service's name is one.
constexpr std::wstring_view kEventSourceKey =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
// The event types the launcher reports: error, warning and information.
constexpr DWORD kEventTypesSupported =
    EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

// Size of the buffer the status command reads the service configuration into.
constexpr DWORD kConfigBufferBytes = 6000;
// ERROR_SERVICE_ALREADY_RUNNING and ERROR_SERVICE_NOT_ACTIVE count as success.
constexpr DWORD kAlreadyRunning = ERROR_SERVICE_ALREADY_RUNNING;
constexpr DWORD kNotActive = ERROR_SERVICE_NOT_ACTIVE;

// One console line: narrow text where "%S" takes the wide service name.
template <typename... Args>
void printLine(std::string_view format, const Args&... args) {
    printStdout(formatA(format, args...));
}

UniqueServiceHandle openManager(DWORD access) {
    return UniqueServiceHandle(::OpenSCManagerA(nullptr, nullptr, access));
}

UniqueServiceHandle openService(const UniqueServiceHandle& manager, const std::wstring& name,
                                DWORD access) {
    return UniqueServiceHandle(::OpenServiceW(manager.get(), name.c_str(), access));
}

// The status queries, sleeps and ticks followServiceStop needs, for one service handle.
class ServiceStatusSource {
public:
    explicit ServiceStatusSource(SC_HANDLE service) : service_(service) {}
    std::optional<ServiceProgress> query() const {
        SERVICE_STATUS status{};
        if (!::QueryServiceStatus(service_, &status)) return std::nullopt;
        return ServiceProgress{status.dwCurrentState, status.dwCheckPoint, status.dwWaitHint};
    }
    void sleep(uint32_t milliseconds) const { ::Sleep(milliseconds); }
    uint32_t tickCount() const { return ::GetTickCount(); }

private:
    SC_HANDLE service_;
};

// The handle needs query-status access. True when the service reached the stopped state.
bool waitForServiceStop(SC_HANDLE service) {
    ServiceStatusSource source(service);
    return followServiceStop(source);
}

// One ChangeServiceConfig2W call with the structure of its level; false with the error code
// in GetLastError when it failed.
bool applyConfigChange(SC_HANDLE service, const ServiceConfigChange& change) {
    // Older systems lack ChangeServiceConfig2W, so it is looked up.
    using ChangeServiceConfig2Function = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPVOID);
    const auto changeConfig =
        lookupFunction<ChangeServiceConfig2Function>("advapi32.dll", "ChangeServiceConfig2W");
    if (changeConfig == nullptr) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    const auto level = static_cast<DWORD>(change.level);
    switch (change.level) {
        case ServiceConfigLevel::Description: {
            std::wstring text(change.description);
            SERVICE_DESCRIPTIONW info{text.data()};
            return changeConfig(service, level, &info) != FALSE;
        }
        case ServiceConfigLevel::FailureActions: {
            if (!change.valid) {
                ::SetLastError(ERROR_INVALID_PARAMETER);
                return false;
            }
            SC_ACTION actions[kMaxFailureActions] = {};
            for (uint32_t i = 0; i < change.actions.count; ++i) {
                actions[i] = {static_cast<SC_ACTION_TYPE>(change.actions.actions[i].type),
                              change.actions.actions[i].delayMilliseconds};
            }
            SERVICE_FAILURE_ACTIONSW info{};
            info.dwResetPeriod = change.actions.resetPeriodSeconds;
            info.cActions = change.actions.count;
            info.lpsaActions = actions;
            return changeConfig(service, level, &info) != FALSE;
        }
        case ServiceConfigLevel::DelayedAutoStart: {
            SERVICE_DELAYED_AUTO_START_INFO info{change.flag ? TRUE : FALSE};
            return changeConfig(service, level, &info) != FALSE;
        }
        case ServiceConfigLevel::FailureActionsFlag: {
            SERVICE_FAILURE_ACTIONS_FLAG info{change.flag ? TRUE : FALSE};
            return changeConfig(service, level, &info) != FALSE;
        }
        case ServiceConfigLevel::PreshutdownInfo: {
            SERVICE_PRESHUTDOWN_INFO info{change.milliseconds};
            return changeConfig(service, level, &info) != FALSE;
        }
    }
    return false;
}

// What an install option is called in the line that says it could not be set.
const char* configChangeName(ServiceConfigLevel level) {
    switch (level) {
        case ServiceConfigLevel::Description:
            return "the description";
        case ServiceConfigLevel::FailureActions:
            return "the failure actions";
        case ServiceConfigLevel::DelayedAutoStart:
            return "the delayed start";
        case ServiceConfigLevel::FailureActionsFlag:
            return "the failure actions flag";
        case ServiceConfigLevel::PreshutdownInfo:
            return "the shutdown timeout";
    }
    return "an option";
}

enum class PasswordLine { Read, NoInput, TooLong };

// A password line from standard input: typed without echo on a console, or read from a pipe or
// file. The whole line is read, so nothing of a longer one stays in the input; a password
// longer than kMaxPasswordLength is refused. The buffers are fixed (a growing one would leave
// copies behind) and wiped.
PasswordLine readPasswordLine(std::optional<std::wstring>& password) {
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return PasswordLine::NoInput;
    DWORD mode = 0;
    if (::GetConsoleMode(input, &mode)) {
        ::SetConsoleMode(input,
                         (mode | ENABLE_LINE_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
        std::array<wchar_t, kMaxPasswordLength + 2> line{};
        const DWORD size = static_cast<DWORD>(line.size());
        DWORD read = 0;
        const BOOL done = ::ReadConsoleW(input, line.data(), size, &read, nullptr);
        // A full buffer without the line end: the line is longer than any password; its rest
        // is read and dropped.
        bool ended = std::wstring_view(line.data(), read).find(L'\n') != std::wstring_view::npos;
        const bool tooLong = done && !ended && read == size;
        if (done && !tooLong) password = passwordFromLine(std::wstring_view(line.data(), read));
        while (tooLong && !ended && ::ReadConsoleW(input, line.data(), size, &read, nullptr) &&
               read > 0) {
            ended = std::wstring_view(line.data(), read).find(L'\n') != std::wstring_view::npos;
        }
        ::SecureZeroMemory(line.data(), sizeof line);
        ::SetConsoleMode(input, mode);
        printStdout("\n");
        if (!done) return PasswordLine::NoInput;
        return password ? PasswordLine::Read : PasswordLine::TooLong;
    }
    // A pipe or a file: bytes up to the line end, in the ANSI code page.
    std::array<char, kMaxPasswordLineBytes> bytes{};
    size_t kept = 0;
    bool ended = false, over = false;
    char c = 0;
    DWORD read = 0;
    while (::ReadFile(input, &c, 1, &read, nullptr) && read == 1) {
        ended = c == '\n';
        if (ended) break;
        if (kept < bytes.size())
            bytes[kept++] = c;
        else
            over = true;
    }
    ::SecureZeroMemory(&c, sizeof c);
    // An input that ends before a line does holds no password (an empty line is one).
    if (kept == 0 && !ended) return PasswordLine::NoInput;
    if (!over) {
        std::wstring line(kept, L'\0');
        const int n = kept == 0
                          ? 0
                          : ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(kept),
                                                  line.data(), static_cast<int>(line.size()));
        password =
            passwordFromLine(std::wstring_view(line.data(), n > 0 ? static_cast<size_t>(n) : 0));
        ::SecureZeroMemory(line.data(), line.size() * sizeof(wchar_t));
    }
    ::SecureZeroMemory(bytes.data(), sizeof bytes);
    return password ? PasswordLine::Read : PasswordLine::TooLong;
}

// The password of a named account: from the configured environment variable, or asked for on
// standard input. Nothing (and a line saying why) when there is none to read or it is longer
// than Windows takes.
std::optional<std::wstring> readAccountPassword(const std::wstring& account,
                                                const std::wstring& variable) {
    std::optional<std::wstring> password;
    if (!variable.empty()) {
        std::array<wchar_t, kMaxPasswordLength + 1> value{};
        const DWORD size = static_cast<DWORD>(value.size());
        // An empty value also gives 0; only a missing variable sets this error.
        ::SetLastError(ERROR_SUCCESS);
        const DWORD n = ::GetEnvironmentVariableW(variable.c_str(), value.data(), size);
        if (n == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
            printLine("The environment variable %S with the password of '%S' is not set.\n",
                      variable, account);
        } else if (n >= size) {
            printLine("The password in %S is longer than %d characters.\n", variable,
                      static_cast<int>(kMaxPasswordLength));
        } else {
            password.emplace(value.data(), n);
        }
        ::SecureZeroMemory(value.data(), sizeof value);
        return password;
    }
    printLine("Password of '%S': ", account);
    switch (readPasswordLine(password)) {
        case PasswordLine::Read:
            break;
        case PasswordLine::NoInput:
            printLine("Could not read the password of '%S'.\n", account);
            break;
        case PasswordLine::TooLong:
            printLine("The password of '%S' is longer than %d characters.\n", account,
                      static_cast<int>(kMaxPasswordLength));
            break;
    }
    return password;
}

// Registers the service's name as an event source of the Application log, its messages in this
// executable; ERROR_SUCCESS or the error of the call that failed.
LSTATUS registerEventSource(const std::wstring& name) {
    UniqueKey key;
    const std::wstring path = std::wstring(kEventSourceKey) + name;
    LSTATUS status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                       KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) {
        key.release();
        return status;
    }
    const std::wstring& file = executablePathW();
    status = ::RegSetValueExW(key.get(), L"EventMessageFile", 0, REG_EXPAND_SZ,
                              reinterpret_cast<const BYTE*>(file.c_str()),
                              static_cast<DWORD>((file.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) return status;
    const DWORD types = kEventTypesSupported;
    return ::RegSetValueExW(key.get(), L"TypesSupported", 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&types), sizeof types);
}

// What /status-json reports of the service: the manager's answers and the host's status record
// when it belongs to the service's current host.
void fillStatusReport(const std::wstring& name, ServiceStatusReport& report) {
    UniqueServiceHandle manager = openManager(SC_MANAGER_CONNECT);
    const auto fail = [&report](std::string_view text) {
        report.error = text;
        report.errorCode = ::GetLastError();
    };
    if (!manager) {
        fail("Could not open the service manager.");
        return;
    }
    UniqueServiceHandle service =
        openService(manager, name, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    if (!service) {
        if (::GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) fail("Could not open the service.");
        return;
    }
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                                reinterpret_cast<BYTE*>(&status), sizeof status, &needed)) {
        fail("Could not get the status.");
        return;
    }
    report.installed = true;
    report.state = status.dwCurrentState;
    report.hostPid = status.dwProcessId;
    report.exitCode = status.dwWin32ExitCode;
    report.serviceExitCode = status.dwServiceSpecificExitCode;
    // Eight-byte elements keep the structure at the start of the buffer aligned.
    uint64_t buffer[kConfigBufferBytes / sizeof(uint64_t)];
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
    if (::QueryServiceConfigW(service.get(), config, kConfigBufferBytes, &needed)) {
        report.startType = config->dwStartType;
        if (config->lpDisplayName) report.displayName = narrowUtf8(config->lpDisplayName);
        if (config->lpServiceStartName) report.account = narrowUtf8(config->lpServiceStartName);
    }
    // A manager that cannot tell (Wine's refuses the level) has no delayed start.
    SERVICE_DELAYED_AUTO_START_INFO delayed{};
    if (::QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DELAYED_AUTO_START_INFO,
                               reinterpret_cast<BYTE*>(&delayed), sizeof delayed, &needed)) {
        report.delayed = delayed.fDelayedAutostart != FALSE;
    }
    report.recordText = readStatusRecord(name);
    const StatusRecordValues record = parseStatusRecord(report.recordText);
    if (recordBelongsToHost(record, report.state, report.hostPid)) report.record = record;
}

struct SystemOperations {
    const std::wstring& name;
    const ServiceInstallOptions& options;
    int install(uint32_t startType) { return installService(name, startType, options); }
    int start(const std::vector<std::wstring>& arguments) { return startService(name, arguments); }
    int status() { return queryServiceStatus(name); }
    int statusJson() { return queryServiceStatusJson(name); }
    int stop(bool verbose) { return stopService(name, verbose); }
    int uninstall(bool verbose) { return uninstallService(name, verbose); }
    int32_t launcherKind() { return options.launcherKind; }
};

}  // namespace

int installService(const std::wstring& name, uint32_t startType,
                   const ServiceInstallOptions& options) {
    // A named user's password is asked for before anything changes, and never kept.
    const ServiceAccountName account = serviceAccountName(options.account, name);
    std::optional<std::wstring> password =
        account.needsPassword ? readAccountPassword(*account.startName, options.passwordVariable)
                              : std::nullopt;
    if (account.needsPassword && !password) return 1;
    const ScopeGuard forgetPassword([&password] {
        if (password) ::SecureZeroMemory(password->data(), password->size() * sizeof(wchar_t));
    });
    // An existing service of the name is stopped and deleted first; its stop lines still show.
    (void)uninstallService(name, false);
    UniqueServiceHandle manager = openManager(SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        printLine("Could not open SCManager.\n");
        return 1;
    }
    // No arguments follow the path: the SCM starts the bare executable, the dispatcher road.
    const std::wstring path = formatW(L"\"%s\"", executablePathW());
    const std::optional<std::wstring> dependencies = dependencyMultiString(options.dependencies);
    const std::wstring& displayName = options.displayName.empty() ? name : options.displayName;
    UniqueServiceHandle service(
        ::CreateServiceW(manager.get(), name.c_str(), displayName.c_str(), SERVICE_ALL_ACCESS,
                         SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_NORMAL, path.c_str(),
                         nullptr, nullptr, dependencies ? dependencies->c_str() : nullptr,
                         account.startName ? account.startName->c_str() : nullptr,
                         password ? password->c_str() : nullptr));
    if (!service) {
        printLine("Could not create service.\n");
        return 1;
    }
    const std::wstring description = getLocalizedString(Message::ServiceDescription);
    for (const ServiceConfigChange& change :
         serviceConfigChanges(options, startType, description)) {
        // The description's result is ignored; an option asked for and not set is named.
        if (!applyConfigChange(service.get(), change) &&
            change.level != ServiceConfigLevel::Description) {
            const DWORD error = ::GetLastError();
            printLine("Could not set %s (error %d).\n", configChangeName(change.level), error);
        }
    }
    service.reset();
    manager.reset();
    // A source that cannot be registered is named; the service is installed all the same.
    if (options.eventLog) {
        if (const LSTATUS status = registerEventSource(name); status != ERROR_SUCCESS) {
            // As a DWORD, the type of every other error code the commands show.
            const auto error = static_cast<DWORD>(status);
            logMessage(L"could not register the event source %s (%d)", name, error);
            printLine("Could not register the event source (error %d).\n", error);
        }
    }
    printLine("Installed service '%S'.\n", name);
    return 0;
}

int startService(const std::wstring& name, const std::vector<std::wstring>& arguments) {
    UniqueServiceHandle manager = openManager(SC_MANAGER_CONNECT);
    if (!manager) {
        printLine("Could not open SCManager.\n");
        return 1;
    }
    UniqueServiceHandle service = openService(manager, name, SERVICE_START);
    if (!service) {
        const DWORD error = ::GetLastError();
        printLine("Could not start service. Error code: %d\n", error);
        return 1;
    }
    std::vector<const wchar_t*> parameters = startParameters(arguments);
    if (::StartServiceW(service.get(), static_cast<DWORD>(parameters.size()),
                        parameters.empty() ? nullptr : parameters.data())) {
        service.reset();
        manager.reset();
        printLine("Starting service '%S'.\n", name);
        return 0;
    }
    const DWORD error = ::GetLastError();
    if (error == kAlreadyRunning) {
        printLine("Service is already running.\n");
        return 0;
    }
    printLine("Could not start service. Error code: %d\n", error);
    return 1;
}

int queryServiceStatus(const std::wstring& name) {
    UniqueServiceHandle manager = openManager(SC_MANAGER_CONNECT);
    if (!manager) {
        printLine("Could not open SCManager.\n");
        return 1;
    }
    UniqueServiceHandle service =
        openService(manager, name, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};
    // A service that does not exist fails here too.
    if (!service || !::QueryServiceStatus(service.get(), &status)) {
        printLine("Could not get status.\n");
        return 1;
    }
    const bool running = status.dwCurrentState == SERVICE_RUNNING;
    printLine(running ? "Running.\n" : "Not running.\n");
    // Eight-byte elements keep the structure at the start of the buffer aligned.
    std::vector<uint64_t> buffer(kConfigBufferBytes / sizeof(uint64_t));
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    DWORD needed = 0;
    if (!::QueryServiceConfigA(service.get(), config, kConfigBufferBytes, &needed)) {
        const DWORD error = ::GetLastError();
        printLine("Could not get config (%d, %d).\n", error, needed);
        return 1;
    }
    if (config->dwStartType == SERVICE_AUTO_START) printLine("%s.\n", "Auto-start");
    return running ? 0 : 3;
}

int queryServiceStatusJson(const std::wstring& name) {
    ServiceStatusReport report;
    report.service = narrowUtf8(name);
    fillStatusReport(name, report);
    printStdout(serviceStatusJson(report));
    return statusJsonExitCode(report);
}

int stopService(const std::wstring& name, bool verbose) {
    UniqueServiceHandle manager = openManager(SC_MANAGER_CONNECT);
    if (!manager) {
        if (verbose) printLine("Could not open SCManager.\n");
        return 1;
    }
    UniqueServiceHandle service = openService(manager, name, SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (!service) {
        if (verbose) printLine("Could not stop service.\n");
        return 1;
    }
    SERVICE_STATUS status{};
    // The lines of an accepted or unneeded stop show whatever the verbose flag says.
    if (::ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
        printLine("Stopping service '%S'.\n", name);
        printLine(waitForServiceStop(service.get()) ? "Service stopped\n"
                                                    : "Error while stopping service\n");
        return 0;
    }
    if (::GetLastError() == kNotActive) {
        printLine("Service is already stopped.\n");
        return 0;
    }
    if (verbose) printLine("Could not stop service.\n");
    return 1;
}

int uninstallService(const std::wstring& name, bool verbose) {
    (void)stopService(name, false);
    UniqueServiceHandle manager = openManager(SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        if (verbose) printLine("Could not open SCManager.\n");
        return 1;
    }
    UniqueServiceHandle service = openService(manager, name, DELETE);
    if (service && ::DeleteService(service.get())) {
        service.reset();
        manager.reset();
        // The event source goes with the service, whether this launcher registers one or not.
        const std::wstring source = std::wstring(kEventSourceKey) + name;
        const auto status = static_cast<DWORD>(::RegDeleteKeyW(HKEY_LOCAL_MACHINE, source.c_str()));
        if (verbose && status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            printLine("Could not remove the event source (error %d).\n", status);
        }
        if (verbose) printLine("Uninstalled service '%S'.\n", name);
        return 0;
    }
    if (verbose) printLine("Could not delete service.\n");
    return 1;
}

int runServiceCommand(ServiceCommand command, const std::wstring& serviceName,
                      const std::vector<std::wstring>& arguments,
                      const ServiceInstallOptions& options) {
    SystemOperations operations{serviceName, options};
    return dispatchServiceCommand(command, arguments, operations);
}

}  // namespace launcher
