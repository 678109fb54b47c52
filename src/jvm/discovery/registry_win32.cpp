#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/limits.h"
#include "common/log.h"
#include "common/text_list.h"
#include "common/unique_handle.h"
#include "jvm/discovery/discovery.h"

namespace launcher {

namespace {

// The second view of the installations key: a 32-bit installer may have written to either.
constexpr DWORD kWow64View = KEY_WOW64_64KEY;

HKEY rootKey(RegistryRoot root) {
    return root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

UniqueKey openKey(HKEY parent, const std::string& path, REGSAM access, LSTATUS* status = nullptr) {
    UniqueKey key;
    const LSTATUS result = ::RegOpenKeyExA(parent, path.c_str(), 0, access, key.put());
    if (status) *status = result;
    // Whatever a failed call left in the out-parameter is not ours to close.
    if (result != ERROR_SUCCESS) key.release();
    return key;
}

// A value read into a buffer of the standard length, as text: it ends at its first NUL, or
// after its last byte when it has none. Nothing when the value is missing or doesn't fit.
std::optional<std::string> readStringValue(HKEY key, const std::string& name) {
    std::string value(kBufferLength, '\0');
    DWORD size = static_cast<DWORD>(value.size());
    if (::RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                           reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.resize(std::min<size_t>(size, value.size()));
    value.resize(std::min(value.find('\0'), value.size()));
    return value;
}

// Every subkey name, in enumeration order. Enumeration ends at the first error, not only at
// ERROR_NO_MORE_ITEMS, so a key that keeps failing can't hold the search.
std::vector<std::string> subkeyNames(HKEY key) {
    std::vector<std::string> names;
    std::string buffer(kBufferLength, '\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (::RegEnumKeyExA(key, index, buffer.data(), &length, nullptr, nullptr, nullptr,
                            nullptr) != ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(buffer.data(), std::min<size_t>(length, buffer.size()));
    }
    return names;
}

bool findInInstallationsKey(Discovery& discovery, HKEY root, DWORD view, JavaCandidate& found) {
    const std::string& applicationId = discovery.settings.applicationId;
    logMessage(L"checking app id %S (%d, %p)", applicationId, static_cast<int>(view),
               static_cast<const void*>(root));
    if (applicationId.empty()) return false;

    LSTATUS status = ERROR_SUCCESS;
    const UniqueKey key = openKey(root, std::string(kInstallationsKey), KEY_READ | view, &status);
    if (!key) {
        logMessage(L"could not open installation node %d", static_cast<int>(status));
        return false;
    }
    const std::optional<std::string> installations = readStringValue(key.get(), applicationId);
    if (!installations || installations->empty()) {
        logMessage(L"could not query value node %d", 0);
        return false;
    }

    logMessage(L"found installations: %S", *installations);
    for (const std::string& directory : splitList(*installations)) {
        const std::string jreDirectory = directory + "\\jre";
        std::string javaExe;
        if (!javaExeInDirectory(discovery, javaExe, jreDirectory)) {
            logMessage(L"did not find java in %S", jreDirectory);
            continue;
        }
        std::string javaVersion;
        if (checkJavaExe(discovery, javaExe, javaVersion, false, true, true)) {
            found = {std::move(javaExe), std::move(javaVersion)};
            return true;
        }
        logMessage(L"java version did not match in %S", jreDirectory);
    }
    return false;
}

bool findInVendorKey(Discovery& discovery, HKEY root, std::string_view keyPath, VendorLayout layout,
                     JavaCandidate& found) {
    const UniqueKey key = openKey(root, std::string(keyPath), KEY_READ);
    if (!key) return false;

    std::vector<std::string> kept;
    for (std::string& name : subkeyNames(key.get())) {
        const std::string_view rangeName = versionRangeName(layout, name);
        logMessage(L"test key name %S %S", rangeName, name);
        if (versionKeyInRange(rangeName, discovery.minVersion, discovery.maxVersion)) {
            kept.push_back(std::move(name));
        }
    }
    sortKeyNamesNewestFirst(kept);
    for (const std::string& name : kept) logMessage(L"found in %S: %S", keyPath, name);

    const std::string valueName(vendorValueName(layout));
    for (const std::string& name : kept) {
        const UniqueKey subkey = openKey(key.get(), vendorSubkeyPath(layout, name), KEY_READ);
        if (!subkey) continue;
        const std::optional<std::string> home = readStringValue(subkey.get(), valueName);
        if (!home) continue;
        std::string javaExe;
        std::string javaVersion;
        if (javaExeInDirectory(discovery, javaExe, *home) &&
            checkJavaExe(discovery, javaExe, javaVersion, false, true, true)) {
            found = {std::move(javaExe), std::move(javaVersion)};
            return true;
        }
    }
    return false;
}

bool findJvmInVendorRegistry(Discovery& discovery, JavaCandidate& found) {
    std::vector<JavaCandidate> candidates;
    for (const VendorKey& row : vendorKeys()) {
        if (row.runtimeOnly && discovery.settings.requireJdk) continue;
        JavaCandidate candidate;
        if (findInVendorKey(discovery, rootKey(row.root), row.path, row.layout, candidate)) {
            candidates.push_back(std::move(candidate));
        }
    }
    if (candidates.empty()) return false;
    sortNewestFirst(candidates);
    for (const JavaCandidate& candidate : candidates) {
        logMessage(L"found registry jre %S %S", candidate.javaExe, candidate.version);
    }
    found = std::move(candidates.front());
    return true;
}

bool findLocatedJvmUnder(Discovery& discovery, HKEY root, std::string_view keyPath,
                         JavaCandidate& found) {
    JavaCandidate best;
    bool haveBest = false;
    const UniqueKey key = openKey(root, std::string(keyPath), KEY_READ);
    if (!key) return false;

    for (const std::string& name : subkeyNames(key.get())) {
        std::string javaExe = locatedKeyToPath(name);
        // Runtimes inside a "pkx_jres" folder are never taken from this list.
        if (javaExe.find(kExcludedLocatedMarker) != std::string::npos) continue;
        std::string javaVersion;
        if (checkJavaExe(discovery, javaExe, javaVersion, true, true, true) &&
            isNewerVersion(javaVersion, best.version)) {
            best = {std::move(javaExe), std::move(javaVersion)};
            haveBest = true;
        }
    }
    if (haveBest) found = std::move(best);
    return haveBest;
}

// The newer of the current user's and the machine's located runtimes; the machine's on a tie.
bool findLocatedJvm(Discovery& discovery, std::string_view keyPath, JavaCandidate& found) {
    JavaCandidate user;
    JavaCandidate machine;
    const bool haveUser = findLocatedJvmUnder(discovery, HKEY_CURRENT_USER, keyPath, user);
    const bool haveMachine = findLocatedJvmUnder(discovery, HKEY_LOCAL_MACHINE, keyPath, machine);
    if (haveUser && haveMachine) {
        found = preferNewer(user, machine);
    } else if (haveUser) {
        found = std::move(user);
    } else if (haveMachine) {
        found = std::move(machine);
    }
    return haveUser || haveMachine;
}

}  // namespace

bool findJvmFromPreviousInstallation(Discovery& discovery, std::string& javaExe,
                                     std::string& javaVersion) {
    JavaCandidate found;
    if (findInInstallationsKey(discovery, HKEY_CURRENT_USER, 0, found) ||
        findInInstallationsKey(discovery, HKEY_CURRENT_USER, kWow64View, found)) {
        logMessage(L"found JRE from previous installation (user) %S", found.javaExe);
    } else if (findInInstallationsKey(discovery, HKEY_LOCAL_MACHINE, 0, found) ||
               findInInstallationsKey(discovery, HKEY_LOCAL_MACHINE, kWow64View, found)) {
        logMessage(L"found JRE from previous installation (machine) %S", found.javaExe);
    } else {
        return false;
    }
    javaExe = std::move(found.javaExe);
    javaVersion = std::move(found.version);
    return true;
}

bool findJvmInRegistry(Discovery& discovery, std::string& javaExe, std::string& javaVersion) {
    if (discovery.settings.skipVendorRegistry) return false;

    JavaCandidate vendor;
    const bool haveVendor = findJvmInVendorRegistry(discovery, vendor);
    if (haveVendor) logMessage(L"found sun %S %S", vendor.javaExe, vendor.version);
    JavaCandidate located;
    const bool haveLocated = findLocatedJvm(discovery, kLocatedJvmsKey, located);
    if (haveLocated) logMessage(L"found located %S %S", located.javaExe, located.version);

    if (!haveVendor && !haveLocated) return false;
    // The located runtime wins a tie.
    const JavaCandidate& chosen =
        haveVendor && haveLocated ? preferNewer(vendor, located) : (haveVendor ? vendor : located);
    javaExe = chosen.javaExe;
    javaVersion = chosen.version;
    return true;
}

}  // namespace launcher
