#!/usr/bin/env python3
"""Makes a linked PE image the same in every build folder: zig 0.11's lld writes a time stamp
into the COFF header (and would into debug directory entries) and accepts no flag against it.
Zeroes those time stamps and recomputes the image checksum when the image has one."""
import struct
import sys


def file_offset(image, sections, rva):
    for virtual_address, virtual_size, raw_pointer, raw_size in sections:
        if virtual_address <= rva < virtual_address + max(virtual_size, raw_size):
            return raw_pointer + rva - virtual_address
    return None


def checksum(image, at):
    total = 0
    for i in range(0, len(image), 2):
        if i in (at, at + 2):
            continue
        total += image[i] | (image[i + 1] << 8 if i + 1 < len(image) else 0)
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(image)) & 0xFFFFFFFF


def main(path):
    with open(path, "rb") as f:
        image = bytearray(f.read())
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        sys.exit(f"{path}: not a PE image")
    sections_count, optional_size = struct.unpack_from("<H", image, pe + 6)[0], struct.unpack_from(
        "<H", image, pe + 20)[0]
    optional = pe + 24
    directories = optional + (112 if struct.unpack_from("<H", image, optional)[0] == 0x20B else 96)
    table = optional + optional_size
    sections = [struct.unpack_from("<IIII", image, table + 40 * i + 8) for i in range(sections_count)]
    sections = [(va, vs, rp, rs) for vs, va, rs, rp in sections]
    struct.pack_into("<I", image, pe + 8, 0)  # COFF TimeDateStamp
    debug_rva, debug_size = struct.unpack_from("<II", image, directories + 6 * 8)
    if debug_rva:
        at = file_offset(image, sections, debug_rva)
        for entry in range(debug_size // 28 if at is not None else 0):
            struct.pack_into("<I", image, at + 28 * entry + 4, 0)  # the entry's TimeDateStamp
    checksum_at = optional + 64
    if struct.unpack_from("<I", image, checksum_at)[0]:
        struct.pack_into("<I", image, checksum_at, checksum(image, checksum_at))
    with open(path, "wb") as f:
        f.write(image)


if __name__ == "__main__":
    main(sys.argv[1])
