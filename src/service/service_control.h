// The service control commands: install, start, status, stop, uninstall and their variants.
#pragma once

#include <string>
#include <vector>

#include "launcher/command_line.h"

namespace launcher {

// Runs one service command row; arguments are those after the command word (the service name
// first, when given). Returns the process exit code.
int runServiceCommand(Command command, const std::vector<std::wstring>& arguments);

}  // namespace launcher
