// jvm.dll of the stand-in runtime, for HOME\bin\<variant>\jvm.dll: a small fake virtual machine
// the launcher can drive. Loading is recorded in HOME\standin-loads.log:
//   load dll=<module path>          when a process loads it
//   refused dll=<module path>       instead, when standin.cfg's refuse_load names this dll's
//                                   folder (comma-separated names, case-insensitive, or "*");
//                                   the load then fails (DllMain returns FALSE)
// Everything the launcher does with the machine goes to HOME\standin-jvm.log, one line a call:
//   create version=0x<hex> options=<n> ignoreUnrecognized=<0|1>, "option <i>: <text>" per option,
//     "stack reserve=<bytes>" (the creating thread's stack reservation, or "unknown")
//   find class <name>[ (missing)]        method <class>.<name><signature>[ (missing)]
//   main args=<n>, "arg <i>: <text>" per element; then "throw <text>", "exit <code>",
//     "serve stop" or "serve eof" as the Java side plays it; for "wait": "wait pid=<id>",
//     ["windows shown"], "released", [the two windows' states when released]
//   initFromLauncher <0|1>    splash <arguments>    property <key>=<value>
//   call <class>.<name><signature> <arguments>   (any other method call)
//   exception describe <text>    exception clear <text>    destroy    attach    detach
//   unexpected JNI call <index>  (then ExitProcess(86); "unexpected invocation call <index>" for
//                                 the JavaVM's table)
// Arguments are written space-separated: booleans 0/1, numbers in decimal, strings in double
// quotes (null: null), arrays as [<length>].
// standin.cfg keys: create_result (returned by JNI_CreateJavaVM when not 0), main (return,
// throw:<text>, exit:<code>, serve, or wait: the application runs until HOME\standin-release
// exists; with windows=1 it meanwhile shows a minimised window and keeps a hidden one, with
// grandchild=1 it first starts HOME\bin\java.exe --standin-wait and records "grandchild pid=<id>"),
// missing_classes and missing_methods (comma lists of "name" and "class.method" that are not found;
// a dotted class name is taken as slashes), fail_strings (comma list of texts: NewString and
// NewStringUTF of such a text fail with an OutOfMemoryError pending).
// Given a standard error file (launcher value 3), main writes "stand-in run" there, appending when
// value 4 is "true", and names it in an "info stderr=" line on the watchdog pipe.
// The watchdog (when the options hold -Dlumex.watchdogPipe=<name>, in "exit", "serve" and "wait"):
// main first opens the pipe, writes "hello 1" and its info lines and records "watchdog hello"; each
// "ping N" line on standard input is recorded and answered "pong N" on the pipe, "dump" is
// recorded, a thread dump goes to standard error and "dumped" to the pipe. standin.cfg's key
// watchdog: "silent" (the pipe is never opened, as by an older runtime) or "hang-after=<n>" (no
// pong after the first n, the process runs on). In "wait" a thread of its own reads the input.
// standin.cfg's key environment names a variable whose value main records first, as
// "environment <name>=<value>" ("(unset)" when absent).
// Like a JVM at its exit (DestroyJavaVM, or main's "exit:<code>"), it writes the class-data archive
// named by -XX:ArchiveClassesAtExit= or -XX:AOTCacheOutput= ("archive written <path>"); at
// "exit:<code>" it then calls the exit hook given as the option "exit".
// A JNI call that must not be made with an exception pending is recorded as "call with an
// exception pending: <what>" when it is. At the process's end, after a JVM was created, the option
// strings it was given are compared with what they held at creation (unless it was destroyed):
// "options at exit intact" or "options at exit changed".
#include <windows.h>

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#define _JNI_IMPLEMENTATION_
#include <jni.h>

#include "common/unique_handle.h"
#include "line_escapes.h"
#include "standin_home.h"

struct _jmethodID {
    std::string className, name, signature;
};

