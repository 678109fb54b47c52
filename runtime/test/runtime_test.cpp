// The runtime jars on the machine's HotSpot, each run in a process of its own through
// runtime_driver (the launch's JNI calls), with the sample application of the jar's family.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "jvm/options/class_data.h"

namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;
using namespace std::chrono_literals;

struct Launch {
    std::string family = "lumex";
    bool module = false;
    Texts options;           // more JVM options
    Texts elements;          // the launcher's array
    Texts environment = {};  // NAME=value for the driver
    std::string shell = {};  // shell commands ahead of the driver ("ulimit ...; ")
};

// The five launcher values, program argument 0 and the application's arguments.
Texts elements(std::string mainClass, std::string out = "", std::string err = "",
               std::string append = "false", Texts arguments = {}) {
    Texts all = {"true", mainClass, out, err, append, "svc"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return all;
}

// The file's bytes; "" for anything but a file.
std::string read(const fs::path& file) {
    if (!fs::is_regular_file(file)) return "";
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool hasLine(const std::string& text, const std::string& line) {
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

// The sample's "lines" mode: line i has i characters and its end.
std::string sampleLines(int count) {
    std::string all;
    for (int i = 1; i <= count; ++i) all += std::string(i, static_cast<char>('a' + i % 26)) + "\n";
    return all;
}

// The text without the lines that start with the prefix, and how many there were.
std::pair<std::string, int> withoutLines(const std::string& text, const std::string& prefix) {
    std::string rest;
    int count = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
        const std::string line = text.substr(at, end - at);
        if (line.rfind(prefix, 0) == 0)
            ++count;
        else
            rest += line;
        at = end;
    }
    return {rest, count};
}

// The sample's line on the launcher's calls: the driver passes the splash settings to the lumex
// launcher class and initialises the parcelkit native side.
std::string launcherLine(const std::string& family, const std::string& kind, bool service) {
    return "kind " + kind + (service ? ", service true svc" : ", service false ") +
           (family == "lumex" ? ", native NOT_CALLED, splash true false [splash.png] 1 2 [] -3 4 "
                                "[Loading] 5 6 [font] 7 8"
                              : ", native INITIALISED, splash null");
}

class RuntimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "runtime_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    // Starts the driver (for at most a minute) through the shell: its standard input is the
    // stream returned, its output goes to the files "stdout" and "stderr".
    FILE* start(const Launch& run) {
        fs::remove(dir / "report");
        const std::string build = RUNTIME_BUILD_DIR, family = run.family;
        const std::string path =
            build + "/" + family + "-runtime.jar:" + build + "/test/sample-" + family;
        Texts args = {"env"};
        args.insert(args.end(), run.environment.begin(), run.environment.end());
        args.insert(args.end(), {"timeout", "60", RUNTIME_DRIVER,
                                 "-Dsample.report=" + (dir / "report").string()});
        if (run.module) {
            args.insert(args.end(), {"--module-path=" + path,
                                     "--add-opens=sample.app/sample.app=com." + family + ".runtime",
                                     "--add-modules=sample.app,com." + family + ".runtime"});
        } else {
            args.push_back("-Djava.class.path=" + path + ":" + build + "/test/checks");
        }
        args.insert(args.end(), run.options.begin(), run.options.end());
        args.push_back("--");
        args.push_back(family == "lumex" ? "com.lumex.runtime.WinLauncher"
                                         : "com.parcelkit.runtime.launcher.WinLauncher");
        args.insert(args.end(), run.elements.begin(), run.elements.end());
        std::string command = run.shell;
        for (const std::string& arg : args) {
            command += '\'';
            for (const char ch : arg)
                command += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
            command += "' ";
        }
        command += ">'" + (dir / "stdout").string() + "' 2>'" + (dir / "stderr").string() + "'";
        return popen(command.c_str(), "w");
    }

    // Closes the driver's input and waits for its exit code (124 when it ran for a minute).
    static int finish(FILE* input) {
        const int status = pclose(input);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int runToEnd(const Launch& run) { return finish(start(run)); }

    // Waits for the line in the sample's report (or another file of the run), up to the time.
    bool reported(const std::string& line, std::chrono::milliseconds limit = 30s,
                  const char* name = "report") {
        for (auto waited = 0ms; waited < limit && !hasLine(file(name), line); waited += 20ms) {
            std::this_thread::sleep_for(20ms);
        }
        return hasLine(file(name), line);
    }

    // A per-run directory with a file, a folder and a link out of it (which must survive); the
    // driver marks it as the launcher does.
    fs::path runDirectory() {
        fs::create_directories(dir / "run" / "sub");
        fs::create_directories(dir / "outside");
        std::ofstream(dir / "run" / "sub" / "file.jar") << "x";
        std::ofstream(dir / "outside" / "keep") << "x";
        fs::create_directory_symlink(dir / "outside", dir / "run" / "link");
        return dir / "run";
    }

    std::string file(const char* name) { return read(dir / name); }

    fs::path dir;
};

TEST_F(RuntimeTest, TheApplicationGetsItsArgumentsInEachFamilyAndMode) {
    const Texts arguments = {"plain", "", "f\xc3\xb6\xc3\xb6 \xf0\x9f\x98\x80", "-J-Xmx1g"};
    for (const std::string family : {"lumex", "parcelkit"}) {
        for (const bool module : {false, true}) {
            SCOPED_TRACE(family + (module ? " module" : " class path"));
            const std::string run = runDirectory().string(), kind = module ? "true" : "false";
            Launch launch{family,
                          module,
                          {"-Dlumex.tempDir=" + run},
                          elements(module ? "/sample.app/sample.app.Main" : "sample.app.Main", "",
                                   "", "false", arguments),
                          {"RUNTIME_RUN_DIRECTORY=" + run}};
            launch.elements[0] = kind;
            EXPECT_EQ(runToEnd(launch), 0) << file("stderr");

            const std::string report = file("report");
            EXPECT_EQ(report.substr(0, report.find("main-to-main")),
                      "arg plain\narg \narg " + arguments[2] + "\narg -J-Xmx1g\n" +
                          launcherLine(family, kind, false) + "\n");
            EXPECT_EQ(file("stdout"), "out-line\n");
            EXPECT_TRUE(hasLine(file("stderr"), "err-line"));
            EXPECT_FALSE(fs::exists(run)) << "the per-run directory is removed";
            EXPECT_TRUE(fs::exists(dir / "outside" / "keep")) << "a link is not followed";
            fs::remove_all(dir / "outside");
        }
    }
}

TEST_F(RuntimeTest, OnlyTheDirectoryTheLauncherMarkedForThisRunIsRemoved) {
    struct Row {
        const char* what;
        std::string property;  // lumex.tempDir, after the launcher's
        Texts environment;
        std::string victimMark;  // written into "victim/.lumex-run" unless empty
        bool victimMarkLinked;   // that file is a link to the run directory's mark instead
        bool runRemoved;
    };
    const std::string run = (dir / "run").string(), victim = (dir / "victim").string();
    const std::string marking = "RUNTIME_RUN_DIRECTORY=" + run;
    const Row rows[] = {
        {"the launcher's own", run, {marking}, "", false, true},
        {"reached through a link", (dir / "to-run").string(), {marking}, "", false, true},
        {"another folder named later", victim, {marking}, "", false, false},
        {"a folder with a mark of its own", victim, {marking}, "1:00", false, false},
        {"a folder whose mark links to the real one", victim, {marking}, "", true, false},
        {"a mark made for another process", victim, {"LUMEX_RUN_MARK=1:00"}, "1:00", false, false},
        {"a mark but no variable", victim, {}, "1:00", false, false},
        {"the launcher's own named as a network path", "/" + run, {marking}, "", false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        runDirectory();
        fs::create_directories(dir / "victim" / "data");
        std::ofstream(dir / "victim" / "data" / "keep") << "x";
        if (!row.victimMark.empty()) std::ofstream(dir / "victim" / ".lumex-run") << row.victimMark;
        if (row.victimMarkLinked)
            fs::create_symlink(dir / "run" / ".lumex-run", dir / "victim" / ".lumex-run");
        fs::remove(dir / "to-run");
        fs::create_directory_symlink(dir / "run", dir / "to-run");
        Launch launch{"lumex",
                      false,
                      {"-Dlumex.tempDir=" + run, "-Dlumex.tempDir=" + row.property},
                      elements("sample.app.Main"),
                      row.environment};
        EXPECT_EQ(runToEnd(launch), 0) << file("stderr");
        EXPECT_EQ(fs::exists(dir / "run"), !row.runRemoved);
        EXPECT_TRUE(fs::exists(dir / "victim" / "data" / "keep"));
        EXPECT_TRUE(fs::exists(dir / "outside" / "keep"));
        fs::remove_all(dir / "victim");
        fs::remove_all(dir / "run");
    }
}

TEST_F(RuntimeTest, TheStandardStreamsGoWhereTheLauncherSays) {
    struct Row {
        std::string out, err, append, option;
        std::string a, b;  // the files "a" and "b" afterwards (both hold "old\n" before)
        bool console;      // the lines went to the driver's own streams
    };
    const Row rows[] = {
        {"a", "b", "false", "", "out-line\n", "err-line\n", false},
        {"a", "b", "true", "", "old\nout-line\n", "old\nerr-line\n", false},
        {"a", "a", "false", "", "out-line\nerr-line\n", "old\n", false},
        {"a", "./a", "true", "", "old\nout-line\nerr-line\n", "old\n", false},
        {"a", "b", "false", "-Dparcelkit.noRedir=true", "old\n", "old\n", true},
        {"$OUT", "$ERR", "false", "", "old\n", "old\n", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.out + " " + row.err + " " + row.append + " " + row.option);
        std::ofstream(dir / "a") << "old\n";
        std::ofstream(dir / "b") << "old\n";
        const auto path = [&](const std::string& name) {
            return name[0] == '$' ? name : (dir / name).string();
        };
        Launch run{"lumex",
                   false,
                   {},
                   elements("sample.app.Main", path(row.out), path(row.err), row.append)};
        if (!row.option.empty()) run.options.push_back(row.option);
        EXPECT_EQ(runToEnd(run), 0);
        EXPECT_EQ(file("a"), row.a);
        EXPECT_EQ(file("b"), row.b);
        EXPECT_EQ(hasLine(file("stdout"), "out-line"), row.console);
        EXPECT_EQ(hasLine(file("stderr"), "err-line"), row.console);
        for (const std::string stream :
             {"output not redirected: the path $OUT", "error not redirected: the path $ERR"}) {
            EXPECT_EQ(hasLine(file("stderr"),
                              "warning: standard " + stream + " holds an unexpanded variable"),
                      row.out[0] == '$');
        }
    }
}

TEST_F(RuntimeTest, FailuresReachTheLaunchersReport) {
    const std::string argument = "java.lang.IllegalArgumentException: ";
    const std::pair<Texts, std::string> rows[] = {
        {elements("sample.app.Main"), "java.lang.IllegalStateException: boom \xc3\xa4"},
        {elements("/sample.app/sample.app.Main"), "java.lang.IllegalStateException: boom \xc3\xa4"},
        {elements("sample.app.Missing"), argument + "main class sample.app.Missing not found"},
        {elements("java.lang.Object"),
         argument + "no public static void main(String[]) in java.lang.Object"},
        {elements("sample.app.Main$Instance"),
         argument + "main(String[]) of sample.app.Main$Instance is not static void"},
        {elements("/no.such/x.Main"), argument + "module no.such not found"},
        {{"true"}, argument + "no main class given"},
    };
    for (const auto& [array, error] : rows) {
        SCOPED_TRACE(error);
        const bool module = array.size() > 1 && array[1][0] == '/';
        EXPECT_EQ(runToEnd(Launch{"lumex", module, {"-Dsample.mode=throw"}, array}), 1);
        EXPECT_TRUE(hasLine(file("stderr"), "ERROR: an exception occurred")) << file("stderr");
        EXPECT_TRUE(hasLine(file("stderr"), "ERROR: " + error)) << file("stderr");
    }
}

TEST_F(RuntimeTest, AServiceStopsWhenTheHostAsksOrGoes) {
    for (const std::string family : {"lumex", "parcelkit"}) {
        const bool asks = family == "lumex";  // "0", else end of file; lumex from its module
        SCOPED_TRACE(family);
        const std::string run = runDirectory().string();
        FILE* const input = start(
            Launch{family,
                   asks,
                   {"-Dlumex.isService=true", "-Dsample.mode=block", "-Dlumex.tempDir=" + run},
                   elements(asks ? "/sample.app/sample.app.Main" : "sample.app.Main"),
                   {"RUNTIME_RUN_DIRECTORY=" + run}});
        ASSERT_TRUE(reported("blocking")) << file("stderr");
        std::fputs("1\n", input), std::fflush(input);
        EXPECT_FALSE(reported("stop last", 1s)) << "another line is no stop request";
        if (asks) std::fputs("0\n", input), std::fflush(input);
        if (asks) EXPECT_TRUE(reported("hook")) << "stopped before the end of input";
        EXPECT_EQ(finish(input), 0);

        const std::string report = file("report");
        EXPECT_TRUE(hasLine(report, launcherLine(family, "true", true))) << report;
        EXPECT_NE(report.find("\nremoved true\nblocking\nstop last\nstop first\nhook\n"),
                  std::string::npos)
            << report;
        EXPECT_TRUE(
            hasLine(file("stderr"),
                    "stop handler failed: java.lang.IllegalStateException: failing handler"));
        EXPECT_FALSE(fs::exists(run));
        fs::remove_all(dir / "outside");
    }
}

}  // namespace

namespace {

// The stop handlers and System.exit share the launcher's deadline: past it the JVM is halted
// with the stop's exit code, while without one a slow handler and hook take their time.
TEST_F(RuntimeTest, AStopEndsTheJvmByItsDeadline) {
    const struct {
        std::string property;  // lumex.stopTimeout; empty: not set
        bool halted;
    } rows[] = {{"2", true}, {"", false}, {"x2", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE("lumex.stopTimeout=" + row.property);
        Launch launch{"lumex",
                      false,
                      {"-Dlumex.isService=true", "-Dsample.mode=slow-stop"},
                      elements("sample.app.Main")};
        if (!row.property.empty()) launch.options.push_back("-Dlumex.stopTimeout=" + row.property);
        FILE* const input = start(launch);
        ASSERT_TRUE(reported("blocking")) << file("stderr");
        const auto asked = std::chrono::steady_clock::now();
        std::fputs("0\n", input), std::fflush(input);
        EXPECT_EQ(finish(input), 0) << "the stop's exit code";
        const auto took = std::chrono::steady_clock::now() - asked;
        const std::string report = file("report");
        EXPECT_TRUE(hasLine(report, "handler begun")) << report;
        EXPECT_EQ(hasLine(report, "hook done"), !row.halted) << report;
        EXPECT_EQ(
            hasLine(file("stderr"), "service stop still running at its deadline; halting the JVM"),
            row.halted);
        if (row.halted) {
            EXPECT_GE(took, 2s);
            EXPECT_LT(took, 3500ms) << "a 2 s deadline";
            std::printf("[ deadline ] a stop with lumex.stopTimeout=2 took %lld ms\n",
                        static_cast<long long>(
                            std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
        } else {
            EXPECT_GE(took, 8s) << "the handler's 4 s and the hook's 4 s";
        }
    }
}

// With lumex.watchdogPipe the JVM says hello on the pipe and which Java runs it, answers each
// ping by the health check (given half of lumex.watchdogTimeout, and not started twice), writes
// every thread's stack to its standard error file on "dump", and stops on "0" as before. A pipe
// that cannot be opened, or does not open (a FIFO nobody reads), leaves the application running;
// without the property the watchdog's class is not even loaded.
TEST_F(RuntimeTest, TheWatchdogIsAnsweredOnItsPipe) {
    const struct {
        std::string family, health, pipe;  // pipe: file, fifo, missing (its folder), none
        std::string answer;                // to both pings; empty: none comes
    } rows[] = {
        {"lumex", "", "file", "pong"},          {"parcelkit", "true", "file", "pong"},
        {"lumex", "false", "file", "sick"},     {"lumex", "throw", "file", "sick"},
        {"parcelkit", "block", "file", "sick"}, {"lumex", "", "fifo", ""},
        {"lumex", "", "missing", ""},           {"lumex", "", "none", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.family + " health " + row.health + ", pipe " + row.pipe);
        const fs::path pipe = dir / (row.pipe == "missing" ? "no/pipe" : "pipe");
        fs::remove(dir / "pipe"), fs::remove(dir / "err"), fs::remove(dir / "report");
        if (row.pipe == "fifo") ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
        Launch launch{
            row.family,
            false,
            {"-Dlumex.isService=true", "-Dsample.mode=block", "-Dsample.health=" + row.health,
             "-Dlumex.watchdogTimeout=4", "-Xlog:class+load:file=" + (dir / "classes").string()},
            elements("sample.app.Main", "", (dir / "err").string())};
        if (row.pipe != "none") launch.options.push_back("-Dlumex.watchdogPipe=" + pipe.string());
        FILE* const input = start(launch);
        ASSERT_TRUE(reported("blocking")) << file("stderr");
        const auto ask = [&](const std::string& request, const std::string& answer) {
            const auto asked = std::chrono::steady_clock::now();
            std::fputs((request + "\n").c_str(), input), std::fflush(input);
            EXPECT_EQ(reported(answer, row.answer.empty() ? 1s : 5s, "pipe"), !row.answer.empty())
                << request;
            return std::chrono::steady_clock::now() - asked;
        };
        if (!row.answer.empty()) {
            ASSERT_TRUE(reported("hello 1", 30s, "pipe"));
            // hello, then the version and home of the Java that runs (its "release" file)
            const std::string said = file("pipe"), home = "\ninfo java.home=";
            const size_t at = said.find(home) + home.size();
            const std::string javaHome = said.substr(at, said.find('\n', at) - at);
            const std::string release = read(fs::path(javaHome) / "release");
            const size_t version = release.find("JAVA_VERSION=\"") + 14;
            EXPECT_EQ(said.substr(0, said.find('\n', at) + 1),
                      "hello 1\ninfo java.version=" +
                          release.substr(version, release.find('"', version) - version) + home +
                          javaHome + "\n");
        }
        const auto first = ask("ping 1", row.answer + " 1");
        // ... and where its standard error goes, so the host can add its lines there
        EXPECT_EQ(file("pipe").find("\ninfo stderr=" + (dir / "err").string() + "\n") !=
                      std::string::npos,
                  !row.answer.empty())
            << file("pipe");
        const auto second = ask("ping 2", row.answer + " 2");
        if (row.health == "block") {
            EXPECT_GE(first, 2s) << "half the timeout";
            EXPECT_LT(first, 3500ms);
            EXPECT_LT(second, 1500ms) << "the check still running is not started again";
        }
        ask("dump", "dumped");
        // the dump: a header, then each thread's stack, the main thread's among them
        const std::string err = read(dir / "err");
        const size_t main = err.find("\n\"main\" #", err.find("Full thread dump "));
        EXPECT_EQ(main != std::string::npos &&
                      err.find("\n   java.lang.Thread.State: TIMED_WAITING\n\tat ", main) <
                          err.find("/sample.app.Main.main(Main.java:", main),
                  !row.answer.empty())
            << err;
        EXPECT_EQ(hasLine(err, "lumex: cannot open the watchdog pipe " + pipe.string() + ": " +
                                   "java.io.FileNotFoundException: " + pipe.string() +
                                   " (No such file or directory); the service host's watchdog "
                                   "is off for this JVM"),
                  row.pipe == "missing");
        EXPECT_EQ(file("classes").find("com." + row.family + ".runtime.internal.Watchdog ") !=
                      std::string::npos,
                  row.pipe != "none");
        std::fputs("0\n", input), std::fflush(input);
        EXPECT_EQ(finish(input), 0);
        EXPECT_TRUE(hasLine(file("report"), "stop last"));
    }
}

// Rotation keeps whole lines: each rotated file ends where a line ended, holds at least the
// rotation size, and the kept files and the current one hold the newest lines without a gap.
// Without a valid number of files to keep (an older launcher sends 0), five are kept.
TEST_F(RuntimeTest, TheOutputRotatesBetweenLines) {
    const int lines = 120;  // 7380 bytes in all: six rotations at 1000 bytes
    const std::string all = sampleLines(lines);
    const struct {
        std::string append, keep;  // lumex.outputKeep; empty: not set
        int kept;
    } rows[] = {{"false", "3", 3},  {"true", "3", 3},  {"false", "0", 5},
                {"false", "-2", 5}, {"false", "x", 5}, {"false", "", 5}};
    for (const auto& row : rows) {
        SCOPED_TRACE("append " + row.append + ", keep " + row.keep);
        const fs::path out = dir / "out.log";
        std::ofstream(out) << "old\n";
        Launch launch{"lumex",
                      false,
                      {"-Dsample.mode=lines", "-Dsample.lines=" + std::to_string(lines),
                       "-Dlumex.outputRotateSize=1000"},
                      elements("sample.app.Main", out.string(), "", row.append)};
        if (!row.keep.empty()) launch.options.push_back("-Dlumex.outputKeep=" + row.keep);
        ASSERT_EQ(runToEnd(launch), 0) << file("stderr");
        const std::string written = (row.append == "true" ? "old\n" : "") + all;
        std::string kept;
        for (int i = row.kept; i >= 1; --i) {
            const std::string older = read(dir / ("out.log." + std::to_string(i)));
            ASSERT_FALSE(older.empty()) << i;
            EXPECT_EQ(older.back(), '\n') << i;
            EXPECT_GE(older.size(), 1000u) << i;
            EXPECT_LT(older.size(), 1000u + lines + 1) << "one line beyond the size at most";
            kept += older;
        }
        EXPECT_FALSE(fs::exists(dir / ("out.log." + std::to_string(row.kept + 1))))
            << row.kept << " earlier files are kept";
        kept += read(out);
        ASSERT_LE(kept.size(), written.size());
        EXPECT_EQ(written.substr(written.size() - kept.size()), kept);
        EXPECT_LT(read(out).size(), 1000u);
        EXPECT_FALSE(fs::exists(dir / "out.log.rotating")) << "the dropped file is gone";
        for (int i = 1; i <= 7; ++i) fs::remove(dir / ("out.log." + std::to_string(i)));
    }
}

// A rotation that cannot finish (here a folder in the way of an archive, as a locked archive is
// on Windows) leaves every archive where it was and every line in the output file, which says
// once why it did not rotate; the next attempt comes one rotation size later.
TEST_F(RuntimeTest, AFailedRotationLeavesEveryArchiveAndLineWhereTheyWere) {
    const int lines = 120;
    const std::string all = sampleLines(lines);
    const char* const failed = "lumex: output rotation failed: ";
    for (const std::string blocked : {"out.log.1", "out.log.2", "out.log.3", "out.log.rotating"}) {
        SCOPED_TRACE("a folder named " + blocked);
        const fs::path out = dir / "out.log";
        for (const std::string archive : {"out.log.1", "out.log.2", "out.log.3"}) {
            fs::remove_all(dir / archive);
            std::ofstream(dir / archive) << archive << "\n";
        }
        fs::remove_all(dir / blocked);
        fs::create_directories(dir / blocked);
        std::ofstream(dir / blocked / "keep") << "x";
        Launch launch{"lumex",
                      false,
                      {"-Dsample.mode=lines", "-Dsample.lines=" + std::to_string(lines),
                       "-Dlumex.outputRotateSize=1000", "-Dlumex.outputKeep=3"},
                      elements("sample.app.Main", out.string(), "", "false")};
        ASSERT_EQ(runToEnd(launch), 0) << file("stderr");
        for (const std::string archive : {"out.log.1", "out.log.2", "out.log.3"}) {
            if (archive != blocked) EXPECT_EQ(read(dir / archive), archive + "\n");
        }
        EXPECT_EQ(read(dir / blocked / "keep"), "x");
        EXPECT_FALSE(fs::exists(dir / "out.log.4"));
        const auto [rest, reports] = withoutLines(read(out), failed);
        EXPECT_EQ(rest, "out-line\n" + all) << "every line, once";
        EXPECT_EQ(reports, 1) << "one report for a streak of failures\n" << read(out);
        EXPECT_NE(read(out).find("; retrying after 1000 more bytes\n"), std::string::npos);
        EXPECT_EQ(
            withoutLines(file("stderr"), "warning: " + out.string() + " not rotated: ").second, 1)
            << file("stderr");
        fs::remove_all(dir / blocked);
    }
}

// A write that fails part-way through a buffered chunk (here the process's file size limit) is
// taken up where it stopped: once the limit is lifted, the rest follows, nothing twice. The same
// with and without rotation.
TEST_F(RuntimeTest, AWriteErrorInAChunkWritesNoLineTwice) {
    const int lines = 40;  // 2000 bytes, beyond the limit of 1024
    std::string chunk;
    for (int i = 1; i <= lines; ++i)
        chunk += std::string(49, static_cast<char>('a' + i % 26)) + "\n";
    for (const std::string rotation : {"-Dlumex.outputRotateSize=1000000", "-Dno.rotation=0"}) {
        SCOPED_TRACE(rotation);
        const fs::path out = dir / "out.log";
        fs::remove(dir / "go");
        FILE* const input = start(Launch{
            "lumex",
            false,
            {"-XX:-UsePerfData", "-Dsample.mode=chunk", "-Dsample.lines=" + std::to_string(lines),
             "-Dsample.go=" + (dir / "go").string(), rotation},
            elements("sample.app.Main", out.string()),
            {},
            "ulimit -S -f 2; "});
        ASSERT_TRUE(reported("chunk written", 30s)) << file("stderr");
        EXPECT_EQ(fs::file_size(out), 1024u) << "the chunk stopped at the limit";
        const std::string report = file("report");
        const pid_t pid = std::stoi(report.substr(report.find("\npid ") + 5));
        rlimit limit{};
        ASSERT_EQ(prlimit(pid, RLIMIT_FSIZE, nullptr, &limit), 0);
        limit.rlim_cur = limit.rlim_max;
        ASSERT_EQ(prlimit(pid, RLIMIT_FSIZE, &limit, nullptr), 0);
        std::ofstream(dir / "go") << "x";
        EXPECT_EQ(finish(input), 0) << file("stderr");
        EXPECT_EQ(read(out), "out-line\n" + chunk + "after\n");
    }
}

// The runtime's own rules for the launcher's properties, through the checks class.
TEST_F(RuntimeTest, TheRuntimeReadsTheLaunchersPropertiesByItsRules) {
    // Only a local absolute path is looked at for the per-run directory: on Windows one with a
    // drive letter, elsewhere one starting with a single "/"; never a network path.
    const struct {
        std::string path;
        bool windows, other;
    } paths[] = {
        {"C:\\Temp\\run", true, false},
        {"c:/Temp/run", true, false},
        {"/tmp/run", false, true},
        {"/\\nohost\\share", false, true},
        {"\\\\nohost\\share\\x", false, false},
        {"//nohost/x", false, false},
        {"\\/nohost/x", false, false},
        {"\\\\?\\UNC\\nohost\\share\\x", false, false},
        {"//?/UNC/nohost/share/x", false, false},
        {"\\\\?\\C:\\Temp\\run", false, false},
        {"\\\\.\\C:\\Temp\\run", false, false},
        {"C:run", false, false},
        {"1:\\run", false, false},
        {"run", false, false},
        {"", false, false},
    };
    // The number of earlier output files: 1 to 1000, and 5 for anything else.
    const std::pair<std::string, std::string> keeps[] = {
        {"3", "3"}, {"1", "1"},  {" 7 ", "7"}, {"1000", "1000"}, {"1000000", "1000"},
        {"0", "5"}, {"-1", "5"}, {"x", "5"},   {"", "5"},
    };
    Texts arguments;
    std::string expected;
    for (const auto& row : paths) {
        arguments.insert(arguments.end(), {"windows", row.path, "other", row.path});
        expected += std::string(row.windows ? "true" : "false") + "\n" +
                    (row.other ? "true" : "false") + "\n";
    }
    for (const auto& [text, keep] : keeps) {
        arguments.insert(arguments.end(), {"keep", text});
        expected += keep + "\n";
    }
    ASSERT_EQ(runToEnd(Launch{"lumex",
                              false,
                              {},
                              elements("com.lumex.runtime.internal.RuntimeChecks", "", "", "false",
                                       arguments)}),
              0)
        << file("stderr");
    EXPECT_EQ(file("stdout"), expected);
}

}  // namespace

namespace {

// The launcher's class-data rules on the machine's files.
class FolderMachine : public launcher::ClassDataMachine {
public:
    explicit FolderMachine(fs::path folder) : folder_(std::move(folder)) {}
    std::optional<launcher::FileStamp> stamp(const std::string& path) override {
        std::error_code error;
        const auto status = fs::status(path, error);
        if (error || !fs::exists(status)) return std::nullopt;
        const uint64_t size = fs::is_regular_file(status) ? fs::file_size(path) : 0;
        return launcher::FileStamp{
            size, static_cast<uint64_t>(fs::last_write_time(path).time_since_epoch().count())};
    }
    std::optional<std::string> archiveFolder() override {
        fs::create_directories(folder_);
        return folder_.string() + "/";
    }
    std::vector<launcher::FolderEntry> listFolder(const std::string& folder) override {
        std::vector<launcher::FolderEntry> entries;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string path = entry.path().string();
            entries.push_back(
                {entry.path().filename().string(), stamp(path).value(), entry.is_directory()});
        }
        return entries;
    }
    void removeFile(const std::string& path) override { fs::remove(path); }
    bool renameFile(const std::string& from, const std::string& to) override {
        if (!fs::exists(from) || fs::exists(to)) return false;
        fs::rename(from, to);
        return true;
    }
    std::optional<uint64_t> contentHash(const std::string& path) override {
        const std::string bytes = read(path);
        return std::hash<std::string>()(bytes);
    }
    bool copyFile(const std::string& from, const std::string& to) override {
        fs::create_directories(fs::path(to).parent_path());
        return fs::copy_file(from, to);
    }
    void removeFolder(const std::string& path) override { fs::remove_all(path); }
    uint32_t processId() override { return static_cast<uint32_t>(getpid()); }

private:
    fs::path folder_;
};

// The JDK of the libjvm.so the driver loads, and its version.
std::pair<std::string, std::string> runtimeUnderTest() {
    const char* chosen = std::getenv("RUNTIME_LIBJVM");
    const std::string library = chosen != nullptr ? chosen : RUNTIME_LIBJVM;
    const fs::path home = fs::path(library).parent_path().parent_path().parent_path();
    std::string version;
    std::ifstream release(home / "release");
    for (std::string line; std::getline(release, line);) {
        if (line.rfind("JAVA_VERSION=\"", 0) == 0) version = line.substr(14, line.size() - 15);
    }
    return {library, version};
}

}  // namespace

// Start after start as the launcher plays them: the first writes the archive at the JVM's exit,
// the next maps the application's classes from it; a changed application jar makes a new one,
// which is mapped in turn; a cut-off archive is written anew and the application still starts.
TEST_F(RuntimeTest, ClassDataArchivesFollowTheClassPathAndSurviveDamage) {
    const auto [library, version] = runtimeUnderTest();
    SCOPED_TRACE(version);
    if (!fs::exists(fs::path(library).parent_path() / "classes.jsa")) {
        GTEST_SKIP() << library << " has no base archive";
    }
    const std::string build = RUNTIME_BUILD_DIR;
    const fs::path jdk = fs::path(library).parent_path().parent_path().parent_path();
    const fs::path app = dir / "app.jar";
    const auto makeApp = [&](const std::string& extra) {
        std::ofstream(dir / "extra.txt") << extra;
        fs::remove(app);
        const std::string command = "'" + (jdk / "bin/jar").string() + "' --create --file '" +
                                    app.string() + "' -C '" + build + "/test/sample-lumex' . -C '" +
                                    dir.string() + "' extra.txt";
        ASSERT_EQ(std::system(command.c_str()), 0);
    };
    makeApp("1");
    FolderMachine machine(dir / "archives");
    // What a process killed while writing left behind, and a file the launcher did not make.
    fs::create_directories(dir / "archives");
    std::ofstream(dir / "archives" / "0123456789abcdef.99999.part.jsa") << "cut";
    std::ofstream(dir / "archives" / "notes.txt") << "kept";
    launcher::ClassDataInputs inputs{version, library, ':', ""};

    // One start: the runtime jar extracted anew into a per-run directory, the options planned,
    // the driver run, the archive finished. Returns the options and how Main was loaded.
    int starts = 0;
    const auto start = [&]() {
        const fs::path run = dir / ("run" + std::to_string(++starts));
        fs::create_directories(run);
        fs::copy_file(build + "/lumex-runtime.jar", run / "lumex-runtime.jar");
        inputs.runDirectory = run.string() + "/";
        Texts options = {"-Djava.class.path=" + (run / "lumex-runtime.jar").string() + ":" +
                         app.string()};
        const auto write = launcher::addClassDataOptions(inputs, options, machine);
        options.push_back("-Xlog:class+load=info:file=" + (dir / "classes.log").string());
        Launch launch{"lumex", false, {}, elements("sample.app.Main")};
        launch.options = options;
        fs::remove(dir / "classes.log");
        EXPECT_EQ(runToEnd(launch), 0) << file("stderr") << file("stdout");
        EXPECT_NE(file("report").find("\nmain-to-main "), std::string::npos) << file("report");
        if (write) launcher::finishClassData(*write, machine);
        const std::string loads = file("classes.log");
        const size_t main = loads.find(" sample.app.Main source: ");
        return std::make_pair(options,
                              main == std::string::npos
                                  ? std::string("(not loaded)")
                                  : loads.substr(main + 25, loads.find('\n', main) - main - 25));
    };
    const auto archives = [&]() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir / "archives")) {
            if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    };

    const auto [first, firstSource] = start();
    ASSERT_EQ(archives().size(), 2u) << file("stderr");
    EXPECT_EQ(archives()[1], "notes.txt");
    const std::string archive = archives()[0];
    EXPECT_NE(first[1].find("ArchiveClassesAtExit=") + first[1].find("AOTCacheOutput="),
              2 * std::string::npos)
        << first[1];
    const auto [later, laterSource] = start();
    EXPECT_NE(later[0].find(archive), std::string::npos) << later[0];
    EXPECT_EQ(laterSource.rfind("shared objects file", 0), 0u) << laterSource;

    makeApp("2");
    // (The log of a first run on the ahead-of-time cache is written again by the process that
    // assembles the cache, so only the options tell.)
    const auto [changed, changedSource] = start();
    EXPECT_EQ(changed[0].rfind("-Xlog:cds=off", 0), 0u) << changed[0];
    ASSERT_EQ(archives().size(), 3u) << "the new archive beside the older one";
    const auto [again, againSource] = start();
    EXPECT_EQ(againSource.rfind("shared objects file", 0), 0u) << againSource;
    EXPECT_EQ(again[0].find(archive), std::string::npos) << again[0];

    // Cut to half: the launcher writes it anew, and the application starts all the same.
    std::string current;
    for (const std::string& name : archives()) {
        if (again[0].find(name) != std::string::npos) current = name;
    }
    ASSERT_FALSE(current.empty());
    fs::resize_file(dir / "archives" / current, fs::file_size(dir / "archives" / current) / 2);
    const auto [cut, cutSource] = start();
    EXPECT_EQ(cut[0].rfind("-Xlog:cds=off", 0), 0u) << cut[0];
    EXPECT_EQ(archives().size(), 3u);
    const auto [whole, wholeSource] = start();
    EXPECT_EQ(wholeSource.rfind("shared objects file", 0), 0u) << wholeSource;

    // A third application jar: the first archive and its copies go, two archives stay.
    makeApp("3");
    start();
    EXPECT_EQ(archives().size(), 3u);
    EXPECT_FALSE(fs::exists(dir / "archives" / archive));
    EXPECT_FALSE(fs::exists(dir / "archives" / (archive.substr(0, 16) + ".lib")));
}
