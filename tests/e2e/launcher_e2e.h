// Shared pieces of the launcher's end-to-end tests: packing launchers into a test's folder.
#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "block_writer.h"
#include "config/settings.h"
#include "harness/wine_harness.h"
#include "standin_runtime.h"

namespace e2e {

// Copies the shipped stub to dir/name with the writer's block appended.
inline std::filesystem::path packLauncher(const std::filesystem::path& dir, const std::string& name,
                                          const pack::BlockWriter& writer) {
    std::filesystem::create_directories(dir);
    const auto path = dir / name;
    pack::writeFileBytes(
        path.string(), pack::appendBlock(pack::readFileBytes(stubPath().string()), writer.build()),
        true);
    return path;
}

// Like packLauncher, with a stand-in Java runtime in dir/jre that the search sequence "Ajre"
// finds: "/run" then goes as far as this launcher build goes.
inline std::filesystem::path packRunnableLauncher(const std::filesystem::path& dir,
                                                  const std::string& name, pack::BlockWriter writer,
                                                  const StandinRuntime& runtime = {}) {
    layOutRuntime(dir / "jre", runtime);
    writer.string(launcher::idOf(launcher::Setting::SearchSequence), "Ajre");
    return packLauncher(dir, name, writer);
}

// The configuration most tests start from: a service name, messages and a caption.
inline pack::BlockWriter sampleBlock(const std::string& launcherKind = "1") {
    pack::BlockWriter w;
    w.string(101, "E2eService").string(107, launcherKind);
    w.wide(1000, u"Launcher Error").wide(1009, u"Setup failed ({0})");
    w.wide(launcher::idOf(launcher::Message::LauncherClassNotFound), u"No launcher class.");
    return w;
}

// The text sampleBlock shows when the runtime lacks the launcher class, and a runtime that does:
// the run then ends with that fatal message after the JVM was created.
inline constexpr char kNoLauncherClass[] = "No launcher class.";
inline StandinRuntime withoutLauncherClass() {
    StandinRuntime runtime;
    runtime.missingClasses = {"com/lumex/runtime/WinLauncher"};
    return runtime;
}

// Options that give the launcher its own temp folder (where its log goes) and switch the log
// variable to logSwitch; the other family's log variable is removed.
inline WinrunOptions withTemp(const std::filesystem::path& temp,
                              const std::string& logSwitch = "yes",
                              const std::string& variable = "LUMEX_LOG") {
    std::filesystem::create_directories(temp);
    WinrunOptions options;
    options.env = {{"TMP", toWinePath(temp)}, {"TEMP", toWinePath(temp)}, {variable, logSwitch}};
    options.unset = {variable == "LUMEX_LOG" ? "PARCELKIT_LOG" : "LUMEX_LOG"};
    return options;
}

// The lines of a launcher log file (empty when there is none).
inline std::vector<std::string> logLines(const std::filesystem::path& file) {
    const auto text = readUtf8File(file);
    return text ? splitLines(text->text) : std::vector<std::string>{};
}

// A path as the launcher's canonical form writes it: absolute and lower-cased.
inline std::string canon(const std::filesystem::path& path) {
    std::string text = toWinePath(path);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Lines as one text, each ending in "\n" (for assertion messages).
inline std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    return text;
}

// The lines of a launcher log file without their "[s:ms] " stamps.
inline std::vector<std::string> logMessages(const std::filesystem::path& file) {
    std::vector<std::string> lines = logLines(file);
    for (auto& line : lines) {
        const size_t end = line.find("] ");
        if (line.starts_with('[') && end != std::string::npos) line.erase(0, end + 2);
    }
    return lines;
}

// A member of a JSON object as Python's JSON parser reads it, written back as JSON (a string
// with its quotes, a number, null, true or false): at the top or, when not there, inside its
// "application" object. "(absent)" when neither has it; "(invalid JSON)" when the text does not
// parse as one JSON object and nothing more.
inline std::string jsonMember(const std::string& json, const std::string& key) {
    const std::filesystem::path input = scratchDir() / "member.json";
    writeFile(input, json);
    const std::string command =
        "python3 -c 'import json, sys\n"
        "try:\n    d = json.loads(open(sys.argv[1], encoding=\"utf-8\").read())\n"
        "except ValueError:\n    print(\"(invalid JSON)\"); sys.exit()\n"
        "for o in (d, d.get(\"application\") or {}):\n"
        "    if sys.argv[2] in o:\n"
        "        sys.stdout.buffer.write(json.dumps(o[sys.argv[2]], ensure_ascii=False).encode())\n"
        "        break\n"
        "else:\n    print(\"(absent)\", end=\"\")' '" +
        input.string() + "' '" + key + "'";
    std::string out;
    if (FILE* const pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        ::pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

// One report to the event log as Wine printed it for the services it runs (wine-run.sh sends
// their debug channels to $WINEPREFIX.services.log): the event id, its type and its inserts.
struct ReportedEvent {
    unsigned id = 0;
    unsigned type = 0;
    std::vector<std::string> inserts;
};

// Where the services' report log ends now: events() from here are those reported after.
inline uintmax_t eventLogMark() {
    std::error_code error;
    const uintmax_t size =
        std::filesystem::file_size(winePrefix().string() + ".services.log", error);
    return error ? 0 : size;
}

// The reports printed after the mark, in order.
inline std::vector<ReportedEvent> eventsReported(uintmax_t mark) {
    const auto text = readFile(winePrefix().string() + ".services.log").value_or("");
    static const std::regex call(
        R"(^([0-9a-f]+):fixme:advapi:ReportEventW \([^,]*,0x([0-9a-f]+),[^,]*,0x([0-9a-f]+),[^,]*,0x([0-9a-f]+),)");
    static const std::regex insert(
        R"xx(^([0-9a-f]+):(?:trace|warn|err):eventlog:ReportEventW L"(.*)"$)xx");
    std::vector<ReportedEvent> events;
    std::string thread;
    size_t wanted = 0;
    for (const std::string& line : splitLines(mark < text.size() ? text.substr(mark) : "")) {
        std::smatch m;
        if (std::regex_search(line, m, call)) {
            events.push_back({static_cast<unsigned>(std::stoul(m[3], nullptr, 16)),
                              static_cast<unsigned>(std::stoul(m[2], nullptr, 16)),
                              {}});
            thread = m[1];
            wanted = std::stoul(m[4], nullptr, 16);
        } else if (wanted > 0 && std::regex_match(line, m, insert) && m[1] == thread) {
            events.back().inserts.push_back(m[2]);
            --wanted;
        }
    }
    return events;
}

// The reports of one event id, each as its inserts joined by "|".
inline std::vector<std::string> eventInserts(const std::vector<ReportedEvent>& events,
                                             unsigned id) {
    std::vector<std::string> found;
    for (const ReportedEvent& event : events) {
        if (event.id != id) continue;
        std::string joined;
        for (const std::string& text : event.inserts) joined += (joined.empty() ? "" : "|") + text;
        found.push_back(joined);
    }
    return found;
}

}  // namespace e2e
