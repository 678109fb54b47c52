// Parser of the pack tool's input file.
//
// The file is UTF-8 text, one directive per line:
//
//   # a comment (only as a whole line; leading blanks are allowed)
//   string ID VALUE      narrow config string; stored as the bytes of VALUE
//   wide ID VALUE        localized string of the default language; stored as UTF-16LE
//   section KEY          starts a language section (KEY "de", "de_CH"; an empty key, written
//     wide ID VALUE      as `section` alone or `section ""`, applies to every language); it
//   end                  holds only wide lines and ends with `end`
//   file NAME PATH       an included file: NAME is the name the launcher extracts it under
//                        (one backslash places it in a subdirectory), PATH the file on disk,
//                        relative to the input file's folder
//   reserved A B C       the three reserved header values (32-bit, 32-bit, 64-bit; default 0)
//
// ID is a decimal 32-bit number; the same id may appear more than once (the launcher keeps the
// later one). Blanks are spaces and tabs. Exactly one blank separates the id (or `section`)
// from VALUE (KEY), and everything behind it up to the end of the line is taken verbatim:
// backslashes, '#', ';' and trailing blanks included; nothing behind the id means an empty
// value. A VALUE that starts with '"' is quoted instead and must end with '"'; inside it
// \\ \" \n \r \t \xHH and (wide values only) \uHHHH are escapes. NAME is a run of non-blank
// characters or a quoted string; PATH follows NAME after one blank and obeys the VALUE rules.
// A line may end in CR LF; a UTF-8 byte order mark at the start of the file is skipped. Raw
// control characters other than tab are refused: write them as escapes in a quoted value.
#include "pack_input.h"

#include <climits>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#include "config/config.h"
#include "config/settings.h"
#include "value_text.h"

namespace {
constexpr int32_t kFileCountId = launcher::idOf(launcher::Setting::IncludedFileCount);
constexpr int32_t kFileNamesId = launcher::idOf(launcher::Setting::IncludedFileNames);
}  // namespace

namespace pack {

namespace {

constexpr size_t kMaxErrors = 100;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view skipBlanks(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && isBlank(s[i])) ++i;
    return s.substr(i);
}

// The run of non-blank characters at the start of s; s keeps what follows it.
std::string_view takeToken(std::string_view& s) {
    size_t i = 0;
    while (i < s.size() && !isBlank(s[i])) ++i;
    const std::string_view token = s.substr(0, i);
    s = s.substr(i);
    return token;
}

bool onlyBlanks(std::string_view s) {
    return skipBlanks(s).empty();
}

bool hasHighBytes(std::string_view s) {
    for (char c : s) {
        if (static_cast<uint8_t>(c) >= 0x80) return true;
    }
    return false;
}

bool parseInteger(std::string_view token, int64_t min, int64_t max, int64_t& value) {
    bool negative = false;
    if (!token.empty() && token[0] == '-') {
        negative = true;
        token.remove_prefix(1);
    }
    if (token.empty()) return false;
    const uint64_t limit = negative ? uint64_t(-(min + 1)) + 1 : uint64_t(max);
    uint64_t v = 0;
    for (char c : token) {
        if (c < '0' || c > '9') return false;
        const auto digit = static_cast<uint64_t>(c - '0');
        if (v > (limit - digit) / 10) return false;
        v = v * 10 + digit;
    }
    value = negative ? (v == 0 ? 0 : -static_cast<int64_t>(v - 1) - 1) : static_cast<int64_t>(v);
    return true;
}

std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

class Parser {
public:
    Parser(const std::string& baseDir, const FileLoader& load) : baseDir_(baseDir), load_(load) {}

    PackInput run(std::string_view text);

private:
    void line(std::string_view text);
    void stringLine(std::string_view args, bool wide);
    void sectionLine(std::string_view args);
    void endLine(std::string_view args);
    void fileLine(std::string_view args);
    void reservedLine(std::string_view args);
    void checkFileBookkeeping();

    // The id and the value field of "ID VALUE"; false after reporting an error.
    bool idAndField(std::string_view args, std::string_view directive, int32_t& id,
                    std::string_view& field);
    bool narrowField(std::string_view field, std::string_view what, std::string& value);

