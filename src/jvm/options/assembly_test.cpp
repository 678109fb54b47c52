#include "jvm/options/assembly.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "common/log_host.h"
#include "config/config.h"

using launcher::AssemblyInputs;
using launcher::Setting;
using Options = std::vector<std::string>;

namespace {

// Files and lines from memory; expansion and narrowing leave ASCII text as it is.
class MemorySources : public launcher::OptionSources {
public:
    std::map<std::wstring, std::string> files;
    std::wstring expand(std::wstring_view text, bool) override { return std::wstring(text); }
    std::string expandNarrow(std::string_view text) override { return std::string(text); }
    std::string narrow(std::wstring_view text) override { return launcher::narrowLossy(text); }
    std::wstring resolveInclude(std::wstring_view path, const std::wstring*) override {
        return L"C:\\app\\" + std::wstring(path);
    }
    std::optional<std::string> readFile(const std::wstring& path, size_t) override {
        const auto it = files.find(path);
        if (it == files.end()) return std::nullopt;
        return it->second;
    }
};

class MemoryMachine : public launcher::AssemblyMachine {
public:
    std::optional<std::string> vmOptionsFile;
    std::string archives;
    std::optional<std::map<std::string, Options>> argumentFiles;  // nothing: no jli.dll
    std::optional<Setting> missingIn;  // the list whose first entry is required and missing

    std::optional<launcher::VmOptionsFile> defaultVmOptionsFile(size_t) override {
        if (!vmOptionsFile) return std::nullopt;
        return launcher::VmOptionsFile{L"C:\\app\\svc.vmoptions", *vmOptionsFile};
    }
    // The fake resolves nothing: the configured text is the resolved list.
    bool appendConfiguredEntries(Setting list, std::string_view entries, launcher::OptionSources&,
                                 std::string& target, launcher::RunFailure& failure) override {
        if (missingIn == list) {
            failure.set(launcher::Message::RequiredPathMissing, entries);
            return false;
        }
        target += entries;
        return true;
    }
    void appendLauncherArchives(std::string& target) override { target += archives; }
    std::string applicationDirectory(std::string_view configured) override {
        return "C:\\" + std::string(configured);
    }
    std::optional<Options> expandArgumentFiles(const Options& options,
                                               const std::string& binDirectory) override {
        if (!argumentFiles || binDirectory.empty()) return std::nullopt;
        Options out;
        for (const std::string& option : options) {
            const auto it = argumentFiles->find(option);
            if (it == argumentFiles->end()) {
                out.push_back(option);
            } else {
                out.insert(out.end(), it->second.begin(), it->second.end());
            }
        }
        return out;
    }
};

struct Case {
    const char* name;
    AssemblyInputs inputs;
    MemoryMachine machine;
    Options expected;
    std::string refusal = {};  // the launch cannot go on
    std::string missing = {};  // the required entry that stopped the assembly
};

AssemblyInputs withProperties(AssemblyInputs inputs) {
    inputs.systemProperties = {"-Dlumex.tempDir="};
    return inputs;
}

}  // namespace

