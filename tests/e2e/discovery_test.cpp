// The Java runtime search of "/run" as a user's launcher does it: configured directories and
// their validation, the per-user version cache, loading jvm.dll from the variant folders,
// variables and preference files, the registry finders, and unpacking packed runtime jars. The
// runtimes are stand-ins (tests/standin) laid out beside the launcher; after a runtime loaded
// the launcher assembles the options and runs the stand-in runtime's launcher class.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <regex>

#include "config/settings.h"
#include "launcher_e2e.h"
#include "standin_runtime.h"

using namespace e2e;
namespace fs = std::filesystem;
using launcher::idOf;
using launcher::Message;
using launcher::Setting;

namespace {

// No message: the runtime loaded and the application ran.
const std::string kRan;
const std::string kLoaded = "Loading of JVM-DLL successful", kNo = "checkJavaExe returning 0";

// A launcher that searches the sequence, with a text for every message the search can show.
pack::BlockWriter searchBlock(const std::string& kind, const std::string& sequence,
                              const std::map<Setting, std::string>& settings = {}) {
    pack::BlockWriter w = sampleBlock(kind);
    w.string(idOf(Setting::SearchSequence), sequence);
    for (const auto& [setting, value] : settings) w.string(idOf(setting), value);
    w.wide(idOf(Message::NoJvmFound), u"No runtime ({0})")
        .wide(idOf(Message::EnvironmentJvmNotLoaded), u"Variable runtime failed: {0}")
        .wide(idOf(Message::DirectoryJvmNotLoaded), u"Directory runtime failed: {0}")
        .wide(idOf(Message::RegistryJvmNotLoaded), u"Registered runtime failed")
        .wide(idOf(Message::UnpackNotStarted), u"Unpacking failed");
    return w;
}

struct SearchRun {
    WinrunResult result;
    std::vector<std::string> log;  // without the "[s:ms] " stamps
    std::string logPath;           // as the launcher shows it
};

// "/run" with its own temp folder; the Java variables are unset unless env sets them.
SearchRun runSearch(const fs::path& exe, const fs::path& temp, const Environment& env = {}) {
    WinrunOptions options = withTemp(temp);
    options.unset.insert(options.unset.end(),
                         {"LUMEX_JAVA_HOME", "PARCELKIT_JAVA_HOME", "_JAVA_OPTIONS",
                          "JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS"});
    for (const auto& [name, value] : env) std::erase(options.unset, name);
    options.env.insert(options.env.end(), env.begin(), env.end());
    return {runViaWinrun(exe, {"/run"}, options), logMessages(temp / "pkx_nlog_1.log"),
            toWinePath(temp / "pkx_nlog_1.log")};
}

// Every "*" in the expected line matches any text there.
bool matches(std::string_view line, std::string_view expected) {
    const size_t star = expected.find('*');
    if (star == std::string_view::npos) return line == expected;
    if (!line.starts_with(expected.substr(0, star))) return false;
    for (size_t at = star; at <= line.size(); ++at) {
        if (matches(line.substr(at), expected.substr(star + 1))) return true;
    }
    return false;
}

// The expected lines appear in the log in this order (other lines may lie between them).
::testing::AssertionResult inLog(const SearchRun& run, const std::vector<std::string>& expected) {
    size_t found = 0;
    for (const auto& line : run.log) {
        if (found < expected.size() && matches(line, expected[found])) ++found;
    }
    if (found == expected.size()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "missing in order: " << expected[found] << "\n--- log:\n"
           << joined(run.log);
}

// The log of the search entry whose first line is expected.front() is exactly these lines; it
// ends before the next entry or once a runtime loaded.
::testing::AssertionResult entryLogged(const SearchRun& run,
                                       const std::vector<std::string>& expected) {
    std::vector<std::string> block;
    for (auto at = std::find(run.log.begin(), run.log.end(), expected.front());
         at != run.log.end() &&
         (block.empty() || !(at->starts_with("Testing ") || at->starts_with("Search sequence")));
         ++at) {
        block.push_back(*at);
        if (*at == kLoaded) break;
    }
    bool same = block.size() == expected.size();
    for (size_t i = 0; same && i < block.size(); ++i) same = matches(block[i], expected[i]);
    if (same) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected:\n"
                                         << joined(expected) << "--- logged:\n"
                                         << joined(block);
}

size_t countIn(const std::vector<std::string>& lines, const std::string& expected) {
    return static_cast<size_t>(
        std::count_if(lines.begin(), lines.end(), [&](auto& l) { return matches(l, expected); }));
}

// The launcher (console kind) ran the application (exit code 0, nothing shown), or ended with
// exit code 1 after showing text on standard error.
void expectEnd(const SearchRun& run, const std::string& text = kRan) {
    if (text.empty()) {
        EXPECT_EQ(run.result.exitCode, 0u) << run.result.describe();
        EXPECT_EQ(run.result.err(), "") << joined(run.log);
        return;
    }
    EXPECT_EQ(run.result.exitCode, 1u) << run.result.describe();
    EXPECT_EQ(run.result.err(), text + "\r\n\r\nLog: " + run.logPath + "\r\n") << joined(run.log);
}

// A runtime home's java.exe as the search logs it, and the line of its loading.
std::string javaIn(const fs::path& home) {
    return canon(home / "bin/java.exe");
}
std::string loading(const fs::path& home) {
    return "Trying to load JVM-DLL from " + javaIn(home);
}

StandinRuntime withVersion(const std::string& version, std::vector<std::string> refuse = {}) {
    return {.versionText = "openjdk version \"" + version + "\" 2022-01-18\n",
            .refuseLoad = std::move(refuse)};
}

// The version cache's key of a Java executable, and its values: name -> "TYPE data".
std::string cacheKey(const fs::path& javaExe) {
    std::string key = canon(javaExe);
    std::replace(key.begin(), key.end(), '\\', '/');
    return "HKCU\\SOFTWARE\\harbor-works\\lumex\\jvms2\\" + key;
}

std::map<std::string, std::string> cacheEntry(const fs::path& javaExe) {
    std::map<std::string, std::string> values;
    static const std::regex value(R"(^\s+(\S+)\s+(REG_\w+)\s+(.*?)\s*$)");
    for (const auto& line : splitLines(runWine("reg", {"query", cacheKey(javaExe)}).out)) {
        std::smatch m;
        if (std::regex_match(line, m, value)) values[m[1]] = m[2].str() + " " + m[3].str();
    }
    return values;
}

}  // namespace

TEST(DiscoveryDirectories, EntriesAreValidatedInOrderAndTheFirstGoodRuntimeLoads) {
    const fs::path app = scratchDir();
    for (const auto& [name, version] : std::map<std::string, std::string>{
             {"jre-too-old", "1.8.0_292"}, {"jre-beta", "17-ea"}, {"jre-too-new", "18.0.1"}}) {
        layOutRuntime(app / name, withVersion(version));
    }
    layOutRuntime(app / "jre-x64", {.x64Java = true});
    layOutRuntime(app / "jre-nojavaw", {.javaw = false});
    // Its java.exe exits at once and a process of its own writes the version half a second later.
    StandinRuntime handsOn = withVersion("18.0.2");
    handsOn.extraConfigLines = {"version_by_child=1"};
    layOutRuntime(app / "jre-handson", handsOn);
    for (const char* name : {"jre-ok", "jre-late"}) layOutRuntime(app / name, {});
    const auto java = [&](const std::string& name) { return javaIn(app / name); };
    // A directory entry whose java.exe ran and printed the version, then the lines that follow.
    const auto ran = [&](const std::string& entry, const std::string& version,
                         std::vector<std::string> then) {
        std::vector<std::string> lines = {
            "Testing location " + entry,
            "checkJavaExe (" + java(entry.substr(0, entry.find(' '))) + ", [out], 1, 1, 0)",
            "file exists",
            "Exit Code 0",
            "Java version2: " + version,
            "got version from execution " + version + " 43620"};
        lines.insert(lines.end(), then.begin(), then.end());
        return lines;
    };

    // Launcher kind 1: errors in message boxes, and javaw.exe must be there.
    const auto exe = packLauncher(
        app, "search.exe",
        searchBlock("1",
                    "ajre-ok;Amissing;Ajre-too-old;Ajre-beta;Ajre-too-new;Ajre-x64;Ajre-nojavaw;"
                    "Ajre-handson;Bjre-ok;Ajre-late",
                    {{Setting::MinVersion, "11"}, {Setting::MaxVersion, "17"}}));
    const SearchRun run = runSearch(exe, app / "temp");
    EXPECT_EQ(run.result.exitCode, 0u) << run.result.describe();
    EXPECT_TRUE(run.result.messageBoxes.empty()) << run.result.describe();
    EXPECT_TRUE(
        inLog(run, {"LoadDLL (1, , 0)", "Searching for a JVM", "MinVersion: 11, MaxVersion: 17"}));
    EXPECT_TRUE(entryLogged(run, {"Testing location jre-ok (type a)"})) << "an unknown letter";
    EXPECT_TRUE(entryLogged(run, {"Testing location missing (type A)",
                                  "checkJavaExe (" + java("missing") + ", [out], 1, 1, 0)",
                                  "file doesn't exist", kNo}));
    EXPECT_TRUE(entryLogged(run, ran("jre-too-old (type A)", "1.8.0_292", {kNo})));
    EXPECT_TRUE(entryLogged(run, ran("jre-beta (type A)", "17-ea", {"beta vm not allowed", kNo})));
    EXPECT_TRUE(entryLogged(run, ran("jre-too-new (type A)", "18.0.1", {kNo})));
    EXPECT_TRUE(entryLogged(run, ran("jre-nojavaw (type A)", "17.0.1", {kNo})));
    EXPECT_TRUE(entryLogged(run, ran("jre-handson (type A)", "18.0.2", {kNo}))) << joined(run.log);
    // Wine for Arm64 cannot start an x86-64 program (error 193); Windows on Arm runs it emulated
    // and refuses its machine type (34404).
    auto onWindows = ran("jre-x64 (type A)", "17.0.1", {kNo});
    onWindows[5] = "got version from execution 17.0.1 34404";
    EXPECT_TRUE(
        entryLogged(run, {"Testing location jre-x64 (type A)", "checkJavaExe (*)", "file exists",
                          "Could not create process *(error 193)", "couldn't get version", kNo}) ||
        entryLogged(run, onWindows))
        << joined(run.log);
    const std::string bin = canon(app / "jre-ok/bin");
    EXPECT_TRUE(entryLogged(
        run, ran("jre-ok (type B)", "17.0.1",
                 {"checkJavaExe returning 1", "Trying to load JVM-DLL from " + bin + "\\javaw.exe",
                  "Setting PATH * " + bin + ";*", "Trying " + bin + "\\server\\jvm.dll (exists 1)",
                  kLoaded})));
    EXPECT_EQ(countIn(run.log, "Testing *"), 9u) << "jre-late is never tested";
    EXPECT_EQ(readLoadRecord(app / "jre-ok"),
              std::vector<std::string>{"load dll=" + bin + "\\server\\jvm.dll"});
    EXPECT_TRUE(readRunRecord(app / "jre-late").empty());
}

TEST(DiscoveryCache, VersionRunsOnlyWhenTheExecutableChangedAndFailuresAreNeverCached) {
    const fs::path app = scratchDir();
    const fs::path java = app / "jre/bin/java.exe", failing = app / "jre-fail/bin/java.exe";
    layOutRuntime(app / "jre", {});
    layOutRuntime(app / "jre-fail", {.exitCode = 3});
    const auto exe = packLauncher(app, "cached.exe", searchBlock("2", "Ajre-fail;Ajre"));
    const Environment options = {{"_JAVA_OPTIONS", "-Xmx1m"}, {"JAVA_TOOL_OPTIONS", "-Dx=1"}};

    const SearchRun cold = runSearch(exe, app / "temp1", options);
    expectEnd(cold);
    EXPECT_TRUE(
        entryLogged(cold, {"Testing location jre-fail (type A)", "checkJavaExe (*)", "file exists",
                           "_JAVA_OPTIONS is -Xmx1m", "JAVA_TOOL_OPTIONS is -Dx=1", "Exit Code 3",
                           "couldn't get version", kNo}));
    const auto runs = readRunRecord(app / "jre");
    ASSERT_EQ(runs.size(), 1u);
    for (const std::string name : {"_JAVA_OPTIONS", "JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS"}) {
        EXPECT_EQ(recordField(runs[0], name), "(unset)") << name << " during the probe";
    }
    auto entry = cacheEntry(java);
    EXPECT_EQ(entry["Version"], "REG_SZ 17.0.1");
    EXPECT_EQ(entry["Machine"], "REG_DWORD 0xaa64");
    EXPECT_TRUE(std::regex_match(entry["LastWriteTime"], std::regex("REG_BINARY [0-9A-F]{16}")))
        << entry["LastWriteTime"];
    auto failed = cacheEntry(failing);
    EXPECT_EQ(failed["Version"] + ", " + failed["Machine"], "REG_SZ 1.0.0, REG_DWORD 0xaa64");

    const SearchRun warm = runSearch(exe, app / "temp2", options);
    expectEnd(warm);
    EXPECT_TRUE(entryLogged(
        warm, {"Testing location jre (type A)", "checkJavaExe (*)", "file exists",
               "got version from registry 17.0.1 43620", "checkJavaExe returning 1",
               "Trying to load JVM-DLL from *", "Setting PATH *", "Trying *", kLoaded}));
    EXPECT_EQ(readRunRecord(app / "jre").size(), 1u) << "the cache spares the run";
    EXPECT_EQ(readRunRecord(app / "jre-fail").size(), 2u) << "a failed run is tried again";

    fs::last_write_time(java, fs::last_write_time(java) - std::chrono::hours(1));
    const SearchRun changed = runSearch(exe, app / "temp3");
    expectEnd(changed);
    EXPECT_TRUE(inLog(changed, {"Testing location jre (type A)", "got version from execution *"}));
    EXPECT_EQ(readRunRecord(app / "jre").size(), 2u);
    auto rewritten = cacheEntry(java);
    EXPECT_EQ(rewritten["Version"], "REG_SZ 17.0.1");
    EXPECT_NE(rewritten["LastWriteTime"], entry["LastWriteTime"]);

    // A cached machine other than 64-bit Arm refuses the runtime without running it: an x86-64
    // one, and 0 (not known), which only a fresh run may pass.
    for (const auto& [machine, logged] :
         {std::pair<std::string, std::string>{"0x8664", "34404"}, {"0", "0"}}) {
        SCOPED_TRACE(machine);
        runWine("reg",
                {"add", cacheKey(java), "/v", "Machine", "/t", "REG_DWORD", "/d", machine, "/f"});
        const SearchRun seeded = runSearch(exe, app / ("temp-" + machine));
        EXPECT_TRUE(
            entryLogged(seeded, {"Testing location jre (type A)", "checkJavaExe (*)", "file exists",
                                 "got version from registry 17.0.1 " + logged, kNo}))
            << joined(seeded.log);
        EXPECT_EQ(readRunRecord(app / "jre").size(), 2u) << "the cached entry is not run";
    }

    for (const auto& p : {java, failing}) runWine("reg", {"delete", cacheKey(p), "/f"});
}

TEST(DiscoveryLoading, VariantFoldersAreTriedInOrderAndAFailedGroupEndsTheSearch) {
    // "Trying" lines below a bin directory: the variants in table order, as far as exists goes.
    const auto group = [](const std::string& below, const std::string& exists) {
        std::string tried;
        const char* variants[] = {"server", "client", "j9vm", "hotspot", "jrockit"};
        for (size_t i = 0; i < exists.size(); ++i) {
            tried += below + variants[i] + "\\jvm.dll (exists " + exists[i] + ")\n";
        }
        return tried;
    };
    // tried: below <home>\bin; loaded: the folder below <home> whose jvm.dll loads (or none).
    const auto check = [&](const std::string& name, const StandinRuntime& runtime,
                           const std::string& variant, const std::string& tried,
                           const std::string& loaded) {
        SCOPED_TRACE(name);
        const fs::path app = scratchDir() / name, home = app / "jre";
        layOutRuntime(home, runtime);
        if (runtime.oldJdkLayout) {
            // A development kit of the older layout: its own bin holds java.exe but no jvm.dll.
            fs::create_directories(home / "bin");
            fs::rename(home / "jre/bin/java.exe", home / "bin/java.exe");
        }
        std::map<Setting, std::string> settings;
        if (!variant.empty()) settings[Setting::JvmVariant] = variant;
        const SearchRun run = runSearch(
            packLauncher(app, "load.exe", searchBlock("2", "Ajre", settings)), app / "temp");
        const std::string bin = canon(home / "bin");
        std::string triedHere;
        for (const auto& line : run.log) {
            if (line.starts_with("Trying " + bin + "\\"))
                triedHere += line.substr(bin.size() + 8) + "\n";
        }
        EXPECT_EQ(triedHere, tried) << joined(run.log);
        const auto loads = readLoadRecord(home);
        // Every library that exists and does not load says why.
        EXPECT_EQ(countIn(run.log, "Failed with error code 1114"), countIn(loads, "refused dll=*"));
        if (!loaded.empty()) {
            expectEnd(run);
            EXPECT_EQ(loads.empty() ? "" : loads.back(),
                      "load dll=" + canon(home) + "\\" + loaded + "\\jvm.dll");
            return;
        }
        EXPECT_TRUE(inLog(run, {"Testing relative location jre", javaIn(home) + " exists",
                                "Search sequence finished", "ERROR: Could not get DLL-Handle.",
                                "ERROR: Could not load functions"}));
        expectEnd(run, "Directory runtime failed: jre");
        EXPECT_EQ(loads.size(), 4u) << "server and client, in both passes";
    };
    const std::vector<std::string> two = {"server", "client"};
    const std::string jre = "..\\jre\\bin\\", refused = group("", "11000") + group(jre, "00000");
    check("server-refused", {.variants = two, .refuseLoad = {"server"}}, "", group("", "11"),
          "bin\\client");
    check("client-first", {.variants = two, .refuseLoad = {"client"}}, "client",
          "client\\jvm.dll (exists 1)\nserver\\jvm.dll (exists 1)\n", "bin\\server");
    check("older-jdk", {.oldJdkLayout = true}, "", group("", "00000") + group(jre, "1"),
          "jre\\bin\\server");
    // Tried in the first pass and once more in the fallback pass.
    check("all-refused", {.variants = two, .refuseLoad = {"*"}}, "", refused + refused, "");
}

TEST(DiscoveryEnvironment, VariablesAndPreferenceFilesTakeTheirTurns) {
    const fs::path dir = scratchDir();
    layOutRuntime(dir / "jre-ok", {});
    layOutRuntime(dir / "jre-refused", {.refuseLoad = {"*"}});
    layOutRuntime(dir / "jre-beta", withVersion("21-ea"));
    layOutRuntime(dir / "jre-old", withVersion("1.8.0_292"));
    const auto home = [&](const std::string& name) { return toWinePath(dir / name); };
    const auto loads = [&](const std::string& name) { return loading(dir / name); };
    // preferred, installer: the first lines of the preference files (empty: no file).
    const auto check = [&](const std::string& name, const std::string& sequence,
                           const Environment& env, const std::vector<std::string>& logged,
                           const std::string& message, const std::string& preferred = {},
                           const std::string& installer = {}) {
        SCOPED_TRACE(name);
        const fs::path app = dir / name;
        if (!preferred.empty()) writeFile(app / "inst/.parcelkit/pref_jre.cfg", preferred + "\n");
        if (!installer.empty()) writeFile(app / "inst/.parcelkit/inst_jre.cfg", installer);
        const auto exe = packLauncher(
            app, "env.exe",
            searchBlock("2", sequence,
                        {{Setting::ApplicationDirectory, "inst"}, {Setting::MinVersion, "11"}}));
        const SearchRun run = runSearch(exe, app / "temp", env);
        EXPECT_TRUE(inLog(run, logged));
        expectEnd(run, message);
        EXPECT_EQ(countIn(run.log, "Using *"), 0u);
    };
    std::string slashed = home("jre-ok");
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    check("variable-entries", "EBAD_JAVA;EMY_JAVA",
          {{"BAD_JAVA", home("jre-refused")}, {"MY_JAVA", slashed}},
          {"Testing location BAD_JAVA (type E)", loads("jre-refused"),
           "Testing location MY_JAVA (type E)",
           "checkJavaExe (" + home("jre-ok") + "\\bin\\java.exe, [out], 1, 0, 0)", loads("jre-ok"),
           kLoaded},
          kRan);
    check("variable-fails", "EMY_JAVA", {{"MY_JAVA", home("jre-refused")}},
          {"Testing location MY_JAVA (type E)", loads("jre-refused"), "Search sequence finished",
           "ERROR: Could not get DLL-Handle.", "ERROR: Could not load functions"},
          "Variable runtime failed: MY_JAVA");
    // The preference files come before and after the sequence; an installer's runtime must
    // still be acceptable.
    check("installer", "Amissing", {},
          {"Has preferred location " + home("jre-old"), kNo, "Testing location missing (type A)",
           "Has installer location " + home("jre-beta"), "beta vm not allowed",
           "Testing relative location missing", "Search sequence finished", "ERROR: No JVM found"},
          "No runtime (64)", home("jre-old"), home("jre-beta") + "\r\n");
}

namespace {

// A key of a .reg file with one string value.
std::string regKey(const std::string& key, const std::string& name, std::string value) {
    for (size_t at = 0; (at = value.find('\\', at)) != std::string::npos; at += 2) {
        value.insert(at, "\\");
    }
    return "[" + key + "]\n\"" + name + "\"=\"" + value + "\"\n";
}

// The machine's registry holds exactly the keys of a test while it lives: the keys of the Java
// vendors, the located runtimes and earlier installations are removed before and after.
class RegistryScene {
public:
    RegistryScene(const fs::path& dir, const std::string& keys) : file_(dir / "scene.reg") {
        apply(keys);
    }
    ~RegistryScene() { apply(""); }

private:
    void apply(const std::string& keys) {
        std::string text = "Windows Registry Editor Version 5.00\n\n";
        for (const char* root : {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"}) {
            for (const char* key : {"JavaSoft", "Microsoft\\JDK", "Eclipse Adoptium",
                                    "Azul Systems", "harbor-works\\lumex\\locatedjvms_arm64",
                                    "harbor-works\\parcelkit\\installations"}) {
                text += "[-" + std::string(root) + "\\SOFTWARE\\" + key + "]\n";
            }
        }
        writeFile(file_, text + keys);
        const RunResult r = runWine("reg", {"import", toWinePath(file_)});
        EXPECT_EQ(r.exitCode, 0) << r.describe();
    }
    fs::path file_;
};

}  // namespace

TEST(DiscoveryRegistryExclusive, VendorKeysLocatedRuntimesAndAFailedEarlierInstallation) {
    const fs::path dir = scratchDir();
    for (const char* name : {"jre-a", "jre-b", "jre-c", "jre-loc"}) {
        layOutRuntime(dir / name, withVersion("17.0.2"));
    }
    layOutRuntime(dir / "jre-new", withVersion("18.0.1", {"*"}));
    layOutRuntime(dir / "jre-eleven", withVersion("11.0.2"));
    layOutRuntime(dir / "pkx_jres/jre21", withVersion("21.0.1"));
    layOutRuntime(dir / "inst-refused/jre", {.refuseLoad = {"*"}});
    const auto home = [&](const std::string& name) { return toWinePath(dir / name); };
    const auto java = [&](const std::string& name) { return javaIn(dir / name); };
    const auto located = [&](const std::string& name) {
        std::string key = toWinePath(dir / name / "bin/java.exe");
        std::replace(key.begin(), key.end(), '\\', '/');
        return "[HKEY_CURRENT_USER\\SOFTWARE\\harbor-works\\lumex\\locatedjvms_arm64\\" + key +
               "]\n";
    };
    const std::string lm = "HKEY_LOCAL_MACHINE\\SOFTWARE\\", jdk = lm + "JavaSoft\\JDK\\";
    const std::string installed =
        "HKEY_CURRENT_USER\\SOFTWARE\\harbor-works\\parcelkit\\installations";
    const RegistryScene scene(
        dir, regKey(jdk + "17.0.2", "JavaHome", home("jre-a")) +
                 regKey(jdk + "18", "JavaHome", home("jre-new")) +
                 regKey(jdk + "11", "JavaHome", home("jre-eleven")) +
                 regKey(lm + "Eclipse Adoptium\\JDK\\17.0.2\\hotspot\\MSI", "Path", home("jre-b")) +
                 regKey(lm + "Azul Systems\\Zulu\\zulu-17", "InstallationPath", home("jre-c")) +
                 located("jre-loc") + located("pkx_jres/jre21") +
                 regKey(installed, "E2eDiscoveryOther", home("inst-refused")));

    // The newest vendor runtime refuses to load: it is tried once, then the equal versions follow
    // the table's order, and a located runtime wins a tie with the vendors' best.
    const SearchRun run = runSearch(
        packLauncher(dir, "vendors.exe", searchBlock("2", "Y", {{Setting::MinVersion, "17"}})),
        dir / "temp-vendors");
    expectEnd(run);
    const std::string foundIn = "found in SOFTWARE\\JavaSoft\\JDK: ", reg = "found registry jre ";
    EXPECT_TRUE(inLog(
        run,
        {"Testing location  (type Y)", "test key name 11 11", foundIn + "18", foundIn + "17.0.2",
         "test key name 17 zulu-17", reg + java("jre-new") + " 18.0.1",
         reg + java("jre-b") + " 17.0.2", reg + java("jre-c") + " 17.0.2",
         "found sun " + java("jre-new") + " 18.0.1", "found located " + java("jre-loc") + " 17.0.2",
         loading(dir / "jre-new"), "add non-working java " + java("jre-new"),
         reg + java("jre-a") + " 17.0.2", reg + java("jre-b") + " 17.0.2",
         reg + java("jre-c") + " 17.0.2", "found sun " + java("jre-a") + " 17.0.2",
         "found located " + java("jre-loc") + " 17.0.2", loading(dir / "jre-loc"), kLoaded}));
    // The runtime on the non-working list is refused without a result line.
    EXPECT_EQ(countIn(run.log, "checkJavaExe (*"),
              countIn(run.log, "checkJavaExe returning *") + 1);
    EXPECT_EQ(countIn(run.log, foundIn + "11"), 0u) << "out of range by its name";
    EXPECT_EQ(countIn(run.log, "Trying to load JVM-DLL from *"), 2u);
    EXPECT_EQ(readLoadRecord(dir / "jre-new"),
              std::vector<std::string>{"refused dll=" + canon(dir / "jre-new/bin/server/jvm.dll")});
    EXPECT_EQ(readRunRecord(dir / "jre-new").size(), 1u) << "the second look uses the cache";
    EXPECT_EQ(countIn(run.log, "*pkx_jres*"), 0u) << "pkx_jres runtimes are never used";

    // A registered runtime that never loads ends with the registry message.
    const SearchRun failed = runSearch(
        packLauncher(dir, "other.exe",
                     searchBlock("2", "I", {{Setting::ApplicationId, "E2eDiscoveryOther"}})),
        dir / "temp-other");
    expectEnd(failed, "Registered runtime failed");
    const std::string byUser = "found JRE from previous installation (user) ";
    EXPECT_TRUE(inLog(
        failed,
        {byUser + java("inst-refused/jre"), "add non-working java " + java("inst-refused/jre"),
         "checking app id E2eDiscoveryOther (256, *)", "checking app id E2eDiscoveryOther (0, *)",
         "could not open installation node 2", "checking app id E2eDiscoveryOther (256, *)",
         "could not open installation node 2", "Search sequence finished",
         "ERROR: Could not get DLL-Handle."}));
}

TEST(DiscoveryUnpacking, PackedJarsAreUnpackedOnceWithTheRuntimesOwnUnpack200) {
    const fs::path dir = scratchDir(), lib = dir / "jre-packed/lib";
    layOutRuntime(dir / "jre-packed",
                  {.packedJars = {"lib/rt.jar", "lib/ext/x.jar", "lib/tools.jar"}});
    writeFile(lib / "tools.jar", "already here");
    layOutRuntime(dir / "jre-bare", {.unpack200 = false, .packedJars = {"lib/rt.jar"}});
    const std::string h = canon(dir / "jre-packed");

    const SearchRun run =
        runSearch(packLauncher(dir, "packed.exe", searchBlock("2", "Ajre-packed")), dir / "temp1");
    expectEnd(run);
    EXPECT_EQ(run.result.out(), "Preparing JRE ...\r\n");
    std::vector<std::string> lines = {"Testing location jre-packed (type A)"};
    for (const std::string jar : {"\\lib\\rt.jar", "\\lib\\ext\\x.jar"}) {
        lines.insert(lines.end(), {"checking " + h + jar, h + "\\bin\\unpack200.exe",
                                   "-r \"" + h + jar + ".pack\" \"" + h + jar + "\"",
                                   "waiting for unpack200 to finish", "unpack done"});
    }
    lines.insert(lines.end(), {"Unpacking JRE done", "checkJavaExe (*", kLoaded});
    EXPECT_TRUE(inLog(run, lines));
    EXPECT_EQ(countIn(run.log, "Unpacking JRE"), 1u);
    EXPECT_EQ(readFile(lib / "rt.jar"), "unpacked\npacked lib/rt.jar\n");
    EXPECT_EQ(readFile(lib / "ext/x.jar"), "unpacked\npacked lib/ext/x.jar\n");
    EXPECT_EQ(readFile(lib / "tools.jar"), "already here");
    EXPECT_FALSE(fs::exists(lib / "rt.jar.pack") || fs::exists(lib / "ext/x.jar.pack"));
    EXPECT_TRUE(fs::exists(lib / "tools.jar.pack")) << "its jar was there";
    const auto runs = readRunRecord(dir / "jre-packed");
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_TRUE(runs[2].starts_with("run exe=")) << "validated after unpacking";

    const SearchRun failed =
        runSearch(packLauncher(dir, "bare.exe", searchBlock("2", "Ajre-bare")), dir / "temp2");
    expectEnd(failed, "Unpacking failed");
    EXPECT_EQ(failed.result.out(), "Preparing JRE ...\r\n");
    EXPECT_TRUE(inLog(failed, {"Unpacking JRE", "could not create unpack process"}));
    EXPECT_TRUE(fs::exists(dir / "jre-bare/lib/rt.jar.pack"));
    EXPECT_TRUE(readRunRecord(dir / "jre-bare").empty());
}

// A hung unpack200 is ended at its deadline (30 s a run), and the launch goes on as after an
// unpack200 that failed: the packed file stays, its partial jar goes, and the runtime's
// validation judges the runtime as it is.
TEST(DiscoveryUnpacking, AHungUnpack200IsEndedAtItsDeadline) {
    const fs::path dir = scratchDir(), lib = dir / "jre-hung/lib";
    layOutRuntime(dir / "jre-hung",
                  {.packedJars = {"lib/rt.jar"}, .extraConfigLines = {"unpack_hang_ms=600000"}});
    const std::string h = canon(dir / "jre-hung");
    const auto started = std::chrono::steady_clock::now();
    const SearchRun run =
        runSearch(packLauncher(dir, "hung.exe", searchBlock("2", "Ajre-hung")), dir / "temp");
    const auto took = std::chrono::steady_clock::now() - started;
    expectEnd(run);
    EXPECT_TRUE(inLog(run, {"checking " + h + "\\lib\\rt.jar", "waiting for unpack200 to finish",
                            "unpack200 did not finish within 30 seconds; ending it",
                            "Unpacking JRE done", "checkJavaExe (*", kLoaded}));
    EXPECT_EQ(countIn(run.log, "unpack done"), 0u);
    EXPECT_FALSE(fs::exists(lib / "rt.jar")) << "the partial jar is gone";
    EXPECT_TRUE(fs::exists(lib / "rt.jar.pack")) << "a later run unpacks again";
    const auto runs = readRunRecord(dir / "jre-hung");
    ASSERT_FALSE(runs.empty());
    EXPECT_TRUE(runs[0].starts_with("unpack args=")) << runs[0];
    EXPECT_GE(took, std::chrono::seconds(30));
    EXPECT_LT(took, std::chrono::seconds(100)) << "ended at the deadline, not by the test's runner";
}
