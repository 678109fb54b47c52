#include "pack_cli.h"

#include <exception>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "block_inspect.h"
#include "block_writer.h"
#include "file_source.h"
#include "pack_input.h"

namespace pack {

namespace {

const char kUsage[] = R"(usage:
  pack build --stub STUB.exe --input FILE.txt --output OUT.exe
      Copies the launcher stub and appends a configuration block described by FILE.txt.
  pack inspect LAUNCHER.exe [--extract DIR]
      Prints the configuration block of a launcher in the input syntax below. With --extract
      the included files are written to DIR and listed as `file` lines, so that the listing
      can be packed again.
  pack --help

Input file (UTF-8, one directive per line):
  # comment                 a whole line; blank lines are ignored
  string ID VALUE           narrow config string, stored as the bytes of VALUE
  wide ID VALUE             localized string of the default language, stored as UTF-16LE
  section KEY               language section (de, de_CH; `section` alone or `section ""`
    wide ID VALUE           is the empty key, which applies to every language), holding
  end                       wide lines only and closed by `end`
  file NAME PATH            included file: NAME as the launcher extracts it (a.dll or
                            lib\a.dll, one backslash at most), PATH on disk, relative to
                            the folder of FILE.txt
  reserved A B C            the reserved header values (default 0 0 0)

  ID is a decimal 32-bit number; a repeated id is allowed (the launcher keeps the later).
  One blank separates ID from VALUE, and the rest of the line is VALUE verbatim: '\', '#',
  ';' and trailing blanks included; no VALUE means an empty one. A VALUE starting with '"'
  is quoted and ends with '"'; inside, \\ \" \n \r \t \xHH (a byte; in wide values U+00HH)
  and, in wide values, \uHHHH (a UTF-16 code unit) are escapes. NAME is one word or quoted.
  Config strings 2002 (file count) and 2003 (names) follow the file lines unless set.

Exit codes: 0 success, 1 failure (files, stub, damaged block), 2 bad usage or input lines.
)";

int usageError(std::ostream& err, const std::string& message) {
    err << "pack: " << message << "\n"
        << "run 'pack --help' for the usage\n";
    return 2;
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

int build(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string stubPath, inputPath, outputPath;
    for (size_t i = 1; i < args.size(); ++i) {
        bool missing = false;
        if (optionValue(args, i, "--stub", stubPath, missing) ||
            optionValue(args, i, "--input", inputPath, missing) ||
            optionValue(args, i, "--output", outputPath, missing)) {
            if (missing) return usageError(err, "build: " + args[i] + " needs a value");
            continue;
        }
        return usageError(err, "build: unknown argument '" + args[i] + "'");
    }
    if (stubPath.empty() || inputPath.empty() || outputPath.empty()) {
        return usageError(err, "build needs --stub, --input and --output");
    }

    std::vector<uint8_t> text;
    std::string problem;
    if (!loadFileFromDisk(inputPath, text, problem)) {
        err << "pack: " << problem << "\n";
        return 1;
    }
    const std::string baseDir = std::filesystem::path(inputPath).parent_path().string();
    const PackInput input = parsePackInput(
        std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), baseDir);
    for (const auto& w : input.warnings) err << formatDiagnostic(inputPath, w, true) << "\n";
    for (const auto& e : input.errors) err << formatDiagnostic(inputPath, e) << "\n";
    if (!input.writer) return 2;

    std::vector<uint8_t> stub;
    if (!loadFileFromDisk(stubPath, stub, problem)) {
        err << "pack: stub: " << problem << "\n";
        return 1;
    }
    const std::vector<uint8_t> block = input.writer->build();
    std::vector<uint8_t> image;
    try {
        image = appendBlock(stub, block);
    } catch (const std::exception& e) {
        err << "pack: stub '" << stubPath << "': " << e.what() << "\n";
        return 1;
    }
    if (image.size() > kMaxImageSize) {
        err << "pack: the launcher would have " << image.size()
            << " bytes; the launcher reads offsets in 32 bits and allows at most " << kMaxImageSize
            << "\n";
        return 1;
    }
    try {
        writeFileBytes(outputPath, image, true);
    } catch (const std::exception& e) {
        std::error_code ignored;
        std::filesystem::remove(outputPath, ignored);
        err << "pack: " << e.what() << "\n";
        return 1;
    }
    out << "pack: wrote " << outputPath << " (" << image.size() << " bytes, configuration block of "
        << block.size() << " bytes at offset " << stub.size() << ")\n";
    return 0;
}

// A file name that stays inside the extraction folder whatever the stored name holds.
std::string extractedFileName(const IncludedFileEntry& entry) {
    std::string name = std::to_string(entry.index);
    if (name.size() < 2) name.insert(name.begin(), '0');
    name += "_";
    for (char c : entry.name.substr(0, 100)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        name.push_back(plain ? c : '_');
    }
    return name;
}

int inspect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string imagePath, extractDir;
    for (size_t i = 1; i < args.size(); ++i) {
        bool missing = false;
        if (optionValue(args, i, "--extract", extractDir, missing)) {
            if (missing) return usageError(err, "inspect: --extract needs a folder");
            continue;
        }
        if (!args[i].empty() && args[i][0] == '-') {
            return usageError(err, "inspect: unknown option '" + args[i] + "'");
        }
        if (!imagePath.empty()) return usageError(err, "inspect takes one launcher");
        imagePath = args[i];
    }
    if (imagePath.empty()) return usageError(err, "inspect needs a launcher");

    FileSource image(imagePath);
    if (!image.isOpen()) {
        err << "pack: cannot read '" << imagePath << "'\n";
        return 1;
    }
    InspectOptions options;
    if (!extractDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(extractDir, ec);
        if (ec) {
            err << "pack: cannot create '" << extractDir << "': " << ec.message() << "\n";
            return 1;
        }
        options.saveFile = [&](const IncludedFileEntry& entry, const std::vector<uint8_t>& content,
                               std::string& path, std::string& problem) {
            const auto target =
                std::filesystem::absolute(extractDir, ec) / extractedFileName(entry);
            try {
                writeFileBytes(target.string(), content, false);
            } catch (const std::exception& e) {
                problem = e.what();
                return false;
            }
            path = target.string();
            return true;
        };
    }
    return inspectBlock(image, out, options);
}

}  // namespace

int runPack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << kUsage;
        return 2;
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return 0;
    }
    if (command == "build") return build(args, out, err);
    if (command == "inspect") return inspect(args, out, err);
    return usageError(err, "unknown command '" + command + "'");
}

}  // namespace pack
