#include "service/status_record_win32.h"

#include <windows.h>

#include "common/unique_handle.h"
#include "env/safe_folder_win32.h"
#include "service/status_report.h"

namespace launcher {

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
