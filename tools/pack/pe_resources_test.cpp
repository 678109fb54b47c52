#include "pe_resources.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "block_writer.h"
#include "launcher_toml.h"
#include "test_pe_image.h"

namespace {

uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
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
