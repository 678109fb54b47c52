#include "pack_input.h"

#include <gtest/gtest.h>

#include <map>

using pack::Diagnostic;
using pack::PackInput;
using pack::parsePackInput;

namespace {

using Strings = std::vector<std::pair<int32_t, std::string>>;
using Wides = std::vector<std::pair<int32_t, std::u16string>>;

// Included files come from this map instead of the disk; every path asked for is recorded.
struct FakeFiles {
    std::map<std::string, std::vector<uint8_t>> files;
    std::vector<std::string> asked;

    pack::FileLoader loader() {
        return [this](const std::string& path, std::vector<uint8_t>& content, std::string& error) {
            asked.push_back(path);
            const auto it = files.find(path);
            if (it == files.end()) {
                error = "cannot read '" + path + "': no such file";
                return false;
            }
            content = it->second;
            return true;
        };
    }
};

PackInput parse(std::string_view text, FakeFiles* files = nullptr, const std::string& base = "") {
    static FakeFiles none;
    return parsePackInput(text, base, (files ? files : &none)->loader());
}

// Parses text that must be valid and have no warnings.
pack::BlockWriter clean(std::string_view text) {
    const PackInput input = parse(text);
    for (const auto& e : input.errors) ADD_FAILURE() << e.line << ": " << e.message;
    for (const auto& w : input.warnings) ADD_FAILURE() << "warning " << w.line << ": " << w.message;
    return input.writer.value_or(pack::BlockWriter());
}

// The one error of text, as "line: message".
std::string onlyError(std::string_view text) {
    const PackInput input = parse(text);
    EXPECT_FALSE(input.writer.has_value());
    if (input.errors.size() != 1) {
        ADD_FAILURE() << input.errors.size() << " errors for: " << text;
        return "";
    }
    return std::to_string(input.errors[0].line) + ": " + input.errors[0].message;
}

std::vector<std::string> warnings(const PackInput& input) {
    std::vector<std::string> out;
    for (const auto& w : input.warnings) out.push_back(std::to_string(w.line) + ": " + w.message);
    return out;
}

TEST(PackInput, NarrowStrings) {
    const auto w = clean("string 101 MyService\nstring 122 com.example/Main\n");
    EXPECT_EQ(w.strings(), (Strings{{101, "MyService"}, {122, "com.example/Main"}}));
}

TEST(PackInput, ValueIsTheRestOfTheLineAfterOneBlank) {
    const PackInput input = parse(
        "string 128 C:\\Program Files\\Java;D # not a comment\n"
        "string 1  two blanks\n"
        "string 2\ttab\n"
        "string 3 trailing  \n");
    ASSERT_TRUE(input.writer);
    EXPECT_EQ(input.writer->strings(), (Strings{{128, "C:\\Program Files\\Java;D # not a comment"},
                                                {1, " two blanks"},
                                                {2, "tab"},
                                                {3, "trailing  "}}));
    EXPECT_EQ(warnings(input),
              std::vector<std::string>{"4: value ends in blanks, which are kept; quote it to make "
                                       "that visible"});
}

TEST(PackInput, EmptyValues) {
    const auto w = clean("string 5\nstring 6 \nstring 7 \"\"\nwide 8\nwide 9 \"\"\n");
    EXPECT_EQ(w.strings(), (Strings{{5, ""}, {6, ""}, {7, ""}}));
    EXPECT_EQ(w.wides(), (Wides{{8, u""}, {9, u""}}));
}

TEST(PackInput, QuotedValues) {
    const auto w = clean(
        "string 1 \"  padded  \"\n"
        "string 2 \"line\\nbreak\\t\\\"q\\\" \\\\ \\xE9\"\n"
        "wide 3 \"\\u20AC \\x41\"\n");
    EXPECT_EQ(w.strings(), (Strings{{1, "  padded  "}, {2, "line\nbreak\t\"q\" \\ \xE9"}}));
    EXPECT_EQ(w.wides(), (Wides{{3, u"\u20AC A"}}));
}

TEST(PackInput, WideStringsAreUtf16) {
    const auto w = clean("wide 1000 Fehler f\xC3\xBCr \xF0\x9F\x98\x80\n");
    EXPECT_EQ(w.wides(), (Wides{{1000, u"Fehler f\u00FCr \U0001F600"}}));
}

TEST(PackInput, IdsAreSigned32Bit) {
    const auto w = clean("string -1 a\nstring 2147483647 b\nstring -2147483648 c\nstring 007 d\n");
    EXPECT_EQ(w.strings(), (Strings{{-1, "a"}, {INT32_MAX, "b"}, {INT32_MIN, "c"}, {7, "d"}}));
}

TEST(PackInput, DuplicateIdsAreKeptInOrder) {
    const auto w = clean("string 101 first\nstring 101 second\nwide 5 a\nwide 5 b\n");
    EXPECT_EQ(w.strings(), (Strings{{101, "first"}, {101, "second"}}));
    EXPECT_EQ(w.wides(), (Wides{{5, u"a"}, {5, u"b"}}));
}

TEST(PackInput, CommentsBlankLinesIndentationCrLfAndBom) {
    const auto w = clean(
        "\xEF\xBB\xBF# header\r\n"
        "\r\n"
        "   \t\n"
        "  # indented comment\n"
        "\tstring 1 a\r\n"
        "string 2 b");  // no newline at the end
    EXPECT_EQ(w.strings(), (Strings{{1, "a"}, {2, "b"}}));
}

TEST(PackInput, Sections) {
    const auto w = clean(
        "wide 1000 Error\n"
        "section de\n"
        "    wide 1000 Fehler\n"
        "    wide 1009 Fehler {0}\n"
        "end\n"
        "section de_CH\n"
        "end\n"
        "section\n"
        "  wide 1 all\n"
        "end\n"
        "section \"\"\n"
        "end\n");
    EXPECT_EQ(w.wides(), (Wides{{1000, u"Error"}}));
    ASSERT_EQ(w.sections().size(), 4u);
    EXPECT_EQ(w.sections()[0].key, "de");
    EXPECT_EQ(w.sections()[0].entries, (Wides{{1000, u"Fehler"}, {1009, u"Fehler {0}"}}));
    EXPECT_EQ(w.sections()[1].key, "de_CH");
    EXPECT_TRUE(w.sections()[1].entries.empty());
    EXPECT_EQ(w.sections()[2].key, "");
    EXPECT_EQ(w.sections()[2].entries, (Wides{{1, u"all"}}));
    EXPECT_EQ(w.sections()[3].key, "");
}

TEST(PackInput, Reserved) {
    const auto w = clean("reserved 1 -2 -9223372036854775808\n");
    const auto block = w.build();
    ASSERT_GE(block.size(), 20u);
    EXPECT_EQ(
        std::vector<uint8_t>(block.begin() + 4, block.begin() + 20),
        (std::vector<uint8_t>{1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0x80}));
}

TEST(PackInput, Files) {
    FakeFiles files;
    files.files["in/dir/a.dll"] = {1, 2, 3};
    files.files["/abs/b.jar"] = {4};
    files.files["in/dir/my file.txt"] = {5, 6};
    const PackInput input = parse(
        "file a.dll a.dll\n"
        "file lib\\b.jar /abs/b.jar\n"
        "file \"two words\\\\c.txt\" my file.txt\n",
        &files, "in/dir");
    ASSERT_TRUE(input.writer) << input.errors[0].message;
    EXPECT_TRUE(input.warnings.empty());
    EXPECT_EQ(files.asked,
              (std::vector<std::string>{"in/dir/a.dll", "/abs/b.jar", "in/dir/my file.txt"}));
    const auto& got = input.writer->files();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].name, "a.dll");
    EXPECT_EQ(got[0].content, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(got[1].name, "lib\\b.jar");
    EXPECT_EQ(got[2].name, "two words\\c.txt");
    EXPECT_EQ(got[2].content, (std::vector<uint8_t>{5, 6}));
}

