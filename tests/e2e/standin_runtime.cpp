#include "standin_runtime.h"

#include <algorithm>

#include "harness/wine_harness.h"
#include "tests/helpers/line_escapes.h"

namespace fs = std::filesystem;

namespace e2e {

namespace {

// Every key the stand-in writes; a value ends where the next one begins.
constexpr std::string_view kRecordKeys[] = {
    "exe",    "args", "_JAVA_OPTIONS", "JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS", "stdin", "stdout",
    "stderr", "dll",  "options"};

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& item : items) out += (out.empty() ? "" : ",") + item;
    return out;
}

void copyProgram(const fs::path& from, const fs::path& to) {
    fs::create_directories(to.parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

std::vector<std::string> lines(const fs::path& file) {
    const auto text = readFile(file);
    return text ? splitLines(*text) : std::vector<std::string>{};
}

}  // namespace

fs::path standinBinDir() {
    return winBinDir() / "standin";
}

fs::path standinX64BinDir() {
    return winBinDir() / "standin-x64";
}

fs::path layOutRuntime(const fs::path& home, const StandinRuntime& runtime) {
    const fs::path root = runtime.oldJdkLayout ? home / "jre" : home;
    const fs::path bin = root / "bin";
    copyProgram((runtime.x64Java ? standinX64BinDir() : standinBinDir()) / "java.exe",
                bin / "java.exe");
    if (runtime.javaw) copyProgram(standinBinDir() / "javaw.exe", bin / "javaw.exe");
    if (runtime.unpack200) copyProgram(standinBinDir() / "unpack200.exe", bin / "unpack200.exe");
    if (runtime.jli) copyProgram(standinBinDir() / "jli.dll", bin / "jli.dll");
    for (const auto& variant : runtime.variants) {
        copyProgram(standinBinDir() / "jvm.dll", bin / variant / "jvm.dll");
    }
    for (const auto& jar : runtime.packedJars) {
        writeFile(root / (jar + ".pack"), "packed " + jar + "\n");
    }

    std::string config = "# stand-in Java runtime\n";
    if (!runtime.versionText.empty())
        config += "version_text=" + test_text::escapeLine(runtime.versionText) + "\n";
    config += "exit_code=" + std::to_string(runtime.exitCode) + "\n";
    if (!runtime.refuseLoad.empty()) config += "refuse_load=" + joined(runtime.refuseLoad) + "\n";
    config += "create_result=" + std::to_string(runtime.createResult) + "\n";
    config += "main=" + test_text::escapeLine(runtime.mainBehaviour) + "\n";
    config += "missing_classes=" + joined(runtime.missingClasses) + "\n";
    config += "missing_methods=" + joined(runtime.missingMethods) + "\n";
    config += "register_result=" + std::to_string(runtime.registerResult) + "\n";
    for (const auto& line : runtime.extraConfigLines) config += line + "\n";
    writeFile(home / "standin.cfg", config);
    return root;
}

std::vector<std::string> readRunRecord(const fs::path& home) {
    return lines(home / "standin-runs.log");
}

std::vector<std::string> readLoadRecord(const fs::path& home) {
    return lines(home / "standin-loads.log");
}

std::vector<std::string> readJvmTrace(const fs::path& home) {
    return lines(home / "standin-jvm.log");
}

fs::path placeHelperLibrary(const fs::path& appDir) {
    const fs::path helper = appDir / ".parcelkit" / "pkxinst.dll";
    copyProgram(standinBinDir() / "pkxinst.dll", helper);
    return helper;
}

std::optional<std::string> recordField(std::string_view line, std::string_view key) {
    const std::string marker = " " + std::string(key) + "=";
    const size_t at = line.find(marker);
    if (at == std::string_view::npos) return std::nullopt;
    const size_t start = at + marker.size();
    size_t end = line.size();
    for (const auto other : kRecordKeys) {
        end = std::min(end, line.find(" " + std::string(other) + "=", start));
    }
    return std::string(line.substr(start, end - start));
}

}  // namespace e2e
