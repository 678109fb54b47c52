#include "pe_resources.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "block_writer.h"
#include "config/event_messages.h"
#include "launcher_toml.h"
#include "pe_messages.h"
#include "test_pe_image.h"

namespace pack {
// Failures show a message as its id and text.
void PrintTo(const MessageEntry& message, std::ostream* os) {
    *os << message.id << " \"";
    for (char16_t c : message.text) *os << (c >= ' ' && c < 0x7F ? static_cast<char>(c) : '?');
    *os << "\"";
}
}  // namespace pack

namespace {

uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

uint16_t get16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

// The event texts as the message table stores them.
std::vector<pack::MessageEntry> storedMessages(std::span<const launcher::EventMessage> events) {
    std::vector<pack::MessageEntry> out;
    for (const launcher::EventMessage& event : events) {
        std::u16string text(event.text.begin(), event.text.end());
        out.push_back({static_cast<uint32_t>(event.id), text + u"\r\n"});
    }
    return out;
}

pack::LauncherResources sampleResources() {
    pack::LauncherResources r;
    r.icon.push_back({16, 16, 0, 1, 32, std::vector<uint8_t>(40 + 16 * 16 * 4, 0x5A)});
    r.icon.push_back({0, 0, 0, 1, 32, {0x89, 'P', 'N', 'G', 1, 2, 3}});  // 256 x 256, odd size
    r.version = {{"ProductName", u"Acme \u00C9t\u00E9 \u6771"},
                 {"ProductVersion", u"2.5"},
                 {"FileVersion", u"1.4.2.7"},
                 {"CompanyName", u"Acme"}};
    return r;
}

// An icon and version written into an image read back the same, with the headers pointing at
// them, the configuration block still found behind the image, and damage refused, not overrun.
TEST(Resources, WrittenIntoTheImageReadBackTheSame) {
    const auto resources = sampleResources();
    std::string error;
    std::vector<pack::IconImage> back;
    ASSERT_TRUE(pack::readIcoFile(pack::icoFileBytes(resources.icon), back, error)) << error;
    EXPECT_EQ(back, resources.icon);

    const auto stub = pack::makePeImage();
    std::vector<uint8_t> withResources;
    ASSERT_TRUE(pack::addResourceSection(stub, resources, withResources, error)) << error;
    const size_t pe = 0x80, optional = pe + 24, header = optional + 0xF0 + 2 * 40;
    EXPECT_EQ(withResources[pe + 6], 3);  // one section more
    const uint32_t rva = get32(withResources, header + 12);
    EXPECT_EQ(rva, 0x3000u);
    EXPECT_EQ(get32(withResources, optional + 112 + 16), rva);  // the resource directory
    EXPECT_EQ(get32(withResources, optional + 112 + 20), get32(withResources, header + 8));
    EXPECT_EQ(get32(withResources, optional + 56),
              0x3000u + ((get32(withResources, header + 8) + 0xFFF) & ~0xFFFu));
    EXPECT_EQ(get32(withResources, header + 20), stub.size());
    EXPECT_EQ(withResources.size() % 0x200, 0u);
    EXPECT_EQ(pack::blockOffset(withResources), static_cast<int64_t>(withResources.size()));

    pack::BlockWriter writer;
    writer.string(101, "svc");
    launcher::MemorySource image(pack::appendBlock(withResources, writer.build()));
    pack::BlockContent content;
    ASSERT_TRUE(pack::readLauncherContent(image, content, error)) << error;
    EXPECT_EQ(content.strings.at(101), "svc");
    EXPECT_EQ(content.resources, resources);

    // The fixed file information carries the numbers of the version texts.
    const auto section = pack::resourceSectionBytes(resources, rva);
    const uint8_t signature[] = {0xBD, 0x04, 0xEF, 0xFE};
    const auto fixed = std::search(section.begin(), section.end(), signature, signature + 4);
    ASSERT_NE(fixed, section.end());
    const size_t f = static_cast<size_t>(fixed - section.begin());
    EXPECT_EQ(get32(section, f + 8), 0x00010004u);   // file 1.4
    EXPECT_EQ(get32(section, f + 12), 0x00020007u);  // .2.7
    EXPECT_EQ(get32(section, f + 16), 0x00020005u);  // product 2.5
    EXPECT_EQ(get32(section, f + 20), 0u);

    // Every cut of the section and every changed byte is read without overrun (the sanitizers
    // watch), and a cut one is refused.
    for (size_t n = 0; n + 8 <= section.size(); n += 3) {  // the last 8 bytes may be padding
        pack::LauncherResources r;
        const std::span<const uint8_t> cut(section.data(), n);
        EXPECT_FALSE(pack::readResourceSection(cut, rva, rva, r, error)) << n;
    }
    for (size_t i = 0; i < section.size(); ++i) {
        auto damaged = section;
        damaged[i] ^= 0xA5;
        pack::LauncherResources r;
        pack::readResourceSection(damaged, rva, rva, r, error);
    }
}

// Every section holds the event message table beside the icon and version there are, its types
// in the ascending order Windows searches them, and each event's text read back as written.
TEST(Resources, EverySectionHoldsTheEventMessages) {
    pack::LauncherResources iconOnly, versionOnly;
    iconOnly.icon = sampleResources().icon;
    versionOnly.version = sampleResources().version;
    const struct {
        const char* what;
        pack::LauncherResources resources;
        std::vector<uint32_t> types;
    } rows[] = {
        {"no icon, no version", {}, {11}},
        {"icon", iconOnly, {3, 11, 14}},
        {"version", versionOnly, {11, 16}},
        {"icon and version", sampleResources(), {3, 11, 14, 16}},
    };
    const auto expected = storedMessages(launcher::kEventMessages);
    constexpr uint32_t rva = 0x3000;
    for (const auto& row : rows) {
        const auto section = pack::resourceSectionBytes(row.resources, rva);
        std::vector<uint32_t> types;
        for (size_t i = 0; i < get16(section, 14); ++i) types.push_back(get32(section, 16 + 8 * i));
        EXPECT_EQ(types, row.types) << row.what;
        std::string error;
        std::vector<pack::MessageEntry> messages;
        EXPECT_TRUE(pack::readMessageResource(section, rva, rva, messages, error)) << error;
        EXPECT_EQ(messages, expected) << row.what;

        // Written into an image, the section is added whatever it holds, and the icon and
        // version read back are only those of the description.
        std::vector<uint8_t> image;
        ASSERT_TRUE(pack::addResourceSection(pack::makePeImage(), row.resources, image, error))
            << row.what << ": " << error;
        launcher::MemorySource source(image);
        pack::LauncherResources back;
        EXPECT_TRUE(pack::readImageResources(source, back, error)) << error;
        EXPECT_EQ(back, row.resources) << row.what;
    }

    // The table as the message compiler lays it out: one block 1000..1008, entries behind it,
    // each UTF-16 (flags 1), its length a multiple of 4.
    const auto table = pack::messageTableBytes(launcher::kEventMessages);
    EXPECT_EQ(get32(table, 0), 1u);
    EXPECT_EQ(get32(table, 4), 1000u);
    EXPECT_EQ(get32(table, 8), 1008u);
    EXPECT_EQ(get32(table, 12), 16u);
    for (size_t at = 16, i = 0; i < std::size(launcher::kEventMessages); ++i) {
        const size_t length = get16(table, at);
        EXPECT_EQ(length % 4, 0u) << i;
        EXPECT_EQ(get16(table, at + 2), 1u) << i;
        EXPECT_EQ(length, (4 + 2 * (launcher::kEventMessages[i].text.size() + 3) + 3) / 4 * 4);
        at += length;
        if (i + 1 == std::size(launcher::kEventMessages)) EXPECT_EQ(at, table.size());
    }
}

TEST(Resources, DamagedMessageTablesAreRefused) {
    const auto table = pack::messageTableBytes(launcher::kEventMessages);
    const auto changed = [&](size_t at, uint32_t value) {
        auto bytes = table;
        for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
        return bytes;
    };
    auto zeroLength = table;
    zeroLength[16] = zeroLength[17] = 0;
    const struct {
        std::vector<uint8_t> bytes;
        std::string message;
    } rows[] = {
        {{1, 0}, "the message table is cut short"},
        {changed(0, 1000), "names 1000 blocks it does not hold"},
        {changed(8, 999), "block 1 of the message table lies outside it"},         // high < low
        {changed(8, 0xFFFFFFFF), "block 1 of the message table lies outside it"},  // 4 G ids
        {changed(12, static_cast<uint32_t>(table.size() + 1)), "block 1 of the message"},  // past
        {zeroLength, "message 1000 lies outside the message table"},
        {std::vector<uint8_t>(table.begin(), table.end() - 4), "message 1008 lies outside"},
    };
    for (const auto& row : rows) {
        std::vector<pack::MessageEntry> messages;
        std::string error;
        EXPECT_FALSE(pack::readMessageTable(row.bytes, messages, error)) << row.message;
        EXPECT_NE(error.find(row.message), std::string::npos) << error;
    }

    // A section whose table is missing says so; every cut and changed byte of a section is read
    // without overrun (the sanitizers watch).
    constexpr uint32_t rva = 0x3000;
    auto section = pack::resourceSectionBytes({}, rva);
    std::vector<pack::MessageEntry> messages;
    std::string error;
    for (size_t i = 0; i < section.size(); ++i) {
        auto damaged = section;
        damaged[i] ^= 0xA5;
        pack::readMessageResource(damaged, rva, rva, messages, error);
        pack::readMessageResource(std::span(section.data(), i), rva, rva, messages, error);
    }
    section[16] = 12;  // the root's one type is 11
    EXPECT_FALSE(pack::readMessageResource(section, rva, rva, messages, error));
    EXPECT_EQ(error, "the resource section holds no message table");

    // Only the inserts %1..%N, each used, pass the table's check.
    const struct {
        const char* text;
        unsigned inserts;
        bool fits;
    } texts[] = {{"%1 and %2.", 2, true}, {"%2 then %1 and %1", 2, true},
                 {"none", 0, true},       {"only %1", 2, false},
                 {"%3", 2, false},        {"100%", 0, false},
                 {"100%%", 0, false},     {"%12", 1, false},
                 {"%1!d!", 1, false},     {"tab\t%1", 1, false},
                 {"%0", 0, false},        {"caf\xC3\xA9", 0, false}};
    for (const auto& row : texts) {
        EXPECT_EQ(launcher::event_checks::insertsFit(row.text, row.inserts), row.fits) << row.text;
    }
}

TEST(Resources, RefusalsSayWhatIsWrong) {
    std::string error;
    std::vector<pack::IconImage> images;
    const auto ico = pack::icoFileBytes(sampleResources().icon);
    struct Case {
        std::vector<uint8_t> bytes;
        std::string message;
    };
    auto noImages = ico;
    noImages[4] = 0;
    noImages[5] = 0;
    auto outside = ico;
    outside[6 + 8] = 0xFF;  // first image's size
    outside[6 + 9] = 0xFF;
    auto shared = ico;  // the second image names the bytes of the first, which fill the file
    shared[6 + 16 + 8] = shared[6 + 8];
    shared[6 + 16 + 9] = shared[6 + 9];
    shared[6 + 16 + 10] = shared[6 + 10];
    shared[6 + 16 + 12] = shared[6 + 12];
    shared[6 + 16 + 13] = shared[6 + 13];
    const Case icons[] = {{shared, "together are larger than the file"},
                          {{0, 0, 1}, "is no icon file"},
                          {std::vector<uint8_t>(ico.begin(), ico.begin() + 20), "cut short"},
                          {noImages, "holds 0 images"},
                          {outside, "image 1 lies outside the file"},
                          {{'P', 'K', 3, 4, 0, 0, 0, 0}, "is no icon file"}};
    for (const Case& c : icons) {
        EXPECT_FALSE(pack::readIcoFile(c.bytes, images, error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }

    // Stubs the resource section cannot go into, and why; nothing is written for them.
    std::vector<uint8_t> withResources;
    ASSERT_TRUE(
        pack::addResourceSection(pack::makePeImage(), sampleResources(), withResources, error));
    auto used = pack::makePeImage();  // something lies right behind the section table
    used[0x80 + 24 + 0xF0 + 2 * 40 + 5] = 0x2E;
    const Case stubs[] = {
        {withResources, "it has resources of its own"},
        {pack::makePeImage({0x80, 3, 0xF0, 0x200, 0}), "no room"},  // headers end at 0x200
        {used, "the 40 bytes behind its section table are in use"},
        {pack::makePeImage({0x80, 2, 0xF0, 0x200, 32}),
         "it has 32 bytes behind its last section (a signature or debug data?)"},
    };
    for (const Case& c : stubs) {
        std::vector<uint8_t> out;
        EXPECT_FALSE(pack::addResourceSection(c.bytes, sampleResources(), out, error)) << c.message;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_TRUE(out.empty()) << c.message;
    }

    uint64_t version = 0;
    for (const char* bad : {"", "1.", ".1", "1.2.3.4.5", "65536", "1.x", "1,2", "-1"}) {
        EXPECT_FALSE(pack::parseFourPartVersion(bad, version)) << bad;
    }
    EXPECT_TRUE(pack::parseFourPartVersion("65535.0.1", version));
    EXPECT_EQ(version, 0xFFFF000000010000u);

    EXPECT_EQ(pack::stubImageProblem(pack::makePeImage()), "");
    auto x64 = pack::makePeImage();
    x64[0x84] = 0x64;
    x64[0x85] = 0x86;
    EXPECT_EQ(pack::stubImageProblem(x64), "is no Arm64 image (machine 0x8664)");
    auto console = pack::makePeImage();
    console[0x80 + 24 + 68] = 3;
    EXPECT_EQ(pack::stubImageProblem(console), "is no Windows GUI image (subsystem 3)");
    EXPECT_EQ(pack::stubImageProblem(std::vector<uint8_t>(100, 0)), "is not a PE image");
}

TEST(Resources, ChecksumFoldsCarriesAndAddsTheLength) {
    const std::vector<uint8_t> small = {0xFF, 0xFF, 0x02, 0x00, 0x01};
    EXPECT_EQ(pack::imageChecksum(small, 100), 2u + 1u + 5u);
    EXPECT_EQ(pack::imageChecksum(small, 0), 1u + 5u);  // the field's own words are skipped
    auto image = pack::makePeImage();
    const size_t at = 0x80 + 24 + 64;
    pack::updateImageChecksum(image);
    EXPECT_EQ(get32(image, at), 0u);  // an image without a checksum keeps none
    image[at] = 1;
    pack::updateImageChecksum(image);
    EXPECT_EQ(get32(image, at), pack::imageChecksum(image, at));
    EXPECT_NE(get32(image, at), 1u);
}

}  // namespace
