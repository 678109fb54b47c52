#include "pack_cli.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <span>
#include <system_error>
#include <utility>

#include "block_inspect.h"
#include "block_writer.h"
#include "file_path.h"
#include "file_source.h"
#include "launcher_toml.h"
#include "pe_resources.h"
#include "runtime_jar.h"
#include "sha256.h"
#include "toml_keys.h"

namespace pack {

namespace {

const char kUsage[] = R"(usage:
  pack build [--stub STUB.exe] SERVICE.toml -o OUT.exe
  pack build [--stub STUB.exe] --input SERVICE.toml --output OUT.exe
      Copies the launcher stub (the one this tool carries, or STUB.exe) and appends the
      configuration block that SERVICE.toml describes.
  pack inspect LAUNCHER.exe
      Prints the configuration of a packed launcher as the description that builds it again.
  pack inspect --raw LAUNCHER.exe
      Lists the configuration block field by field, with offsets (also for damaged blocks).
  pack extract LAUNCHER.exe DIR
      Writes DIR/service.toml and the included files under DIR/files/: `pack build
      DIR/service.toml -o OUT.exe` then makes the same launcher again.
  pack --help | pack build --help | pack inspect --help | pack extract --help
  pack --version
      Prints the tool's version and the SHA-256 of the stub and runtime jars it carries.

Exit codes: 0 success; 1 the description, stub or output file, or a launcher that is damaged or
none; 2 bad usage or a mistake in the description (an embedded file or icon that cannot be read
is reported as one).
)";

const char kBuildHead[] =
    R"(usage: pack build [--stub STUB.exe] SERVICE.toml -o OUT.exe
       pack build [--stub STUB.exe] --input SERVICE.toml --output OUT.exe

Without --stub the tool uses the launcher stub it carries (`pack --version` names it). The
launcher is written to a temporary file beside OUT.exe that then replaces OUT.exe: an OUT.exe
that cannot be written keeps what it held.

SERVICE.toml (UTF-8 TOML; docs/pack.md lists every key with its meaning and default):
)";

const char kBuildTail[] = R"(
The smallest description:
  [service]
  name = "MyService"
  [java]
  main_class = "com.example.Main"
  class_path = ["app.jar"]

Mistakes are reported as FILE:LINE:COLUMN: KEY: what is wrong, and nothing is written.
)";

// "  [table]   key, key (required), ..." wrapped at 96 columns, the keys from the tool's own
// tables.
std::string keyLines(std::string_view heading, std::string_view table,
                     std::span<const std::string_view> keys, std::string_view note = {}) {
    constexpr size_t kKeyColumn = 14, kWidth = 96;
    std::vector<std::string> words;
    for (size_t i = 0; i < keys.size(); ++i) {
        std::string word(keys[i]);
        const std::string qualified = std::string(table) + "." + word;
        if (std::find(std::begin(kRequiredKeys), std::end(kRequiredKeys), qualified) !=
            std::end(kRequiredKeys)) {
            word += " (required)";
        }
        words.push_back(i + 1 < keys.size() || !note.empty() ? word + "," : word);
    }
    for (size_t start = 0; start < note.size();) {
        const size_t end = std::min(note.find(' ', start), note.size());
        words.emplace_back(note.substr(start, end - start));
        start = end + 1;
    }
    std::string out = "  " + std::string(heading);
    out += std::string(out.size() + 2 > kKeyColumn ? 2 : kKeyColumn - out.size(), ' ');
    size_t lineStart = 0;
    for (const std::string& word : words) {
        if (out.size() - lineStart + word.size() > kWidth && out.size() - lineStart > kKeyColumn) {
            out.pop_back();  // the blank before the word
            out += "\n";
            lineStart = out.size();
            out += std::string(kKeyColumn, ' ');
        }
        out += word + " ";
    }
    out.back() = '\n';
    return out;
}

std::string buildUsage() {
    std::string out = kBuildHead;
    for (const TableKeys& table : kTableKeys) {
        out += keyLines("[" + std::string(table.table) + "]", table.table, table.keys);
    }
    std::vector<std::string_view> messages;
    for (const MessageText& message : messageTexts()) {
        if (!message.english.empty()) messages.push_back(message.key);
    }
    out += keyLines("[messages]", "messages", messages,
                    "each replacing a built-in English text; [messages.de] etc. translate them "
                    "and service_description");
    out += keyLines("[[files]]", "files", kFileKeys,
                    "the source relative to the folder of SERVICE.toml");
    return out + kBuildTail;
}

const char kInspectUsage[] = R"(usage: pack inspect [--raw] LAUNCHER.exe