TEST(PackInput, FileWarnings) {
    FakeFiles files;
    files.files["p"] = {1};
    const PackInput input = parse(
        "file x\\y\\z.txt p\nfile a/b p\nfile A.DLL p\nfile a.dll p\nfile \"t\\tab\" p\n", &files);
    ASSERT_TRUE(input.writer);
    EXPECT_EQ(warnings(input),
              (std::vector<std::string>{
                  "1: file name 'x\\y\\z.txt' has more than one backslash; the launcher creates "
                  "only the first directory level, so extracting it will fail",
                  "2: file name 'a/b' contains '/'; the launcher creates a subdirectory only "
                  "for a backslash",
                  "4: file name 'a.dll' is also used at line 3; the later file replaces the "
                  "earlier one when extracted",
                  "5: file name \"t\\tab\" contains a control character; Windows cannot create "
                  "such a file"}));
}

TEST(PackInput, FileErrors) {
    FakeFiles files;
    files.files["p"] = {1};
    const auto error = [&](std::string_view text) {
        const PackInput input = parse(text, &files);
        EXPECT_FALSE(input.writer);
        return input.errors.empty()
                   ? std::string()
                   : std::to_string(input.errors[0].line) + ": " + input.errors[0].message;
    };
    EXPECT_EQ(error("\nfile a.dll missing.dll\n"), "2: cannot read 'missing.dll': no such file");
    EXPECT_EQ(error("file a.dll\n"), "1: 'file' needs a name and a path: file NAME PATH");
    EXPECT_EQ(error("file a.dll   \n"), "1: 'file' needs a name and a path: file NAME PATH");
    EXPECT_EQ(error("file\n"), "1: 'file' needs a name and a path: file NAME PATH");
    EXPECT_EQ(error("file a;b p\n"),
              "1: file name 'a;b' contains ';', which separates the names in config string "
              "2003");
    EXPECT_EQ(error("file \"\" p\n"), "1: empty file name");
    EXPECT_EQ(error("file \"a\"b p\n"),
              "1: a blank must follow the quoted file name: file NAME PATH");
    EXPECT_EQ(error("file \"a p\n"), "1: file name: missing closing quote");
    EXPECT_EQ(error("file a \"\"\n"), "1: empty file path: file NAME PATH");
}

