// What every program of the stand-in Java runtime shares: finding the runtime home from the
// module's own path, reading the home's standin.cfg and appending lines to its record files.
//
// standin.cfg holds "key=value" lines; '#' starts a comment line, a UTF-8 byte-order mark and CR
// before LF are ignored. The first '=' ends the key; the value is taken verbatim.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace standin {

constexpr wchar_t kConfigName[] = L"standin.cfg";
constexpr wchar_t kRunRecordName[] = L"standin-runs.log";
constexpr wchar_t kLoadRecordName[] = L"standin-loads.log";

class Config {
public:
    static Config parse(std::string_view text);

    // The value of the last line with this key, or fallback.
    std::string text(std::string_view key, std::string_view fallback = {}) const;
    // A decimal or 0x-hexadecimal number (a leading '-' allowed); fallback when absent or invalid.
    long long number(std::string_view key, long long fallback) const;
    bool has(std::string_view key) const;

private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

struct Home {
    std::wstring dir;  // no trailing backslash
    bool configured = false;
    Config config;

    std::wstring file(std::wstring_view name) const { return dir + L"\\" + std::wstring(name); }
};

// The full path of a module of this process (nullptr: the program itself).
std::wstring modulePath(HMODULE module);
// "C:\a\b\c.exe" -> "C:\a\b"; a root stays as it is.
std::wstring parentDir(std::wstring_view path);
// The last component of a path.
std::wstring baseName(std::wstring_view path);

// The nearest folder holding standin.cfg, from the module's folder up through at most four
// parents. Without one: fallbackLevels folders up from the module's folder, with defaults.
Home findHome(const std::wstring& module, int fallbackLevels);

std::string utf8(std::wstring_view text);
// A value fit for a one-line record: control characters become "\xNN".
std::string recordValue(std::string_view text);

// Appends line and LF to the file (created when missing), sharing it with other writers.
bool appendRecord(const std::wstring& file, std::string_view line);
// The whole file; false when it cannot be read.
bool readWholeFile(const std::wstring& file, std::string& bytes);
bool writeWholeFile(const std::wstring& file, std::string_view bytes);

// The variable's value as it stands in the environment block, or "(unset)" when it is absent
// (GetEnvironmentVariableW alone cannot tell an empty value from a missing one).
std::string environmentValue(std::wstring_view name);

// How a standard handle is connected: none, console, char, pipe, file or unknown.
const char* handleKind(DWORD which);

}  // namespace standin
