#include "standin_home.h"

#include "utf8_output.h"

#include <cstdlib>

namespace standin {

namespace {

constexpr int kMaxLevelsUp = 4;

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

bool fileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

Config Config::parse(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    Config config;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        const size_t eq = line.find('=');
        if (trim(line).starts_with('#') || eq == std::string_view::npos) continue;
        config.entries_.emplace_back(std::string(trim(line.substr(0, eq))),
                                     std::string(line.substr(eq + 1)));
    }
    return config;
}

std::string Config::text(std::string_view key, std::string_view fallback) const {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (it->first == key) return it->second;
    }
    return std::string(fallback);
}

long long Config::number(std::string_view key, long long fallback) const {
    if (!has(key)) return fallback;
    const std::string value(trim(text(key)));
    char* end = nullptr;
    const long long n = std::strtoll(value.c_str(), &end, 0);
    return value.empty() || *end != '\0' ? fallback : n;
}

bool Config::has(std::string_view key) const {
    for (const auto& entry : entries_) {
        if (entry.first == key) return true;
    }
    return false;
}

std::wstring modulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring parentDir(std::wstring_view path) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring_view::npos) return std::wstring(path);
    // "C:\x" -> "C:" would name the drive's current folder; stop at the root instead.
    if (slash == 2 && path[1] == L':') return std::wstring(path.substr(0, 3));
    return std::wstring(path.substr(0, slash));
}

std::wstring baseName(std::wstring_view path) {
    const size_t slash = path.find_last_of(L"\\/");
    return std::wstring(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
}

Home findHome(const std::wstring& module, int fallbackLevels) {
    Home home;
    std::wstring dir = parentDir(module);
    for (int level = 0; level <= kMaxLevelsUp; ++level) {
        const std::wstring config = dir + L"\\" + kConfigName;
        if (fileExists(config)) {
            std::string bytes;
            readWholeFile(config, bytes);
            home.dir = dir;
            home.configured = true;
            home.config = Config::parse(bytes);
            return home;
        }
        const std::wstring up = parentDir(dir);
        if (up == dir) break;
        dir = up;
    }
    home.dir = parentDir(module);
    for (int level = 0; level < fallbackLevels; ++level) home.dir = parentDir(home.dir);
    return home;
}

std::string utf8(std::wstring_view text) {
    return helpers::utf8(text);
}

std::string recordValue(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

bool appendRecord(const std::wstring& file, std::string_view line) {
    // Several processes may append at once (a launcher and its probe): FILE_APPEND_DATA makes
    // every write land at the current end, and each line goes out in one write.
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 50 && h == INVALID_HANDLE_VALUE; ++attempt) {
        h = CreateFileW(file.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION)
            Sleep(20);
        else
            break;
    }
    if (h == INVALID_HANDLE_VALUE) return false;
    const std::string bytes = std::string(line) + "\n";
    DWORD written = 0;
    const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

bool readWholeFile(const std::wstring& file, std::string& bytes) {
    HANDLE h = CreateFileW(file.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bytes.clear();
    char buffer[16384];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(h, buffer, sizeof buffer, &got, nullptr) != FALSE) && got > 0) {
        bytes.append(buffer, got);
    }
    CloseHandle(h);
    return ok;
}

bool writeWholeFile(const std::wstring& file, std::string_view bytes) {
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

std::string environmentValue(std::wstring_view name) {
    wchar_t* block = GetEnvironmentStringsW();
    if (block == nullptr) return "(unset)";
    std::string value = "(unset)";
    for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
        const std::wstring_view text(entry);
        if (text.size() > name.size() && text[name.size()] == L'=' &&
            CompareStringOrdinal(text.data(), static_cast<int>(name.size()), name.data(),
                                 static_cast<int>(name.size()), TRUE) == CSTR_EQUAL) {
            value = utf8(text.substr(name.size() + 1));
            break;
        }
    }
    FreeEnvironmentStringsW(block);
    return value;
}

const char* handleKind(DWORD which) {
    HANDLE h = GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return "none";
    DWORD mode = 0;
    if (GetConsoleMode(h, &mode)) return "console";
    switch (GetFileType(h)) {
        case FILE_TYPE_CHAR:
            return "char";
        case FILE_TYPE_PIPE:
            return "pipe";
        case FILE_TYPE_DISK:
            return "file";
        default:
            return "unknown";
    }
}

}  // namespace standin
