// The service child as a process: its pipes, its job object, the thread that drains its output,
// and ending it with every process it started.
#include "service/service_child_win32.h"

#include <algorithm>
#include <vector>

#include "common/log.h"
#include "service/service_watchdog_win32.h"

namespace launcher {

namespace {

// Reads and discards the child's output so that it never blocks on a full pipe.
DWORD WINAPI consumeChildOutput(LPVOID parameter) {
    const UniqueHandle output(static_cast<HANDLE>(parameter));
    logMessage(L"consuming output");
    char buffer[kChildOutputChunk];
    DWORD n = 0;
    while (::ReadFile(output.get(), buffer, sizeof buffer, &n, nullptr) && n > 0) {
    }
    logMessage(L"consuming output done");
    return 0;
}

DWORD readServicePriority(const std::wstring& serviceName) {
    UniqueKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, std::wstring(kServicePriorityKey).c_str(), 0, KEY_READ,
                        key.put()) != ERROR_SUCCESS) {
        return kNormalPriorityClass;
    }
    DWORD value = 0;
    DWORD size = sizeof value;
    const bool queried =
        ::RegQueryValueExW(key.get(), serviceName.c_str(), nullptr, nullptr,
                           reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS;
    const std::optional<uint32_t> priority = servicePriorityValue(queried, size, value);
    if (!priority) return kNormalPriorityClass;
    logMessage(L"using priority %d", *priority);
    return *priority;
}

// The job object that holds the child and every process it starts: it ends them all when the
// host's last handle closes (killWithHost), and lets a bounded stop end them together.
UniqueHandle createChildJob(bool killWithHost) {
    UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
    if (!job) {
        logMessage(L"CreateJobObject error (%d)", ::GetLastError());
        return job;
    }
    if (killWithHost) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                       sizeof limits)) {
            logMessage(L"SetInformationJobObject error (%d)", ::GetLastError());
        }
    }
    return job;
}

// Milliseconds between two looks at the job while its ended processes go.
constexpr DWORD kJobPollMilliseconds = 50;

// How many processes of the job still run; 0 when the job cannot tell.
DWORD activeProcesses(HANDLE job) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
    if (!::QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info,
                                     nullptr)) {
        logMessage(L"QueryInformationJobObject error (%d)", ::GetLastError());
        return 0;
    }
    return info.ActiveProcesses;
}

// The pipes of the child: its standard input (whose write end the run keeps) and its
// output, whose write end it shares for standard output and error.
struct ChildPipes {
    UniqueHandle inputRead;
    UniqueHandle outputRead;
    UniqueHandle outputWrite;
};

bool createChildPipes(ChildPipes& pipes, UniqueHandle& inputWrite) {
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!::CreatePipe(pipes.outputRead.put(), pipes.outputWrite.put(), &attributes, 0)) {
        logMessage(L"CreatePipe error (%d)", ::GetLastError());
        return false;
    }
    if (!::SetHandleInformation(pipes.outputRead.get(), HANDLE_FLAG_INHERIT, 0)) {
        logMessage(L"SetHandleInformation error (%d)", ::GetLastError());
        return false;
    }
    if (!::CreatePipe(pipes.inputRead.put(), inputWrite.put(), &attributes, 0)) {
        logMessage(L"CreatePipe error 2 (%d)", ::GetLastError());
        return false;
    }
    if (!::SetHandleInformation(inputWrite.get(), HANDLE_FLAG_INHERIT, 0)) {
        logMessage(L"SetHandleInformation error 2 (%d)", ::GetLastError());
        return false;
    }
    return true;
}

}  // namespace

