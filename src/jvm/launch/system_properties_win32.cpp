#include <windows.h>

#include <cstdlib>

#include "env/path_environment.h"
#include "env/paths.h"
#include "jvm/launch/system_properties.h"

namespace launcher {

SystemPropertyInputs currentSystemPropertyInputs() {
    SystemPropertyInputs inputs;
    inputs.executablePath = executablePathA();
    inputs.path = environmentVariableA("PATH");
    inputs.manpathSet = std::getenv("MANPATH") != nullptr;
    inputs.consoleCodePage = ::GetConsoleOutputCP();
    inputs.watchdogPipe = environmentVariableA(kWatchdogPipeVariable).value_or(std::string());
    return inputs;
}

}  // namespace launcher
