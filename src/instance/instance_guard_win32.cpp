#include "instance/instance_guard.h"

#include <windows.h>

#include <sddl.h>

#include <utility>

#include "common/fatal.h"
#include "common/log.h"
#include "common/unique_handle.h"
#include "env/paths.h"
#include "instance/instance_name.h"

namespace launcher {

namespace {

// Enough for the token's user and its SID.
constexpr DWORD kTokenUserBufferSize = 1016;
// A second instance polls for the first one's process id about five seconds.
constexpr int kOtherPidRetries = 50;
constexpr DWORD kOtherPidPauseMs = 100;

// The semaphore is the whole signal: held, never waited on, closed only by the process's end.
UniqueHandle& heldSemaphore() {
    static UniqueHandle semaphore;
    return semaphore;
}

// "Global\" and the user's SID, or empty when the token cannot tell it (logged).
std::string userScopePrefix() {
    logMessage(L"user single instance");
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        logMessage(L"could not open process token %d", static_cast<int>(GetLastError()));
        return {};
    }
    alignas(TOKEN_USER) unsigned char buffer[kTokenUserBufferSize];
    DWORD length = 0;
    if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &length)) {
        logMessage(L"could not get token information %d", static_cast<int>(GetLastError()));
        return {};
    }
    char* sidText = nullptr;
    if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sidText)) {
        logMessage(L"could not get convert sid %d %d", static_cast<int>(GetLastError()),
                   static_cast<int>(length));
        return {};
    }
    const UniqueLocal owned(sidText);
    return std::string(kMachinePrefix) + sidText;
}

// Creates the semaphore under name; true when it already existed. The newest handle is held.
bool createSemaphore(const std::string& name, SECURITY_ATTRIBUTES* security, DWORD& code) {
    heldSemaphore().reset();
    HANDLE semaphore = CreateSemaphoreA(security, 1, 1, name.c_str());
    code = GetLastError();
    heldSemaphore().reset(semaphore);
    return code == ERROR_ALREADY_EXISTS;
}

void logSemaphore(const std::string& name, DWORD code) {
    logMessage(L"semaphore name %S, code %d, value %p", name, static_cast<int>(code),
               static_cast<void*>(heldSemaphore().get()));
}

BOOL CALLBACK raiseWindow(HWND window, LPARAM context) {
    const auto& [processId, restore] = *reinterpret_cast<const std::pair<DWORD, bool>*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (!IsWindowVisible(window) || owner != processId) return TRUE;
    logMessage(L"found window %p", static_cast<void*>(window));
    if (restore && IsIconic(window)) {
        logMessage(L"restore");
        ShowWindow(window, SW_RESTORE);
    }
    logMessage(L"foreground");
    SetForegroundWindow(window);
    logMessage(L"popup");
    SetForegroundWindow(GetLastActivePopup(window));
    logMessage(L"done");
    return TRUE;
}

}  // namespace

uint32_t readOtherInstancePid(const std::string& canonicalExecutable) {
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kInstancePidsKey.data(), 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS) {
        return 0;
    }
    DWORD value = 0;
    DWORD size = sizeof value;
    const LONG result = RegQueryValueExA(key.get(), canonicalExecutable.c_str(), nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(&value), &size);
    return result == ERROR_SUCCESS && size == sizeof value ? value : 0;
}

void registerInstancePid(const std::string& canonicalExecutable) {
    UniqueKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kInstancePidsKey.data(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    const DWORD processId = GetCurrentProcessId();
    RegSetValueExA(key.get(), canonicalExecutable.c_str(), 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&processId), sizeof processId);
}

void raiseOtherInstanceWindows(uint32_t processId, bool restore) {
    std::pair<DWORD, bool> context{processId, restore};
    EnumWindows(raiseWindow, reinterpret_cast<LPARAM>(&context));
}

std::string acquireInstanceGuard(const InstanceGuardSettings& settings) {
    // Every account may open the machine-wide and per-user names: a present but null DACL.
    SECURITY_DESCRIPTOR descriptor{};
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES openToAll{sizeof(SECURITY_ATTRIBUTES), &descriptor, FALSE};

    const std::string canonicalExecutable = canonicalPath(executablePathA(), false);
    const std::string mangled = mangleExecutablePath(canonicalExecutable);
    std::string base;
    SECURITY_ATTRIBUTES* security = nullptr;
    switch (instanceScope(settings.machineWide, settings.session)) {
        case InstanceScope::Machine:
            base = kMachinePrefix;
            security = &openToAll;
            break;
        case InstanceScope::User:
            base = userScopePrefix();
            if (!base.empty()) {
                security = &openToAll;
                break;
            }
            logMessage(L"user single instance failed, fall back to session single instance");
            [[fallthrough]];
        case InstanceScope::Session:
            base = kSessionPrefix;
            break;
    }
    base += mangled;

    DWORD code = 0;
    if (!settings.singleInstance) {
        const std::string name = claimMarkerName(base, [&](const std::string& candidate) {
            return createSemaphore(candidate, security, code);
        });
        logSemaphore(name, code);
        return name;
    }
    logMessage(L"single instance mode");
    const bool taken = createSemaphore(base, security, code);
    logSemaphore(base, code);
    if (!taken) {
        registerInstancePid(canonicalExecutable);
        return base;
    }
    heldSemaphore().reset();
    // The first instance records its id only after creating the semaphore: wait for it a while.
    uint32_t otherPid = readOtherInstancePid(canonicalExecutable);
    for (int retry = 0; otherPid == 0 && retry < kOtherPidRetries; ++retry) {
        Sleep(kOtherPidPauseMs);
        otherPid = readOtherInstancePid(canonicalExecutable);
    }
    logMessage(L"other pid %d", static_cast<int>(otherPid));
    if (otherPid != 0 && settings.raiseOtherInstance) raiseOtherInstanceWindows(otherPid, true);
    logMessage(L"exiting");
    exitLauncher(0);
}

}  // namespace launcher
