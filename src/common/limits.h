// Sizes shared by every floor.
#pragma once

#include <cstddef>

namespace launcher {

// Standard length of text and path buffers (characters for wide text, bytes for narrow text).
constexpr size_t kBufferLength = 6000;

}  // namespace launcher
