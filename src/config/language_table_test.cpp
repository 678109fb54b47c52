#include "config/language_table.h"

#include <gtest/gtest.h>

#include <cctype>

#include "toml_keys.h"

using launcher::languageCodeFor;

namespace {

// xx, xx_YY, or the one three-part code no_NO_NY.
bool wellShaped(std::string_view c) {
    const auto lower = [](char ch) { return std::islower(static_cast<unsigned char>(ch)) != 0; };
    const auto upper = [](char ch) { return std::isupper(static_cast<unsigned char>(ch)) != 0; };
    if (c == "no_NO_NY") return true;
    if ((c.size() != 2 && c.size() != 5) || !lower(c[0]) || !lower(c[1])) return false;
    return c.size() == 2 || (c[2] == '_' && upper(c[3]) && upper(c[4]));
}

}  // namespace

// Rows of full identifiers (some with no country, some sharing a code), then identifiers not in
// the table: their primary language's row (0x0C0B fi), else English (0x0428).
TEST(LanguageCodeFor, FullIdentifierThenPrimaryLanguageThenEnglish) {
    const struct {
        uint16_t langId;
        const char* code;
    } cases[] = {
        {0x0407, "de_DE"}, {0x0807, "de_CH"},    {0x0C07, "de_AT"}, {0x1407, "de_LI"},
        {0x0409, "en_US"}, {0x0814, "no_NO_NY"}, {0x0421, "in_ID"}, {0x040D, "iw_IL"},
        {0x0007, "de"},    {0x0431, "ts"},       {0x2409, "en"},    {0x500A, "es_PR"},
        {0x040A, "es_ES"}, {0x0C0A, "es_ES"},    {0x0412, "ko_KR"}, {0x0812, "ko_KR"},
        {0x042C, "az_AZ"}, {0x082C, "az_AZ"},    {0x0443, "uz_UZ"}, {0x0843, "uz_UZ"},
        {0x081A, "sr_CS"}, {0x0C1A, "sr_CS"},    {0x0C0B, "fi"},    {0x4409, "en"},
        {0x101A, "sr"},    {0x0856, "gl"},       {0x0428, "en"},    {0x0000, "en"},
        {0x0028, "en"},    {0xFFFF, "en"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(languageCodeFor(c.langId), c.code) << std::hex << c.langId;
    }
}

TEST(LanguageTable, EveryRowIsWellShapedAndFoundByItsIdentifier) {
    ASSERT_EQ(launcher::languageTable().size(), 215u);
    for (const auto& row : launcher::languageTable()) {
        EXPECT_TRUE(wellShaped(row.code)) << row.code;
        EXPECT_EQ(languageCodeFor(row.langId), row.code) << std::hex << row.langId;
        if (row.langId < 0x400) {
            EXPECT_EQ(std::string_view(row.code).size(), 2u) << row.code;
        }
    }
}

// The packing tool accepts a language section for every code of the table and its language,
// and for nothing the launcher never chooses.
TEST(LanguageTable, ThePackingToolKnowsEveryCode) {
    for (const auto& row : launcher::languageTable()) {
        const std::string_view code = row.code;
        EXPECT_TRUE(pack::isLanguageKey(code)) << code;
        EXPECT_TRUE(pack::isLanguageKey(code.substr(0, 2))) << code;
    }
    for (const char* key :
         {"", "xx", "de_XX", "d", "DE", "de_", "en_US ", "xh_ZA", "no_NO_N", "_N"}) {
        EXPECT_FALSE(pack::isLanguageKey(key)) << key;
    }
}
