// Runtime homes of the stand-in Java runtime (tests/standin) for the end-to-end tests: lays out
// HOME with the stand-in's programs and its standin.cfg, and reads what the programs recorded.
//
//   e2e::StandinRuntime runtime;
//   runtime.versionText = "java version \"1.8.0_301\"\n";
//   runtime.exitCode = 3;
//   const auto home = e2e::scratchDir() / "jre";
//   e2e::layOutRuntime(home, runtime);
//   ... run a launcher that probes HOME\bin\java.exe ...
//   auto runs = e2e::readRunRecord(home);  // {"run exe=Z:\...\java.exe args=... stderr=pipe"}
//
// Records (UTF-8 lines in HOME; control characters in values appear as "\xNN"):
//   standin-runs.log   "run exe=<path> args=<command line> _JAVA_OPTIONS=<v> JAVA_TOOL_OPTIONS=<v>
//                       JDK_JAVA_OPTIONS=<v> stdin=<k> stdout=<k> stderr=<k>" for java/javaw
//                      (<v> "(unset)" when absent; <k> none, console, char, pipe, file, unknown),
//                      "unpack args=<command line>" for unpack200
//   standin-loads.log  "load dll=<path>", "refused dll=<path>"
//   standin-jvm.log    what the launcher did with jvm.dll's machine, one line a call, e.g.
//                      "create version=0x10002 options=2 ignoreUnrecognized=1",
//                      "option 0: -Xmx1g", "stack reserve=2097152",
//                      "find class com/lumex/runtime/WinLauncher" (" (missing)" when not found),
//                      "method com/lumex/runtime/WinLauncher.main([Ljava/lang/String;)V",
//                      "main args=<n>", "arg <i>: <text>", "throw <text>", "exit <code>",
//                      "serve stop", "serve eof", "initFromLauncher <0|1>", "splash <args>",
//                      "property <key>=<value>", "call <class>.<name><signature> <args>",
//                      "exception describe <text>", "exception clear <text>", "destroy",
//                      "registerNatives full=<0|1> module=<self|other>" (the helper library),
//                      "unexpected JNI call <index>" (the process then exits with 86);
//                      tests/standin/standin_jvm.cpp has the whole list
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace e2e {

struct StandinRuntime {
    // What "java -version" writes to standard error; empty: the stand-in's default (OpenJDK
    // 17.0.1, two lines).
    std::string versionText;
    int exitCode = 0;                                // every java.exe/javaw.exe run exits with it
    std::vector<std::string> variants = {"server"};  // bin\<variant>\jvm.dll
    std::vector<std::string> refuseLoad;             // variants whose jvm.dll fails to load; "*"
    bool javaw = true;
    bool unpack200 = true;
    bool jli = true;  // bin\jli.dll expands '@' argument files ("jli expand <file> <n>" recorded)
    bool x64Java = false;       // bin\java.exe is the x86-64 build
    bool oldJdkLayout = false;  // the runtime lies in HOME\jre (standin.cfg stays in HOME)
    // Files "<name>.pack" to create, e.g. "lib/rt.jar" -> lib\rt.jar.pack holding
    // "packed lib/rt.jar\n" (relative to the folder holding bin).
    std::vector<std::string> packedJars;
    // The fake virtual machine of jvm.dll: JNI_CreateJavaVM returns createResult when it is not
    // 0; the launcher class's main plays mainBehaviour: "return", "throw:<text>" (an
    // IllegalStateException), "exit:<code>" (ends the process), "serve" (reads standard input
    // up to "0\n" or its end) or "wait" (until HOME/standin-release exists; the extra line
    // "windows=1" shows a minimised and keeps a hidden window meanwhile). FindClass does not find
    // missingClasses ("com/acme/Name"), the method look-ups do not find missingMethods
    // ("com/acme/Name.method").
    int createResult = 0;
    std::string mainBehaviour = "return";
    std::vector<std::string> missingClasses;
    std::vector<std::string> missingMethods;
    int registerResult = 1;  // what the helper library's registerNativesEx returns (0: FALSE)
    // Appended to standin.cfg as they are, e.g. "unpack_hang_ms=N": unpack200 writes a partial
    // jar and hangs N milliseconds first; "watchdog=silent" or "watchdog=hang-after=N": how main
    // answers the service host's watchdog ("watchdog hello", "ping N", "dump" in the trace);
    // "environment=NAME": main records "environment NAME=<value>" first.
    std::vector<std::string> extraConfigLines;
};

// The built stand-in programs (<win bin>/standin) and the x86-64 java.exe (<win bin>/standin-x64).
std::filesystem::path standinBinDir();
std::filesystem::path standinX64BinDir();

// Creates HOME (and parents) with the runtime's files and HOME/standin.cfg; earlier files of the
// same names are replaced. Returns the folder holding bin: HOME, or HOME/jre for the old layout.
std::filesystem::path layOutRuntime(const std::filesystem::path& home,
                                    const StandinRuntime& runtime);

// The lines of HOME's run and load records (empty when nothing was recorded).
std::vector<std::string> readRunRecord(const std::filesystem::path& home);
std::vector<std::string> readLoadRecord(const std::filesystem::path& home);
// The lines of HOME's standin-jvm.log: the calls of the fake virtual machine and of the helper
// library (whose record goes to the home of the jvm.dll loaded in its process).
std::vector<std::string> readJvmTrace(const std::filesystem::path& home);

// Copies the stand-in helper library to APP/.parcelkit/pkxinst.dll (folders created); returns it.
std::filesystem::path placeHelperLibrary(const std::filesystem::path& appDir);

// The value of key in a record line: the text after " key=" up to the next record key, e.g.
// recordField("run exe=C:\\j\\java.exe args=java -version ...", "args") -> "java -version".
std::optional<std::string> recordField(std::string_view line, std::string_view key);

}  // namespace e2e