bool endJob(HANDLE child, HANDLE job) {
    const BOOL ended = job != nullptr ? ::TerminateJobObject(job, kEndedByHostExitCode)
                                      : ::TerminateProcess(child, kEndedByHostExitCode);
    if (!ended) logMessage(L"could not end the child (%d)", ::GetLastError());
    const uint64_t since = ::GetTickCount64();
    if (::WaitForSingleObject(child, kEndChildAllowance) != WAIT_OBJECT_0) {
        logMessage(L"the child still runs %d ms after it was ended", kEndChildAllowance);
        return false;
    }
    if (job == nullptr) return true;
    DWORD left = activeProcesses(job);
    while (left > 0 && ::GetTickCount64() - since < kEndChildAllowance) {
        ::Sleep(kJobPollMilliseconds);
        left = activeProcesses(job);
    }
    if (left > 0) {
        logMessage(L"%d processes of the child still run %d ms after they were ended",
                   static_cast<int>(left), kEndChildAllowance);
        return false;
    }
    return true;
}

bool startChild(const std::wstring& commandLine, const std::wstring& serviceName,
                const ServiceHostOptions& options, ChildRun& run) {
    ChildPipes pipes;
    if (!createChildPipes(pipes, run.input)) return false;
    STARTUPINFOW startup{};
    startup.cb = sizeof(STARTUPINFOW);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = pipes.inputRead.get();
    startup.hStdOutput = pipes.outputWrite.get();
    startup.hStdError = pipes.outputWrite.get();

    // The job's handle is not inheritable: the host holds the only one.
    run.job = usesJobObject(options) ? createChildJob(options.killChildWithHost) : UniqueHandle();
    PROCESS_INFORMATION process{};
    BOOL started = FALSE;
    {
        std::vector<wchar_t> buffer(commandLine.size() + 10, L'\0');
        std::copy(commandLine.begin(), commandLine.end(), buffer.begin());
        // In a job the child starts suspended, so that it is in the job before it can start
        // processes of its own.
        started = ::CreateProcessW(
            nullptr, buffer.data(), nullptr, nullptr, TRUE,
            readServicePriority(serviceName) | DETACHED_PROCESS | (run.job ? CREATE_SUSPENDED : 0),
            nullptr, nullptr, &startup, &process);
    }
    if (!started) {
        logMessage(L"could not start process %s (%d)", commandLine, ::GetLastError());
        return false;
    }
    run.startTick = ::GetTickCount64();
    run.process.reset(process.hProcess);
    run.thread.reset(process.hThread);
    if (run.job) {
        if (!::AssignProcessToJobObject(run.job.get(), run.process.get())) {
            logMessage(L"AssignProcessToJobObject error (%d)", ::GetLastError());
            run.job.reset();
        }
        if (::ResumeThread(run.thread.get()) == static_cast<DWORD>(-1)) {
            logMessage(L"ResumeThread error (%d)", ::GetLastError());
        }
    }
    // The child holds its own copies now; the output reaches its end once the child is gone.
    pipes.outputWrite.reset();
    pipes.inputRead.reset();
    const HANDLE outputRead = pipes.outputRead.get();
    if (UniqueHandle thread(::CreateThread(nullptr, 0, consumeChildOutput, outputRead, 0, nullptr));
        thread) {
        (void)pipes.outputRead.release();
    } else {
        // Nobody would read: with the read end closed the child gets write errors instead of
        // blocking on a full pipe.
        pipes.outputRead.reset();
    }
    return true;
}

void appendHostLines(const std::string& utf8Path, std::string_view prefix,
                     const std::vector<std::string>& lines) {
    if (utf8Path.empty() || lines.empty()) return;
    const std::wstring path = wideUtf8(utf8Path);
    if (path.empty()) return;
    // Only an existing file is appended to, and whatever else opened it keeps it open.
    const UniqueFile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        logMessage(L"could not open the standard error file %s (%d)", path, ::GetLastError());
        return;
    }
    std::string text;
    for (const std::string& line : lines) {
        text.append(prefix).append(line).append("\r\n");
    }
    DWORD written = 0;
    if (!::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
        logMessage(L"could not write to the standard error file %s (%d)", path, ::GetLastError());
    }
}

}  // namespace launcher
