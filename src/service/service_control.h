// The service control commands: install, start, status, stop, uninstall and their variants.
// The operations talking to the Service Control Manager live in service_control_win32.cpp; the
// rules around them (which operations a command runs, the dependency list, the start
// parameters, when a stop wait gives up) are portable and declared here too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace launcher {

// The commands that talk to the Service Control Manager.
enum class ServiceCommand {
    Install,
    InstallAndStart,
    InstallAuto,
    InstallDemand,
    Uninstall,
    Stop,
    Start,
    Restart,
    Status,
    StatusJson,
};

// What the launcher's settings ask of an installation beyond the plain record. The defaults (a
// block without these settings) install the plain record: the service name as display name,
// LocalSystem, no failure actions, no delayed start.
struct ServiceInstallOptions {
    bool delayedAutoStart = false;  // an automatic start waits until the system has started
    std::wstring displayName;       // empty: the service name
    std::string recoveryActions;    // "restart" and "none", comma-separated; empty: none
    int32_t recoveryDelaySeconds = 0;
    int32_t recoveryResetAfterSeconds = 0;
    bool recoveryOnErrorExit = false;  // a stop with a non-zero exit code counts as a failure
    std::wstring account;           // "LocalService", "virtual", "DOMAIN\\user"; empty: LocalSystem
    std::wstring passwordVariable;  // holds a named user's password; empty: ask on the console
    int32_t launcherKind = 0;       // config 107: 4 makes plain "install" start automatically
    std::wstring dependencies;      // config 149, comma-separated (at most 5999 characters)
    // How long the system waits at shutdown for the service's stop; 0: the system's default.
    uint32_t preshutdownTimeoutMilliseconds = 0;
    // The service's name is registered as an event source of the Application log.
    bool eventLog = false;
};

// Runs one service command on the named service; arguments are those after the command word
// (the service name first, when given). Returns the process exit code.
int runServiceCommand(ServiceCommand command, const std::wstring& serviceName,
                      const std::vector<std::wstring>& arguments,
                      const ServiceInstallOptions& options);

// ---- the operations on one service (Windows) ----

// Stops and deletes an existing service of the name, then creates it; 0 installed, 1 failed.
int installService(const std::wstring& serviceName, uint32_t startType,
                   const ServiceInstallOptions& options);
// 0 started or already running, 1 failed.
int startService(const std::wstring& serviceName, const std::vector<std::wstring>& arguments);
// 0 running, 3 not running, 1 failed.
int queryServiceStatus(const std::wstring& serviceName);
// Prints the service's state, configuration and the host's status record as one JSON object
// (docs/status.md) and nothing else; 0 running, 3 not running, 1 failed or not installed.
int queryServiceStatusJson(const std::wstring& serviceName);
// 0 stopped, stop not needed or stop given up after the wait hint, 1 failed.
int stopService(const std::wstring& serviceName, bool verbose);
// 0 deleted, 1 failed.
int uninstallService(const std::wstring& serviceName, bool verbose);

// ---- portable rules ----

constexpr uint32_t kServiceAutoStart = 2;    // SERVICE_AUTO_START
constexpr uint32_t kServiceDemandStart = 3;  // SERVICE_DEMAND_START
constexpr uint32_t kServiceStopped = 1;      // SERVICE_STOPPED
constexpr uint32_t kServiceStopPending = 3;  // SERVICE_STOP_PENDING

// The launcher kind (config 107) whose plain "install" starts the service automatically.
constexpr int32_t kAutoStartLauncherKind = 4;

// Start type of the install commands; config 107 is the launcher kind (4 means automatic start
// for plain "install").
uint32_t installStartType(ServiceCommand command, int32_t launcherKind);

// The comma-separated list as a double-NUL-terminated multi-string: runs of commas give no
// empty entries, spaces stay part of the names. The result holds every NUL itself (a list
// without names is a lone NUL). Nothing for an empty text.
std::optional<std::wstring> dependencyMultiString(std::wstring_view list);

// The start parameters in an argument list that begins with the service name: the elements
// after the first, or none when there is at most one element.
std::vector<const wchar_t*> startParameters(const std::vector<std::wstring>& arguments);

// Runs the operations of one service command in order and returns its exit code. Operations
// provides install(startType), start(arguments), status(), statusJson(), stop(verbose),
// uninstall(verbose)
// and launcherKind() (config 107, read only by the install commands).
template <typename Operations>
int dispatchServiceCommand(ServiceCommand command, const std::vector<std::wstring>& arguments,
                           Operations& operations) {
    switch (command) {
        case ServiceCommand::Install:
        case ServiceCommand::InstallAuto:
        case ServiceCommand::InstallDemand:
            return operations.install(installStartType(command, operations.launcherKind()));
        case ServiceCommand::InstallAndStart:
            // The start decides the exit code, whatever the installation did.
            (void)operations.install(installStartType(command, operations.launcherKind()));
            return operations.start(arguments);
        case ServiceCommand::Uninstall:
            return operations.uninstall(true);
        case ServiceCommand::Stop:
            return operations.stop(true);
        case ServiceCommand::Start:
            return operations.start(arguments);
        case ServiceCommand::Restart:
            (void)operations.stop(false);
            return operations.start(arguments);
        case ServiceCommand::Status:
            return operations.status();
        case ServiceCommand::StatusJson:
            return operations.statusJson();
    }
    return 1;
}

// ---- install options ----

constexpr uint32_t kScActionNone = 0;     // SC_ACTION_NONE
constexpr uint32_t kScActionRestart = 1;  // SC_ACTION_RESTART
// The most failure actions a launcher sets.
constexpr size_t kMaxFailureActions = 16;
// The longest delay before a restart: a day.
constexpr int32_t kMaxRecoveryDelaySeconds = 86400;

