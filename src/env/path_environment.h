// PATH and DLL search directories: reducing PATH, putting the native library directories in
// front of it, removing the Java option variables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace launcher {

class RunDirectory;

// The entries of a PATH value that begin with the Windows directory (compared without regard
// to ASCII case over the directory's length), joined with ";". Empty entries are dropped.
std::wstring pathEntriesInside(std::wstring_view path, std::wstring_view windowsDirectory);

// The variables that would hand options to every JVM started from this process, in the order
// the version probe takes them away.
inline constexpr const char* kJavaOptionVariables[] = {"_JAVA_OPTIONS", "JAVA_TOOL_OPTIONS",
                                                       "JDK_JAVA_OPTIONS"};

// Windows side.
// A variable of the process environment (its size asked first, so any length fits); nothing when
// it is unset. reportedSize receives the size the first call reported.
std::optional<std::string> environmentVariableA(const char* name, uint32_t* reportedSize = nullptr);
// Sets PATH in the process environment and in the C runtime's copy (which a JVM's runtime may
// read); 0, or the error code when the process environment refused it (the runtime's copy is set
// anyway). An absent value unsets PATH.
uint32_t setPathInBothCopies(const std::optional<std::string>& value);
// Keeps only the PATH entries inside the Windows directory.
void reducePath();
void clearJavaOptionVariables();
// Puts the configured native library directories (config 10004, not yet expanded) in front of
// PATH, registering each as a DLL directory when registerDllDirectories is set. false without
// a temp base (the expansion needs one; on the run road this is the first expansion when
// nothing was extracted): PATH stays as it is.
[[nodiscard]] bool prependNativeLibraryPath(const std::string& configuredDirectories,
                                            bool registerDllDirectories, const RunDirectory& run);
// A cookie for the added directory, or nullptr when it was not added (registration not asked
// for, or not offered by the system).
void* addDllSearchDirectory(const std::string& directory, bool registerDllDirectories);
void removeDllSearchDirectory(void* cookie);

}  // namespace launcher