    void error(std::string message) { errorAt(line_, std::move(message)); }
    void errorAt(int at, std::string message) {
        if (result_.errors.size() < kMaxErrors) {
            result_.errors.push_back({at, std::move(message)});
        } else if (result_.errors.size() == kMaxErrors) {
            result_.errors.push_back({at, "too many errors; giving up"});
        }
    }
    void warn(std::string message) { result_.warnings.push_back({line_, std::move(message)}); }
    bool givenUp() const { return result_.errors.size() > kMaxErrors; }

    const std::string& baseDir_;
    const FileLoader& load_;
    PackInput result_;
    BlockWriter writer_;
    int line_ = 0;
    // The open language section and the line that opened it (0: none).
    LanguageSection section_;
    int sectionLine_ = 0;
    // Included file names (lower case) and their lines, for the bookkeeping checks.
    std::vector<std::string> fileNames_;
    std::map<std::string, int> fileNameLines_;
    int lastCountLine_ = 0, lastNamesLine_ = 0;
    std::string lastCount_, lastNames_;
};

PackInput Parser::run(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    while (!text.empty() && !givenUp()) {
        const size_t newline = text.find('\n');
        std::string_view current = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        ++line_;
        if (!current.empty() && current.back() == '\r') current.remove_suffix(1);
        line(current);
    }
    if (sectionLine_ != 0) {
        errorAt(sectionLine_, "section '" + section_.key + "' has no 'end'");
    }
    checkFileBookkeeping();
    if (result_.errors.empty()) result_.writer = std::move(writer_);
    return std::move(result_);
}

void Parser::line(std::string_view text) {
    for (char c : text) {
        const auto b = static_cast<uint8_t>(c);
        if ((b < 0x20 && c != '\t') || b == 0x7F) {
            const char hex[] = "0123456789ABCDEF";
            std::string code = {hex[b >> 4], hex[b & 0xF]};
            error("control character 0x" + code + " in the line; write it as \\x" + code +
                  " inside a quoted value");
            return;
        }
    }
    std::string_view rest = skipBlanks(text);
    if (rest.empty() || rest[0] == '#') return;
    const std::string_view directive = takeToken(rest);
    const bool inSection = sectionLine_ != 0;
    if (inSection && directive != "wide" && directive != "end") {
        if (directive == "string" || directive == "file" || directive == "reserved") {
            error("'" + std::string(directive) +
                  "' is not allowed inside a section; close the section opened at line " +
                  std::to_string(sectionLine_) + " with 'end' first");
            return;
        }
    }
    if (directive == "string") {
        stringLine(rest, false);
    } else if (directive == "wide") {
        stringLine(rest, true);
    } else if (directive == "section") {
        sectionLine(rest);
    } else if (directive == "end") {
        endLine(rest);
    } else if (directive == "file") {
        fileLine(rest);
    } else if (directive == "reserved") {
        reservedLine(rest);
    } else {
        error("unknown directive '" + std::string(directive) +
              "' (expected string, wide, section, end, file, reserved or a # comment)");
    }
}

bool Parser::idAndField(std::string_view args, std::string_view directive, int32_t& id,
                        std::string_view& field) {
    std::string_view rest = skipBlanks(args);
    const std::string_view token = takeToken(rest);
    if (token.empty()) {
        error("'" + std::string(directive) + "' needs an id: " + std::string(directive) +
              " ID VALUE");
        return false;
    }
    int64_t v = 0;
    if (!parseInteger(token, INT32_MIN, INT32_MAX, v)) {
        error("bad id '" + std::string(token) +
              "': expected a decimal number from -2147483648 to 2147483647");
        return false;
    }
    id = static_cast<int32_t>(v);
    // One blank separates the id from the value; everything behind it is the value.
    field = rest.empty() ? rest : rest.substr(1);
    return true;
}

bool Parser::narrowField(std::string_view field, std::string_view what, std::string& value) {
    std::string problem;
    if (!decodeNarrowField(field, value, problem)) {
        error(std::string(what) + ": " + problem);
        return false;
    }
    if (hasHighBytes(field)) {
        warn(std::string(what) +
             " holds non-ASCII text, stored as its UTF-8 bytes; the launcher reads narrow "
             "strings in the ANSI code page (write exact bytes as \\xHH in a quoted value)");
    }
    if (!field.empty() && field[0] != '"' && isBlank(field.back())) {
        warn(std::string(what) + " ends in blanks, which are kept; quote it to make that visible");
    }
    return true;
}

void Parser::stringLine(std::string_view args, bool wide) {
    int32_t id = 0;
    std::string_view field;
    if (!idAndField(args, wide ? "wide" : "string", id, field)) return;
    if (!wide) {
        std::string value;
        if (!narrowField(field, "value", value)) return;
        if (id == kFileCountId) {
            lastCount_ = value;
            lastCountLine_ = line_;
        } else if (id == kFileNamesId) {
            lastNames_ = value;
            lastNamesLine_ = line_;
        }
        writer_.string(id, value);
        return;
    }
    std::u16string value;
    std::string problem;
    if (!decodeWideField(field, value, problem)) {
        error("value: " + problem);
        return;
    }
    if (!field.empty() && field[0] != '"' && isBlank(field.back())) {
        warn("value ends in blanks, which are kept; quote it to make that visible");
    }
    if (sectionLine_ != 0) {
        section_.entries.emplace_back(id, std::move(value));
    } else {
        writer_.wide(id, value);
    }
}

void Parser::sectionLine(std::string_view args) {
    if (sectionLine_ != 0) {
        error("a section cannot start inside another one; close the section opened at line " +
              std::to_string(sectionLine_) + " with 'end' first");
        return;
    }
    std::string key;
    if (!narrowField(args.empty() ? args : args.substr(1), "section key", key)) return;
    for (char c : key) {
        if (static_cast<uint8_t>(c) <= 0x20) {
            warn("section key '" + key +
                 "' holds blanks or control characters; language codes have none");
            break;
        }
    }
    section_ = LanguageSection{key, {}};
    sectionLine_ = line_;
}

void Parser::endLine(std::string_view args) {
    if (!onlyBlanks(args)) {
        error("'end' takes nothing behind it");
        return;
    }
    if (sectionLine_ == 0) {
        error("'end' without a section");
        return;
    }
    writer_.section(std::move(section_));
    section_ = LanguageSection{};
    sectionLine_ = 0;
}

void Parser::fileLine(std::string_view args) {
    const std::string usage = "file NAME PATH";
    std::string_view rest = skipBlanks(args);
    std::string name;
    std::string_view rawName;
    if (!rest.empty() && rest[0] == '"') {
        size_t end = 0;
        std::string problem;
        if (!decodeQuotedNarrow(rest, name, end, problem)) {
            error("file name: " + problem);
            return;
        }
        rawName = rest.substr(0, end);
        rest = rest.substr(end);
        if (!rest.empty() && !isBlank(rest[0])) {
            error("a blank must follow the quoted file name: " + usage);
            return;
        }
    } else {
        rawName = takeToken(rest);
        name = std::string(rawName);
    }
    if (hasHighBytes(rawName)) {
        warn(
            "file name holds non-ASCII text, stored as its UTF-8 bytes; the launcher reads it "
            "in the ANSI code page");
    }
    if (onlyBlanks(rest)) {
        error("'file' needs a name and a path: " + usage);
        return;
    }
    std::string path;
    if (!narrowField(rest.substr(1), "file path", path)) return;
    if (name.empty()) {
        error("empty file name");
        return;
    }
    if (name.find(';') != std::string::npos) {
        error("file name '" + name +
              "' contains ';', which separates the names in config "
              "string 2003");
        return;
    }
    if (path.empty()) {
        error("empty file path: " + usage);
        return;
    }
    size_t backslashes = 0;
    for (char c : name) backslashes += c == '\\';
    if (backslashes > 1) {
        warn("file name '" + name +
             "' has more than one backslash; the launcher creates only the first directory "
             "level, so extracting it will fail");
    }
    for (char c : name) {
        // Only a warning: a listing of a block with such a name must still read back.
        if (static_cast<uint8_t>(c) < 0x20) {
            warn("file name " + encodeNarrowField(name) +
                 " contains a control character; Windows cannot create such a file");
            break;
        }
    }
    if (name.find('/') != std::string::npos) {
        warn("file name '" + name +
             "' contains '/'; the launcher creates a subdirectory only for a backslash");
    }
    const std::string lower = asciiLower(name);
    if (const auto seen = fileNameLines_.find(lower); seen != fileNameLines_.end()) {
        warn("file name '" + name + "' is also used at line " + std::to_string(seen->second) +
             "; the later file replaces the earlier one when extracted");
    } else {
        fileNameLines_.emplace(lower, line_);
    }

    std::filesystem::path full(path);
    if (!full.is_absolute() && !baseDir_.empty()) full = std::filesystem::path(baseDir_) / full;
    IncludedFile file;
    file.name = name;
    std::string problem;
    if (!load_(full.string(), file.content, problem)) {
        error(problem);
        return;
    }
    fileNames_.push_back(name);
    writer_.file(std::move(file));
}

void Parser::reservedLine(std::string_view args) {
    std::string_view rest = args;
    int64_t values[3] = {0, 0, 0};
    const int64_t mins[3] = {INT32_MIN, INT32_MIN, INT64_MIN};
    const int64_t maxs[3] = {INT32_MAX, INT32_MAX, INT64_MAX};
    for (int i = 0; i < 3; ++i) {
        rest = skipBlanks(rest);
        const std::string_view token = takeToken(rest);
        if (token.empty()) {
            error("'reserved' needs three numbers: reserved A B C");
            return;
        }
        if (!parseInteger(token, mins[i], maxs[i], values[i])) {
            error("bad reserved value '" + std::string(token) + "': expected a decimal " +
                  (i < 2 ? "32-bit" : "64-bit") + " number");
            return;
        }
    }
    if (!onlyBlanks(rest)) {
        error("'reserved' takes three numbers and nothing more");
        return;
    }
    writer_.reserved(static_cast<int32_t>(values[0]), static_cast<int32_t>(values[1]), values[2]);
}

// Config strings 2002 and 2003 set by hand win over the ones the writer derives from the file
// lines; say so when they disagree with the files actually included.
void Parser::checkFileBookkeeping() {
    if (lastCountLine_ != 0) {
        const int64_t n = configNumber(lastCount_);
        if (n > static_cast<int64_t>(fileNames_.size())) {
            result_.warnings.push_back({lastCountLine_, "config string 2002 asks for " +
                                                            std::to_string(n) + " files but only " +
                                                            std::to_string(fileNames_.size()) +
                                                            " are included"});
        }
    }
    if (lastNamesLine_ != 0 && !fileNames_.empty() &&
        splitIncludedNames(lastNames_) != fileNames_) {
        result_.warnings.push_back(
            {lastNamesLine_,
             "config string 2003 does not list the names of the file lines in their order; "
             "the launcher extracts the files under the names given here"});
    }
}

}  // namespace