TEST(PackInput, ExplicitFileBookkeepingIsCheckedAgainstFileLines) {
    FakeFiles files;
    files.files["p"] = {1};
    const PackInput agree = parse("string 2002 1\nstring 2003 a;b\nfile a p\nfile b p\n", &files);
    ASSERT_TRUE(agree.writer);
    EXPECT_TRUE(agree.warnings.empty());
    const PackInput disagree =
        parse("string 2002 3\nstring 2003 b;a\nfile a p\nfile b p\n", &files);
    ASSERT_TRUE(disagree.writer);
    EXPECT_EQ(warnings(disagree),
              (std::vector<std::string>{
                  "1: config string 2002 asks for 3 files but only 2 are included",
                  "2: config string 2003 does not list the names of the file lines in their "
                  "order; the launcher extracts the files under the names given here"}));
}

TEST(PackInput, NonAsciiNarrowTextIsWarnedAbout) {
    const PackInput input = parse("string 1 caf\xC3\xA9\nstring 2 \"caf\\xE9\"\n");
    ASSERT_TRUE(input.writer);
    EXPECT_EQ(input.writer->strings(), (Strings{{1, "caf\xC3\xA9"}, {2, "caf\xE9"}}));
    ASSERT_EQ(input.warnings.size(), 1u);
    EXPECT_EQ(input.warnings[0].line, 1);
}

TEST(PackInput, MalformedLines) {
    EXPECT_EQ(onlyError("string 1 a\nstrin 2 b\n"),
              "2: unknown directive 'strin' (expected string, wide, section, end, file, reserved "
              "or a # comment)");
    EXPECT_EQ(onlyError("string\n"), "1: 'string' needs an id: string ID VALUE");
    EXPECT_EQ(onlyError("wide   \n"), "1: 'wide' needs an id: wide ID VALUE");
    EXPECT_EQ(onlyError("string 12a x\n"),
              "1: bad id '12a': expected a decimal number from -2147483648 to 2147483647");
    EXPECT_EQ(onlyError("string 2147483648 x\n"),
              "1: bad id '2147483648': expected a decimal number from -2147483648 to 2147483647");
    EXPECT_EQ(onlyError("string -2147483649 x\n"),
              "1: bad id '-2147483649': expected a decimal number from -2147483648 to 2147483647");
    EXPECT_EQ(onlyError("string - x\n"),
              "1: bad id '-': expected a decimal number from -2147483648 to 2147483647");
    EXPECT_EQ(onlyError("\n\nstring 1 \"open\n"), "3: value: missing closing quote");
    EXPECT_EQ(onlyError("wide 1 \xFF\n"), "1: value: invalid UTF-8 at byte 1 of the value");
    EXPECT_EQ(onlyError("string 1 a\x01z\n"),
              "1: control character 0x01 in the line; write it as \\x01 inside a quoted value");
    EXPECT_EQ(onlyError("string 1 a\rb\n"),
              "1: control character 0x0D in the line; write it as \\x0D inside a quoted value");
    EXPECT_EQ(onlyError("reserved 1 2\n"), "1: 'reserved' needs three numbers: reserved A B C");
    EXPECT_EQ(onlyError("reserved 1 2 3 4\n"),
              "1: 'reserved' takes three numbers and nothing more");
    EXPECT_EQ(onlyError("reserved 1 2147483648 3\n"),
              "1: bad reserved value '2147483648': expected a decimal 32-bit number");
    EXPECT_EQ(onlyError("reserved 1 2 9223372036854775808\n"),
              "1: bad reserved value '9223372036854775808': expected a decimal 64-bit number");
}

