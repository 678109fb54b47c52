// Launcher state set during start-up and read afterwards.
#pragma once

#include <string>

namespace launcher {

struct LauncherState {
    std::wstring serviceName;
    bool serviceMode = false;
    bool noRedirect = false;
    char productMarker = 0;
};

LauncherState& launcherState();

// The parcelkit family's letter in config string 2001; every other value means lumex.
constexpr char kParcelkitMarker = 'p';

}  // namespace launcher
