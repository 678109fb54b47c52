// The value rules of the JVM search: the configured search sequence, where a runtime's files lie
// relative to its Java executable, the registry locations it is looked up in, the ranking of
// candidates and the list of runtimes whose JVM library failed to load. No system calls here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace launcher {

// How the chosen runtime was found; picks the message shown when its library can't be loaded.
enum class JvmLocationKind {
    None = 0,
    SearchPath = 1,
    Directory = 2,
    Environment = 3,
    Registry = 4
};

// One entry of the ";"-separated search sequence: a type letter and the text after it.
struct SearchEntry {
    char type;
    std::string text;
};

// Empty entries (doubled, leading or trailing separators) are skipped.
std::vector<SearchEntry> splitSearchSequence(std::string_view sequence);

enum class SearchStep {
    Directory,
    EnvironmentVariable,
    PreviousInstallations,
    SearchPath,
    Registry,
    Unknown
};

// Exact, upper-case letters only; anything else is Unknown and tests nothing.
SearchStep searchStepOf(char type);

// At least two characters and either a drive colon second or a leading double backslash.
bool isAbsoluteLocationText(std::string_view text);

// Whether the entry is retried, unvalidated, in the pass after the installer location.
bool takesPartInFallback(const SearchEntry& entry);

// The Java executable's directory without the separating backslash. The name removed is
// "javaw.exe" when the path ends with exactly that, else as long as "java.exe". Empty when the
// path is too short to hold that name and a separator.
std::string binDirectoryOf(std::string_view javaExe);
// binDirectoryOf + "\..", not normalised; empty for a path too short as above.
std::string jvmHomeOf(std::string_view javaExe);

// The last four characters replaced by "w.exe" (java.exe -> javaw.exe); unchanged when the path
// has four characters or fewer.
std::string windowedJavaExe(std::string_view javaExe);

// Every trailing CR and LF removed (first line of a preference file).
std::string stripLineEnd(std::string line);

enum class RegistryRoot { CurrentUser, LocalMachine };
enum class VendorLayout { JavaHome, Msi, Zulu };

struct VendorKey {
    RegistryRoot root;
    std::string_view path;
    VendorLayout layout;
    // Skipped when a development kit is required.
    bool runtimeOnly;
};

// The vendor keys in search order; among equal versions the earlier row wins.
std::span<const VendorKey> vendorKeys();
// The value holding the runtime's home: "JavaHome", "Path" or "InstallationPath".
std::string_view vendorValueName(VendorLayout layout);
// The subkey holding that value: "<name>\hotspot\MSI" for MSI, else the name itself.
std::string vendorSubkeyPath(VendorLayout layout, std::string_view subkeyName);
// The name checked against the bounds: Zulu names lose a leading "zulu-".
std::string_view versionRangeName(VendorLayout layout, std::string_view subkeyName);

inline constexpr std::string_view kInstallationsKey =
    "SOFTWARE\\harbor-works\\parcelkit\\installations";
inline constexpr std::string_view kLocatedJvmsKey =
    "SOFTWARE\\harbor-works\\lumex\\locatedjvms_arm64\\";
inline constexpr std::string_view kVersionCacheKeyPrefix = "SOFTWARE\\harbor-works\\lumex\\jvms2\\";
// A located runtime whose path contains this is never used.
inline constexpr std::string_view kExcludedLocatedMarker = "pkx_jres";
inline constexpr std::string_view kPreferredLocationFile = "\\.parcelkit\\pref_jre.cfg";
inline constexpr std::string_view kInstallerLocationFile = "\\.parcelkit\\inst_jre.cfg";
// Cached as the version of a runtime whose "-version" run failed; never used as a version.
inline constexpr std::string_view kFailedVersionMarker = "1.0.0";
inline constexpr size_t kMaxNonWorkingJavas = 50;
inline constexpr std::array<std::string_view, 2> kJavaHomeVariables = {"LUMEX_JAVA_HOME",
                                                                       "PARCELKIT_JAVA_HOME"};
inline constexpr uint16_t kArm64Machine = 0xAA64;

// The per-executable cache key: the whole path becomes one key name ("\" written as "/").
std::string versionCacheKeyName(std::string_view javaExe);
// A located-runtime subkey name back to the executable path ("/" to "\").
std::string locatedKeyToPath(std::string_view name);

// The jvm.dll paths of one bin directory in the order they are tried: the configured variant
// (when set), then all standard variants, the configured one included again.
std::vector<std::string> jvmDllAttempts(std::string_view binDirectory,
                                        std::string_view configuredVariant);
// The executable of the runtime that an older development kit keeps under "jre".
std::string olderLayoutJavaExe(std::string_view javaExe);

struct JavaCandidate {
    std::string javaExe;
    std::string version;
};

// Newest first; stable, so equal versions keep their table order.
void sortNewestFirst(std::vector<JavaCandidate>& candidates);
// Registry subkey names newest first by their full names; stable.
void sortKeyNamesNewestFirst(std::vector<std::string>& names);
// first only when strictly newer; on equal versions second wins.
const JavaCandidate& preferNewer(const JavaCandidate& first, const JavaCandidate& second);

// Appends and logs; true while the list still has room for further retries.
bool addNonWorkingJava(std::vector<std::string>& list, std::string_view javaExe);
bool isNonWorkingJava(const std::vector<std::string>& list, std::string_view javaExe);

}  // namespace launcher
