// The service host against the Service Control Manager: the status record, the control
// handler, the service child with its two pipes, the output thread and the final report.
#include <windows.h>

#include <stdlib.h>

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/command_line.h"
#include "common/log.h"
#include "common/unique_handle.h"
#include "jvm/launch/system_properties.h"
#include "service/event_log_win32.h"
#include "service/restart_rules.h"
#include "service/service_child_win32.h"
#include "service/service_control.h"
#include "service/service_host.h"
#include "service/service_keep_up_win32.h"
#include "service/service_watchdog_win32.h"

namespace launcher {

static_assert(kServiceRunning == SERVICE_RUNNING);
static_assert(kNormalPriorityClass == NORMAL_PRIORITY_CLASS);
static_assert(kServiceSpecificError == ERROR_SERVICE_SPECIFIC_ERROR);
static_assert(kServiceHostType == (SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS));
static_assert(kServiceHostControls == (SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN));
static_assert(kServiceAcceptPreshutdown == SERVICE_ACCEPT_PRESHUTDOWN);
static_assert(kServiceControlPreshutdown == SERVICE_CONTROL_PRESHUTDOWN);

namespace {

// The process-wide status record: written by the service main thread and the dispatcher's
// thread, each change and its report under statusLock, so a stop request and the service main
// thread never interleave their reports. The tracker decides which reports are due.
SERVICE_STATUS serviceStatus{};
SERVICE_STATUS_HANDLE statusHandle = nullptr;
SRWLOCK statusLock = SRWLOCK_INIT;
ServiceStateTracker stateTracker;

struct StatusLockGuard {
    StatusLockGuard() { ::AcquireSRWLockExclusive(&statusLock); }
    ~StatusLockGuard() { ::ReleaseSRWLockExclusive(&statusLock); }
    StatusLockGuard(const StatusLockGuard&) = delete;
    StatusLockGuard& operator=(const StatusLockGuard&) = delete;
};

// The write end of the child's standard input. Taken (and closed) by the first sendShutdown,
// so a later request finds nothing and never touches the closed handle. The watchdog's lines
// and the stop line are written under inputLock, so they never interleave and nothing is
// written after the stop closed the channel.
std::atomic<HANDLE> shutdownPipe{nullptr};
SRWLOCK inputLock = SRWLOCK_INIT;

struct InputLockGuard {
    InputLockGuard() { ::AcquireSRWLockExclusive(&inputLock); }
    ~InputLockGuard() { ::ReleaseSRWLockExclusive(&inputLock); }
    InputLockGuard(const InputLockGuard&) = delete;
    InputLockGuard& operator=(const InputLockGuard&) = delete;
};

// What the settings ask of the host; set by serviceMain before the handler is registered.
ServiceHostOptions hostOptions;
// The service's event source when the settings ask for one; opened by serviceMain, then used by
// its thread alone.
EventLog hostEvents;

// Set by the first stop or shutdown request, with the tick it came at: a bounded stop counts
// from there.
UniqueHandle& stopEvent() {
    static UniqueHandle event;
    return event;
}
std::atomic<uint64_t> stopRequestTick{0};
// The system time (FILETIME units) just before the stop line went to the child: a child that
// ended before it failed on its own.
std::atomic<uint64_t> stopSentTime{0};

// Whether the ended child was gone before the stop line was sent to it.
bool endedBeforeStopSent(HANDLE child) {
    const uint64_t sent = stopSentTime.load();
    FILETIME created{}, exited{}, kernel{}, user{};
    if (sent == 0 || !::GetProcessTimes(child, &created, &exited, &kernel, &user)) return false;
    return fileTimeValue(exited) < sent;
}

uint32_t stopTimeoutMilliseconds() {
    return hostOptions.stopTimeoutSeconds * 1000u;
}

BOOL report() {
    return ::SetServiceStatus(statusHandle, &serviceStatus);
}

void sendShutdown() {
    constexpr int kShutdownCode = 0;
    logMessage(L"sending shutdown1 %d", kShutdownCode);
    const InputLockGuard lock;
    const UniqueHandle pipe(shutdownPipe.exchange(nullptr));
    const std::string line = formatA("%d\n", kShutdownCode);
    DWORD written = 0;
    if (!pipe) {
        // The channel is not there yet, or an earlier request closed it.
        logMessage(L"sending shutdown failed");
        logMessage(L"error code %d", static_cast<int>(ERROR_INVALID_HANDLE));
    } else {
        // A child that ended before this moment failed on its own.
        uint64_t none = 0;
        stopSentTime.compare_exchange_strong(none, systemTimeNow());
        if (!::WriteFile(pipe.get(), line.data(), static_cast<DWORD>(line.size()), &written,
                         nullptr)) {
            const DWORD error = ::GetLastError();
            logMessage(L"sending shutdown failed");
            logMessage(L"error code %d", error);
        }
    }
    // The pipe closes here, so the child sees the end of its input after the line.
    logMessage(L"shutdown sent");
}

// The handler the manager calls on the dispatcher's thread. Pre-shutdown (accepted only with a
// bounded stop) comes before the system's shutdown and is handled as a shutdown.
DWORD WINAPI serviceControlHandler(DWORD control, DWORD, LPVOID, LPVOID) {
    logMessage(L"control handler request %d", control);
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
        case SERVICE_CONTROL_PRESHUTDOWN: {
            bool send = false;
            {
                const StatusLockGuard lock;
                if (const auto state = stateTracker.stopRequested()) {
                    serviceStatus.dwCurrentState = *state;
                    const bool shutdown = control != SERVICE_CONTROL_STOP;
                    if (shutdown) serviceStatus.dwCheckPoint = serviceStatus.dwCheckPoint + 1;
                    // The first request starts the stop (bounded, with a timeout).
                    uint64_t none = 0;
                    stopRequestTick.compare_exchange_strong(none, ::GetTickCount64());
                    if (hostOptions.stopTimeoutSeconds > 0) {
                        // Its hint covers all of a bounded stop.
                        serviceStatus.dwWaitHint =
                            boundedStopStep(stopTimeoutMilliseconds(),
                                            ::GetTickCount64() - stopRequestTick.load())
                                .waitHint;
                    }
                    // The wait for the child, and a restart delay, end at once.
                    if (stopEvent()) ::SetEvent(stopEvent().get());
                    if (!report()) {
                        logMessage(shutdown ? L"SetServiceStatus 1 failed %d"
                                            : L"SetServiceStatus 2 failed %d",
                                   ::GetLastError());
                    }
                    send = true;
                }
            }
            // After the final report the child has ended: nothing is left to stop.
            if (send) sendShutdown();
            break;
        }
        default: {
            const StatusLockGuard lock;
            if (stateTracker.otherControl() && !report())
                logMessage(L"SetServiceStatus 3 failed %d", ::GetLastError());
            break;
        }
    }
    return NO_ERROR;
}

BOOL WINAPI consoleCtrlHandler(DWORD) {
    logMessage(L"ConsoleCtrlHandler event");
    return TRUE;
}

// A stop-pending report of a bounded stop: a checkpoint one higher, the step's wait hint.
void reportStopProgress(uint32_t waitHint) {
    const StatusLockGuard lock;
    if (stateTracker.state() != kServiceStopPending) return;
    serviceStatus.dwCheckPoint = serviceStatus.dwCheckPoint + 1;
    serviceStatus.dwWaitHint = waitHint;
    if (!report()) logMessage(L"SetServiceStatus 4 failed %d", ::GetLastError());
}

bool endChild(HANDLE child, HANDLE job, uint32_t waitHint) {
    logMessage(
        L"the child has not ended %d s after the stop request: ending it and the "
        L"processes it started",
        hostOptions.stopTimeoutSeconds);
    hostEvents.report<EventId::StopTimedOut>(hostOptions.stopTimeoutSeconds);
    reportStopProgress(waitHint);
    return endJob(child, job);
}

// A stop was requested: reports its progress every second and ends the child when the stop
// timeout has passed. False when the child or a process of its job could not be ended.
bool boundedStop(HANDLE child, HANDLE job) {
    const auto elapsed = [] { return ::GetTickCount64() - stopRequestTick.load(); };
    StopStep step = boundedStopStep(stopTimeoutMilliseconds(), elapsed());
    while (!step.endChild) {
        if (::WaitForSingleObject(child, step.waitBeforeNext) != WAIT_TIMEOUT) return true;
        step = boundedStopStep(stopTimeoutMilliseconds(), elapsed());
        if (!step.endChild) reportStopProgress(step.waitHint);
    }
    return endChild(child, job, step.waitHint);
}

// Waits for the child; once a stop is requested, the bounded stop.
bool waitWithBoundedStop(HANDLE child, HANDLE job) {
    const HANDLE events[] = {child, stopEvent().get()};
    const DWORD woken = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (woken == WAIT_FAILED) {
        logMessage(L"WaitForMultipleObjects error (%d)", ::GetLastError());
        ::WaitForSingleObject(child, INFINITE);
        return true;
    }
    if (woken != WAIT_OBJECT_0 + 1) return true;
    return boundedStop(child, job);
}

// The start failed (pipes or process): the manager learns it from the service-specific code.
void reportStartFailure() {
    const StatusLockGuard lock;
    const auto state = stateTracker.startFailed();
    if (!state) return;
    serviceStatus.dwCurrentState = *state;
    serviceStatus.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    serviceStatus.dwServiceSpecificExitCode = kChildStartFailedCode;
    (void)report();
}

enum class ChildWait : uint8_t { Ended, NotEnded, Hung };

// Waits for the child without a watchdog: plainly, or with the bounded stop.
ChildWait waitUnwatched(const ChildRun& run) {
    if (hostOptions.stopTimeoutSeconds > 0) {
        return waitWithBoundedStop(run.process.get(), run.job.get()) ? ChildWait::Ended
                                                                     : ChildWait::NotEnded;
    }
    ::WaitForSingleObject(run.process.get(), INFINITE);
    return ChildWait::Ended;
}

// Writes one line on the child's standard input, unless the stop has closed it.
void writeChildInput(const std::string& line) {
    const InputLockGuard lock;
    const HANDLE input = shutdownPipe.load();
    DWORD written = 0;
    if (input != nullptr &&
        !::WriteFile(input, line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
        logMessage(L"could not write to the child (%d)", ::GetLastError());
    }
}

// Waits for the child, a stop, the runtime's lines and the watchdog's deadlines: pings the
// child, asks a hung one for its thread dump and ends it.
ChildWait waitWatched(const ChildRun& run, WatchdogPipe& pipe, KeepUp& keepUp) {
    const uint32_t timeout = hostOptions.watchdog.timeoutSeconds;
    WatchdogRules rules(hostOptions.watchdog, run.startTick);
    std::vector<std::string> lines;
    for (;;) {
        const HANDLE events[] = {run.process.get(), stopEvent().get(), pipe.event()};
        const DWORD count = events[2] != nullptr ? 3 : 2;
        const std::optional<uint64_t> deadline = rules.nextDeadline(::GetTickCount64());
        constexpr uint64_t kLongestWait = 0x7FFFFFFF;
        const DWORD wait = !deadline                  ? INFINITE
                           : *deadline < kLongestWait ? static_cast<DWORD>(*deadline)
                                                      : static_cast<DWORD>(kLongestWait);
        const DWORD woken = ::WaitForMultipleObjects(count, events, FALSE, wait);
        if (woken == WAIT_OBJECT_0) {
            // What the runtime said just before it ended (where its standard error went).
            lines.clear();
            pipe.drain(lines);
            for (const std::string& line : lines)
                takeWatchdogLine(line, rules, keepUp, hostEvents, ::GetTickCount64());
            return ChildWait::Ended;
        }
        if (woken == WAIT_OBJECT_0 + 1 || woken == WAIT_FAILED) {
            if (woken == WAIT_FAILED)
                logMessage(L"WaitForMultipleObjects error (%d)", ::GetLastError());
            // A stop: no more pings; the child ends by the stop line.
            if (hostOptions.stopTimeoutSeconds > 0 && woken != WAIT_FAILED) {
                return boundedStop(run.process.get(), run.job.get()) ? ChildWait::Ended
                                                                     : ChildWait::NotEnded;
            }
            ::WaitForSingleObject(run.process.get(), INFINITE);
            return ChildWait::Ended;
        }
        const WatchdogState before = rules.state();
        const uint64_t now = ::GetTickCount64();
        if (woken == WAIT_OBJECT_0 + 2) {
            lines.clear();
            pipe.collect(lines);
            for (const std::string& line : lines)
                takeWatchdogLine(line, rules, keepUp, hostEvents, now);
        }
        for (WatchdogStep step = rules.poll(now); step.action != WatchdogAction::None;
             step = rules.poll(now)) {
            switch (step.action) {
                case WatchdogAction::SendPing:
                    writeChildInput(formatA("ping %d\n", step.ping));
                    break;
                case WatchdogAction::SendDump:
                    keepUp.note(hungText(timeout));
                    writeChildInput("dump\n");
                    break;
                case WatchdogAction::ReportNoHello:
                    logMessage(
                        L"the application's runtime did not say hello in %d s: the "
                        L"watchdog is off for it",
                        timeout);
                    break;
                case WatchdogAction::EndChild:
                    keepUp.note(dumpText(rules.dumpWritten()));
                    hostEvents.report<EventId::NotAnswering>(
                        timeout, !rules.dumpWritten() ? std::wstring(L"none could be made")
                                 : keepUp.errorFile.empty()
                                     ? std::wstring(L"written to standard error")
                                     : L"written to " + wideUtf8(keepUp.errorFile));
                    keepUp.record.watchdog = rules.state();
                    reportStopProgress(kEndChildAllowance);
                    if (!endJob(run.process.get(), run.job.get())) return ChildWait::NotEnded;
                    return ChildWait::Hung;
                case WatchdogAction::None:
                    break;
            }
        }
        if (rules.state() != before) {
            keepUp.record.watchdog = rules.state();
            keepUp.write();
        }
    }
}

// The status record's last state: stopped, no child; the host's last lines go to the
// application's standard error file.
void recordStopped(KeepUp* keepUp) {
    if (keepUp == nullptr) return;
    keepUp->writeNotes();
    keepUp->record.state = HostState::Stopped;
    keepUp->record.appPid = 0;
    keepUp->record.appStarted.reset();
    keepUp->write();
}

// The final report, under the status lock: the state with the service-specific exit code
// (0: none), for the manager's failure actions to act on.
void reportFinal(uint32_t state, uint32_t code, const wchar_t* failedLine) {
    serviceStatus.dwCurrentState = state;
    if (code != 0) {
        serviceStatus.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        serviceStatus.dwServiceSpecificExitCode = code;
    }
    if (!report()) logMessage(failedLine, ::GetLastError());
    logMessage(L"service stopped set");
}

[[noreturn]] void exitHost() {
    logMessage(L"exiting");
    // No exit handlers, no stream flushing: the host's work is done.
    ::_exit(0);
}

// The final report after the last child: stopped, or nothing, as the tracker decides.
[[noreturn]] void finish(bool ended, uint32_t exitCode, bool endedEarly, KeepUp* keepUp) {
    recordStopped(keepUp);
    bool requested = false;
    {
        const StatusLockGuard lock;
        requested = stateTracker.stopWasRequested();
    }
    if (ended && requested && !endedEarly) {
        hostEvents.report<EventId::StoppedOnRequest>(::GetTickCount64() - stopRequestTick.load());
    }
    {
        const StatusLockGuard lock;
        const auto state =
            ended ? stateTracker.childEnded(exitCode, endedEarly) : stateTracker.childNotEnded();
        if (state)
            reportFinal(*state, stateTracker.failureExitCode(), L"SetServiceStatus 10 failed %d");
    }
    exitHost();
}

// Giving up restarting: stopped with the last exit code, or no final report so that the
// manager's failure actions take over.
[[noreturn]] void giveUp(uint32_t exitCode, KeepUp& keepUp) {
    recordStopped(&keepUp);
    {
        const StatusLockGuard lock;
        if (const auto state = stateTracker.gaveUp(exitCode)) {
            reportFinal(*state, exitCode, L"SetServiceStatus 11 failed %d");
        } else {
            logMessage(L"ending without a final report: the recovery actions take over");
        }
    }
    exitHost();
}

const wchar_t* reasonName(bool hung) {
    return hung ? L"hung" : L"exit";
}

}  // namespace

void registerConsoleCtrlHandler() {
    logMessage(L"registering ConsoleCtrlHandler");
    ::SetConsoleCtrlHandler(consoleCtrlHandler, TRUE);
}

void serviceMain(uint32_t argumentCount, wchar_t** arguments, const ServiceHostOptions& options) {
    logMessage(L"service main");
    hostOptions = options;
    stateTracker.reportChildFailures(options.reportChildFailure);
    stateTracker.recoveryConfigured(options.recoveryConfigured);
    if (options.stopTimeoutSeconds > 0)
        logMessage(L"stop timeout %d s", options.stopTimeoutSeconds);
    // A bounded stop, a restart delay and the wait for the runtime's lines end at a stop
    // request.
    if (options.stopTimeoutSeconds > 0 || options.restart.on != RestartOn::Never ||
        options.watchdog.intervalSeconds > 0 || options.eventLog) {
        stopEvent().reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    }
    serviceStatus = SERVICE_STATUS{};
    serviceStatus.dwServiceType = kServiceHostType;
    serviceStatus.dwCurrentState = SERVICE_RUNNING;
    serviceStatus.dwControlsAccepted = serviceHostControls(options);
    serviceStatus.dwWaitHint = kServiceStatusWaitHint;

    std::vector<std::wstring_view> given;
    for (uint32_t i = 0; i < argumentCount; ++i) {
        given.emplace_back(arguments[i] != nullptr ? arguments[i] : L"");
    }
    const std::wstring serviceName = serviceNameFromArguments(given);
    logMessage(L"service name is '%s'", serviceName);
    if (options.eventLog) hostEvents.open(serviceName);

    {
        // A request the manager sends at once waits until the handle is known and reported.
        const StatusLockGuard lock;
        statusHandle =
            ::RegisterServiceCtrlHandlerExW(serviceName.c_str(), serviceControlHandler, nullptr);
        if (statusHandle == nullptr) return;
        (void)report();
    }

    const wchar_t* ownText = ::GetCommandLineW();
    std::vector<std::wstring> ownArguments;
    splitCommandLine(ownText != nullptr ? ownText : L"", ownArguments);
    const std::vector<std::wstring_view> startParameters(
        given.empty() ? given.end() : given.begin() + 1, given.end());
    const std::wstring commandLine = childCommandLine(ownArguments, serviceName, startParameters);

    // Keeping the child up: restarts, the watchdog and the status record.
    const bool watchdogOn = options.watchdog.intervalSeconds > 0;
    const bool keepsUp = options.restart.on != RestartOn::Never || watchdogOn;
    // The runtime's lines (which Java runs, where its standard error goes) come on the pipe
    // whether or not the watchdog pings.
    const bool hostPipeOn = keepsUp || options.eventLog;
    KeepUp keepUp;
    if (keepsUp) {
        (void)keepUp.file.open(serviceName);
        keepUp.record.service = narrowUtf8(serviceName);
        keepUp.record.hostPid = ::GetCurrentProcessId();
        if (watchdogOn) {
            logMessage(L"watchdog: a ping every %d s, hung after %d s without an answer",
                       options.watchdog.intervalSeconds, options.watchdog.timeoutSeconds);
        }
    }
    RestartTimeline timeline(options.restart);
    for (uint32_t childNumber = 1;; ++childNumber) {
        WatchdogPipe watchdogPipe;
        if (hostPipeOn) {
            // The child finds the pipe's name in its environment, inherited from the host's.
            const bool created = watchdogPipe.create(childNumber);
            if (!created) logMessage(L"no watchdog pipe: the watchdog is off for this child");
            ::SetEnvironmentVariableA(kWatchdogPipeVariable,
                                      created ? narrowUtf8(watchdogPipe.name()).c_str() : nullptr);
        }
        // A restarted child appends to its output files: the runs before it (a thread dump,
        // the host's lines) stay there.
        ::SetEnvironmentVariableA(
            kRestartVariable, childNumber > 1 ? formatA("%d", childNumber - 1).c_str() : nullptr);
        ChildRun run;
        if (!startChild(commandLine, serviceName, options, run)) {
            hostEvents.report<EventId::StartFailed>(
                L"the service process could not start the process of its application (the "
                L"launcher's log says why)");
            reportStartFailure();
            return;
        }
        // A stop request that came before the pipe existed found no channel; this one is new.
        UniqueHandle previousInput(shutdownPipe.exchange(run.input.release()));
        bool stopCameFirst = false;
        {
            const StatusLockGuard lock;
            if (const auto state = stateTracker.childStarted()) {
                serviceStatus.dwCurrentState = *state;
                (void)report();
            }
            stopCameFirst = stateTracker.stopWasRequested();
        }
        // A stop that came before the child's input existed found no channel: it is sent now.
        if (stopCameFirst && shutdownPipe.load() != nullptr) sendShutdown();
        if (childNumber == 1) registerConsoleCtrlHandler();
        // (Written only when the record's file is open: when restart or the watchdog is on.)
        keepUp.record.state = HostState::Running;
        keepUp.record.appPid = ::GetProcessId(run.process.get());
        keepUp.record.appStarted = unixNow();
        keepUp.record.watchdog = watchdogOn && watchdogPipe.event() != nullptr
                                     ? WatchdogState::WaitingForHello
                                     : WatchdogState::Off;
        keepUp.startReported = false;
        keepUp.write();

        const ChildWait result = watchdogPipe.event() != nullptr
                                     ? waitWatched(run, watchdogPipe, keepUp)
                                     : waitUnwatched(run);
        const bool ended = result != ChildWait::NotEnded;
        // A child still running has no exit code yet (GetExitCodeProcess gives STILL_ACTIVE).
        DWORD exitCode = 0;
        if (ended) {
            ::GetExitCodeProcess(run.process.get(), &exitCode);
            logMessage(L"process terminated with exit code %d", exitCode);
        } else {
            logMessage(L"the child could not be ended: reporting the service stopped with code %d",
                       kChildNotEndedCode);
        }
        const bool endedEarly = ended && endedBeforeStopSent(run.process.get());
        bool stopAskedBefore = false;
        {
            const StatusLockGuard lock;
            stopAskedBefore = stateTracker.stopWasRequested();
        }
        if (ended && result != ChildWait::Hung && (!stopAskedBefore || endedEarly))
            hostEvents.report<EventId::ApplicationEnded>(exitCode);
        if (!ended || !keepsUp) finish(ended, exitCode, endedEarly, keepsUp ? &keepUp : nullptr);

        ChildEnd end;
        end.exitCode = exitCode;
        end.ranMilliseconds = ::GetTickCount64() - run.startTick;
        end.hung = result == ChildWait::Hung;
        {
            const StatusLockGuard lock;
            end.askedByHost = stateTracker.stopWasRequested() && !endedEarly;
            if (stateTracker.stopWasRequested()) timeline.stopRequested();
        }
        const RestartDecision decision = timeline.childEnded(end);
        keepUp.record.appPid = 0;
        keepUp.record.appStarted.reset();
        keepUp.record.lastExitCode = exitCode;
        keepUp.record.lastExitAt = unixNow();
        keepUp.record.quickFailures = timeline.quickFailures();
        if (decision.action == RestartAction::GiveUp) {
            keepUp.note(giveUpText(timeline.quickFailures(), options.restart.successfulRunSeconds,
                                   exitCode));
            hostEvents.report<EventId::GaveUp>(timeline.quickFailures(), exitCode);
            giveUp(exitCode, keepUp);
        }
        if (decision.action == RestartAction::Stop) finish(true, exitCode, endedEarly, &keepUp);

        keepUp.note(restartText(end, decision, timeline.quickFailures()));
        keepUp.writeNotes();
        hostEvents.report<EventId::Restarting>(
            timeline.restarts() + 1, decision.delayMilliseconds / 1000,
            end.hung ? std::wstring(L"not answering") : formatW(L"exit code %d", exitCode));
        keepUp.record.state = HostState::Restarting;
        keepUp.write();
        // A stop during the delay ends it at once, and nothing starts after it.
        const bool stopped =
            ::WaitForSingleObject(stopEvent().get(), decision.delayMilliseconds) != WAIT_TIMEOUT;
        bool stopAsked = stopped;
        {
            const StatusLockGuard lock;
            stopAsked = stopAsked || stateTracker.stopWasRequested();
        }
        if (stopAsked) timeline.stopRequested();
        if (!timeline.beginRestart()) {
            logMessage(L"a stop came during the restart delay: nothing is restarted");
            // The child had ended before: the service stops cleanly.
            finish(true, 0, false, &keepUp);
        }
        keepUp.record.restarts = timeline.restarts();
        keepUp.record.lastReason = timeline.lastReason();
        logMessage(L"restart %d of the application (reason %s)", timeline.restarts(),
                   reasonName(end.hung));
    }
}

}  // namespace launcher