TEST(BuildJvmOptions, SourcesComeInTheirOrderAndCompose) {
    std::vector<Case> cases;
    {
        Case c{"nothing configured", withProperties({}), {}, {}};
        c.inputs.classPathEntries = "C:\\app\\app.jar;";
        c.expected = {"-Dlumex.tempDir=", "-Djava.class.path=C:\\app\\app.jar"};
        cases.push_back(c);
    }
    {
        Case c{"prepend line, -J arguments, archives", withProperties({}), {}, {}};
        c.inputs.readDefaultVmOptionsFile = true;
        c.inputs.javaOptionArguments = true;
        c.inputs.programArguments = {L"C:\\app\\svc.exe", L"-J-Xmx1g", L"x",
                                     L"-J-classpath/a z.jar"};
        c.machine.vmOptionsFile = "-classpath/p C:\\pre.jar\n-Dfrom.file=1\n";
        c.inputs.classPathEntries = "C:\\app\\app.jar;";
        c.machine.archives = "C:\\t\\own.jar;";
        c.expected = {"-Dlumex.tempDir=", "-Dfrom.file=1", "-Xmx1g",
                      "-Djava.class.path=C:\\pre.jar;C:\\t\\own.jar;C:\\app\\app.jar;z.jar"};
        cases.push_back(c);
    }
    {
        Case c{"replace line, service mode with -Xrs present, run", withProperties({}), {}, {}};
        c.inputs.readDefaultVmOptionsFile = true;
        c.inputs.serviceMode = true;
        c.inputs.noRedirect = true;
        c.machine.vmOptionsFile = "-classpath C:\\only.jar\n-Xrs\n--add-modules\njava.sql\n";
        c.inputs.classPathEntries = "C:\\never.jar;";
        c.expected = {"-Dlumex.tempDir=", "-Xrs", "--add-modules=java.sql",
                      "-Djava.class.path=C:\\only.jar", "-Dparcelkit.noRedir=true"};
        cases.push_back(c);
    }
    {
        Case c{"-Xrs:foo is not -Xrs", withProperties({}), {}, {}};
        c.inputs.readDefaultVmOptionsFile = true;
        c.inputs.serviceMode = true;
        c.machine.vmOptionsFile = "-Xrs:foo\n";
        c.expected = {"-Dlumex.tempDir=", "-Xrs:foo", "-Djava.class.path=", "-Xrs"};
        cases.push_back(c);
    }
    {
        Case c{"module mode, parcelkit, module/package.Class", withProperties({}), {}, {}};
        c.inputs.moduleMode = true;
        c.inputs.parcelkitFamily = true;
        c.inputs.mainClass = "com.acme.app/com.acme.app.Main";
        c.inputs.modulePathEntries = "C:\\mods;";
        c.inputs.applicationDirectory = "App";
        c.expected = {"-Dlumex.tempDir=", "-Djava.class.path=",
                      "--module-path=C:\\mods;C:\\App\\.parcelkit\\pkxruntime.jar",
                      "--add-opens=com.acme.app/com.acme.app=com.parcelkit.runtime",
                      "--add-modules=com.acme.app,com.parcelkit.runtime"};
        cases.push_back(c);
    }
    {
        Case c{"module mode without module path or archives", withProperties({}), {}, {}};
        c.inputs.moduleMode = true;
        c.inputs.mainClass = "com.acme.Main";
        c.inputs.classPathEntries = "C:\\a.jar;";
        c.expected = {"-Dlumex.tempDir=", "-Djava.class.path=C:\\a.jar"};
        cases.push_back(c);
    }
    {
        Case c{"class name without '/' in module mode", withProperties({}), {}, {}};
        c.inputs.moduleMode = true;
        c.inputs.mainClass = "com.acme.Main";
        c.machine.archives = "C:\\t\\own.jar;";
        c.expected = {"-Dlumex.tempDir=", "-Djava.class.path=", "--module-path=C:\\t\\own.jar",
                      "--add-modules=com.acme.Main,com.lumex.runtime"};
        cases.push_back(c);
    }
    {
        Case c{"argument files split a module pair; empty options dropped",
               withProperties({}),
               {},
               {}};
        c.inputs.readDefaultVmOptionsFile = true;
        c.inputs.jvmBinDirectory = "C:\\rt\\bin";
        c.machine.vmOptionsFile = "@C:\\args.txt\n-Dx=${EMPTY}\n";
        c.machine.argumentFiles =
            std::map<std::string, Options>{{"@C:\\args.txt", {"--add-modules", "java.sql", ""}}};
        c.expected = {"-Dlumex.tempDir=", "--add-modules=java.sql", "-Dx=${EMPTY}",
                      "-Djava.class.path="};
        cases.push_back(c);
    }
    {
        Case c{"argument file without jli.dll stays", withProperties({}), {}, {}};
        c.inputs.readDefaultVmOptionsFile = true;
        c.inputs.jvmBinDirectory = "C:\\rt\\bin";
        c.machine.vmOptionsFile = "@C:\\args.txt\n";
        c.expected = {"-Dlumex.tempDir=", "@C:\\args.txt", "-Djava.class.path="};
        cases.push_back(c);
    }
    {
        // With the one system property, a file of as many lines as options may be is one more.
        Case c{"more options than the bound", withProperties({}), {}, {}};
        c.inputs.readDefaultVmOptionsFile = true;
        c.machine.vmOptionsFile = std::string();
        for (size_t i = 0; i < launcher::kMaxVmOptionCount; ++i) *c.machine.vmOptionsFile += "-a\n";
        c.refusal = "more than 1000000 JVM options";
        cases.push_back(c);
    }
    {
        Case c{"argument files past the size bound", withProperties({}), {}, {}};
        c.inputs.readDefaultVmOptionsFile = true;
        c.inputs.jvmBinDirectory = "C:\\rt\\bin";
        c.machine.vmOptionsFile = "@C:\\big.txt\n";
        c.machine.argumentFiles = std::map<std::string, Options>{
            {"@C:\\big.txt", Options(17, std::string(1 << 20, 'x'))}};
        c.refusal = "JVM options longer than 16777216 bytes in all";
        cases.push_back(c);
    }
    // A required entry that is missing stops the assembly where it is met: no options, nothing
    // logged after it, the failure for the entry to end the run with.
    for (const Setting list : {Setting::ModulePath, Setting::ClassPath}) {
        Case c{"required entry missing", withProperties({}), {}, {}};
        c.inputs.modulePathEntries = "C:\\mods;";
        c.inputs.classPathEntries = "C:\\app\\app.jar;";
        c.inputs.serviceMode = true;
        c.machine.missingIn = list;
        c.missing = list == Setting::ModulePath ? "C:\\mods;" : "C:\\app\\app.jar;";
        cases.push_back(c);
    }
    std::vector<std::wstring> lines;
    for (Case& c : cases) {
        MemorySources sources;
        launcher::RunFailure failure;
        const launcher::AssembledOptions built =
            launcher::buildJvmOptions(c.inputs, sources, c.machine, failure);
        EXPECT_EQ(built.options, c.expected) << c.name;
        EXPECT_EQ(built.refusal, c.refusal) << c.name;
        std::vector<std::wstring> caseLines = launcher::takeLogLines();
        EXPECT_EQ(static_cast<bool>(failure), !c.missing.empty()) << c.name;
        if (!c.missing.empty()) {
            EXPECT_EQ(failure.message, launcher::Message::RequiredPathMissing) << c.name;
            EXPECT_EQ(failure.kind, launcher::RunFailure::Detail::Text) << c.name;
            EXPECT_EQ(failure.text, c.missing) << c.name;
            ASSERT_FALSE(caseLines.empty()) << c.name;
            EXPECT_EQ(caseLines.back(), *c.machine.missingIn == Setting::ModulePath
                                            ? L"adding preconfigured modulepath"
                                            : L"adding preconfigured classpath")
                << c.name;
        }
        lines.insert(lines.end(), caseLines.begin(), caseLines.end());
    }
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"vmoption 1: --add-modules=java.sql"),
              lines.end());
}

TEST(MergeModuleOptionPairs, JoinsEveryModuleOptionWithItsValue) {
    Options options = {"--add-opens",         "a/b=c",          "--patch-module", "m=p", "-Dx",
                       "--add-exports=a/b=c", "--limit-modules"};
    launcher::mergeModuleOptionPairs(options);
    EXPECT_EQ(options, (Options{"--add-opens=a/b=c", "--patch-module=m=p", "-Dx",
                                "--add-exports=a/b=c", "--limit-modules"}));
    options = {"--add-reads", "--add-reads", "x", "--add-modules"};
    launcher::mergeModuleOptionPairs(options);
    EXPECT_EQ(options, (Options{"--add-reads=--add-reads", "x", "--add-modules"}));

    // Many pairs merge in time proportional to their number (milliseconds, not seconds).
    options.clear();
    for (int i = 0; i < 10000; ++i) options.insert(options.end(), {"--add-reads", "m=n", "-Dx"});
    const auto start = std::chrono::steady_clock::now();
    launcher::mergeModuleOptionPairs(options);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    ASSERT_EQ(options.size(), 20000u);
    EXPECT_EQ(options[19998], "--add-reads=m=n");
    EXPECT_EQ(options[19999], "-Dx");
}
