// The JVM option list that "/run" assembles, read from the launcher's "vmoption" log lines: the
// launcher's system properties, then the configured, per-version and locale options, the
// .vmoptions files with their includes, "-J" arguments, the class path and the /run property,
// with '@' argument files expanded by the selected runtime's jli.dll.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "launcher_e2e.h"

using namespace e2e;
namespace fs = std::filesystem;
using launcher::ConfigId;
using launcher::idOf;
using launcher::Setting;

namespace {

struct OptionsRun {
    std::vector<std::string> log;      // without the "[s:ms] " stamps
    std::vector<std::string> options;  // the texts of the "vmoption %d: %S" lines, in order
};

OptionsRun runOptions(const fs::path& exe, std::vector<std::string> args,
                      const Environment& unixEnv = {}) {
    const fs::path temp = exe.parent_path() / "temp";
    WinrunOptions options = withTemp(temp);
    options.unset.push_back("MANPATH");  // without it the console code page is a property
    options.unixEnv = unixEnv;
    args.insert(args.begin(), "/run");
    runViaWinrun(exe, args, options);
    OptionsRun run{logMessages(temp / "pkx_nlog_1.log"), {}};
    static const std::regex option(R"(vmoption (\d+): (.*))");
    for (const auto& line : run.log) {
        std::smatch m;
        if (!std::regex_match(line, m, option)) continue;
        EXPECT_EQ(std::stoul(m[1]), run.options.size()) << line;
        run.options.push_back(m[2]);
    }
    return run;
}

// The log holds the lines in this order (other lines may lie between them).
::testing::AssertionResult inLog(const OptionsRun& run, const std::vector<std::string>& lines) {
    auto at = run.log.begin();
    for (const auto& line : lines) {
        at = std::find(at, run.log.end(), line);
        if (at == run.log.end()) {
            return ::testing::AssertionFailure() << "missing in order: " << line << "\n--- log:\n"
                                                 << joined(run.log);
        }
    }
    return ::testing::AssertionSuccess();
}

// The launcher's system properties of "/run" (no temp folder: nothing was extracted), then rest.
std::vector<std::string> withProperties(const fs::path& exe, std::vector<std::string> rest) {
    std::vector<std::string> all = {
        "-Dlumex.semaphoreName=Global\\S-1-5-*",  // the per-user marker name
        "-Dlumex.moduleName=" + toWinePath(exe),
        "-Dsun.java.command=" + toWinePath(exe),
        "-Dlumex.tempDir=",
        "-Dlumex.unextractedPosition=0",
        "-Djava.library.path=" + canon(exe.parent_path() / "jre/bin") + ";*",
        "-Dlumex.consoleCodepage=cp*"};
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}

// The options are the expected ones; an expected text ending in "*" only has to begin its option.
::testing::AssertionResult sameOptions(const OptionsRun& run,
                                       const std::vector<std::string>& expected) {
    bool same = run.options.size() == expected.size();
    for (size_t i = 0; same && i < expected.size(); ++i) {
        const std::string& e = expected[i];
        same = e.ends_with('*') ? run.options[i].starts_with(e.substr(0, e.size() - 1))
                                : run.options[i] == e;
    }
    if (same) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected:\n"
                                         << joined(expected) << "--- logged:\n"
                                         << joined(run.options) << "--- log:\n"
                                         << joined(run.log);
}

}  // namespace

