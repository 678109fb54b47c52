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

// The service main of the dispatcher table: the first argument is the name the service was
// started under, the rest are the start parameters. Ends the process once the child has ended;
// returns when the child could not be started.
void serviceMain(uint32_t argumentCount, wchar_t** arguments);

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

constexpr uint32_t kNormalPriorityClass = 0x20;     // NORMAL_PRIORITY_CLASS
constexpr uint32_t kServiceRunning = 4;             // SERVICE_RUNNING
constexpr uint32_t kServiceSpecificError = 1066;    // ERROR_SERVICE_SPECIFIC_ERROR
constexpr uint32_t kChildStartFailedCode = 5000;    // the service-specific exit code
constexpr uint32_t kServiceStatusWaitHint = 50000;  // milliseconds, in every report
constexpr uint32_t kServiceHostType = 0x30;         // own and share process
constexpr uint32_t kServiceHostControls = 5;        // accepts stop and shutdown
constexpr size_t kChildOutputChunk = 6000;          // bytes per read of the child's output

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

// The service state as the host reports it, shared by the service main thread and the control
// handler (the Windows side keeps it under a lock). Each event returns the state to report, or
// nothing when no report is due: a stop that came before the child ran is not overwritten by
// the running report, and nothing is reported after the final stopped state.
class ServiceStateTracker {
public:
    // The child was started: running, unless a stop or shutdown was requested meanwhile.
    std::optional<uint32_t> childStarted();
    // A stop or shutdown request: stop-pending, unless the service already reported stopped.
    std::optional<uint32_t> stopRequested();
    // Any other control: the current state again, unless the final state was reported.
    std::optional<uint32_t> otherControl() const;
    // The child has ended with the exit code: stopped (final) when reportsStoppedAtEnd says so.
    std::optional<uint32_t> childEnded(uint32_t exitCode);
    // The child could not be started: stopped (final).
    std::optional<uint32_t> startFailed();

    bool stopWasRequested() const { return stopRequested_; }
    uint32_t state() const { return state_; }

private:
    uint32_t state_ = kServiceRunning;
    bool stopRequested_ = false;
    bool final_ = false;
};

// Whether the host reports the stopped state when the child has ended: for exit code 0, or when
// a stop or shutdown was requested (the state is stop-pending). A child that failed on its own
// leaves the last running report standing, so the manager sees an unexpected end.
bool reportsStoppedAtEnd(uint32_t childExitCode, uint32_t currentState);

}  // namespace launcher