Prints the configuration of a launcher that `pack build` made as the description (TOML) that
builds it again, with its icon as icon.ico and its [version] table. The runtime jar that
`pack build` embeds by itself is left out; other embedded files and the icon are named under
files/, where `pack extract` writes them. What no description can say
is listed in comments at the end, and standard error says what a rebuild would change.
--raw lists the configuration block field by field with offsets, also for a damaged block.
)";

const char kExtractUsage[] = R"(usage: pack extract LAUNCHER.exe DIR

Writes DIR/service.toml (what `pack inspect` prints), DIR/icon.ico when the launcher has an
icon, and the embedded files under DIR/files/. `pack build DIR/service.toml -o OUT.exe` with
the same stub then makes the same launcher, byte for byte.
)";

int usageError(std::ostream& err, const std::string& message) {
    err << "pack: " << message << "\n"
        << "run 'pack --help' for the usage\n";
    return 2;
}

// Whether two paths name one file (an existing one, or the same path).
bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(pathFromUtf8(a), pathFromUtf8(b), ec)) return true;
    const auto full = [](const std::string& p) {
        std::error_code ignored;
        return std::filesystem::weakly_canonical(
            std::filesystem::absolute(pathFromUtf8(p), ignored), ignored);
    };
    return full(a) == full(b);
}

// What makes an image no stub to pack: empty when it is one.
std::string stubProblem(const std::vector<uint8_t>& stub) {
    if (std::string wrong = stubImageProblem(stub); !wrong.empty()) return wrong;
    const int64_t at = blockOffset(stub);
    if (at >= 0 && static_cast<uint64_t>(at) + 4 <= stub.size()) {
        const uint32_t magic = uint32_t(stub[at]) | uint32_t(stub[at + 1]) << 8 |
                               uint32_t(stub[at + 2]) << 16 | uint32_t(stub[at + 3]) << 24;
        if (magic == launcher::kConfigMagic) {
            return "is a packed launcher already (it holds a configuration block)";
        }
    }
    return "";
}

// The value of an option given as "--name VALUE" or "--name=VALUE"; i advances past it.
bool optionValue(const std::vector<std::string>& args, size_t& i, const std::string& name,
                 std::string& value, bool& missing) {
    const std::string& arg = args[i];
    if (arg == name) {
        if (i + 1 >= args.size()) {
            missing = true;
            return true;
        }
        value = args[++i];
        return true;
    }
    if (arg.compare(0, name.size() + 1, name + "=") == 0) {
        value = arg.substr(name.size() + 1);
        return true;
    }
    return false;
}

// `pack --version`: the version, then each carried file with its size and SHA-256.
int version(const CarriedFiles& carried, std::ostream& out) {
    out << "pack " << carried.version << "\n";
    const std::pair<const char*, std::span<const uint8_t>> files[] = {
        {"launcher.exe (stub)", carried.stub},
        {"lumex-runtime.jar", carried.lumexJar},
        {"parcelkit-runtime.jar", carried.parcelkitJar}};
    for (const auto& [name, bytes] : files) {
        out << "carries " << name << ": " << bytes.size() << " bytes, sha256 " << sha256Hex(bytes)
            << "\n";
    }
    return 0;
}

