#include "pack_cli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "block_writer.h"
#include "carried_files.h"
#include "sha256.h"
#include "test_pe_image.h"

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

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    void writeText(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
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
    EXPECT_TRUE(err_.empty());
}

TEST_F(PackCli, BadUsage) {
    EXPECT_EQ(run({"frobnicate"}), 2);
    EXPECT_NE(err_.find("unknown command 'frobnicate'"), std::string::npos);
    EXPECT_EQ(run({"build", "--stub", path("stub.exe")}), 2);
    EXPECT_NE(err_.find("build needs --input and --output"), std::string::npos);
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
          "name = \"lumex-runtime.jar\"\nsource = \"files/lumex-runtime.jar\"\n"}) {
        EXPECT_NE(listing.find(line), std::string::npos) << line << listing;
    }

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
    EXPECT_EQ(read("carried.exe").substr(0, stub.size()), std::string(stub.begin(), stub.end()));
}

}  // namespace
