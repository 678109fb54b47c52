// One way to run a child process (Windows): start it with its output in a pipe, read what it
// writes up to a cap until it ends or a deadline passes, wait for it within the same deadline,
// and end it when it is still running then. The version probe, unpack200 and the short-path
// call of the command interpreter run through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/child_process.h"
#include "common/unique_handle.h"

namespace launcher {

// How the child starts.
struct ChildOptions {
    bool hideWindow = false;                // STARTF_USESHOWWINDOW with SW_HIDE
    uint32_t creationFlags = 0;             // NORMAL_PRIORITY_CLASS, CREATE_NO_WINDOW, ...
    bool outputToPipe = false;              // standard output into the pipe
    bool errorsToPipe = false;              // standard error into the pipe
    uint64_t timeoutMs = kChildNoDeadline;  // from the start, for reading and waiting together
};

class ChildProcess {
public:
    // The pipe the child's output goes to; false on failure (the failing step is logged).
    bool openOutputPipe();
    // Starts the command line with inheritable handles and no standard input; false with
    // startError() on failure. A narrow command line is widened first as CreateProcessA would,
    // in the code page of the file functions (fromNarrowPath).
    bool start(std::wstring commandLine, const ChildOptions& options);
    uint32_t startError() const { return startError_; }
    // What the child writes, at most cap bytes, until every writer has closed the pipe or the
    // deadline has passed.
    std::string readOutput(size_t cap);
    // Waits for the child until the deadline; its exit code, kChildStillActive when it still
    // runs (or its code can't be read).
    uint32_t waitForExit();
    // Ends a child that is still running with exit code 1 and waits up to five seconds until
    // it has ended.
    void terminate();

private:
    UniqueHandle outputRead_, outputWrite_;
    UniqueHandle process_, thread_;
    uint64_t deadline_ = kChildNoDeadline;
    uint32_t startError_ = 0;
};

}  // namespace launcher
