// An owner for a C runtime stream, closed when it goes out of scope.
#pragma once

#include <cstdio>
#include <memory>

namespace launcher {

struct StdioCloser {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using UniqueStdioFile = std::unique_ptr<std::FILE, StdioCloser>;

}  // namespace launcher
