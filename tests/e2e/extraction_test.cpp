// Included files as a user's launcher extracts them, and start-up's environment work, seen from
// outside: the files in the per-run directory while the launcher is stopped at its message box,
// the directory gone after a fatal exit, and the log's account of PATH and the working directory.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <regex>
#include <thread>

#include "launcher_e2e.h"

using namespace e2e;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> bytes(size_t n, uint8_t seed) {
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(seed + i * 31);
    return out;
}

// The launcher's log in its temp folder.
std::vector<std::string> logOf(const fs::path& temp) {
    return logLines(temp / "pkx_nlog_1.log");
}

// The first capture group of the first log line matching pattern.
std::string logValue(const std::vector<std::string>& lines, const std::string& pattern) {
    const std::regex re(pattern);
    std::smatch m;
    for (const auto& line : lines) {
        if (std::regex_search(line, m, re)) return m[1].str();
    }
    return {};
}

struct HeldRun {
    std::future<WinrunResult> result;
    fs::path boxes;
    fs::path release;
};

// Starts the launcher with its message boxes held open until release() is called.
HeldRun startHeld(const fs::path& exe, const std::vector<std::string>& args, WinrunOptions options,
                  const fs::path& dir) {
    HeldRun run;
    run.boxes = dir / "boxes.txt";
    run.release = dir / "release";
    options.messageBoxFile = run.boxes;
    options.holdMessageBoxesUntil = run.release;
    run.result = std::async(std::launch::async, [=] { return runViaWinrun(exe, args, options); });
    return run;
}

bool waitForBox(const HeldRun& run) {
    for (int i = 0; i < 600; ++i) {
        if (const auto text = readFile(run.boxes); text && !text->empty()) return true;
        if (run.result.wait_for(std::chrono::milliseconds(100)) == std::future_status::ready) {
            return false;
        }
    }
    return false;
}

WinrunResult release(HeldRun& run) {
    writeFile(run.release, "");
    return run.result.get();
}

}  // namespace

TEST(Extraction, FilesLandDecodedInThePerRunDirectoryWhichAFatalExitRemoves) {
    const auto dir = scratchDir();
    auto block = sampleBlock("1");
    const auto one = std::vector<uint8_t>{0x00};
    const auto special = std::vector<uint8_t>{0xA7, 0x00, 0xFF};
    block.file({"empty.bin", {}})
        .file({"one.bin", one})
        .file({"six.bin", bytes(6000, 1)})
        .file({"sixone.bin", bytes(6001, 2)})
        .file({"lib\\sub.dat", special});
    const auto exe = packRunnableLauncher(dir, "extract.exe", block, withoutLauncherClass());
    const auto temp = dir / "temp";
    // A stale file of the empty entry's name stays what it is: empty entries create nothing.
    auto run = startHeld(exe, {"/run"}, withTemp(temp), dir);
    ASSERT_TRUE(waitForBox(run)) << "no message box; log:\n"
                                 << readFile(temp / "pkx_nlog_1.log").value_or("");
    const auto lines = logOf(temp);
    const std::string perRun = logValue(lines, R"(Temp dir3: (.*)$)");
    ASSERT_FALSE(perRun.empty()) << "no per-run directory in the log";
    const fs::path directory = fromWinePath(perRun);
    EXPECT_TRUE(fs::is_directory(directory)) << directory;
    EXPECT_FALSE(fs::exists(directory / "empty.bin"));
    EXPECT_EQ(readFile(directory / "one.bin"), std::string(one.begin(), one.end()));
    const auto six = bytes(6000, 1), sixOne = bytes(6001, 2);
    EXPECT_EQ(readFile(directory / "six.bin"), std::string(six.begin(), six.end()));
    EXPECT_EQ(readFile(directory / "sixone.bin"), std::string(sixOne.begin(), sixOne.end()));
    EXPECT_EQ(readFile(directory / "lib" / "sub.dat"), std::string(special.begin(), special.end()));
    // The mark by which the application runtime knows the directory as this run's own.
    EXPECT_TRUE(std::regex_match(readFile(directory / ".lumex-run").value_or(""),
                                 std::regex("[0-9]+:[0-9a-f]{32}")));
    EXPECT_FALSE(logValue(lines, R"((Included files: 5))").empty());
    EXPECT_FALSE(logValue(lines, R"((extracting .*empty\.bin \(size: 0\)))").empty());
    EXPECT_FALSE(logValue(lines, R"((extracting .*sixone\.bin \(size: 6001\)))").empty());
    EXPECT_FALSE(logValue(lines, R"((creating directory .*\\lib)$)").empty());
    EXPECT_FALSE(logValue(lines, R"((extracting files done))").empty());

    const auto r = release(run);
    EXPECT_EQ(r.exitCode, 1u) << r.describe();
    ASSERT_EQ(r.messageBoxes.size(), 1u) << r.describe();
    EXPECT_EQ(r.messageBoxes[0].text,
              std::string(kNoLauncherClass) + "\n\nLog: " + toWinePath(temp / "pkx_nlog_1.log"));
    EXPECT_FALSE(fs::exists(directory)) << "the per-run directory stayed: " << directory;
}

