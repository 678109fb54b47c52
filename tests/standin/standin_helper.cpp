// The application's helper library, for <app>\.parcelkit\pkxinst.dll. Its registerNativesEx
// records "registerNatives full=<0|1> module=<self|other>" (module: whether the handle given is
// this library's) in HOME\standin-jvm.log, where HOME is the runtime home of the jvm.dll loaded
// in the process (found as jvm.dll finds it); without a loaded jvm.dll, the folder above
// .parcelkit. It calls the error callback with L"helper says %s %d", L"hi", 7, so the
// launcher's formatter gets a C varargs call, then with conversions of the C runtime that the
// launcher's own texts never use, and returns standin.cfg's register_result (default 1).
#include <windows.h>

#define _JNI_IMPLEMENTATION_
#include <jni.h>

#include "standin_home.h"

extern "C" JNIEXPORT BOOL registerNativesEx(JNIEnv*, HMODULE module, BOOL full,
                                            void (*logError)(const wchar_t* format, ...)) {
    HMODULE self = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&registerNativesEx), &self);
    const HMODULE jvm = GetModuleHandleW(L"jvm.dll");
    const standin::Home home = jvm != nullptr ? standin::findHome(standin::modulePath(jvm), 2)
                                              : standin::findHome(standin::modulePath(self), 1);
    standin::appendRecord(home.file(L"standin-jvm.log"),
                          std::string("registerNatives full=") + (full ? "1" : "0") +
                              " module=" + (module == self ? "self" : "other"));
    if (logError != nullptr) {
        logError(L"helper says %s %d", L"hi", 7);
        logError(L"helper formats %x %s %5.1f|%-4d|%hs %I64u %s", 42, L"after", 2.5, 7, "narrow",
                 18446744073709551615ull, L"end");
    }
    return home.config.number("register_result", 1) != 0 ? TRUE : FALSE;
}
