#include "pack_cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "block_writer.h"
#include "carried_files.h"
#include "file_path.h"
#include "pe_resources.h"
#include "sha256.h"
#include "test_pe_image.h"
#include "toml_keys.h"

namespace fs = std::filesystem;

namespace {

// Several runs of the tests share one temporary folder (the Windows builds' tests run side by
// side under Wine): each run takes folders of its own.
std::string runId() {
    static const std::string id = std::to_string(std::random_device()());
    return id;
}

class PackCli : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::path(testing::TempDir()) / ("pack_cli_" + runId() + "_" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "in" / "data");
        pack::writeFileBytes(path("stub.exe"), pack::makePeImage(), false);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Names are UTF-8, as the tool takes them (also on Windows, where they may lie outside the
    // ANSI code page).
    std::string path(const std::string& name) const {
        return pack::utf8FromPath(dir_ / pack::pathFromUtf8(name));
    }

    void writeText(const std::string& name, const std::string& text) const {
        std::ofstream(pack::pathFromUtf8(path(name)), std::ios::binary) << text;
    }

    int run(std::vector<std::string> args) { return runWith(carried_, std::move(args)); }

    int runWith(const pack::CarriedFiles& carried, std::vector<std::string> args) {
        std::ostringstream out, err;
        const int code = pack::runPack(args, out, err, carried);
        out_ = out.str();
        err_ = err.str();
        return code;
    }

    int build(const std::string& input, const std::string& output) {
        return run({"build", "--stub", path("stub.exe"), "--input", path(input), "--output",
                    path(output)});
    }

    std::string read(const std::string& name) const {
        const auto bytes = pack::readFileBytes(path(name));
        return std::string(bytes.begin(), bytes.end());
    }

    fs::path dir_;
    std::string out_, err_;
    // What this tool carries in the tests: the same stub as stub.exe, two small jars.
    const std::vector<uint8_t> stub_ = pack::makePeImage();
    const std::vector<uint8_t> lumexJar_ = {'P', 'K', 3, 4, 'l', 'u', 'm', 'e', 'x'};
    const std::vector<uint8_t> parcelkitJar_ = {'P', 'K', 3, 4, 'p', 'k'};
    const pack::CarriedFiles carried_{"9.8.7", stub_, lumexJar_, parcelkitJar_};
};

TEST_F(PackCli, UsageAndHelp) {
    EXPECT_EQ(run({}), 2);
    EXPECT_NE(err_.find("pack build [--stub STUB.exe] --input SERVICE.toml --output OUT.exe"),
              std::string::npos);
    EXPECT_TRUE(out_.empty());
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_NE(out_.find("pack extract LAUNCHER.exe DIR"), std::string::npos);
    EXPECT_NE(out_.find("pack inspect --raw LAUNCHER.exe"), std::string::npos);
    EXPECT_EQ(run({"build", "--help"}), 0);
    EXPECT_NE(out_.find("The smallest description:"), std::string::npos);
    EXPECT_NE(out_.find("[launcher]  family, errors, windowed"), std::string::npos);
    EXPECT_NE(out_.find("\n  [service.restart]  on_exit, delay, max_delay, successful_run, "
                        "max_failures\n  [service.watchdog]  interval, timeout\n"),
              std::string::npos)
        << out_;
    EXPECT_NE(out_.find("pack build [--stub STUB.exe] SERVICE.toml -o OUT.exe"), std::string::npos);
    EXPECT_TRUE(err_.empty());
}

// The keys `pack build --help` lists are the keys the tool reads, table by table.
TEST_F(PackCli, BuildHelpListsEveryKeyOfTheTables) {
    ASSERT_EQ(run({"build", "--help"}), 0);
    const std::string help = out_;
    // The words of a table's lines: from its heading to the next heading or blank line.
    const auto wordsOf = [&](const std::string& heading) {
        const size_t at = help.find("\n  " + heading + " ");
        if (at == std::string::npos) return std::set<std::string>();
        const size_t end = std::min(help.find("\n  [", at + 1), help.find("\n\n", at + 1));
        std::set<std::string> words;
        std::string word;
        for (char c : help.substr(at + heading.size() + 3, end - at - heading.size() - 3)) {
            if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
                word += c;
            } else if (!word.empty()) {
                words.insert(word);
                word.clear();
            }
        }
        if (!word.empty()) words.insert(word);
        return words;
    };
    std::vector<std::pair<std::string, std::vector<std::string_view>>> tables;
    for (const pack::TableKeys& table : pack::kTableKeys) {
        tables.push_back({"[" + std::string(table.table) + "]",
                          std::vector<std::string_view>(table.keys.begin(), table.keys.end())});
    }
    tables.push_back({"[[files]]", {std::begin(pack::kFileKeys), std::end(pack::kFileKeys)}});
    std::vector<std::string_view> messages;
    for (const pack::MessageText& m : pack::messageTexts()) messages.push_back(m.key);
    tables.push_back({"[messages]", messages});
    for (const auto& [heading, keys] : tables) {
        const auto words = wordsOf(heading);
        EXPECT_FALSE(words.empty()) << heading << " is missing:\n" << help;
        for (std::string_view key : keys) {
            EXPECT_EQ(words.count(std::string(key)), 1u) << heading << " lacks " << key << "\n"
                                                         << help;
        }
    }
    for (const char* required : {"name (required)", "main_class (required)"}) {
        EXPECT_NE(help.find(required), std::string::npos) << required;
    }
}

