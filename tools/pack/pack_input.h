// The pack tool's input file: the text form of a configuration block (see pack_input.cpp for
// the format). The listing of `pack inspect` uses the same syntax.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "block_writer.h"

namespace pack {

// A finding at a line of the input (line 0: the input as a whole).
struct Diagnostic {
    int line = 0;
    std::string message;
};

// Loads the content of an included file; false with an error text when it cannot.
using FileLoader =
    std::function<bool(const std::string& path, std::vector<uint8_t>& content, std::string& error)>;

// Reads a file from disk, refusing one too large for a launcher image.
bool loadFileFromDisk(const std::string& path, std::vector<uint8_t>& content, std::string& error);

struct PackInput {
    std::optional<BlockWriter> writer;  // set when there were no errors
    std::vector<Diagnostic> errors;
    std::vector<Diagnostic> warnings;
};

// Parses the input text; included-file paths are taken relative to baseDir (the input file's
// folder) and read through load.
PackInput parsePackInput(std::string_view text, const std::string& baseDir,
                         const FileLoader& load = loadFileFromDisk);

// "name:line: message" ("name: message" for line 0).
std::string formatDiagnostic(std::string_view inputName, const Diagnostic& diagnostic,
                             bool warning = false);

// The largest launcher image: the launcher computes file offsets in 32 bits, signed.
constexpr uint64_t kMaxImageSize = 0x7FFFFFFF;

// Splits the names of config string 2003 at ';' the way the launcher does (runs of ';' are
// skipped, so no name is empty).
std::vector<std::string> splitIncludedNames(std::string_view names);

// Converts a config string to a number the way the launcher does (C atoi, clamped).
int64_t configNumber(std::string_view text);

}  // namespace pack
