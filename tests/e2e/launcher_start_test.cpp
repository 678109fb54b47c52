// The launcher as a user meets it: the usage line, the dispatcher road, damaged blocks, the way
// errors are shown, and the diagnostic log.
#include <gtest/gtest.h>

#include <future>
#include <regex>

#include "launcher_e2e.h"

using namespace e2e;

namespace {

const std::string kUsageTail =
    ".exe /install | /uninstall | /stop | /start | /status | /run | /run-redirect";

// The log files a launcher wrote into a temp folder, by name.
std::vector<std::string> logFiles(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("pkx_nlog", 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool hasLine(const std::vector<std::string>& lines, const std::string& pattern) {
    const std::regex re(pattern);
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return std::regex_match(l, re); });
}

}  // namespace

TEST(Usage, HelpWordsPrintTheUsageLineAndExitZero) {
    const auto dir = scratchDir();
    const auto exe = packLauncher(dir, "my.app.exe", sampleBlock());
    for (const std::string word : {"/?", "-help", "--help", "/-help"}) {
        const auto r = runViaWinrun(exe, {word});
        ASSERT_EQ(r.exitCode, 0u) << word << "\n" << r.describe();
        EXPECT_EQ(r.out(), "Usage: my.app" + kUsageTail + "\r\n") << word;
        EXPECT_TRUE(r.messageBoxes.empty()) << r.describe();
    }
}

TEST(Dispatcher, NonCommandsGoToTheServiceDispatcherAndExitZero) {
    const auto dir = scratchDir();
    const auto exe = packLauncher(dir, "svc.exe", sampleBlock());
    // The dispatcher takes about ten seconds to fail from a console under Wine: run them together.
    const std::vector<std::vector<std::string>> commandLines = {
        {"/INSTALL"}, {}, {"install"}, {"/"}, {"/foo", "MySvc"}, {"//install"}};
    std::vector<std::future<WinrunResult>> runs;
    for (size_t i = 0; i < commandLines.size(); ++i) {
        const auto temp = dir / ("t" + std::to_string(i));
        runs.push_back(std::async(std::launch::async, [=] {
            return runViaWinrun(exe, commandLines[i], withTemp(temp));
        }));
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        const auto r = runs[i].get();
        EXPECT_EQ(r.exitCode, 0u) << i << "\n" << r.describe();
        EXPECT_TRUE(r.out().empty()) << r.describe();
        const auto lines = logLines(dir / ("t" + std::to_string(i)) / "pkx_nlog_1.log");
        EXPECT_TRUE(hasLine(lines, R"(\[\d+:\d+\] calling StartServiceCtrlDispatcher)")) << i;
        EXPECT_TRUE(
            hasLine(lines, R"(\[\d+:\d+\] StartServiceCtrlDispatcher failed with error 1063)"))
            << i;
        EXPECT_TRUE(hasLine(lines, R"(\[\d+:\d+\] StartServiceCtrlDispatcher returned)")) << i;
    }
}

TEST(DamagedBlock, BigEndianMagicShowsTheMagicError) {
    const auto dir = scratchDir();
    auto block = sampleBlock("2");
    block.magic(0xD513E4E8u);
    const auto exe = packLauncher(dir, "bad.exe", block);
    const auto r = runViaWinrun(exe, {"/?"});
    EXPECT_EQ(r.exitCode, 1u) << r.describe();
    ASSERT_EQ(r.messageBoxes.size(), 1u) << r.describe();
    EXPECT_EQ(r.messageBoxes[0].text, "Internal Error: magic");
    // Nothing of the block could be read, so there is no caption either.
    EXPECT_EQ(r.messageBoxes[0].caption, "");
    EXPECT_TRUE(r.out().empty()) << r.describe();
}

TEST(DamagedBlock, StubWithoutBlockShowsReadIntAndTheLogPath) {
    const auto dir = scratchDir();
    const auto exe = dir / "stub.exe";
    std::filesystem::copy_file(stubPath(), exe);
    const auto temp = dir / "temp";
    const auto r = runViaWinrun(exe, {"/?"}, withTemp(temp));
    EXPECT_EQ(r.exitCode, 1u) << r.describe();
    ASSERT_EQ(r.messageBoxes.size(), 1u) << r.describe();
    const std::string logPath = toWinePath(temp / "pkx_nlog_1.log");
    EXPECT_EQ(r.messageBoxes[0].text, "Internal Error: readInt\n\nLog: " + logPath)
        << "expected log " << logPath;
    const auto lines = logLines(temp / "pkx_nlog_1.log");
    EXPECT_TRUE(hasLine(lines, R"(\[\d+:\d+\] error 0 0)")) << r.describe();
}

