// Path operations on Windows: the executable's own path in both forms, resolution against its
// folder, canonical paths, existence tests and conversions in the file functions' code page.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "env/path_rules.h"

namespace launcher {

// The long form of the running executable's module file name, backslashes collapsed.
const std::wstring& executablePathW();
// A narrow path naming the same file that survives the code-page conversion; empty at worst.
const std::string& executablePathA();

enum class FolderForm { Narrow, WideFromNarrow, Wide };
// The executable's folder with a trailing backslash.
const std::string& executableFolderA();
const std::wstring& executableFolderW(FolderForm form);

struct NarrowPath {
    std::string text;
    bool replaced = false;  // a character had no equivalent in the code page
};
NarrowPath toNarrowPath(std::wstring_view path);
// Narrow text of the file functions' code page to UTF-16.
std::wstring fromNarrowPath(std::string_view path);

// Narrow collapsing goes through UTF-16 and leaves the text unchanged when the way back would
// replace a character.
void collapseBackslashes(std::string& path, size_t start = 0);

// Appends path to target, resolved against the folder of baseFile when given, otherwise
// against the executable's folder, then collapses backslashes in what was appended.
void appendResolvedPath(std::string& target, std::string_view path,
                        const std::string* baseFile = nullptr);
void appendResolvedPath(std::wstring& target, std::wstring_view path, const std::wstring* baseFile,
                        FolderForm folder);

// The full path (lower-cased in A to Z unless keepCase), resolved against the executable folder.
std::string canonicalPath(std::string_view path, bool keepCase);
std::wstring canonicalPath(std::wstring_view path, bool keepCase, FolderForm folder);

bool pathExists(std::string_view path);
bool pathExists(std::wstring_view path);
// True when a matching file or folder exists (wildcards match); optionally its last-write time.
bool findFileTime(std::string_view path, uint64_t* lastWrite = nullptr);
bool findFileTime(std::wstring_view path, uint64_t* lastWrite = nullptr);

// Every entry of a ";"-separated list resolved against the executable folder, joined with ";".
// The callback sees each entry as appended.
std::string resolvePathList(std::string_view list,
                            const std::function<void(const std::string&)>& onEntry = nullptr);

// Names of the entries matching folder\*.ext, in file-system order.
std::vector<std::wstring> listFolderByExtension(std::wstring_view folder,
                                                std::wstring_view extension);

// The short (8.3) form as the command interpreter prints it, or nothing.
std::optional<std::string> shortPathViaShell(std::wstring_view path);

// The Windows directory, or empty.
std::wstring windowsDirectory();

}  // namespace launcher
