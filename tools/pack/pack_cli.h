// The pack command line: `pack build`, `pack inspect`, `pack --help`.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace pack {

// Runs one command (args without the program name) and returns the exit code: 0 success,
// 1 failure (unreadable or unusable files, a damaged block), 2 bad usage or bad input lines.
int runPack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace pack
