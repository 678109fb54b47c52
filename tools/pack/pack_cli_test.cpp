#include "pack_cli.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "block_writer.h"
#include "test_pe_image.h"

namespace fs = std::filesystem;

namespace {

class PackCli : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::path(testing::TempDir()) /
               ("pack_cli_" + std::to_string(::getpid()) + "_" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "in" / "data");
        pack::writeFileBytes(path("stub.exe"), pack::makePeImage(), false);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    void writeText(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
    }

    int run(std::vector<std::string> args) {
        std::ostringstream out, err;
        const int code = pack::runPack(args, out, err);
        out_ = out.str();
        err_ = err.str();
        return code;
    }

    int build(const std::string& input, const std::string& output) {
        return run({"build", "--stub", path("stub.exe"), "--input", path(input), "--output",
                    path(output)});
    }

    fs::path dir_;
    std::string out_, err_;
};

TEST_F(PackCli, UsageAndHelp) {
    EXPECT_EQ(run({}), 2);
    EXPECT_NE(err_.find("pack build --stub STUB.exe --input SERVICE.toml --output OUT.exe"),
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
    EXPECT_NE(err_.find("build needs --stub, --input and --output"), std::string::npos);
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
    for (const char* line : {"name = \"MyService\"\n", "class_path = [\"app.jar\"]\n",
                             "[messages.de]\nerror_caption = \"Fehler!\"\n",
                             "name = \"lib/a.dll\"\nsource = \"files/lib/a.dll\"\n# 9 bytes\n"}) {
        EXPECT_NE(listing.find(line), std::string::npos) << line << listing;
    }

    ASSERT_EQ(run({"extract", path("out.exe"), path("x")}), 0) << err_;
    EXPECT_EQ(pack::readFileBytes(path("x/files/lib/a.dll")),
              pack::readFileBytes(path("in/data/a.dll")));
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

    writeText("in.toml", "[service]\nname = \"MyService\"\n[java]\nmain_class = \"a.M\"\n");
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

}  // namespace
