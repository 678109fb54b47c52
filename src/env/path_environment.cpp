#include "env/path_environment.h"

#include "env/path_rules.h"

namespace launcher {

std::wstring pathEntriesInside(std::wstring_view path, std::wstring_view windowsDirectory) {
    const std::wstring prefix = lowerAscii(windowsDirectory);
    std::wstring kept;
    for (const std::wstring& entry : splitPathList(path)) {
        if (entry.size() < prefix.size() || lowerAscii(entry.substr(0, prefix.size())) != prefix) {
            continue;
        }
        if (!kept.empty()) kept += L';';
        kept += entry;
    }
    return kept;
}

}  // namespace launcher