namespace {

// Every object: a class (named by className), a string or throwable (text) or an array.
struct Object {
    std::string className;
    bool isClass = false;
    bool isArray = false;
    std::u16string text;
    std::vector<Object*> elements;
};

constexpr std::string_view kKnownClasses[] = {
    "java/lang/String",
    "java/lang/System",
    "java/lang/Throwable",
    "java/lang/Object",
    "java/lang/IllegalStateException",
    "com/lumex/runtime/WinLauncher",
    "com/parcelkit/runtime/launcher/WinLauncher",
    "com/parcelkit/runtime/installer/platform/win32/Common"};

HMODULE thisModule = nullptr;
standin::Home home;
Object* pending = nullptr;  // the pending exception
bool created = false;
bool destroyed = false;  // after DestroyJavaVM the options are the launcher's again
std::map<std::string, Object*> classes;
std::map<std::string, _jmethodID*> methods;
std::map<std::u16string, std::u16string> properties;

void record(std::string_view line) {
    standin::appendRecord(home.file(L"standin-jvm.log"), line);
}

// What a JVM does at its exit: writes the class-data archive its options ask for, then calls
// the exit hook it was given (System.exit and halt only).
std::string archiveOutput;
void(JNICALL* exitHook)(jint) = nullptr;

void writeArchiveAtExit() {
    if (archiveOutput.empty()) return;
    const launcher::UniqueFile file(
        CreateFileA(archiveOutput.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (file) WriteFile(file.get(), "stand-in archive\r\n", 18, &written, nullptr);
    record("archive written " + standin::recordValue(archiveOutput));
    archiveOutput.clear();
}

std::string slashed(std::string name) {
    for (char& c : name) c = c == '.' ? '/' : c;
    return name;
}

std::string utf8(std::u16string_view text) {
    return standin::recordValue(
        standin::utf8({reinterpret_cast<const wchar_t*>(text.data()), text.size()}));
}

std::u16string utf16(std::string_view text) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(n > 0 ? n : 0), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                        reinterpret_cast<wchar_t*>(out.data()), n);
    return out;
}

// Whether the comma-separated list of standin.cfg key names the item (exactly, or "*").
bool inList(std::string_view key, std::string_view item) {
    const std::string list = home.config.text(key);
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        std::string_view entry(list.data() + start, end - start);
        while (!entry.empty() && entry.front() == ' ') entry.remove_prefix(1);
        while (!entry.empty() && entry.back() == ' ') entry.remove_suffix(1);
        if (entry == "*" || (!entry.empty() && slashed(std::string(entry)) == item)) return true;
        start = end + 1;
    }
    return false;
}

Object* of(const void* ref) {
    return static_cast<Object*>(const_cast<void*>(ref));
}

template <class T = jobject>
T ref(Object* object) {
    return reinterpret_cast<T>(object);
}

Object* newString(std::u16string text) {
    return new Object{"java/lang/String", false, false, std::move(text), {}};
}

Object* classObject(const std::string& name) {
    Object*& object = classes[name];
    if (object == nullptr) object = new Object{name, true, false, {}, {}};
    return object;
}

void throwNew(const std::string& className, std::string_view message) {
    std::string text = className;
    for (char& c : text) c = c == '/' ? '.' : c;
    if (!message.empty()) text += ": " + std::string(message);
    pending = new Object{className, false, false, utf16(text), {}};
}

// Records a call that JNI forbids while an exception is pending.
void checkNothingPending(std::string_view what) {
    if (pending != nullptr) record("call with an exception pending: " + std::string(what));
}

// A string the configuration says cannot be made: OutOfMemoryError, and null.
bool stringRefused(const std::u16string& text) {
    if (!inList("fail_strings", utf8(text))) return false;
    throwNew("java/lang/OutOfMemoryError", "");
    return true;
}

std::u16string toString(const Object* object) {
    if (object == nullptr) return u"null";
    if (object->isClass) return u"class " + utf16(object->className);
    if (object->isArray) return utf16(object->className + "@1");
    return object->text;
}

// The parameter kinds of a method signature: the type letter, '[' for any array.
std::string parameterKinds(std::string_view signature) {
    std::string kinds;
    for (size_t i = 1; i < signature.size() && signature[i] != ')'; ++i) {
        const char kind = signature[i];
        while (signature[i] == '[' && i + 1 < signature.size()) ++i;
        if (signature[i] == 'L') i = signature.find(';', i);
        if (i == std::string_view::npos) break;
        kinds += kind;
    }
    return kinds;
}

std::string describeArguments(const _jmethodID* method, const jvalue* args) {
    std::string out;
    const std::string kinds = parameterKinds(method->signature);
    for (size_t i = 0; i < kinds.size() && args != nullptr; ++i) {
        out += i == 0 ? "" : " ";
        const Object* object = of(args[i].l);
        switch (kinds[i]) {
            case 'Z':
                out += args[i].z ? "1" : "0";
                break;
            case 'B':
            case 'C':
            case 'S':
            case 'I':
                out += std::to_string(kinds[i] == 'I' ? args[i].i : args[i].s);
                break;
            case 'J':
                out += std::to_string(args[i].j);
                break;
            case 'F':
            case 'D':
                out += std::to_string(kinds[i] == 'F' ? args[i].f : args[i].d);
                break;
            case '[':
                out += object == nullptr ? "null"
                                         : "[" + std::to_string(object->elements.size()) + "]";
                break;
            default:
                out += object == nullptr ? "null" : "\"" + utf8(toString(object)) + "\"";
        }
    }
    return out;
}

