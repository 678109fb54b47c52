// The launcher description: what each key writes, the way back through `pack inspect`, and every
// mistake the tool reports.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "launcher_toml.h"

namespace {

using Strings = std::map<int32_t, std::string>;

const std::map<std::string, std::vector<uint8_t>> kFiles = {
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
        {123, "-Xmx512m -Dapp.home=${APPDIR} \"-Dquote=a\"\"b\" \"\""},
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
        {146, "${APPDIR}\\work"},
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
}

TEST(Description, DefaultsOfTheSmallestDescription) {
    const pack::TomlBuild built = build(kMinimal);
    ASSERT_TRUE(built.writer) << errorsOf(built);
    const pack::BlockContent content = pack::contentOf(*built.writer);
    EXPECT_EQ(content.strings,
              (Strings{{101, "Svc"}, {122, "a.Main"}, {128, "Bjre;EJAVA_HOME;Y"}, {2001, "l"}}));
    EXPECT_EQ(content.wides.size(), 12u) << "every message but the description, in English";
    EXPECT_TRUE(content.sections.empty());
}

// The keys that together make the launcher kind (config 107), and the single-instance scope.
TEST(Description, KeysThatShareOneSetting) {
    struct Case {
        std::string service, launcher;
        Strings expected;
    };
    const std::vector<Case> cases = {
        {"start = \"auto\"", "", {{107, "4"}}},
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
        EXPECT_EQ(strings, c.expected) << text;
    }
}

// TOML -> block -> TOML -> block gives the same bytes, and printing the rebuilt block gives the
// same description.
TEST(Description, InspectPrintsWhatBuildsTheSameBlock) {
    for (const std::string& text : {richExample(), std::string(kMinimal)}) {
        const pack::TomlBuild built = build(text);
        ASSERT_TRUE(built.writer) << errorsOf(built);
        const pack::BlockContent content = pack::contentOf(*built.writer);
        const std::string printed = pack::printToml(content, "data");
        const pack::TomlBuild again = build(printed);
        ASSERT_TRUE(again.writer) << printed << errorsOf(again);
        EXPECT_EQ(again.writer->build(), built.writer->build()) << printed;
        EXPECT_EQ(pack::printToml(pack::contentOf(*again.writer), "data"), printed);
        EXPECT_TRUE(pack::roundTripLosses(content).empty());
    }
    const std::string printed = pack::printToml(pack::contentOf(*build(richExample()).writer));
    for (const char* line :
         {"start = \"demand\"", "module = \"com.acme.app\"",
          "options = [\"-Xmx512m\", \"-Dapp.home=${APPDIR}\", \"-Dquote=a\\\"b\", \"\"]",
          "    { versions = \"*17.0.?\", options = \"-Xss2m  -Dodd=\\\"x y\\\"\" },",
          "family = \"parcelkit\"", "errors = \"message-box\"", "name = \"lib/native.dll\"",
          "source = \"files/later.bin\"", "extract = false", "# 3 bytes",
          "no_jvm_found = \"No Java (code {0}).\"", "[messages.de_CH]"}) {
        if (std::string(line) == "start = \"demand\"") {
            EXPECT_EQ(printed.find(line), std::string::npos) << "defaults are left out";
        } else {
            EXPECT_NE(printed.find(std::string(line) + "\n"), std::string::npos) << line << "\n"
                                                                                 << printed;
        }
    }
}

// A block the tool did not write: what the description cannot say is shown, not lost silently.
TEST(Description, InspectNamesWhatADescriptionCannotSay) {
    pack::BlockWriter w;
    w.string(101, "Old").string(107, "2").string(999, "x").string(128, "Qfoo;Y");
    w.wide(1000, std::u16string(1, char16_t(0xD800)));
    const pack::BlockContent content = pack::contentOf(w);
    const std::string printed = pack::printToml(content);
    EXPECT_NE(printed.find("# 107 = \"2\"\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("# 999 = \"x\"\n"), std::string::npos) << printed;
    const auto losses = pack::roundTripLosses(content);
    const std::string all = [&] {
        std::string t;
        for (const auto& l : losses) t += l + "\n";
        return t;
    }();
    EXPECT_NE(all.find("java.search[0]: \"?Qfoo\" is no search kind"), std::string::npos) << all;
}

}  // namespace
