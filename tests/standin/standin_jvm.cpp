// jvm.dll of the stand-in runtime, for HOME\bin\<variant>\jvm.dll. Records in
// HOME\standin-loads.log:
//   load dll=<module path>          when a process loads it
//   refused dll=<module path>       instead, when standin.cfg's refuse_load names this dll's
//                                   folder (comma-separated names, case-insensitive, or "*");
//                                   the load then fails (DllMain returns FALSE)
//   create options=<n>              on JNI_CreateJavaVM, followed by
//   option <i>: <optionString>      for each JavaVMOption (i from 0)
// JNI_CreateJavaVM does not create a virtual machine yet: it records and returns JNI_ERR.
// JNI_GetDefaultJavaVMInitArgs and JNI_GetCreatedJavaVMs return JNI_ERR.
#include <windows.h>

#include <string>
#include <string_view>

#define _JNI_IMPLEMENTATION_
#include <jni.h>

#include "standin_home.h"

namespace {

HMODULE thisModule = nullptr;

std::wstring loadRecord() {
    return standin::findHome(standin::modulePath(thisModule), 2).file(standin::kLoadRecordName);
}

void record(std::string_view line) {
    standin::appendRecord(loadRecord(), line);
}

bool sameName(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Whether the comma-separated list names the variant (or is "*").
bool listed(const std::string& list, const std::wstring& variant) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        std::string_view item(list.data() + start, end - start);
        while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\r')) item.remove_suffix(1);
        if (item == "*") return true;
        const int n =
            MultiByteToWideChar(CP_UTF8, 0, item.data(), static_cast<int>(item.size()), nullptr, 0);
        std::wstring name(static_cast<size_t>(n), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, item.data(), static_cast<int>(item.size()), name.data(), n);
        if (!name.empty() && sameName(name, variant)) return true;
        start = end + 1;
    }
    return false;
}

// Loading: record it, or refuse it when this variant is listed in refuse_load.
BOOL attach() {
    const std::wstring dll = standin::modulePath(thisModule);
    const standin::Home home = standin::findHome(dll, 2);
    const std::wstring variant = standin::baseName(standin::parentDir(dll));
    const bool refused = listed(home.config.text("refuse_load"), variant);
    standin::appendRecord(
        home.file(standin::kLoadRecordName),
        (refused ? "refused dll=" : "load dll=") + standin::recordValue(standin::utf8(dll)));
    return refused ? FALSE : TRUE;
}

// The virtual machine's side of a launch. For now it records what it was given and declines.
jint createVm(JavaVM** vm, JNIEnv** env, const JavaVMInitArgs& args) {
    *vm = nullptr;
    *env = nullptr;
    std::string lines = "create options=" + std::to_string(args.nOptions);
    for (jint i = 0; i < args.nOptions; ++i) {
        const char* option = args.options[i].optionString;
        lines += "\noption " + std::to_string(i) + ": " +
                 standin::recordValue(option != nullptr ? option : "(null)");
    }
    record(lines);
    return JNI_ERR;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    thisModule = instance;
    DisableThreadLibraryCalls(instance);
    return attach();
}

extern "C" {

JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void*) {
    return JNI_ERR;
}

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** pvm, void** penv, void* args) {
    if (pvm == nullptr || penv == nullptr || args == nullptr) return JNI_ERR;
    return createVm(pvm, reinterpret_cast<JNIEnv**>(penv), *static_cast<JavaVMInitArgs*>(args));
}

JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM**, jsize, jsize*) {
    return JNI_ERR;
}

}  // extern "C"
