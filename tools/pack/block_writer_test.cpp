#include "block_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

#include "config/config_block.h"
#include "test_pe_image.h"

using launcher::BlockReader;
using launcher::MemorySource;

namespace {

int64_t get64(const std::vector<uint8_t>& b, size_t at) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | b[at + static_cast<size_t>(i)];
    return static_cast<int64_t>(v);
}

struct ReadBack {
    launcher::ConfigStrings strings;
    uint32_t blockEnd = 0;
};

ReadBack readBack(const std::vector<uint8_t>& image) {
    MemorySource source(image);
    ReadBack out;
    BlockReader first(source);
    EXPECT_TRUE(launcher::seekConfigBlock(first) &&
                launcher::readConfigStrings(first, out.strings));
    BlockReader second(source);
    launcher::LocalizedStrings localized;
    EXPECT_TRUE(launcher::seekConfigBlock(second) &&
                launcher::readConfigBlockTables(second, "en", localized, out.blockEnd));
    return out;
}

TEST(PeImage, LastSectionEndsTheImage) {
    for (uint16_t sections : {1, 2, 5}) {
        const auto image = pack::makePeImage({0x40, sections, 0xF0, 0x400, 0});
        EXPECT_EQ(pack::blockOffset(image), static_cast<int64_t>(image.size()));
    }
    const auto withTail = pack::makePeImage({0x80, 2, 0xE0, 0x200, 24});
    EXPECT_EQ(pack::blockOffset(withTail), static_cast<int64_t>(withTail.size()) - 24);
}

TEST(BlockWriter, FilesKeepConfigStrings2002And2003InStep) {
    pack::BlockWriter writer;
    writer.string(101, "svc").file({"a.dll", {1, 2}}).file({"lib\\b.jar", {3}});
    const auto back = readBack(pack::appendBlock(pack::makePeImage(), writer.build()));
    EXPECT_EQ(back.strings.at(101), "svc");
    EXPECT_EQ(back.strings.at(2002), "2");
    EXPECT_EQ(back.strings.at(2003), "a.dll;lib\\b.jar");
}

TEST(BlockWriter, ExplicitBookkeepingWins) {
    pack::BlockWriter writer;
    writer.string(2002, "1").file({"a.dll", {1}}).file({"b.dll", {2}});
    const auto back = readBack(pack::appendBlock(pack::makePeImage(), writer.build()));
    EXPECT_EQ(back.strings.at(2002), "1");
    EXPECT_EQ(back.strings.at(2003), "a.dll;b.dll");

    pack::BlockWriter named;
    named.string(2003, "x;y").file({"a.dll", {1}});
    const auto backNamed = readBack(pack::appendBlock(pack::makePeImage(), named.build()));
    EXPECT_EQ(backNamed.strings.at(2002), "1");
    EXPECT_EQ(backNamed.strings.at(2003), "x;y");
}

TEST(BlockWriter, NoFilesNoBookkeeping) {
    pack::BlockWriter writer;
    writer.string(1, "a");
    const auto back = readBack(pack::appendBlock(pack::makePeImage(), writer.build()));
    EXPECT_EQ(back.strings.size(), 1u);
    EXPECT_EQ(back.strings.count(2002), 0u);
}

TEST(BlockWriter, IncludedFilesFollowTheTablesXoredWithA7) {
    pack::BlockWriter writer;
    writer.wide(1000, u"Error").file({"a.bin", {0x00, 0xA7, 0x41, 0xFF}}).file({"empty", {}});
    const auto stub = pack::makePeImage();
    const auto image = pack::appendBlock(stub, writer.build());
    const auto back = readBack(image);
    ASSERT_GT(back.blockEnd, stub.size());
    const size_t at = back.blockEnd;
    ASSERT_EQ(image.size(), at + 8 + 4 + 8);
    EXPECT_EQ(get64(image, at), 4);
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + at + 8, image.begin() + at + 12),
              (std::vector<uint8_t>{0xA7, 0x00, 0xE6, 0x58}));
    EXPECT_EQ(get64(image, at + 12), 0);
}

TEST(BlockWriter, HeaderLayout) {
    pack::BlockWriter writer;
    writer.reserved(7, -1, 0x0102030405060708);
    const auto block = writer.build();
    // magic, three reserved values, three empty counts
    ASSERT_EQ(block.size(), 4u + 4 + 4 + 8 + 3 * 4);
    EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + 4),
              (std::vector<uint8_t>{0xD5, 0x13, 0xE4, 0xE8}));
    EXPECT_EQ(block[4], 7);
    EXPECT_EQ(block[8], 0xFF);
    EXPECT_EQ(get64(block, 12), 0x0102030405060708);
}

TEST(AppendBlock, LandsWhereTheLauncherLooks) {
    const auto stub = pack::makePeImage({0x100, 3, 0xF0, 0x200, 0});
    pack::BlockWriter writer;
    writer.string(101, "svc");
    const auto image = pack::appendBlock(stub, writer.build());
    EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + static_cast<long>(stub.size())),
              stub);
    MemorySource source(image);
    BlockReader reader(source);
    ASSERT_TRUE(launcher::seekConfigBlock(reader));
    EXPECT_EQ(reader.position(), stub.size());
}

TEST(AppendBlock, RefusesBytesBehindTheLastSection) {
    const auto stub = pack::makePeImage({0x80, 2, 0xF0, 0x200, 16});
    try {
        pack::appendBlock(stub, pack::BlockWriter().build());
        FAIL() << "a stub with a signature behind its last section was accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("16 bytes behind its last section"), std::string::npos)
            << e.what();
    }
}

TEST(AppendBlock, RefusesWhatIsNoPeImage) {
    EXPECT_THROW(pack::appendBlock(std::vector<uint8_t>(10, 0), {}), std::runtime_error);
    auto bad = pack::makePeImage();
    bad[0x3C] = 0xF0;  // e_lfanew far behind the end
    bad[0x3D] = 0xFF;
    EXPECT_THROW(pack::appendBlock(bad, {}), std::runtime_error);
}

// A file is written whole or not at all: a write that fails leaves the earlier file as it was
// and no temporary file beside it.
TEST(WriteFileBytes, WholeOrNotAtAll) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(testing::TempDir()) /
                         ("write_file_bytes_" + std::to_string(std::random_device()()));
    fs::create_directories(dir / "folder");
    const std::string file = (dir / "file.bin").string();
    pack::writeFileBytes(file, {1, 2, 3}, false);
    pack::writeFileBytes(file, {4, 5}, true);
    EXPECT_EQ(pack::readFileBytes(file), (std::vector<uint8_t>{4, 5}));
    EXPECT_THROW(pack::writeFileBytes((dir / "folder").string(), {1}, false), std::runtime_error);
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
#ifndef _WIN32
    // /dev/full fails every write, which a small file shows only when it is flushed.
    EXPECT_THROW(pack::writeFileBytes("/dev/full", {1, 2, 3}, false), std::runtime_error);
#endif
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) ++entries;
    EXPECT_EQ(entries, 2u);  // file.bin and the folder
    fs::remove_all(dir);
}

}  // namespace
