// A do-nothing GUI program that sleeps until it is ended: the baseline for the service host's
// resident memory under Wine.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    ::Sleep(INFINITE);
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int show) {
    return wWinMain(instance, previous, ::GetCommandLineW(), show);
}
