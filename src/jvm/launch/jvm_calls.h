// The JNI calls of the launch, over a JNIEnv of the JVM thread and plain values, so the same code
// runs against any JVM (the machine's HotSpot in the host contract test, the stand-in jvm.dll
// under Wine, the application's runtime on Windows). Nothing here ends the process: failures are
// logged and returned, the Windows caller turns them into its fatal messages.
//
// The JNI functions used: FindClass, GetStaticMethodID, GetMethodID, NewObjectArray, NewString,
// NewStringUTF, SetObjectArrayElement, CallStaticVoidMethodA, CallStaticObjectMethodA,
// CallObjectMethodA, GetStringLength, GetStringChars, ReleaseStringChars, ExceptionOccurred,
// ExceptionDescribe, ExceptionClear, ExceptionCheck, DeleteLocalRef (the jvalue-array forms of
// the calls, no C varargs).
#pragma once

#include <jni.h>

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace launcher {

enum class LaunchOutcome {
    Returned,              // main returned without a pending exception
    Threw,                 // main ended with an exception (reported and cleared)
    LauncherClassMissing,  // the launcher class was not found (the caller shows message 1010)
    MainMethodMissing,     // its static main(String[]) was not found (message 1011)
    ArrayNotCreated,       // the String array could not be created (assertion "paramArray")
    StringNotCreated,      // an element could not be made a Java string (assertion "jstr")
};

// Calls the static main(String[]) of the launcher class (dots become slashes) with the elements
// as a Java String array, made from their UTF-16 text.
LaunchOutcome invokeLauncherMain(JNIEnv* env, std::string className,
                                 const std::vector<std::wstring>& elements);

// True when no exception is pending; otherwise reports "an exception occurred" and the
// exception's toString text, describes and clears it, and returns false.
bool checkJavaException(JNIEnv* env);

// The splash settings handed to the launcher class unchanged (their meaning is the runtime's):
// a flag, then four groups of a text and two numbers, in the order the configuration lists them.
struct SplashSettings {
    struct Group {
        std::string text;  // passed with NewStringUTF
        int first = 0;
        int second = 0;
    };
    static constexpr size_t kGroupCount = 4;
    bool flag = false;
    std::array<Group, kGroupCount> groups;
};

// Calls the static initAwtSplashConfig of the launcher class (JNI form, e.g.
// "com/lumex/runtime/WinLauncher") with true, the flag and the four groups. False when the class
// or the method is missing (reported: an older runtime may lack it) or a text could not be made
// (the method is then not called). Exceptions of a failed step or thrown by the call are cleared.
bool callSplashConfig(JNIEnv* env, std::string_view launcherClassName,
                      const SplashSettings& settings);

// Calls the static initFromLauncher(boolean) of the runtime class (JNI form, e.g.
// "com/parcelkit/runtime/installer/platform/win32/Common"). False when the class or the method
// is missing (reported). Exceptions of a failed look-up or thrown by the call are cleared.
bool callInitFromLauncher(JNIEnv* env, std::string_view runtimeClassName, bool flag);

// Sets the system property "lumex.moduleName" to the executable's long path through
// java.lang.System.setProperty. False (reported) when the class, the method or a string is
// missing; an exception pending after a failed step or thrown by the call is cleared.
bool setModuleNameProperty(JNIEnv* env, std::wstring_view executablePathW);

// UTF-16 code units of a wide text: copied where wchar_t is 16 bits (Windows); encoded as
// surrogate pairs above U+FFFF where it is 32 bits (values above U+10FFFF become U+FFFD).
std::u16string toUtf16(std::wstring_view text);
// The reverse: valid surrogate pairs are joined where wchar_t is 32 bits; lone surrogates stay.
std::wstring fromUtf16(std::u16string_view text);

}  // namespace launcher