TEST_F(PackCli, BadUsage) {
    EXPECT_EQ(run({"frobnicate"}), 2);
    EXPECT_NE(err_.find("unknown command 'frobnicate'"), std::string::npos);
    EXPECT_EQ(run({"build", "--stub", path("stub.exe")}), 2);
    EXPECT_NE(err_.find("build needs a description: pack build SERVICE.toml -o OUT.exe"),
              std::string::npos);
    EXPECT_EQ(run({"build", "--stub"}), 2);
    EXPECT_NE(err_.find("--stub needs a value"), std::string::npos);
    EXPECT_EQ(run({"build", "--bogus", "x"}), 2);
    EXPECT_EQ(run({"inspect"}), 2);
    EXPECT_EQ(run({"inspect", "a", "b"}), 2);
    EXPECT_EQ(run({"inspect", "a", "--frob"}), 2);
    EXPECT_EQ(run({"extract", "a"}), 2);
    EXPECT_NE(err_.find("extract takes a launcher and a folder"), std::string::npos);
}

// build, inspect (the same description), extract, build again: the same launcher, byte for byte.
TEST_F(PackCli, BuildInspectExtractBuildAgain) {
    writeText("in/data/a.dll", std::string("\x00\xA7payload", 9));
    writeText("in/svc.toml",
              "[service]\nname = \"MyService\"\n"
              "[java]\nmain_class = \"a.Main\"\nclass_path = [\"app.jar\"]\n"
              "[messages.de]\nerror_caption = \"Fehler!\"\n"
              "[[files]]\nname = \"lib/a.dll\"\nsource = \"data/a.dll\"\n");
    ASSERT_EQ(build("in/svc.toml", "out.exe"), 0) << err_;
    EXPECT_NE(out_.find("wrote " + path("out.exe")), std::string::npos);
    EXPECT_TRUE(err_.empty()) << err_;
    EXPECT_NE(fs::status(path("out.exe")).permissions() & fs::perms::owner_exec, fs::perms::none);

    ASSERT_EQ(run({"inspect", path("out.exe")}), 0) << err_;
    EXPECT_TRUE(err_.empty()) << err_;
    const std::string listing = out_;
    for (const char* line :
         {"name = \"MyService\"\n", "class_path = [\"app.jar\"]\n",
          "[messages.de]\nerror_caption = \"Fehler!\"\n",
          "name = \"lib/a.dll\"\nsource = \"files/lib/a.dll\"\n# 9 bytes\n",
          "# `pack extract` writes them beside it, and `pack build` then makes the same block",
          "# lumex-runtime.jar is left out: `pack build` embeds the same one"}) {
        EXPECT_NE(listing.find(line), std::string::npos) << line << listing;
    }
    EXPECT_EQ(listing.find("source = \"files/lumex-runtime.jar\""), std::string::npos) << listing;

    ASSERT_EQ(run({"extract", path("out.exe"), path("x")}), 0) << err_;
    EXPECT_EQ(pack::readFileBytes(path("x/files/lib/a.dll")),
              pack::readFileBytes(path("in/data/a.dll")));
    EXPECT_EQ(pack::readFileBytes(path("x/files/lumex-runtime.jar")), lumexJar_);
    const auto written = pack::readFileBytes(path("x/service.toml"));
    EXPECT_EQ(std::string(written.begin(), written.end()), listing);
    ASSERT_EQ(build("x/service.toml", "again.exe"), 0) << err_;
    EXPECT_EQ(pack::readFileBytes(path("again.exe")), pack::readFileBytes(path("out.exe")));
}

