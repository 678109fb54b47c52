// Fuzzes the configuration block readers with arbitrary bytes taken as a whole executable
// image: the launcher's location and two readings, and the pack tool's inspector; and the same
// bytes as a message table.
//
// Besides "no crash, no overrun, no unbounded allocation" it checks that
// - the reader's buffer window size never changes what is read,
// - the inspector never lists a block as whole that the launcher refuses,
// - the printed description of a block, built again, prints and builds back exactly (printing
//   loses what the description cannot say at most once).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "block_inspect.h"
#include "block_writer.h"
#include "config/config_block.h"
#include "launcher_toml.h"
#include "pe_messages.h"
#include "test_pe_image.h"

namespace {

struct Tables {
    launcher::ReadFailure failure = launcher::ReadFailure::None;
    uint64_t blockStart = 0;
    uint64_t tablesLength = 0;
    launcher::ConfigStrings strings;
    launcher::LocalizedStrings english, swissGerman;

    bool ok() const { return failure == launcher::ReadFailure::None; }
    bool sameContent(const Tables& o) const {
        return failure == o.failure && tablesLength == o.tablesLength && strings == o.strings &&
               english == o.english && swissGerman == o.swissGerman;
    }
};

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

// The launcher's three readings, each on a reader of its own as at start-up.
Tables readTables(launcher::ByteSource& source, size_t window) {
    Tables t;
    launcher::BlockReader first(source, window);
    if (!launcher::seekConfigBlock(first)) {
        t.failure = first.failure();
        return t;
    }
    t.blockStart = first.position();
    if (!launcher::readConfigStrings(first, t.strings)) {
        t.failure = first.failure();
        return t;
    }
    for (const char* language : {"en", "de_CH"}) {
        launcher::BlockReader second(source, window);
        uint32_t end = 0;
        auto& localized = language[0] == 'e' ? t.english : t.swissGerman;
        if (!launcher::seekConfigBlock(second) ||
            !launcher::readConfigBlockTables(second, language, localized, end)) {
            t.failure = second.failure();
            return t;
        }
        t.tablesLength = end - static_cast<uint32_t>(t.blockStart);
    }
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::vector<pack::MessageEntry> messages;
        std::string error;
        const bool read = pack::readMessageTable({data, size}, messages, error);
        check(read == error.empty(), "a message table read with an error, or refused without one");
        // Every entry's text came out of the bytes: two bytes a character at least.
        size_t characters = 0;
        for (const auto& message : messages) characters += message.text.size();
        check(characters * 2 <= size, "message texts longer than their table");
    }
    launcher::MemorySource source(std::vector<uint8_t>(data, data + size));
    const Tables wide = readTables(source, 64 * 1024);
    const Tables narrow = readTables(source, 64 + size % 61);
    check(wide.sameContent(narrow) && wide.blockStart == narrow.blockStart,
          "the window size changed what was read");
    if (wide.ok()) check(wide.tablesLength >= 32, "tables shorter than their fixed fields");

    std::ostringstream listing;
    const int code = pack::inspectBlock(source, listing);
    check(code == 0 || code == 1, "inspect exit code");
    if (!wide.ok()) check(code == 1, "inspect accepted a block the launcher refuses");
    if (code != 0) return 0;

    pack::BlockContent content;
    std::string problem;
    if (!pack::readLauncherContent(source, content, problem)) return 0;
    // The losses of a block the tool did not write are reported; what the printed description
    // builds must then print and build again without any.
    const std::string text = pack::printToml(content);
    const pack::FileLoader fromContent = [&](const std::string& path, std::vector<uint8_t>& data,
                                             std::string& error) {
        for (const auto& file : content.files) {
            std::string name = file.name;
            std::replace(name.begin(), name.end(), '\\', '/');
            if (path == "files/" + name) {
                data = file.content;
                return true;
            }
        }
        error = "not included";
        return false;
    };
    const pack::TomlBuild rebuilt = pack::buildFromToml(text, "printed", "", fromContent);
    if (rebuilt.writer) {
        check(pack::roundTripLosses(pack::contentOf(*rebuilt.writer)).empty(),
              "a description the tool printed and read does not print back exactly");
    }
    return 0;
}