TEST(JvmOptions, EverySourceTakesItsPlaceInTheAssembledList) {
    const fs::path dir = scratchDir();
    pack::BlockWriter block = sampleBlock("2");
    block.string(idOf(Setting::ReadVmOptionsFile), "1")
        .string(idOf(Setting::JavaOptionArguments), "1")
        .string(idOf(Setting::JvmOptions), "-Xss2m")
        .string(idOf(Setting::VersionOptionCount), "2")
        .string(ConfigId::versionCondition(0).value(), "9-11")
        .string(ConfigId::versionOptions(0).value(), "-Dnot=1")
        .string(ConfigId::versionCondition(1).value(), "17-17")
        .string(ConfigId::versionOptions(1).value(), "-Dseventeen=1")
        .string(idOf(Setting::ClassPath), "A0app.jar");
    const fs::path exe = packRunnableLauncher(dir, "opts.exe", block);
    const std::string folder = toWinePath(dir) + "\\", arguments = toWinePath(dir / "args.txt");
    writeFile(dir / "args.txt", "--add-modules\njava.sql\n");
    writeFile(dir / "opts.vmoptions",
              "  -Xmx256m\r\n# -Dcomment=1\r\n\r\n \t \r\n-classpath/p ${LUMEX_EXEDIR}pre.jar\r\n"
              "-include-options sub\\a.vmoptions\r\n@" +
                  arguments + "\r\n-Dlast=1");
    // b.vmoptions lies beside a.vmoptions and includes it again.
    writeFile(dir / "sub/a.vmoptions", "-Da=1\n-include-options b.vmoptions\n-Da.after=1\n");
    writeFile(dir / "sub/b.vmoptions", "-Db=1\n-include-options a.vmoptions\n-Db.after=1\n");

    const OptionsRun run = runOptions(exe, {"-J-Xmx1g", "-Dsun.locale.formatasdefault=false"},
                                      {{"LC_ALL", "de_DE.UTF-8"}});
    if (std::count(run.log.begin(), run.log.end(), "language/country is de_DE") == 0) {
        GTEST_SKIP() << "Wine reports another user-interface language under LC_ALL=de_DE.UTF-8";
    }
    EXPECT_TRUE(sameOptions(
        run, withProperties(
                 exe, {"-Xss2m", "-Dseventeen=1", "-Dsun.locale.formatasdefault=false",
                       "-Duser.language=de", "-Duser.country=DE", "-Xmx256m", "-Da=1", "-Db=1",
                       "-Db.after=1", "-Da.after=1", "--add-modules=java.sql", "-Dlast=1", "-Xmx1g",
                       "-Djava.class.path=" + folder + "pre.jar;" + folder + "app.jar",
                       "-Dparcelkit.noRedir=true"})));
    const std::string a = folder + "sub\\a.vmoptions";
    EXPECT_TRUE(inLog(
        run,
        {"adding options", "check 2 version specific vm option lines for 17.0.1",
         "checking min 9 max 11 with 17", "checking version 9-11 0", "checking version 17-17 1",
         "adding specific -Dseventeen=1", "default vmoptions file: 1",
         "adding vmoptions from (1) <" + a + "> (sub\\a.vmoptions)",
         "adding vmoptions from (1) <" + folder + "sub\\b.vmoptions> (b.vmoptions)",
         "ERROR: include cycle: " + a + " is already being read",
         "@ argument found 22 " + canon(dir / "jre/bin"), "vmoption count 22"}));
    EXPECT_EQ(std::count(run.log.begin(), run.log.end(), "adding specific -Dnot=1"), 0);
    const auto loads = readLoadRecord(dir / "jre");
    ASSERT_EQ(loads.size(), 3u) << joined(loads);
    EXPECT_EQ(loads[1], "jli init 1 0");
    EXPECT_EQ(loads[2], "jli expand " + arguments + " 2");
}

TEST(JvmOptions, FileBesideTheFullNameSetsTheClassPathAndArgumentFilesNeedJli) {
    const fs::path dir = scratchDir();
    pack::BlockWriter block = sampleBlock("2");
    block.string(idOf(Setting::ReadVmOptionsFile), "1")
        .string(idOf(Setting::ClassPath), "A0app.jar");
    const fs::path exe = packRunnableLauncher(dir, "plain.exe", block);
    fs::remove(dir / "jre/bin/jli.dll");
    const std::string folder = toWinePath(dir) + "\\", arguments = toWinePath(dir / "args.txt");
    writeFile(dir / "args.txt", "-Dnever=1\n");
    // Only the last line of each class-path kind counts; a module option and its value merge.
    writeFile(dir / "plain.exe.vmoptions",
              "-classpath/a a.jar\n-classpath C:\\replace.jar\n-classpath/a b.jar\n"
              "--add-modules\njava.sql\n-include-options missing.vmoptions\n@" +
                  arguments + "\n");

    // "-J" arguments are program arguments unless the configuration says otherwise.
    const OptionsRun run = runOptions(exe, {"-J-Xmx1g", "-Dsun.locale.formatasdefault=true"});
    EXPECT_TRUE(sameOptions(
        run, withProperties(exe, {"-Dsun.locale.formatasdefault=true", "--add-modules=java.sql",
                                  "@" + arguments, "-Djava.class.path=C:\\replace.jar;b.jar",
                                  "-Dparcelkit.noRedir=true"})));
    EXPECT_TRUE(inLog(
        run,
        {"vmoptions2: exe " + toWinePath(exe) + " file: " + folder + "plain.vmoptions, file: 0",
         "vmoptions: opts2: " + toWinePath(exe) + ".vmoptions, file: 1",
         "default vmoptions file: 1",
         "adding vmoptions from (0) <" + folder + "missing.vmoptions> (missing.vmoptions)",
         "@ argument found 12 " + canon(dir / "jre/bin"),
         "did not find " + canon(dir / "jre/bin") + "\\jli.dll", "vmoption count 12"}));
    EXPECT_EQ(std::count(run.log.begin(), run.log.end(), "adding preconfigured classpath"), 0);
    EXPECT_EQ(readLoadRecord(dir / "jre").size(), 1u) << "only jvm.dll was loaded";
}
