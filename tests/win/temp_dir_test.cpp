#include <windows.h>

#include <gtest/gtest.h>

#include "env/paths.h"
#include "env/temp_dir.h"

using namespace launcher;

TEST(TempBase, BothFormsNameOneWritableFolder) {
    const std::string narrow = tempBaseNarrow();
    const std::wstring wide = tempBaseWide(true);
    ASSERT_FALSE(narrow.empty());
    EXPECT_EQ(lowerAscii(fromNarrowPath(narrow)), lowerAscii(wide));
    std::wstring folder = wide;
    if (folder.back() == L'\\') folder.pop_back();
    EXPECT_TRUE(pathExists(std::wstring_view(folder)));
    // The write probe never stays behind.
    EXPECT_FALSE(findFileTime(std::wstring_view(folder + L"\\lmxtw*")));
}

TEST(TempDirectory, CreatedUniqueAndEmptiedAtDepthOne) {
    createTempDirectory();
    const std::string dir = tempDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.find("_dir"), std::string::npos);
    EXPECT_TRUE(pathExists(std::string_view(dir)));
    ASSERT_TRUE(CreateDirectoryA((dir + "\\sub").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((dir + "\\sub\\deeper").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((dir + "\\sub2").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((dir + "\\sub2\\deep").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((dir + "\\sub2\\deep\\deepest").c_str(), nullptr));
    for (const char* f : {"\\a.txt", "\\sub\\b.txt", "\\sub2\\deep\\c.txt"}) {
        HANDLE h =
            CreateFileA((dir + f).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << f;
        CloseHandle(h);
    }
    emptyDirectory(dir, 1);
    EXPECT_FALSE(pathExists(std::string_view(dir + "\\a.txt")));
    EXPECT_FALSE(pathExists(std::string_view(dir + "\\sub")));
    // Below depth one the tree stays: sub2\deep keeps its file and subfolder.
    EXPECT_TRUE(pathExists(std::string_view(dir + "\\sub2\\deep\\c.txt")));
    emptyDirectory(dir, 3);
    EXPECT_TRUE(RemoveDirectoryA(dir.c_str()));
    tempDirectory().clear();
}

TEST(TempDirectory, RelativeOrEmptyPathsAreNeverEmptied) {
    const std::string marker = ".\\keep-me.txt";
    HANDLE h = CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    emptyDirectory(".", 1);
    emptyDirectory("", 1);
    EXPECT_TRUE(pathExists(std::string_view(marker)));
    DeleteFileA(marker.c_str());
}

TEST(TempFileName, CreatedInTheTempBase) {
    const std::string name = makeTempFileName();
    EXPECT_EQ(name.rfind(tempBaseNarrow(), 0), 0u) << name;
    EXPECT_TRUE(pathExists(std::string_view(name)));
    DeleteFileA(name.c_str());
}
