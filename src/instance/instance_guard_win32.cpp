#include "instance/instance_guard.h"

#include <windows.h>

#include <sddl.h>

#include <utility>

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

// The window functions, looked up in user32 only when a second instance raises the first one's
// windows: importing user32 would load the window system at every start of every road.
struct WindowFunctions {
    decltype(&::EnumWindows) enumWindows = nullptr;
    decltype(&::GetWindowThreadProcessId) windowThreadProcessId = nullptr;
    decltype(&::IsWindowVisible) isWindowVisible = nullptr;
    decltype(&::IsIconic) isIconic = nullptr;
    decltype(&::ShowWindow) showWindow = nullptr;
    decltype(&::SetForegroundWindow) setForegroundWindow = nullptr;
    decltype(&::GetLastActivePopup) lastActivePopup = nullptr;

    bool complete() const {
        return enumWindows && windowThreadProcessId && isWindowVisible && isIconic && showWindow &&
               setForegroundWindow && lastActivePopup;
    }
};

template <typename F>
void lookUp(HMODULE module, const char* name, F& function) {
    function = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

WindowFunctions loadWindowFunctions() {
    WindowFunctions f;
    const HMODULE user32 = ::LoadLibraryA("user32.dll");
    if (user32 == nullptr) return f;
    lookUp(user32, "EnumWindows", f.enumWindows);
    lookUp(user32, "GetWindowThreadProcessId", f.windowThreadProcessId);
    lookUp(user32, "IsWindowVisible", f.isWindowVisible);
    lookUp(user32, "IsIconic", f.isIconic);
    lookUp(user32, "ShowWindow", f.showWindow);
    lookUp(user32, "SetForegroundWindow", f.setForegroundWindow);
    lookUp(user32, "GetLastActivePopup", f.lastActivePopup);
    return f;
}

struct RaiseContext {
    const WindowFunctions& functions;
    DWORD processId;
    bool restore;
};

BOOL CALLBACK raiseWindow(HWND window, LPARAM parameter) {
    const auto& [f, processId, restore] = *reinterpret_cast<const RaiseContext*>(parameter);
    DWORD owner = 0;
    f.windowThreadProcessId(window, &owner);
    if (!f.isWindowVisible(window) || owner != processId) return TRUE;
    logMessage(L"found window %p", static_cast<void*>(window));
    if (restore && f.isIconic(window)) {
        logMessage(L"restore");
        f.showWindow(window, SW_RESTORE);
    }
    logMessage(L"foreground");
    f.setForegroundWindow(window);
    logMessage(L"popup");
    f.setForegroundWindow(f.lastActivePopup(window));
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
    const WindowFunctions functions = loadWindowFunctions();
    if (!functions.complete()) return;
    const RaiseContext context{functions, processId, restore};
    functions.enumWindows(raiseWindow, reinterpret_cast<LPARAM>(&context));
}

std::optional<std::string> acquireInstanceGuard(const InstanceGuardSettings& settings) {
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
    return std::nullopt;
}

}  // namespace launcher
