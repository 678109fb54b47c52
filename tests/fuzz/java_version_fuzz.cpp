// Fuzzes the version texts that other programs hand the launcher: "-version" output, registry
// key names and cached values. Parsing must stay in bounds and free of overflow, and the
// newer-than order must stay a strict order, since the registry candidates are sorted by it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/log_host.h"
#include "jvm/discovery/java_version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const launcher::VersionList whole = launcher::parseVersion(text);
    if (whole.size() > size / 2 + 1) __builtin_trap();

    const auto version = launcher::versionFromOutput(text);
    if (version && version->size() > size) __builtin_trap();

    const std::string_view a = text.substr(0, size / 2);
    const std::string_view b = text.substr(size / 2);
    const bool aNewer = launcher::isNewerVersion(a, b);
    if (aNewer && launcher::isNewerVersion(b, a)) __builtin_trap();
    if (launcher::isNewerVersion(a, a)) __builtin_trap();

    const launcher::VersionList lower = launcher::parseVersion(a);
    const launcher::VersionList upper = launcher::parseVersion(b);
    (void)launcher::versionKeyInRange(text, lower, upper);
    (void)launcher::versionAcceptable(text, lower, upper, size % 2 == 0);
    // A version always lies within bounds equal to itself.
    if (!launcher::checkVersionBound(whole, whole, false, false) ||
        !launcher::checkVersionBound(whole, whole, true, true)) {
        __builtin_trap();
    }
    (void)launcher::takeLogLines();  // the host log keeps lines until they are taken
    return 0;
}