TEST_F(PackCli, MistakesInTheDescriptionExitWith2AndWriteNothing) {
    writeText("bad.toml",
              "[service]\nname = \"Svc\"\nstart = \"sometimes\"\n[java]\nmain_class = 5\n");
    EXPECT_EQ(build("bad.toml", "out.exe"), 2);
    EXPECT_NE(err_.find(path("bad.toml") + ":3:9: service.start: \"sometimes\" is not allowed"),
              std::string::npos)
        << err_;
    EXPECT_NE(err_.find(path("bad.toml") + ":5:14: java.main_class: expected a string"),
              std::string::npos)
        << err_;
    EXPECT_FALSE(fs::exists(path("out.exe")));
}

// What new users met on the command line: each row a mistake, its exit code and what it says.
TEST_F(PackCli, CommandLineMistakesAreNamed) {
    writeText("in.toml", "[service]\nname = \"S\"\n[java]\nmain_class = \"a.M\"\n");
    auto x64 = pack::makePeImage();
    x64[0x84] = 0x64;  // Machine: x64
    x64[0x85] = 0x86;
    pack::writeFileBytes(path("java.exe"), x64, false);
    auto console = pack::makePeImage();
    console[0x80 + 24 + 68] = 3;  // Subsystem: console
    pack::writeFileBytes(path("console.exe"), console, false);
    ASSERT_EQ(build("in.toml", "packed.exe"), 0) << err_;
    writeText("notes.txt", "hello");
    // Two files of 1.2 GB each (sparse): refused by their sizes before anything is read.
    for (const char* name : {"in/big1.bin", "in/big2.bin"}) {
        writeText(name, "");
        fs::resize_file(path(name), 1'200'000'000);
    }
    writeText("in/big.toml",
              "[service]\nname = \"S\"\n[java]\nmain_class = \"a.M\"\n"
              "[[files]]\nname = \"a.bin\"\nsource = \"big1.bin\"\n"
              "[[files]]\nname = \"b.bin\"\nsource = \"big2.bin\"\n");
    const std::string stub = path("stub.exe"), in = path("in.toml");
    // "είσοδο文" and "έξοδο文.exe": outside every ANSI code page at once.
    const std::string greek = "\u03b5\u03af\u03c3\u03bf\u03b4\u03bf\u6587",
                      greekOut = "\u03ad\u03be\u03bf\u03b4\u03bf\u6587.exe";
    fs::create_directories(pack::pathFromUtf8(path(greek)));
    writeText(greek + "/data.bin", "data");
    writeText(greek + "/in.toml",
              read("in.toml") + "[[files]]\nname = \"d.bin\"\nsource = \"data.bin\"\n");
    struct Row {
        std::vector<std::string> args;
        int code;
        std::string says;  // in standard error, or standard output for help
    };
    const Row rows[] = {
        {{"build", "--stub", stub, "--input", in, "--output", in},
         2,
         "build: --output names the same file as --input, which building would overwrite"},
        {{"build", "--stub", stub, "--input", in, "--output", path("in/../stub.exe")},
         2,
         "build: --output names the same file as --stub"},
        {{"build", "--stub", path("java.exe"), "--input", in, "--output", path("o.exe")},
         1,
         "java.exe' is no Arm64 image (machine 0x8664); --stub wants the launcher stub "
         "launcher.exe (an Arm64 Windows GUI image without a configuration block)"},
        {{"build", "--stub", path("console.exe"), "--input", in, "--output", path("o.exe")},
         1,
         "console.exe' is no Windows GUI image (subsystem 3)"},
        {{"build", "--stub", path("packed.exe"), "--input", in, "--output", path("o.exe")},
         1,
         "packed.exe' is a packed launcher already (it holds a configuration block)"},
        {{"build", "--stub", stub, "--input", path("in/big.toml"), "--output", path("o.exe")},
         2,
         "files[1].source: '" + (fs::path(path("in")) / "big2.bin").string() +
             "' has 1200000000 bytes, and with the files before it the embedded files come to "
             "2400000000; a launcher holds at most 2147483647 bytes in all"},
        {{"build", "--stub", stub, in, "-o", path("p.exe")}, 0, "pack: wrote " + path("p.exe")},
        {{"build", "--stub", stub, "-o", path("p.exe"), "--input=" + in},
         0,
         "pack: wrote " + path("p.exe")},
        {{"build", "--stub", stub, in, "--input", in, "-o", path("o.exe")},
         2,
         "build: two descriptions ('" + in + "' and '" + in + "'); give one"},
        {{"build", in, "--stub", stub, path("other.toml"), "-o", path("o.exe")},
         2,
         "build: two descriptions"},
        {{"build", "--stub", stub, in, "-o"}, 2, "build: -o needs a value"},
        {{"build", "--stub", stub, in}, 2, "build needs --output OUT.exe (or -o OUT.exe)"},
        {{"build", "--stub", stub, "-o", path("o.exe")}, 2, "build needs a description"},
        {{"build", in, "-o", path("o.exe"), "--output", path("o.exe")}, 2, "build: two outputs"},
        {{"build", in, "-x", path("o.exe")}, 2, "build: unknown argument '-x'"},
        // A folder name outside the ANSI code page (the Windows builds read such paths wide).
        {{"build", "--stub", stub, path(greek + "/in.toml"), "-o", path(greek + "/" + greekOut)},
         0,
         "pack: wrote " + path(greek + "/" + greekOut)},
        {{"inspect", "--help"}, 0, "usage: pack inspect [--raw] LAUNCHER.exe"},
        {{"extract", "-h"}, 0, "usage: pack extract LAUNCHER.exe DIR"},
        {{"inspect", path("notes.txt")},
         1,
         "notes.txt is no launcher: it is not a Windows executable (PE image)"},
        {{"extract", path("java.exe"), path("x")}, 1, "no configuration block was appended"},
    };
    for (const Row& row : rows) {
        const auto before = pack::readFileBytes(in);
        EXPECT_EQ(run(row.args), row.code) << row.says << "\n" << err_;
        const std::string& said = row.code == 0 ? out_ : err_;
        EXPECT_NE(said.find(row.says), std::string::npos) << row.says << "\n  got: " << said;
        EXPECT_EQ(pack::readFileBytes(in), before) << row.says;
        EXPECT_FALSE(fs::exists(path("o.exe"))) << row.says;
    }
}

// An output that cannot be written keeps what it held; a written one replaces the old file
// whole, and no temporary file is left behind.
TEST_F(PackCli, OutputsAreReplacedWholeOrKept) {
    writeText("in.toml", "[service]\nname = \"S\"\n[java]\nmain_class = \"a.M\"\n");
    fs::create_directories(pack::pathFromUtf8(path("out/folder.exe")));
    writeText("out/old.exe", "an earlier launcher");
    ASSERT_EQ(read("out/old.exe"), "an earlier launcher");
    struct Row {
        std::string output;
        int code;
        std::string says;
    };
    std::vector<Row> rows = {
        {"out/old.exe", 0, "pack: wrote " + path("out/old.exe")},
        {"out/folder.exe", 1, "cannot write " + path("out/folder.exe") + ": it is a folder"},
        {"out/none/new.exe", 1, "cannot write " + path("out/none/new.exe")},
    };
#ifndef _WIN32
    // A full disk: /dev/full takes no byte, and says so only when the data is flushed.
    fs::create_symlink("/dev/full", pack::pathFromUtf8(path("out/full.exe")));
    rows.push_back({"out/full.exe", 1, "cannot write " + path("out/full.exe")});
#endif
    for (const Row& row : rows) {
        const bool existed = fs::exists(pack::pathFromUtf8(path(row.output)));
        const bool folder = fs::is_directory(pack::pathFromUtf8(path(row.output)));
        EXPECT_EQ(
            run({"build", "--stub", path("stub.exe"), path("in.toml"), "-o", path(row.output)}),
            row.code)
            << row.output << err_;
        const std::string& said = row.code == 0 ? out_ : err_;
        EXPECT_NE(said.find(row.says), std::string::npos) << row.says << "\n  got: " << said;
        EXPECT_EQ(fs::exists(pack::pathFromUtf8(path(row.output))), existed) << row.output;
        EXPECT_EQ(fs::is_directory(pack::pathFromUtf8(path(row.output))), folder) << row.output;
    }
    EXPECT_EQ(read("out/old.exe").substr(0, 2), "MZ");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(pack::pathFromUtf8(path("out")))) {
        left.push_back(pack::utf8FromPath(entry.path().filename()));
    }
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected = {"folder.exe", "old.exe"};
#ifndef _WIN32
    expected.insert(expected.begin() + 1, "full.exe");
#endif
    EXPECT_EQ(left, expected);

#ifndef _WIN32
    // `pack extract` writes through the same writer: a full disk is no "wrote".
    ASSERT_EQ(build("in.toml", "x.exe"), 0) << err_;
    fs::create_directories(pack::pathFromUtf8(path("x")));
    fs::create_symlink("/dev/full", pack::pathFromUtf8(path("x/service.toml")));
    EXPECT_EQ(run({"extract", path("x.exe"), path("x")}), 1);
    EXPECT_NE(err_.find("cannot write " + path("x/service.toml")), std::string::npos) << err_;
    EXPECT_EQ(out_.find("wrote"), std::string::npos) << out_;
#endif
}

