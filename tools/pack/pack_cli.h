// The pack command line: `pack build`, `pack inspect`, `pack extract`, `pack --help`,
// `pack --version`.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "carried_files.h"

namespace pack {

// Runs one command (args without the program name) and returns the exit code: 0 success,
// 1 failure (unreadable or unusable files, a damaged block), 2 bad usage or bad input lines.
// `carried` is what the tool carries: the stub `build` uses without --stub, the runtime jars.
int runPack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            const CarriedFiles& carried);

}  // namespace pack
