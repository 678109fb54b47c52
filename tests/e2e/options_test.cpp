// The JVM option list that "/run" assembles, read from the launcher's "vmoption" log lines: the
// launcher's system properties, then the configured, per-version and locale options, the
// .vmoptions files with their includes, "-J" arguments, the class path and the /run property,
// with '@' argument files expanded by the selected runtime's jli.dll.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <iostream>
#include <regex>

#include "launcher_e2e.h"

using namespace e2e;
namespace fs = std::filesystem;
using launcher::ConfigId;
using launcher::idOf;
using launcher::Setting;

namespace {

struct OptionsRun {
    WinrunResult result;
    std::vector<std::string> log;      // without the "[s:ms] " stamps
    std::vector<std::string> options;  // the texts of the "vmoption %d: %S" lines, in order
};

OptionsRun runOptions(const fs::path& exe, std::vector<std::string> args,
                      const Environment& unixEnv = {}, const Environment& env = {}) {
    const fs::path temp = exe.parent_path() / "temp";
    WinrunOptions options = withTemp(temp);
    options.unset.push_back("MANPATH");  // without it the console code page is a property
    options.unixEnv = unixEnv;
    options.env.insert(options.env.end(), env.begin(), env.end());
    args.insert(args.begin(), "/run");
    OptionsRun run{runViaWinrun(exe, args, options), {}, {}};
    run.log = logMessages(temp / "pkx_nlog_1.log");
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
    // The default file includes itself under another name: refused, it is read once.
    writeFile(dir / "opts.vmoptions",
              "  -Xmx256m\r\n-include-options .\\sub\\..\\OPTS.vmoptions\r\n# -Dcomment=1\r\n\r\n"
              " \t \r\n-classpath/p ${LUMEX_EXEDIR}pre.jar\r\n"
              "-include-options sub\\a.vmoptions\r\n@" +
                  arguments + "\r\n-Dlast=1");
    // b.vmoptions lies beside a.vmoptions and includes it again.
    writeFile(dir / "sub/a.vmoptions", "-Da=1\n-include-options b.vmoptions\n-Da.after=1\n");
    writeFile(dir / "sub/b.vmoptions", "-Db=1\n-include-options a.vmoptions\n-Db.after=1\n");

    const OptionsRun run = runOptions(exe, {"-J-Xmx1g", "-Dsun.locale.formatasdefault=false"},
                                      {{"LC_ALL", "de_DE.UTF-8"}});
    // The language and country options follow the user-interface language the launcher found:
    // German where Wine honours LC_ALL, else whatever Wine reports (every other check holds).
    std::string code;
    for (const auto& line : run.log) {
        if (line.starts_with("language/country is ")) code = line.substr(20);
    }
    if (code != "de_DE") {
        std::cout << "Wine reports " << code << " under LC_ALL=de_DE.UTF-8: the German codes "
                  << "are not checked\n";
    }
    ASSERT_GE(code.size(), 2u) << joined(run.log);
    std::vector<std::string> locale = {"-Dsun.locale.formatasdefault=false",
                                       "-Duser.language=" + code.substr(0, 2)};
    if (code.size() == 5) locale.push_back("-Duser.country=" + code.substr(3));
    std::vector<std::string> expected = {"-Xss2m", "-Dseventeen=1"};
    expected.insert(expected.end(), locale.begin(), locale.end());
    for (const char* option : {"-Xmx256m", "-Da=1", "-Db=1", "-Db.after=1", "-Da.after=1",
                               "--add-modules=java.sql", "-Dlast=1", "-Xmx1g"}) {
        expected.push_back(option);
    }
    expected.push_back("-Djava.class.path=" + folder + "pre.jar;" + folder + "app.jar");
    expected.push_back("-Dparcelkit.noRedir=true");
    EXPECT_TRUE(sameOptions(run, withProperties(exe, expected)));
    const std::string a = folder + "sub\\a.vmoptions";
    const std::string count = std::to_string(withProperties(exe, expected).size());
    EXPECT_TRUE(inLog(
        run,
        {"adding options", "check 2 version specific vm option lines for 17.0.1",
         "checking min 9 max 11 with 17", "checking version 9-11 0", "checking version 17-17 1",
         "adding specific -Dseventeen=1", "default vmoptions file: 1",
         "ERROR: include cycle: " + folder + ".\\sub\\..\\OPTS.vmoptions is already being read",
         "adding vmoptions from (1) <" + a + "> (sub\\a.vmoptions)",
         "adding vmoptions from (1) <" + folder + "sub\\b.vmoptions> (b.vmoptions)",
         "ERROR: include cycle: " + a + " is already being read",
         "@ argument found " + count + " " + canon(dir / "jre/bin"), "vmoption count " + count}));
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

    // A plain.vmoptions too large to read ends the search: plain.exe.vmoptions is not read.
    const fs::path refused = dir / "refused";
    const fs::path big = packRunnableLauncher(refused, "plain.exe", block);
    writeFile(refused / "plain.exe.vmoptions", "-Dnever=1\n");
    writeFile(refused / "plain.vmoptions", "-Dnever=2\n" + std::string(16 << 20, '#'));
    const OptionsRun second = runOptions(big, {});
    const std::string refusedFolder = toWinePath(refused) + "\\";
    EXPECT_TRUE(
        sameOptions(second, withProperties(big, {"-Djava.class.path=" + refusedFolder + "app.jar",
                                                 "-Dparcelkit.noRedir=true"})));
    EXPECT_TRUE(inLog(second, {"ERROR: options file " + refusedFolder +
                                   "plain.vmoptions not read: 16777226 bytes, more than 16777216",
                               "vmoptions2: exe " + toWinePath(big) + " file: " + refusedFolder +
                                   "plain.vmoptions, file: 1",
                               "default vmoptions file: 0"}));
    EXPECT_EQ(
        std::count_if(second.log.begin(), second.log.end(),
                      [](const std::string& line) { return line.starts_with("vmoptions: "); }),
        0);
}

TEST(JvmOptions, ConfiguredPathEntriesOfEveryKind) {
    const fs::path root = scratchDir();
    struct Row {
        std::string name, classPath, modulePath;
        std::vector<std::string> options;  // after the system properties; the folder is "<f>"
        std::string error;                 // the message of a launch that ends (empty: none)
    };
    // Archives before zip files in a scanned folder (the zip's name comes first); quotes around
    // a variable's value are dropped, and "" alone adds an empty element; optional entries are
    // added whether or not they exist, unknown kinds are skipped.
    const std::vector<Row> rows = {
        {"present",
         "A1present.jar;A0missing.jar;;D1classes;D0nodir;S1lib;S0nolib;E1CP_QUOTED;E1CP_EMPTY;"
         "E1CP_VAR;E0CP_UNSET;X1ignored",
         "S0lib;A1mods\\m.jar;E0MP_VAR",
         {"-Djava.class.path=<f>present.jar;<f>missing.jar;<f>classes;<f>nodir;<f>lib\\b.jar;"
          "<f>lib\\a.zip;q.jar;;x.jar;y.jar",
          "--module-path=<f>lib;<f>mods\\m.jar;C:\\mp", "--add-modules=com.lumex.runtime",
          "-Dparcelkit.noRedir=true"},
         ""},
        {"archive", "A0present.jar;A1missing.jar", "", {}, "Missing: missing.jar"},
        {"directory", "D1nodir", "", {}, "Missing: nodir"},
        {"scanned", "S1nolib", "", {}, "Missing: nolib"},
        {"variable", "E1CP_UNSET", "", {}, "No variable: CP_UNSET"},
        {"module", "A1present.jar", "D1nomods", {}, "Missing: nomods"},
    };
    const Environment variables = {{"CP_VAR", "x.jar;y.jar"},
                                   {"CP_QUOTED", "\"q.jar;\""},
                                   {"CP_EMPTY", "\"\""},
                                   {"MP_VAR", "C:\\mp"}};
    std::vector<std::future<OptionsRun>> runs;
    std::vector<fs::path> exes;
    for (const Row& row : rows) {
        const fs::path dir = root / row.name;
        pack::BlockWriter block = sampleBlock("2");
        block.string(idOf(Setting::ClassPath), row.classPath)
            .string(idOf(Setting::ModulePath), row.modulePath)
            .wide(idOf(launcher::Message::RequiredPathMissing), u"Missing: {0}")
            .wide(idOf(launcher::Message::RequiredVariableMissing), u"No variable: {0}");
        exes.push_back(packRunnableLauncher(dir, "entries.exe", block));
        for (const char* file :
             {"present.jar", "lib/b.jar", "lib/a.zip", "lib/x.txt", "mods/m.jar"})
            writeFile(dir / file, "");
        fs::create_directories(dir / "classes");
        runs.push_back(std::async(std::launch::async, [exe = exes.back(), &variables] {
            return runOptions(exe, {}, {}, variables);
        }));
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        const OptionsRun run = runs[i].get();
        SCOPED_TRACE(row.name);
        if (!row.error.empty()) {
            EXPECT_EQ(run.result.exitCode, 1u) << run.result.describe();
            EXPECT_TRUE(run.result.err().starts_with(row.error + "\r\n")) << run.result.describe();
            EXPECT_TRUE(run.options.empty()) << joined(run.options);
            continue;
        }
        const std::string folder = toWinePath(root / row.name) + "\\";
        std::vector<std::string> expected;
        for (std::string option : row.options) {
            for (size_t at; (at = option.find("<f>")) != std::string::npos;)
                option.replace(at, 3, folder);
            expected.push_back(option);
        }
        EXPECT_EQ(run.result.exitCode, 0u) << run.result.describe();
        EXPECT_TRUE(sameOptions(run, withProperties(exes[i], expected)));
    }
}

// Class-data sharing under the stand-in runtime: the options each Java version gets, the cases
// that get none, and an archive written at the JVM's exit (DestroyJavaVM or System.exit) that
// the next start maps.
TEST(JvmOptions, ClassDataOptionsFollowTheRuntimeVersion) {
    struct Row {
        std::string name, version;
        bool baseArchive = true;
        std::string userOption;       // configured option
        std::string folder = "safe";  // or "unsafe" (anyone may write) or "unwritable"
        std::string main = "return";
        std::string first, later;  // the archive options' names; empty: none
    };
    const std::vector<Row> rows = {
        {"8", "1.8.0_301"},
        {"11", "11.0.2"},
        {"17", "17.0.1", true, "", "safe", "return", "ArchiveClassesAtExit", "SharedArchiveFile"},
        {"21 exit", "21.0.2", true, "", "safe", "exit:3", "ArchiveClassesAtExit",
         "SharedArchiveFile"},
        {"25", "25", true, "", "safe", "return", "AOTCacheOutput", "AOTCache"},
        {"17 no base", "17.0.1", false},
        {"17 share off", "17.0.1", true, "-Xshare:off"},
        {"17 own archive", "17.0.1", true, "-XX:SharedArchiveFile=C:\\own.jsa"},
        {"21 own dump", "21.0.2", true, "-XX:ArchiveClassesAtExit=Z:\\none\\own.jsa"},
        {"25 own cache", "25", true, "-XX:AOTCache=C:\\own.aot"},
        {"25 own cache output", "25", true, "-XX:AOTCacheOutput=Z:\\none\\own.aot"},
        {"25 AOT mode", "25", true, "-XX:AOTMode=off"},
        {"17 unsafe", "17.0.1", true, "", "unsafe"},
        {"17 unwritable", "17.0.1", true, "", "unwritable"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path dir = scratchDir() / std::to_string(&row - rows.data());
        pack::BlockWriter block = sampleBlock("2");
        block.string(idOf(Setting::ClassDataSharing), "1")
            .string(idOf(Setting::ClassPath), "A0app.jar")
            .file({"extra.jar", {'P', 'K'}});
        if (!row.userOption.empty()) block.string(idOf(Setting::JvmOptions), row.userOption);
        StandinRuntime runtime;
        runtime.versionText = "openjdk version \"" + row.version + "\" 2022-01-18\n";
        runtime.mainBehaviour = row.main;
        const fs::path exe = packRunnableLauncher(dir, "cds.exe", block, runtime);
        if (row.baseArchive) writeFile(dir / "jre/bin/server/classes.jsa", "base");
        const fs::path appData = dir / "appdata";
        const fs::path archives = appData / "lumex/class-data";
        fs::create_directories(archives.parent_path());
        if (row.folder == "unwritable") {
            writeFile(archives, "a file where the folder goes");
        } else {
            fs::create_directories(archives);
        }
        // Another account could put an archive there: the launcher must not use the folder.
        if (row.folder == "unsafe") fs::permissions(archives, fs::perms::all);
        const Environment env = {{"LOCALAPPDATA", toWinePath(appData)}};

        const OptionsRun first = runOptions(exe, {}, {}, env);
        const std::string lead = row.first.empty() ? "" : "-XX:" + row.first + "=";
        if (row.first.empty()) {
            EXPECT_TRUE(std::none_of(first.options.begin(), first.options.end(),
                                     [&](const std::string& o) {
                                         return o != row.userOption &&
                                                (o.starts_with("-Xlog:cds") ||
                                                 o.starts_with("-XX:ArchiveClasses") ||
                                                 o.starts_with("-XX:AOTCacheOutput") ||
                                                 o.starts_with("-XX:SharedArchiveFile"));
                                     }))
                << joined(first.options);
            const std::string why =
                row.folder != "safe"      ? "class-data sharing: no safe archive folder"
                : !row.baseArchive        ? "class-data sharing: the runtime has no"
                : !row.userOption.empty() ? "class-data sharing: the options choose"
                                          : "class-data sharing: none for Java";
            EXPECT_TRUE(std::any_of(first.log.begin(), first.log.end(),
                                    [&](const std::string& l) { return l.starts_with(why); }))
                << why << "\n"
                << joined(first.log);
            continue;
        }
        fs::remove_all(dir / "temp");  // the later start's log is the first log again
        const OptionsRun later = runOptions(exe, {}, {}, env);
        ASSERT_GE(first.options.size(), 2u);
        const bool dynamic = row.first == "ArchiveClassesAtExit";
        EXPECT_EQ(first.options[0], dynamic ? "-Xlog:cds=off" : "-Xlog:cds=off,aot=off");
        // <folder>\<16 digits>.<pid>.part.<ext>, then "<16 digits>-<size>.<ext>" once kept.
        const std::string ext = dynamic ? "jsa" : "aot";
        const std::string folder = toWinePath(archives) + "\\cds-";
        const std::regex written(
            std::regex_replace(lead + folder, std::regex(R"([\\.^$|()\[\]{}*+?])"), R"(\$&)") +
            "[0-9a-f]{8}\\\\([0-9a-f]{16})\\.[0-9]+\\.part\\." + ext);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(first.options[1], m, written)) << first.options[1];
        const std::string stamp = m[1];
        // The per-run directory's jar is on the class path as the archive's copy.
        const auto classPath =
            std::find_if(first.options.begin(), first.options.end(),
                         [](const std::string& o) { return o.starts_with("-Djava.class.path="); });
        ASSERT_NE(classPath, first.options.end());
        EXPECT_NE(classPath->find("\\" + stamp + ".lib\\extra.jar;"), std::string::npos)
            << *classPath;
        ASSERT_FALSE(later.options.empty());
        EXPECT_TRUE(later.options[0].starts_with("-XX:" + row.later + "=" + folder))
            << later.options[0];
        EXPECT_TRUE(later.options[0].ends_with("\\" + stamp + "-18." + ext)) << later.options[0];
        EXPECT_NE(std::find(later.options.begin(), later.options.end(), *classPath),
                  later.options.end())
            << "the later start names the same copy";
    }
}
