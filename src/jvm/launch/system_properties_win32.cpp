#include <windows.h>

#include <cstdlib>

#include "env/paths.h"
#include "jvm/launch/system_properties.h"

namespace launcher {

SystemPropertyInputs currentSystemPropertyInputs() {
    SystemPropertyInputs inputs;
    inputs.executablePath = executablePathA();
    const DWORD size = ::GetEnvironmentVariableA("PATH", nullptr, 0);
    if (size > 0) {
        std::string path(size, '\0');
        const DWORD n = ::GetEnvironmentVariableA("PATH", path.data(), size);
        if (n < size) {
            path.resize(n);
            inputs.path = std::move(path);
        }
    }
    inputs.manpathSet = std::getenv("MANPATH") != nullptr;
    inputs.consoleCodePage = ::GetConsoleOutputCP();
    return inputs;
}

}  // namespace launcher
