// Tests of the end-to-end harness itself: the host-side process runner and path rules, and the
// winrun helper under Wine (environment, quoting, message boxes, exit codes, timeouts).
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>

#include <string>
#include <thread>
#include <vector>

#include "wine_harness.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string windowsProgram(std::string_view name) {
    return e2e::toWinePath(e2e::helperPath(name));
}

// The "arg N: " lines of show_args' output, without the program name.
std::vector<std::string> shownArguments(const std::string& out) {
    std::vector<std::string> args;
    for (const auto& line : e2e::splitLines(out)) {
        if (line.starts_with("arg ") && !line.starts_with("arg 0: ")) {
            args.push_back(line.substr(line.find(": ") + 2));
        }
    }
    return args;
}

// How many live Unix processes have token in their command line (Wine processes show their
// Windows command line there).
int processesMentioning(const std::string& token) {
    int count = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const auto cmdline = e2e::readFile(entry.path() / "cmdline");
        if (cmdline && cmdline->find(token) != std::string::npos &&
            entry.path().filename() != std::to_string(::getpid())) {
            ++count;
        }
    }
    return count;
}

}  // namespace

// ---- host side, no Wine ----

TEST(HarnessPaths, UnixToWineAndBack) {
    EXPECT_EQ(e2e::toWinePath("/tmp/a b/c.exe"), "Z:\\tmp\\a b\\c.exe");
    EXPECT_EQ(e2e::toWinePath("/"), "Z:\\");
    EXPECT_EQ(e2e::toWinePath("/tmp/x/../y/"), "Z:\\tmp\\y");
    EXPECT_EQ(e2e::fromWinePath("Z:\\tmp\\a b\\c.exe"), fs::path("/tmp/a b/c.exe"));
    EXPECT_EQ(e2e::fromWinePath("z:/tmp/x"), fs::path("/tmp/x"));
    EXPECT_EQ(e2e::fromWinePath(e2e::toWinePath(e2e::scratchDir())), e2e::scratchDir());
}

TEST(HarnessPaths, DriveCLiesInThePrefix) {
    EXPECT_EQ(e2e::fromWinePath("C:\\no-such-dir\\f.txt"),
              e2e::winePrefix() / "drive_c" / "no-such-dir" / "f.txt");
    EXPECT_EQ(e2e::fromWinePath("D:\\x"), e2e::winePrefix() / "dosdevices" / "d:" / "x");
}

TEST(HarnessPaths, DriveCMatchesExistingNamesCaseInsensitively) {
    e2e::prepareWine();
    const fs::path system32 = e2e::fromWinePath("C:\\WINDOWS\\SYSTEM32");
    EXPECT_EQ(system32, e2e::winePrefix() / "drive_c" / "windows" / "system32");
    EXPECT_TRUE(fs::is_directory(system32)) << system32;
}

TEST(HarnessFiles, Utf8FileWithByteOrderMark) {
    const fs::path file = e2e::scratchDir() / "log.txt";
    e2e::writeFile(file, "\xEF\xBB\xBF[0:0] first\r\nsecond \xC3\xA4\r\n");
    const auto text = e2e::readUtf8File(file);
    ASSERT_TRUE(text.has_value());
    EXPECT_TRUE(text->hadBom);
    EXPECT_EQ(e2e::splitLines(text->text),
              (std::vector<std::string>{"[0:0] first", "second \xC3\xA4"}));

    e2e::writeFile(file, "plain\n");
    EXPECT_FALSE(e2e::readUtf8File(file)->hadBom);
    EXPECT_FALSE(e2e::readUtf8File(e2e::scratchDir() / "missing.txt").has_value());
}

TEST(HarnessFiles, ScratchDirIsFreshPerTestAndStable) {
    const fs::path dir = e2e::scratchDir();
    EXPECT_EQ(dir.filename(), "HarnessFiles.ScratchDirIsFreshPerTestAndStable");
    EXPECT_TRUE(fs::is_directory(dir));
    EXPECT_TRUE(fs::is_empty(dir));
    e2e::writeFile(dir / "kept.txt", "x");
    EXPECT_EQ(e2e::scratchDir(), dir);
    EXPECT_TRUE(fs::exists(dir / "kept.txt"));
}

TEST(HarnessMessageBoxFile, ParsesEscapedRecords) {
    const auto boxes = e2e::parseMessageBoxFile(
        "caption: Error\ntext: line1\\r\\nC:\\\\dir\\\\x\ncaption: \ntext: \xC3\xA4\n");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], (e2e::MessageBoxRecord{"Error", "line1\r\nC:\\dir\\x"}));
    EXPECT_EQ(boxes[1], (e2e::MessageBoxRecord{"", "\xC3\xA4"}));
}

