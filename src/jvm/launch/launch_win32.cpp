#include <windows.h>

#include <new>
#include <utility>

#include "common/fatal.h"
#include "common/log.h"
#include "common/unique_handle.h"
#include "config/settings.h"
#include "env/paths.h"
#include "jvm/launch/jvm_calls.h"
#include "jvm/launch/launch.h"
#include "jvm/launch/launch_arguments.h"

namespace launcher {

namespace {

constexpr char kLumexLauncherClass[] = "com/lumex/runtime/WinLauncher";
constexpr char kParcelkitLauncherClass[] = "com/parcelkit/runtime/launcher/WinLauncher";
// The splash call goes to the lumex class whatever the family.
constexpr char kSplashClass[] = "com/lumex/runtime/WinLauncher";
constexpr char kRuntimeClass[] = "com/parcelkit/runtime/installer/platform/win32/Common";
constexpr wchar_t kHelperLibrary[] = L".parcelkit\\pkxinst.dll";

using CreateJavaVmFunction = jint(JNICALL*)(JavaVM**, void**, void*);
using RegisterNativesFunction = BOOL (*)(JNIEnv*, HMODULE, BOOL, void (*)(const wchar_t*, ...));

// The parcelkit runtime's native library in the application directory registers its natives.
void loadHelperDll(JNIEnv* env, const LaunchRequest& request) {
    if (!request.parcelkitFamily) return;
    logMessage(L"load helper dll");
    std::wstring path;
    appendResolvedPath(path, request.applicationDirectory, nullptr, FolderForm::Wide);
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    path += kHelperLibrary;
    HMODULE helper = ::LoadLibraryW(path.c_str());
    logMessage(L"helper dll %p %s", static_cast<void*>(helper), path);
    if (request.legacyMinimumVersion) logMessage(L"partially registering natives");
    if (helper == nullptr) return;
    const auto registerNatives = reinterpret_cast<RegisterNativesFunction>(
        reinterpret_cast<void*>(::GetProcAddress(helper, "registerNativesEx")));
    if (registerNatives == nullptr) {
        logError(L"did not find register natives in helper dll");
        return;
    }
    if (!callInitFromLauncher(env, kRuntimeClass, true)) return;
    if (!registerNatives(env, helper, request.legacyMinimumVersion ? FALSE : TRUE,
                         logErrorCallback)) {
        env->ExceptionClear();
        logError(L"registering helper dll failed");
        callInitFromLauncher(env, kRuntimeClass, false);
    }
}

// What runs after a normal end of the JVM; set once before the JVM is created. The exit hook is
// a plain function, so it reaches the request through this.
const std::function<void()>* afterNormalEnd = nullptr;

void runAfterNormalEnd() {
    const std::function<void()>* run = std::exchange(afterNormalEnd, nullptr);
    if (run != nullptr && *run) (*run)();
}

// The JVM calls it at System.exit and Runtime.halt, after its own exit work; when it returns,
// the JVM ends the process as it would have without it.
void JNICALL jvmExitHook(jint) {
    runAfterNormalEnd();
}

char kExitHookOption[] = "exit";

// The option strings handed to the JVM. It may keep pointers into them for as long as it lives,
// and when main threw it is never destroyed: they stay until the process ends, past the
// exit-time destructors too, so they are built in storage that is never destroyed.
struct JvmOptionStorage {
    std::vector<std::string> strings;
    std::vector<JavaVMOption> options;
};

JvmOptionStorage& jvmOptionStorage(const std::vector<std::string>& from, bool exitHook) {
    alignas(JvmOptionStorage) static unsigned char place[sizeof(JvmOptionStorage)];
    auto* storage = new (place) JvmOptionStorage{from, {}};
    storage->options.resize(storage->strings.size());
    for (size_t i = 0; i < storage->strings.size(); ++i)
        storage->options[i].optionString = storage->strings[i].data();
    if (exitHook) {
        storage->options.push_back({kExitHookOption, reinterpret_cast<void*>(&jvmExitHook)});
    }
    return *storage;
}

// The JVM thread's body: creates the JVM, prepares the runtime and calls the launcher class.
bool runJvm(const LaunchRequest& request) {
    logMessage(L"Creating JVM");
    // Runs once a process: a JVM is created only once.
    if (request.afterNormalEnd) afterNormalEnd = &request.afterNormalEnd;
    JvmOptionStorage& options = jvmOptionStorage(request.options, afterNormalEnd != nullptr);
    JavaVMInitArgs arguments{};
    arguments.version = JNI_VERSION_1_2;
    arguments.nOptions = static_cast<jint>(options.options.size());
    arguments.options = options.options.data();
    arguments.ignoreUnrecognized = JNI_TRUE;
    const auto create = reinterpret_cast<CreateJavaVmFunction>(request.createJavaVm);
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (create == nullptr || create(&vm, reinterpret_cast<void**>(&env), &arguments) != JNI_OK ||
        env == nullptr) {
        logError(L"could not initialize JVM");
        return false;
    }
    logMessage(L"JVM created");
    if (request.splash) callSplashConfig(env, kSplashClass, *request.splash);
    loadHelperDll(env, request);
    setModuleNameProperty(env, request.executablePath);
    env->ExceptionClear();
    const char* launcherClass =
        request.parcelkitFamily ? kParcelkitLauncherClass : kLumexLauncherClass;
    switch (invokeLauncherMain(env, launcherClass, request.elements)) {
        case LaunchOutcome::Returned:
            logMessage(L"dest JVM");
            vm->DestroyJavaVM();
            runAfterNormalEnd();
            logMessage(L"launch done");
            return true;
        case LaunchOutcome::Threw:
            logError(L"could not call main");
            return false;
        case LaunchOutcome::LauncherClassMissing:
            fatalMessage(Message::LauncherClassNotFound);
        case LaunchOutcome::MainMethodMissing:
            fatalMessage(Message::MainMethodNotFound);
        case LaunchOutcome::ArrayNotCreated:
            fatalError(L"assertion failed: paramArray (windows/JavaVMLauncher:838)");
        case LaunchOutcome::StringNotCreated:
            fatalError(L"assertion failed: jstr (windows/JavaVMLauncher:842)");
    }
    return false;
}

DWORD WINAPI jvmThread(LPVOID request) {
    return runJvm(*static_cast<const LaunchRequest*>(request)) ? 1 : 0;
}

}  // namespace

bool launchProgram(const LaunchRequest& request) {
    const uint32_t stackSize = jvmThreadStackSize(request.options);
    logMessage(L"used stack size %d", static_cast<int>(stackSize));
    UniqueHandle thread(::CreateThread(nullptr, stackSize, jvmThread,
                                       const_cast<LaunchRequest*>(&request),
                                       STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    // Without a thread of its own the JVM runs on this one.
    if (!thread) return runJvm(request);
    ::WaitForSingleObject(thread.get(), INFINITE);
    DWORD code = 0;
    if (!::GetExitCodeThread(thread.get(), &code)) return false;
    return code != 0;
}

}  // namespace launcher
