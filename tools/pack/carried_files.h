// The files the packing tool carries inside itself: the launcher stub it was built with and the
// Java-side runtime jar of each family, all of the tool's version.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace pack {

struct CarriedFiles {
    std::string_view version;  // the tool's, the stub's and the jars' version
    std::span<const uint8_t> stub;
    std::span<const uint8_t> lumexJar;
    std::span<const uint8_t> parcelkitJar;
};

// What this build of the tool carries (a generated source, built after the stub and the jars).
const CarriedFiles& carriedFiles();

}  // namespace pack