TEST(HarnessProcess, CapturesBothStreamsAndTheExitCode) {
    e2e::RunOptions options;
    options.stdinData = "from stdin";
    options.unixEnv = {{"E2E_VALUE", "v1"}};
    const auto r = e2e::runProcess(
        {"sh", "-c", "cat; echo \" $E2E_VALUE\"; echo to-err >&2; exit 3"}, options);
    EXPECT_EQ(r.exitCode, 3) << r.describe();
    EXPECT_EQ(r.out, "from stdin v1\n");
    EXPECT_EQ(r.err, "to-err\n");
    EXPECT_FALSE(r.timedOut);
}

TEST(HarnessProcess, KillsAtTheTimeout) {
    e2e::RunOptions options;
    options.timeout = 500ms;
    const auto r = e2e::runProcess({"sh", "-c", "echo started; sleep 30"}, options);
    EXPECT_TRUE(r.timedOut) << r.describe();
    EXPECT_EQ(r.signal, SIGKILL);
    EXPECT_EQ(r.out, "started\n");
    EXPECT_LT(r.seconds, 10.0);
}

TEST(HarnessProcess, BoundsTheOutput) {
    e2e::RunOptions options;
    options.maxOutputBytes = 1000;
    const auto r = e2e::runProcess({"sh", "-c", "head -c 100000 /dev/zero"}, options);
    EXPECT_EQ(r.exitCode, 0) << r.describe();
    EXPECT_TRUE(r.truncated);
    EXPECT_EQ(r.out.size(), 1000u);
}

// ---- under Wine ----

TEST(HarnessWine, RunsABuiltinProgramWithSeparateStreams) {
    const auto r = e2e::runWine("cmd", {"/c", "echo to-out& echo to-err 1>&2& exit /b 5"});
    EXPECT_EQ(r.exitCode, 5) << r.describe();
    EXPECT_EQ(r.out, "to-out\r\n") << r.describe();
    EXPECT_EQ(r.err, "to-err \r\n") << r.describe();
}

TEST(Winrun, AnswersMessageBoxesAndRecordsThem) {
    const auto r = e2e::runViaWinrun(e2e::helperPath("msgbox_demo"),
                                     {"7", "First caption", "line one\\nline two C:\\dir",
                                      "Zweite \xC3\x9C"
                                      "berschrift",
                                      "\xE2\x82\xAC 5"});
    ASSERT_EQ(r.exitCode, 7u) << r.describe();
    EXPECT_EQ(r.run.exitCode, 7);
    ASSERT_EQ(r.messageBoxes.size(), 2u) << r.describe();
    EXPECT_EQ(r.messageBoxes[0].caption, "First caption");
    EXPECT_EQ(r.messageBoxes[0].text, "line one\nline two C:\\dir");
    EXPECT_EQ(r.messageBoxes[1].caption,
              "Zweite \xC3\x9C"
              "berschrift");
    EXPECT_EQ(r.messageBoxes[1].text, "\xE2\x82\xAC 5");
    // A GUI-subsystem child still writes to the standard handles winrun hands down; the dialog
    // returned IDOK (1) both times.
    EXPECT_EQ(r.out(), "box 1: 1\nbox 2: 1\n");
    EXPECT_EQ(r.err(), "done\n");
}

TEST(Winrun, AnswersMessageBoxesOfGrandchildren) {
    // cmd starts msgbox_demo through start.exe: the box belongs to a grandchild of winrun.
    const auto r = e2e::runViaWinrun("cmd", {"/c", "start /wait " + windowsProgram("msgbox_demo") +
                                                       " 3 Grandchild Text& exit /b 4"});
    ASSERT_EQ(r.exitCode, 4u) << r.describe();
    ASSERT_EQ(r.messageBoxes.size(), 1u) << r.describe();
    EXPECT_EQ(r.messageBoxes[0], (e2e::MessageBoxRecord{"Grandchild", "Text"}));
}

TEST(Winrun, HandsStandardInputToAGuiChild) {
    e2e::WinrunOptions options;
    options.stdinData = "first line\r\n0\n";
    const auto r =
        e2e::runViaWinrun(e2e::helperPath("msgbox_demo"), {"--echo-stdin", "0"}, options);
    ASSERT_EQ(r.exitCode, 0u) << r.describe();
    EXPECT_EQ(r.out(), "first line\r\n0\n");
}

