// Running the Java application in this process: the run commands and the service child.
#pragma once

#include <string>
#include <vector>

namespace launcher {

// Runs the application with the argument list; serviceChild is true on the service child's
// road. Returns only when the launch succeeded; every failure ends the process.
void runApplication(std::vector<std::wstring>& arguments, bool serviceChild);

}  // namespace launcher
