// Fuzzes the pack tool's input parser. For every input it accepts, the block it builds must
// list (pack inspect) without an error, and that listing must parse and rebuild the very same
// image, byte for byte, whenever config string 2003 names as many files as were included.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "block_inspect.h"
#include "block_writer.h"
#include "config/config_block.h"
#include "pack_input.h"
#include "test_pe_image.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

// Included "files" come from memory: their content is their path, except that paths starting
// with "missing" cannot be read. The fuzzer never touches the disk.
bool loadFromPath(const std::string& path, std::vector<uint8_t>& content, std::string& error) {
    if (path.rfind("base/missing", 0) == 0 || path.rfind("missing", 0) == 0) {
        error = "no such file";
        return false;
    }
    content.assign(path.begin(), path.end());
    return true;
}

// The names the launcher will see: config string 2003 as set, or as the writer derives it.
size_t effectiveNameCount(const pack::BlockWriter& writer) {
    const std::string* names = nullptr;
    for (const auto& [id, value] : writer.strings()) {
        if (id == 2003) names = &value;
    }
    if (names == nullptr) return writer.files().size();
    return pack::splitIncludedNames(*names).size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const pack::PackInput input = pack::parsePackInput(text, "base", loadFromPath);
    for (const auto& e : input.errors) check(e.line >= 0 && !e.message.empty(), "diagnostic");
    if (!input.writer) {
        check(!input.errors.empty(), "no writer and no error");
        return 0;
    }
    check(input.errors.empty(), "a writer despite errors");

    const std::vector<uint8_t> image =
        pack::appendBlock(pack::makePeImage(), input.writer->build());
    launcher::MemorySource source(image);
    std::map<std::string, std::vector<uint8_t>> saved;
    pack::InspectOptions options;
    options.saveFile = [&saved](const pack::IncludedFileEntry& entry,
                                const std::vector<uint8_t>& content, std::string& path,
                                std::string&) {
        path = "saved/" + std::to_string(entry.index);
        saved[path] = content;
        return true;
    };
    std::ostringstream listing;
    const int code = pack::inspectBlock(source, listing, options);
    const bool consistent = effectiveNameCount(*input.writer) == input.writer->files().size();
    if (!consistent) return 0;
    check(code == 0, "inspect failed on a block the parser built");

    const pack::PackInput again = pack::parsePackInput(
        listing.str(), "",
        [&saved](const std::string& path, std::vector<uint8_t>& content, std::string& error) {
            const auto it = saved.find(path);
            if (it == saved.end()) {
                error = "not saved";
                return false;
            }
            content = it->second;
            return true;
        });
    check(again.errors.empty() && again.writer.has_value(), "the listing does not parse");
    check(pack::appendBlock(pack::makePeImage(), again.writer->build()) == image,
          "the listing rebuilds another image");
    return 0;
}