std::vector<jvalue> fromVaList(const _jmethodID* method, va_list list) {
    std::vector<jvalue> args;
    for (const char kind : parameterKinds(method->signature)) {
        jvalue value{};
        switch (kind) {
            case 'Z':
            case 'B':
            case 'C':
            case 'S':
            case 'I':
                value.i = va_arg(list, jint);
                break;
            case 'J':
                value.j = va_arg(list, jlong);
                break;
            case 'F':
            case 'D':
                value.d = va_arg(list, double);
                if (kind == 'F') value.f = static_cast<jfloat>(value.d);
                break;
            default:
                value.l = va_arg(list, jobject);
        }
        args.push_back(value);
    }
    args.push_back(jvalue{});  // data() is never null
    return args;
}

// The application's two top-level windows while it waits: one shown minimised, one hidden. They
// live on a thread of their own that pumps their messages, as a real application's would.
struct Windows {
    HWND shown = nullptr;
    HWND hidden = nullptr;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

DWORD WINAPI windowThread(void* context) {
    auto& windows = *static_cast<Windows*>(context);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"StandinWindow";
    RegisterClassW(&windowClass);
    const auto create = [&](const wchar_t* title) {
        return CreateWindowExW(0, windowClass.lpszClassName, title, WS_OVERLAPPEDWINDOW, 10, 10,
                               200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
    };
    windows.shown = create(L"standin shown");
    windows.hidden = create(L"standin hidden");
    ShowWindow(windows.shown, SW_SHOWMINNOACTIVE);
    SetEvent(windows.ready);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}

std::string windowState(HWND window) {
    return "visible=" + std::to_string(IsWindowVisible(window) ? 1 : 0) +
           " iconic=" + std::to_string(IsIconic(window) ? 1 : 0) +
           " foreground=" + std::to_string(GetForegroundWindow() == window ? 1 : 0);
}

// Starts HOME\bin\java.exe --standin-wait, a process of the application's own that runs until
// the release too; records "grandchild pid=<id>".
void startGrandchild() {
    const std::wstring exe = home.file(L"bin\\java.exe");
    std::wstring commandLine = L"\"" + exe + L"\" --standin-wait";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process)) {
        record("grandchild failed " + std::to_string(GetLastError()));
        return;
    }
    record("grandchild pid=" + std::to_string(process.dwProcessId));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// Runs until the test lets the application go (at most two minutes).
void waitForRelease() {
    record("wait pid=" + std::to_string(GetCurrentProcessId()));
    if (home.config.number("grandchild", 0) != 0) startGrandchild();
    Windows windows;
    const bool withWindows = home.config.number("windows", 0) != 0;
    if (withWindows) {
        CloseHandle(CreateThread(nullptr, 0, windowThread, &windows, 0, nullptr));
        WaitForSingleObject(windows.ready, 30000);
        record("windows shown");
    }
    for (int i = 0; i < 1200 && GetFileAttributesW(home.file(L"standin-release").c_str()) ==
                                    INVALID_FILE_ATTRIBUTES;
         ++i) {
        Sleep(100);
    }
    record("released");
    if (withWindows) {
        record("window shown " + windowState(windows.shown));
        record("window hidden " + windowState(windows.hidden));
    }
}

// The watchdog pipe's name from the JVM's options; empty: none was given.
std::string watchdogPipeName;
// The standard error file main was given (launcher value 3), as the runtime redirects to it.
std::string errorFile;
launcher::UniqueFile watchdogPipe;  // written by one thread only
long long pongsLeft = -1;           // -1: every ping is answered

void writeWatchdog(std::string_view line) {
    DWORD written = 0;
    if (watchdogPipe && !WriteFile(watchdogPipe.get(), line.data(), static_cast<DWORD>(line.size()),
                                   &written, nullptr)) {
        record("watchdog write failed " + std::to_string(GetLastError()));
    }
}

// Opens the watchdog pipe and says hello, unless standin.cfg says the runtime stays silent.
void watchdogHello() {
    if (watchdogPipeName.empty()) return;
    const std::string behaviour = home.config.text("watchdog");
    if (behaviour == "silent") return record("watchdog silent");
    constexpr std::string_view kHangAfter = "hang-after=";
    if (behaviour.starts_with(kHangAfter))
        pongsLeft = std::strtoll(behaviour.c_str() + kHangAfter.size(), nullptr, 10);
    const std::u16string name = utf16(watchdogPipeName);
    watchdogPipe.reset(CreateFileW(reinterpret_cast<const wchar_t*>(name.c_str()), GENERIC_WRITE, 0,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
    if (!watchdogPipe) {
        return record("watchdog open failed " + std::to_string(GetLastError()));
    }
    writeWatchdog("hello 1\ninfo java.version=17.0.1\ninfo java.home=" + standin::utf8(home.dir) +
                  "\n" + (errorFile.empty() ? "" : "info stderr=" + errorFile + "\n"));
    record("watchdog hello");
}

// One line of standard input other than the stop line: the watchdog's requests.
void watchdogRequest(std::string_view line) {
    if (!watchdogPipe) return;
    if (line.starts_with("ping ")) {
        record(std::string(line));
        if (pongsLeft == 0) return;
        if (pongsLeft > 0) --pongsLeft;
        writeWatchdog("pong " + std::string(line.substr(5)) + "\n");
    } else if (line == "dump") {
        record("dump");
        const std::string dump =
            "Full thread dump (stand-in):\n\"main\"\n\tat standin.Main.main(Main.java)\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), dump.data(), static_cast<DWORD>(dump.size()),
                  &written, nullptr);
        writeWatchdog("dumped\n");
    }
}

// Reads standard input line by line, handing each to the watchdog, until its end or, when
// stopOnZero, the stop line "0". True when the stop line came.
bool readInput(bool stopOnZero) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::string got;
    char buffer[256];
    DWORD n = 0;
    while (input != nullptr && input != INVALID_HANDLE_VALUE &&
           ReadFile(input, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        got.append(buffer, n);
        for (size_t end = got.find('\n'); end != std::string::npos; end = got.find('\n')) {
            const std::string line = got.substr(0, end);
            got.erase(0, end + 1);
            if (line == "0" && stopOnZero) return true;
            watchdogRequest(line);
        }
        constexpr size_t kLongestLine = 4096;
        if (got.size() > kLongestLine) got.clear();
    }
    return false;
}

DWORD WINAPI inputThread(void*) {
    readInput(false);
    return 0;
}

// The Java side of the launcher class's main, as standin.cfg's key main says.
void runMain(const Object* array) {
    const size_t count = array != nullptr ? array->elements.size() : 0;
    std::string lines = "main args=" + std::to_string(count);
    for (size_t i = 0; i < count; ++i) {
        const Object* element = array->elements[i];
        lines += "\narg " + std::to_string(i) + ": " + (element ? utf8(element->text) : "(null)");
    }
    record(lines);
    // Like the runtime: "stand-in run" in the standard error file, appended when value 4 says so.
    if (count > 4 && array->elements[3] != nullptr && !array->elements[3]->text.empty()) {
        errorFile = utf8(array->elements[3]->text);
        const bool append =
            array->elements[4] != nullptr && utf8(array->elements[4]->text) == "true";
        const std::u16string path = utf16(errorFile);
        const launcher::UniqueFile file(CreateFileW(
            reinterpret_cast<const wchar_t*>(path.c_str()),
            append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
            append ? OPEN_ALWAYS : CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        if (file) WriteFile(file.get(), "stand-in run\r\n", 14, &written, nullptr);
    }
    if (const std::string name = home.config.text("environment"); !name.empty()) {
        const std::u16string wide = utf16(name);
        record("environment " + name + "=" +
               standin::environmentValue(
                   {reinterpret_cast<const wchar_t*>(wide.data()), wide.size()}));
    }
    std::string behaviour = test_text::unescapeLine(home.config.text("main", "return"));
    while (!behaviour.empty() && behaviour.back() == ' ') behaviour.pop_back();
    if (behaviour.starts_with("throw:")) {
        throwNew("java/lang/IllegalStateException", behaviour.substr(6));
        record("throw " + utf8(pending->text));
    } else if (behaviour.starts_with("exit:")) {
        watchdogHello();
        const auto code = static_cast<UINT>(std::strtoll(behaviour.c_str() + 5, nullptr, 0));
        record("exit " + std::to_string(static_cast<int>(code)));
        writeArchiveAtExit();
        if (exitHook != nullptr) exitHook(static_cast<jint>(code));
        ExitProcess(code);
    } else if (behaviour == "serve") {
        watchdogHello();
        record(readInput(true) ? "serve stop" : "serve eof");
    } else if (behaviour == "wait") {
        watchdogHello();
        // The application ignores the stop line; the watchdog's requests are still answered.
        if (watchdogPipe) CloseHandle(CreateThread(nullptr, 0, inputThread, nullptr, 0, nullptr));
        waitForRelease();
    }
}

jvalue invoke(const _jmethodID* method, const Object* self, const jvalue* args) {
    jvalue result{};
    if (method == nullptr) {
        record("call with a null method");
        return result;
    }
    const std::string& name = method->name;
    const std::string signature = method->signature;
    checkNothingPending(method->className + "." + name);
    if (name == "main" && method->className.ends_with("/WinLauncher")) {
        runMain(of(args[0].l));
    } else if (name == "initFromLauncher" && signature == "(Z)V") {
        record(std::string("initFromLauncher ") + (args[0].z ? "1" : "0"));
    } else if (name == "initAwtSplashConfig") {
        record("splash " + describeArguments(method, args));
    } else if (method->className == "java/lang/System" && name == "setProperty") {
        const Object *key = of(args[0].l), *value = of(args[1].l);
        const std::u16string k = toString(key), v = toString(value);
        record("property " + utf8(k) + "=" + utf8(v));
        const auto previous = properties.find(k);
        if (previous != properties.end()) result.l = ref(newString(previous->second));
        properties[k] = v;
    } else if (name == "toString" && signature == "()Ljava/lang/String;") {
        result.l = ref(newString(toString(self)));
    } else {
        record("call " + method->className + "." + name + signature + " " +
               describeArguments(method, args));
    }
    return result;
}

// The three forms of each call: C varargs, va_list and jvalue array.
template <class R, class Target>
R JNICALL callA(JNIEnv*, Target target, jmethodID method, const jvalue* args) {
    const jvalue value = invoke(method, of(target), args);
    if constexpr (std::is_same_v<R, jobject>)
        return value.l;
    else if constexpr (std::is_same_v<R, jboolean>)
        return value.z;
    else if constexpr (std::is_same_v<R, jint>)
        return value.i;
}

template <class R, class Target>
R JNICALL callV(JNIEnv* env, Target target, jmethodID method, va_list list) {
    if (method == nullptr) return callA<R, Target>(env, target, method, nullptr);
    const std::vector<jvalue> args = fromVaList(method, list);
    return callA<R, Target>(env, target, method, args.data());
}

template <class R, class Target>
R JNICALL call(JNIEnv* env, Target target, jmethodID method, ...) {
    va_list list;
    va_start(list, method);
    std::vector<jvalue> args;
    if (method != nullptr) args = fromVaList(method, list);
    va_end(list);
    return callA<R, Target>(env, target, method, args.empty() ? nullptr : args.data());
}

jclass JNICALL findClass(JNIEnv*, const char* name) {
    const std::string n = name != nullptr ? name : "(null)";
    checkNothingPending("FindClass " + n);
    bool known = false;
    for (const auto k : kKnownClasses) known = known || k == n;
    if (!known || inList("missing_classes", n)) {
        record("find class " + standin::recordValue(n) + " (missing)");
        throwNew("java/lang/NoClassDefFoundError", n);
        return nullptr;
    }
    record("find class " + n);
    return ref<jclass>(classObject(n));
}

jmethodID lookUpMethod(jclass cls, const char* name, const char* signature) {
    const std::string className = cls != nullptr ? of(cls)->className : "(null)";
    const std::string n = name != nullptr ? name : "(null)";
    const std::string s = signature != nullptr ? signature : "(null)";
    const std::string line = "method " + className + "." + n + s;
    checkNothingPending(line);
    if (cls == nullptr || inList("missing_methods", className + "." + n)) {
        record(standin::recordValue(line) + " (missing)");
        throwNew("java/lang/NoSuchMethodError", n);
        return nullptr;
    }
    record(standin::recordValue(line));
    _jmethodID*& method = methods[className + "." + n + s];
    if (method == nullptr) method = new _jmethodID{className, n, s};
    return method;
}

jmethodID JNICALL getMethodId(JNIEnv*, jclass cls, const char* name, const char* signature) {
    return lookUpMethod(cls, name, signature);
}

jobjectArray JNICALL newObjectArray(JNIEnv*, jsize length, jclass cls, jobject initial) {
    checkNothingPending("NewObjectArray");
    if (length < 0) {
        throwNew("java/lang/NegativeArraySizeException", std::to_string(length));
        return nullptr;
    }
    const std::string element = cls != nullptr ? of(cls)->className : "java/lang/Object";
    auto* array = new Object{"[L" + element + ";", false, true, {}, {}};
    array->elements.assign(static_cast<size_t>(length), of(initial));
    return ref<jobjectArray>(array);
}

bool inBounds(const Object* array, jsize index) {
    if (array != nullptr && index >= 0 && static_cast<size_t>(index) < array->elements.size())
        return true;
    throwNew("java/lang/ArrayIndexOutOfBoundsException", std::to_string(index));
    return false;
}

void JNICALL setObjectArrayElement(JNIEnv*, jobjectArray array, jsize index, jobject value) {
    if (inBounds(of(array), index)) of(array)->elements[static_cast<size_t>(index)] = of(value);
}

jobject JNICALL getObjectArrayElement(JNIEnv*, jobjectArray array, jsize index) {
    return inBounds(of(array), index) ? ref(of(array)->elements[static_cast<size_t>(index)])
                                      : nullptr;
}

jsize JNICALL getArrayLength(JNIEnv*, jarray array) {
    return array != nullptr ? static_cast<jsize>(of(array)->elements.size()) : 0;
}

jstring JNICALL newStringUtf16(JNIEnv*, const jchar* chars, jsize length) {
    checkNothingPending("NewString");
    if (chars == nullptr && length != 0) return nullptr;
    std::u16string text(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(length));
    return stringRefused(text) ? nullptr : ref<jstring>(newString(std::move(text)));
}

jstring JNICALL newStringUtf(JNIEnv*, const char* bytes) {
    checkNothingPending("NewStringUTF");
    if (bytes == nullptr) return nullptr;
    std::u16string text = utf16(bytes);
    return stringRefused(text) ? nullptr : ref<jstring>(newString(std::move(text)));
}

jsize JNICALL getStringLength(JNIEnv*, jstring text) {
    return text != nullptr ? static_cast<jsize>(of(text)->text.size()) : 0;
}

const jchar* JNICALL getStringChars(JNIEnv*, jstring text, jboolean* isCopy) {
    if (isCopy != nullptr) *isCopy = JNI_FALSE;
    return text != nullptr ? reinterpret_cast<const jchar*>(of(text)->text.c_str()) : nullptr;
}

void JNICALL releaseStringChars(JNIEnv*, jstring, const jchar*) {}

jsize JNICALL getStringUtfLength(JNIEnv*, jstring text) {
    return text != nullptr
               ? static_cast<jsize>(
                     standin::utf8({reinterpret_cast<const wchar_t*>(of(text)->text.data()),
                                    of(text)->text.size()})
                         .size())
               : 0;
}

const char* JNICALL getStringUtfChars(JNIEnv*, jstring text, jboolean* isCopy) {
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    if (text == nullptr) return nullptr;
    const std::string bytes = standin::utf8(
        {reinterpret_cast<const wchar_t*>(of(text)->text.data()), of(text)->text.size()});
    char* copy = new char[bytes.size() + 1];
    std::memcpy(copy, bytes.c_str(), bytes.size() + 1);
    return copy;
}

void JNICALL releaseStringUtfChars(JNIEnv*, jstring, const char* chars) {
    delete[] chars;
}

void JNICALL getStringRegion(JNIEnv*, jstring text, jsize start, jsize length, jchar* buffer) {
    const std::u16string& s = of(text)->text;
    if (start < 0 || length < 0 || static_cast<size_t>(start) + length > s.size()) {
        throwNew("java/lang/StringIndexOutOfBoundsException", std::to_string(start));
        return;
    }
    std::memcpy(buffer, s.data() + start, static_cast<size_t>(length) * sizeof(jchar));
}

void JNICALL deleteRef(JNIEnv*, jobject) {}

jobject JNICALL newRef(JNIEnv*, jobject object) {
    return object;
}

jclass JNICALL getObjectClass(JNIEnv*, jobject object) {
    if (object == nullptr) return nullptr;
    return ref<jclass>(
        classObject(of(object)->isClass ? "java/lang/Class" : of(object)->className));
}

jboolean JNICALL isSameObject(JNIEnv*, jobject a, jobject b) {
    return a == b ? JNI_TRUE : JNI_FALSE;
}

jint JNICALL getVersion(JNIEnv*) {
    return JNI_VERSION_10;
}

jint JNICALL ensureLocalCapacity(JNIEnv*, jint) {
    return JNI_OK;
}

jobject JNICALL popLocalFrame(JNIEnv*, jobject result) {
    return result;
}

jint JNICALL throwObject(JNIEnv*, jthrowable object) {
    pending = of(object);
    return JNI_OK;
}

jint JNICALL throwNewObject(JNIEnv*, jclass cls, const char* message) {
    throwNew(cls != nullptr ? of(cls)->className : "java/lang/Throwable",
             message != nullptr ? message : "");
    return JNI_OK;
}

jthrowable JNICALL exceptionOccurred(JNIEnv*) {
    return ref<jthrowable>(pending);
}

jboolean JNICALL exceptionCheck(JNIEnv*) {
    return pending != nullptr ? JNI_TRUE : JNI_FALSE;
}

// Like the JVM's: the exception's text to standard error, and the exception cleared.
void JNICALL exceptionDescribe(JNIEnv*) {
    if (pending == nullptr) return;
    const std::string text = utf8(pending->text);
    const std::string trace =
        "Exception in thread \"main\" " + text + "\n\tat standin.Main.main(Main.java)\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), trace.data(), static_cast<DWORD>(trace.size()),
              &written, nullptr);
    record("exception describe " + text);
    pending = nullptr;
}

void JNICALL exceptionClear(JNIEnv*) {
    if (pending != nullptr) record("exception clear " + utf8(pending->text));
    pending = nullptr;
}

// Any slot the launcher is not expected to use: visible in the record, and a distinct exit.
using Slot = void (*)();

template <int Table, size_t Index>
void trap() {
    record((Table == 0 ? "unexpected JNI call " : "unexpected invocation call ") +
           std::to_string(Index));
    ExitProcess(86);
}

template <class T, int Table, size_t... Index>
T trapTable(std::index_sequence<Index...>) {
    const std::array<Slot, sizeof...(Index)> traps = {&trap<Table, Index>...};
    static_assert(sizeof traps == sizeof(T));
    T table;
    std::memcpy(&table, traps.data(), sizeof table);
    return table;
}

JNINativeInterface_ makeNativeTable() {
    auto t = trapTable<JNINativeInterface_, 0>(
        std::make_index_sequence<sizeof(JNINativeInterface_) / sizeof(Slot)>());
    t.GetVersion = getVersion;
    t.FindClass = findClass;
    t.Throw = throwObject;
    t.ThrowNew = throwNewObject;
    t.ExceptionOccurred = exceptionOccurred;
    t.ExceptionDescribe = exceptionDescribe;
    t.ExceptionClear = exceptionClear;
    t.ExceptionCheck = exceptionCheck;
    t.PopLocalFrame = popLocalFrame;
    t.NewGlobalRef = newRef;
    t.NewLocalRef = newRef;
    t.DeleteGlobalRef = deleteRef;
    t.DeleteLocalRef = deleteRef;
    t.IsSameObject = isSameObject;
    t.EnsureLocalCapacity = ensureLocalCapacity;
    t.GetObjectClass = getObjectClass;
    t.GetMethodID = getMethodId;
    t.GetStaticMethodID = getMethodId;
    t.CallObjectMethod = call<jobject, jobject>;
    t.CallObjectMethodV = callV<jobject, jobject>;
    t.CallObjectMethodA = callA<jobject, jobject>;
    t.CallBooleanMethod = call<jboolean, jobject>;
    t.CallBooleanMethodV = callV<jboolean, jobject>;
    t.CallBooleanMethodA = callA<jboolean, jobject>;
    t.CallIntMethod = call<jint, jobject>;
    t.CallIntMethodV = callV<jint, jobject>;
    t.CallIntMethodA = callA<jint, jobject>;
    t.CallVoidMethod = call<void, jobject>;
    t.CallVoidMethodV = callV<void, jobject>;
    t.CallVoidMethodA = callA<void, jobject>;
    t.CallStaticObjectMethod = call<jobject, jclass>;
    t.CallStaticObjectMethodV = callV<jobject, jclass>;
    t.CallStaticObjectMethodA = callA<jobject, jclass>;
    t.CallStaticBooleanMethod = call<jboolean, jclass>;
    t.CallStaticBooleanMethodV = callV<jboolean, jclass>;
    t.CallStaticBooleanMethodA = callA<jboolean, jclass>;
    t.CallStaticIntMethod = call<jint, jclass>;
    t.CallStaticIntMethodV = callV<jint, jclass>;
    t.CallStaticIntMethodA = callA<jint, jclass>;
    t.CallStaticVoidMethod = call<void, jclass>;
    t.CallStaticVoidMethodV = callV<void, jclass>;
    t.CallStaticVoidMethodA = callA<void, jclass>;
    t.NewString = newStringUtf16;
    t.GetStringLength = getStringLength;
    t.GetStringChars = getStringChars;
    t.ReleaseStringChars = releaseStringChars;
    t.NewStringUTF = newStringUtf;
    t.GetStringUTFLength = getStringUtfLength;
    t.GetStringUTFChars = getStringUtfChars;
    t.ReleaseStringUTFChars = releaseStringUtfChars;
    t.GetStringRegion = getStringRegion;
    t.GetArrayLength = getArrayLength;
    t.NewObjectArray = newObjectArray;
    t.GetObjectArrayElement = getObjectArrayElement;
    t.SetObjectArrayElement = setObjectArrayElement;
    return t;
}

const JNINativeInterface_ nativeTable = makeNativeTable();
JNIEnv jniEnv{&nativeTable};

jint JNICALL destroyVm(JavaVM*) {
    record("destroy");
    writeArchiveAtExit();
    destroyed = true;
    return JNI_OK;
}

jint JNICALL attachThread(JavaVM*, void** penv, void*) {
    record("attach");
    *penv = &jniEnv;
    return JNI_OK;
}

jint JNICALL detachThread(JavaVM*) {
    record("detach");
    return JNI_OK;
}

jint JNICALL getEnv(JavaVM*, void** penv, jint) {
    *penv = &jniEnv;
    return JNI_OK;
}

JNIInvokeInterface_ makeInvokeTable() {
    auto t = trapTable<JNIInvokeInterface_, 1>(
        std::make_index_sequence<sizeof(JNIInvokeInterface_) / sizeof(Slot)>());
    t.DestroyJavaVM = destroyVm;
    t.AttachCurrentThread = attachThread;
    t.DetachCurrentThread = detachThread;
    t.GetEnv = getEnv;
    t.AttachCurrentThreadAsDaemon = attachThread;
    return t;
}

const JNIInvokeInterface_ invokeTable = makeInvokeTable();
JavaVM javaVm{&invokeTable};

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
        const std::u16string name = utf16(item);
        if (!name.empty() &&
            sameName({reinterpret_cast<const wchar_t*>(name.data()), name.size()}, variant))
            return true;
        start = end + 1;
    }
    return false;
}

// Loading: record it, or refuse it when this variant is listed in refuse_load.
BOOL attach() {
    const std::wstring dll = standin::modulePath(thisModule);
    home = standin::findHome(dll, 2);
    const std::wstring variant = standin::baseName(standin::parentDir(dll));
    const bool refused = listed(home.config.text("refuse_load"), variant);
    standin::appendRecord(
        home.file(standin::kLoadRecordName),
        (refused ? "refused dll=" : "load dll=") + standin::recordValue(standin::utf8(dll)));
    return refused ? FALSE : TRUE;
}

// The reservation of the calling thread's stack (GetCurrentThreadStackLimits, Windows 8 on).
std::string stackReserve() {
    using Limits = void(WINAPI*)(PULONG_PTR, PULONG_PTR);
    const FARPROC proc =
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetCurrentThreadStackLimits");
    if (proc == nullptr) return "unknown";
    ULONG_PTR low = 0, high = 0;
    reinterpret_cast<Limits>(reinterpret_cast<void*>(proc))(&low, &high);
    return std::to_string(high - low);
}

// The options of the created JVM as given, and what they held then.
std::vector<std::pair<const char*, std::string>> givenOptions;

jint createVm(JavaVM** vm, JNIEnv** env, const JavaVMInitArgs& args) {
    *vm = nullptr;
    *env = nullptr;
    char head[96];
    std::snprintf(head, sizeof head, "create version=0x%x options=%d ignoreUnrecognized=%d",
                  static_cast<unsigned>(args.version), static_cast<int>(args.nOptions),
                  args.ignoreUnrecognized ? 1 : 0);
    std::string lines = head;
    for (jint i = 0; i < args.nOptions; ++i) {
        const char* option = args.options[i].optionString;
        lines += "\noption " + std::to_string(i) + ": " +
                 standin::recordValue(option != nullptr ? option : "(null)");
    }
    record(lines + "\nstack reserve=" + stackReserve());
    const long long result = home.config.number("create_result", 0);
    if (result != 0) return static_cast<jint>(result);
    if (created) return JNI_EEXIST;
    created = true;
    for (jint i = 0; i < args.nOptions; ++i) {
        const char* option = args.options[i].optionString;
        if (option != nullptr) givenOptions.emplace_back(option, option);
        constexpr std::string_view kPipeOption = "-Dlumex.watchdogPipe=";
        if (option != nullptr && std::string_view(option).starts_with(kPipeOption))
            watchdogPipeName = option + kPipeOption.size();
        for (const std::string_view name : {"-XX:ArchiveClassesAtExit=", "-XX:AOTCacheOutput="}) {
            if (option != nullptr && std::string_view(option).starts_with(name))
                archiveOutput = option + name.size();
        }
        if (option != nullptr && std::string_view(option) == "exit")
            exitHook = reinterpret_cast<void(JNICALL*)(jint)>(args.options[i].extraInfo);
    }
    *vm = &javaVm;
    *env = &jniEnv;
    return JNI_OK;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH && created && !destroyed) {
        // The JVM may read its option strings for as long as the process lives.
        bool intact = true;
        for (const auto& [pointer, text] : givenOptions) intact = intact && text == pointer;
        record(intact ? "options at exit intact" : "options at exit changed");
    }
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

JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** vms, jsize size, jsize* count) {
    if (count != nullptr) *count = created ? 1 : 0;
    if (created && vms != nullptr && size > 0) vms[0] = &javaVm;
    return JNI_OK;
}

}  // extern "C"
