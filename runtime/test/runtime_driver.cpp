// Runs a runtime jar's launcher class the way the launcher does, on the machine's HotSpot:
//   runtime_driver JVM-OPTION... -- LAUNCHER-CLASS ELEMENT...
// creates the JVM with the options, passes the splash settings and the native-side flag, calls
// main with the elements (UTF-8 here, UTF-16 for Java) and prints the launch's log to stderr.
// Like the launcher: exit code 1 when main threw (the JVM is left as it is), else DestroyJavaVM
// and exit code 0. A JVM can end the process itself too (System.exit).
#include <dlfcn.h>
#include <jni.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/log_host.h"
#include "jvm/launch/jvm_calls.h"

namespace {

std::wstring widen(const char* text) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    std::wstring out(std::mbstowcs(nullptr, text, 0) + 1, L'\0');
    out.resize(std::mbstowcs(out.data(), text, out.size()));
    return out;
}

void printLog() {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    for (const std::wstring& line : launcher::takeLogLines())
        std::fprintf(stderr, "%ls\n", line.c_str());
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<JavaVMOption> options;
    int index = 1;
    for (; index < argc && std::string(argv[index]) != "--"; ++index) {
        options.push_back(JavaVMOption{argv[index], nullptr});
    }
    if (index + 1 >= argc) {
        std::fprintf(stderr, "usage: runtime_driver JVM-OPTION... -- LAUNCHER-CLASS ELEMENT...\n");
        return 2;
    }
    const std::string launcherClass = argv[index + 1];
    std::vector<std::wstring> elements;
    for (int element = index + 2; element < argc; ++element)
        elements.push_back(widen(argv[element]));

    const char* libjvm = std::getenv("RUNTIME_LIBJVM");  // another JVM than the build's
    void* library = dlopen(libjvm != nullptr && *libjvm != '\0' ? libjvm : RUNTIME_LIBJVM,
                           RTLD_NOW | RTLD_LOCAL);
    const auto create = library != nullptr ? reinterpret_cast<jint (*)(JavaVM**, void**, void*)>(
                                                 dlsym(library, "JNI_CreateJavaVM"))
                                           : nullptr;
    JavaVMInitArgs args = {JNI_VERSION_1_2, static_cast<jint>(options.size()), options.data(),
                           JNI_TRUE};
    JavaVM* vm = nullptr;
    void* env = nullptr;
    if (create == nullptr || create(&vm, &env, &args) != 0) {
        std::fprintf(stderr, "could not initialize JVM\n");
        return 1;
    }
    JNIEnv* const jni = static_cast<JNIEnv*>(env);
    launcher::SplashSettings splash;
    splash.groups = {{{"splash.png", 1, 2}, {"", -3, 4}, {"Loading", 5, 6}, {"font", 7, 8}}};
    launcher::callSplashConfig(jni, "com/lumex/runtime/WinLauncher", splash);
    launcher::callInitFromLauncher(jni, "com/parcelkit/runtime/installer/platform/win32/Common",
                                   true);
    jni->ExceptionClear();
    const bool returned = launcher::invokeLauncherMain(jni, launcherClass, elements) ==
                          launcher::LaunchOutcome::Returned;
    printLog();
    if (!returned) std::_Exit(1);
    return vm->DestroyJavaVM() == 0 ? 0 : 1;
}
