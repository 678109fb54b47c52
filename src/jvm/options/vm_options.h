// JVM options from outside the executable: .vmoptions files (with includes and class-path
// override lines), configured option strings, "-J" arguments, per-version lines and the
// locale options. The rules are portable; what touches files and the environment comes through
// OptionSources and the configured texts come as values, so tests feed them from memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/fatal.h"
#include "common/text_format.h"
#include "config/settings.h"

namespace launcher {

class RunDirectory;

// The options of one launch in the order they were read, and the class-path overrides of the
// last "-classpath", "-classpath/p" and "-classpath/a" lines.
struct VmOptionCollector {
    std::vector<std::string> options;
    std::optional<std::string> classPathReplace;
    std::optional<std::string> classPathPrepend;
    std::optional<std::string> classPathAppend;
};

// What reading options needs from the machine.
class OptionSources {
public:
    virtual ~OptionSources() = default;
    // Launcher-variable expansion of a wide text: ansiSafe (file lines, configured options) or
    // with long paths (include file names).
    virtual std::wstring expand(std::wstring_view text, bool ansiSafe) = 0;
    // Narrow expansion (configured path entries).
    virtual std::string expandNarrow(std::string_view text) = 0;
    // Narrows a wide text to the file functions' code page ("?" for what it lacks).
    virtual std::string narrow(std::wstring_view text) = 0;
    // Resolves an include path against the folder of baseFile, or against the launcher's folder
    // when there is none; backslash runs collapsed.
    virtual std::wstring resolveInclude(std::wstring_view path, const std::wstring* baseFile) = 0;
    // The bytes of a file opened for shared reading; nothing when it cannot be opened or holds
    // more than maxBytes (logged; such a file is not read into memory).
    virtual std::optional<std::string> readFile(const std::wstring& path, size_t maxBytes) = 0;
};

// ---- line rules ----

// The lines of a .vmoptions file as the C runtime's text mode reads them (CR LF reads as LF, a
// 0x1A byte ends the file, a NUL byte ends its line's text), each without its line end and
// trimmed of white space at both ends; empty lines and "#" comment lines dropped. No byte-order
// mark is recognised.
std::vector<std::string> vmOptionFileLines(std::string_view bytes);

// Real option lists hold a few dozen options. Past these bounds (a hostile file tree whose lines
// expand to long values, or a file of a million lines) the launch ends with a clear message
// instead of growing the list until memory runs out.
constexpr size_t kMaxVmOptionCount = 1000000;
constexpr size_t kMaxVmOptionBytes = size_t(16) << 20;

// Why an option list is past the bounds above; empty when it is not.
std::string optionBoundsRefusal(size_t count, size_t bytes);

// Real option files include a few others; these bounds only stop hostile include trees (files
// that include the next one many times over, or name many missing files). All files read
// together, the default file and the configured includes among them, stay within
// kMaxReadFiles files and kMaxReadBytes bytes; a missing file does not count there, but every
// include that tries a file does, within kMaxIncludeAttempts.
constexpr size_t kMaxReadFiles = 256;
constexpr size_t kMaxReadBytes = size_t(16) << 20;
constexpr size_t kMaxIncludeAttempts = 1024;

// Reads options, includes and overrides into a collector. Includes are read in place; a file
// that is already being read (an include cycle, whatever name it is reached by) is refused with
// a log line, and so are includes nested deeper than 64 files and those past the bounds above.
class VmOptionReader {
public:
    VmOptionReader(OptionSources& sources, VmOptionCollector& collector)
        : sources_(sources), collector_(collector) {}

    // Every line of a .vmoptions file's bytes: widened byte by byte, expanded (ANSI-safe) and
    // classified. path is the file's full path (the base of its relative includes), or nothing
    // for lines that have no file of their own.
    void readVmOptionsFile(const std::optional<std::wstring>& path, std::string_view bytes);
    // The default file: read like a file without a base path (its relative includes resolve
    // against the launcher's folder), while its path takes part in the cycle guard.
    void readDefaultVmOptionsFile(const std::wstring& path, std::string_view bytes);
    // Classifies one line as it is given (the caller expanded it where that applies).
    void addVmOptionLine(const std::optional<std::wstring>& basePath, std::wstring_view line);
    // Tokens of a configured option string: a bare "-include-options" takes the next token as
    // its file; every token goes to addVmOptionLine without a base path.
    void addVmOptionTokens(const std::vector<std::wstring>& tokens);

    // How many bytes a further file may hold within the read budget; 0 when no further file
    // may be read at all.
    size_t readBudgetLeft() const;
    // Why reading stopped at kMaxVmOptionCount or kMaxVmOptionBytes; empty while it did not.
    const std::string& refusal() const { return refusal_; }

private:
    void readLines(const std::optional<std::wstring>& basePath, const std::wstring* guardPath,
                   std::string_view bytes);
    void include(const std::optional<std::wstring>& basePath, std::wstring_view rawPath);
    void addOption(std::string option);

