// The launcher description: what each key writes, the way back through `pack inspect`, and every
// mistake the tool reports.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "launcher_toml.h"

namespace {

using Strings = std::map<int32_t, std::string>;

// An icon of one 1 x 1 image (its data cut to four bytes: the tool does not read images).
const std::vector<uint8_t> kIcon = {0, 0, 1, 0, 1, 0,  1, 1, 0, 0, 1, 0, 32,
                                    0, 4, 0, 0, 0, 22, 0, 0, 0, 9, 8, 7, 6};

const std::map<std::string, std::vector<uint8_t>> kFiles = {
    {"data/app.ico", kIcon},
    {"icon.ico", kIcon},  // where a printed description names it
    {"data/lib/native.dll", {0, 0xA7, 'n'}},
    {"data/later.bin", {1, 2, 3}},
    {"data/top.txt", {'t', 'o', 'p'}},
};

bool loadTestFile(const std::string& path, std::vector<uint8_t>& content, std::string& error) {
    const auto it = kFiles.find(path);
    if (it == kFiles.end()) {
        error = "cannot read '" + path + "': no such file";
        return false;
    }
    content = it->second;
    return true;
}

pack::TomlBuild build(const std::string& text) {
    return pack::buildFromToml(text, "t.toml", "", loadTestFile);
}

std::string errorsOf(const pack::TomlBuild& built) {
    std::string text;
    for (const auto& e : built.errors) text += pack::formatDiagnostic("t.toml", e) + "\n";
    return text;
}

std::string richExample() {
    std::ifstream in(std::string(PACK_TESTDATA) + "/rich.toml");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

constexpr char kMinimal[] = "[service]\nname = \"Svc\"\n[java]\nmain_class = \"a.Main\"\n";

TEST(Description, EveryKeyWritesTheLauncherSettings) {
    const pack::TomlBuild built = build(richExample());
    ASSERT_TRUE(built.writer) << errorsOf(built);
    const pack::BlockContent content = pack::contentOf(*built.writer);
    const Strings expected = {
        {101, "RichService"},
        {102, "1"},
        {103, "logs\\out.log"},
        {104, "1"},
        {105, "logs\\err.log"},
        {106, "1"},
        {107, "5"},
        {108, "1"},
        {121, "A0app.jar;D1classes;S0lib;E0EXTRA_CP"},
        {122, "com.acme.app/com.acme.app.Main"},
        {123, "-Xmx512m -Dapp.home=${LUMEX_EXEDIR} \"-Dquote=a\"\"b\" \"\""},
        {124, "--port 8080 \"two words\""},
        {125, "1"},
        {126, "11.0.2"},
        {127, "21"},
        {128, "Bjre;AC:\\Java\\jdk-17;EACME_JAVA;EJAVA_HOME;S;I;Y"},
        {130, "1"},
        {131, "1"},
        {132, "A1mods/a.jar;D0mods"},
        {133, "1"},
        {134, "1"},
        {146, "${LUMEX_EXEDIR}\\work"},
        {149, "Tcpip,Dnscache"},
        {152, "server"},
        {154, "1"},
        {160, "acme-app"},
        {163, "1"},
        {165, "1"},
        {166, "1"},
        {200, "1"},
        {2001, "p"},
        {2002, "2"},
        {2003, "lib\\native.dll;top.txt;later.bin"},
        {10003, ".."},
        {10004, "lib\\native;C:\\Shared"},
        {10005, "1"},
        {10008, "1"},
        {10009, "1"},
        {10010, "1"},
        {10012, "1"},
        {10015, "1"},
        {10109, "10"},
        {10110, "-3"},
        {10111, "D\xE9marrage"},  // Latin-1, as the launcher widens it
        {10117, "7"},
        {10200, "2"},
        {10201, "8-10"},
        {10202, "-XX:+UseG1GC"},
        {10203, "*17.0.?"},
        {10204, "-Xss2m  -Dodd=\"x y\""},
        {3001, "45"},
        {3004, "Rich Service (Tests)"},
        {3005, "restart,restart,none"},
        {3006, "30"},
        {3007, "3600"},
        {3009, ".\\svcuser"},
        {3010, "RICH_PASSWORD"},
        {3011, "10485760"},
        {3012, "3"},
        {3013, "always"},
        {3014, "2"},
        {3015, "120"},
        {3016, "600"},
        {3017, "8"},
        {3018, "15"},
        {3019, "45"},
    };
    for (const auto& [id, value] : expected) {
        const auto it = content.strings.find(id);
        ASSERT_NE(it, content.strings.end()) << "config string " << id;
        EXPECT_EQ(it->second, value) << "config string " << id;
    }
    EXPECT_EQ(content.strings.size(), expected.size());
    // Default-language messages: the two replaced ones, the built-in rest, the description.
    EXPECT_EQ(content.wides.at(1000), u"Acme");
    EXPECT_EQ(content.wides.at(1016), u"No Java (code {0}).");
    EXPECT_EQ(content.wides.at(1009).substr(0, 40), u"The launcher could not prepare its files");
    EXPECT_EQ(content.wides.at(20017), u"Ein Dienst mit \"allem\" \u2014 f\u00FCr Tests");
    EXPECT_EQ(content.wides.size(), 13u);
    // Language sections in key order, so that de_CH comes after de and wins where both apply.
    ASSERT_EQ(content.sections.size(), 2u);
    EXPECT_EQ(content.sections[0].key, "de");
    EXPECT_EQ(content.sections[0].entries, (std::vector<std::pair<int32_t, std::u16string>>{
                                               {1000, u"Acme-Fehler"},
                                               {1009, u"Einrichtung fehlgeschlagen ({0})."},
                                               {20017, u"Acme-Dienst"}}));
    EXPECT_EQ(content.sections[1].key, "de_CH");
    // Extracted files first, in their order; the one left in the image last.
    ASSERT_EQ(content.files.size(), 3u);
    EXPECT_EQ(content.files[0].name, "lib\\native.dll");
    EXPECT_EQ(content.files[0].content, kFiles.at("data/lib/native.dll"));
    EXPECT_EQ(content.files[2].name, "later.bin");
    // The icon and version information go into the image's resources, not into the block.
    ASSERT_EQ(built.resources.icon.size(), 1u);
    EXPECT_EQ(built.resources.icon[0].data, (std::vector<uint8_t>{9, 8, 7, 6}));
    EXPECT_EQ(built.resources.version, (std::vector<pack::VersionText>{
                                           {"ProductName", u"Rich Service \u2014 f\u00FCr Tests"},
                                           {"ProductVersion", u"2.5"},
                                           {"FileVersion", u"2.5.0.17"},
                                           {"CompanyName", u"Acme"},
                                           {"LegalCopyright", u"\u00A9 2026 Acme"},
                                           {"FileDescription", u"Runs the rich service"}}));
}

TEST(Description, DefaultsOfTheSmallestDescription) {
    const pack::TomlBuild built = build(kMinimal);
    ASSERT_TRUE(built.writer) << errorsOf(built);
    const pack::BlockContent content = pack::contentOf(*built.writer);
    EXPECT_EQ(content.strings, (Strings{{101, "Svc"},
                                        {122, "a.Main"},
                                        {128, "Bjre;EJAVA_HOME;Y"},
                                        {2001, "l"},
                                        {3001, "30"},
                                        {3002, "1"},
                                        {3013, "failure"},
                                        {3014, "5"},
                                        {3015, "300"},
                                        {3016, "300"},
                                        {3017, "5"},
                                        {3018, "10"},
                                        {3019, "60"},
                                        {3020, "1"},
                                        {3021, "1"}}))
        << "a new launcher's stop is bounded, its child never outlives the host, a failed "
           "application is restarted, a hung JVM noticed, what happens reported and its "
           "classes kept in an archive";
    EXPECT_EQ(content.wides.size(), 12u) << "every message but the description, in English";
    EXPECT_TRUE(content.sections.empty());
}

// The keys that together make the launcher kind (config 107), the single-instance scope, and the
// defaults of keys that come in groups (the stop, the failure actions, the output rotation).
TEST(Description, KeysThatShareOneSettingAndGroupDefaults) {
    struct Case {
        std::string service, launcher;
        Strings expected;
    };
    const std::vector<Case> cases = {
        {"start = \"auto\"", "", {{107, "4"}}},
        {"start = \"delayed\"", "", {{107, "4"}, {3003, "1"}}},
        {"stop_timeout = 0\nkill_child_with_host = false\nevent_log = false",
         "",
         {{3001, "0"}, {3002, "0"}, {3020, "0"}}},
        {"stop_timeout = 86400\naccount = \"virtual\"", "", {{3001, "86400"}, {3009, "virtual"}}},
        {"[service.recovery]\nactions = [\"restart\"]",
         "",
         {{3005, "restart"}, {3006, "10"}, {3007, "86400"}, {3008, "1"}}},
        {"[service.recovery]\nactions = [\"none\", \"restart\"]\ndelay = 0\nreset_after = 0",
         "",
         {{3005, "none,restart"}, {3008, "1"}}},
        {"[service.restart]\non_exit = \"never\"", "", {{3013, "never"}}},
        {"[service.restart]\non_exit = \"always\"\ndelay = 0\nmax_delay = 0",
         "",
         {{3013, "always"}, {3014, "0"}, {3015, "0"}}},
        // The longest delay left out follows a longer first delay.
        {"[service.restart]\ndelay = 600", "", {{3014, "600"}, {3015, "600"}}},
        {"[service.restart]\ndelay = 1\nmax_delay = 86400\nsuccessful_run = 0\nmax_failures = 1000",
         "",
         {{3014, "1"}, {3015, "86400"}, {3016, "0"}, {3017, "1000"}}},
        {"[service.watchdog]\ninterval = 0", "", {{3018, "0"}}},
        {"[service.watchdog]\ninterval = 59", "", {{3018, "59"}}},
        {"[service.watchdog]\ntimeout = 11", "", {{3019, "11"}}},
        {"[service.watchdog]\ninterval = 86399\ntimeout = 86400",
         "",
         {{3018, "86399"}, {3019, "86400"}}},
        {"",
         "stdout_file = \"o\"\noutput_rotate_size = \"1 GiB\"",
         {{102, "1"}, {103, "o"}, {3011, "1073741824"}, {3012, "5"}}},
        {"",
         "stderr_file = \"e\"\noutput_rotate_size = 4096\noutput_keep = 1000",
         {{104, "1"}, {105, "e"}, {3011, "4096"}, {3012, "1000"}}},
        {"start = \"demand\"", "errors = \"console\"", {}},
        {"", "errors = \"message-box\"", {{107, "5"}}},
        {"", "windowed = true", {{107, "1"}}},
        {"", "windowed = true\nerrors = \"message-box\"", {{107, "1"}}},
        {"", "instance_scope = \"machine\"", {{158, "1"}}},
        {"", "instance_scope = \"user\"", {}},
        {"", "single_instance = true\ninstance_scope = \"session\"", {{10005, "1"}, {200, "1"}}},
    };
    for (const Case& c : cases) {
        const std::string text = "[service]\nname = \"Svc\"\n" + c.service +
                                 "\n[java]\nmain_class = \"a.Main\"\n[launcher]\n" + c.launcher +
                                 "\n";
        const pack::TomlBuild built = build(text);
        ASSERT_TRUE(built.writer) << text << errorsOf(built);
        Strings strings = pack::contentOf(*built.writer).strings;
        for (int32_t id : {101, 122, 128, 2001}) strings.erase(id);
        // Every new launcher's defaults are left out; "0" in a row: the key left the id out.
        const std::pair<int32_t, std::string> defaults[] = {
            {3001, "30"},  {3002, "1"}, {3013, "failure"}, {3014, "5"},  {3015, "300"},
            {3016, "300"}, {3017, "5"}, {3018, "10"},      {3019, "60"}, {3020, "1"},
            {3021, "1"}};
        for (const auto& [id, value] : defaults) {
            if (strings.count(id) == 0) strings[id] = "0";
            if (strings[id] == value) strings.erase(id);
        }
        EXPECT_EQ(strings, c.expected) << text;
    }
}

// TOML -> block -> TOML -> block gives the same bytes, and printing the rebuilt block gives the
// same description.
TEST(Description, InspectPrintsWhatBuildsTheSameBlock) {
    // A launcher without a bounded stop or a job object is what a block written before these
    // settings existed reads as: its description says so, and builds it again.
    const std::string unbounded =
        "[service]\nname = \"Svc\"\nstop_timeout = 0\nkill_child_with_host = false\n[java]\n"
        "main_class = \"a.Main\"\n";
    // One that restarts nothing and watches nothing, as a block written before those settings.
    const std::string unwatched = std::string(kMinimal) +
                                  "[service.restart]\non_exit = \"never\"\n"
                                  "[service.watchdog]\ninterval = 0\n";
    const std::string longDelay = std::string(kMinimal) +
                                  "[service.restart]\ndelay = 400\n"
                                  "[service.watchdog]\ntimeout = 11\n";
    for (const std::string& text :
         {richExample(), std::string(kMinimal), unbounded, unwatched, longDelay}) {
        const pack::TomlBuild built = build(text);
        ASSERT_TRUE(built.writer) << errorsOf(built);
        pack::BlockContent content = pack::contentOf(*built.writer);
        content.resources = built.resources;
        const std::string printed = pack::printToml(content, "data");
        const pack::TomlBuild again = build(printed);
        ASSERT_TRUE(again.writer) << printed << errorsOf(again);
        EXPECT_EQ(again.writer->build(), built.writer->build()) << printed;
        EXPECT_EQ(again.resources, built.resources) << printed;
        pack::BlockContent rebuilt = pack::contentOf(*again.writer);
        rebuilt.resources = again.resources;
        EXPECT_EQ(pack::printToml(rebuilt, "data"), printed);
        EXPECT_TRUE(pack::roundTripLosses(content).empty());
    }
    // The complete example of docs/pack.md builds, and prints back exactly.
    std::ifstream docs(std::string(PACK_TESTDATA) + "/../../../docs/pack.md");
    std::stringstream doc;
    doc << docs.rdbuf();
    const std::string manual = doc.str();
    const size_t start = manual.find("```toml\n", manual.find("## A complete example"));
    ASSERT_NE(start, std::string::npos);
    const std::string example = manual.substr(start + 8, manual.find("```", start + 8) - start - 8);
    const pack::TomlBuild documented = pack::buildFromToml(
        example, "pack.md", "",
        [](const std::string& path, std::vector<uint8_t>& content, std::string&) {
            content.assign(path.begin(), path.end());
            return true;
        });
    ASSERT_TRUE(documented.writer) << errorsOf(documented);
    EXPECT_TRUE(pack::roundTripLosses(pack::contentOf(*documented.writer)).empty());

    const pack::TomlBuild rich = build(richExample());
    pack::BlockContent richContent = pack::contentOf(*rich.writer);
    richContent.resources = rich.resources;
    const std::string printed = pack::printToml(richContent);
    for (const char* line :
         {"start = \"demand\"",
          "module = \"com.acme.app\"",
          "options = [\"-Xmx512m\", \"-Dapp.home=${LUMEX_EXEDIR}\", \"-Dquote=a\\\"b\", \"\"]",
          "    { versions = \"*17.0.?\", options = \"-Xss2m  -Dodd=\\\"x y\\\"\" },",
          "family = \"parcelkit\"",
          "errors = \"message-box\"",
          "name = \"lib/native.dll\"",
          "source = \"files/later.bin\"",
          "extract = false",
          "# 3 bytes",
          "no_jvm_found = \"No Java (code {0}).\"",
          "[messages.de_CH]",
          "[service.recovery]",
          "actions = [\"restart\", \"restart\", \"none\"]",
          "on_error_exit = false",
          "kill_child_with_host = false",
          "event_log = false",
          "class_data_sharing = \"off\"",
          "account = \".\\\\svcuser\"",
          "output_rotate_size = \"10 MiB\"",
          "output_keep = 3",
          "[service.restart]\non_exit = \"always\"\ndelay = 2\nmax_delay = 120\n"
          "successful_run = 600\nmax_failures = 8",
          "[service.watchdog]\ninterval = 15\ntimeout = 45",
          "icon = \"icon.ico\"",
          "[version]\nproduct_name = \"Rich Service \u2014 f\u00FCr Tests\"",
          "file_version = \"2.5.0.17\""}) {
        if (std::string(line) == "start = \"demand\"") {
            EXPECT_EQ(printed.find(line), std::string::npos) << "defaults are left out";
        } else {
            EXPECT_NE(printed.find(std::string(line) + "\n"), std::string::npos) << line << "\n"
                                                                                 << printed;
        }
    }  // A new launcher's defaults are left out; a first delay above max_delay's default takes
    // max_delay with it.
    const auto printedOf = [](const std::string& text) {
        return pack::printToml(pack::contentOf(*build(text).writer));
    };
    const std::string minimal = printedOf(kMinimal);
    EXPECT_EQ(minimal.find("[service.restart]"), std::string::npos) << minimal;
    EXPECT_EQ(minimal.find("[service.watchdog]"), std::string::npos) << minimal;
    EXPECT_NE(printedOf(unwatched).find("[service.restart]\non_exit = \"never\"\n\n"
                                        "[service.watchdog]\ninterval = 0\n\n[java]"),
              std::string::npos)
        << printedOf(unwatched);
    EXPECT_NE(printedOf(longDelay).find("[service.restart]\ndelay = 400\n\n"
                                        "[service.watchdog]\ntimeout = 11\n\n[java]"),
              std::string::npos)
        << printedOf(longDelay);
}

// A block the tool did not write: what the description cannot say is shown, not lost silently.
TEST(Description, InspectNamesWhatADescriptionCannotSay) {
    pack::BlockWriter w;
    w.string(101, "Old").string(107, "2").string(999, "x").string(128, "Qfoo;Y");
    w.wide(1000, std::u16string(1, char16_t(0xD800)));
    const pack::BlockContent content = pack::contentOf(w);
    const std::string printed = pack::printToml(content);
    EXPECT_NE(printed.find("# 107 = \"2\"\n"), std::string::npos) << printed;
    // Written before the stop settings: its stop has no bound and its child no job.
    EXPECT_NE(printed.find("stop_timeout = 0\nkill_child_with_host = false\nevent_log = false\n"),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find("class_data_sharing = \"off\"\n"), std::string::npos) << printed;
    // ... and it restarts nothing and watches nothing.
    EXPECT_NE(printed.find("[service.restart]\non_exit = \"never\"\n\n[service.watchdog]\n"
                           "interval = 0\n"),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find("# 999 = \"x\"\n"), std::string::npos) << printed;
    const auto losses = pack::roundTripLosses(content);
    const std::string all = [&] {
        std::string t;
        for (const auto& l : losses) t += l + "\n";
        return t;
    }();
    EXPECT_NE(all.find("java.search[0]: \"?Qfoo\" is no search kind"), std::string::npos) << all;

    // Restart and watchdog values the tool never writes are shown, not printed as keys.
    pack::BlockWriter odd;
    odd.string(101, "Odd").string(122, "a.M");
    odd.string(3013, "sometimes").string(3014, "-1").string(3015, "007").string(3016, "86401");
    odd.string(3018, "20").string(3019, "0");
    const std::string oddPrinted = pack::printToml(pack::contentOf(odd));
    for (const char* shown : {"# 3013 = \"sometimes\"\n", "# 3014 = \"-1\"\n", "# 3015 = \"007\"\n",
                              "# 3016 = \"86401\"\n", "# 3019 = \"0\"\n",
                              "[service.watchdog]\ninterval = 20\n\n[java]"}) {
        EXPECT_NE(oddPrinted.find(shown), std::string::npos) << shown << "\n" << oddPrinted;
    }
    EXPECT_EQ(oddPrinted.find("[service.restart]"), std::string::npos) << oddPrinted;
}

}  // namespace

namespace {

// A description with one line added to [service] (line 3), one to [java] (line 6) and the rest
// from line 7 on.
std::string withLines(const std::string& service, const std::string& java,
                      const std::string& rest = "") {
    return "[service]\nname = \"Svc\"\n" + service + "\n[java]\nmain_class = \"a.Main\"\n" + java +
           "\n" + rest;
}

TEST(Description, TextsBeyondAsciiKeepTheirValue) {
    const std::pair<std::string, std::u16string> rows[] = {
        {"\"\xE2\xB1\xB5zt\"", u"\u2C75zt"},
        {"\"\xC2\xA1\xD2\x99\xE3\x83\x97\xEF\xBB\x86\"", u"\u00A1\u0499\u30D7\uFEC6"},
        {"\"\"\"\na\\\"\xE2\x80\x94\n\xF0\x9F\x98\x80\"\"\"", u"a\"\u2014\n\U0001F600"},
        {"\"\xC3\xA9\" # caf\xC3\xA9 \xE2\xB1\xB5 'x' \"", u"\u00E9"},
        // 'Literal strings' keep backslashes and double quotes as they stand.
        {"'Caf\xC3\xA9 C:\\Program Files\\ \"q\" \xE4\xB8\xAD'",
         u"Caf\u00E9 C:\\Program Files\\ \"q\" \u4E2D"},
        {"'''\nline 'one'\\\n\xC3\xA9 \"\"\"'''''", u"line 'one'\\\n\u00E9 \"\"\"''"},
    };
    for (const auto& [value, expected] : rows) {
        const pack::TomlBuild built =
            build(withLines("", "", "[messages]\nerror_caption = " + value + "\n"));
        ASSERT_TRUE(built.writer) << value << "\n" << errorsOf(built);
        EXPECT_TRUE(pack::contentOf(*built.writer).wides.at(1000) == expected) << value;
    }
}

TEST(Description, EveryMistakeIsReportedWithItsPlaceAndKey) {
    const std::string longName(200, 'v');
    struct Case {
        std::string text;
        std::string expected;  // the first diagnostic, formatted
    };
    const std::vector<Case> cases = {
        {"[service\nname = 1\n", "t.toml:1:9: "},
        {"[[[1]]]\n", "t.toml: this is no valid TOML (the TOML reader's check"},
        {"[\nerror_caption = 1\n", "t.toml: this is no valid TOML"},
        {withLines("", "", "[servce]\n"),
         "t.toml:7:2: servce: unknown key; the description has "
         "service, java, launcher, version, splash, messages, files"},
        {withLines("nmae = \"x\"", ""),
         "t.toml:3:1: service.nmae: unknown key; [service] knows "
         "name, description, start, dependencies"},
        {"[service]\nname = 5\n[java]\nmain_class = \"a.Main\"\n",
         "t.toml:2:8: service.name: expected a string, found an integer"},
        {withLines("", "runtime_jar = \"no\""),
         "t.toml:6:15: java.runtime_jar: expected true or false, found a string"},
        {"[service]\nstart = \"auto\"\n[java]\nmain_class = \"a.Main\"\n",
         "t.toml:1:1: service.name: missing; name the service the launcher installs and runs"},
        {"[service]\nname = \"Svc\"\n",
         "t.toml: java: missing; the description needs a [java] table with the main class"},
        {withLines("start = \"automatic\"", ""),
         "t.toml:3:9: service.start: \"automatic\" is not allowed here; write \"auto\", "
         "\"demand\" or \"delayed\""},
        {withLines("stop_timeout = -1", ""),
         "t.toml:3:16: service.stop_timeout: is -1; write a number from 0 to 86400"},
        {withLines("account = \"bob\"", ""),
         "t.toml:3:11: service.account: \"bob\" is no account; write \"LocalSystem\", "
         "\"LocalService\", \"NetworkService\", \"virtual\" or a user as \"DOMAIN\\\\user\""},
        {withLines("account = \"LocalService\"\npassword_env = \"PW\"", ""),
         "t.toml:4:16: service.password_env: only a named user"},
        {withLines("[service.recovery]\ndelay = 5", ""),
         "t.toml:3:1: service.recovery.actions: missing; write a list such as [\"restart\", "
         "\"none\"]"},
        {withLines("[service.recovery]\nactions = [\"restart\", \"reboot\"]", ""),
         "t.toml:4:23: service.recovery.actions[1]: write \"restart\" or \"none\""},
        {withLines("", "class_data_sharing = \"on\""),
         "t.toml:6:22: java.class_data_sharing: \"on\" is not allowed here; write \"auto\" or "
         "\"off\""},
        {withLines("[service.restart]\non_exit = \"sometimes\"", ""),
         "t.toml:4:11: service.restart.on_exit: \"sometimes\" is not allowed here; write "
         "\"failure\", \"always\" or \"never\""},
        {withLines("[service.restart]\ndelay = -1", ""),
         "t.toml:4:9: service.restart.delay: is -1; write a number from 0 to 86400"},
        {withLines("[service.restart]\nmax_failures = 0", ""),
         "t.toml:4:16: service.restart.max_failures: is 0; write a number from 1 to 1000"},
        {withLines("[service.restart]\nmax_delay = 3", ""),
         "t.toml:4:13: service.restart.max_delay: is 3, below the delay of 5 s (the default): "
         "each quick failure doubles the delay up to max_delay; write at least 5"},
        {withLines("[service.restart]\ndelay = 60\nmax_delay = 30", ""),
         "t.toml:5:13: service.restart.max_delay: is 30, below the delay of 60 s: each"},
        {withLines("[service.restart]\nretries = 3", ""),
         "t.toml:4:1: service.restart.retries: unknown key; [service.restart] knows on_exit, "
         "delay, max_delay, successful_run, max_failures"},
        {withLines("restart = \"always\"", ""),
         "t.toml:3:11: service.restart: expected a table, found a string"},
        {withLines("on_exit = \"always\"", ""),
         "t.toml:3:1: service.on_exit: belongs in [service.restart], not in [service]"},
        {withLines("", "interval = 5"),
         "t.toml:6:1: java.interval: belongs in [service.watchdog], not in [java]"},
        {withLines("[service.watchdog]\ninterval = 10\ntimeout = 10", ""),
         "t.toml:5:11: service.watchdog.timeout: a timeout of 10 s is not above the interval of "
         "10 s: the JVM would count as hung before it could answer a ping; write a timeout "
         "above the interval, or interval = 0 to turn the watchdog off"},
        {withLines("[service.watchdog]\ninterval = 60", ""),
         "t.toml:4:12: service.watchdog.interval: a timeout of 60 s (the default) is not above "
         "the interval of 60 s"},
        {withLines("[service.watchdog]\ntimeout = 0", ""),
         "t.toml:4:11: service.watchdog.timeout: is 0; write a number from 1 to 86400"},
        {withLines("start = \"delayed\"", "", "[launcher]\nerrors = \"message-box\"\n"),
         "t.toml:8:10: launcher.errors: \"message-box\" cannot go with [service] start = "
         "\"delayed\""},
        {withLines("", "", "[launcher]\nstdout_file = \"o\"\noutput_rotate_size = \"10 MB\"\n"),
         "t.toml:9:22: launcher.output_rotate_size: write a size from 1 KiB to 2047 MiB"},
        {withLines("", "", "[launcher]\noutput_rotate_size = \"10 MiB\"\n"),
         "t.toml:8:22: launcher.output_rotate_size: only works with stdout_file or stderr_file"},
        {withLines("dependencies = [\"a,b\"]", ""),
         "t.toml:3:17: service.dependencies[0]: holds ',', which the launcher reads as a "
         "separator or cannot use in this list"},
        {withLines("name2 = \"\xCE\xA9mega\"", ""), "t.toml:3:1: service.name2: unknown key"},
        {withLines("dependencies = [\"M\xC3\xBCller\", \"a,b\"]", ""),
         "t.toml:3:27: service.dependencies[1]: holds ','"},
        {withLines("", "", "x = \xC3\xA9\n"),
         "t.toml:7:5: the character U+00E9 stands outside a string; write text in \"quotes\""},
        // Columns behind an escaped literal string are those of the original text.
        {withLines("", "", "[messages]\nerror_caption = '\xC3\xA9\\\"' x\n"), "t.toml:8:23: "},
        // The character toml++ 3.3 mishandles, where that reader takes the quote for no string.
        {"o=+\"\xE2\xB1\xB5zt", "t.toml:1:3: Error while parsing value"},
        {"x = \"\xC3(\"\n",
         "t.toml:1:6: not UTF-8 text: byte offset 5 holds 0xC3, which no "
         "UTF-8 character has there (ANSI text or a binary file?); save it "
         "as UTF-8"},
        {"x = \"a\xC0\x80\"\n",
         "t.toml:1:7: not UTF-8 text: byte offset 6 holds 0xC0"},  // overlong
        {"x = \"\xED\xA0\x80\"\n", "t.toml:1:6: not UTF-8 text: byte offset 5 holds 0xED"},
        {"x = \"\xF4\x90\x80\x80\"\n", "t.toml:1:6: not UTF-8 text: byte offset 5 holds 0xF4"},
        {"# \xE2\xB1\xB5 \x80\n", "t.toml:1:5: not UTF-8 text: byte offset 6 holds 0x80"},
        // What Windows PowerShell 5 writes with '>', UTF-16 without its mark, an ANSI file.
        {std::string("\xFF\xFE[\0s\0", 6),
         "t.toml:1:1: not UTF-8 text: it begins with the byte order mark of UTF-16 (what Windows "
         "PowerShell 5 writes with '>'); save it as UTF-8"},
        {std::string("[\0s\0", 4),
         "t.toml:1:2: not UTF-8 text: byte offset 1 is a NUL byte, as in UTF-16 text or a binary "
         "file; save it as UTF-8"},
        {withLines("", "", "[messages]\nerror_caption = \"Caf\xE9\"\n"),
         "t.toml:8:21: not UTF-8 text: byte offset 85 holds 0xE9"},
        {withLines("", "", "[launcher]\nworking_directory = \"C:\\Program Files\\Acme\"\n"),
         "t.toml:8:25: Error while parsing string: unknown escape sequence '\\P'; in \"double "
         "quotes\" write each '\\' of a path as '\\\\', or write the path in 'single quotes', "
         "which take it as it stands"},
        {"[service]\nname = \"\xCE\xA9mega\"\n[java]\nmain_class = \"a.Main\"\n",
         "t.toml:2:8: service.name: holds U+03A9, which the launcher cannot read here: this "
         "setting is read as single bytes (Latin-1 characters only)"},
        {withLines("", "min_version = \"11-ea\""),
         "t.toml:6:15: java.min_version: \"11-ea\" is no version; write numbers separated by "
         "'.', '_', '-' or '+', such as \"11\", \"17.0.2\" or \"1.8.0_292\""},
        {withLines("", "min_version = \"17\"\nmax_version = \"11.0.9\""),
         "t.toml:7:15: java.max_version: \"11.0.9\" lies below min_version \"17\": no Java "
         "runtime can pass both"},
        {withLines("", "search = [\"registry\", \"jre\"]"),
         "t.toml:6:23: java.search[1]: \"jre\" is no search kind; write \"bundled:DIR\", "
         "\"directory:DIR\", \"env:NAME\", \"JAVA_HOME\", \"path\", \"registry\" or "
         "\"installations\""},
        {withLines("", "search = [\"bundled:\"]"),
         "t.toml:6:11: java.search[0]: \"bundled:\" needs a folder after the colon"},
        {withLines("", "jvm_variant = \"" + longName + "\""),
         "t.toml:6:15: java.jvm_variant: is 200 characters long; the launcher reads at most "
         "199"},
        {withLines("", "module = \"a/b\""),
         "t.toml:6:10: java.module: \"a/b\" is no module name (not empty, no blanks, '/' or "
         "';')"},
        {withLines("", "class_path = [{ jar = \"a.jar\", env = \"X\" }]"),
         "t.toml:6:15: java.class_path[0]: an entry names exactly one of jar, directory, "
         "jars_in or env (found 2)"},
        {withLines("", "version_options = [{ versions = \"17\", options = [] }]"),
         "t.toml:6:33: java.version_options[0].versions: \"17\" is neither a range of major "
         "versions such as \"8-11\" (lower first) nor a pattern such as \"*17.0.?\""},
        {withLines("", "options = [1]"),
         "t.toml:6:12: java.options[0]: expected a string, found an integer"},
        {withLines("start = \"auto\"", "", "[launcher]\nerrors = \"message-box\"\n"),
         "t.toml:8:10: launcher.errors: \"message-box\" cannot go with [service] start = "
         "\"auto\": a launcher that installs for automatic start shows its errors on the "
         "console"},
        {withLines("", "", "[launcher]\nwindowed = true\nerrors = \"console\"\n"),
         "t.toml:9:10: launcher.errors: \"console\" cannot go with windowed = true: a windowed "
         "application shows its errors in message boxes"},
        {withLines("", "", "[launcher]\nraise_other_instance = true\n"),
         "t.toml:8:24: launcher.raise_other_instance: only works with single_instance = true"},
        {withLines("", "", "[launcher]\ninstance_scope = \"global\"\n"),
         "t.toml:8:18: launcher.instance_scope: \"global\" is not allowed here; write \"user\", "
         "\"session\" or \"machine\""},
        {withLines("", "", "[splash]\ngroups = [{}, {}, {}, {}, {}]\n"),
         "t.toml:8:10: splash.groups: the launcher passes at most 4 groups"},
        {withLines("", "", "[messages]\nno_jvm_found = \"No Java.\"\n"),
         "t.toml:8:16: messages.no_jvm_found: has no \"{0}\"; the launcher puts what failed in "
         "its place, write it where that belongs"},
        {withLines("", "", "[messages]\nerror_caption = \"\"\n"),
         "t.toml:8:17: messages.error_caption: is empty; leave the key out to keep the "
         "built-in text"},
        {withLines("", "", "[messages]\nservice_description = \"x\"\n"),
         "t.toml:8:1: messages.service_description: write the service description as [service] "
         "description; language tables such as [messages.de] may translate it"},
        {withLines("", "", "[messages.xx]\nerror_caption = \"x\"\n"),
         "t.toml:7:11: messages.xx: \"xx\" is no language code the launcher uses (such as de, "
         "de_CH, pt_BR, no_NO_NY)"},
        {withLines("", "", "[messages.de]\nsetup_failed = \"Fehler\"\n"),
         "t.toml:8:16: messages.de.setup_failed: has no \"{0}\"; the launcher puts what failed "
         "in its place, write it where that belongs"},
        {withLines("", "", "[messages.de]\nerror_captoin = \"x\"\n"),
         "t.toml:8:1: messages.de.error_captoin: is no message; see docs/pack.md for the "
         "message keys"},
        {withLines("", "", "[[files]]\nname = \"a.dll\"\nsource = \"missing.dll\"\n"),
         "t.toml:9:10: files[0].source: cannot read 'missing.dll': no such file"},
        {withLines("", "", "[[files]]\nname = \"a/b/c.dll\"\nsource = \"data/top.txt\"\n"),
         "t.toml:8:8: files[0].name: \"a/b/c.dll\" is no name the launcher can extract: a file "
         "name, or one folder, '/' and a file name, without ; : * ? \" < > |"},
        {withLines("", "",
                   "[[files]]\nname = \"a\"\nsource = \"data/top.txt\"\n"
                   "[[files]]\nname = \"a\"\nsource = \"data/top.txt\"\n"),
         "t.toml:11:8: files[1].name: \"a\" is included twice"},
        {withLines("", "", "[[files]]\nsource = \"data/top.txt\"\n"),
         "t.toml:7:1: files[0].name: missing"},
        {withLines("", "", "[version]\nfile_version = \"1.2-beta\"\n"),
         "t.toml:8:16: version.file_version: \"1.2-beta\" is no file version; write one to four "
         "numbers from 0 to 65535 separated by '.', such as \"1.4.2\""},
        // Errors come in the order of the text: the empty value before the unknown key below it.
        {withLines("", "", "[version]\nproduct_name = \"\"\ncompnay = \"x\"\n"),
         "t.toml:8:16: version.product_name: is empty; leave the key out instead"},
        {withLines("single_instance = true", ""),
         "t.toml:3:1: service.single_instance: belongs in [launcher], not in [service]"},
        {"[service]\nname = \"Svc\"\n[java]\nmain_class = \"com.acme.Main.class\"\n",
         "t.toml:4:14: java.main_class: \"com.acme.Main.class\" names a source or class file; "
         "write the class name \"com.acme.Main\""},
        {withLines("", "class_path = [\"lib/*\"]"),
         "t.toml:6:15: java.class_path[0]: holds '*': the launcher takes a path as it stands, "
         "without wildcards; write { jars_in = \"lib\" } for every jar in a folder"},
        {withLines("", "options = [\"-Dhome=${LUMEX_EXEDIRR}\"]"),
         "t.toml:6:12: java.options[0]: holds ${LUMEX_EXEDIRR}, which is no variable of the "
         "launcher; it knows ${LUMEX_EXEDIR}"},
        {withLines("", "", "[launcher]\nworking_directory = \"${LUMEX_EXEDIR\\\\work\"\n"),
         "t.toml:8:21: launcher.working_directory: holds \"${LUMEX_EXEDIR\\work\" without its "
         "closing '}'; write ${NAME}"},
        {withLines("", "", "[messages]\nerror_caption = \"Error {0}\"\n"),
         "t.toml:8:17: messages.error_caption: holds \"{0}\", but the launcher puts nothing in "
         "its place in this message; leave it out"},
        {withLines("", "",
                   "[[files]]\nname = \"App.jar\"\nsource = \"data/top.txt\"\n"
                   "[[files]]\nname = \"app.jar\"\nsource = \"data/top.txt\"\n"),
         "t.toml:11:8: files[1].name: \"app.jar\" differs from files[0].name \"App.jar\" only in "
         "case, and Windows takes them for one file"},
        {withLines("", "", "[[files]]\nname = \"con.txt\"\nsource = \"data/top.txt\"\n"),
         "t.toml:8:8: files[0].name: \"con.txt\" is the Windows device name CON: Windows opens "
         "the device instead of a file; choose another name"},
        {withLines("", "", "[[files]]\nname = \"Lpt3/a.dll\"\nsource = \"data/top.txt\"\n"),
         "t.toml:8:8: files[0].name: \"Lpt3/a.dll\" is the Windows device name LPT3"},
        {withLines("", "", "[launcher]\nicon = \"data/top.txt\"\n"),
         "t.toml:8:8: launcher.icon: \"data/top.txt\" is no icon file (.ico)"},
        {std::string(pack::kMaxDescriptionSize + 1, '#'),
         "t.toml: the description is 1048577 bytes long; the tool reads at most 1048576"},
    };
    for (const Case& c : cases) {
        const pack::TomlBuild built = build(c.text);
        EXPECT_FALSE(built.writer) << c.text;
        if (built.errors.empty()) {
            ADD_FAILURE() << "accepted: " << c.text;
            continue;
        }
        const std::string first = pack::formatDiagnostic("t.toml", built.errors[0]);
        EXPECT_TRUE(first.starts_with(c.expected)) << c.text << "\n  got: " << first;
    }
}

}  // namespace