TEST(DamagedBlock, LaterReadingFailuresStillUseAMessageBox) {
    const auto dir = scratchDir();
    // Narrow strings intact (with launcher kind 2, a console kind), wide string cut short: the
    // second reading fails before the presentation mode changes.
    auto full = sampleBlock("2").build();
    full.resize(full.size() - 8);
    auto stub = pack::readFileBytes(stubPath().string());
    stub.insert(stub.end(), full.begin(), full.end());
    const auto exe = dir / "cut.exe";
    pack::writeFileBytes(exe.string(), stub, true);
    const auto r = runViaWinrun(exe, {"/?"});
    EXPECT_EQ(r.exitCode, 1u) << r.describe();
    ASSERT_EQ(r.messageBoxes.size(), 1u) << r.describe();
    EXPECT_EQ(r.messageBoxes[0].text, "Internal Error: readWString");
}

TEST(ErrorPresentation, MessageBoxKindsShowTheErrorInABox) {
    const auto dir = scratchDir();
    for (const std::string kind : {"1", "5"}) {
        const auto exe = packRunnableLauncher(dir, "gui" + kind + ".exe", sampleBlock(kind),
                                              withoutLauncherClass());
        const auto r = runViaWinrun(exe, {"/run"});
        EXPECT_EQ(r.exitCode, 1u) << r.describe();
        ASSERT_EQ(r.messageBoxes.size(), 1u) << kind << "\n" << r.describe();
        EXPECT_EQ(r.messageBoxes[0].caption, "Launcher Error");
        EXPECT_EQ(r.messageBoxes[0].text, kNoLauncherClass);
        EXPECT_TRUE(r.err().empty()) << r.describe();
    }
}

TEST(ErrorPresentation, OtherKindsWriteToStandardErrorWhenOutputIsNoConsole) {
    const auto dir = scratchDir();
    for (const std::string kind : {"0", "2", "4", "15"}) {
        const auto exe = packRunnableLauncher(dir, "con" + kind + ".exe", sampleBlock(kind),
                                              withoutLauncherClass());
        const auto r = runViaWinrun(exe, {"/run-redirect"});
        EXPECT_EQ(r.exitCode, 1u) << r.describe();
        EXPECT_TRUE(r.messageBoxes.empty()) << kind << "\n" << r.describe();
        EXPECT_EQ(r.err(), std::string(kNoLauncherClass) + "\r\n") << kind;
    }
}

TEST(ServiceChild, MarkerLastRunsTheApplicationWhateverComesBefore) {
    const auto dir = scratchDir();
    const auto exe =
        packRunnableLauncher(dir, "child.exe", sampleBlock("2"), withoutLauncherClass());
    const auto r = runViaWinrun(exe, {"/install", "x", "__pkx_restart"});
    EXPECT_EQ(r.exitCode, 1u) << r.describe();
    EXPECT_EQ(r.err(), std::string(kNoLauncherClass) + "\r\n");
    // Not last: an ordinary command.
    const auto usage = runViaWinrun(exe, {"/?", "__pkx_restart", "x"});
    EXPECT_EQ(usage.exitCode, 0u) << usage.describe();
}

TEST(Log, WrittenToTheTempBaseWithHeaderPrefixAndByteOrderMark) {
    const auto dir = scratchDir();
    const auto exe = packLauncher(dir, "logged.exe", sampleBlock("2"));
    const auto temp = dir / "temp";
    const auto r = runViaWinrun(exe, {"/?"}, withTemp(temp));
    ASSERT_EQ(r.exitCode, 0u) << r.describe();
    ASSERT_EQ(logFiles(temp), std::vector<std::string>{"pkx_nlog_1.log"});
    const auto text = readUtf8File(temp / "pkx_nlog_1.log");
    ASSERT_TRUE(text.has_value());
    EXPECT_TRUE(text->hadBom);
    const auto lines = splitLines(text->text);
    ASSERT_GE(lines.size(), 4u) << text->text;
    const std::regex header("Started executable " +
                            std::regex_replace(toWinePath(exe), std::regex(R"([\\.])"), R"(\$&)") +
                            R"( at \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4})");
    EXPECT_TRUE(std::regex_match(lines[0], header)) << lines[0];
    EXPECT_EQ(lines[1], "");
    for (size_t i = 2; i < lines.size(); ++i) {
        EXPECT_TRUE(std::regex_match(lines[i], std::regex(R"(\[\d+:\d{1,3}\] .*)"))) << lines[i];
    }
    EXPECT_TRUE(hasLine(lines, R"(\[\d+:\d+\] language/country is en_US)"));
    EXPECT_TRUE(hasLine(lines, R"(\[\d+:\d+\] launcher \d+\.\d+\.\d+)"));  // its version
    EXPECT_TRUE(hasLine(lines, R"(\[\d+:\d+\] command line .*logged\.exe.* /\?)"));
    // Lines end with CR LF, as the runtime's text mode writes them.
    EXPECT_NE(text->text.find("\r\n"), std::string::npos);
}

