// A do-nothing GUI program built exactly like the launcher stub: the baseline for start-up
// timings under Wine.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int show) {
    return wWinMain(instance, previous, ::GetCommandLineW(), show);
}
