// The portable decisions of running a child process (common/child_runner.h): how much of its
// output is kept and how long is left to read and wait.
#pragma once

#include <cstddef>
#include <cstdint>

namespace launcher {

// ---- portable decisions ----

// The exit code a process reports while it is still running (STILL_ACTIVE).
constexpr uint32_t kChildStillActive = 259;
// No deadline: the wait ends only when the child does.
constexpr uint64_t kChildNoDeadline = UINT64_MAX;

// Of got bytes just read, how many are kept when kept bytes already are and at most cap may be:
// the rest is read and dropped, so that a chatty child never blocks on a full pipe.
size_t childOutputToKeep(size_t kept, size_t got, size_t cap);
// The deadline timeoutMs after now; kChildNoDeadline stays without one.
uint64_t childDeadline(uint64_t now, uint64_t timeoutMs);
// Milliseconds left at now until the deadline: 0 once it has passed, UINT32_MAX (INFINITE) for
// no deadline, and never a value that would read as INFINITE for a finite one.
uint32_t childTimeLeft(uint64_t now, uint64_t deadline);

}  // namespace launcher
