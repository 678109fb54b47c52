#include "common/command_line.h"

#include <gtest/gtest.h>

using Args = std::vector<std::wstring>;

static Args split(std::wstring_view text) {
    Args list;
    launcher::splitCommandLine(text, list);
    return list;
}

TEST(SplitCommandLine, SeparatorsMakeNoEmptyArguments) {
    EXPECT_EQ(split(L"a  b "), (Args{L"a", L"b"}));
    EXPECT_EQ(split(L"a\t\tb\t"), (Args{L"a", L"b"}));
}

TEST(SplitCommandLine, EmptyTextGivesNothing) {
    EXPECT_TRUE(split(L"").empty());
}

TEST(SplitCommandLine, LeadingWhitespaceGivesOneEmptyFirstElement) {
    EXPECT_EQ(split(L"  a b"), (Args{L"", L"a", L"b"}));
    EXPECT_EQ(split(L"   "), (Args{L""}));
}

TEST(SplitCommandLine, QuotesOpenAndCloseInsideAnArgument) {
    EXPECT_EQ(split(L"a\"b c\"d"), (Args{L"ab cd"}));
    EXPECT_EQ(split(L"\"C:\\Program Files\\x.exe\" /run"),
              (Args{L"C:\\Program Files\\x.exe", L"/run"}));
}

TEST(SplitCommandLine, DoubledQuotesInsideQuotesGiveOneLiteralQuote) {
    EXPECT_EQ(split(L"\"a\"\"b\""), (Args{L"a\"b"}));
    EXPECT_EQ(split(L"\"\"\""), (Args{L"\""}));
}

TEST(SplitCommandLine, BackslashesNeverEscapeQuotes) {
    EXPECT_EQ(split(L"\"C:\\dir\\\" x"), (Args{L"C:\\dir\\", L"x"}));
    EXPECT_EQ(split(L"a\\\\\"b c\""), (Args{L"a\\\\b c"}));
}

TEST(SplitCommandLine, EmptyQuotedArgumentGivesEmptyElement) {
    EXPECT_EQ(split(L"x \"\" y"), (Args{L"x", L"", L"y"}));
    EXPECT_EQ(split(L"x \"\""), (Args{L"x", L""}));
}

TEST(SplitCommandLine, UnterminatedQuoteRunsToTheEnd) {
    EXPECT_EQ(split(L"a \"b  c"), (Args{L"a", L"b  c"}));
}

TEST(SplitCommandLine, EmbeddedNulEndsTheText) {
    const std::wstring text(L"a b\0c d", 7);
    EXPECT_EQ(split(text), (Args{L"a", L"b"}));
}

TEST(NextCommandLineToken, ReturnsPositionOfNextArgument) {
    std::wstring out;
    const std::wstring text = L"ab  \"cd\"";
    auto next = launcher::nextCommandLineToken(text, 0, out);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(*next, 4u);
    EXPECT_EQ(out, L"ab");
    EXPECT_FALSE(launcher::nextCommandLineToken(text, *next, out).has_value());
    EXPECT_EQ(out, L"cd");
}
