#include "service/status_record_win32.h"

#include <windows.h>

#include "common/unique_handle.h"
#include "service/status_report.h"

namespace launcher {

std::wstring programDataFolder() {
    wchar_t value[MAX_PATH] = {};
    wchar_t expanded[MAX_PATH] = {};
    UniqueKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                        L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", 0,
                        KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS) {
        DWORD type = 0;
        // One character short of the buffer, so the text always ends with a NUL.
        DWORD size = sizeof value - sizeof(wchar_t);
        if (::RegQueryValueExW(key.get(), L"ProgramData", nullptr, &type,
                               reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
            (type == REG_EXPAND_SZ || type == REG_SZ)) {
            const DWORD length = ::ExpandEnvironmentStringsW(value, expanded, MAX_PATH);
            // The count includes the NUL; a text still holding "%" named an unknown variable.
            if (length > 1 && length <= MAX_PATH && wcschr(expanded, L'%') == nullptr) {
                return expanded;
            }
        }
    } else {
        key.release();
    }
    const DWORD length = ::GetEnvironmentVariableW(L"ProgramData", value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

std::string readStatusRecord(const std::wstring& serviceName) {
    std::wstring path = programDataFolder();
    if (path.empty()) return {};
    path += L"\\lumex\\status\\";
    path += serviceName;
    path += L".status";
    const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string text(kStatusRecordMaxBytes, '\0');
    DWORD read = 0;
    if (!file ||
        !::ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr)) {
        read = 0;
    }
    text.resize(read);
    return text;
}

}  // namespace launcher
