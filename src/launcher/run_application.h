// Running the Java application in this process: the run commands and the service child.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "launcher/launcher_state.h"

namespace launcher {

// Where the configuration block's included files begin in the executable.
struct OwnExecutable {
    std::wstring path;
    uint32_t blockEnd = 0;
};

// Runs the application with the argument list; serviceChild is true on the service child's
// road. Returns only when the launch succeeded; every failure ends the process.
void runApplication(const LauncherState& state, const OwnExecutable& executable,
                    std::vector<std::wstring>& arguments, bool serviceChild);

}  // namespace launcher
