#include <windows.h>

#include "common/child_runner.h"
#include "common/log.h"

namespace launcher {

namespace {

constexpr DWORD kReadChunk = 512;
constexpr DWORD kPollMs = 5;
// How long an ended child may take to be gone.
constexpr DWORD kEndWaitMs = 5000;

STARTUPINFOW startupFor(const ChildOptions& options, HANDLE output) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (options.hideWindow) {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    if (options.outputToPipe || options.errorsToPipe) {
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = options.outputToPipe ? output : nullptr;
        startup.hStdError = options.errorsToPipe ? output : nullptr;
    }
    return startup;
}

}  // namespace

bool ChildProcess::openOutputPipe() {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!::CreatePipe(outputRead_.put(), outputWrite_.put(), &inherit, 0)) {
        logMessage(L"CreatePipe error (%d)", static_cast<int>(::GetLastError()));
        return false;
    }
    // Only the child inherits the write end; the read end stays here.
    if (!::SetHandleInformation(outputRead_.get(), HANDLE_FLAG_INHERIT, 0)) {
        logMessage(L"SetHandleInformation error (%d)", static_cast<int>(::GetLastError()));
        return false;
    }
    return true;
}

bool ChildProcess::start(std::wstring commandLine, const ChildOptions& options) {
    STARTUPINFOW startup = startupFor(options, outputWrite_.get());
    PROCESS_INFORMATION info{};
    const BOOL ok = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                     options.creationFlags, nullptr, nullptr, &startup, &info);
    startError_ = ok ? 0 : ::GetLastError();
    // The child holds its own copy: the pipe reaches its end once every writer is gone.
    outputWrite_.reset();
    if (!ok) return false;
    process_.reset(info.hProcess);
    thread_.reset(info.hThread);
    deadline_ = childDeadline(::GetTickCount64(), options.timeoutMs);
    return true;
}

// The end of the child alone does not end the reading: a child may hand its work to a process
// of its own that still writes.
std::string ChildProcess::readOutput(size_t cap) {
    std::string output;
    char chunk[kReadChunk];
    while (outputRead_ && childTimeLeft(::GetTickCount64(), deadline_) > 0) {
        DWORD available = 0;
        if (!::PeekNamedPipe(outputRead_.get(), nullptr, 0, nullptr, &available, nullptr)) break;
        if (available == 0) {
            ::Sleep(kPollMs);
            continue;
        }
        DWORD got = 0;
        const DWORD want = available < kReadChunk ? available : kReadChunk;
        if (!::ReadFile(outputRead_.get(), chunk, want, &got, nullptr) || got == 0) break;
        output.append(chunk, childOutputToKeep(output.size(), got, cap));
    }
    return output;
}

uint32_t ChildProcess::waitForExit() {
    ::WaitForSingleObject(process_.get(), childTimeLeft(::GetTickCount64(), deadline_));
    // Unknown until read: a process whose code can't be read is treated as still running.
    DWORD exitCode = STILL_ACTIVE;
    ::GetExitCodeProcess(process_.get(), &exitCode);
    return exitCode;
}

void ChildProcess::terminate() {
    // Ending is asynchronous: waited for (briefly), so the child's files are closed afterwards.
    if (::TerminateProcess(process_.get(), 1)) ::WaitForSingleObject(process_.get(), kEndWaitMs);
}

}  // namespace launcher
