// Finding a Java runtime on this machine and loading its JVM library: validation of candidate
// executables (version cache or a "-version" run), registry finders, library loading, unpacking
// packed runtime jars, and the search that drives them. The Windows side; the value rules are in
// java_version.h and search_rules.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/fatal.h"
#include "jvm/discovery/java_version.h"
#include "jvm/discovery/search_rules.h"

namespace launcher {

class RunDirectory;

// What the configuration says about the search; the entry reads it from the block.
struct DiscoverySettings {
    std::string minVersion;             // config 126 (2000 characters)
    std::string maxVersion;             // config 127 (2000 characters)
    std::string searchSequence;         // config 128 (6000 characters)
    bool useWindowedJava = false;       // config 107 is 1: javaw.exe must be there too
    bool allowBetaAlways = false;       // config 130
    bool requireJdk = false;            // config 131
    bool acceptUnvalidated = false;     // config 134: configured directories need no validation
    std::string jvmVariant;             // config 152 (200 characters)
    bool addDllDirectories = false;     // config 154
    std::string applicationId;          // config 160 (6000 characters)
    bool skipVendorRegistry = false;    // config 165
    std::wstring applicationDirectory;  // config 10003 as written
};

// Buffer lengths of the version bounds and the JVM variant.
constexpr size_t kVersionBoundLength = 2000;
constexpr size_t kJvmVariantLength = 200;

// The state of one search, shared by validation, the finders and the loader.
struct Discovery {
    const DiscoverySettings& settings;
    const RunDirectory& run;  // the per-run directory the search entries may name
    // Why the run cannot go on (unpack200 not started); once it is filled in the search stops at
    // once.
    RunFailure& failure;
    std::wstring applicationDirectory;  // the setting made absolute against the launcher folder
    VersionList minVersion;
    VersionList maxVersion;
    // Java executables whose JVM library failed to load in this run; never offered again.
    std::vector<std::string> nonWorkingJavas;
};

// ---- validation ----

// Accepts or rejects a candidate executable: it must exist, be built for Arm64 (or of unknown
// type), have a version inside the bounds and not be a pre-release unless allowed. javaExe
// becomes its canonical form (and the windowed executable when the launcher needs that).
bool checkJavaExe(Discovery& discovery, std::string& javaExe, std::string& javaVersion,
                  bool allowBeta, bool useVersionCache, bool storeInVersionCache);
// The executable a runtime directory offers: "\jre\bin\java.exe" when present (or, when a
// development kit is required, when "\lib\tools.jar" is present), else "\bin\java.exe".
bool javaExeInDirectory(const Discovery& discovery, std::string& javaExe,
                        std::string_view directory);

// ---- registry finders (each returns one validated candidate) ----

// Runtimes in the "jre" folder of earlier installations of this application.
bool findJvmFromPreviousInstallation(Discovery& discovery, std::string& javaExe,
                                     std::string& javaVersion);
// The Java vendors' keys and the located-runtime list; the newer of the two, located on a tie.
bool findJvmInRegistry(Discovery& discovery, std::string& javaExe, std::string& javaVersion);

// ---- loading and unpacking ----

struct LoadedJvm {
    void* module = nullptr;  // the loaded jvm.dll; never freed
    std::string binDirectory;
    std::string libraryPath;  // the jvm.dll that loaded
};

// Loads jvm.dll of the runtime of a validated executable, trying its variant folders first
// under its own bin directory, then under "..\jre\bin"; PATH leads with the bin directory tried.
std::optional<LoadedJvm> loadJvmFromJavaExe(const Discovery& discovery, const std::string& javaExe);
// Turns the packed jars of a runtime home's "lib" and "lib\ext" folders into jars with the
// runtime's own unpack200. Stops at once, false with the failure filled in (message 1021), when
// unpack200 cannot be started.
[[nodiscard]] bool unpackRuntime(const std::string& home, RunFailure& failure);

// ---- the search ----

// The runtime the search chose.
struct SelectedRuntime {
    void* createJavaVm = nullptr;  // JNI_CreateJavaVM of the loaded library
    std::string jvmHome;           // "<bin directory>\.."
    std::string jvmVersion;
    std::string jvmBinDirectory;
    std::string jvmLibraryPath;  // the loaded jvm.dll
    bool legacyMinimumVersion = false;
    bool usedPreviousInstallationJvm = false;
};

// Walks the preference files, the configured search sequence, the Java home variables and the
// registry, and loads the first suitable runtime. run is the per-run directory the search
// entries may name. Nothing when none loaded: with reportToUser the user was then shown why,
// unless failure was filled in (the run cannot go on; nothing was shown).
std::optional<SelectedRuntime> LoadDLL(const DiscoverySettings& settings, const RunDirectory& run,
                                       bool reportToUser, RunFailure& failure);

}  // namespace launcher
