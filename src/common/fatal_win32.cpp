#include <windows.h>

namespace launcher {

void terminateProcess(int code) {
    ::ExitProcess(static_cast<UINT>(code));
}

}  // namespace launcher
