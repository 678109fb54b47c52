#include <windows.h>

#include <gtest/gtest.h>

#include "env/paths.h"
#include "env/temp_dir.h"

using namespace launcher;

TEST(ExecutablePath, LongFormEndsWithTheProgramName) {
    const std::wstring& wide = executablePathW();
    ASSERT_GE(wide.size(), 14u);
    EXPECT_EQ(lowerAscii(wide.substr(wide.size() - 13)), L"win_tests.exe");
    EXPECT_TRUE(endsWithExe(std::string_view(executablePathA())));
    EXPECT_EQ(executableFolderA().back(), '\\');
    EXPECT_EQ(executableFolderW(FolderForm::Wide).back(), L'\\');
    EXPECT_EQ(fromNarrowPath(executableFolderA()), executableFolderW(FolderForm::WideFromNarrow));
}

TEST(ResolvePaths, RelativeAgainstTheExecutableFolder) {
    const std::wstring folder = executableFolderW(FolderForm::Wide);
    std::wstring target = L"x;";
    appendResolvedPath(target, L"..\\lib", nullptr, FolderForm::Wide);
    EXPECT_EQ(target, L"x;" + folder + L"..\\lib");
    std::wstring parent = folder.substr(0, folder.size() - 1);
    parent = parent.substr(0, parent.rfind(L'\\'));
    EXPECT_EQ(canonicalPath(std::wstring_view(L"..\\lib"), true, FolderForm::Wide),
              parent + L"\\lib");
    EXPECT_EQ(canonicalPath(std::wstring_view(L"..\\lib"), false, FolderForm::Wide),
              lowerAscii(parent + L"\\lib"));
    EXPECT_EQ(canonicalPath(std::string_view("C:\\A\\\\B\\..\\C"), false), "c:\\a\\c");
    std::string narrow;
    appendResolvedPath(narrow, "\\\\server\\share\\\\dir");
    EXPECT_EQ(narrow, "\\\\server\\share\\dir");
}

TEST(ResolvePaths, ListEntriesAreResolvedAndReported) {
    std::vector<std::string> seen;
    const std::string list = resolvePathList(
        ";lib;;C:\\abs\\\\x;", [&](const std::string& entry) { seen.push_back(entry); });
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], executableFolderA() + "lib");
    EXPECT_EQ(seen[1], "C:\\abs\\x");
    EXPECT_EQ(list, seen[0] + ";" + seen[1]);
}

TEST(PathExists, DriveRootsWithoutTouchingTheDrive) {
    EXPECT_TRUE(pathExists(std::wstring_view(L"Q:\\")));
    EXPECT_TRUE(pathExists(std::string_view("Q:\\.\\.")));
    EXPECT_FALSE(pathExists(std::wstring_view(L"Q:\\nothing-here")));
    EXPECT_TRUE(pathExists(std::wstring_view(executablePathW())));
    uint64_t time = 0;
    EXPECT_TRUE(findFileTime(std::string_view(executablePathA()), &time));
    EXPECT_NE(time, 0u);
    EXPECT_FALSE(findFileTime(std::wstring_view(L"Q:\\")));
}

TEST(ToNarrowPath, ReportsReplacedCharacters) {
    const NarrowPath plain = toNarrowPath(L"C:\\plain");
    EXPECT_EQ(plain.text, "C:\\plain");
    EXPECT_FALSE(plain.replaced);
    EXPECT_TRUE(toNarrowPath(L"C:\\\x263A").replaced);
    EXPECT_TRUE(toNarrowPath(L"").replaced);
}

TEST(ListFolderByExtension, FindsMatchingEntries) {
    const auto names = listFolderByExtension(executableFolderW(FolderForm::Wide), L"exe");
    bool found = false;
    for (const auto& n : names) found |= lowerAscii(n) == L"win_tests.exe";
    EXPECT_TRUE(found);
    EXPECT_TRUE(listFolderByExtension(executableFolderW(FolderForm::Wide), L".nothing").empty());
}

TEST(ShortPathViaShell, PrintsTheShortForm) {
    const auto result = shortPathViaShell(executablePathW());
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(endsWithExe(std::string_view(*result))) << *result;
    EXPECT_TRUE(pathExists(std::string_view(*result))) << *result;
}
