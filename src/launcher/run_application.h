// Running the Java application in this process: the run commands and the service child.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/config_reader.h"
#include "env/temp_dir.h"
#include "launcher/launcher_settings.h"
#include "launcher/launcher_state.h"

namespace launcher {

// The block the entry read, still open, and where its included files begin.
struct OwnExecutable {
    OwnBlock& block;
    uint32_t blockEnd = 0;
};

// Runs the application with the argument list; serviceChild is true on the service child's
// road. Extraction makes the per-run directory run when there are included files. Returns only
// when the launch succeeded; every failure ends the process.
void runApplication(const LauncherState& state, const Settings& settings,
                    const OwnExecutable& executable, RunDirectory& run,
                    std::vector<std::wstring>& arguments, bool serviceChild);

}  // namespace launcher