TEST_F(PackCli, StubWithSignatureIsRefused) {
    pack::writeFileBytes(path("signed.exe"), pack::makePeImage({0x80, 2, 0xF0, 0x200, 32}), false);
    writeText("in.toml", "[service]\nname = \"S\"\n[java]\nmain_class = \"a.M\"\n");
    EXPECT_EQ(run({"build", "--stub=" + path("signed.exe"), "--input=" + path("in.toml"),
                   "--output=" + path("out.exe")}),
              1);
    EXPECT_NE(err_.find("32 bytes behind its last section"), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists(path("out.exe")));
}

TEST_F(PackCli, MissingFiles) {
    EXPECT_EQ(build("nope.toml", "out.exe"), 1);
    EXPECT_NE(err_.find("cannot read '" + path("nope.toml") + "'"), std::string::npos) << err_;
    EXPECT_EQ(run({"inspect", path("nope.exe")}), 1);
    EXPECT_NE(err_.find("cannot read"), std::string::npos);
}

// A block the tool did not write, and a damaged one.
TEST_F(PackCli, InspectOfOtherAndDamagedLaunchers) {
    pack::BlockWriter w;
    w.string(101, "Old").string(107, "3").string(122, "a.M").string(128, "Y");
    pack::writeFileBytes(path("old.exe"), pack::appendBlock(pack::makePeImage(), w.build()), false);
    EXPECT_EQ(run({"inspect", path("old.exe")}), 0);
    EXPECT_NE(out_.find("search = [\"registry\"]\n"), std::string::npos) << out_;
    EXPECT_NE(out_.find("# 107 = \"3\"\n"), std::string::npos) << out_;
    EXPECT_NE(err_.find("config string 107: \"3\" becomes (none)"), std::string::npos) << err_;
    EXPECT_NE(err_.find("config string 2001: (none) becomes \"l\""), std::string::npos) << err_;
    EXPECT_NE(err_.find("the default-language messages differ"), std::string::npos) << err_;
    // Built before the restart settings: it restarts nothing and watches nothing, and so does
    // the launcher its description builds.
    EXPECT_NE(out_.find("[service.restart]\non_exit = \"never\"\n"), std::string::npos) << out_;
    EXPECT_NE(out_.find("[service.watchdog]\ninterval = 0\n"), std::string::npos) << out_;
    EXPECT_NE(err_.find("config string 3013: (none) becomes \"never\""), std::string::npos) << err_;
    EXPECT_NE(err_.find("config string 3018: (none) becomes \"0\""), std::string::npos) << err_;

    writeText(
        "in.toml",
        "[service]\nname = \"MyService\"\n[java]\nmain_class = \"a.M\"\nruntime_jar = false\n");
    ASSERT_EQ(build("in.toml", "out.exe"), 0);
    auto bytes = pack::readFileBytes(path("out.exe"));
    bytes.resize(bytes.size() - 100);
    pack::writeFileBytes(path("cut.exe"), bytes, false);
    EXPECT_EQ(run({"inspect", path("cut.exe")}), 1);
    EXPECT_NE(err_.find("Internal Error: readWString (wide string)"), std::string::npos) << err_;
    EXPECT_EQ(run({"inspect", "--raw", path("cut.exe")}), 1);
    EXPECT_NE(out_.find("error: Internal Error: readWString at offset "), std::string::npos)
        << out_;
    EXPECT_EQ(run({"inspect", path("stub.exe")}), 1);
    EXPECT_NE(err_.find("no configuration block was appended"), std::string::npos) << err_;
}

