#include "config/expansion.h"

#include <gtest/gtest.h>

#include <chrono>

#include "common/log_host.h"

using namespace launcher;

namespace {

ExpansionValues<wchar_t> wideValues() {
    return {L"C:\\app\\", L"C:\\t\\lmx1.tmp_dir9", L"C:\\jdk\\bin\\..", L"C:\\Temp\\"};
}

std::wstring expand(std::wstring text, const std::vector<std::wstring>& env = {}) {
    expandTokens(text, wideValues(), env);
    return text;
}

}  // namespace

TEST(Expansion, FixedTokensTakeTheirValues) {
    EXPECT_EQ(expand(L"-Dapp.home=${LUMEX_EXEDIR}lib"), L"-Dapp.home=C:\\app\\lib");
    EXPECT_EQ(expand(L"a%PARCELKIT_PATHLIST_SEPARATOR%b${LUMEX_PATHLIST_SEPARATOR}c"), L"a;b;c");
    EXPECT_EQ(expand(L"%LUMEX_TEMPDIR%|${PARCELKIT_TEMPDIR}|${launcher:sys.launcherTempDirectory}"),
              L"C:\\t\\lmx1.tmp_dir9|C:\\t\\lmx1.tmp_dir9|C:\\t\\lmx1.tmp_dir9");
    EXPECT_EQ(expand(L"${launcher:sys.jvmHome}|%PARCELKIT_JVM_HOME%"),
              L"C:\\jdk\\bin\\..|C:\\jdk\\bin\\..");
    EXPECT_EQ(expand(L"${launcher:sys.tempDir}x"), L"C:\\Temp\\x");
    EXPECT_EQ(expand(L"${launcher:sys.launcherDirectory}"), L"C:\\app\\");
}

TEST(Expansion, EmptyJvmHomeBeforeARuntimeIsChosen) {
    std::wstring text = L"[${launcher:sys.jvmHome}]";
    expandTokens(text, ExpansionValues<wchar_t>{L"C:\\app\\", L"", L"", L"C:\\T"}, {});
    EXPECT_EQ(text, L"[]");
}

TEST(Expansion, UnknownReferencesStayUnchanged) {
    EXPECT_EQ(expand(L"${UNKNOWN_VAR} %JAVA_HOME% %PATH% ${", {L"PATH=x", L"JAVA_HOME=y"}),
              L"${UNKNOWN_VAR} %JAVA_HOME% %PATH% ${");
}

TEST(Expansion, VariablesMatchAsStoredOrUpperCased) {
    const std::vector<std::wstring> env = {L"Path=C:\\w"};
    EXPECT_EQ(expand(L"${Path}|${PATH}|${path}", env), L"C:\\w|C:\\w|${path}");
}

TEST(Expansion, ValuesAreSearchedOnlyByLaterVariables) {
    EXPECT_EQ(expand(L"${FOO}", {L"FOO=${BAR}", L"BAR=bar"}), L"bar");
    EXPECT_EQ(expand(L"${FOO}", {L"BAR=bar", L"FOO=${BAR}"}), L"${BAR}");
    // A token is one pass: its own value is not searched for it again.
    EXPECT_EQ(expand(L"${launcher:sys.tempDir}", {}), L"C:\\Temp\\");
    std::wstring text = L"%LUMEX_EXEDIR%";
    expandTokens(text, ExpansionValues<wchar_t>{L"%LUMEX_EXEDIR%x", L"", L"", L""}, {});
    EXPECT_EQ(text, L"%LUMEX_EXEDIR%x");
}

TEST(Expansion, HiddenPerDriveEntriesGiveTheEmptyNameToken) {
    EXPECT_EQ(expand(L"<${}>", {L"=C:=C:\\work", L"X=1"}), L"<C:=C:\\work>");
    EXPECT_EQ(expand(L"<${NOEQUALS}>", {L"NOEQUALS"}), L"<${NOEQUALS}>");
}

TEST(Expansion, EachOccurrenceIsReplacedAndLogged) {
    (void)takeLogLines();
    std::wstring text = L"${A}-${A}-${A}";
    EXPECT_EQ(replaceAllOccurrences(text, L"${A}", L"alpha"), 3u);
    EXPECT_EQ(text, L"alpha-alpha-alpha");
    const auto lines = takeLogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], L"expanding2 ${A} to alpha.");
    std::string narrow = "x%LUMEX_EXEDIR%";
    expandTokens(narrow, ExpansionValues<char>{"D:\\a\\", "", "", "T"}, {"A=b"});
    EXPECT_EQ(narrow, "xD:\\a\\");
    EXPECT_EQ(takeLogLines(), std::vector<std::wstring>{L"expanding2 %LUMEX_EXEDIR% to D:\\a\\."});
}

TEST(Expansion, ALongLineOfTokensIsOnePass) {
    // 100,000 separator tokens: the same text and log lines as one replacement after another,
    // in time proportional to the line (a second or two here, where moving the rest of the line
    // once per token took most of a minute).
    std::string line;
    for (int i = 0; i < 100000; ++i) line += "%LUMEX_PATHLIST_SEPARATOR%a";
    (void)takeLogLines();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(replaceAllOccurrences(line, "%LUMEX_PATHLIST_SEPARATOR%", ";"), 100000u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    std::string expected;
    for (int i = 0; i < 100000; ++i) expected += ";a";
    EXPECT_EQ(line, expected);
    const auto lines = takeLogLines();
    ASSERT_EQ(lines.size(), 100000u);
    EXPECT_EQ(lines.back(), L"expanding2 %LUMEX_PATHLIST_SEPARATOR% to ;.");
    // A value that would pass the length limit stops the replacements where it would.
    std::wstring wide = L"${A}${A}${A}";
    const std::wstring half(kMaxExpandedLength / 2, L'h');
    EXPECT_EQ(replaceAllOccurrences(wide, L"${A}", half), 1u);
    EXPECT_EQ(wide, half + L"${A}${A}");
    EXPECT_EQ(takeLogLines().back(),
              L"ERROR: expansion stopped: the text would exceed 1048576 characters");
}

TEST(Expansion, SelfMultiplyingValuesStopAtTheLimit) {
    std::vector<std::wstring> env;
    for (int i = 0; i < 24; ++i) {
        env.push_back(L"V" + std::to_wstring(i) + L"=${V" + std::to_wstring(i + 1) + L"}${V" +
                      std::to_wstring(i + 1) + L"}");
    }
    std::wstring text = L"${V0}";
    expandTokens(text, wideValues(), env);
    EXPECT_LE(text.size(), kMaxExpandedLength);
    (void)takeLogLines();
}

TEST(EnvironmentEntries, SplitsTheBlock) {
    const wchar_t block[] = L"=C:=C:\\x\0A=1\0B=\0\0";
    EXPECT_EQ(environmentEntries(block), (std::vector<std::wstring>{L"=C:=C:\\x", L"A=1", L"B="}));
    EXPECT_TRUE(environmentEntries(static_cast<const char*>(nullptr)).empty());
}
