#include "env/path_environment.h"

#include <gtest/gtest.h>

using launcher::pathEntriesInside;

TEST(PathEntriesInside, KeepsEntriesBeginningWithTheWindowsDirectory) {
    EXPECT_EQ(pathEntriesInside(L"c:\\windows\\system32;C:\\Tools;C:\\WINDOWS", L"C:\\Windows"),
              L"c:\\windows\\system32;C:\\WINDOWS");
    // A prefix match, not a folder match.
    EXPECT_EQ(pathEntriesInside(L"C:\\WindowsApps;;D:\\x;", L"C:\\Windows"), L"C:\\WindowsApps");
}

TEST(PathEntriesInside, NothingInsideGivesNothing) {
    EXPECT_EQ(pathEntriesInside(L"C:\\Tools;D:\\bin", L"C:\\Windows"), L"");
    EXPECT_EQ(pathEntriesInside(L"", L"C:\\Windows"), L"");
    EXPECT_EQ(pathEntriesInside(L"C:\\Win", L"C:\\Windows"), L"");
}