TEST(PackInput, SectionErrors) {
    EXPECT_EQ(onlyError("end\n"), "1: 'end' without a section");
    EXPECT_EQ(onlyError("section de\nend x\nend\n"), "2: 'end' takes nothing behind it");
    EXPECT_EQ(onlyError("string 1 a\nsection de\n  wide 1 x\n"), "2: section 'de' has no 'end'");
    EXPECT_EQ(onlyError("section de\nsection fr\nend\n"),
              "2: a section cannot start inside another one; close the section opened at line 1 "
              "with 'end' first");
    EXPECT_EQ(onlyError("section de\nstring 1 x\nend\n"),
              "2: 'string' is not allowed inside a section; close the section opened at line 1 "
              "with 'end' first");
    EXPECT_EQ(onlyError("section de\nfile a b\nend\n"),
              "2: 'file' is not allowed inside a section; close the section opened at line 1 with "
              "'end' first");
}

TEST(PackInput, EveryMalformedLineIsReportedWithItsLine) {
    const PackInput input = parse("string 1 ok\nbogus\nstring x\nwide 2 ok\nend\n");
    EXPECT_FALSE(input.writer);
    ASSERT_EQ(input.errors.size(), 3u);
    EXPECT_EQ(input.errors[0].line, 2);
    EXPECT_EQ(input.errors[1].line, 3);
    EXPECT_EQ(input.errors[2].line, 5);
}

TEST(PackInput, ErrorFloodIsCut) {
    std::string text;
    for (int i = 0; i < 500; ++i) text += "bogus\n";
    const PackInput input = parse(text);
    ASSERT_EQ(input.errors.size(), 101u);
    EXPECT_EQ(input.errors.back().message, "too many errors; giving up");
}

TEST(PackInput, DiagnosticFormat) {
    EXPECT_EQ(pack::formatDiagnostic("in.txt", Diagnostic{3, "bad id"}), "in.txt:3: bad id");
    EXPECT_EQ(pack::formatDiagnostic("in.txt", Diagnostic{4, "hm"}, true), "in.txt:4: warning: hm");
    EXPECT_EQ(pack::formatDiagnostic("in.txt", Diagnostic{0, "whole"}), "in.txt: whole");
}

TEST(IncludedNames, SplitLikeTheLauncher) {
    using V = std::vector<std::string>;
    EXPECT_EQ(pack::splitIncludedNames("a.dll;lib\\b.jar"), (V{"a.dll", "lib\\b.jar"}));
    EXPECT_EQ(pack::splitIncludedNames(";;a;;b;"), (V{"a", "b"}));
    EXPECT_EQ(pack::splitIncludedNames(""), V{});
    EXPECT_EQ(pack::splitIncludedNames(";"), V{});
}

TEST(ConfigNumber, ReadsLikeAtoi) {
    EXPECT_EQ(pack::configNumber("12abc"), 12);
    EXPECT_EQ(pack::configNumber("abc"), 0);
    EXPECT_EQ(pack::configNumber(" \t7"), 7);
    EXPECT_EQ(pack::configNumber("-3"), -3);
    EXPECT_EQ(pack::configNumber("+4"), 4);
    EXPECT_EQ(pack::configNumber("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(pack::configNumber("-99999999999999999999"), INT32_MIN);
}

}  // namespace
