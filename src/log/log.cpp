#include "log/log.h"

#include "log/errors.h"

namespace launcher {

bool showsErrorsInMessageBoxes(int32_t launcherKind) {
    return launcherKind == 1 || launcherKind == 5;
}

bool isLogSwitchOn(std::string_view value) {
    return value == "yes";
}

std::wstring logLinePrefix(uint64_t nowMs, uint64_t startMs) {
    const auto elapsed =
        static_cast<int32_t>(static_cast<uint32_t>(nowMs) - static_cast<uint32_t>(startMs));
    return formatW(L"[%d:%d] ", elapsed / 1000, elapsed % 1000);
}

std::wstring logFolder(std::wstring_view tempBase) {
    if (tempBase.empty()) return L"c:\\";
    std::wstring folder(tempBase);
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder;
}

std::wstring logFileName(std::wstring_view folder, int index) {
    return formatW(L"%spkx_nlog_%d.log", folder, index);
}

std::wstring replacePlaceholder(std::wstring_view text, const std::wstring* detail) {
    std::wstring out(text);
    if (detail == nullptr) return out;
    const size_t at = out.find(L"{0}");
    if (at != std::wstring::npos) out.replace(at, 3, *detail);
    return out;
}

std::wstring errorTextWithLog(std::wstring_view text, const std::wstring* logPath) {
    if (logPath == nullptr) return std::wstring(text);
    return formatW(L"%s\n\nLog: %s", text, *logPath);
}

}  // namespace launcher
