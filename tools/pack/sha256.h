// SHA-256 of a byte range, as lower-case hex: what `pack --version` reports of the files it
// carries, comparable with sha256sum's output.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace pack {

std::string sha256Hex(std::span<const uint8_t> bytes);

}  // namespace pack
