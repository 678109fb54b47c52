#include "env/safe_folder_win32.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include "common/log.h"
#include "common/unique_handle.h"

namespace launcher {

namespace {

// What no one but the trusted three may hold on a folder of the chain: deleting or renaming
// it or what lies in it, and changing its access list or owner.
constexpr ACCESS_MASK kChainRights =
    DELETE | WRITE_DAC | WRITE_OWNER | FILE_DELETE_CHILD | GENERIC_ALL;
// And on the last folder: adding files or folders to it.
constexpr ACCESS_MASK kLastFolderRights =
    kChainRights | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | GENERIC_WRITE;

// The three accounts a safe folder may belong to and be changed by.
class TrustedAccounts {
public:
    TrustedAccounts() {
        for (const wchar_t* text : {L"S-1-5-18", L"S-1-5-32-544"}) add(text);
        if (const std::wstring own = ownUserSid(); !own.empty()) add(own.c_str());
    }
    bool contains(PSID sid) const {
        for (const UniqueLocal& trusted : sids_) {
            if (::EqualSid(sid, trusted.get())) return true;
        }
        return false;
    }

private:
    void add(const wchar_t* text) {
        PSID sid = nullptr;
        if (::ConvertStringSidToSidW(text, &sid)) sids_.emplace_back(sid);
    }
    std::vector<UniqueLocal> sids_;
};

// Why the folder is not safe, or nothing when it is.
const wchar_t* unsafeReason(const std::wstring& folder, ACCESS_MASK forbidden,
                            const TrustedAccounts& trusted) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT,
                                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return L"its access list cannot be read";
    }
    const UniqueLocal descriptorOwner(descriptor);
    if (owner == nullptr || !trusted.contains(owner)) return L"another account owns it";
    if (dacl == nullptr) return L"it has no access list";
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry)) return L"its access list cannot be read";
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) {
            continue;
        }
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return L"its access list is not plain";
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if ((allowed->Mask & forbidden) != 0 && !trusted.contains(sid)) {
            return L"another account may change it";
        }
    }
    return nullptr;
}

}  // namespace

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

std::wstring ownUserSid() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    constexpr DWORD kMaxTokenUser = 512;
    if (size == 0 || size > kMaxTokenUser) return {};
    alignas(TOKEN_USER) unsigned char data[kMaxTokenUser];
    if (!::GetTokenInformation(token.get(), TokenUser, data, size, &size)) return {};
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(data)->User.Sid, &text)) return {};
    const UniqueLocal owned(text);
    return text;
}

bool accessListWithOwnAccount(const std::wstring& text, std::wstring_view ownEntry,
                              UniqueLocal& owner) {
    std::wstring sddl = text;
    if (const std::wstring own = ownUserSid(); !own.empty()) {
        sddl += L"(" + std::wstring(ownEntry) + L";;;" + own + L")";
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        logMessage(L"ConvertStringSecurityDescriptorToSecurityDescriptor error (%d)",
                   ::GetLastError());
        return false;
    }
    owner.reset(descriptor);
    return true;
}

std::wstring makeSafeFolder(const std::wstring& base, const std::vector<std::wstring>& names) {
    const TrustedAccounts trusted;
    UniqueLocal descriptor;
    if (!accessListWithOwnAccount(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", L"A;OICI;FA",
                                  descriptor)) {
        return {};
    }
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor.get(), FALSE};
    std::wstring folder = base;
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    if (folder.empty()) {
        logMessage(L"safe folder: no base folder");
        return {};
    }
    for (size_t level = 0; level <= names.size(); ++level) {
        if (level > 0) {
            folder += L'\\';
            folder += names[level - 1];
            if (!::CreateDirectoryW(folder.c_str(), &attributes) &&
                ::GetLastError() != ERROR_ALREADY_EXISTS) {
                logMessage(L"safe folder: %s cannot be made (%d)", folder, ::GetLastError());
                return {};
            }
            const DWORD kind = ::GetFileAttributesW(folder.c_str());
            if (kind == INVALID_FILE_ATTRIBUTES || !(kind & FILE_ATTRIBUTE_DIRECTORY) ||
                (kind & FILE_ATTRIBUTE_REPARSE_POINT)) {
                logMessage(L"safe folder: %s is no plain folder", folder);
                return {};
            }
        }
        const ACCESS_MASK forbidden = level == names.size() ? kLastFolderRights : kChainRights;
        if (const wchar_t* reason = unsafeReason(folder, forbidden, trusted)) {
            logMessage(L"safe folder: %s is not safe: %s", folder, reason);
            return {};
        }
    }
    return folder;
}

}  // namespace launcher
