// The launch's JNI calls against a real JVM: the machine's HotSpot (JDK 17) loaded with dlopen
// and JNI_CreateJavaVM, as the launcher loads jvm.dll, calling the Java classes under java/.
// A process can create one JVM only: the environment below creates it before the tests and
// destroys it after them.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <jni.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/log_host.h"
#include "jvm/launch/jvm_calls.h"

namespace launcher {
namespace {

using CreateJavaVm = jint (*)(JavaVM**, void**, void*);

JavaVM* theVm = nullptr;
JNIEnv* theEnv = nullptr;

class JvmEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        library_ = dlopen(JVM_CONTRACT_LIBJVM, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
        const auto create = reinterpret_cast<CreateJavaVm>(dlsym(library_, "JNI_CreateJavaVM"));
        ASSERT_NE(create, nullptr) << "no JNI_CreateJavaVM in " << JVM_CONTRACT_LIBJVM;

        std::string classPath = std::string("-Djava.class.path=") + JVM_CONTRACT_CLASSES_DIR;
        std::string marker = "-Dcontract.marker=m\xc3\xa4rker";
        std::string unknown = "-XXunknownOptionOfTheContractTest";
        JavaVMOption options[3] = {};
        options[0].optionString = classPath.data();
        options[1].optionString = marker.data();
        options[2].optionString = unknown.data();
        JavaVMInitArgs args = {};
        args.version = JNI_VERSION_1_2;
        args.nOptions = 3;
        args.options = options;
        args.ignoreUnrecognized = JNI_TRUE;
        void* env = nullptr;
        ASSERT_EQ(create(&theVm, &env, &args), 0);
        theEnv = static_cast<JNIEnv*>(env);
        ASSERT_NE(theVm, nullptr);
        ASSERT_NE(theEnv, nullptr);
    }

