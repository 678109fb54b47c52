// Plays the launcher on the machine's HotSpot (or the libjvm.so named by RUNTIME_LIBJVM):
//   runtime_driver JVM-OPTION... -- LAUNCHER-CLASS ELEMENT...
// creates the JVM, passes the splash settings and the native-side flag, calls main with the
// elements (UTF-8 here) and prints the launch's log to stderr. Like the launcher: exit code 1
// when main threw (the JVM left as it is), else DestroyJavaVM and exit code 0. With the
// variable RUNTIME_RUN_DIRECTORY set it marks that directory as the launcher marks the per-run
// directory it made.
#include <dlfcn.h>
#include <jni.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/log_host.h"
#include "env/run_mark.h"
#include "jvm/launch/jvm_calls.h"

int main(int argc, char** argv) {
    std::vector<JavaVMOption> options;
    int index = 1;
    for (; index < argc && std::string(argv[index]) != "--"; ++index) {
        options.push_back(JavaVMOption{argv[index], nullptr});
    }
    if (index + 1 >= argc) return 2;
    std::vector<std::wstring> elements;
    std::setlocale(LC_CTYPE, "C.UTF-8");
    for (int element = index + 2; element < argc; ++element) {
        std::wstring wide(std::mbstowcs(nullptr, argv[element], 0) + 1, L'\0');
        wide.resize(std::mbstowcs(wide.data(), argv[element], wide.size()));
        elements.push_back(wide);
    }

    if (const char* runDirectory = std::getenv("RUNTIME_RUN_DIRECTORY")) {
        std::random_device source;
        uint8_t random[launcher::kRunMarkRandomBytes];
        for (uint8_t& byte : random) byte = static_cast<uint8_t>(source());
        const std::string mark =
            launcher::runMarkText(static_cast<uint32_t>(getpid()), random, sizeof random);
        std::ofstream(std::string(runDirectory) + "/" + launcher::kRunMarkFile) << mark;
        setenv(launcher::kRunMarkVariable, mark.c_str(), 1);
    }

    const char* libjvm = std::getenv("RUNTIME_LIBJVM");
    void* library = dlopen(libjvm != nullptr ? libjvm : RUNTIME_LIBJVM, RTLD_NOW | RTLD_LOCAL);
    const auto create = library != nullptr ? reinterpret_cast<jint (*)(JavaVM**, void**, void*)>(
                                                 dlsym(library, "JNI_CreateJavaVM"))
                                           : nullptr;
    JavaVMInitArgs args = {JNI_VERSION_1_2, static_cast<jint>(options.size()), options.data(),
                           JNI_TRUE};
    JavaVM* vm = nullptr;
    void* env = nullptr;
    if (create == nullptr || create(&vm, &env, &args) != 0) return 1;
    JNIEnv* const jni = static_cast<JNIEnv*>(env);
    launcher::SplashSettings splash;
    splash.groups = {{{"splash.png", 1, 2}, {"", -3, 4}, {"Loading", 5, 6}, {"font", 7, 8}}};
    launcher::callSplashConfig(jni, "com/lumex/runtime/WinLauncher", splash);
    launcher::callInitFromLauncher(jni, "com/parcelkit/runtime/installer/platform/win32/Common",
                                   true);
    jni->ExceptionClear();
    const auto outcome = launcher::invokeLauncherMain(jni, argv[index + 1], elements);

    std::setlocale(LC_CTYPE, "C.UTF-8");  // the JVM set the environment's locale
    for (const std::wstring& line : launcher::takeLogLines())
        std::fprintf(stderr, "%ls\n", line.c_str());
    std::fflush(stderr);
    if (outcome != launcher::LaunchOutcome::Returned) std::_Exit(1);
    return vm->DestroyJavaVM() == 0 ? 0 : 1;
}