TEST_F(PackCli, VersionNamesWhatTheToolCarries) {
    EXPECT_EQ(run({"--version"}), 0);
    EXPECT_TRUE(out_.starts_with("pack 9.8.7\n")) << out_;
    for (const auto& [name, bytes] :
         {std::pair{"launcher.exe (stub)", stub_}, std::pair{"lumex-runtime.jar", lumexJar_},
          std::pair{"parcelkit-runtime.jar", parcelkitJar_}}) {
        const std::string line = "carries " + std::string(name) + ": " +
                                 std::to_string(bytes.size()) + " bytes, sha256 " +
                                 pack::sha256Hex(bytes) + "\n";
        EXPECT_NE(out_.find(line), std::string::npos) << line << out_;
    }
}

// Without --stub the carried stub; a description that names no runtime jar gets its family's,
// as the last file to extract: the same launcher as a description that names it there.
TEST_F(PackCli, CarriedStubAndRuntimeJar) {
    writeText("in/kept.bin", "kept");
    writeText("in/lumex-runtime.jar", std::string(lumexJar_.begin(), lumexJar_.end()));
    const std::string head = "[service]\nname = \"S\"\n[java]\nmain_class = \"a.M\"\n";
    const std::string kept =
        "[[files]]\nname = \"k.bin\"\nsource = \"kept.bin\"\nextract = false\n";
    writeText("in/plain.toml", head + kept);
    writeText(
        "in/named.toml",
        head + kept + "[[files]]\nname = \"lumex-runtime.jar\"\nsource = \"lumex-runtime.jar\"\n");
    ASSERT_EQ(run({"build", "--input", path("in/plain.toml"), "--output", path("carried.exe")}), 0)
        << err_;
    EXPECT_NE(out_.find("embedded lumex-runtime.jar 9.8.7 (9 bytes;"), std::string::npos) << out_;
    ASSERT_EQ(build("in/plain.toml", "given.exe"), 0) << err_;
    ASSERT_EQ(build("in/named.toml", "named.exe"), 0) << err_;
    EXPECT_EQ(out_.find("embedded"), std::string::npos) << out_;
    EXPECT_EQ(read("carried.exe"), read("given.exe"));
    EXPECT_EQ(read("carried.exe"), read("named.exe"));
    ASSERT_EQ(run({"inspect", "--raw", path("carried.exe")}), 0);
    EXPECT_NE(out_.find("string 2003 lumex-runtime.jar;k.bin\n"), std::string::npos) << out_;

    struct Row {
        std::string java;  // lines of [java] and what follows
        std::string jar;   // the runtime jar embedded, or ""
    };
    const Row rows[] = {
        {"[launcher]\nfamily = \"parcelkit\"\n", "parcelkit-runtime.jar"},
        {"runtime_jar = true\n", "lumex-runtime.jar"},
        {"runtime_jar = false\n", ""},
        {"class_path = [\"app.jar\", \"lib/LUMEX-Runtime.JAR\"]\n", ""},
        {"module_path = [{ jar = \"m\\\\parcelkit-runtime.jar\" }]\n", ""},
        {"[[files]]\nname = \"x/parcelkit-runtime.jar\"\nsource = \"kept.bin\"\n", ""},
    };
    for (const Row& row : rows) {
        writeText("in/row.toml", head + row.java);
        ASSERT_EQ(run({"build", "--input", path("in/row.toml"), "--output", path("row.exe")}), 0)
            << row.java << err_;
        ASSERT_EQ(run({"inspect", "--raw", path("row.exe")}), 0);
        const bool lumex = out_.find("string 2003 lumex-runtime.jar\n") != std::string::npos;
        const bool parcelkit =
            out_.find("string 2003 parcelkit-runtime.jar\n") != std::string::npos;
        EXPECT_EQ(lumex, row.jar == "lumex-runtime.jar") << row.java << out_;
        EXPECT_EQ(parcelkit, row.jar == "parcelkit-runtime.jar") << row.java << out_;
        // Extracted and built again: the same launcher, with or without a runtime jar.
        fs::remove_all(path("x"));
        ASSERT_EQ(run({"extract", path("row.exe"), path("x")}), 0) << err_;
        ASSERT_EQ(build("x/service.toml", "again.exe"), 0) << row.java << read("x/service.toml");
        EXPECT_EQ(read("again.exe"), read("row.exe")) << row.java << read("x/service.toml");
    }

    const pack::CarriedFiles empty{"1", {}, {}, {}};
    EXPECT_EQ(
        runWith(empty, {"build", "--input", path("in/named.toml"), "--output", path("e.exe")}), 1);
    EXPECT_NE(err_.find("this tool carries no stub; name one with --stub"), std::string::npos);
    EXPECT_EQ(runWith(empty, {"build", "--stub", path("stub.exe"), "--input", path("in/plain.toml"),
                              "--output", path("e.exe")}),
              1);
    EXPECT_NE(err_.find("carries no lumex-runtime.jar"), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists(path("e.exe")));
}

