// The launcher description users write (TOML, documented in docs/pack.md) and its way back:
// reading and checking the description into a configuration block, and printing the content of
// a block as the same description.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "block_writer.h"
#include "config/config_block.h"
#include "pe_resources.h"

namespace pack {

// A finding in the description: where (line and column from 1; 0 when it concerns the file as
// a whole), which key ("service.start", "java.class_path[2]"), and what is wrong.
struct Diagnostic {
    int line = 0;
    int column = 0;
    std::string key;
    std::string message;
};

// "file:line:column: key: message" (position and key left out when unknown).
std::string formatDiagnostic(std::string_view source, const Diagnostic& diagnostic);

// Loads the content of an included file; false with an error text when it cannot.
using FileLoader =
    std::function<bool(const std::string& path, std::vector<uint8_t>& content, std::string& error)>;

// The size of a file to include, when it can be known without reading it; nothing otherwise
// (the loader then says what is wrong).
using FileSizer = std::function<std::optional<uint64_t>(const std::string& path)>;
std::optional<uint64_t> fileSizeOnDisk(const std::string& path);

// Reads a file from disk, refusing one larger than limit (by default, a launcher image's).
bool loadFileFromDisk(const std::string& path, std::vector<uint8_t>& content, std::string& error,
                      uint64_t limit = kMaxImageSize);
inline bool loadIncludedFile(const std::string& path, std::vector<uint8_t>& content,
                             std::string& error) {
    return loadFileFromDisk(path, content, error);
}

// The largest description the tool reads.
constexpr size_t kMaxDescriptionSize = 1024 * 1024;

struct TomlBuild {
    std::optional<BlockWriter> writer;  // set when there were no errors
    LauncherResources resources;        // the icon and version information, for the image
    std::vector<Diagnostic> errors;
    bool runtimeJar = true;  // [java] runtime_jar: add the family's runtime jar when none is named
};

// Reads and checks a description; included-file sources are taken relative to baseDir (the
// description's folder), measured through size and read through load. Never throws.
TomlBuild buildFromToml(std::string_view text, const std::string& sourceName,
                        const std::string& baseDir, const FileLoader& load = loadIncludedFile,
                        const FileSizer& size = fileSizeOnDisk);

// What a configuration block holds, as the launcher reads it.
struct BlockContent {
    std::map<int32_t, std::string> strings;   // a repeated id keeps the later value
    std::map<int32_t, std::u16string> wides;  // likewise
    std::vector<LanguageSection> sections;    // in file order
    std::vector<IncludedFile> files;          // named by config string 2003, with their data
    LauncherResources resources;              // from the image's resource section, not the block
};

// Reads the block that starts at `start` (0 for the bytes of BlockWriter::build). False with an
// error text when the launcher would refuse it or an included file is cut short.
bool readBlockContent(launcher::ByteSource& source, uint64_t start, BlockContent& content,
                      std::string& error);
// Locates the block the way the launcher does, then reads it.
bool readLauncherContent(launcher::ByteSource& image, BlockContent& content, std::string& error);
BlockContent contentOf(const BlockWriter& writer);

// The runtime jars the tool carries (empty spans when it carries none): `pack build` embeds
// the one of the launcher's family when the description names none.
struct RuntimeJars {
    std::span<const uint8_t> lumex;
    std::span<const uint8_t> parcelkit;
};

// The icon's source in a printed description: `pack extract` writes it beside the description.
inline constexpr std::string_view kIconFile = "icon.ico";

// The description of a block's content. Included files are listed with the source
// filesFolder + "/" + name, where `pack extract` writes them, except the runtime jar that
// `pack build` embeds by itself: the last file to extract when it is byte for byte the one of
// `jars` for the launcher's family. What the description cannot express is listed in comments
// at its end.
std::string printToml(const BlockContent& content, std::string_view filesFolder = "files",
                      const RuntimeJars& jars = {});

// Where two contents differ, one line each; empty when a launcher reads them alike.
std::vector<std::string> contentDifferences(const BlockContent& expected,
                                            const BlockContent& actual);

// The description printed for a content, built again: the differences that printing loses
// (empty when the description reproduces the block exactly).
// `jars` as for printToml: building adds the runtime jar left out.
std::vector<std::string> roundTripLosses(const BlockContent& content, const RuntimeJars& jars = {});

}  // namespace pack
