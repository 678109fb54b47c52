#include "config/config_block.h"

#include <gtest/gtest.h>

#include "block_writer.h"
#include "common/log_host.h"
#include "test_pe_image.h"

using launcher::BlockReader;
using launcher::MemorySource;
using launcher::ReadFailure;

namespace {

// A small image whose first section lies further back in the file than the last one: the last
// header counts. The file ends where the last header's section ends (0x300).
std::vector<uint8_t> tinyImage() {
    pack::PeImageShape shape;
    shape.sectionSize = 0x100;
    shape.reverseSections = true;
    auto bytes = pack::makePeImage(shape);
    bytes.resize(0x300);
    return bytes;
}

std::vector<uint8_t> image(const pack::BlockWriter& writer) {
    auto bytes = tinyImage();
    auto block = writer.build();
    bytes.insert(bytes.end(), block.begin(), block.end());
    return bytes;
}

struct Parsed {
    bool ok = false;
    ReadFailure failure = ReadFailure::None;
    launcher::ConfigStrings strings;
    launcher::LocalizedStrings localized;
    uint32_t blockEnd = 0;
};

// The launcher's way: one reader, the narrow strings, then the rest from where they end.
Parsed parseInOnePass(MemorySource& source, std::string_view language) {
    Parsed p;
    BlockReader reader(source);
    p.ok = launcher::seekConfigBlock(reader) && launcher::readConfigStrings(reader, p.strings) &&
           launcher::readLocalizedTables(reader, language, p.localized, p.blockEnd);
    p.failure = reader.failure();
    return p;
}

// Two readings from the start (as the packing tool reads); the one pass must give the same.
Parsed parse(std::vector<uint8_t> bytes, std::string_view language = "en") {
    MemorySource source(std::move(bytes));
    const Parsed onePass = parseInOnePass(source, language);
    Parsed p;
    BlockReader first(source);
    p.ok = launcher::seekConfigBlock(first) && launcher::readConfigStrings(first, p.strings);
    if (p.ok) {
        BlockReader second(source);
        p.ok = launcher::seekConfigBlock(second) &&
               launcher::readConfigBlockTables(second, language, p.localized, p.blockEnd);
        p.failure = second.failure();
    } else {
        p.failure = first.failure();
    }
    EXPECT_EQ(onePass.ok, p.ok);
    EXPECT_EQ(onePass.failure, p.failure);
    EXPECT_EQ(onePass.strings, p.strings);
    EXPECT_EQ(onePass.localized, p.localized);
    EXPECT_EQ(onePass.blockEnd, p.blockEnd);
    return p;
}

}  // namespace

TEST(ConfigBlock, LocatesTheBlockBehindTheLastSectionHeader) {
    pack::BlockWriter w;
    w.string(101, "MySvc").wide(1000, u"Caption");
    const auto p = parse(image(w));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.strings.at(101), "MySvc");
    EXPECT_EQ(p.localized.at(1000), L"Caption");
    EXPECT_EQ(p.blockEnd, 0x300u + w.build().size());
    EXPECT_EQ(pack::blockOffset(tinyImage()), 0x300);
}

TEST(ConfigBlock, EmptyTablesAreFine) {
    const auto p = parse(image(pack::BlockWriter()));
    ASSERT_TRUE(p.ok);
    EXPECT_TRUE(p.strings.empty());
    EXPECT_TRUE(p.localized.empty());
}

TEST(ConfigBlock, RepeatedIdKeepsTheLaterString) {
    pack::BlockWriter w;
    w.string(7, "first").string(7, "second").string(8, std::string("a\0b", 3));
    const auto p = parse(image(w));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.strings.at(7), "second");
    EXPECT_EQ(p.strings.at(8).size(), 3u);
}

TEST(ConfigBlock, BigEndianMagicIsRejected) {
    pack::BlockWriter w;
    w.magic(0xD513E4E8u);
    const auto p = parse(image(w));
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.failure, ReadFailure::Magic);
    EXPECT_EQ(launcher::readFailureText(p.failure), L"Internal Error: magic");
}

TEST(ConfigBlock, StubWithoutBlockFailsAtTheFirstInteger) {
    (void)launcher::takeLogLines();
    MemorySource source(tinyImage());
    BlockReader reader(source);
    launcher::ConfigStrings strings;
    EXPECT_TRUE(launcher::seekConfigBlock(reader));
    EXPECT_FALSE(launcher::readConfigStrings(reader, strings));
    EXPECT_EQ(reader.failure(), ReadFailure::ReadInt);
    EXPECT_EQ(reader.bytesRead(), 0u);
    launcher::logReadFailure(reader);
    EXPECT_EQ(launcher::takeLogLines(), std::vector<std::wstring>{L"error 0 0\n"});
    EXPECT_EQ(launcher::readFailureText(reader.failure()), L"Internal Error: readInt");
}

TEST(ConfigBlock, TruncationAtEveryPointFailsCleanly) {
    pack::BlockWriter w;
    w.string(101, "Service").wide(1009, u"Failed {0}").section({"de", {{1009, u"Fehler {0}"}}});
    const auto full = image(w);
    for (size_t cut = 0x300; cut < full.size(); ++cut) {
        const auto p = parse(std::vector<uint8_t>(full.begin(), full.begin() + cut));
        EXPECT_FALSE(p.ok) << "cut at " << cut;
        EXPECT_NE(p.failure, ReadFailure::None) << "cut at " << cut;
        EXPECT_NE(p.failure, ReadFailure::Magic) << "cut at " << cut;
    }
}

