// Everything the configuration block's narrow strings say, read once by the entry into one
// value and handed to each floor as the part it takes. Below the entry nobody reads the
// configuration table; only the message texts stay process-wide (the fatal path needs them).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/config.h"
#include "env/temp_dir.h"
#include "instance/instance_guard.h"
#include "jvm/discovery/discovery.h"
#include "jvm/launch/jvm_calls.h"
#include "jvm/launch/launch_arguments.h"
#include "jvm/options/vm_options.h"
#include "service/service_control.h"
#include "service/service_host.h"

namespace launcher {

// Start-up: what the entry itself does before it dispatches.
struct StartSettings {
    int32_t launcherKind = 0;                // config 107: error presentation
    char productMarker = 0;                  // config 2001 (first byte), the class-name family
    bool reducePath = false;                 // config 10010
    bool ignoreJavaOptionVariables = false;  // config 10012
    std::wstring workingDirectory;           // config 146, not yet expanded
    std::wstring serviceName;                // config 101
};

// The included files behind the block.
struct ExtractionSettings {
    int32_t fileCount = 0;               // config 2002
    std::vector<std::string> fileNames;  // config 2003, split
};

// The native library directories put in front of PATH.
struct NativePathSettings {
    std::string directories;         // config 10004
    bool addDllDirectories = false;  // config 154
};

// The option list's configured parts (the run road adds the runtime and the arguments).
struct OptionSettings {
    ConfiguredVmOptions configured;         // config 123, 10200 and the per-version lines
    bool readDefaultVmOptionsFile = false;  // config 166
    bool javaOptionArguments = false;       // config 125
    bool moduleMode = false;                // config 133
    std::string mainClass;                  // config 122 (6000 bytes)
    std::string classPathEntries;           // config 121
    std::string modulePathEntries;          // config 132
    std::string applicationDirectory;       // config 10003
    bool classDataSharing = false;          // config 3021
};

// The JVM thread's configured parts.
struct LaunchSettings {
    LauncherArgumentSettings arguments;
    bool passSplash = false;  // config 108: the splash settings go to the class
    SplashSettings splash;
    int32_t outputRotateSize = 0;  // config 3011
    int32_t outputKeep = 0;        // config 3012
};

// The service host's and the service commands' parts.
struct ServiceSettings {
    ServiceHostOptions host;
    ServiceInstallOptions install;
};

struct Settings {
    StartSettings start;
    TempBaseOptions temp;
    ExtractionSettings extraction;
    NativePathSettings nativePath;
    InstanceGuardSettings instance;
    DiscoverySettings discovery;
    OptionSettings options;
    LaunchSettings launch;
    ServiceSettings service;
};

// Reads every setting from the table by the block's rules: numbers as C atoi does, texts cut to
// their buffer length with the cut logged (each once).
Settings buildSettings(const ConfigView& config);

}  // namespace launcher
