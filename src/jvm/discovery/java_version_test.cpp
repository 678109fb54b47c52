#include "jvm/discovery/java_version.h"

#include <gtest/gtest.h>

#include <climits>

#include "common/log_host.h"

using namespace launcher;

TEST(ParseVersion, SplitsAtSeparatorsAndReadsLikeAtoi) {
    const struct {
        const char* text;
        VersionList expected;
    } cases[] = {{"1.8.0_292", {1, 8, 0, 292}},
                 {"17.0.1+12", {17, 0, 1, 12}},
                 {"21-ea", {21, 0}},
                 {"zulu-17", {0, 17}},
                 {"..1__2+", {1, 2}},
                 {" \t7x.9", {7, 9}},
                 {"2147483648", {INT_MAX}},
                 {"99999999999999999999.1", {INT_MAX, 1}}};
    for (const auto& c : cases) EXPECT_EQ(parseVersion(c.text), c.expected) << c.text;
    EXPECT_TRUE(isLegacyMinimum(parseVersion("1.7")));
    EXPECT_TRUE(isLegacyMinimum(parseVersion("1.6.0_45")));
    for (const char* text : {"1.8", "11", "1", ""})
        EXPECT_FALSE(isLegacyMinimum(parseVersion(text)));
}

TEST(VersionBounds, InclusiveOverTheBoundsLengthWithPrefixMode) {
    const struct {
        const char *bound, *version;
        bool upper, prefix, expected;
    } cases[] = {
        {"", "1.8", false, false, true},
        {"11", "1.8.0_292", false, false, false},
        {"1.8", "1.8.0_292", true, false, true},
        {"1.8", "9.0.4", true, false, false},
        {"17", "17.0.9", true, false, true},
        {"1.8", "1.8", false, false, true},
        {"1.8.0_100", "1.8", false, false, false},
        {"1.8.0_100", "1.8", false, true, true},
        {"17.0.2", "17", false, true, true},
        {"1.8.0_100", "1.9", false, false, true},
        {"1.8.0_100", "1.8.0_99", false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            checkVersionBound(parseVersion(c.bound), parseVersion(c.version), c.upper, c.prefix),
            c.expected)
            << c.bound << " " << c.version << " " << c.upper << c.prefix;
    }
    EXPECT_FALSE(checkVersionBound({INT_MIN}, {INT_MAX}, true, false));
    EXPECT_TRUE(versionKeyInRange("17", {17, 0, 2}, {}));
    EXPECT_TRUE(versionKeyInRange("1.8", {1, 8, 0, 100}, {1, 8}));
}

TEST(VersionAcceptable, PreReleaseMarkersUnlessAllowed) {
    (void)takeLogLines();
    EXPECT_FALSE(versionAcceptable("21-ea", {}, {}, false));
    EXPECT_EQ(takeLogLines(), std::vector<std::wstring>{L"beta vm not allowed"});
    EXPECT_TRUE(versionAcceptable("21-ea", {}, {}, true));
    EXPECT_FALSE(versionAcceptable("9-beta", {}, {}, false));
    EXPECT_FALSE(versionAcceptable("1.8.0-rc1", {}, {}, false));
    EXPECT_TRUE(versionAcceptable("17-BETA", {}, {}, false));
    EXPECT_FALSE(versionAcceptable("1.8.0_292", {11}, {}, true));
    EXPECT_FALSE(versionAcceptable("9.0.4", {}, {1, 8}, true));
}

TEST(IsNewerVersion, FirstDifferenceDecidesAndLongerBeatsPrefix) {
    const struct {
        const char *a, *b;
        bool expected;
    } cases[] = {{"1.8.0", "1.8", true},    {"1.8", "1.8.0", false},
                 {"17", "17", false},       {"17.0", "17-0", false},
                 {"", "1", false},          {"1", "", true},
                 {"11", "1.8.0_292", true}, {"1.8.0_292", "1.8.0_301", false},
                 {"zulu-17", "1.8", false}};
    for (const auto& c : cases)
        EXPECT_EQ(isNewerVersion(c.a, c.b), c.expected) << c.a << " " << c.b;
}

TEST(VersionFromOutput, LastMatchingLineWins) {
    const struct {
        const char* output;
        std::optional<std::string> expected;
    } cases[] = {
        {"openjdk version \"17.0.1\" 2021-10-19\r\nOpenJDK Runtime Environment\r\n", "17.0.1"},
        {"a version \"1\"\nPicked up x\nb version \"21-ea\"\n", "21-ea"},
        {"x version \"17.0.1xy", "17.0.1"},
        {"x version \"1\n2\" tail", ""},
        {"version \"1\"\njava version 17\n", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(versionFromOutput(c.output), c.expected) << c.output;
    (void)takeLogLines();
    (void)versionFromOutput("a version \"1\"\nb version \"2\"");
    EXPECT_EQ(takeLogLines(),
              (std::vector<std::wstring>{L"Java version2: 1", L"Java version2: 2"}));
}