TEST(Extraction, NoIncludedFilesMakeNoPerRunDirectory) {
    const auto dir = scratchDir();
    const auto exe = packLauncher(dir, "nofiles.exe", sampleBlock("2"));
    const auto temp = dir / "temp";
    const auto r = runViaWinrun(exe, {"/run"}, withTemp(temp));
    EXPECT_EQ(r.exitCode, 1u) << r.describe();
    const auto lines = logOf(temp);
    EXPECT_FALSE(logValue(lines, R"((Included files: 0))").empty());
    EXPECT_TRUE(logValue(lines, R"((Temp dir3:))").empty());
    // Only the log itself is in the temp folder.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(temp)) ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(Extraction, TwoBackslashesCannotBeCreated) {
    const auto dir = scratchDir();
    auto block = sampleBlock("2");
    block.file({"x\\y\\z.txt", bytes(10, 3)});
    const auto exe = packLauncher(dir, "deep.exe", block);
    const auto temp = dir / "temp";
    const auto r = runViaWinrun(exe, {"/run"}, withTemp(temp));
    EXPECT_EQ(r.exitCode, 1u) << r.describe();
    EXPECT_EQ(r.err(),
              "Setup failed (11)\r\n\r\nLog: " + toWinePath(temp / "pkx_nlog_1.log") + "\r\n");
    const auto lines = logOf(temp);
    const std::string perRun = logValue(lines, R"(Temp dir3: (.*)$)");
    ASSERT_FALSE(perRun.empty());
    EXPECT_FALSE(logValue(lines, R"((creating directory .*\\x)$)").empty());
    EXPECT_FALSE(fs::exists(fromWinePath(perRun))) << "a fatal exit removes the per-run directory";
}

TEST(Extraction, ContentCutShortFailsAndLeavesNothing) {
    const auto dir = scratchDir();
    auto block = sampleBlock("2");
    block.file({"a.bin", bytes(20, 4)}).file({"cut.bin", bytes(100, 5)});
    const auto exe = packLauncher(dir, "cut.exe", block);
    auto image = pack::readFileBytes(exe.string());
    image.resize(image.size() - 10);
    pack::writeFileBytes(exe.string(), image, true);
    const auto temp = dir / "temp";
    const auto r = runViaWinrun(exe, {"/run"}, withTemp(temp));
    EXPECT_EQ(r.exitCode, 1u) << r.describe();
    EXPECT_EQ(r.err(),
              "Setup failed (16)\r\n\r\nLog: " + toWinePath(temp / "pkx_nlog_1.log") + "\r\n");
    const auto lines = logOf(temp);
    EXPECT_FALSE(logValue(lines, R"((ERROR: ReadFile failed 0 0 90))").empty());
    EXPECT_FALSE(logValue(lines, R"((ERROR: Failed to extract .*cut\.bin))").empty());
    const std::string perRun = logValue(lines, R"(Temp dir3: (.*)$)");
    ASSERT_FALSE(perRun.empty());
    EXPECT_FALSE(fs::exists(fromWinePath(perRun)));
}

