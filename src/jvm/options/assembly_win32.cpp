#include <windows.h>

#include "common/log.h"
#include "env/paths.h"
#include "env/temp_dir.h"
#include "jvm/options/assembly.h"

namespace launcher {

namespace {

// The runtime's argument-file functions, as its launcher library exports them.
struct JliList {
    char** elements;
    size_t size;
    size_t capacity;
};
using JliInitArgProcessing = void (*)(unsigned char hasJavaArgs, unsigned char disableArgFile);
using JliPreprocessArg = JliList* (*)(const char* argument, unsigned char expandSourceOption);
using JliMemFree = void (*)(void* pointer);

}  // namespace

std::optional<VmOptionsFile> WindowsAssemblyMachine::defaultVmOptionsFile(size_t maxBytes) {
    return readDefaultVmOptionsFile(maxBytes);
}

bool WindowsAssemblyMachine::appendConfiguredEntries(Setting list, std::string_view entries,
                                                     OptionSources& sources, std::string& target,
                                                     RunFailure& failure) {
    return launcher::appendConfiguredEntries(list, entries, sources, target, failure);
}

void WindowsAssemblyMachine::appendLauncherArchives(std::string& target) {
    const std::string& directory = run_.path();
    if (directory.empty()) return;
    const std::wstring folder = fromNarrowPath(directory);
    for (const wchar_t* extension : {L"jar", L"zip"}) {
        for (const std::wstring& name : listFolderByExtension(folder, extension)) {
            target += directory + "\\" + toNarrowPath(name).text + ";";
        }
    }
}

std::string WindowsAssemblyMachine::applicationDirectory(std::string_view configured) {
    return canonicalPath(configured, true);
}

std::optional<std::vector<std::string>> WindowsAssemblyMachine::expandArgumentFiles(
    const std::vector<std::string>& options, const std::string& binDirectory) {
    const std::string path = binDirectory + "\\jli.dll";
    // The library stays loaded: the expanded texts may point into it.
    HMODULE jli = ::LoadLibraryA(path.c_str());
    if (jli == nullptr) {
        logMessage(L"did not find %S", path);
        return std::nullopt;
    }
    const auto init = reinterpret_cast<JliInitArgProcessing>(
        reinterpret_cast<void*>(::GetProcAddress(jli, "JLI_InitArgProcessing")));
    const auto preprocess = reinterpret_cast<JliPreprocessArg>(
        reinterpret_cast<void*>(::GetProcAddress(jli, "JLI_PreprocessArg")));
    const auto memFree =
        reinterpret_cast<JliMemFree>(reinterpret_cast<void*>(::GetProcAddress(jli, "JLI_MemFree")));
    if (init == nullptr || preprocess == nullptr || memFree == nullptr) {
        logMessage(L"did not find all list functions %p %p %p", reinterpret_cast<void*>(init),
                   reinterpret_cast<void*>(preprocess), reinterpret_cast<void*>(memFree));
        return std::nullopt;
    }
    init(options.empty() ? 0 : 1, 0);
    std::vector<std::string> expanded;
    for (const std::string& option : options) {
        JliList* list = preprocess(option.c_str(), 1);
        if (list == nullptr) {
            expanded.push_back(option);
            continue;
        }
        for (size_t i = 0; i < list->size; ++i) {
            if (list->elements[i] != nullptr) expanded.emplace_back(list->elements[i]);
        }
        memFree(list->elements);
        memFree(list);
    }
    return expanded;
}

}  // namespace launcher
