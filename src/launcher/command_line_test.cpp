#include "launcher/command_line.h"

#include <gtest/gtest.h>

using launcher::Command;
using launcher::DispatchDecision;
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

TEST(CommandWord, StripsOneSlashOrHyphenAndOneFollowingHyphen) {
    EXPECT_EQ(launcher::commandWord(L"/install"), L"install");
    EXPECT_EQ(launcher::commandWord(L"-install"), L"install");
    EXPECT_EQ(launcher::commandWord(L"--install"), L"install");
    EXPECT_EQ(launcher::commandWord(L"/-install"), L"install");
    EXPECT_EQ(launcher::commandWord(L"//install"), L"/install");
    EXPECT_EQ(launcher::commandWord(L"/--install"), L"-install");
    EXPECT_EQ(launcher::commandWord(L"/"), L"");
    EXPECT_FALSE(launcher::commandWord(L"install").has_value());
    EXPECT_FALSE(launcher::commandWord(L"").has_value());
}

TEST(LookupCommand, ExactAndCaseSensitive) {
    EXPECT_EQ(launcher::lookupCommand(L"?"), Command::Help);
    EXPECT_EQ(launcher::lookupCommand(L"help"), Command::Help);
    EXPECT_EQ(launcher::lookupCommand(L"install-and-start"), Command::InstallAndStart);
    EXPECT_EQ(launcher::lookupCommand(L"run-redirect"), Command::RunRedirect);
    EXPECT_EQ(launcher::lookupCommand(L"status"), Command::Status);
    EXPECT_EQ(launcher::lookupCommand(L"INSTALL"), Command::None);
    EXPECT_EQ(launcher::lookupCommand(L"Install"), Command::None);
    EXPECT_EQ(launcher::lookupCommand(L"install "), Command::None);
    EXPECT_EQ(launcher::lookupCommand(L""), Command::None);
}

TEST(DecideDispatch, MarkerLastRunsTheServiceChildWhateverElse) {
    auto d = launcher::decideDispatch({L"x.exe", L"/install", L"x", L"__pkx_restart"});
    EXPECT_EQ(d.road, DispatchDecision::Road::ServiceChild);
    EXPECT_EQ(d.arguments, (Args{L"/install", L"x"}));
    EXPECT_FALSE(d.serviceName.has_value());
    EXPECT_EQ(d.programPath, L"x.exe");
}

TEST(DecideDispatch, MarkerOnlyCountsAsLastWholeArgument) {
    auto d = launcher::decideDispatch({L"x.exe", L"__pkx_restart", L"a"});
    EXPECT_EQ(d.road, DispatchDecision::Road::Dispatcher);
    d = launcher::decideDispatch({L"x.exe", L"__PKX_RESTART"});
    EXPECT_EQ(d.road, DispatchDecision::Road::Dispatcher);
}

TEST(DecideDispatch, ServiceNameFollowsTheCommandWordEvenForUnknownWords) {
    auto d = launcher::decideDispatch({L"x.exe", L"/foo", L"MySvc"});
    EXPECT_EQ(d.road, DispatchDecision::Road::Dispatcher);
    EXPECT_EQ(d.serviceName, L"MySvc");
    d = launcher::decideDispatch({L"x.exe", L"/start", L"MySvc", L"a", L"b"});
    EXPECT_EQ(d.road, DispatchDecision::Road::Command);
    EXPECT_EQ(d.command, Command::Start);
    EXPECT_EQ(d.serviceName, L"MySvc");
    EXPECT_EQ(d.arguments, (Args{L"MySvc", L"a", L"b"}));
}

TEST(DecideDispatch, NoCommandWordGoesToTheDispatcher) {
    EXPECT_EQ(launcher::decideDispatch({L"x.exe"}).road, DispatchDecision::Road::Dispatcher);
    EXPECT_EQ(launcher::decideDispatch({L"x.exe", L"install"}).road,
              DispatchDecision::Road::Dispatcher);
    EXPECT_EQ(launcher::decideDispatch({L"x.exe", L"/INSTALL"}).road,
              DispatchDecision::Road::Dispatcher);
    EXPECT_EQ(launcher::decideDispatch({L"x.exe", L"/"}).road, DispatchDecision::Road::Dispatcher);
    const auto empty = launcher::decideDispatch({});
    EXPECT_EQ(empty.road, DispatchDecision::Road::Dispatcher);
    EXPECT_EQ(empty.programPath, L"");
}

TEST(DecideDispatch, HelpWordsAreCommands) {
    EXPECT_EQ(launcher::decideDispatch({L"x", L"/?"}).command, Command::Help);
    EXPECT_EQ(launcher::decideDispatch({L"x", L"-help"}).command, Command::Help);
    EXPECT_EQ(launcher::decideDispatch({L"x", L"--help"}).command, Command::Help);
}

TEST(UsageProgramName, DropsDirectoryAndLastExtension) {
    EXPECT_EQ(launcher::usageProgramName(L"C:\\App\\my.service.exe"), L"my.service");
    EXPECT_EQ(launcher::usageProgramName(L"C:\\a.b\\launcher"), L"launcher");
    EXPECT_EQ(launcher::usageProgramName(L"C:launcher.exe"), L"launcher");
    EXPECT_EQ(launcher::usageProgramName(L"x/y/z.exe"), L"z");
    EXPECT_EQ(launcher::usageProgramName(L""), L"");
}
