// The service host: the service main the dispatcher runs, which reports the service state,
// starts the service child (a second copy of this executable with the marker argument last),
// turns stop and shutdown requests into the line "0\n" on the child's standard input, drains
// the child's output and ends the process when the child has ended. The Windows half lives in
// service_host_win32.cpp; the rules it follows (the child command line and its quoting, the
// priority value, the final report) are portable and declared here too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace launcher {

// ---- the host (Windows) ----

// What happens when the child ends without being asked to.
enum class RestartOn : uint8_t { Never, Failure, Always };
struct RestartSettings {
    RestartOn on = RestartOn::Never;      // config 3013: "failure", "always", anything else never
    uint32_t delaySeconds = 5;            // config 3014 (absent or below 0: 5)
    uint32_t maxDelaySeconds = 300;       // config 3015 (absent or below delay: max(delay, 300))
    uint32_t successfulRunSeconds = 300;  // config 3016 (absent or below 0: 300)
    uint32_t maxFailures = 5;             // config 3017 (absent or below 1: 5)
};
struct WatchdogSettings {
    uint32_t intervalSeconds = 0;  // config 3018; 0: off
    uint32_t timeoutSeconds = 60;  // config 3019 (absent or below 1: 60)
};

// What the launcher's settings ask of the host beyond the plain protocol. The defaults (a
// block without these settings) are the plain protocol: no job object, a stop that waits as
// long as the child takes, and a child failing on its own left to look like a crash.
struct ServiceHostOptions {
    // Seconds the child has to end after a stop or shutdown request; 0: no bound.
    uint32_t stopTimeoutSeconds = 0;
    // The child and the processes it starts end when the host's last handle to them closes,
    // even when the host itself is killed.
    bool killChildWithHost = false;
    // Failure actions are configured and count a non-zero exit code as a failure (their flag):
    // a child ending on its own with a non-zero code is reported as stopped with that code as
    // the service-specific exit code. Without the flag the manager acts only on a process that
    // ends without a final report, so the host then reports nothing.
    bool reportChildFailure = false;
    // Failure actions are configured (with or without their flag): a host that gives up
    // restarting then ends without a final report unless reportChildFailure is set, so that
    // the manager's actions take over.
    bool recoveryConfigured = false;
    // Restarting a child that ended on its own, and watching a child that said hello.
    RestartSettings restart;
    WatchdogSettings watchdog;
    // What happens is reported to the Application event log under the service's name.
    bool eventLog = false;
};

// The service main of the dispatcher table: the first argument is the name the service was
// started under, the rest are the start parameters. Ends the process once the child has ended;
// returns when the child could not be started.
void serviceMain(uint32_t argumentCount, wchar_t** arguments, const ServiceHostOptions& options);

// Logs "registering ConsoleCtrlHandler" and adds the handler that keeps console events (Ctrl+C,
// close, logoff, shutdown) from ending the process; used by the host and the service child.
void registerConsoleCtrlHandler();

// ---- portable rules ----

// The marker that ends the service child's command line.
inline constexpr std::wstring_view kChildRestartMarker = L"__pkx_restart";
// The name used when the service manager passes none, or one of kBufferLength characters or more.
inline constexpr std::wstring_view kUnknownServiceName = L"unknown";
// Under HKEY_LOCAL_MACHINE; a 4-byte value named after the service is the child's priority class.
inline constexpr std::wstring_view kServicePriorityKey = L"SOFTWARE\\harbor-works\\lumex\\priority";

constexpr uint32_t kNormalPriorityClass = 0x20;        // NORMAL_PRIORITY_CLASS
constexpr uint32_t kServiceRunning = 4;                // SERVICE_RUNNING
constexpr uint32_t kServiceSpecificError = 1066;       // ERROR_SERVICE_SPECIFIC_ERROR
constexpr uint32_t kChildStartFailedCode = 5000;       // the service-specific exit code
constexpr uint32_t kServiceStatusWaitHint = 50000;     // milliseconds, in every report
constexpr uint32_t kServiceHostType = 0x30;            // own and share process
constexpr uint32_t kServiceHostControls = 5;           // accepts stop and shutdown
constexpr uint32_t kServiceAcceptPreshutdown = 0x100;  // SERVICE_ACCEPT_PRESHUTDOWN
constexpr uint32_t kServiceControlPreshutdown = 0xF;   // SERVICE_CONTROL_PRESHUTDOWN
// The service-specific exit code of a stop whose child could not be ended: it, or a process it
// started, still ran when the host gave up waiting.
constexpr uint32_t kChildNotEndedCode = 5001;
constexpr size_t kChildOutputChunk = 6000;  // bytes per read of the child's output

// The service name from the service main's arguments: the first one when it has 1 to
// kBufferLength - 1 characters, otherwise "unknown".
std::wstring serviceNameFromArguments(const std::vector<std::wstring_view>& arguments);

// One piece of the child command line, written so that the child's command-line splitter reads
// it back exactly: a piece that is empty or holds a space, a tab or a double quote is enclosed in
// double quotes, and each double quote inside is doubled (backslashes are ordinary characters to
// the splitter and stay as they are). Any other piece stands as it is.
std::wstring quoteChildArgument(std::wstring_view piece);

// The service child's command line, pieces quoted and separated by one space: the host's own
// first argument (the executable path), the service name, the host's further arguments, the
// start parameters, then the marker.
std::wstring childCommandLine(const std::vector<std::wstring>& ownArguments,
                              std::wstring_view serviceName,
                              const std::vector<std::wstring_view>& startParameters);