// One SC_ACTION.
struct FailureAction {
    uint32_t type = kScActionNone;
    uint32_t delayMilliseconds = 0;
    bool operator==(const FailureAction&) const = default;
};

// The content of SERVICE_FAILURE_ACTIONSW (no reboot message, no command). Fixed arrays keep
// the stub free of the containers' code.
struct FailureActions {
    uint32_t resetPeriodSeconds = 0;
    uint32_t count = 0;
    FailureAction actions[kMaxFailureActions] = {};
    bool operator==(const FailureActions&) const = default;
};

// The failure actions of a list of "restart" and "none" separated by commas; a restart waits
// delaySeconds (0 to a day) first, "none" has no delay; the count of failures goes back to 0
// after resetAfterSeconds without one. Nothing for an empty list, an empty or unknown word, or
// more than kMaxFailureActions words.
std::optional<FailureActions> failureActions(std::string_view words, int32_t delaySeconds,
                                             int32_t resetAfterSeconds);

// ChangeServiceConfig2W's info levels the launcher sets.
enum class ServiceConfigLevel : uint32_t {
    Description = 1,         // SERVICE_CONFIG_DESCRIPTION
    FailureActions = 2,      // SERVICE_CONFIG_FAILURE_ACTIONS
    DelayedAutoStart = 3,    // SERVICE_CONFIG_DELAYED_AUTO_START_INFO
    FailureActionsFlag = 4,  // SERVICE_CONFIG_FAILURE_ACTIONS_FLAG
    PreshutdownInfo = 7,     // SERVICE_CONFIG_PRESHUTDOWN_INFO
};

// One ChangeServiceConfig2W call of an installation: the level and what its structure holds.
struct ServiceConfigChange {
    ServiceConfigLevel level = ServiceConfigLevel::Description;
    std::wstring_view description;  // Description
    FailureActions actions;         // FailureActions
    bool valid = true;              // FailureActions: false when the configured list is not
    bool flag = false;              // DelayedAutoStart, FailureActionsFlag
    uint32_t milliseconds = 0;      // PreshutdownInfo
    bool operator==(const ServiceConfigChange&) const = default;
};

// The calls of one installation, in order.
struct ServiceConfigChanges {
    ServiceConfigChange items[5];
    size_t count = 0;
    const ServiceConfigChange* begin() const { return items; }
    const ServiceConfigChange* end() const { return items + count; }
};

// The ChangeServiceConfig2W calls of an installation with the start type, in order: the
// description (when not empty; the result points into it), the delayed start (automatic start
// only), the failure actions (when a list is configured) and, with them, their flag when a
// non-zero exit code counts, and the pre-shutdown timeout (when set).
ServiceConfigChanges serviceConfigChanges(const ServiceInstallOptions& options, uint32_t startType,
                                          std::wstring_view description);

// The account an installation names for CreateServiceW.
struct ServiceAccountName {
    std::optional<std::wstring> startName;  // nothing: LocalSystem
    bool needsPassword = false;             // a named user
    bool operator==(const ServiceAccountName&) const = default;
};

// "LocalSystem" or empty: LocalSystem; "LocalService" and "NetworkService": the built-in
// accounts of NT AUTHORITY; "virtual": the service's own virtual account "NT SERVICE\<name>";
// any other text names a user (such as "DOMAIN\\user"), who needs a password.
ServiceAccountName serviceAccountName(std::wstring_view account, std::wstring_view serviceName);

// The longest password Windows takes for an account's logon (CREDUI_MAX_PASSWORD_LENGTH, in
// UTF-16 units); a longer one is refused on every road (console, standard input, variable)
// rather than cut, so an installation never stores a password the account cannot log on with.
constexpr size_t kMaxPasswordLength = 256;
// The bytes of a piped password line the launcher keeps: a password of kMaxPasswordLength
// characters in any code page (at most four bytes each) and its "\r"; a longer line is read to
// its end and refused.
constexpr size_t kMaxPasswordLineBytes = kMaxPasswordLength * 4 + 1;
// A typed or piped password line without its line end ("\n" or "\r\n"); nothing when the
// password is longer than kMaxPasswordLength.
std::optional<std::wstring> passwordFromLine(std::wstring_view line);

// One answer of a status query.
struct ServiceProgress {
    uint32_t state = 0;
    uint32_t checkpoint = 0;
    uint32_t waitHint = 0;
};

constexpr uint32_t kStopPollMilliseconds = 500;

// Waits while the service is stop-pending: polls every 500 ms and gives up once the reported
// wait hint has passed without the checkpoint growing (unsigned tick arithmetic survives the
// counter's wrap-around). Source provides std::optional<ServiceProgress> query() (nothing when
// the query failed), void sleep(uint32_t ms) and uint32_t tickCount(). True when the last
// answer was the stopped state.
template <typename Source>
bool followServiceStop(Source& source) {
    std::optional<ServiceProgress> status = source.query();
    if (!status) return false;
    uint32_t startTick = source.tickCount();
    uint32_t checkpoint = status->checkpoint;
    while (status->state == kServiceStopPending) {
        source.sleep(kStopPollMilliseconds);
        status = source.query();
        if (!status) return false;
        if (status->checkpoint > checkpoint) {
            checkpoint = status->checkpoint;
            startTick = source.tickCount();
        } else if (source.tickCount() - startTick > status->waitHint) {
            break;
        }
    }
    return status->state == kServiceStopped;
}

}  // namespace launcher