    OptionSources& sources_;
    VmOptionCollector& collector_;
    // The files being read, outermost first, each as the key under which two names of one file
    // compare equal, to refuse include cycles.
    std::vector<std::wstring> reading_;
    // Files and bytes read so far: a hostile include tree that fans out (every file including
    // the next twice) is cut off instead of growing without end.
    size_t filesRead_ = 0;
    size_t bytesRead_ = 0;
    // Includes that tried to read a file, found or not.
    size_t includeAttempts_ = 0;
    // The bytes of the options this reader added.
    size_t optionBytes_ = 0;
    std::string refusal_;
};

// ---- per-version and locale options ----

// The major version of a version text: its first number, or the second when the first is 1;
// -1 when the text has no part at all. 1.8.0_292 gives 8, 17.0.2+8 gives 17.
int32_t javaMajorVersion(std::string_view versionText);
// "*" matches any run of characters, "?" exactly one; everything else itself; the whole text.
bool matchVersionPattern(std::string_view pattern, std::string_view text);
// Whether a per-version line's condition ("min-max" or "*pattern") matches; logs as the
// option list building does ("checking min %d max %d with %d", "ERROR: expected dash").
bool versionConditionMatches(std::string_view condition, std::string_view versionText);

// The last program argument beginning with "-Dsun.locale.formatasdefault=", if any.
std::optional<std::wstring> localeArgument(const std::vector<std::wstring>& programArguments);
// The locale options for that argument: itself, then (unless it is exactly
// "-Dsun.locale.formatasdefault=true") "-Duser.language=" and "-Duser.country=" for the codes
// that are not empty.
std::vector<std::wstring> localeOptions(std::wstring_view argument, std::string_view languageCode,
                                        std::string_view countryCode);

// At most this many per-version lines are checked.
constexpr int32_t kMaxVersionLines = 10000;

// The configured option texts: what config 123 and the per-version lines hold.
struct ConfiguredVmOptions {
    std::wstring jvmOptions;       // config 123
    int32_t versionLineCount = 0;  // config 10200 as written
    // The first min(count, kMaxVersionLines) lines: line i's condition (config 10201 + 2i) and
    // its options (config 10202 + 2i).
    std::vector<std::string> versionConditions;
    std::vector<std::wstring> versionOptions;
};

// Configured options (config 123), the first matching per-version line and the locale options,
// in that order, into the reader's collector. No configured texts: only the locale options.
void addConfiguredVmOptions(VmOptionReader& reader, OptionSources& sources,
                            const ConfiguredVmOptions* configured,
                            const std::vector<std::wstring>& programArguments,
                            std::string_view jvmVersion, std::string_view languageCode,
                            std::string_view countryCode);

// ---- configured path entry lists (class path 121, module path 132) ----

struct ConfiguredEntry {
    char kind = 0;          // 'A' archive, 'D' directory, 'S' scanned directory, 'E' variable
    bool required = false;  // second character '1'
    std::string value;      // the path or variable name, not yet expanded
};

// The entries of a ";"-separated list; empty entries and entries of one character skipped.
std::vector<ConfiguredEntry> configuredEntries(std::string_view list);

// ---- Windows side ----

// The machine behind OptionSources: launcher-variable expansion (with the selected runtime's
// home for ${launcher:sys.jvmHome} and its twins, empty before a runtime is selected, and this
// run's per-run directory), the file-API code page, include resolution against the launcher
// folder, shared file reads.
class WindowsOptionSources final : public OptionSources {
public:
    explicit WindowsOptionSources(const RunDirectory& run, std::string_view jvmHome = {})
        : run_(run), jvmHome_(jvmHome) {}
    std::wstring expand(std::wstring_view text, bool ansiSafe) override;
    std::string expandNarrow(std::string_view text) override;
    std::string narrow(std::wstring_view text) override;
    std::wstring resolveInclude(std::wstring_view path, const std::wstring* baseFile) override;
    std::optional<std::string> readFile(const std::wstring& path, size_t maxBytes) override;

private:
    const RunDirectory& run_;
    std::string jvmHome_;
};
// A .vmoptions file read whole.
struct VmOptionsFile {
    std::wstring path;
    std::string bytes;
};
// The default .vmoptions file (<exe without ".exe">.vmoptions, else <exe>.vmoptions, by the
// long and then the reported module path); nothing when none opens. The first that opens ends
// the search: when it holds more than maxBytes it is refused (logged) and nothing is read. The
// caller logs whether one was read.
std::optional<VmOptionsFile> readDefaultVmOptionsFile(size_t maxBytes);
// Appends the entries of config 121 or 132 to target, each resolved and followed by ";"; at a
// required entry that is missing it stops, false with the failure filled in (message 1006, or
// 1008 for a variable that adds nothing: unset, empty, or too long for the 6000-character
// buffer). list names which one the entries text holds (its 'S' entries differ).
[[nodiscard]] bool appendConfiguredEntries(Setting list, std::string_view entries,
                                           OptionSources& sources, std::string& target,
                                           RunFailure& failure);

}  // namespace launcher
