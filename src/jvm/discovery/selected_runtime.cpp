#include "jvm/discovery/selected_runtime.h"

namespace launcher {

SelectedRuntime& selectedRuntime() {
    static SelectedRuntime runtime;
    return runtime;
}

}  // namespace launcher
