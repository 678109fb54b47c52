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

TEST_F(PackCli, UsageWithoutArguments) {
    EXPECT_EQ(run({}), 2);
    EXPECT_NE(err_.find("pack build --stub STUB.exe --input FILE.txt --output OUT.exe"),
              std::string::npos);
    EXPECT_TRUE(out_.empty());
}

TEST_F(PackCli, Help) {
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_NE(out_.find("string ID VALUE"), std::string::npos);
    EXPECT_NE(out_.find("pack inspect LAUNCHER.exe"), std::string::npos);
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
}

TEST_F(PackCli, BuildThenInspectThenBuildAgain) {
    writeText("in/data/a.dll", std::string("\x00\xA7payload", 9));
    writeText("in/pack.txt",
              "string 101 MyService\n"
              "wide 1000 Fehler\n"
              "section de\n"
              "wide 1000 Fehler!\n"
              "end\n"
              "file lib\\a.dll data/a.dll\n");
    ASSERT_EQ(build("in/pack.txt", "out.exe"), 0) << err_;
    EXPECT_NE(out_.find("wrote " + path("out.exe")), std::string::npos);
    EXPECT_TRUE(err_.empty()) << err_;
    EXPECT_NE(fs::status(path("out.exe")).permissions() & fs::perms::owner_exec, fs::perms::none);

    ASSERT_EQ(run({"inspect", path("out.exe"), "--extract", path("files")}), 0) << err_;
    const std::string listing = out_;
    EXPECT_NE(listing.find("string 2003 lib\\a.dll\n"), std::string::npos) << listing;
    const std::string extracted = path("files/01_lib_a.dll");
    EXPECT_NE(listing.find("file lib\\a.dll " + extracted + "\n"), std::string::npos) << listing;
    EXPECT_EQ(pack::readFileBytes(extracted), pack::readFileBytes(path("in/data/a.dll")));

    writeText("again.txt", listing);
    ASSERT_EQ(build("again.txt", "again.exe"), 0) << err_;
    EXPECT_EQ(pack::readFileBytes(path("again.exe")), pack::readFileBytes(path("out.exe")));
}

TEST_F(PackCli, MalformedInputLinesExitWith2) {
    writeText("bad.txt", "string 1 ok\nstring x y\nwide 2 \"open\n");
    EXPECT_EQ(build("bad.txt", "out.exe"), 2);
    EXPECT_NE(err_.find(path("bad.txt") + ":2: bad id 'x'"), std::string::npos) << err_;
    EXPECT_NE(err_.find(path("bad.txt") + ":3: value: missing closing quote"), std::string::npos);
    EXPECT_FALSE(fs::exists(path("out.exe")));
}

TEST_F(PackCli, WarningsDoNotStopTheBuild) {
    writeText("in/x", "x");
    writeText("in/warn.txt", "file a\\b\\c x\n");
    EXPECT_EQ(build("in/warn.txt", "out.exe"), 0);
    EXPECT_NE(err_.find(path("in/warn.txt") + ":1: warning: file name 'a\\b\\c'"),
              std::string::npos)
        << err_;
}

TEST_F(PackCli, StubWithSignatureIsRefused) {
    pack::writeFileBytes(path("signed.exe"), pack::makePeImage({0x80, 2, 0xF0, 0x200, 32}), false);
    writeText("in.txt", "string 1 a\n");
    EXPECT_EQ(run({"build", "--stub=" + path("signed.exe"), "--input=" + path("in.txt"),
                   "--output=" + path("out.exe")}),
              1);
    EXPECT_NE(err_.find("32 bytes behind its last section"), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists(path("out.exe")));
}

TEST_F(PackCli, MissingFiles) {
    EXPECT_EQ(build("nope.txt", "out.exe"), 1);
    EXPECT_NE(err_.find("cannot read '" + path("nope.txt") + "'"), std::string::npos) << err_;
    writeText("in.txt", "file a.dll missing.dll\n");
    EXPECT_EQ(build("in.txt", "out.exe"), 2);
    EXPECT_NE(err_.find(path("in.txt") + ":1: cannot read '" + path("missing.dll") + "'"),
              std::string::npos)
        << err_;
    EXPECT_EQ(run({"inspect", path("nope.exe")}), 1);
    EXPECT_NE(err_.find("cannot read"), std::string::npos);
}

TEST_F(PackCli, InspectOfADamagedLauncherExitsWith1) {
    writeText("in.txt", "string 101 MyService\n");
    ASSERT_EQ(build("in.txt", "out.exe"), 0);
    auto bytes = pack::readFileBytes(path("out.exe"));
    bytes.resize(bytes.size() - 8 - 3);  // the two empty counts and 3 bytes of "MyService"
    pack::writeFileBytes(path("cut.exe"), bytes, false);
    EXPECT_EQ(run({"inspect", path("cut.exe")}), 1);
    EXPECT_NE(out_.find("error: Internal Error: readString at offset "), std::string::npos) << out_;
    EXPECT_EQ(run({"inspect", path("stub.exe")}), 1);
    EXPECT_NE(out_.find("error: Internal Error: readInt"), std::string::npos) << out_;
}

}  // namespace
