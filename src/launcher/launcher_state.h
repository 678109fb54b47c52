// What start-up decided about this invocation; made by the entry and handed to the roads that
// need it.
#pragma once

#include <string>

namespace launcher {

struct LauncherState {
    std::wstring serviceName;
    // Set for the service host and the service child, cleared by the run commands.
    bool serviceMode = false;
    // "run": the application's output is not redirected.
    bool noRedirect = false;
    // The family letter of config string 2001, which chooses the Java-side class names.
    char productMarker = 0;
    // The chosen language code split for the JVM: "de_CH" gives de and CH; either may be empty.
    std::string languageCode, countryCode;
};

// The parcelkit family's letter in config string 2001; every other value means lumex.
constexpr char kParcelkitMarker = 'p';

}  // namespace launcher
