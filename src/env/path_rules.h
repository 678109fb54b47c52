// Path rules that need no file system: relative or absolute, collapsing doubled backslashes,
// drive roots, the bang mark, list splitting. Narrow and wide alike.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace launcher {

// Relative unless it starts (after one optional quote) with "X:\" or two backslashes. Paths
// of two characters or fewer are relative; so is "\lib" (no drive).
bool isRelativePath(std::string_view path);
bool isRelativePath(std::wstring_view path);

// From start on, the first two characters are kept and every backslash that follows a
// backslash is dropped (a UNC prefix at the start survives).
void collapseBackslashes(std::wstring& path, size_t start = 0);

// "X:\", "X:\." or "X:\.\." (the drive letter may be anything): counts as existing.
bool isDriveRoot(std::string_view path);
bool isDriveRoot(std::wstring_view path);

// An exclamation mark followed by a backslash, or a trailing exclamation mark.
bool hasBangMark(std::string_view path);
bool hasBangMark(std::wstring_view path);

// A program's name as its path gives it: a drive "X:" prefix and the folders dropped, then the
// text up to the last dot ("C:\\App\\my.service.exe" gives "my.service").
std::wstring programNameOf(std::wstring_view path);

// Ends with ".exe" (any case) and is at least 5 characters long.
bool endsWithExe(std::string_view path);
bool endsWithExe(std::wstring_view path);

// The entries of a ";"-separated list; empty entries are dropped.
std::vector<std::string> splitPathList(std::string_view list);
std::vector<std::wstring> splitPathList(std::wstring_view list);

// ASCII-only lower-casing (A to Z), as the canonical form uses.
std::wstring lowerAscii(std::wstring_view text);

// The directory part of a path up to and including its last backslash; empty when none.
std::wstring folderOf(std::wstring_view path);

}  // namespace launcher