// What `pack inspect` prints builds the same launcher again when the tool would embed the same
// runtime jar; its first lines say when `pack extract` is needed for the files it names.
TEST_F(PackCli, InspectPrintsWhatBuildsTheSameLauncher) {
    writeText("in/data/a.bin", "data");
    const std::string head = "[service]\nname = \"S\"\n[java]\nmain_class = \"a.M\"\n";
    const std::string file = "[[files]]\nname = \"a.bin\"\nsource = \"data/a.bin\"\n";
    const std::string sameBlock = "`pack build` makes the same block from it.\n";
    const std::string extractFirst = "# `pack extract` writes them beside it";
    const std::string leftOut = "# lumex-runtime.jar is left out";
    const pack::CarriedFiles newerJar{"9.9.0", stub_, parcelkitJar_, parcelkitJar_};
    struct Row {
        std::string toml;
        const pack::CarriedFiles* inspectedBy;
        std::vector<std::string> says, saysNot;
    };
    const Row rows[] = {
        {head,
         &carried_,
         {sameBlock, leftOut},
         {extractFirst, "[[files]]", "runtime_jar", "[service.restart]", "[service.watchdog]"}},
        {head + "[service.restart]\non_exit = \"never\"\nmax_failures = 2\n"
                "[service.watchdog]\ninterval = 0\n",
         &carried_,
         {sameBlock, "[service.restart]\non_exit = \"never\"\nmax_failures = 2\n",
          "[service.watchdog]\ninterval = 0\n"},
         {}},
        {head + "[service.restart]\non_exit = \"always\"\n[service.watchdog]\ninterval = 30\n",
         &carried_,
         {sameBlock, "[service.restart]\non_exit = \"always\"\n",
          "[service.watchdog]\ninterval = 30\n"},
         {"timeout"}},
        {head + "[launcher]\nfamily = \"parcelkit\"\n",
         &carried_,
         {sameBlock, "# parcelkit-runtime.jar is left out"},
         {"[[files]]"}},
        {head + "runtime_jar = false\n", &carried_, {sameBlock, "runtime_jar = false"}, {leftOut}},
        {head + file, &carried_, {extractFirst, leftOut, "name = \"a.bin\""}, {sameBlock}},
        // Another version of the tool carries another jar: the launcher's own one is listed.
        {head, &newerJar, {extractFirst, "name = \"lumex-runtime.jar\""}, {leftOut}},
    };
    for (const Row& row : rows) {
        writeText("in/row.toml", row.toml);
        ASSERT_EQ(
            run({"build", "--stub", path("stub.exe"), path("in/row.toml"), "-o", path("row.exe")}),
            0)
            << row.toml << err_;
        ASSERT_EQ(runWith(*row.inspectedBy, {"inspect", path("row.exe")}), 0) << err_;
        EXPECT_TRUE(err_.empty()) << err_;
        const std::string printed = out_;
        for (const std::string& text : row.says) {
            EXPECT_NE(printed.find(text), std::string::npos) << text << "\n" << printed;
        }
        for (const std::string& text : row.saysNot) {
            EXPECT_EQ(printed.find(text), std::string::npos) << text << "\n" << printed;
        }
        if (printed.find(sameBlock) == std::string::npos) continue;
        writeText("in/printed.toml", printed);
        ASSERT_EQ(run({"build", "--stub", path("stub.exe"), path("in/printed.toml"), "-o",
                       path("again.exe")}),
                  0)
            << printed << err_;
        EXPECT_EQ(read("again.exe"), read("row.exe")) << printed;
    }
}