TEST(ConfigBlock, ShortValuesNameTheirReader) {
    // 3 bytes of a 4-byte string length, then a string shorter than its length.
    auto bytes = tinyImage();
    pack::BlockWriter w;
    w.string(1, "abcdef");
    auto block = w.build();
    block.resize(block.size() - 10);  // N2 and N3, then two bytes of the string
    bytes.insert(bytes.end(), block.begin(), block.end());
    EXPECT_EQ(parse(bytes).failure, ReadFailure::ReadString);

    pack::BlockWriter w2;
    w2.wide(1, u"abc");
    auto block2 = w2.build();
    block2.resize(block2.size() - 5);  // N3, then one byte of the string
    auto bytes2 = tinyImage();
    bytes2.insert(bytes2.end(), block2.begin(), block2.end());
    EXPECT_EQ(parse(bytes2).failure, ReadFailure::ReadWString);

    // The 64-bit reserved value cut short.
    auto bytes3 = tinyImage();
    const auto block3 = pack::BlockWriter().build();
    bytes3.insert(bytes3.end(), block3.begin(), block3.begin() + 16);
    EXPECT_EQ(parse(bytes3).failure, ReadFailure::ReadLong);
}

TEST(ConfigBlock, HugeOrNegativeLengthsAreRefusedBeforeAllocating) {
    for (uint32_t length : {0x7FFFFFF0u, 0xFFFFFFFFu, 0x80000000u}) {
        pack::BlockWriter w;
        auto bytes = image(w);
        // Replace N1 = 0 by one entry whose string length is hostile.
        bytes.resize(bytes.size() - 12);
        for (uint32_t v : {1u, 5u, length}) {
            for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(v >> (8 * i)));
        }
        EXPECT_EQ(parse(bytes).failure, ReadFailure::ReadString) << length;
    }
}

TEST(ConfigBlock, OddWideLengthIsRefused) {
    auto bytes = image(pack::BlockWriter());
    bytes.resize(bytes.size() - 8);  // drop N2 and N3
    for (uint32_t v : {1u, 9u, 3u}) {
        for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(v >> (8 * i)));
    }
    bytes.insert(bytes.end(), {'a', 0, 'b', 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(parse(bytes).failure, ReadFailure::ReadWString);
}

TEST(ConfigBlock, HostileHeaderOffsetsFailWithoutCrashing) {
    for (uint32_t lfanew : {0x7FFFFFFFu, 0xFFFFFFF0u, 0x3Cu}) {
        auto bytes = tinyImage();
        for (int i = 0; i < 4; ++i) bytes[0x3C + i] = uint8_t(lfanew >> (8 * i));
        EXPECT_FALSE(parse(bytes).ok) << lfanew;
    }
}

TEST(LanguageSections, KeyIsAPrefixOfTheChosenCode) {
    EXPECT_TRUE(launcher::languageSectionApplies("de", "de_CH"));
    EXPECT_TRUE(launcher::languageSectionApplies("de_CH", "de_CH"));
    EXPECT_TRUE(launcher::languageSectionApplies("", "en"));
    EXPECT_FALSE(launcher::languageSectionApplies("de_DE", "de"));
    EXPECT_FALSE(launcher::languageSectionApplies("en_US", "en"));
    EXPECT_FALSE(launcher::languageSectionApplies("fr", "de"));
}

TEST(LanguageSections, ApplyingSectionsPatchInFileOrder) {
    pack::BlockWriter w;
    w.wide(1009, u"base").wide(1000, u"caption");
    w.section({"de", {{1009, u"de text"}, {2000, u"added"}}});
    w.section({"de_CH", {{1009, u"swiss text"}}});
    w.section({"fr", {{1000, u"titre"}}});
    w.section({"", {{1000, u"always"}}});
    auto p = parse(image(w), "de_CH");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.localized.at(1009), L"swiss text");
    EXPECT_EQ(p.localized.at(2000), L"added");
    EXPECT_EQ(p.localized.at(1000), L"always");
    p = parse(image(w), "de");
    EXPECT_EQ(p.localized.at(1009), L"de text");
    p = parse(image(w), "en");
    EXPECT_EQ(p.localized.at(1009), L"base");
    EXPECT_EQ(p.localized.count(2000), 0u);
}

TEST(BlockReader, ReadsAcrossBufferWindows) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 1000; ++i) bytes.push_back(uint8_t(i));
    MemorySource source(bytes);
    BlockReader reader(source, 64);
    reader.seek(62);
    int32_t v = 0;
    ASSERT_TRUE(reader.readInt32(v));
    EXPECT_EQ(static_cast<uint32_t>(v), 0x41403F3Eu);
    std::vector<uint8_t> big(300);
    uint32_t error = 0;
    EXPECT_EQ(reader.readBytes(big.data(), big.size(), error), 300u);
    EXPECT_EQ(big[0], 66);
    EXPECT_EQ(big[299], uint8_t(365));
    reader.seek(998);
    EXPECT_FALSE(reader.readInt32(v));
    EXPECT_EQ(reader.bytesRead(), 2u);
}
