// The single-instance guard: a named semaphore per executable and scope. In single-instance mode
// a second start in the same scope raises the first one's windows (when asked) and ends with
// exit code 0; in marker mode every running instance claims a numbered name of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace launcher {

struct InstanceGuardSettings {
    bool machineWide = false;         // "Global\" for every account
    bool session = false;             // "Local\" (when not machine-wide); neither: per user
    bool singleInstance = false;      // else marker mode
    bool raiseOtherInstance = false;  // bring the running instance's windows to the front
};

// Creates the semaphore and returns its name (the "lumex.semaphoreName" property), or nothing
// when another instance holds it in single-instance mode (its windows were raised when asked):
// this instance then ends with exit code 0. The handle stays open until the process ends.
std::optional<std::string> acquireInstanceGuard(const InstanceGuardSettings& settings);

// The process id the last claiming instance of this executable (its canonical path) recorded,
// or 0.
uint32_t readOtherInstancePid(const std::string& canonicalExecutable);
// Records this process's id for this executable.
void registerInstancePid(const std::string& canonicalExecutable);
// Brings every visible top-level window of the process to the front, restoring minimised ones
// when asked.
void raiseOtherInstanceWindows(uint32_t processId, bool restore);

// Where the instance records live, under HKEY_CURRENT_USER: one value per executable, named by
// its canonical path.
inline constexpr std::string_view kInstancePidsKey = "SOFTWARE\\harbor-works\\lumex\\pids\\";

}  // namespace launcher
