// What the launcher hands the JVM thread besides the options: the String array for the launcher
// class's main (five values that tell it what to start, then the program's arguments) and the
// thread's stack size from the "-Xss" options.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace launcher {

class RunDirectory;

// The configuration behind the first five elements, already read, expanded and resolved.
struct LauncherArgumentInputs {
    bool windowedLauncher = false;  // config 107 is 1
    bool moduleMode = false;        // config 133: the main class is "module/class"
    std::wstring mainClass;         // config 122
    std::wstring firstPath;         // config 103 as resolved when flag 102 is set, else empty
    std::wstring secondPath;        // config 105 likewise with flag 104
    bool launcherFlag = false;      // config 106
    std::vector<std::wstring> configuredArguments;  // config 124, expanded and split
    bool javaOptionArguments = false;  // config 125: "-J" arguments went to the JVM instead
};

// The elements in order: the five values, program argument 0, the configured arguments, then
// program arguments 1 onward without those that became JVM options ("-J..." when flag 125 is
// set, "-Dsun.locale.formatasdefault=...").
std::vector<std::wstring> launcherArguments(const LauncherArgumentInputs& inputs,
                                            const std::vector<std::wstring>& programArguments);

// The configured texts behind the five values and the configured arguments, as written.
struct LauncherArgumentSettings {
    bool windowedLauncher = false;     // config 107 is 1
    bool moduleMode = false;           // config 133
    std::wstring mainClass;            // config 122
    bool passFirstPath = false;        // config 102
    std::wstring firstPath;            // config 103
    bool passSecondPath = false;       // config 104
    std::wstring secondPath;           // config 105
    bool launcherFlag = false;         // config 106
    std::wstring programArguments;     // config 124
    bool javaOptionArguments = false;  // config 125
};

// The five values' inputs (Windows): the configured texts expanded with the selected runtime's
// home and the per-run directory, and resolved against the launcher's folder.
LauncherArgumentInputs launcherArgumentInputs(const LauncherArgumentSettings& settings,
                                              const RunDirectory& run, std::string_view jvmHome);

// The byte count of an "-Xss" value: digits and at most one unit (k, m, g, t in either case);
// -1 for anything else.
int64_t parseStackSize(std::string_view text);
// The JVM thread's stack reservation: the last valid "-Xss" option greater than 0, kept as a
// 32-bit number, raised to 65536 when smaller; 0 (the executable's default) without one.
uint32_t jvmThreadStackSize(const std::vector<std::string>& options);

}  // namespace launcher