// The child's priority class from the registry query: the value when the query succeeded and
// gave exactly 4 bytes (whatever its type), otherwise nothing (normal priority).
std::optional<uint32_t> servicePriorityValue(bool queried, uint32_t dataSize, uint32_t value);

// ---- the bounded stop ----

// The longest stop the host waits for: a day.
constexpr uint32_t kMaxStopTimeoutSeconds = 86400;
// Milliseconds between two stop-pending reports while a bounded stop runs.
constexpr uint32_t kStopReportInterval = 1000;
// Milliseconds the host allows for ending the child once the timeout has passed: part of every
// wait hint, and its longest wait for the ended child.
constexpr uint32_t kEndChildAllowance = 5000;
// The exit code the host gives a child (and its processes) it ends.
constexpr uint32_t kEndedByHostExitCode = 1;

// The configured stop timeout as the host uses it: a negative value is no bound (0), and more
// than a day is a day.
uint32_t stopTimeoutSeconds(int32_t configured);

// The stop timeout the Java side is given ("lumex.stopTimeout"): the host's less a margin of a
// fifth, at least 1 s and at most 5 s, so that the JVM ends itself before the host ends it. A
// timeout of 1 s stays 1 s (the property counts whole seconds); 0 (no bound) stays 0.
uint32_t javaStopTimeoutSeconds(uint32_t hostTimeoutSeconds);

// The controls the host accepts: stop and shutdown and, with a bounded stop, pre-shutdown, so
// that at system shutdown the stop gets its own timeout instead of the system's short one.
uint32_t serviceHostControls(const ServiceHostOptions& options);

// The pre-shutdown timeout /install sets for a bounded stop (milliseconds): the whole stop, the
// allowance for ending the child and one report interval. 0 (no bound): none is set.
uint32_t preshutdownTimeoutMilliseconds(uint32_t stopTimeoutSeconds);

// Whether the host puts its child in a job object: to end the child's processes with it when
// the host goes, or when a bounded stop or the watchdog has to end them.
bool usesJobObject(const ServiceHostOptions& options);

// Where a bounded stop stands some time after the request.
struct StopStep {
    // The timeout has passed: end the child and the processes it started.
    bool endChild = false;
    // Milliseconds for the stop-pending report: the rest of the timeout and the allowance for
    // ending the child, so that a waiting controller does not give up before the end.
    uint32_t waitHint = 0;
    // Milliseconds to wait for the child before the next step.
    uint32_t waitBeforeNext = 0;

    bool operator==(const StopStep&) const = default;
};

// The step of a stop with the given timeout (milliseconds, more than 0), elapsed milliseconds
// after the request. Each report of a step carries a checkpoint one higher than the last.
StopStep boundedStopStep(uint32_t timeoutMilliseconds, uint64_t elapsedMilliseconds);

// The service state as the host reports it, shared by the service main thread and the control
// handler (the Windows side keeps it under a lock). Each event returns the state to report, or
// nothing when no report is due: a stop that came before the child ran is not overwritten by
// the running report, and nothing is reported after the final stopped state.
class ServiceStateTracker {
public:
    // The child was started: running, unless a stop or shutdown was requested meanwhile.
    std::optional<uint32_t> childStarted();
    // A stop, shutdown or pre-shutdown request: stop-pending, unless the service already
    // reported stopped.
    std::optional<uint32_t> stopRequested();
    // Any other control: the current state again, unless the final state was reported.
    std::optional<uint32_t> otherControl() const;
    // The child has ended with the exit code: stopped (final) when reportsStoppedAtEnd says so,
    // or when child failures are reported (then failureExitCode() holds the code). A child that
    // ended before the stop line was sent failed on its own: a stop request pending then is
    // reported stopped with the child's non-zero code, never as a clean stop.
    std::optional<uint32_t> childEnded(uint32_t exitCode, bool endedBeforeStopSent = false);
    // A stop whose child (or a process it started) could not be ended: stopped (final), with
    // kChildNotEndedCode as the service-specific exit code.
    std::optional<uint32_t> childNotEnded();
    // The child could not be started: stopped (final).
    std::optional<uint32_t> startFailed();
    // The host gave up restarting a child that last ended with the code: stopped (final) with
    // the code as the service-specific exit code, or, when failure actions are configured
    // without their flag, nothing (the host ends without a final report).
    std::optional<uint32_t> gaveUp(uint32_t exitCode);

    // A child that ends on its own with a non-zero code is reported stopped, with the code.
    void reportChildFailures(bool report) { reportFailures_ = report; }
    void recoveryConfigured(bool configured) { recoveryConfigured_ = configured; }
    // The child's code for the service-specific exit code of the final report; 0: none.
    uint32_t failureExitCode() const { return failureExitCode_; }

    bool stopWasRequested() const { return stopRequested_; }
    uint32_t state() const { return state_; }

private:
    uint32_t state_ = kServiceRunning;
    bool stopRequested_ = false;
    bool final_ = false;
    bool reportFailures_ = false;
    bool recoveryConfigured_ = false;
    uint32_t failureExitCode_ = 0;
};

// Whether the host reports the stopped state when the child has ended: for exit code 0, or when
// a stop or shutdown was requested (the state is stop-pending). A child that failed on its own
// leaves the last running report standing, so the manager sees an unexpected end.
bool reportsStoppedAtEnd(uint32_t childExitCode, uint32_t currentState);

}  // namespace launcher
