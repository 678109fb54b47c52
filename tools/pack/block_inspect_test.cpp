#include "block_inspect.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "block_writer.h"
#include "pe_resources.h"
#include "test_pe_image.h"

using launcher::MemorySource;

namespace {

// An offset as the listing shows it: "1024 (0x400)".
std::string offset(uint64_t v) {
    std::ostringstream hex;
    hex << std::hex << v;
    return std::to_string(v) + " (0x" + hex.str() + ")";
}

struct Listing {
    int code = -1;
    std::string text;
    std::vector<std::string> lines;

    bool has(const std::string& line) const {
        for (const auto& l : lines) {
            if (l == line) return true;
        }
        return false;
    }
    std::string last() const { return lines.empty() ? "" : lines.back(); }
};

Listing inspect(const std::vector<uint8_t>& image) {
    MemorySource source(image);
    std::ostringstream out;
    Listing listing;
    listing.code = pack::inspectBlock(source, out);
    listing.text = out.str();
    std::istringstream in(listing.text);
    for (std::string line; std::getline(in, line);) listing.lines.push_back(line);
    return listing;
}

std::vector<uint8_t> imageOf(const pack::BlockWriter& writer) {
    return pack::appendBlock(pack::makePeImage(), writer.build());
}

// Every part of a block, with values that need quoting in the listing.
std::vector<uint8_t> sampleImage() {
    pack::BlockWriter w;
    w.reserved(1, 2, 3)
        .string(101, "MyService")
        .string(128, "C:\\Program Files\\Java;#x")
        .string(5, "  padded\t")
        .string(101, "later wins")
        .string(6, "")
        .string(3013, "failure")
        .wide(1000, u"Fehler f\u00FCr \U0001F600")
        .wide(1001, std::u16string(1, char16_t(0xD800)) + u" lone")
        .section({"de", {{1000, u"Fehler"}}})
        .section({"", {}})
        .file({"a.dll", {1, 2, 0xA7, 0}})
        .file({"my lib\\b.jar", std::vector<uint8_t>(6001, 0x5A)})
        .file({"empty.txt", {}});
    return imageOf(w);
}

TEST(Inspect, ListsEveryPartOfTheBlock) {
    const auto image = sampleImage();
    const Listing listing = inspect(image);
    EXPECT_EQ(listing.code, 0) << listing.text;
    const size_t stubSize = pack::makePeImage().size();
    EXPECT_TRUE(listing.has("# configuration block at offset " + offset(stubSize))) << listing.text;
    EXPECT_TRUE(listing.has("# magic 0xE8E413D5 (correct)"));
    EXPECT_TRUE(listing.has("reserved 1 2 3"));
    EXPECT_TRUE(listing.has("# 8 config strings"));
    EXPECT_TRUE(listing.has("string 101 MyService"));
    EXPECT_TRUE(listing.has("# service_name")) << "known ids are named";
    EXPECT_TRUE(listing.has("string 128 C:\\Program Files\\Java;#x"));
    EXPECT_TRUE(listing.has("string 5 \"  padded\\t\""));
    EXPECT_TRUE(listing.has("string 101 later wins"));
    EXPECT_TRUE(listing.has("string 6 \"\""));
    EXPECT_TRUE(listing.has("# restart_on_exit")) << listing.text;
    EXPECT_TRUE(listing.has("string 3013 failure"));
    EXPECT_TRUE(listing.has("string 2002 3"));
    EXPECT_TRUE(listing.has("string 2003 a.dll;my lib\\b.jar;empty.txt"));
    EXPECT_TRUE(listing.has("wide 1000 Fehler f\xC3\xBCr \xF0\x9F\x98\x80"));
    EXPECT_TRUE(listing.has("wide 1001 \"\\uD800 lone\""));
    EXPECT_TRUE(listing.has("section de"));
    EXPECT_TRUE(listing.has("    wide 1000 Fehler"));
    EXPECT_TRUE(listing.has("section \"\""));
    EXPECT_TRUE(listing.has("# included files at offset " +
                            offset(image.size() - 8 * 3 - 4 - 6001) +
                            ": config string 2002 asks for 3, 2003 names 3"))
        << listing.text;
    EXPECT_NE(listing.text.find("# file 2: my lib\\b.jar, 6001 bytes at offset "),
              std::string::npos);
    EXPECT_NE(listing.text.find("# file 3: empty.txt, 0 bytes"), std::string::npos);
    EXPECT_EQ(listing.text.find("trailing"), std::string::npos);
}

// Damaged and unusual blocks: the exit code, lines the listing must hold, and texts its last line
// must hold (the error, or the trailing bytes).
TEST(Inspect, DamagedAndUnusualBlocks) {
    const auto stub = pack::makePeImage();
    const size_t block = stub.size();
    struct Case {
        std::string name;
        std::vector<uint8_t> image;
        int code;
        std::vector<std::string> lines, lastHolds;
        std::string absent;  // a text the listing must not hold
    };
    std::vector<Case> cases;
    cases.push_back({"stub without block",
                     stub,
                     1,
                     {"# the image ends at its last section: no configuration block was appended"},
                     {"error: Internal Error: readInt at offset " + offset(block) + " (magic)"}});

    auto farHeader = stub;
    farHeader[0x3C] = 0xFF;  // e_lfanew behind the end of the file
    farHeader[0x3D] = 0xFF;
    cases.push_back(
        {"e_lfanew beyond the file",
         farHeader,
         1,
         {},
         {"error: Internal Error: readShort (locating the block through the PE headers)"}});
    cases.push_back(
        {"too short for a PE header",
         std::vector<uint8_t>(20, 0),
         1,
         {},
         {"error: Internal Error: readInt (locating the block through the PE headers)"}});

    cases.push_back({"wrong magic",
                     imageOf(pack::BlockWriter().magic(0xD513E4E8).string(1, "a")),
                     1,
                     {"# magic 0xD513E4E8, expected 0xE8E413D5"},
                     {"error: Internal Error: magic at offset "},
                     "string 1"});

    // magic..reserved (20), N1 (4), entry 1: id, length, 3 bytes (11), entry 2: id, length, 5 of 14
    auto cutString = imageOf(
        pack::BlockWriter().string(101, "svc").string(102, "a longer value").wide(1000, u"x"));
    cutString.resize(block + 20 + 4 + 11 + 8 + 5);
    cases.push_back({"string cut short",
                     cutString,
                     1,
                     {"string 101 svc"},
                     {"error: Internal Error: readString at offset " + offset(block + 35) +
                      " (config string 2 of 2, id 102)"},
                     "a longer value"});

    // The empty wide table and sections replaced by one wide string whose length is odd.
    auto oddWide = pack::BlockWriter().build();
    oddWide.resize(oddWide.size() - 8);
    const std::vector<uint8_t> odd = {1, 0, 0,   0, 5,   0, 0, 0, 3, 0,
                                      0, 0, 'a', 0, 'b', 0, 0, 0, 0, 0};
    oddWide.insert(oddWide.end(), odd.begin(), odd.end());
    cases.push_back(
        {"odd wide length",
         pack::appendBlock(stub, oddWide),
         1,
         {},
         {"error: Internal Error: readWString at offset ", "(wide string 1 of 1, id 5)"}});

    auto negative = pack::BlockWriter().build();
    for (size_t i = 20; i < 24; ++i) negative[i] = 0xFF;  // N1 = -1 instead of 0
    cases.push_back({"negative count",
                     pack::appendBlock(stub, negative),
                     0,
                     {"# number of config strings: -1, read as none", "# 0 wide strings"},
                     {}});

    cases.push_back({"trailing bytes",
                     imageOf(pack::BlockWriter().trailer({0xDE, 0xAD, 0xBE, 0xEF})),
                     0,
                     {},
                     {"# 4 trailing bytes at offset ", ": de ad be ef"}});

    // Data the launcher never reads may be missing without an error.
    cases.push_back(
        {"names beyond the data",
         imageOf(pack::BlockWriter().string(2002, "1").string(2003, "a;b;c").file({"a", {1}})),
         0,
         {"# no data for file 2 (b), which the launcher does not extract"},
         {}});

    auto cutFile = imageOf(pack::BlockWriter().file({"a.dll", std::vector<uint8_t>(100, 1)}));
    cutFile.resize(cutFile.size() - 40);
    cases.push_back(
        {"extracted file cut short",
         cutFile,
         1,
         {},
         {"error: included file 1 (a.dll) needs 100 bytes at offset ", " but only 60 are left"}});

    // A launcher with an icon and version information: the block follows the resource section.
    pack::LauncherResources resources;
    resources.icon.push_back({16, 16, 0, 1, 32, std::vector<uint8_t>(300, 7)});
    resources.version.push_back({"FileVersion", u"1.2"});
    std::vector<uint8_t> withResources;
    std::string problem;
    EXPECT_TRUE(pack::addResourceSection(stub, resources, withResources, problem)) << problem;
    cases.push_back(
        {"behind a resource section",
         pack::appendBlock(withResources, pack::BlockWriter().string(101, "S").build()),
         0,
         {"# configuration block at offset " + offset(withResources.size()), "string 101 S"},
         {}});

    for (const Case& c : cases) {
        const Listing listing = inspect(c.image);
        EXPECT_EQ(listing.code, c.code) << c.name << "\n" << listing.text;
        for (const auto& line : c.lines) EXPECT_TRUE(listing.has(line)) << c.name << ": " << line;
        for (const auto& text : c.lastHolds) {
            EXPECT_NE(listing.last().find(text), std::string::npos)
                << c.name << ": " << listing.last();
        }
        if (!c.absent.empty()) EXPECT_EQ(listing.text.find(c.absent), std::string::npos) << c.name;
    }

    // Files the extract count leaves in the image are listed as such.
    const Listing files = inspect(
        imageOf(pack::BlockWriter().string(2002, "1").file({"a", {1}}).file({"b", {2, 3}})));
    EXPECT_EQ(files.code, 0);
    EXPECT_NE(files.text.find("# file 1: a, 1 bytes at offset "), std::string::npos);
    EXPECT_NE(files.text.find(", extracted\n"), std::string::npos);
    EXPECT_NE(files.text.find("# file 2: b, 2 bytes at offset "), std::string::npos);
    EXPECT_NE(files.text.find(", left in the image\n"), std::string::npos);
}

// Every cut of a block is reported as a failure, and where the launcher's own readers fail the
// listing names the same failure.
TEST(Inspect, EveryTruncationAgreesWithTheLauncher) {
    const auto image = sampleImage();
    const size_t block = pack::makePeImage().size();
    for (size_t cut = block; cut < image.size(); ++cut) {
        const std::vector<uint8_t> truncated(image.begin(), image.begin() + static_cast<long>(cut));
        MemorySource source(truncated);
        launcher::BlockReader first(source), second(source);
        launcher::ConfigStrings strings;
        launcher::LocalizedStrings localized;
        uint32_t end = 0;
        launcher::ReadFailure failure = launcher::ReadFailure::None;
        if (!launcher::seekConfigBlock(first) || !launcher::readConfigStrings(first, strings)) {
            failure = first.failure();
        } else if (!launcher::seekConfigBlock(second) ||
                   !launcher::readConfigBlockTables(second, "en", localized, end)) {
            failure = second.failure();
        }
        const Listing listing = inspect(truncated);
        ASSERT_EQ(listing.code, 1) << "cut at " << cut;
        if (failure != launcher::ReadFailure::None) {
            std::string text;
            for (wchar_t c : launcher::readFailureText(failure))
                text.push_back(static_cast<char>(c));
            ASSERT_EQ(listing.last().rfind("error: " + text + " at offset ", 0), 0u)
                << "cut at " << cut << ": " << listing.last();
        } else {
            // The tables are whole; the included files are not.
            const bool sizeCut = listing.last().rfind("error: Internal Error: readLong", 0) == 0;
            const bool contentCut = listing.last().rfind("error: included file ", 0) == 0;
            ASSERT_TRUE(sizeCut || contentCut) << "cut at " << cut << ": " << listing.last();
        }
    }
}

}  // namespace
