// The system properties the launcher hands the JVM ahead of every other option: where it runs
// from, its per-run directory, how it was started and what the application runtime needs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace launcher {

// The environment variable in which the service host hands its child the watchdog pipe's name.
inline constexpr char kWatchdogPipeVariable[] = "LUMEX_WATCHDOG_PIPE";
// The environment variable that tells a restarted service child its restart number, so that it
// appends to its output files and keeps what the runs before it wrote there.
inline constexpr char kRestartVariable[] = "LUMEX_RESTART";

struct SystemPropertyInputs {
    std::string semaphoreName;                 // of the single-instance guard; empty: none
    bool usedPreviousInstallationJvm = false;  // the runtime came from an earlier installation
    bool parcelkitFamily = false;
    bool serviceMode = false;
    std::string executablePath;        // narrow
    std::string tempDirectory;         // the per-run directory; empty: none
    uint32_t unextractedPosition = 0;  // behind the included files
    std::optional<std::string> path;   // PATH as it stands, when set
    bool manpathSet = false;           // the C runtime's environment holds MANPATH
    uint32_t consoleCodePage = 0;
    // The Java side's bound on a service stop, in seconds; 0: none (the property is left out).
    uint32_t stopTimeoutSeconds = 0;
    // Size at which the redirected output files rotate, in bytes, and how many earlier files
    // are kept; a size of 0: no rotation (both properties are left out); a count of 0: not
    // configured (its property is left out, so the Java side keeps its default).
    uint32_t outputRotateSize = 0;
    uint32_t outputKeep = 0;
    // The watchdog pipe the service host made for this child (kWatchdogPipeVariable); empty:
    // none. Passed on, with the watchdog's timeout in seconds, only in a service child.
    std::string watchdogPipe;
    uint32_t watchdogTimeoutSeconds = 0;
};

// "-Dname=value" options in their fixed order, each only under its condition; the service
// stop bound and the output rotation follow the others, when set.
std::vector<std::string> launcherSystemProperties(const SystemPropertyInputs& inputs);

// The inputs as this process has them (Windows); the per-run values come from the caller.
SystemPropertyInputs currentSystemPropertyInputs();

}  // namespace launcher
