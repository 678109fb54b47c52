// The runtime jars on the machine's HotSpot, each run in a process of its own through
// runtime_driver (the launch's JNI calls), with the sample application of the jar's family.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

struct Launch {
    std::string family = "lumex";
    bool module = false;
    Lines properties;  // more JVM options
    Lines elements;    // the launcher's array
};

// The five launcher values, program argument 0 and the application's arguments.
Lines elements(std::string mainClass, std::string out = "", std::string err = "",
               std::string append = "false", Lines arguments = {}) {
    Lines all = {"true", mainClass, out, err, append, "svc"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return all;
}

std::string read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

Lines lines(const fs::path& file) {
    Lines out;
    std::istringstream in(read(file));
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

bool has(const Lines& all, const std::string& line) {
    return std::find(all.begin(), all.end(), line) != all.end();
}

class RuntimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "runtime_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    // Starts the driver; its standard streams: a pipe (input), files "stdout" and "stderr".
    pid_t start(const Launch& run, int* input) {
        const std::string build = RUNTIME_BUILD_DIR;
        const std::string jar = build + "/" + run.family + "-runtime.jar";
        const std::string sample = build + "/test/sample-" + run.family;
        const std::string runtimeModule = "com." + run.family + ".runtime";
        Lines args = {RUNTIME_DRIVER, "-Dsample.report=" + (dir / "report").string()};
        if (run.module) {
            args.insert(args.end(), {"--module-path=" + jar + ":" + sample,
                                     "--add-opens=sample.app/sample.app=" + runtimeModule,
                                     "--add-modules=sample.app," + runtimeModule});
        } else {
            args.push_back("-Djava.class.path=" + jar + ":" + sample);
        }
        args.insert(args.end(), run.properties.begin(), run.properties.end());
        args.push_back("--");
        args.push_back(run.family == "lumex" ? "com.lumex.runtime.WinLauncher"
                                             : "com.parcelkit.runtime.launcher.WinLauncher");
        args.insert(args.end(), run.elements.begin(), run.elements.end());
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);

        int pipeEnds[2];
        EXPECT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
        const int flags = O_WRONLY | O_CREAT | O_TRUNC;
        posix_spawn_file_actions_addopen(&actions, 1, (dir / "stdout").c_str(), flags, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, (dir / "stderr").c_str(), flags, 0644);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[0]);
        *input = pipeEnds[1];
        return pid;
    }

    // The exit code; -1 (and the process killed) when it has not ended in time.
    static int finish(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(60)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Runs to the end with no input.
    int runToEnd(const Launch& run) {
        fs::remove(dir / "report");
        int input = -1;
        const pid_t pid = start(run, &input);
        close(input);
        return finish(pid);
    }

    // A per-run directory with a file, a folder and a link out of it (which must survive).
    fs::path runDirectory() {
        const fs::path run = dir / "run", outside = dir / "outside";
        fs::create_directories(run / "sub");
        fs::create_directories(outside);
        std::ofstream(run / "sub" / "file.jar") << "x";
        std::ofstream(outside / "keep") << "x";
        fs::create_directory_symlink(outside, run / "link");
        return run;
    }

    fs::path dir;
};

TEST_F(RuntimeTest, TheApplicationGetsItsArgumentsInEachFamilyAndMode) {
    const Lines arguments = {"plain", "", "f\xc3\xb6\xc3\xb6 \xf0\x9f\x98\x80", "-J-Xmx1g"};
    for (const std::string family : {"lumex", "parcelkit"}) {
        for (const bool module : {false, true}) {
            SCOPED_TRACE(family + (module ? " module" : " class path"));
            const fs::path run = runDirectory();
            const std::string main = module ? "/sample.app/sample.app.Main" : "sample.app.Main";
            Launch launch{family, module, {"-Dlumex.tempDir=" + run.string()}, {}};
            launch.elements = elements(main, "", "", "false", arguments);
            launch.elements[0] = module ? "true" : "false";
            EXPECT_EQ(runToEnd(launch), 0) << read(dir / "stderr");

            const Lines report = lines(dir / "report");
            ASSERT_GE(report.size(), 6u) << read(dir / "stderr");
            EXPECT_EQ(Lines(report.begin(), report.begin() + 4),
                      Lines({"arg plain", "arg ", "arg " + arguments[2], "arg -J-Xmx1g"}));
            const std::string launcher =
                family == "lumex"
                    ? ", native NOT_CALLED, splash true false [splash.png] 1 2 [] -3 4 "
                      "[Loading] 5 6 [font] 7 8"
                    : ", native INITIALISED, splash null";
            EXPECT_EQ(report[4], std::string("kind ") + (module ? "true" : "false") +
                                     ", service false " + launcher);
            std::cout << family << (module ? " module" : " class path") << ": " << report[5]
                      << " ns\n";
            EXPECT_EQ(lines(dir / "stdout"), Lines({"out-line"}));
            EXPECT_TRUE(has(lines(dir / "stderr"), "err-line"));
            EXPECT_FALSE(fs::exists(run)) << "the per-run directory is removed";
            EXPECT_TRUE(fs::exists(dir / "outside" / "keep")) << "a link is not followed";
            fs::remove_all(dir / "outside");
        }
    }
}