// The same description with the same files makes the same launcher in any folder: the tool
// writes no time stamp (the resource directories' stamps stay 0) and no path of its own.
TEST_F(PackCli, SameSourcesMakeTheSameLauncherAnywhere) {
    pack::IconImage image{16, 16, 0, 1, 32, std::vector<uint8_t>(40 + 16 * 16 * 4, 0x5A)};
    const auto icon = pack::icoFileBytes({image});
    for (const std::string folder : {"one", "two/deeper"}) {
        fs::create_directories(pack::pathFromUtf8(path(folder + "/data")));
        writeText(folder + "/data/a.bin", "payload");
        pack::writeFileBytes(path(folder + "/app.ico"), icon, false);
        writeText(folder + "/svc.toml",
                  "[service]\nname = \"S\"\n[java]\nmain_class = \"a.M\"\n"
                  "[launcher]\nicon = \"app.ico\"\n[version]\nproduct_version = \"1.2\"\n"
                  "[[files]]\nname = \"a.bin\"\nsource = \"data/a.bin\"\n");
        ASSERT_EQ(run({"build", path(folder + "/svc.toml"), "-o", path(folder + "/out.exe")}), 0)
            << err_;
    }
    const std::string one = read("one/out.exe");
    EXPECT_EQ(read("two/deeper/out.exe"), one);
    // The resource section follows the stub's sections; each directory's stamp (bytes 4 to 8)
    // is 0, the root's first.
    const size_t root = stub_.size();
    ASSERT_GT(one.size(), root + 8);
    EXPECT_EQ(one.substr(root + 4, 4), std::string(4, '\0'));
}

