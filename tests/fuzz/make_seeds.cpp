// Writes the seed images of the configuration block fuzzer into the folder given: whole
// launchers built with the packing library, and damaged ones.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "block_writer.h"
#include "test_pe_image.h"

namespace {

pack::PeImageShape smallStub(uint16_t sections = 2) {
    pack::PeImageShape shape;
    shape.peOffset = 0x40;
    shape.sections = sections;
    shape.sectionSize = 0x40;
    return shape;
}

pack::BlockWriter sampleWriter() {
    pack::BlockWriter w;
    w.reserved(1, 2, 3)
        .string(101, "MyService")
        .string(128, "C:\\Java;#x")
        .string(101, "later")
        .wide(1000, u"Error")
        .wide(1009, u"Fehler \u00FC {0}")
        .section({"de", {{1000, u"Fehler"}, {1009, u"x"}}})
        .section({"de_CH", {{1000, u"Fehler CH"}}})
        .section({"", {{1, u"all"}}})
        .section({"fr", {}})
        .file({"a.dll", {0, 0xA7, 1, 2}})
        .file({"lib\\b.jar", {}});
    return w;
}

std::vector<uint8_t> packed(const pack::BlockWriter& writer, uint16_t sections = 2) {
    return pack::appendBlock(pack::makePeImage(smallStub(sections)), writer.build());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
        return 2;
    }
    try {
        const std::filesystem::path dir(argv[1]);
        std::filesystem::create_directories(dir);
        const auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
            pack::writeFileBytes((dir / name).string(), bytes, false);
        };

        const auto sample = packed(sampleWriter());
        write("sample", sample);
        write("sample_three_sections", packed(sampleWriter(), 3));
        write("stub_without_block", pack::makePeImage(smallStub()));
        write("empty_block", packed(pack::BlockWriter()));
        write("cut_in_tables", std::vector<uint8_t>(sample.begin(), sample.begin() + 0x110));
        write("cut_in_files", std::vector<uint8_t>(sample.begin(), sample.end() - 2));

        pack::BlockWriter magic = sampleWriter();
        magic.magic(0xD513E4E8);
        write("byte_swapped_magic", packed(magic));

        pack::BlockWriter extra = sampleWriter();
        extra.string(2002, "1").trailer({0xDE, 0xAD, 0xBE, 0xEF, 0, 0, 0, 0x80});
        write("files_left_and_trailer", packed(extra));

        auto negative = packed(pack::BlockWriter());
        const size_t counts = negative.size() - 12;
        for (size_t i = 0; i < 4; ++i) negative[counts + i] = 0xFF;
        write("negative_count", negative);

        // A wide string whose length is odd.
        auto odd = packed(pack::BlockWriter().wide(5, u"ab"));
        odd[odd.size() - 4 - 4 - 4] = 3;
        write("odd_wide_length", odd);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fuzz_seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
