#include "jvm/options/vm_options.h"

#include <gtest/gtest.h>

#include <map>

#include "common/log_host.h"
#include "config/config.h"
#include "env/path_rules.h"

using namespace launcher;

namespace {

// Files from memory. Expansion turns "${M}" into "a" (ANSI-safe) or "L" (long), so a test sees
// which mode a text went through; relative includes resolve as the launcher resolves them.
class FakeSources : public OptionSources {
public:
    std::map<std::wstring, std::string> files;
    std::vector<size_t> limits;  // maxBytes of each read
    std::wstring big;            // the value of "${B}"
    std::wstring expand(std::wstring_view text, bool ansiSafe) override {
        std::wstring out(text);
        for (size_t at; (at = out.find(L"${M}")) != out.npos;)
            out.replace(at, 4, ansiSafe ? L"a" : L"L");
        if (const size_t at = out.find(L"${B}"); at != out.npos) out.replace(at, 4, big);
        return out;
    }
    std::string expandNarrow(std::string_view text) override { return std::string(text); }
    std::string narrow(std::wstring_view text) override { return narrowLossy(text); }
    std::wstring resolveInclude(std::wstring_view path, const std::wstring* base) override {
        std::wstring out = isRelativePath(path) ? (base ? folderOf(*base) : L"C:\\app\\") : L"";
        collapseBackslashes(out += path);
        return out;
    }
    std::optional<std::string> readFile(const std::wstring& path, size_t maxBytes) override {
        limits.push_back(maxBytes);
        const auto it = files.find(path);
        return it == files.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
};

std::string joined(const std::vector<std::string>& list) {
    std::string out;
    for (const auto& s : list) out += (out.empty() ? "" : "|") + s;
    return out;
}

// Whether the log, since it was last read, holds these consecutive lines.
bool logged(std::wstring_view lines) {
    std::wstring out = L"\n";
    for (const auto& line : takeLogLines()) out += line + L"\n";
    return out.find(L"\n" + std::wstring(lines) + L"\n") != out.npos;
}

class VmOptions : public ::testing::Test {
protected:
    void SetUp() override { (void)takeLogLines(); }
    FakeSources sources;
    VmOptionCollector collector;
    VmOptionReader reader{sources, collector};
};

}  // namespace

TEST(VmOptionFileLines, TextModeTrimmingAndComments) {
    const struct {
        std::string bytes, lines;
    } cases[] = {
        {"  -Xmx512m\r\n#comment\r\n\r\n   \r\n", "-Xmx512m"},
        {"-Da\n-Xmx1g", "-Da|-Xmx1g"},
        {"-Da=1 # not a comment\n  # one\n", "-Da=1 # not a comment"},
        {"\xEF\xBB\xBF#bom\n", "\xEF\xBB\xBF#bom"},
        {"-Da\n\x1a-Db\n", "-Da"},
        {"\t-Da\r\r\n\v-Db\f\r", "-Da|-Db"},
        {"a\rb\n", "a\rb"},
        {std::string("-Da\0junk\n\0-Db\n-Dc", 17), "-Da|-Dc"},
    };
    for (const auto& c : cases) EXPECT_EQ(joined(vmOptionFileLines(c.bytes)), c.lines) << c.bytes;
}

TEST_F(VmOptions, LinesAreClassifiedAndTheLastOverrideWins) {
    reader.readVmOptionsFile(
        std::nullopt,
        "-Xmx1g\n-classpath C:\\a.jar\n-classpath/p  p.jar\n-classpath/a a.jar\n"
        "-classpath/a b.jar\n-classpath\n-cp x\n-Dx=${M}\n-classpathX y\n");
    reader.addVmOptionLine(std::nullopt, L"-Dn=\u20ac${M}");
    EXPECT_EQ(joined(collector.options), "-Xmx1g|-classpath|-cp x|-Dx=a|-classpathX y|-Dn=?${M}");
    EXPECT_EQ(collector.classPathReplace, "C:\\a.jar");
    EXPECT_EQ(collector.classPathPrepend, " p.jar");
    EXPECT_EQ(collector.classPathAppend, "b.jar");
}

TEST_F(VmOptions, IncludesAreReadInPlaceAgainstTheIncludingFile) {
    sources.files[L"C:\\app\\cfg\\extra.vmoptions"] = "-D2\n-include-options more.vmoptions\n-D3";
    sources.files[L"C:\\app\\cfg\\more.vmoptions"] = "-Dmore";
    sources.files[L"C:\\app\\Lx.vmoptions"] = "-Dx";
    reader.readVmOptionsFile(std::nullopt,
                             "-D1\n-include-options cfg\\\\extra.vmoptions\n-D4\n"
                             "-include-options missing.vmoptions\n-D5");
    EXPECT_EQ(joined(collector.options), "-D1|-D2|-Dmore|-D3|-D4|-D5");
    EXPECT_TRUE(
        logged(L"adding vmoptions from (1) <C:\\app\\cfg\\more.vmoptions> (more.vmoptions)\n"
               L"adding vmoptions 2\nadding vmoptions 3\nadding vmoptions 2\n"
               L"adding vmoptions 3\nafter exp from missing.vmoptions missing.vmoptions\n"
               L"adding vmoptions from (0) <C:\\app\\missing.vmoptions> (missing.vmoptions)"));
    collector.options.clear();
    reader.addVmOptionTokens(
        {L"-Xmx256m", L"-include-options", L"${M}x.vmoptions", L"-Dy", L"-include-options"});
    EXPECT_EQ(joined(collector.options), "-Xmx256m|-Dx|-Dy|-include-options");
    EXPECT_TRUE(logged(L"after exp from Lx.vmoptions ${M}x.vmoptions"));
}

TEST_F(VmOptions, IncludeCyclesAndRunawayTreesAreRefused) {
    const struct {
        const char *b, *options;
        const wchar_t* logged;
    } cases[] = {
        {"-Db\n-include-options b", "-Da|-Db|-Dc",
         L"include cycle: C:\\app\\b is already being read"},
        {"-Db\n-include-options C:\\APP\\B\n", "-Da|-Db|-Dc",
         L"include cycle: C:\\APP\\B is already being read"},
        {"-Db\n-include-options f0", "-Da|-Db|-Dc",
         L"include cycle: C:\\app\\f0 is already being read"},
        // Other names of the same files: "." and ".." segments, letter case, "/", the dots
        // Windows drops from the end of a name, ".." above the drive.
        {"-Db\n-include-options .\\sub\\..\\F0", "-Da|-Db|-Dc",
         L"include cycle: C:\\app\\.\\sub\\..\\F0 is already being read"},
        {"-Db\n-include-options ..\\app/x\\..\\B..", "-Da|-Db|-Dc",
         L"include cycle: C:\\app\\..\\app/x\\..\\B.. is already being read"},
        {"-Db\n-include-options C:\\..\\..\\app\\f0", "-Da|-Db|-Dc",
         L"include cycle: C:\\..\\..\\app\\f0 is already being read"},
    };
    for (const auto& c : cases) {
        sources.files = {{L"C:\\app\\f0", "-Da\n-include-options b\n-Dc"}, {L"C:\\app\\b", c.b}};
        collector.options.clear();
        reader.readVmOptionsFile(L"C:\\app\\f0", sources.files[L"C:\\app\\f0"]);
        EXPECT_EQ(joined(collector.options), c.options);
        EXPECT_TRUE(logged(L"ERROR: " + std::wstring(c.logged))) << c.logged;
    }
    // The default file takes part in the guard, by whatever name it includes itself.
    sources.files = {{L"C:\\app\\svc.vmoptions", "-D1\n-include-options SVC.vmoptions\n-D2"}};
    collector.options.clear();
    reader.readDefaultVmOptionsFile(L"C:\\app\\svc.vmoptions",
                                    "-D1\n-include-options ./svc.vmoptions\n-D2");
    EXPECT_EQ(joined(collector.options), "-D1|-D2");
    EXPECT_TRUE(logged(L"ERROR: include cycle: C:\\app\\./svc.vmoptions is already being read"));

    // A chain of 100 files stops at the nesting bound; files that each include the next twice
    // (2^40 reads) stop at the budget of 256 files, the default file among them; files that
    // each name 40 missing files before the next one are read until 1024 include attempts.
    for (const auto& [missing, includes, options, attempts, refusal] :
         {std::tuple(0, 1, 63u, size_t(63), L"includes nested deeper than 64"),
          std::tuple(0, 2, 255u, size_t(255), L"too many included"),
          std::tuple(40, 1, 25u, kMaxIncludeAttempts,
                     L"too many include attempts (1024): C:\\app\\gone39 and the includes "
                     L"after it not read")}) {
        for (int i = 0; i < 100; ++i) {
            std::string& file = sources.files[L"C:\\app\\f" + std::to_wstring(i)] = "-D";
            for (int n = 0; n < missing; ++n) file += "\n-include-options gone" + std::to_string(n);
            for (int n = 0; n < includes; ++n)
                file += "\n-include-options f" + std::to_string(i + 1);
        }
        VmOptionCollector fresh;
        sources.limits.clear();
        VmOptionReader(sources, fresh)
            .readDefaultVmOptionsFile(L"C:\\app\\svc.vmoptions", "-include-options f0");
        EXPECT_EQ(fresh.options.size(), options);
        EXPECT_EQ(sources.limits.size(), attempts) << "files looked up";
        std::wstring log;
        for (const auto& line : takeLogLines()) log += line;
        EXPECT_NE(log.find(L"ERROR: " + std::wstring(refusal)), log.npos) << refusal;
    }
}

TEST_F(VmOptions, TheReadBudgetAndTheOptionBoundsCannotBePassed) {
    // 16 MiB for every file read, the default file among them, each checked with its own size.
    const std::string tenMiB = "#" + std::string(10 << 20, 'x') + "\n";
    sources.files = {{L"C:\\app\\a", tenMiB + "-Da"}, {L"C:\\app\\b", tenMiB + "-Db"}};
    const struct {
        std::string file, options;
        bool readsA;
    } cases[] = {
        {tenMiB + "-D0\n-include-options b", "-D0", false},
        {"-D0\n-include-options a\n-include-options b", "-D0|-Da", true},
    };
    for (const auto& c : cases) {
        VmOptionCollector fresh;
        sources.limits.clear();
        VmOptionReader(sources, fresh).readDefaultVmOptionsFile(L"C:\\app\\svc.vmoptions", c.file);
        EXPECT_EQ(joined(fresh.options), c.options);
        // The machine is asked for no more than the budget has left.
        const size_t readBefore =
            c.file.size() + (c.readsA ? sources.files[L"C:\\app\\a"].size() : 0);
        EXPECT_EQ(sources.limits.back(), (size_t(16) << 20) - readBefore);
        EXPECT_TRUE(
            logged(L"ERROR: options file C:\\app\\b not read: 10485765 bytes beyond the "
                   L"budget of 256 files and 16777216 bytes"));
    }

    // Lines that expand to 1 MiB each stop at 16 MiB of options; nothing after them is read.
    sources.big.assign(1 << 20, L'x');
    sources.limits.clear();
    std::string lines;
    for (int i = 0; i < 20; ++i) lines += "-D${B}\n";
    reader.readVmOptionsFile(std::nullopt, lines + "-include-options late\n-Dlast");
    EXPECT_EQ(collector.options.size(), 15u);
    EXPECT_EQ(reader.refusal(), "JVM options longer than 16777216 bytes in all");
    EXPECT_TRUE(
        logged(L"ERROR: JVM options longer than 16777216 bytes in all: the options that "
               L"follow are not read"));
    reader.addVmOptionLine(std::nullopt, L"-Dmore");
    EXPECT_EQ(collector.options.size(), 15u);
    EXPECT_TRUE(sources.limits.empty()) << "the include after the bound was not read";
}

TEST(VersionConditions, RangesPatternsAndMajorVersions) {
    const struct {
        const char *condition, *version;
        bool matches;
        std::vector<std::wstring> log;
    } cases[] = {
        {"9-11", "1.8.0_292", false, {L"checking min 9 max 11 with 8"}},
        {"8-8", "1.8.0_292", true, {L"checking min 8 max 8 with 8"}},
        {"*11.0.?", "11.0.2", true, {}},
        {"*11", "11.0.2", false, {}},
        {"*11*", "11.0.2", true, {}},
        {"*1?.*.2", "11.0.2", true, {}},
        {"8-", "17", false, {L"checking min 8 max 0 with 17"}},
        {" 11-x", "17.0.2+8", false, {L"checking min 11 max 0 with 17"}},
        {"17", "17", false, {L"ERROR: expected dash"}},
        {"*a*a*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false, {}},
    };
    (void)takeLogLines();
    for (const auto& c : cases) {
        EXPECT_EQ(versionConditionMatches(c.condition, c.version), c.matches) << c.condition;
        EXPECT_EQ(takeLogLines(), c.log) << c.condition;
    }
    const std::pair<const char*, int32_t> majors[] = {
        {"1.8.0_292", 8},
        {"17.0.2+8", 17},
        {"9-ea", 9},
        {"1", 1},
        {"", -1},
        {"._", -1},
        {"1.99999999999", 2147483647},
    };
    for (const auto& [text, major] : majors) EXPECT_EQ(javaMajorVersion(text), major) << text;
}

TEST(LocaleAndEntries, LocaleOptionsAndConfiguredEntryLists) {
    const std::wstring no = L"-Dsun.locale.formatasdefault=no";
    EXPECT_EQ(
        localeArgument({no + L"1", L"-Dsun.locale.x=2", no, L"-dsun.locale.formatasdefault=3"}),
        no);
    EXPECT_EQ(localeArgument({L"a", L"-Dsun.locale.formatasdefault"}), std::nullopt);
    EXPECT_EQ(localeOptions(no, "de", "CH"),
              (std::vector<std::wstring>{no, L"-Duser.language=de", L"-Duser.country=CH"}));
    EXPECT_EQ(localeOptions(no, "", "CH"), (std::vector<std::wstring>{no, L"-Duser.country=CH"}));
    EXPECT_EQ(localeOptions(L"-Dsun.locale.formatasdefault=true", "de", "CH").size(), 1u);

    std::string parsed;
    for (const auto& e : configuredEntries(";A1C:\\lib\\a.jar;;D0extra;S0lib;X;E1MY_CP;Q2z;D1")) {
        parsed += std::string(1, e.kind) + (e.required ? "+" : "-") + e.value + "|";
    }
    EXPECT_EQ(parsed, "A+C:\\lib\\a.jar|D-extra|S-lib|E+MY_CP|Q-z|D+|");
}

TEST_F(VmOptions, ConfiguredThenFirstMatchingVersionLineThenLocale) {
    sources.files[L"C:\\app\\extra.vmoptions"] = "-Dextra";
    ConfiguredVmOptions configured;
    configured.jvmOptions = L"-Xmx256m -include-options extra.vmoptions \"-Dq=a b\"";
    configured.versionLineCount = 3;
    configured.versionConditions = {"9-11", "8-8", "*"};
    configured.versionOptions = {L"-Dno", L"-Dv=8 -Dm=${M}", L"-Dthird"};
    addConfiguredVmOptions(reader, sources, &configured,
                           {L"app.exe", L"-Dsun.locale.formatasdefault=no"}, "1.8.0_292", "de",
                           "CH");
    EXPECT_EQ(joined(collector.options),
              "-Xmx256m|-Dextra|-Dq=a b|-Dv=8|-Dm=a|-Dsun.locale.formatasdefault=no|"
              "-Duser.language=de|-Duser.country=CH");
    EXPECT_TRUE(
        logged(L"adding vmoptions 3\ncheck 3 version specific vm option lines for 1.8.0_292\n"
               L"checking min 9 max 11 with 8\nchecking version 9-11 0\n"
               L"checking min 8 max 8 with 8\nchecking version 8-8 1\n"
               L"adding specific -Dv=8 -Dm=${M}"));

    // Without a version text the lines are counted but not looked at.
    collector.options.clear();
    addConfiguredVmOptions(reader, sources, &configured, {}, "", "de", "CH");
    EXPECT_EQ(joined(collector.options), "-Xmx256m|-Dextra|-Dq=a b");
    EXPECT_TRUE(logged(L"adding vmoptions 3\ncheck 3 version specific vm option lines for "));
}