int build(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
          const CarriedFiles& carried) {
    std::string stubPath, inputPath, outputPath;
    bool hasStub = false, hasInput = false, hasOutput = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            out << buildUsage();
            return 0;
        }
        const std::string& arg = args[i];
        std::string value;
        bool missing = false;
        if (optionValue(args, i, "--stub", value, missing)) {
            if (missing) return usageError(err, "build: " + arg + " needs a value");
            if (hasStub) return usageError(err, "build: --stub is given twice; give one stub");
            hasStub = true;
            stubPath = value;
        } else if (optionValue(args, i, "--output", value, missing) ||
                   optionValue(args, i, "-o", value, missing)) {
            if (missing) return usageError(err, "build: " + arg + " needs a value");
            if (hasOutput) {
                return usageError(err, "build: two outputs ('" + outputPath + "' and '" + value +
                                           "'); give one --output or -o");
            }
            hasOutput = true;
            outputPath = value;
        } else if (const bool named = optionValue(args, i, "--input", value, missing);
                   named || (!arg.empty() && arg[0] != '-')) {
            if (missing) return usageError(err, "build: " + arg + " needs a value");
            if (!named) value = arg;  // the description, given by position
            if (hasInput) {
                return usageError(err, "build: two descriptions ('" + inputPath + "' and '" +
                                           value + "'); give one, as SERVICE.toml or --input");
            }
            hasInput = true;
            inputPath = value;
        } else {
            return usageError(err, "build: unknown argument '" + arg + "'");
        }
    }
    if (inputPath.empty()) {
        return usageError(err, "build needs a description: pack build SERVICE.toml -o OUT.exe");
    }
    if (outputPath.empty()) {
        return usageError(err,
                          "build needs --output OUT.exe (or -o OUT.exe): where to write the "
                          "launcher");
    }
    for (const auto& [option, other] : {std::pair{"--input", &inputPath}, {"--stub", &stubPath}}) {
        if (!other->empty() && sameFile(outputPath, *other)) {
            return usageError(err, "build: --output names the same file as " + std::string(option) +
                                       ", which building would overwrite; write the launcher "
                                       "to a new file");
        }
    }

    std::vector<uint8_t> text;
    std::string problem;
    if (!loadFileFromDisk(inputPath, text, problem, kMaxDescriptionSize)) {
        err << "pack: " << problem << "\n";
        return 1;
    }
    const std::string baseDir = utf8FromPath(pathFromUtf8(inputPath).parent_path());
    const TomlBuild input =
        buildFromToml(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()),
                      inputPath, baseDir);
    for (const auto& e : input.errors) err << formatDiagnostic(inputPath, e) << "\n";
    if (!input.writer) return 2;

    BlockWriter writer = *input.writer;
    if (input.runtimeJar && !namesRuntimeJar(writer)) {
        const std::string jarName = runtimeJarName(writer);
        const auto jar = jarName == "lumex-runtime.jar" ? carried.lumexJar : carried.parcelkitJar;
        if (jar.empty()) {
            err << "pack: this tool carries no " << jarName
                << "; embed one under [[files]] or write `runtime_jar = false` in [java]\n";
            return 1;
        }
        writer = withRuntimeJar(writer, jarName, jar);
        out << "pack: embedded " << jarName << " " << carried.version << " (" << jar.size()
            << " bytes; `runtime_jar = false` in [java] leaves it out)\n";
    }

    std::vector<uint8_t> stub;
    if (stubPath.empty()) {
        if (carried.stub.empty()) {
            err << "pack: this tool carries no stub; name one with --stub\n";
            return 1;
        }
        stub.assign(carried.stub.begin(), carried.stub.end());
        stubPath = "carried launcher.exe " + std::string(carried.version);
    } else if (!loadFileFromDisk(stubPath, stub, problem)) {
        err << "pack: stub: " << problem << "\n";
        return 1;
    }
    if (const std::string wrong = stubProblem(stub); !wrong.empty()) {
        err << "pack: stub '" << stubPath << "' " << wrong
            << "; --stub wants the launcher stub launcher.exe (an Arm64 Windows GUI image "
               "without a configuration block)\n";
        return 1;
    }
    const std::vector<uint8_t> block = writer.build();
    // Every launcher gets a resource section: the event message table is always there, the
    // icon and version information when the description has them.
    std::vector<uint8_t> image;
    if (!addResourceSection(stub, input.resources, image, problem)) {
        err << "pack: stub '" << stubPath << "': " << problem << "\n";
        return 1;
    }
    stub = std::move(image);
    try {
        image = appendBlock(stub, block);
    } catch (const std::exception& e) {
        err << "pack: stub '" << stubPath << "': " << e.what() << "\n";
        return 1;
    }
    updateImageChecksum(image);
    if (image.size() > kMaxImageSize) {
        err << "pack: the launcher would have " << image.size()
            << " bytes; the launcher reads offsets in 32 bits and allows at most " << kMaxImageSize
            << "\n";
        return 1;
    }
    try {
        writeFileBytes(outputPath, image, true);  // an output it cannot write keeps its bytes
    } catch (const std::exception& e) {
        err << "pack: " << e.what() << "\n";
        return 1;
    }
    out << "pack: wrote " << outputPath << " (" << image.size() << " bytes, configuration block of "
        << block.size() << " bytes at offset " << stub.size() << ")\n";
    return 0;
}

bool wantsHelp(const std::vector<std::string>& args) {
    return std::any_of(args.begin() + 1, args.end(),
                       [](const std::string& a) { return a == "--help" || a == "-h"; });
}

// One launcher path among the arguments after the command word; flags are given back.
bool launcherArgument(const std::vector<std::string>& args, std::vector<std::string>& positional,
                      bool& raw, std::ostream& err, int& code) {
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--raw" && args[0] == "inspect") {
            raw = true;
        } else if (!args[i].empty() && args[i][0] == '-') {
            code = usageError(err, args[0] + ": unknown option '" + args[i] + "'");
            return false;
        } else {
            positional.push_back(args[i]);
        }
    }
    return true;
}

