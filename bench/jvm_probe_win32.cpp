// A bare program that only loads a jvm.dll (its path the first argument) and calls
// JNI_CreateJavaVM with one option: the floor under the launcher's time to the same call.
#include <windows.h>

#include <jni.h>

#include <string>
#include <vector>

#include "common/command_line.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // The launcher's own splitter: shell32 would cost this program a start-up the launcher
    // does not pay.
    std::vector<std::wstring> arguments;
    launcher::splitCommandLine(::GetCommandLineW(), arguments);
    if (arguments.size() < 2) return 2;
    HMODULE jvm = ::LoadLibraryW(arguments[1].c_str());
    if (jvm == nullptr) return 3;
    using Create = jint(JNICALL*)(JavaVM**, void**, void*);
    const auto create = reinterpret_cast<Create>(
        reinterpret_cast<void*>(::GetProcAddress(jvm, "JNI_CreateJavaVM")));
    if (create == nullptr) return 4;
    char option[] = "-Djava.class.path=.";
    JavaVMOption options[] = {{option, nullptr}};
    JavaVMInitArgs initArgs{JNI_VERSION_1_2, 1, options, JNI_TRUE};
    JavaVM* vm = nullptr;
    void* env = nullptr;
    return create(&vm, &env, &initArgs) == JNI_OK ? 0 : 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int show) {
    return wWinMain(instance, previous, ::GetCommandLineW(), show);
}