    void TearDown() override {
        if (theVm == nullptr) return;
        EXPECT_EQ(theVm->DestroyJavaVM(), 0);
        theVm = nullptr;
        theEnv = nullptr;
        // libjvm.so stays loaded: a destroyed JVM cannot be created again in this process.
    }

private:
    void* library_ = nullptr;
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new JvmEnvironment);

class JvmContract : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(theEnv, nullptr) << "no JVM";
        env = theEnv;
        takeLogLines();
    }

    void TearDown() override {
        if (env != nullptr) {
            EXPECT_FALSE(env->ExceptionCheck()) << "an exception was left pending";
            env->ExceptionClear();
        }
    }

    static bool hasLine(const std::vector<std::wstring>& lines, const std::wstring& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    static bool hasLineContaining(const std::vector<std::wstring>& lines,
                                  const std::wstring& part) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::wstring& line) {
            return line.find(part) != std::wstring::npos;
        });
    }

    // The UTF-16 units of a Java string, read back independently of the code under test.
    std::u16string units(jstring text) {
        std::u16string out;
        const jsize length = env->GetStringLength(text);
        const jchar* chars = env->GetStringChars(text, nullptr);
        if (chars == nullptr) return out;
        for (jsize i = 0; i < length; ++i) out.push_back(static_cast<char16_t>(chars[i]));
        env->ReleaseStringChars(text, chars);
        return out;
    }

    jclass findClass(const char* name) {
        const jclass found = env->FindClass(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // The array the launcher class's main kept, as UTF-16 texts.
    std::vector<std::u16string> receivedArray() {
        std::vector<std::u16string> out;
        const jclass launcher = findClass("com/lumex/runtime/WinLauncher");
        if (launcher == nullptr) return out;
        const jfieldID field = env->GetStaticFieldID(launcher, "received", "[Ljava/lang/String;");
        EXPECT_NE(field, nullptr);
        const auto array = static_cast<jobjectArray>(env->GetStaticObjectField(launcher, field));
        EXPECT_NE(array, nullptr);
        if (array != nullptr) {
            const jsize length = env->GetArrayLength(array);
            for (jsize i = 0; i < length; ++i) {
                const auto element = static_cast<jstring>(env->GetObjectArrayElement(array, i));
                out.push_back(element != nullptr ? units(element) : u"(null)");
                env->DeleteLocalRef(element);
            }
            env->DeleteLocalRef(array);
        }
        env->DeleteLocalRef(launcher);
        return out;
    }

    int staticInt(const char* className, const char* fieldName) {
        const jclass owner = findClass(className);
        if (owner == nullptr) return -1;
        const jfieldID field = env->GetStaticFieldID(owner, fieldName, "I");
        EXPECT_NE(field, nullptr);
        const int value = field != nullptr ? env->GetStaticIntField(owner, field) : -1;
        env->DeleteLocalRef(owner);
        return value;
    }

    std::u16string staticString(const char* className, const char* fieldName) {
        const jclass owner = findClass(className);
        if (owner == nullptr) return u"(no class)";
        const jfieldID field = env->GetStaticFieldID(owner, fieldName, "Ljava/lang/String;");
        EXPECT_NE(field, nullptr);
        std::u16string out = u"(null)";
        if (field != nullptr) {
            const auto value = static_cast<jstring>(env->GetStaticObjectField(owner, field));
            if (value != nullptr) out = units(value);
            env->DeleteLocalRef(value);
        }
        env->DeleteLocalRef(owner);
        return out;
    }

    std::u16string systemProperty(const char* name) {
        const jclass system = findClass("java/lang/System");
        if (system == nullptr) return u"(no class)";
        const jmethodID getProperty =
            env->GetStaticMethodID(system, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
        EXPECT_NE(getProperty, nullptr);
        std::u16string out = u"(null)";
        const jstring key = env->NewStringUTF(name);
        jvalue arguments[1];
        arguments[0].l = key;
        const auto value =
            static_cast<jstring>(env->CallStaticObjectMethodA(system, getProperty, arguments));
        if (value != nullptr) out = units(value);
        env->DeleteLocalRef(value);
        env->DeleteLocalRef(key);
        env->DeleteLocalRef(system);
        return out;
    }

    JNIEnv* env = nullptr;
};

TEST_F(JvmContract, TheCreationOptionsReachTheJvm) {
    EXPECT_EQ(systemProperty("contract.marker"), u"m\u00e4rker");
    const std::string classesDir = JVM_CONTRACT_CLASSES_DIR;
    EXPECT_EQ(systemProperty("java.class.path"),
              std::u16string(classesDir.begin(), classesDir.end()));
}

TEST_F(JvmContract, MainReceivesTheExactArray) {
    const int callsBefore = staticInt("com/lumex/runtime/WinLauncher", "calls");
    const std::vector<std::wstring> elements = {
        L"true",    L"/com.acme.app/com.acme.app.Main", L"",        L"C:\\app dir\\lib", L"false",
        L"svc.exe", L"f\u00f6\u00f6 \U0001F600",        L"-J-Xmx1g"};
    EXPECT_EQ(invokeLauncherMain(env, "com.lumex.runtime.WinLauncher", elements),
              LaunchOutcome::Returned);
    EXPECT_EQ(staticInt("com/lumex/runtime/WinLauncher", "calls"), callsBefore + 1);

    const std::vector<std::u16string> expected = {
        u"true",    u"/com.acme.app/com.acme.app.Main", u"",        u"C:\\app dir\\lib", u"false",
        u"svc.exe", u"f\u00f6\u00f6 \U0001F600",        u"-J-Xmx1g"};
    EXPECT_EQ(receivedArray(), expected);
    EXPECT_EQ(expected[6].size(), 6u) << "the emoji is one surrogate pair";

    const std::vector<std::wstring> lines = takeLogLines();
    EXPECT_TRUE(hasLine(lines, L"main class: com/lumex/runtime/WinLauncher"));
    EXPECT_TRUE(hasLine(lines, L"param count: 8"));
    EXPECT_TRUE(hasLine(lines, L"param 0: true"));
    EXPECT_TRUE(hasLine(lines, L"param 2: "));
    EXPECT_TRUE(hasLine(lines, L"param 6: f\u00f6\u00f6 \U0001F600"));
    EXPECT_TRUE(hasLine(lines, L"calling main"));
    EXPECT_TRUE(hasLine(lines, L"main returned"));
    EXPECT_FALSE(hasLineContaining(lines, L"ERROR: "));
}

TEST_F(JvmContract, AnEmptyArrayIsPassed) {
    EXPECT_EQ(invokeLauncherMain(env, "com/lumex/runtime/WinLauncher", {}),
              LaunchOutcome::Returned);
    EXPECT_TRUE(receivedArray().empty());
    EXPECT_TRUE(hasLine(takeLogLines(), L"param count: 0"));
}

TEST_F(JvmContract, AThrowingMainIsReportedWithItsText) {
    EXPECT_EQ(invokeLauncherMain(env, "contract.Thrower", {L"a"}), LaunchOutcome::Threw);
    const std::vector<std::wstring> lines = takeLogLines();
    EXPECT_TRUE(hasLine(lines, L"main returned"));
    EXPECT_TRUE(hasLine(lines, L"ERROR: an exception occurred"));
    EXPECT_TRUE(hasLineContaining(lines, L"IllegalStateException: bad \u00e4"));
    EXPECT_TRUE(hasLine(lines, L"ERROR: java.lang.IllegalStateException: bad \u00e4"));
    EXPECT_FALSE(env->ExceptionCheck());
}

TEST_F(JvmContract, TheExceptionTextComesFromItsOwnToString) {
    EXPECT_EQ(invokeLauncherMain(env, "contract/OwnTextThrower", {}), LaunchOutcome::Threw);
    const std::vector<std::wstring> lines = takeLogLines();
    EXPECT_TRUE(hasLine(lines, L"ERROR: an exception occurred"));
    EXPECT_TRUE(hasLine(lines, L"ERROR: own text \u00fc \U0001F600"));
}

TEST_F(JvmContract, NoPendingExceptionIsNotReported) {
    EXPECT_TRUE(checkJavaException(env));
    EXPECT_TRUE(takeLogLines().empty());
}

TEST_F(JvmContract, AMissingLauncherClassIsReported) {
    EXPECT_EQ(invokeLauncherMain(env, "com.lumex.runtime.NoSuchLauncher", {L"x"}),
              LaunchOutcome::LauncherClassMissing);
    const std::vector<std::wstring> lines = takeLogLines();
    EXPECT_TRUE(hasLine(lines, L"main class: com/lumex/runtime/NoSuchLauncher"));
    EXPECT_TRUE(hasLine(lines, L"ERROR: could not find main class"));
    EXPECT_FALSE(hasLine(lines, L"calling main"));
}

TEST_F(JvmContract, AClassWithoutMainIsReported) {
    EXPECT_EQ(invokeLauncherMain(env, "contract.NoMain", {L"x"}), LaunchOutcome::MainMethodMissing);
    const std::vector<std::wstring> lines = takeLogLines();
    EXPECT_TRUE(hasLine(lines, L"ERROR: could not find main method"));
    EXPECT_FALSE(hasLine(lines, L"calling main"));
}

TEST_F(JvmContract, InitFromLauncherReceivesTheFlag) {
    const char* runtimeClass = "com/parcelkit/runtime/installer/platform/win32/Common";
    const std::u16string before = staticString(runtimeClass, "flags");
    EXPECT_TRUE(callInitFromLauncher(env, runtimeClass, true));
    EXPECT_TRUE(callInitFromLauncher(env, runtimeClass, false));
    EXPECT_EQ(staticString(runtimeClass, "flags"), before + u"TF");
    EXPECT_TRUE(takeLogLines().empty());
}

TEST_F(JvmContract, AMissingRuntimeClassOrInitMethodIsReported) {
    EXPECT_FALSE(callInitFromLauncher(env, "com/parcelkit/runtime/NoSuchCommon", true));
    EXPECT_TRUE(hasLine(takeLogLines(), L"ERROR: did not find com/parcelkit/runtime/NoSuchCommon"));
    EXPECT_FALSE(callInitFromLauncher(env, "contract/NoMain", true));
    EXPECT_TRUE(hasLine(takeLogLines(), L"ERROR: did not find initMethod"));
}

TEST_F(JvmContract, TheSplashSettingsArePassedInOrder) {
    SplashSettings settings;
    settings.flag = false;
    settings.groups = {
        {{"splash.png", 1, 2}, {"", -3, 4}, {"Loading \xc3\xa4", 5, 6}, {"font", 7, 2147483647}}};
    EXPECT_TRUE(callSplashConfig(env, "com/lumex/runtime/WinLauncher", settings));
    EXPECT_EQ(staticString("com/lumex/runtime/WinLauncher", "splash"),
              u"true false [splash.png] 1 2 [] -3 4 [Loading \u00e4] 5 6 [font] 7 2147483647");
    EXPECT_TRUE(takeLogLines().empty());
}

TEST_F(JvmContract, AMissingSplashClassOrMethodIsReported) {
    EXPECT_FALSE(callSplashConfig(env, "com/lumex/runtime/NoSuchLauncher", SplashSettings{}));
    EXPECT_TRUE(hasLine(takeLogLines(), L"ERROR: could not find main class for splash properties"));
    EXPECT_FALSE(callSplashConfig(env, "contract/NoMain", SplashSettings{}));
    EXPECT_TRUE(hasLine(takeLogLines(), L"ERROR: could not find method for splash properties"));
}

TEST_F(JvmContract, TheModuleNamePropertyTakesTheLongPath) {
    const std::wstring path = L"C:\\Program Files\\Gr\u00fc\u00dfe \U0001F600\\svc.exe";
    EXPECT_TRUE(setModuleNameProperty(env, path));
    EXPECT_EQ(systemProperty("lumex.moduleName"),
              u"C:\\Program Files\\Gr\u00fc\u00dfe \U0001F600\\svc.exe");
    EXPECT_TRUE(hasLine(takeLogLines(), L"setting lumex.moduleName to " + path));
}

TEST(Utf16, WideTextBecomesUtf16CodeUnits) {
    EXPECT_EQ(toUtf16(L""), u"");
    EXPECT_EQ(toUtf16(L"abc \u00e4\u20ac"), u"abc \u00e4\u20ac");
    EXPECT_EQ(toUtf16(L"\U0001F600\U0010FFFF"), u"\U0001F600\U0010FFFF");
    EXPECT_EQ(fromUtf16(u"x\U0001F600y"), L"x\U0001F600y");
    // A lone surrogate stays one code unit both ways.
    const std::u16string lone = {u'a', static_cast<char16_t>(0xD800), u'b'};
    EXPECT_EQ(toUtf16(fromUtf16(lone)), lone);
    if constexpr (sizeof(wchar_t) == 4) {
        const std::wstring tooLarge(1, static_cast<wchar_t>(0x110000));
        EXPECT_EQ(toUtf16(tooLarge), u"\uFFFD");
    }
}

}  // namespace
}  // namespace launcher
