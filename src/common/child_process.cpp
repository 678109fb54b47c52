#include "common/child_process.h"

namespace launcher {

size_t childOutputToKeep(size_t kept, size_t got, size_t cap) {
    if (kept >= cap) return 0;
    return got < cap - kept ? got : cap - kept;
}

uint64_t childDeadline(uint64_t now, uint64_t timeoutMs) {
    if (timeoutMs == kChildNoDeadline || timeoutMs > kChildNoDeadline - now) {
        return kChildNoDeadline;
    }
    return now + timeoutMs;
}

uint32_t childTimeLeft(uint64_t now, uint64_t deadline) {
    if (deadline == kChildNoDeadline) return UINT32_MAX;
    if (now >= deadline) return 0;
    const uint64_t left = deadline - now;
    // UINT32_MAX would mean no deadline at all.
    return left < UINT32_MAX ? static_cast<uint32_t>(left) : UINT32_MAX - 1;
}

}  // namespace launcher
