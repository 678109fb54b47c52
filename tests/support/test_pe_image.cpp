#include "test_pe_image.h"

namespace pack {

namespace {

void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

std::vector<uint8_t> makePeImage(const PeImageShape& shape) {
    const size_t table = size_t(shape.peOffset) + 24 + shape.optionalSize;
    const size_t headersEnd = table + 40 * size_t(shape.sections);
    const size_t firstSection = (headersEnd + 0x1FF) & ~size_t(0x1FF);
    std::vector<uint8_t> b(firstSection + size_t(shape.sections) * shape.sectionSize, 0);
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 0x3C, shape.peOffset);
    b[shape.peOffset] = 'P';
    b[shape.peOffset + 1] = 'E';
    put16(b, shape.peOffset + 4, 0xAA64);  // Machine: ARM64
    put16(b, shape.peOffset + 6, shape.sections);
    put16(b, shape.peOffset + 20, shape.optionalSize);
    if (shape.optionalSize >= 2) put16(b, shape.peOffset + 24, 0x20B);  // PE32+ magic
    if (shape.optionalSize >= 0xF0) {
        // What a loader and the resource writer read: alignments, sizes, a GUI subsystem and
        // the sixteen data directories (all empty).
        const size_t optional = shape.peOffset + 24;
        put32(b, optional + 32, 0x1000);
        put32(b, optional + 36, 0x200);
        put32(b, optional + 56, 0x1000 * static_cast<uint32_t>(shape.sections + 1));
        put32(b, optional + 60, static_cast<uint32_t>(firstSection));
        put16(b, optional + 68, 2);
        put32(b, optional + 108, 16);
    }
    for (size_t i = 0; i < shape.sections; ++i) {
        const size_t header = table + 40 * i;
        b[header] = '.';
        b[header + 1] = static_cast<uint8_t>('a' + i % 26);
        const size_t slot = shape.reverseSections ? shape.sections - 1 - i : i;
        const auto pointer = static_cast<uint32_t>(firstSection + slot * shape.sectionSize);
        put32(b, header + 8, shape.sectionSize);                       // VirtualSize
        put32(b, header + 12, 0x1000 * static_cast<uint32_t>(i + 1));  // VirtualAddress
        put32(b, header + 16, shape.sectionSize);                      // SizeOfRawData
        put32(b, header + 20, pointer);                                // PointerToRawData
        for (size_t k = 0; k < shape.sectionSize; ++k) {
            b[pointer + k] = static_cast<uint8_t>(0x31 * (i + 1) + k);
        }
    }
    b.resize(b.size() + shape.trailingBytes, 0xEE);
    return b;
}

}  // namespace pack
