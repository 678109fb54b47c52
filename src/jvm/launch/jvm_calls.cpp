// The JNI calls of the launch (see jvm_calls.h).
#include "jvm/launch/jvm_calls.h"

#include <cstddef>
#include <limits>

#include "common/log.h"

namespace launcher {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Appends the UTF-16 code units of the text to any container of 16-bit units.
template <typename Units>
void appendUtf16(std::wstring_view text, Units& out) {
    using Unit = typename Units::value_type;
    for (const wchar_t ch : text) {
        if constexpr (sizeof(wchar_t) == 2) {
            out.push_back(static_cast<Unit>(ch));
        } else {
            char32_t point = static_cast<char32_t>(ch);
            if (point > 0x10FFFF) point = kReplacement;
            if (point >= 0x10000) {
                point -= 0x10000;
                out.push_back(static_cast<Unit>(0xD800 + (point >> 10)));
                out.push_back(static_cast<Unit>(0xDC00 + (point & 0x3FF)));
            } else {
                out.push_back(static_cast<Unit>(point));
            }
        }
    }
}

// The wide text of a run of UTF-16 code units.
template <typename Unit>
std::wstring wideFromUnits(const Unit* units, size_t count) {
    std::wstring out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const char32_t unit = static_cast<char32_t>(units[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            out.push_back(static_cast<wchar_t>(unit));
        } else {
            const char32_t low = i + 1 < count ? static_cast<char32_t>(units[i + 1]) : 0;
            if (unit >= 0xD800 && unit <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
                out.push_back(
                    static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
                ++i;
            } else {
                out.push_back(static_cast<wchar_t>(unit));
            }
        }
    }
    return out;
}

// A Java string from UTF-16 text (NewString); null when it cannot be made.
jstring newJavaString(JNIEnv* env, std::wstring_view text) {
    std::vector<jchar> units;
    units.reserve(text.size());
    appendUtf16(text, units);
    if (units.size() > static_cast<size_t>(std::numeric_limits<jsize>::max())) return nullptr;
    static const jchar kEmpty = 0;
    return env->NewString(units.empty() ? &kEmpty : units.data(), static_cast<jsize>(units.size()));
}

// The wide text of a Java string (its UTF-16 characters); empty when they cannot be read.
std::wstring javaStringText(JNIEnv* env, jstring text) {
    const jsize length = env->GetStringLength(text);
    const jchar* chars = env->GetStringChars(text, nullptr);
    if (chars == nullptr) return std::wstring();
    std::wstring out = wideFromUnits(chars, length > 0 ? static_cast<size_t>(length) : 0);
    env->ReleaseStringChars(text, chars);
    return out;
}

// The report of a failed assertion of the launch, naming the expression and its source line.
void reportAssertion(const char* expression, int line) {
    logError(L"assertion failed: %S (%S:%d)", expression, "windows/JavaVMLauncher", line);
}

void deleteLocal(JNIEnv* env, jobject ref) {
    if (ref != nullptr) env->DeleteLocalRef(ref);
}

}  // namespace

std::u16string toUtf16(std::wstring_view text) {
    std::u16string out;
    out.reserve(text.size());
    appendUtf16(text, out);
    return out;
}

std::wstring fromUtf16(std::u16string_view text) {
    return wideFromUnits(text.data(), text.size());
}

LaunchOutcome invokeLauncherMain(JNIEnv* env, std::string className,
                                 const std::vector<std::wstring>& elements) {
    for (char& ch : className) {
        if (ch == '.') ch = '/';
    }
    logMessage(L"main class: %S", className);

    const jclass launcherClass = env->FindClass(className.c_str());
    if (launcherClass == nullptr) {
        env->ExceptionClear();
        logError(L"could not find main class");
        return LaunchOutcome::LauncherClassMissing;
    }
    const jmethodID mainMethod =
        env->GetStaticMethodID(launcherClass, "main", "([Ljava/lang/String;)V");
    if (mainMethod == nullptr) {
        env->ExceptionClear();
        logError(L"could not find main method");
        deleteLocal(env, launcherClass);
        return LaunchOutcome::MainMethodMissing;
    }

    logMessage(L"param count: %d", static_cast<long long>(elements.size()));
    const jclass stringClass = env->FindClass("java/lang/String");
    jobjectArray paramArray = nullptr;
    if (stringClass != nullptr &&
        elements.size() <= static_cast<size_t>(std::numeric_limits<jsize>::max())) {
        paramArray = env->NewObjectArray(static_cast<jsize>(elements.size()), stringClass, nullptr);
    }
    deleteLocal(env, stringClass);
    if (paramArray == nullptr) {
        env->ExceptionClear();
        reportAssertion("paramArray", 838);
        deleteLocal(env, launcherClass);
        return LaunchOutcome::ArrayNotCreated;
    }

    for (size_t index = 0; index < elements.size(); ++index) {
        logMessage(L"param %d: %s", static_cast<long long>(index), elements[index]);
        const jstring jstr = newJavaString(env, elements[index]);
        if (jstr == nullptr || env->ExceptionCheck()) {
            deleteLocal(env, jstr);
            env->ExceptionClear();
            reportAssertion("jstr", 842);
            deleteLocal(env, paramArray);
            deleteLocal(env, launcherClass);
            return LaunchOutcome::StringNotCreated;
        }
        env->SetObjectArrayElement(paramArray, static_cast<jsize>(index), jstr);
        env->DeleteLocalRef(jstr);
    }

    logMessage(L"calling main");
    jvalue arguments[1];
    arguments[0].l = paramArray;
    env->CallStaticVoidMethodA(launcherClass, mainMethod, arguments);
    logMessage(L"main returned");
    const bool returned = checkJavaException(env);
    deleteLocal(env, paramArray);
    deleteLocal(env, launcherClass);
    return returned ? LaunchOutcome::Returned : LaunchOutcome::Threw;
}

bool checkJavaException(JNIEnv* env) {
    // Hold the exception object before describing and clearing it: its text is read afterwards.
    const jthrowable exception = env->ExceptionOccurred();
    if (exception == nullptr) return true;
    logError(L"an exception occurred");
    env->ExceptionDescribe();
    env->ExceptionClear();

    // toString of java.lang.Throwable, called virtually on the exception object.
    const jclass throwableClass = env->FindClass("java/lang/Throwable");
    if (throwableClass != nullptr) {
        const jmethodID toString =
            env->GetMethodID(throwableClass, "toString", "()Ljava/lang/String;");
        if (toString != nullptr) {
            jvalue noArguments[1] = {};
            const jobject text = env->CallObjectMethodA(exception, toString, noArguments);
            if (text != nullptr && !env->ExceptionCheck()) {
                logError(L"%s", javaStringText(env, static_cast<jstring>(text)));
            }
            deleteLocal(env, text);
        }
        deleteLocal(env, throwableClass);
    }
    env->ExceptionClear();
    env->DeleteLocalRef(exception);
    return false;
}

bool callSplashConfig(JNIEnv* env, std::string_view launcherClassName,
                      const SplashSettings& settings) {
    const std::string className(launcherClassName);
    const jclass launcherClass = env->FindClass(className.c_str());
    if (launcherClass == nullptr) {
        env->ExceptionClear();
        logError(L"could not find main class for splash properties");
        return false;
    }
    const jmethodID splashMethod = env->GetStaticMethodID(
        launcherClass, "initAwtSplashConfig",
        "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V");
    if (splashMethod == nullptr) {
        env->ExceptionClear();
        logError(L"could not find method for splash properties");
        env->DeleteLocalRef(launcherClass);
        return false;
    }
    constexpr size_t kGroups = SplashSettings::kGroupCount;
    jstring texts[kGroups] = {};
    jvalue arguments[2 + 3 * kGroups];
    arguments[0].z = JNI_TRUE;
    arguments[1].z = settings.flag ? JNI_TRUE : JNI_FALSE;
    bool complete = true;
    for (size_t i = 0; i < kGroups && complete; ++i) {
        const SplashSettings::Group& group = settings.groups[i];
        texts[i] = env->NewStringUTF(group.text.c_str());
        // A string that could not be made leaves an exception pending: no further JNI call
        // but clearing it, and no call of the method with a missing text.
        complete = texts[i] != nullptr && !env->ExceptionCheck();
        arguments[2 + 3 * i].l = texts[i];
        arguments[3 + 3 * i].i = group.first;
        arguments[4 + 3 * i].i = group.second;
    }
    if (complete) {
        env->CallStaticVoidMethodA(launcherClass, splashMethod, arguments);
    } else {
        logError(L"could not create string for splash properties");
    }
    env->ExceptionClear();
    for (const jstring text : texts) deleteLocal(env, text);
    env->DeleteLocalRef(launcherClass);
    return complete;
}

bool callInitFromLauncher(JNIEnv* env, std::string_view runtimeClassName, bool flag) {
    const std::string className(runtimeClassName);
    const jclass runtimeClass = env->FindClass(className.c_str());
    if (runtimeClass == nullptr) {
        env->ExceptionClear();
        logError(L"did not find %S", className);
        return false;
    }
    bool called = false;
    const jmethodID initMethod = env->GetStaticMethodID(runtimeClass, "initFromLauncher", "(Z)V");
    if (initMethod == nullptr) {
        env->ExceptionClear();
        logError(L"did not find initMethod");
    } else {
        jvalue arguments[1];
        arguments[0].z = flag ? JNI_TRUE : JNI_FALSE;
        env->CallStaticVoidMethodA(runtimeClass, initMethod, arguments);
        // Native registration follows: it must not start with an exception pending.
        env->ExceptionClear();
        called = true;
    }
    env->DeleteLocalRef(runtimeClass);
    return called;
}

bool setModuleNameProperty(JNIEnv* env, std::wstring_view executablePathW) {
    const jclass systemClass = env->FindClass("java/lang/System");
    if (systemClass == nullptr) {
        env->ExceptionClear();
        logError(L"could not get system class");
        return false;
    }
    const jmethodID setProperty = env->GetStaticMethodID(
        systemClass, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    if (setProperty == nullptr) {
        env->ExceptionClear();
        logError(L"could not get method for module name init");
        env->DeleteLocalRef(systemClass);
        return false;
    }
    // Each string only when the one before it was made: a failed one leaves an exception pending.
    const jstring value = newJavaString(env, executablePathW);
    const jstring key = value != nullptr && !env->ExceptionCheck()
                            ? env->NewStringUTF("lumex.moduleName")
                            : nullptr;
    bool set = false;
    if (value == nullptr || key == nullptr || env->ExceptionCheck()) {
        env->ExceptionClear();
        logError(L"could not create string for init module name");
    } else {
        logMessage(L"setting lumex.moduleName to %s", executablePathW);
        jvalue arguments[2];
        arguments[0].l = key;
        arguments[1].l = value;
        const jobject previous = env->CallStaticObjectMethodA(systemClass, setProperty, arguments);
        deleteLocal(env, previous);
        set = !env->ExceptionCheck();
        env->ExceptionClear();
    }
    deleteLocal(env, key);
    deleteLocal(env, value);
    env->DeleteLocalRef(systemClass);
    return set;
}

}  // namespace launcher
