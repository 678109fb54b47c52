// Fuzzes the packing tool's front end with arbitrary text taken as a launcher description.
//
// Besides "no crash, no escaping exception, no overrun, no unbounded allocation" it checks that
// every description the tool accepts is printed back (as `pack inspect` prints it) into a
// description that builds exactly the same block.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "launcher_toml.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

// Any source under "files/" exists and holds its own path; everything else is missing.
bool loadFromPath(const std::string& path, std::vector<uint8_t>& content, std::string& error) {
    if (!path.starts_with("files/")) {
        error = "cannot read '" + path + "': no such file";
        return false;
    }
    content.assign(path.begin(), path.end());
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const pack::TomlBuild built = pack::buildFromToml(text, "fuzz.toml", "", loadFromPath);
    check(built.writer.has_value() == built.errors.empty(), "a block and errors, or neither");
    for (const pack::Diagnostic& d : built.errors) {
        check(!d.message.empty() && d.line >= 0 && d.column >= 0, "an empty or unplaced error");
    }
    if (!built.writer) return 0;
    const auto losses = pack::roundTripLosses(pack::contentOf(*built.writer));
    if (!losses.empty()) {
        for (const auto& line : losses) std::fprintf(stderr, "%s\n", line.c_str());
        check(false, "an accepted description does not print back exactly");
    }
    return 0;
}
