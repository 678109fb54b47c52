// The service child as a process: its pipes, its job object, the thread that drains its output,
// and ending it with every process it started.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/unique_handle.h"
#include "service/service_host.h"

namespace launcher {

// One service child: its process and first thread, its job, the write end of its standard
// input and when it started.
struct ChildRun {
    UniqueHandle process;
    UniqueHandle thread;
    UniqueHandle job;
    UniqueHandle input;
    uint64_t startTick = 0;
};

// Starts the child with fresh pipes, in a job when the options ask for one, at the priority the
// registry names for the service, with a thread that drains its output. False when it could not
// be started.
bool startChild(const std::wstring& commandLine, const std::wstring& serviceName,
                const ServiceHostOptions& options, ChildRun& run);

// Ends the child and the processes it started (all of the job, or the child alone without one)
// and waits up to kEndChildAllowance for them to go. False when something still runs then.
bool endJob(HANDLE child, HANDLE job);

// Appends each line, behind the prefix and ended by CR LF, to the existing file named in UTF-8
// (the application's standard error file, once its child has ended). Nothing when the name is
// empty; a file that cannot be opened or written is logged.
void appendHostLines(const std::string& utf8Path, std::string_view prefix,
                     const std::vector<std::string>& lines);

}  // namespace launcher
