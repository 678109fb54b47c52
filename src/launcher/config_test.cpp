#include "launcher/config.h"

#include <gtest/gtest.h>

#include "log/log_host.h"

namespace {

class ConfigAccess : public ::testing::Test {
protected:
    void SetUp() override {
        launcher::configStrings().clear();
        launcher::localizedStrings().clear();
        (void)launcher::takeLogLines();
    }
};

}  // namespace

TEST_F(ConfigAccess, AbsentIdsReadAsEmptyOrZero) {
    EXPECT_EQ(launcher::getConfigString(101, 6000), "");
    EXPECT_EQ(launcher::getConfigInt(107), 0);
    std::wstring w = L"keep";
    EXPECT_FALSE(launcher::getConfigWide(101, w));
    EXPECT_EQ(w, L"keep");
    std::string s = "keep";
    launcher::appendConfigString(10003, s);
    EXPECT_EQ(s, "keep");
    EXPECT_EQ(launcher::dupConfigString(121), "");
    EXPECT_EQ(launcher::getConfigStringAsWide(149, 6000), L"");
    EXPECT_EQ(launcher::getLocalizedString(20017), L"");
    EXPECT_EQ(launcher::getMessageText(1009), L"");
    EXPECT_TRUE(launcher::takeLogLines().empty());
}

TEST_F(ConfigAccess, ConfigIntConvertsLikeAtoi) {
    auto value = [](const char* text) {
        launcher::configStrings()[1] = text;
        return launcher::getConfigInt(1);
    };
    EXPECT_EQ(value("12abc"), 12);
    EXPECT_EQ(value("abc"), 0);
    EXPECT_EQ(value(" 7"), 7);
    EXPECT_EQ(value("\t\n-42x"), -42);
    EXPECT_EQ(value("+5"), 5);
    EXPECT_EQ(value("- 5"), 0);
    EXPECT_EQ(value("99999999999999999999"), 2147483647);
    EXPECT_EQ(value("-99999999999999999999"), -2147483647 - 1);
    EXPECT_EQ(value(""), 0);
}

TEST_F(ConfigAccess, CutStringIsLoggedWithMaximumAndLength) {
    launcher::configStrings()[2001] = "0123456789";
    EXPECT_EQ(launcher::getConfigString(2001, 2), "0");
    EXPECT_EQ(launcher::takeLogLines(),
              std::vector<std::wstring>{L"ERROR: config string 2001 truncated (2 10)"});
    EXPECT_EQ(launcher::getConfigString(2001, 11), "0123456789");
    EXPECT_TRUE(launcher::takeLogLines().empty());
}

TEST_F(ConfigAccess, WideningIsByteByByte) {
    launcher::configStrings()[101] = "Sv\xE9\x80";
    std::wstring w = L"pre-";
    EXPECT_TRUE(launcher::getConfigWide(101, w));
    EXPECT_EQ(w, std::wstring(L"pre-Sv\x00E9\x0080"));
    std::string s = "a;";
    launcher::appendConfigString(101, s);
    EXPECT_EQ(s, "a;Sv\xE9\x80");
}

TEST_F(ConfigAccess, LongWideValuesAreCutInsideTheirBuffer) {
    launcher::configStrings()[149] = std::string(7000, 'd');
    EXPECT_EQ(launcher::getConfigStringAsWide(149, 6000).size(), 5999u);
    launcher::localizedStrings()[20017] = std::wstring(6500, L'x');
    EXPECT_EQ(launcher::getLocalizedString(20017).size(), 5999u);
    EXPECT_EQ(launcher::takeLogLines().size(), 2u);
}

TEST_F(ConfigAccess, MessageTextFallsBackToTheConfigString) {
    launcher::configStrings()[1016] = "No JVM {0}";
    EXPECT_EQ(launcher::getMessageText(1016), L"No JVM {0}");
    launcher::localizedStrings()[1016] = L"";
    EXPECT_EQ(launcher::getMessageText(1016), L"No JVM {0}");
    launcher::localizedStrings()[1016] = L"Keine JVM {0}";
    EXPECT_EQ(launcher::getMessageText(1016), L"Keine JVM {0}");
}
