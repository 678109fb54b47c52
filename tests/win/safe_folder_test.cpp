#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "common/unique_handle.h"
#include "env/safe_folder_win32.h"

namespace {

using launcher::UniqueLocal;

std::wstring accessList(const std::wstring& folder) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return L"(unreadable)";
    }
    const UniqueLocal owner(descriptor);
    wchar_t* text = nullptr;
    ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                         DACL_SECURITY_INFORMATION, &text, nullptr);
    const UniqueLocal textOwner(text);
    return text != nullptr ? text : L"(none)";
}

std::string narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

}  // namespace

// The archive folder chain: made where missing, each folder with an access list that lets only
// SYSTEM, administrators and the account change it; a folder anyone may change is refused.
TEST(SafeFolder, MadeForTheAccountAloneAndRefusedOnceAnyoneMayChangeIt) {
    wchar_t temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring base =
        std::wstring(temp) + L"safe-folder-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(base.c_str(), nullptr));
    const std::wstring made = launcher::makeSafeFolder(base, {L"lumex", L"class-data", L"app"});
    EXPECT_EQ(made, base + L"\\lumex\\class-data\\app");
    EXPECT_EQ(launcher::makeSafeFolder(base, {L"lumex", L"class-data", L"app"}), made)
        << "an existing safe chain is taken as it is";
    const std::wstring list = accessList(made);
    std::cout << "the archive folder's access list: " << narrow(list) << "\n";
    for (const wchar_t* untrusted : {L";;;WD)", L";;;BU)", L";;;AU)"}) {
        EXPECT_EQ(list.find(untrusted), std::wstring::npos) << narrow(list);
    }

    // Everyone may change the folder: it is refused, with its chain.
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;OICI;FA;;;WD)", SDDL_REVISION_1, &open, nullptr));
    const UniqueLocal openOwner(open);
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorDacl(open, &present, &dacl, &defaulted));
    const DWORD set =
        SetNamedSecurityInfoW(const_cast<wchar_t*>(made.c_str()), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, dacl, nullptr);
    if (set != ERROR_SUCCESS || accessList(made).find(L";;;WD)") == std::wstring::npos) {
        GTEST_SKIP() << "the system did not take an access list for everyone (error " << set
                     << "), it reports " << narrow(accessList(made));
    }
    EXPECT_EQ(launcher::makeSafeFolder(base, {L"lumex", L"class-data", L"app"}), L"");
    EXPECT_EQ(launcher::makeSafeFolder(base, {L"lumex", L"class-data", L"app", L"deeper"}), L"");
    for (const std::wstring& folder :
         {made, base + L"\\lumex\\class-data", base + L"\\lumex", base}) {
        RemoveDirectoryW(folder.c_str());
    }
}