TEST(StartUp, NativeLibraryDirectoriesAndWorkingDirectoryFromTheConfiguration) {
    const auto dir = scratchDir();
    fs::create_directories(dir / "work");
    auto block = sampleBlock("2");
    block.string(10004, "lib;\\native;${LUMEX_EXEDIR}bin")
        .string(146, "%LUMEX_EXEDIR%..\\work")
        .string(10010, "1")
        .string(10012, "1");
    const auto exe = packLauncher(dir / "app", "paths.exe", block);
    const auto temp = dir / "temp";
    const auto r = runViaWinrun(exe, {"/run"}, withTemp(temp));
    EXPECT_EQ(r.exitCode, 1u) << r.describe();
    const auto lines = logOf(temp);
    const std::string folder = toWinePath(dir / "app") + "\\";
    const std::string path = logValue(lines, R"(Setting PATH \(native libs\) (.*)$)");
    EXPECT_EQ(path.substr(0, path.find(';', path.find(';', path.find(';') + 1) + 1) + 1),
              folder + "lib;" + folder + "native;" + folder + "bin;")
        << path;
    EXPECT_EQ(logValue(lines, R"(change working directory to (.*)$)"), toWinePath(dir / "work"));
    // PATH was first reduced to the Windows directory's entries, then extended.
    const std::string reduced = logValue(lines, R"(reduced PATH \d+ to (.*)$)");
    EXPECT_FALSE(reduced.empty());
    EXPECT_TRUE(path.ends_with(";" + reduced)) << path;
    EXPECT_FALSE(logValue(lines, R"((ignoring java options environment variables))").empty());
}

TEST(Extraction, FilesEmbeddedByThePackingToolAreFoundByTheLauncher) {
    const auto dir = scratchDir();
    writeFile(dir / "in" / "native.dll", std::string("\x00\xA7 native", 9));
    writeFile(dir / "in" / "top.txt", "top");
    writeFile(dir / "in" / "app.toml",
              "[service]\nname = \"PackedService\"\n"
              "[java]\nmain_class = \"a.Main\"\n"
              "[messages]\nsetup_failed = \"Setup failed ({0})\"\n"
              "[[files]]\nname = \"lib/native.dll\"\nsource = \"native.dll\"\n"
              "[[files]]\nname = \"top.txt\"\nsource = \"top.txt\"\n");
    const auto exe = dir / "packed.exe";
    const auto built = runProcess({PACK_TOOL, "build", "--stub", stubPath().string(), "--input",
                                   (dir / "in" / "app.toml").string(), "--output", exe.string()});
    ASSERT_EQ(built.exitCode, 0) << built.describe();
    const auto listing = runProcess({PACK_TOOL, "inspect", "--raw", exe.string()});
    ASSERT_EQ(listing.exitCode, 0) << listing.describe();
    // The description names no runtime jar: the tool adds the one it carries, extracted last.
    EXPECT_NE(listing.out.find("string 2002 3\n"), std::string::npos) << listing.out;
    EXPECT_NE(listing.out.find("string 2003 lib\\native.dll;top.txt;lumex-runtime.jar\n"),
              std::string::npos)
        << listing.out;

    const auto temp = dir / "temp";
    const auto r = runViaWinrun(exe, {"/run"}, withTemp(temp));
    EXPECT_EQ(r.exitCode, 1u) << r.describe();
    const auto lines = logOf(temp);
    EXPECT_FALSE(logValue(lines, R"((Included files: 3))").empty());
    EXPECT_FALSE(logValue(lines, R"((creating directory .*\\lib)$)").empty());
    EXPECT_FALSE(logValue(lines, R"((extracting .*\\lib\\native\.dll \(size: 9\)))").empty());
    EXPECT_FALSE(logValue(lines, R"((extracting .*\\top\.txt \(size: 3\)))").empty());
    EXPECT_FALSE(logValue(lines, R"((extracting .*\\lumex-runtime\.jar \(size: \d+\)))").empty());
    EXPECT_FALSE(logValue(lines, R"((extracting files done))").empty());
}
