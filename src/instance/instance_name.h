// How the single-instance guard names its semaphore: a scope prefix, the executable's canonical
// path made a valid object name, and in marker mode the first free counter. No Windows header:
// the naming rules are tested on the host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace launcher {

enum class InstanceScope { Machine, User, Session };

// Machine-wide wins over the session scope; with neither the guard is per user.
constexpr InstanceScope instanceScope(bool machineWide, bool session) {
    if (machineWide) return InstanceScope::Machine;
    return session ? InstanceScope::Session : InstanceScope::User;
}

inline constexpr std::string_view kMachinePrefix = "Global\\";
inline constexpr std::string_view kSessionPrefix = "Local\\";

// The canonical executable path with every backslash and space made "_"; all else stays.
std::string mangleExecutablePath(std::string_view canonicalPath);

// base followed by the counter in decimal.
std::string markerName(std::string_view base, uint32_t counter);

// Marker mode claims base + "0", then base + "1", ... while the name is taken, up to this counter.
inline constexpr uint32_t kMarkerCounterLimit = 100000;

// The marker name: createTaken(name) creates the semaphore under name (keeping only the newest
// handle) and says whether it already existed. Returns the last name tried.
template <typename CreateTaken>
std::string claimMarkerName(std::string_view base, CreateTaken&& createTaken) {
    uint32_t counter = 0;
    std::string name = markerName(base, counter);
    while (createTaken(name) && counter < kMarkerCounterLimit) {
        name = markerName(base, ++counter);
    }
    return name;
}

}  // namespace launcher
