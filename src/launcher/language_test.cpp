#include "launcher/language.h"

#include <gtest/gtest.h>

TEST(SplitLanguageCode, LanguageAlwaysCountryOnlyForFiveCharacters) {
    const struct {
        const char *code, *language, *country;
    } cases[] = {
        {"de_CH", "de", "CH"}, {"de_AT", "de", "AT"}, {"fi", "fi", ""},  {"no_NO_NY", "no", ""},
        {"e", "", ""},         {"", "", ""},          {"abc", "ab", ""},
    };
    for (const auto& c : cases) {
        const auto codes = launcher::splitLanguageCode(c.code);
        EXPECT_EQ(codes.language, c.language) << c.code;
        EXPECT_EQ(codes.country, c.country) << c.code;
    }
}
