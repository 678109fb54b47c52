// The Java runtime chosen by the JVM search; written during discovery, read afterwards.
#pragma once

#include <string>

namespace launcher {

struct SelectedRuntime {
    // The Java executable's directory followed by "\..", narrow; empty until a runtime is chosen.
    std::string jvmHome;
};

SelectedRuntime& selectedRuntime();

}  // namespace launcher
