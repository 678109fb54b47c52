// The service control commands against the Service Control Manager of the local machine. Each
// operation opens and closes its own handles, prints one short English line per outcome to
// standard output and returns the exit code; nothing goes to the diagnostic log.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_format.h"
#include "common/unique_handle.h"
#include "config/config.h"
#include "env/paths.h"
#include "log/errors.h"
#include "service/service_control.h"

namespace launcher {

static_assert(kServiceAutoStart == SERVICE_AUTO_START);
static_assert(kServiceDemandStart == SERVICE_DEMAND_START);
static_assert(kServiceStopped == SERVICE_STOPPED);
static_assert(kServiceStopPending == SERVICE_STOP_PENDING);

namespace {

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

// The description is optional: older systems lack ChangeServiceConfig2W, so it is looked up.
void setServiceDescription(SC_HANDLE service, const std::wstring& description) {
    using ChangeServiceConfig2Function = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPVOID);
    const auto changeConfig =
        lookupFunction<ChangeServiceConfig2Function>("advapi32.dll", "ChangeServiceConfig2W");
    if (changeConfig == nullptr) return;
    std::wstring text = description;
    SERVICE_DESCRIPTIONW info{text.data()};
    (void)changeConfig(service, SERVICE_CONFIG_DESCRIPTION, &info);
}

struct SystemOperations {
    const std::wstring& name;
    int install(uint32_t startType) { return installService(name, startType); }
    int start(const std::vector<std::wstring>& arguments) { return startService(name, arguments); }
    int status() { return queryServiceStatus(name); }
    int stop(bool verbose) { return stopService(name, verbose); }
    int uninstall(bool verbose) { return uninstallService(name, verbose); }
    int32_t launcherKind() { return getConfigInt(Setting::LauncherKind); }
};

}  // namespace

int installService(const std::wstring& name, uint32_t startType) {
    // An existing service of the name is stopped and deleted first; its stop lines still show.
    (void)uninstallService(name, false);
    UniqueServiceHandle manager = openManager(SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        printLine("Could not open SCManager.\n");
        return 1;
    }
    // No arguments follow the path: the SCM starts the bare executable, the dispatcher road.
    const std::wstring path = formatW(L"\"%s\"", executablePathW());
    const std::optional<std::wstring> dependencies = readServiceDependencies();
    UniqueServiceHandle service(::CreateServiceW(
        manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
        startType, SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr,
        dependencies ? dependencies->c_str() : nullptr, nullptr, nullptr));
    if (!service) {
        printLine("Could not create service.\n");
        return 1;
    }
    const std::wstring description = getLocalizedString(Message::ServiceDescription);
    if (!description.empty() && description.front() != L'\0') {
        setServiceDescription(service.get(), description);
    }
    service.reset();
    manager.reset();
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
        if (verbose) printLine("Uninstalled service '%S'.\n", name);
        return 0;
    }
    if (verbose) printLine("Could not delete service.\n");
    return 1;
}

int runServiceCommand(ServiceCommand command, const std::wstring& serviceName,
                      const std::vector<std::wstring>& arguments) {
    SystemOperations operations{serviceName};
    return dispatchServiceCommand(command, arguments, operations);
}

}  // namespace launcher
