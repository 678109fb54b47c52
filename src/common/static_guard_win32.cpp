// Guards for function-local statics, for the stub. The C++ library's versions bring its
// abort-message and demangling machinery along (over 100 KB); these use one slim lock and a
// condition variable. Layout as the compiler expects it: the first byte of the 64-bit guard says
// "initialised" (the compiler tests it inline), the second byte "being initialised".
#include <windows.h>

#include <cstdint>

namespace {

SRWLOCK guardLock = SRWLOCK_INIT;
CONDITION_VARIABLE guardDone = CONDITION_VARIABLE_INIT;

volatile uint8_t* bytes(uint64_t* guard) {
    return reinterpret_cast<volatile uint8_t*>(guard);
}

}  // namespace

extern "C" int __cxa_guard_acquire(uint64_t* guard) {
    AcquireSRWLockExclusive(&guardLock);
    // Another thread is constructing this static: wait for it. The lock is not held during
    // construction, so a static whose constructor uses another static does not deadlock.
    while (bytes(guard)[1] != 0) SleepConditionVariableSRW(&guardDone, &guardLock, INFINITE, 0);
    const bool done = bytes(guard)[0] != 0;
    if (!done) bytes(guard)[1] = 1;
    ReleaseSRWLockExclusive(&guardLock);
    return done ? 0 : 1;
}

extern "C" void __cxa_guard_release(uint64_t* guard) {
    AcquireSRWLockExclusive(&guardLock);
    __atomic_store_n(&bytes(guard)[0], uint8_t(1), __ATOMIC_RELEASE);
    bytes(guard)[1] = 0;
    ReleaseSRWLockExclusive(&guardLock);
    WakeAllConditionVariable(&guardDone);
}

extern "C" void __cxa_guard_abort(uint64_t* guard) {
    AcquireSRWLockExclusive(&guardLock);
    bytes(guard)[1] = 0;
    ReleaseSRWLockExclusive(&guardLock);
    WakeAllConditionVariable(&guardDone);
}
