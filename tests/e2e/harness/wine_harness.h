// The end-to-end harness: runs Windows programs under Wine for Arm64 (through
// tests/wine/wine-run.sh) from host GoogleTest tests, captures what they print, answers their
// message boxes through the winrun helper, and converts paths between Unix and Wine.
//
// Typical use:
//   auto dir = e2e::scratchDir();                       // fresh folder for this test
//   auto result = e2e::runViaWinrun(dir / "app.exe", {"status"},
//                                   {.env = {{"LUMEX_LOG", e2e::toWinePath(dir / "log.txt")}}});
//   EXPECT_EQ(result.exitCode, 1u) << result.describe();
//   ASSERT_EQ(result.messageBoxes.size(), 1u) << result.describe();
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace e2e {

using Environment = std::vector<std::pair<std::string, std::string>>;

// ---- where things are ----

std::filesystem::path repoRoot();
// The Windows build tree (the win-arm64 preset's build folder) and its program folder.
std::filesystem::path winBuildDir();
std::filesystem::path winBinDir();
// The shipped launcher stub, bin/launcher.exe.
std::filesystem::path stubPath();
// A Windows program of the build, e.g. helperPath("winrun") -> .../bin/winrun.exe.
std::filesystem::path helperPath(std::string_view name);
std::filesystem::path wineRunScript();
// The Wine prefix wine-run.sh uses ($LAUNCHER_WINEPREFIX or build/wineprefix in the repo).
std::filesystem::path winePrefix();

// A folder for the running test (named after its suite and test), emptied on the first call of
// each test and kept afterwards for inspection. Lies under the host build tree.
std::filesystem::path scratchDir();

// ---- paths ----

// "/a/b c" -> "Z:\a\b c". A relative path is made absolute first.
std::string toWinePath(const std::filesystem::path& unixPath);
// The inverse: "Z:\a\b" -> "/a/b"; "C:\x" -> <prefix>/drive_c/x; other drive letters go through
// <prefix>/dosdevices. Forward slashes are accepted as separators.
std::filesystem::path fromWinePath(std::string_view windowsPath);

// ---- running programs ----

struct RunOptions {
    // Written to the program's standard input, which is then closed (empty: closed at once).
    std::string stdinData;
    // Wall-clock limit; the program's process group is killed when it passes.
    std::chrono::milliseconds timeout{std::chrono::seconds(180)};
    // Per stream; output beyond it is dropped and RunResult::truncated set.
    size_t maxOutputBytes = 4u << 20;
    // Added to (or replacing in) the Unix environment of the process, e.g. WINEDEBUG.
    Environment unixEnv;
};

struct RunResult {
    // The Unix exit status; for a Wine program that is the Windows exit code's low 8 bits.
    // -1 when the process ended by a signal (see signal) or was not started.
    int exitCode = -1;
    int signal = 0;
    bool timedOut = false;
    bool truncated = false;
    std::string out;
    std::string err;
    double seconds = 0;
    std::string commandLine;  // for messages

    // Everything above as text, for assertion messages.
    std::string describe() const;
};

// Runs a host program (argv[0] is searched in PATH when it has no slash) and captures its
// standard output and standard error separately.
RunResult runProcess(const std::vector<std::string>& argv, const RunOptions& options = {});

// Runs a Windows program under Wine: `wine-run.sh program args...`. The program may be a Unix
// path or a Windows one ("cmd", "C:\windows\system32\sc.exe").
RunResult runWine(const std::string& program, const std::vector<std::string>& args,
                  const RunOptions& options = {});

// Makes sure the display, the prefix and the persistent wineserver exist (once per process, in
// a session of their own so that a killed test never takes them along).
void prepareWine();

// ---- running through winrun ----

struct MessageBoxRecord {
    std::string caption;
    std::string text;  // line breaks as in the dialog ("\r\n" or "\n")
    bool operator==(const MessageBoxRecord&) const = default;
};

// Parses winrun's message-box file (records of "caption: " and "text: " lines, escaped).
std::vector<MessageBoxRecord> parseMessageBoxFile(std::string_view contents);

struct WinrunOptions {
    Environment env;                 // variables set in the child's environment
    std::vector<std::string> unset;  // variables removed from it
    std::filesystem::path cwd;       // the child's working directory (Unix path); empty: inherit
    bool answerMessageBoxes = true;  // record and press OK on the child's message boxes
    // With answerMessageBoxes: boxes are recorded at once but answered only once this file
    // exists, so a test can look at the child while its box is open.
    std::filesystem::path holdMessageBoxesUntil;
    // Where the boxes are recorded (default: a file of the harness's own); a test that holds
    // boxes polls it to learn that a box is open.
    std::filesystem::path messageBoxFile;
    int timeoutSeconds = 120;            // winrun ends the child tree after this; 0: no limit
    std::optional<std::string> rawArgs;  // verbatim command-line tail instead of quoted args
    std::string stdinData;               // as RunOptions::stdinData
    Environment unixEnv;                 // as RunOptions::unixEnv
};

struct WinrunResult {
    RunResult run;  // winrun's own run: out and err are the child's, exitCode its low 8 bits
    // The child's full 32-bit exit code; empty when it timed out or winrun failed.
    std::optional<uint32_t> exitCode;
    bool childTimedOut = false;
    std::vector<MessageBoxRecord> messageBoxes;

    const std::string& out() const { return run.out; }
    const std::string& err() const { return run.err; }
    std::string describe() const;
};

// Runs program (Unix or Windows path) through winrun.exe under Wine.
WinrunResult runViaWinrun(const std::filesystem::path& program,
                          const std::vector<std::string>& args, const WinrunOptions& options = {});

// ---- files ----

// The file's bytes; std::nullopt when it cannot be read.
std::optional<std::string> readFile(const std::filesystem::path& path);
// Writes bytes (creating parent folders); throws std::runtime_error on failure.
void writeFile(const std::filesystem::path& path, std::string_view bytes);

struct Utf8Text {
    bool hadBom = false;
    std::string text;  // without the byte-order mark
};
// Reads a UTF-8 text file such as the launcher's log, which starts with a byte-order mark.
std::optional<Utf8Text> readUtf8File(const std::filesystem::path& path);
// Splits text into lines on "\n", dropping a "\r" before it; no empty last line.
std::vector<std::string> splitLines(std::string_view text);

}  // namespace e2e
