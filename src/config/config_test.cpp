#include "config/config.h"

#include <gtest/gtest.h>

#include "common/log_host.h"

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
    EXPECT_EQ(launcher::getConfigString(launcher::Setting::ServiceName, 6000), "");
    EXPECT_EQ(launcher::getConfigInt(launcher::Setting::LauncherKind), 0);
    std::wstring w = L"keep";
    EXPECT_FALSE(launcher::getConfigWide(launcher::Setting::ServiceName, w));
    EXPECT_EQ(w, L"keep");
    std::string s = "keep";
    launcher::appendConfigString(launcher::Setting::ApplicationDirectory, s);
    EXPECT_EQ(s, "keep");
    EXPECT_EQ(launcher::dupConfigString(launcher::Setting::ClassPath), "");
    EXPECT_EQ(launcher::getConfigStringAsWide(launcher::Setting::ServiceDependencies, 6000), L"");
    EXPECT_EQ(launcher::getLocalizedString(launcher::Message::ServiceDescription), L"");
    EXPECT_EQ(launcher::getMessageText(launcher::Message::SetupFailed), L"");
    EXPECT_TRUE(launcher::takeLogLines().empty());
}

TEST_F(ConfigAccess, ConfigIntConvertsLikeAtoi) {
    auto value = [](const char* text) {
        launcher::configStrings()[launcher::idOf(launcher::Setting::LauncherKind)] = text;
        return launcher::getConfigInt(launcher::Setting::LauncherKind);
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
    launcher::configStrings()[launcher::idOf(launcher::Setting::ProductMarker)] = "0123456789";
    EXPECT_EQ(launcher::getConfigString(launcher::Setting::ProductMarker, 2), "0");
    EXPECT_EQ(launcher::takeLogLines(),
              std::vector<std::wstring>{L"ERROR: config string 2001 truncated (2 10)"});
    EXPECT_EQ(launcher::getConfigString(launcher::Setting::ProductMarker, 11), "0123456789");
    EXPECT_TRUE(launcher::takeLogLines().empty());
}

TEST_F(ConfigAccess, WideningIsByteByByte) {
    launcher::configStrings()[launcher::idOf(launcher::Setting::ServiceName)] = "Sv\xE9\x80";
    std::wstring w = L"pre-";
    EXPECT_TRUE(launcher::getConfigWide(launcher::Setting::ServiceName, w));
    EXPECT_EQ(w, std::wstring(L"pre-Sv\x00E9\x0080"));
    std::string s = "a;";
    launcher::appendConfigString(launcher::Setting::ServiceName, s);
    EXPECT_EQ(s, "a;Sv\xE9\x80");
}

TEST_F(ConfigAccess, LongWideValuesAreCutInsideTheirBuffer) {
    launcher::configStrings()[launcher::idOf(launcher::Setting::ServiceDependencies)] =
        std::string(7000, 'd');
    EXPECT_EQ(launcher::getConfigStringAsWide(launcher::Setting::ServiceDependencies, 6000).size(),
              5999u);
    launcher::localizedStrings()[launcher::idOf(launcher::Message::ServiceDescription)] =
        std::wstring(6500, L'x');
    EXPECT_EQ(launcher::getLocalizedString(launcher::Message::ServiceDescription).size(), 5999u);
    EXPECT_EQ(launcher::takeLogLines().size(), 2u);
}

TEST_F(ConfigAccess, MessageTextFallsBackToTheConfigString) {
    launcher::configStrings()[launcher::idOf(launcher::Message::NoJvmFound)] = "No JVM {0}";
    EXPECT_EQ(launcher::getMessageText(launcher::Message::NoJvmFound), L"No JVM {0}");
    launcher::localizedStrings()[launcher::idOf(launcher::Message::NoJvmFound)] = L"";
    EXPECT_EQ(launcher::getMessageText(launcher::Message::NoJvmFound), L"No JVM {0}");
    launcher::localizedStrings()[launcher::idOf(launcher::Message::NoJvmFound)] = L"Keine JVM {0}";
    EXPECT_EQ(launcher::getMessageText(launcher::Message::NoJvmFound), L"Keine JVM {0}");
}
