#include "env/path_rules.h"

#include <gtest/gtest.h>

using namespace launcher;

TEST(IsRelativePath, DriveAndUncFormsAreAbsolute) {
    EXPECT_FALSE(isRelativePath(L"C:\\x"));
    EXPECT_FALSE(isRelativePath(L"\\\\server\\share"));
    EXPECT_FALSE(isRelativePath(std::string_view("C:\\x")));
    EXPECT_FALSE(isRelativePath(L"\"C:\\x\""));
    EXPECT_TRUE(isRelativePath(L"x"));
    EXPECT_TRUE(isRelativePath(L"C:x"));
    EXPECT_TRUE(isRelativePath(L"\\x"));
    EXPECT_TRUE(isRelativePath(L"\\lib"));
    EXPECT_TRUE(isRelativePath(L"C:"));
    EXPECT_TRUE(isRelativePath(L"\"C:"));
    EXPECT_TRUE(isRelativePath(L""));
    EXPECT_TRUE(isRelativePath(L"C:/x"));
}

TEST(CollapseBackslashes, KeepsTheUncPrefixAndReducesRuns) {
    std::wstring p = L"\\\\server\\share\\\\dir";
    collapseBackslashes(p);
    EXPECT_EQ(p, L"\\\\server\\share\\dir");
    p = L"C:\\\\a\\\\\\b\\";
    collapseBackslashes(p);
    EXPECT_EQ(p, L"C:\\a\\b\\");
    p = L"keep\\\\C:\\\\x";
    collapseBackslashes(p, 6);
    EXPECT_EQ(p, L"keep\\\\C:\\x");
    p = L"\\";
    collapseBackslashes(p);
    EXPECT_EQ(p, L"\\");
    p = L"ab";
    collapseBackslashes(p, 10);
    EXPECT_EQ(p, L"ab");
}

TEST(IsDriveRoot, OnlyTheThreeRootSpellings) {
    EXPECT_TRUE(isDriveRoot(L"D:\\"));
    EXPECT_TRUE(isDriveRoot(L"D:\\."));
    EXPECT_TRUE(isDriveRoot(L"D:\\.\\."));
    EXPECT_TRUE(isDriveRoot(std::string_view("q:\\")));
    EXPECT_FALSE(isDriveRoot(L"D:"));
    EXPECT_FALSE(isDriveRoot(L"D:\\x"));
    EXPECT_FALSE(isDriveRoot(L":\\"));
    EXPECT_FALSE(isDriveRoot(L"DD:\\"));
}

TEST(HasBangMark, BangBeforeBackslashOrAtTheEnd) {
    EXPECT_TRUE(hasBangMark(L"C:\\users\\bob!\\Temp"));
    EXPECT_TRUE(hasBangMark(L"C:\\users\\bob!"));
    EXPECT_TRUE(hasBangMark(std::string_view("x!")));
    EXPECT_FALSE(hasBangMark(L"C:\\a!b\\c"));
    EXPECT_FALSE(hasBangMark(L""));
}

TEST(EndsWithExe, CaseInsensitiveAndLongEnough) {
    EXPECT_TRUE(endsWithExe(L"a.exe"));
    EXPECT_TRUE(endsWithExe(L"C:\\X\\A.EXE"));
    EXPECT_FALSE(endsWithExe(L".exe"));
    EXPECT_FALSE(endsWithExe(L"a.ex"));
    EXPECT_FALSE(endsWithExe(std::string_view("a.exe ")));
}

// The usage line's and the class-data folder's program name.
TEST(ProgramNameOf, DropsDriveDirectoryAndLastExtension) {
    EXPECT_EQ(launcher::programNameOf(L"C:\\App\\my.service.exe"), L"my.service");
    EXPECT_EQ(launcher::programNameOf(L"C:\\a.b\\launcher"), L"launcher");
    EXPECT_EQ(launcher::programNameOf(L"C:launcher.exe"), L"launcher");
    EXPECT_EQ(launcher::programNameOf(L"x/y/z.exe"), L"z");
    EXPECT_EQ(launcher::programNameOf(L""), L"");
}

TEST(SplitPathList, DropsEmptyEntries) {
    EXPECT_EQ(splitPathList(L";a;;b;"), (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_EQ(splitPathList(std::string_view("")), std::vector<std::string>{});
    EXPECT_EQ(splitPathList(std::string_view("lib")), std::vector<std::string>{"lib"});
}

TEST(LowerAscii, OnlyAToZChange) {
    EXPECT_EQ(lowerAscii(L"C:\\App\\\x00C4X"), std::wstring(L"c:\\app\\\x00C4x"));
}