TEST(Winrun, PassesEnvironmentChangesToTheChild) {
    e2e::WinrunOptions options;
    options.env = {{"E2E_FOO", "bar baz"}, {"TMP", "Z:\\tmp\\e2e tmp"}};
    options.unixEnv = {{"E2E_INHERITED", "yes"}, {"E2E_REMOVED", "present"}};
    options.unset = {"e2e_removed"};  // names compare case-insensitively
    const auto r = e2e::runViaWinrun(
        "cmd", {"/c", "echo [%E2E_FOO%] [%TMP%] [%E2E_INHERITED%] [%E2E_REMOVED%]"}, options);
    ASSERT_EQ(r.exitCode, 0u) << r.describe();
    EXPECT_EQ(r.out(), "[bar baz] [Z:\\tmp\\e2e tmp] [yes] [%E2E_REMOVED%]\r\n") << r.describe();
}

TEST(Winrun, QuotesArgumentsSoTheChildReadsThemBack) {
    const std::vector<std::string> args = {
        "plain", "two words", "quote\"inside", "trailing\\",          "space and trailing\\",
        "",      "a\\\\\"b",  "tab\there",     "\xC3\xBC\xE2\x82\xAC"};
    const auto r = e2e::runViaWinrun(e2e::helperPath("show_args"), args);
    ASSERT_EQ(r.exitCode, args.size()) << r.describe();
    EXPECT_EQ(shownArguments(r.out()), args) << r.describe();
}

TEST(Winrun, RawArgumentsReachTheChildVerbatim) {
    e2e::WinrunOptions options;
    options.rawArgs = "\"a b\"c  d\\\"e";
    const auto r = e2e::runViaWinrun(e2e::helperPath("show_args"), {}, options);
    ASSERT_EQ(r.exitCode, 2u) << r.describe();
    EXPECT_NE(r.out().find("cmdline: " + windowsProgram("show_args") + " \"a b\"c  d\\\"e\n"),
              std::string::npos)
        << r.describe();
    EXPECT_EQ(shownArguments(r.out()), (std::vector<std::string>{"a bc", "d\"e"}));
}

TEST(Winrun, SetsTheWorkingDirectory) {
    e2e::WinrunOptions options;
    options.cwd = e2e::scratchDir();
    const auto r = e2e::runViaWinrun(e2e::helperPath("show_args"), {}, options);
    ASSERT_EQ(r.exitCode, 0u) << r.describe();
    EXPECT_NE(r.out().find("cwd: " + e2e::toWinePath(options.cwd) + "\n"), std::string::npos)
        << r.describe();
}

TEST(Winrun, ReportsTheFullExitCode) {
    const auto big = e2e::runViaWinrun(e2e::helperPath("msgbox_demo"), {"300"});
    ASSERT_EQ(big.exitCode, 300u) << big.describe();
    EXPECT_EQ(big.run.exitCode, 300 & 0xFF);
    const auto negative = e2e::runViaWinrun(e2e::helperPath("msgbox_demo"), {"-1"});
    EXPECT_EQ(negative.exitCode, 0xFFFFFFFFu) << negative.describe();
}

TEST(Winrun, EndsAChildThatOutlivesTheTimeout) {
    e2e::WinrunOptions options;
    options.answerMessageBoxes = false;  // the box stays open and the child waits forever
    options.timeoutSeconds = 3;
    const auto r =
        e2e::runViaWinrun(e2e::helperPath("msgbox_demo"), {"0", "wait", "forever"}, options);
    EXPECT_TRUE(r.childTimedOut) << r.describe();
    EXPECT_FALSE(r.exitCode.has_value());
    EXPECT_EQ(r.run.exitCode, 124) << r.describe();
    EXPECT_NE(r.err().find("winrun: timeout"), std::string::npos) << r.describe();
    EXPECT_LT(r.run.seconds, 30.0);
}

TEST(Winrun, TheTimeoutEndsGrandchildrenToo) {
    const std::string token = "grandchild-" + std::to_string(::getpid());
    e2e::WinrunOptions options;
    options.answerMessageBoxes = false;
    options.timeoutSeconds = 3;
    const auto r = e2e::runViaWinrun(
        "cmd", {"/c", "start /wait " + windowsProgram("msgbox_demo") + " 0 " + token + " x"},
        options);
    EXPECT_TRUE(r.childTimedOut) << r.describe();
    int left = processesMentioning(token);
    for (int i = 0; i < 50 && left > 0; ++i) {
        std::this_thread::sleep_for(100ms);
        left = processesMentioning(token);
    }
    EXPECT_EQ(left, 0) << "msgbox_demo outlived winrun's timeout";
}

TEST(Winrun, ReportsAProgramThatDoesNotExist) {
    const auto r = e2e::runViaWinrun(e2e::scratchDir() / "missing.exe", {});
    EXPECT_EQ(r.run.exitCode, 127) << r.describe();
    EXPECT_FALSE(r.exitCode.has_value());
    EXPECT_NE(r.err().find("winrun: cannot start"), std::string::npos) << r.describe();
}