// The stub this build of the tool carries is the stub file it was built with.
TEST_F(PackCli, TheRealCarriedStubIsTheBuiltStub) {
    const auto stub = pack::readFileBytes(PACK_CARRIED_STUB_FILE);
    ASSERT_EQ(runWith(pack::carriedFiles(), {"--version"}), 0);
    EXPECT_NE(out_.find("carries launcher.exe (stub): " + std::to_string(stub.size()) +
                        " bytes, sha256 " + pack::sha256Hex(stub) + "\n"),
              std::string::npos)
        << out_;
    writeText("in.toml", "[service]\nname = \"S\"\n[java]\nmain_class = \"a.M\"\n");
    ASSERT_EQ(runWith(pack::carriedFiles(),
                      {"build", "--input", path("in.toml"), "--output", path("carried.exe")}),
              0)
        << err_;
    ASSERT_EQ(runWith(pack::carriedFiles(), {"build", "--stub", PACK_CARRIED_STUB_FILE, "--input",
                                             path("in.toml"), "--output", path("given.exe")}),
              0)
        << err_;
    EXPECT_EQ(read("carried.exe"), read("given.exe"));
    // The launcher is that stub with its resource section (the event messages) added.
    std::vector<uint8_t> withSection;
    std::string problem;
    ASSERT_TRUE(pack::addResourceSection(stub, {}, withSection, problem)) << problem;
    EXPECT_TRUE(read("carried.exe").substr(0, withSection.size()) ==
                std::string(withSection.begin(), withSection.end()))
        << "the launcher does not begin with the stub and its resource section";
}

}  // namespace