TEST(Log, OnlyTheExactValueYesSwitchesItOn) {
    const auto dir = scratchDir();
    const auto exe = packLauncher(dir, "quiet.exe", sampleBlock("2"));
    for (const std::string value : {"Yes", "1", "YES", "yes "}) {
        const auto temp = dir / ("t" + std::to_string(value.size()) + value.substr(0, 1));
        const auto r = runViaWinrun(exe, {"/?"}, withTemp(temp, value));
        ASSERT_EQ(r.exitCode, 0u) << r.describe();
        EXPECT_TRUE(logFiles(temp).empty()) << "LUMEX_LOG=" << value;
    }
    const auto temp = dir / "parcelkit";
    const auto r = runViaWinrun(exe, {"/?"}, withTemp(temp, "yes", "PARCELKIT_LOG"));
    ASSERT_EQ(r.exitCode, 0u) << r.describe();
    EXPECT_EQ(logFiles(temp), std::vector<std::string>{"pkx_nlog_1.log"});
}

TEST(Log, TakesTheFirstFreeNumber) {
    const auto dir = scratchDir();
    const auto exe = packLauncher(dir, "numbered.exe", sampleBlock("2"));
    const auto temp = dir / "temp";
    std::filesystem::create_directories(temp);
    writeFile(temp / "pkx_nlog_1.log", "old one");
    writeFile(temp / "pkx_nlog_2.log", "old two");
    const auto r = runViaWinrun(exe, {"/?"}, withTemp(temp));
    ASSERT_EQ(r.exitCode, 0u) << r.describe();
    EXPECT_EQ(logFiles(temp),
              (std::vector<std::string>{"pkx_nlog_1.log", "pkx_nlog_2.log", "pkx_nlog_3.log"}));
    EXPECT_EQ(readFile(temp / "pkx_nlog_1.log"), "old one");
}

TEST(ErrorPresentation, AConsoleGetsTheTextThroughTheConsole) {
    const auto dir = scratchDir();
    const auto exe =
        packRunnableLauncher(dir, "console.exe", sampleBlock("2"), withoutLauncherClass());
    const auto errFile = dir / "stderr.txt";
    // script(1) gives the launcher a terminal, which Wine presents as a console.
    const std::string command = "'" + wineRunScript().string() + "' '" + exe.string() +
                                "' /run 2>'" + errFile.string() + "'; echo \"rc=$?\"";
    const auto r = runProcess({"script", "-qec", command, "/dev/null"});
    ASSERT_EQ(r.exitCode, 0) << r.describe();
    EXPECT_NE(r.out.find(kNoLauncherClass), std::string::npos) << r.describe();
    EXPECT_NE(r.out.find("rc=1"), std::string::npos) << r.describe();
    EXPECT_EQ(readFile(errFile), "");
}

TEST(Log, WithAllThousandNamesTakenTheLastIsOverwritten) {
    const auto dir = scratchDir();
    const auto exe = packLauncher(dir, "full.exe", sampleBlock("2"));
    const auto temp = dir / "temp";
    std::filesystem::create_directories(temp);
    for (int i = 1; i <= 1000; ++i)
        writeFile(temp / ("pkx_nlog_" + std::to_string(i) + ".log"), "old");
    const auto r = runViaWinrun(exe, {"/?"}, withTemp(temp));
    ASSERT_EQ(r.exitCode, 0u) << r.describe();
    EXPECT_EQ(logFiles(temp).size(), 1000u);
    EXPECT_EQ(readFile(temp / "pkx_nlog_999.log"), "old");
    const auto last = readUtf8File(temp / "pkx_nlog_1000.log");
    ASSERT_TRUE(last.has_value());
    EXPECT_TRUE(last->text.starts_with("Started executable ")) << last->text.substr(0, 80);
}