TEST_F(RuntimeTest, TheStandardStreamsGoWhereTheLauncherSays) {
    struct Row {
        std::string out, err, append, noRedir;
        std::string fileA, fileB;  // the files afterwards (both hold "old\n" before)
        bool onConsole;            // the lines went to the driver's own streams
    };
    const Row rows[] = {
        {"a", "b", "false", "", "out-line\n", "err-line\n", false},
        {"a", "b", "true", "", "old\nout-line\n", "old\nerr-line\n", false},
        {"a", "a", "false", "", "out-line\nerr-line\n", "old\n", false},
        {"a", "./a", "true", "", "old\nout-line\nerr-line\n", "old\n", false},
        {"a", "b", "false", "true", "old\n", "old\n", true},
        {"$OUT", "$ERR", "false", "", "old\n", "old\n", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.out + " " + row.err + " " + row.append + " " + row.noRedir);
        std::ofstream(dir / "a") << "old\n";
        std::ofstream(dir / "b") << "old\n";
        const auto path = [&](const std::string& name) {
            return name.empty() || name[0] == '$' ? name : (dir / name).string();
        };
        Launch run;
        run.elements = elements("sample.app.Main", path(row.out), path(row.err), row.append);
        if (!row.noRedir.empty()) run.properties.push_back("-Dparcelkit.noRedir=" + row.noRedir);
        EXPECT_EQ(runToEnd(run), 0);
        EXPECT_EQ(read(dir / "a"), row.fileA);
        EXPECT_EQ(read(dir / "b"), row.fileB);
        EXPECT_EQ(has(lines(dir / "stdout"), "out-line"), row.onConsole);
        const Lines errors = lines(dir / "stderr");
        EXPECT_EQ(has(errors, "err-line"), row.onConsole);
        const bool warned = row.out[0] == '$';
        EXPECT_EQ(has(errors,
                      "warning: standard output not redirected: the path $OUT holds an "
                      "unexpanded variable"),
                  warned);
        EXPECT_EQ(has(errors,
                      "warning: standard error not redirected: the path $ERR holds an "
                      "unexpanded variable"),
                  warned);
    }
}

TEST_F(RuntimeTest, FailuresReachTheLaunchersReport) {
    struct Row {
        Lines elements;
        std::string error;  // the launcher's report line
        bool module = false;
    };
    const std::string argument = "java.lang.IllegalArgumentException: ";
    const Row rows[] = {
        {elements("sample.app.Main"), "java.lang.IllegalStateException: boom \xc3\xa4"},
        {elements("/sample.app/sample.app.Main"), "java.lang.IllegalStateException: boom \xc3\xa4",
         true},
        {elements("sample.app.Missing"), argument + "main class sample.app.Missing not found"},
        {elements("java.lang.Object"),
         argument + "no public static void main(String[]) in java.lang.Object"},
        {elements("sample.app.Main$Instance"),
         argument + "main(String[]) of sample.app.Main$Instance is not static void"},
        {elements("/no.such/x.Main"), argument + "module no.such not found", true},
        {elements("/sample.app/x.Main"),
         argument + "main class x.Main not found in module sample.app", true},
        {elements("/sample.app"),
         argument + "main class /sample.app is not \"/module/package.Class\""},
        {{"true"}, argument + "no main class given"},
        {{}, argument + "no main class given"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.error);
        Launch run{"lumex", row.module, {"-Dsample.mode=throw"}, row.elements};
        EXPECT_EQ(runToEnd(run), 1);
        const Lines errors = lines(dir / "stderr");
        EXPECT_TRUE(has(errors, "ERROR: an exception occurred")) << read(dir / "stderr");
        EXPECT_TRUE(has(errors, "ERROR: " + row.error)) << read(dir / "stderr");
    }
}

TEST_F(RuntimeTest, AServiceStopsWhenTheHostAsksOrGoes) {
    struct Row {
        std::string family;
        bool module;
        bool closeOnly;  // end of file instead of "0"
    };
    for (const Row& row : {Row{"lumex", true, false}, Row{"parcelkit", false, true}}) {
        SCOPED_TRACE(row.family);
        const fs::path run = runDirectory();
        const std::string main = row.module ? "/sample.app/sample.app.Main" : "sample.app.Main";
        Launch launch{
            row.family,
            row.module,
            {"-Dlumex.isService=true", "-Dsample.mode=block", "-Dlumex.tempDir=" + run.string()},
            elements(main)};
        fs::remove(dir / "report");
        int input = -1;
        const pid_t pid = start(launch, &input);
        for (int wait = 0; wait < 1500 && !has(lines(dir / "report"), "blocking"); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_TRUE(has(lines(dir / "report"), "blocking")) << read(dir / "stderr");
        ASSERT_EQ(write(input, "1\n", 2), 2);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "another line is not a stop request";
        if (!row.closeOnly) EXPECT_EQ(write(input, "0\n", 2), 2);
        if (row.closeOnly) close(input);
        EXPECT_EQ(finish(pid), 0);
        if (!row.closeOnly) close(input);

        const Lines report = lines(dir / "report");
        ASSERT_GE(report.size(), 5u);
        EXPECT_EQ(report[0], "kind true, service true svc, native " +
                                 std::string(row.family == "lumex" ? "NOT_CALLED" : "INITIALISED") +
                                 (row.family == "lumex" ? ", splash true false [splash.png] 1 2 [] "
                                                          "-3 4 [Loading] 5 6 [font] 7 8"
                                                        : ", splash null"));
        EXPECT_EQ(Lines(report.end() - 5, report.end()),
                  Lines({"removed true", "blocking", "stop last", "stop first", "hook"}));
        EXPECT_TRUE(has(lines(dir / "stderr"),
                        "stop handler failed: java.lang.IllegalStateException: failing handler"));
        EXPECT_FALSE(fs::exists(run));
        fs::remove_all(dir / "outside");
    }
}

}  // namespace
