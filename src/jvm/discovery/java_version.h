// Java version texts: parsing into integer lists, the bound checks, the newer-than order used
// to rank registered runtimes, and reading the version out of a runtime's "-version" output.
// Pure functions over values; the Windows side runs the executables and reads the registry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace launcher {

using VersionList = std::vector<int32_t>;

// Splits at any of "._-+" (runs of separators give no empty pieces) and converts each piece the
// way atoi does, saturating at the int32 range. "1.8.0_292" gives 1, 8, 0, 292; "21-ea" 21, 0.
VersionList parseVersion(std::string_view text);

// Compares only as many components as the bound has; both bounds are inclusive. A version
// component that is missing counts as 0, except in prefix mode, where a shorter version passes.
// An empty bound always passes.
bool checkVersionBound(const VersionList& bound, const VersionList& version, bool upper,
                       bool prefixMode);

// "beta", "-ea" or "-rc" anywhere in the text (case-sensitive).
bool hasPreReleaseMarker(std::string_view text);

// A runtime's version text against the bounds; pre-releases only when allowBeta (which already
// includes the configured global permission).
bool versionAcceptable(std::string_view text, const VersionList& minVersion,
                       const VersionList& maxVersion, bool allowBeta);

// A registry key name against the bounds, in prefix mode: a key "17" passes the minimum 17.0.2.
bool versionKeyInRange(std::string_view keyName, const VersionList& minVersion,
                       const VersionList& maxVersion);

// True when a is newer than b: the first differing component decides, and a longer version
// beats its own prefix. Equal versions are not newer than each other.
bool isNewerVersion(std::string_view a, std::string_view b);

// The version from "java -version" output: the last line holding ` version "` wins; the text
// runs to the next quote, or without a closing quote, to the line's end minus two characters.
std::optional<std::string> versionFromOutput(std::string_view output);

// A minimum below 1.8 ("1.7", "1.6.0_45"): the JVM then needs the legacy start options.
bool isLegacyMinimum(const VersionList& minVersion);

}  // namespace launcher