bool loadFileFromDisk(const std::string& path, std::vector<uint8_t>& content, std::string& error) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        error = "cannot read '" + path + "': no such file";
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = "cannot read '" + path + "': not a regular file";
        return false;
    }
    const uint64_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        error = "cannot read '" + path + "': " + ec.message();
        return false;
    }
    if (size > kMaxImageSize) {
        error =
            "'" + path + "' is too large for a launcher image (" + std::to_string(size) + " bytes)";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    content.assign(static_cast<size_t>(size), 0);
    if (!in || !in.read(reinterpret_cast<char*>(content.data()),
                        static_cast<std::streamsize>(content.size()))) {
        error = "cannot read '" + path + "'";
        return false;
    }
    return true;
}

PackInput parsePackInput(std::string_view text, const std::string& baseDir,
                         const FileLoader& load) {
    return Parser(baseDir, load).run(text);
}

std::string formatDiagnostic(std::string_view inputName, const Diagnostic& diagnostic,
                             bool warning) {
    std::string out(inputName);
    if (diagnostic.line > 0) out += ":" + std::to_string(diagnostic.line);
    out += warning ? ": warning: " : ": ";
    return out + diagnostic.message;
}

// Both follow the launcher's own reading, so the tool warns about exactly what it will do.
std::vector<std::string> splitIncludedNames(std::string_view names) {
    return launcher::includedFileNames(names);
}

int64_t configNumber(std::string_view text) {
    return launcher::parseConfigInt(text);
}

}  // namespace pack
