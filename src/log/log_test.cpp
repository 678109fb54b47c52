#include "log/log.h"

#include <gtest/gtest.h>

#include "common/log_host.h"

TEST(LogSwitch, OnlyLowerCaseYes) {
    EXPECT_TRUE(launcher::isLogSwitchOn("yes"));
    EXPECT_FALSE(launcher::isLogSwitchOn("Yes"));
    EXPECT_FALSE(launcher::isLogSwitchOn("1"));
    EXPECT_FALSE(launcher::isLogSwitchOn("yes "));
    EXPECT_FALSE(launcher::isLogSwitchOn(""));
}

TEST(LogLinePrefix, SecondsAndMillisecondsWithoutLeadingZeros) {
    EXPECT_EQ(launcher::logLinePrefix(1000 + 61007, 1000), L"[61:7] ");
    EXPECT_EQ(launcher::logLinePrefix(120005, 0), L"[120:5] ");
    EXPECT_EQ(launcher::logLinePrefix(5, 5), L"[0:0] ");
}

TEST(LogLinePrefix, ElapsedUsesTheLow32BitsAcrossAWrap) {
    const uint64_t start = 0x1FFFFFF00ull;  // low half 0xFFFFFF00
    EXPECT_EQ(launcher::logLinePrefix(start + 0x200, start), L"[0:512] ");
}

TEST(LogFileName, FolderSeparatorAndNumbering) {
    EXPECT_EQ(launcher::logFolder(L"C:\\users\\me\\Temp"), L"C:\\users\\me\\Temp\\");
    EXPECT_EQ(launcher::logFolder(L"C:\\t\\"), L"C:\\t\\");
    EXPECT_EQ(launcher::logFolder(L"C:/t/"), L"C:/t/");
    EXPECT_EQ(launcher::logFolder(L""), L"c:\\");
    EXPECT_EQ(launcher::logFileName(L"c:\\", 3), L"c:\\pkx_nlog_3.log");
}

TEST(ReplacePlaceholder, FirstOccurrenceOnlyAndOnlyWithDetail) {
    const std::wstring detail = L"abc";
    EXPECT_EQ(launcher::replacePlaceholder(L"x {0} y {0}", &detail), L"x abc y {0}");
    EXPECT_EQ(launcher::replacePlaceholder(L"no place", &detail), L"no place");
    EXPECT_EQ(launcher::replacePlaceholder(L"x {0}", nullptr), L"x {0}");
    EXPECT_EQ(launcher::replacePlaceholder(L"", &detail), L"");
}

TEST(ErrorTextWithLog, LogPathFollowsTwoLineBreaks) {
    const std::wstring path = L"C:\\t\\pkx_nlog_1.log";
    EXPECT_EQ(launcher::errorTextWithLog(L"Failed", &path),
              L"Failed\n\nLog: C:\\t\\pkx_nlog_1.log");
    EXPECT_EQ(launcher::errorTextWithLog(L"Failed", nullptr), L"Failed");
}

TEST(LogMessage, FormatsThroughTheSink) {
    (void)launcher::takeLogLines();
    launcher::logMessage(L"Temp dir3: %S", std::string("C:\\x"));
    launcher::logError(L"failed to create directory %S", "d");
    EXPECT_EQ(
        launcher::takeLogLines(),
        (std::vector<std::wstring>{L"Temp dir3: C:\\x", L"ERROR: failed to create directory d"}));
}
