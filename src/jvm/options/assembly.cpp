#include "jvm/options/assembly.h"

#include <algorithm>
#include <array>

#include "common/limits.h"
#include "common/log.h"

namespace launcher {

namespace {

// Options the JVM also accepts as two words; the launcher joins them with "=".
constexpr std::array<std::string_view, 7> kModuleOptionNames = {
    "--upgrade-module-path", "--add-modules", "--limit-modules", "--add-exports",
    "--add-opens",           "--add-reads",   "--patch-module"};

constexpr std::string_view kClassPathOption = "-Djava.class.path=";
constexpr std::string_view kModulePathOption = "--module-path=";
constexpr std::string_view kAddModulesOption = "--add-modules=";
constexpr std::wstring_view kJavaOptionArgument = L"-J";

bool isModuleOptionName(std::string_view option) {
    return std::find(kModuleOptionNames.begin(), kModuleOptionNames.end(), option) !=
           kModuleOptionNames.end();
}

void removeOneTrailingSeparator(std::string& list) {
    if (!list.empty() && list.back() == ';') list.pop_back();
}

// The runtime jar of the parcelkit family lies in the application directory.
void appendRuntimeJar(const AssemblyInputs& inputs, AssemblyMachine& machine, std::string& target) {
    if (!inputs.parcelkitFamily) return;
    std::string directory = machine.applicationDirectory(inputs.applicationDirectory);
    if (directory.empty() || directory.back() != '\\') directory += '\\';
    target += directory + ".parcelkit\\pkxruntime.jar;";
}

// "--add-opens" for the main class's package (module mode with "module/package.Class"), then
// "--add-modules" with the main module and the runtime module.
void addModuleOptions(const AssemblyInputs& inputs, std::vector<std::string>& options) {
    const std::string_view runtime = runtimeModuleName(inputs.parcelkitFamily);
    std::string modules(kAddModulesOption);
    if (inputs.moduleMode) {
        // Read together with the option's name into one standard buffer.
        std::string value(inputs.mainClass.substr(0, kBufferLength - 1 - kAddModulesOption.size()));
        const size_t slash = value.find('/');
        if (slash != std::string::npos) {
            const size_t dot = value.rfind('.');
            if (dot != std::string::npos && dot > slash) {
                options.push_back(formatA("--add-opens=%s=%s", value.substr(0, dot), runtime));
            }
            value.resize(slash);
        }
        modules += value;
        modules += ',';
    }
    modules += runtime;
    options.push_back(modules);
}

}  // namespace

std::string_view runtimeModuleName(bool parcelkitFamily) {
    return parcelkitFamily ? "com.parcelkit.runtime" : "com.lumex.runtime";
}

// One pass that writes each kept or merged option to its final place: erasing the value behind
// each merged name would move the rest of the list once per pair.
void mergeModuleOptionPairs(std::vector<std::string>& options) {
    size_t kept = 0;
    for (size_t i = 0; i < options.size(); ++i, ++kept) {
        if (i + 1 < options.size() && isModuleOptionName(options[i])) {
            options[kept] = formatA("%s=%s", options[i], options[i + 1]);
            ++i;
        } else if (kept != i) {
            options[kept] = std::move(options[i]);
        }
    }
    options.resize(kept);
}

AssembledOptions buildJvmOptions(const AssemblyInputs& inputs, OptionSources& sources,
                                 AssemblyMachine& machine, RunFailure& failure) {
    VmOptionCollector collector;
    collector.options = inputs.systemProperties;
    VmOptionReader reader(sources, collector);
    addConfiguredVmOptions(reader, sources, inputs.configured, inputs.programArguments,
                           inputs.jvmVersion, inputs.languageCode, inputs.countryCode);
    if (inputs.readDefaultVmOptionsFile) {
        // The default file counts against the same read budget as the includes.
        const std::optional<VmOptionsFile> file =
            machine.defaultVmOptionsFile(reader.readBudgetLeft());
        logMessage(L"default vmoptions file: %d", file ? 1 : 0);
        if (file) reader.readDefaultVmOptionsFile(file->path, file->bytes);
    }
    if (inputs.javaOptionArguments) {
        for (const std::wstring& argument : inputs.programArguments) {
            if (argument.starts_with(kJavaOptionArgument)) {
                reader.addVmOptionLine(
                    std::nullopt, std::wstring_view(argument).substr(kJavaOptionArgument.size()));
            }
        }
    }
    if (!reader.refusal().empty()) return {{}, reader.refusal()};

    std::string modulePath;
    logMessage(L"adding preconfigured modulepath");
    if (!machine.appendConfiguredEntries(Setting::ModulePath, inputs.modulePathEntries, sources,
                                         modulePath, failure)) {
        return {};
    }
    std::string classPath(kClassPathOption);
    if (collector.classPathPrepend) classPath += *collector.classPathPrepend + ";";
    std::string& archives = !modulePath.empty() || inputs.moduleMode ? modulePath : classPath;
    machine.appendLauncherArchives(archives);
    appendRuntimeJar(inputs, machine, archives);
    if (collector.classPathReplace) {
        classPath += *collector.classPathReplace;
    } else {
        logMessage(L"adding preconfigured classpath");
        if (!machine.appendConfiguredEntries(Setting::ClassPath, inputs.classPathEntries, sources,
                                             classPath, failure)) {
            return {};
        }
    }
    if (collector.classPathAppend) {
        if (classPath.back() != ';') classPath += ';';
        classPath += *collector.classPathAppend;
    }
    removeOneTrailingSeparator(classPath);
    std::vector<std::string>& options = collector.options;
    options.push_back(classPath);
    if (!modulePath.empty()) {
        removeOneTrailingSeparator(modulePath);
        options.push_back(std::string(kModulePathOption) + modulePath);
        addModuleOptions(inputs, options);
    }

    if (inputs.serviceMode && std::find(options.begin(), options.end(), "-Xrs") == options.end()) {
        logMessage(L"service: adding -Xrs");
        options.push_back("-Xrs");
    }
    if (inputs.noRedirect) options.push_back("-Dparcelkit.noRedir=true");
    mergeModuleOptionPairs(options);

    const bool argumentFiles =
        std::any_of(options.begin(), options.end(),
                    [](const std::string& o) { return !o.empty() && o.front() == '@'; });
    if (argumentFiles) {
        logMessage(L"@ argument found %d %S", static_cast<int>(options.size()),
                   inputs.jvmBinDirectory);
        if (!inputs.jvmBinDirectory.empty()) {
            if (auto expanded = machine.expandArgumentFiles(options, inputs.jvmBinDirectory)) {
                options = std::move(*expanded);
                mergeModuleOptionPairs(options);
            }
        }
    }
    std::erase_if(options, [](const std::string& o) { return o.empty(); });
    std::optional<ClassDataWrite> classDataWrite;
    if (ClassDataMachine* classData = machine.classDataMachine();
        classData != nullptr && inputs.classData) {
        classDataWrite = addClassDataOptions(*inputs.classData, options, *classData);
    }
    // Argument files and the class path add to what the reader let through.
    size_t bytes = 0;
    for (const std::string& option : options) bytes += option.size();
    if (std::string refusal = optionBoundsRefusal(options.size(), bytes); !refusal.empty()) {
        logError(L"%S", refusal);
        return {{}, std::move(refusal)};
    }

    logMessage(L"vmoption count %d", static_cast<int>(options.size()));
    for (size_t i = 0; i < options.size(); ++i) {
        logMessage(L"vmoption %d: %S", static_cast<int>(i), options[i]);
    }
    return {std::move(options), {}, std::move(classDataWrite)};
}

}  // namespace launcher
