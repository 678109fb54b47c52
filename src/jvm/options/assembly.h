// The one ordered list of JVM options, from every source: the launcher's system properties,
// configured, per-version and locale options, the default .vmoptions file, "-J" arguments,
// the class path and module path with the launcher's own archives, the service options, merged
// module option pairs and expanded '@' argument files. The order is what the JVM sees.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/fatal.h"
#include "config/settings.h"
#include "jvm/options/class_data.h"
#include "jvm/options/vm_options.h"

namespace launcher {

class RunDirectory;

// The plain values the assembly depends on.
struct AssemblyInputs {
    std::vector<std::string> systemProperties;        // "-D..." options, in their order
    std::vector<std::wstring> programArguments;       // element 0 the executable as named
    std::string jvmVersion;                           // the selected runtime's version text
    std::string jvmBinDirectory;                      // where its jli.dll lies; empty: unknown
    std::string languageCode;                         // chosen language ("de"), may be empty
    std::string countryCode;                          // and country ("CH"), may be empty
    bool readDefaultVmOptionsFile = false;            // config 166
    bool javaOptionArguments = false;                 // config 125: "-J" arguments are options
    bool moduleMode = false;                          // config 133: the main class is a module's
    std::string_view mainClass;                       // config 122, "module/class" in module mode
    bool serviceMode = false;                         // "-Xrs" unless present
    bool noRedirect = false;                          // "/run": output is not redirected
    bool parcelkitFamily = false;                     // product marker: runtime jar and module
    const ConfiguredVmOptions* configured = nullptr;  // config 123 and the per-version lines
    std::string classPathEntries;                     // config 121
    std::string modulePathEntries;                    // config 132
    std::string applicationDirectory;                 // config 10003 as written
    // Set when class-data sharing is on (config 3021): the runtime it is for.
    std::optional<ClassDataInputs> classData;
};

// What the assembly needs from the machine besides OptionSources.
class AssemblyMachine {
public:
    virtual ~AssemblyMachine() = default;
    // The default .vmoptions file; nothing when none opened or it holds more than maxBytes.
    virtual std::optional<VmOptionsFile> defaultVmOptionsFile(size_t maxBytes) = 0;
    // The configured class path (121) or module path (132) entries, each followed by ";"; false
    // with the failure filled in when a required entry is missing.
    virtual bool appendConfiguredEntries(Setting list, std::string_view entries,
                                         OptionSources& sources, std::string& target,
                                         RunFailure& failure) = 0;
    // The *.jar and then *.zip files of the launcher's per-run directory, each followed by ";".
    virtual void appendLauncherArchives(std::string& target) = 0;
    // The application directory (config 10003) made absolute, case kept.
    virtual std::string applicationDirectory(std::string_view configured) = 0;
    // The options with '@' argument files expanded by the runtime's jli.dll in binDirectory;
    // nothing when the library or its functions are missing (logged).
    virtual std::optional<std::vector<std::string>> expandArgumentFiles(
        const std::vector<std::string>& options, const std::string& binDirectory) = 0;
    // Where class-data archives are kept; nothing: class-data sharing is off.
    virtual ClassDataMachine* classDataMachine() { return nullptr; }
};

// The Java-side runtime's module, which the launcher adds and opens packages to.
std::string_view runtimeModuleName(bool parcelkitFamily);
// "--add-modules" and its value as two options become "--add-modules=value" (the seven module
// options alike); a name that is the last option stays alone.
void mergeModuleOptionPairs(std::vector<std::string>& options);

// The final option list, or why there is none.
struct AssembledOptions {
    std::vector<std::string> options;
    // Empty, or the detail text of a list past kMaxVmOptionCount or kMaxVmOptionBytes: the
    // launch cannot go on.
    std::string refusal;
    // The class-data archive the JVM writes at its exit, to finish after a normal end.
    std::optional<ClassDataWrite> classDataWrite;
};

// Builds the final option list (logged as "vmoption %d: %S" lines); with class-data sharing on,
// its options lead the list (after '@' files are expanded, so that their options choose too). At a
// required configured entry that is missing it stops at once with failure filled in (messages 1006,
// 1008) and no options.
AssembledOptions buildJvmOptions(const AssemblyInputs& inputs, OptionSources& sources,
                                 AssemblyMachine& machine, RunFailure& failure);

// The Windows machine: the default file by the executable's name, entries resolved against the
// launcher folder, the archives of this run's per-run directory, the runtime's jli.dll.
class WindowsAssemblyMachine final : public AssemblyMachine {
public:
    explicit WindowsAssemblyMachine(const RunDirectory& run) : run_(run) {}
    std::optional<VmOptionsFile> defaultVmOptionsFile(size_t maxBytes) override;
    bool appendConfiguredEntries(Setting list, std::string_view entries, OptionSources& sources,
                                 std::string& target, RunFailure& failure) override;
    void appendLauncherArchives(std::string& target) override;
    std::string applicationDirectory(std::string_view configured) override;
    std::optional<std::vector<std::string>> expandArgumentFiles(
        const std::vector<std::string>& options, const std::string& binDirectory) override;
    ClassDataMachine* classDataMachine() override { return classData_; }
    // The class-data archives' machine, owned by the caller; none leaves sharing off.
    void setClassDataMachine(ClassDataMachine* machine) { classData_ = machine; }

private:
    const RunDirectory& run_;
    ClassDataMachine* classData_ = nullptr;
};

}  // namespace launcher
