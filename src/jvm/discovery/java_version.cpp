#include "jvm/discovery/java_version.h"

#include <algorithm>
#include <array>
#include <limits>

#include "common/log.h"

namespace launcher {

namespace {

constexpr std::string_view kVersionSeparators = "._-+";
constexpr std::array<std::string_view, 3> kPreReleaseMarkers = {"beta", "-ea", "-rc"};
constexpr std::string_view kVersionMarker = " version \"";

bool isCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// atoi's reading of a piece, but clamped: version texts come from other programs.
int32_t toInt32(std::string_view piece) {
    size_t i = 0;
    while (i < piece.size() && isCSpace(piece[i])) ++i;
    bool negative = false;
    if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) negative = piece[i++] == '-';
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t value = 0;
    for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) {
        value = std::min(value * 10 + (piece[i] - '0'), kLimit);
    }
    if (negative) return static_cast<int32_t>(-value);
    return static_cast<int32_t>(std::min<int64_t>(value, std::numeric_limits<int32_t>::max()));
}

}  // namespace

VersionList parseVersion(std::string_view text) {
    VersionList out;
    size_t start = 0;
    while (true) {
        start = text.find_first_not_of(kVersionSeparators, start);
        if (start == std::string_view::npos) break;
        size_t end = text.find_first_of(kVersionSeparators, start);
        if (end == std::string_view::npos) end = text.size();
        out.push_back(toInt32(text.substr(start, end - start)));
        start = end;
    }
    return out;
}

bool checkVersionBound(const VersionList& bound, const VersionList& version, bool upper,
                       bool prefixMode) {
    bool result = true;
    for (size_t i = 0; i < bound.size() && result; ++i) {
        int32_t component = 0;
        if (i < version.size()) {
            component = version[i];
        } else if (prefixMode) {
            break;
        }
        if (component == bound[i]) continue;
        // Strictly inside the bound at this position: later components no longer matter.
        if ((upper && component < bound[i]) || (!upper && component > bound[i])) break;
        result = false;
    }
    return result;
}

bool hasPreReleaseMarker(std::string_view text) {
    return std::any_of(kPreReleaseMarkers.begin(), kPreReleaseMarkers.end(),
                       [text](std::string_view m) { return text.find(m) != text.npos; });
}

bool versionAcceptable(std::string_view text, const VersionList& minVersion,
                       const VersionList& maxVersion, bool allowBeta) {
    if (!allowBeta && hasPreReleaseMarker(text)) {
        logMessage(L"beta vm not allowed");
        return false;
    }
    const VersionList version = parseVersion(text);
    return checkVersionBound(minVersion, version, false, false) &&
           checkVersionBound(maxVersion, version, true, false);
}

bool versionKeyInRange(std::string_view keyName, const VersionList& minVersion,
                       const VersionList& maxVersion) {
    const VersionList version = parseVersion(keyName);
    return checkVersionBound(minVersion, version, false, true) &&
           checkVersionBound(maxVersion, version, true, true);
}

bool isNewerVersion(std::string_view a, std::string_view b) {
    const VersionList left = parseVersion(a);
    const VersionList right = parseVersion(b);
    for (size_t i = 0; i < left.size(); ++i) {
        if (i >= right.size()) return true;
        if (left[i] != right[i]) return left[i] > right[i];
    }
    return false;
}

std::optional<std::string> versionFromOutput(std::string_view output) {
    std::optional<std::string> version;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string_view::npos) end = output.size();
        const std::string_view line = output.substr(start, end - start);
        start = end + 1;
        const size_t marker = line.find(kVersionMarker);
        if (marker == std::string_view::npos) continue;
        std::string_view rest = line.substr(marker + kVersionMarker.size());
        const size_t quote = rest.find('"');
        if (quote != std::string_view::npos) {
            rest = rest.substr(0, quote);
        } else {
            // No closing quote: the two characters where quote and CR would stand are dropped.
            rest = rest.substr(0, rest.size() >= 2 ? rest.size() - 2 : 0);
        }
        version = std::string(rest);
        logMessage(L"Java version2: %S", *version);
    }
    return version;
}

bool isLegacyMinimum(const VersionList& minVersion) {
    return minVersion.size() >= 2 && minVersion[0] == 1 && minVersion[1] < 8;
}

}  // namespace launcher
