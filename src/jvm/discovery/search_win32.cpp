// The JVM search: preference files, the configured search sequence, a fallback pass over the
// relative entries, and the Java home variables, in that order; the first runtime whose library
// loads ends it.
#include <windows.h>

#include <cstdio>
#include <functional>

#include "common/limits.h"
#include "common/log.h"
#include "common/unique_stdio.h"
#include "env/expand_launcher_variables.h"
#include "env/paths.h"
#include "jvm/discovery/discovery.h"
#include "log/errors.h"

namespace launcher {

namespace {

// What the search found so far; the kind and texts stay when a library then fails to load.
struct SearchState {
    std::string javaExe;
    std::string javaVersion;
    std::string locationText;
    JvmLocationKind kind = JvmLocationKind::None;
    std::optional<LoadedJvm> loaded;
    bool usedPreviousInstallationJvm = false;
};

bool loadLibrary(Discovery& discovery, SearchState& state) {
    state.loaded = loadJvmFromJavaExe(discovery, state.javaExe);
    return state.loaded.has_value();
}

// A validated candidate of a kind found at a location text: its library is loaded.
bool useCandidate(Discovery& discovery, SearchState& state, JvmLocationKind kind,
                  const std::string& locationText) {
    state.locationText = locationText;
    state.kind = kind;
    return loadLibrary(discovery, state);
}

void readVersionBounds(Discovery& discovery) {
    logMessage(L"MinVersion: %S, MaxVersion: %S", discovery.settings.minVersion,
               discovery.settings.maxVersion);
    discovery.minVersion = parseVersion(discovery.settings.minVersion);
    discovery.maxVersion = parseVersion(discovery.settings.maxVersion);
}

// The first line of a preference file in the application directory, without its line end.
std::optional<std::string> readPreferenceFile(const Discovery& discovery, std::string_view suffix) {
    const std::wstring path = discovery.applicationDirectory + widen(suffix);
    const UniqueStdioFile file(::_wfopen(path.c_str(), L"rt"));
    if (!file) return std::nullopt;
    std::string line(kBufferLength, '\0');
    if (std::fgets(line.data(), static_cast<int>(kBufferLength), file.get()) == nullptr) {
        return std::nullopt;
    }
    line.resize(std::char_traits<char>::length(line.c_str()));
    return stripLineEnd(std::move(line));
}

bool testLocation(Discovery& discovery, SearchState& state, const std::string& directoryText,
                  bool allowBeta, bool acceptUnvalidated) {
    const std::string directory = canonicalPath(directoryText, false);
    if (!unpackRuntime(directory, discovery.failure)) return false;
    if (!javaExeInDirectory(discovery, state.javaExe, directory)) return acceptUnvalidated;
    const bool valid =
        checkJavaExe(discovery, state.javaExe, state.javaVersion, allowBeta, true, true);
    return acceptUnvalidated || valid;
}

bool testJavaHomeVariable(Discovery& discovery, SearchState& state, const std::string& name) {
    std::string value(kBufferLength, '\0');
    const DWORD n =
        ::GetEnvironmentVariableA(name.c_str(), value.data(), static_cast<DWORD>(kBufferLength));
    if (n == 0 || n >= kBufferLength) return false;
    value.resize(n);
    for (char& c : value) {
        if (c == '/') c = '\\';
    }
    return javaExeInDirectory(discovery, state.javaExe, value) &&
           checkJavaExe(discovery, state.javaExe, state.javaVersion, false, true, true);
}

bool searchPathForJava(Discovery& discovery, SearchState& state) {
    std::string found(kBufferLength, '\0');
    const DWORD n = ::SearchPathA(nullptr, "java.exe", nullptr, static_cast<DWORD>(kBufferLength),
                                  found.data(), nullptr);
    if (n == 0 || n >= kBufferLength) return false;
    found.resize(n);
    state.javaExe = found;
    return checkJavaExe(discovery, state.javaExe, state.javaVersion, false, true, true);
}

using RegistryFinder = bool (*)(Discovery&, std::string&, std::string&);

// Each library that fails to load puts its runtime on the non-working list, which makes the
// finder offer the next-best one, up to the list's limit.
bool registryRetryLoop(Discovery& discovery, SearchState& state, RegistryFinder finder,
                       bool previousInstallation) {
    while (finder(discovery, state.javaExe, state.javaVersion)) {
        state.kind = JvmLocationKind::Registry;
        if (loadLibrary(discovery, state)) {
            if (previousInstallation) state.usedPreviousInstallationJvm = true;
            return true;
        }
        if (!addNonWorkingJava(discovery.nonWorkingJavas, state.javaExe)) break;
    }
    return false;
}

// One entry of the first pass; true when its library loaded.
bool testEntry(Discovery& discovery, SearchState& state, const SearchEntry& entry) {
    state.locationText.clear();
    std::string text = entry.text;
    expandLauncherVariablesNarrow(text, discovery.run);
    logMessage(L"Testing location %S (type %c)", text, entry.type);
    switch (searchStepOf(entry.type)) {
        case SearchStep::Directory:
            return testLocation(discovery, state, text, false,
                                discovery.settings.acceptUnvalidated) &&
                   useCandidate(discovery, state, JvmLocationKind::Directory, text);
        case SearchStep::EnvironmentVariable:
            return testJavaHomeVariable(discovery, state, text) &&
                   useCandidate(discovery, state, JvmLocationKind::Environment, text);
        case SearchStep::PreviousInstallations:
            return registryRetryLoop(discovery, state, findJvmFromPreviousInstallation, true);
        case SearchStep::SearchPath:
            return searchPathForJava(discovery, state) &&
                   useCandidate(discovery, state, JvmLocationKind::SearchPath, text);
        case SearchStep::Registry:
            return registryRetryLoop(discovery, state, findJvmInRegistry, false);
        case SearchStep::Unknown:
            break;
    }
    return false;
}

// A preference file names a runtime directory; true when its library loaded.
bool testPreferenceFile(Discovery& discovery, SearchState& state, std::string_view suffix,
                        const wchar_t* hasLine, const wchar_t* usingLine, bool allowBeta) {
    const std::optional<std::string> line = readPreferenceFile(discovery, suffix);
    if (!line) return false;
    logMessage(hasLine, *line);
    if (!testLocation(discovery, state, *line, allowBeta, false)) return false;
    logMessage(usingLine);
    return useCandidate(discovery, state, JvmLocationKind::Directory, *line);
}

SearchState searchForJvm(Discovery& discovery) {
    logMessage(L"Searching for a JVM");
    SearchState state;
    readVersionBounds(discovery);
    const std::vector<SearchEntry> entries = splitSearchSequence(discovery.settings.searchSequence);
    // A failure that ends the run (discovery.failure) stops the search where it happened.
    if (testPreferenceFile(discovery, state, kPreferredLocationFile, L"Has preferred location %S",
                           L"Using preferred location", true) ||
        discovery.failure) {
        return state;
    }
    for (const SearchEntry& entry : entries) {
        if (testEntry(discovery, state, entry) || discovery.failure) return state;
    }
    if (testPreferenceFile(discovery, state, kInstallerLocationFile, L"Has installer location %S",
                           L"Using installer location", false) ||
        discovery.failure) {
        return state;
    }
    // Relative directories once more, unvalidated: an executable that exists is enough.
    for (const SearchEntry& entry : entries) {
        if (!takesPartInFallback(entry)) continue;
        logMessage(L"Testing relative location %S", entry.text);
        testLocation(discovery, state, entry.text, true, true);
        if (discovery.failure) return state;
        if (!pathExists(std::string_view(state.javaExe))) continue;
        logMessage(L"%S exists", state.javaExe);
        if (useCandidate(discovery, state, JvmLocationKind::Directory, entry.text)) return state;
    }
    logMessage(L"Search sequence finished");
    for (std::string_view variable : kJavaHomeVariables) {
        const std::string name(variable);
        if (testJavaHomeVariable(discovery, state, name) &&
            useCandidate(discovery, state, JvmLocationKind::Environment, name)) {
            return state;
        }
    }
    return state;
}

void reportFailure(const SearchState& state) {
    switch (state.kind) {
        case JvmLocationKind::None:
        case JvmLocationKind::SearchPath:
            showMessage(Message::NoJvmFound, FailureDetail::NoJvmFound);
            break;
        case JvmLocationKind::Directory:
            showMessage(Message::DirectoryJvmNotLoaded, std::string_view(state.locationText));
            break;
        case JvmLocationKind::Environment:
            showMessage(Message::EnvironmentJvmNotLoaded, std::string_view(state.locationText));
            break;
        case JvmLocationKind::Registry:
            showMessage(Message::RegistryJvmNotLoaded, nullptr);
            break;
    }
}

}  // namespace

std::optional<SelectedRuntime> LoadDLL(const DiscoverySettings& settings, const RunDirectory& run,
                                       bool reportToUser, RunFailure& failure) {
    logMessage(L"LoadDLL (%d, %S, %d)", reportToUser ? 1 : 0, "", 0);
    Discovery discovery{settings, run, failure,
                        canonicalPath(settings.applicationDirectory, true, FolderForm::Wide)};
    const SearchState state = searchForJvm(discovery);
    if (failure) return std::nullopt;
    if (state.kind == JvmLocationKind::None) {
        logError(L"No JVM found");
        if (reportToUser) reportFailure(state);
        return std::nullopt;
    }
    SelectedRuntime runtime;
    runtime.jvmHome = jvmHomeOf(state.javaExe);
    runtime.jvmVersion = state.javaVersion;
    runtime.legacyMinimumVersion = isLegacyMinimum(discovery.minVersion);
    runtime.usedPreviousInstallationJvm = state.usedPreviousInstallationJvm;
    if (!state.loaded) logError(L"Could not get DLL-Handle.");
    if (state.loaded) {
        runtime.jvmBinDirectory = state.loaded->binDirectory;
        runtime.jvmLibraryPath = state.loaded->libraryPath;
        runtime.createJavaVm = reinterpret_cast<void*>(
            ::GetProcAddress(static_cast<HMODULE>(state.loaded->module), "JNI_CreateJavaVM"));
    }
    if (runtime.createJavaVm == nullptr) logError(L"Could not load functions");
    if (state.loaded && runtime.createJavaVm != nullptr) {
        logMessage(L"Loading of JVM-DLL successful");
        return runtime;
    }
    if (reportToUser) reportFailure(state);
    return std::nullopt;
}

}  // namespace launcher