// Reads the content of a packed launcher; 0, or the exit code after reporting.
int readLauncher(const std::string& imagePath, BlockContent& content, std::ostream& err) {
    FileSource image(imagePath);
    if (!image.isOpen()) {
        err << "pack: cannot read '" << imagePath << "'\n";
        return 1;
    }
    std::vector<uint8_t> start(static_cast<size_t>(std::min<uint64_t>(image.size(), 64 * 1024)));
    uint32_t code = 0;
    if (image.readAt(0, start.data(), start.size(), code) != start.size() || !isPeImage(start)) {
        err << "pack: " << imagePath
            << " is no launcher: it is not a Windows executable (PE image); pack inspect and "
               "extract read launchers that pack build made\n";
        return 1;
    }
    std::string problem;
    if (!readLauncherContent(image, content, problem)) {
        err << "pack: " << imagePath << ": " << problem
            << " (`pack inspect --raw` shows where the block stops)\n";
        return 1;
    }
    return 0;
}

void reportLosses(const BlockContent& content, const RuntimeJars& jars,
                  const std::string& imagePath, std::ostream& err) {
    const auto losses = roundTripLosses(content, jars);
    if (losses.empty()) return;
    err << "pack: " << imagePath
        << " was not made from a description this tool reads; building the printed description "
           "gives another block:\n";
    for (const auto& line : losses) err << "  " << line << "\n";
}

RuntimeJars carriedJars(const CarriedFiles& carried) {
    return {carried.lumexJar, carried.parcelkitJar};
}

int inspect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            const CarriedFiles& carried) {
    if (wantsHelp(args)) {
        out << kInspectUsage;
        return 0;
    }
    std::vector<std::string> positional;
    bool raw = false;
    int code = 0;
    if (!launcherArgument(args, positional, raw, err, code)) return code;
    if (positional.size() != 1) return usageError(err, "inspect takes one launcher");
    if (raw) {
        FileSource image(positional[0]);
        if (!image.isOpen()) {
            err << "pack: cannot read '" << positional[0] << "'\n";
            return 1;
        }
        return inspectBlock(image, out);
    }
    BlockContent content;
    if (const int failed = readLauncher(positional[0], content, err)) return failed;
    out << printToml(content, "files", carriedJars(carried));
    reportLosses(content, carriedJars(carried), positional[0], err);
    return 0;
}

// DIR/files/<name>, refusing names that would leave that folder.
bool includedFilePath(const std::filesystem::path& dir, const std::string& name,
                      std::filesystem::path& path) {
    path = dir / "files";
    size_t start = 0;
    while (start <= name.size()) {
        const size_t end = std::min(name.find('\\', start), name.size());
        const std::string part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == ".." ||
            part.find_first_of("/:") != std::string::npos) {
            return false;
        }
        path /= pathFromUtf8(part);
        start = end + 1;
    }
    return true;
}

int extract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            const CarriedFiles& carried) {
    if (wantsHelp(args)) {
        out << kExtractUsage;
        return 0;
    }
    std::vector<std::string> positional;
    bool raw = false;
    int code = 0;
    if (!launcherArgument(args, positional, raw, err, code)) return code;
    if (positional.size() != 2) return usageError(err, "extract takes a launcher and a folder");
    BlockContent content;
    if (const int failed = readLauncher(positional[0], content, err)) return failed;
    const std::filesystem::path dir = pathFromUtf8(positional[1]);
    try {
        std::filesystem::create_directories(dir);  // also for a launcher without files
        for (const IncludedFile& file : content.files) {
            std::filesystem::path path;
            if (!includedFilePath(dir, file.name, path)) {
                err << "pack: the included file name '" << file.name
                    << "' would leave the folder; nothing of it is written\n";
                return 1;
            }
            std::filesystem::create_directories(path.parent_path());
            writeFileBytes(utf8FromPath(path), file.content, false);
        }
        if (!content.resources.icon.empty()) {
            writeFileBytes(utf8FromPath(dir / kIconFile), icoFileBytes(content.resources.icon),
                           false);
        }
        const std::string description = printToml(content, "files", carriedJars(carried));
        writeFileBytes(utf8FromPath(dir / "service.toml"),
                       std::vector<uint8_t>(description.begin(), description.end()), false);
    } catch (const std::exception& e) {
        err << "pack: " << e.what() << "\n";
        return 1;
    }
    reportLosses(content, carriedJars(carried), positional[0], err);
    out << "pack: wrote " << utf8FromPath(dir / "service.toml") << " and " << content.files.size()
        << " included files\n";
    return 0;
}

}  // namespace

int runPack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            const CarriedFiles& carried) {
    if (args.empty()) {
        err << kUsage;
        return 2;
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return 0;
    }
    if (command == "--version") return version(carried, out);
    if (command == "build") return build(args, out, err, carried);
    if (command == "inspect") return inspect(args, out, err, carried);
    if (command == "extract") return extract(args, out, err, carried);
    return usageError(err, "unknown command '" + command + "'");
}

}  // namespace pack
