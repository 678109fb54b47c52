#include "jvm/options/vm_options.h"

#include <algorithm>

#include "common/command_line.h"
#include "common/log.h"
#include "common/text_list.h"
#include "config/config.h"
#include "env/path_rules.h"
#include "jvm/discovery/java_version.h"

namespace launcher {

namespace {

constexpr std::wstring_view kIncludeToken = L"-include-options";
constexpr std::wstring_view kIncludePrefix = L"-include-options ";
constexpr std::wstring_view kLocalePrefix = L"-Dsun.locale.formatasdefault=";
constexpr std::wstring_view kLocaleAsDefault = L"-Dsun.locale.formatasdefault=true";
constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";
constexpr char kEndOfFile = '\x1a';

// Class-path override lines, tested in this order after the include prefix; each slot keeps the
// value of its last line.
struct OverrideLine {
    std::wstring_view prefix;
    std::optional<std::string> VmOptionCollector::*slot;
};
constexpr OverrideLine kOverrideLines[] = {
    {L"-classpath ", &VmOptionCollector::classPathReplace},
    {L"-classpath/p ", &VmOptionCollector::classPathPrepend},
    {L"-classpath/a ", &VmOptionCollector::classPathAppend},
};

// Real option files nest a level or two; this bound only stops hostile include chains.
constexpr size_t kMaxIncludeDepth = 64;
// More per-version lines than any block holds; keeps the line ids inside 32 bits.

// Calls f with every line that counts, trimmed, until f returns false. CR LF needs no step of
// its own: the CR left before the LF is trailing white space and trimmed away like any other.
template <typename F>
void forEachOptionLine(std::string_view bytes, F&& f) {
    bytes = bytes.substr(0, bytes.find(kEndOfFile));  // text mode stops reading at 0x1A
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = bytes.substr(start, end - start);
        start = end + 1;
        // Lines are C strings to the runtime's line reader: a NUL byte ends the text.
        line = line.substr(0, line.find('\0'));
        const size_t first = line.find_first_not_of(kWhiteSpace);
        if (first == std::string_view::npos || line[first] == '#') continue;
        if (!f(line.substr(first, line.find_last_not_of(kWhiteSpace) - first + 1))) return;
    }
}

// The name under which the cycle guard knows a file: "/" read as "\", runs of separators, "."
// and ".." segments resolved as Windows resolves them (never above the drive or share), ASCII
// letters folded (file names ignore case), and the dots and blanks that Windows drops from the
// end of a name dropped. So "C:\app\.\a", "C:\app\sub\..\A" and "c:/app/a." are one file.
std::wstring fileKey(std::wstring_view path) {
    const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    const bool unc = path.size() >= 2 && separator(path[0]) && separator(path[1]);
    std::wstring key = unc ? L"\\\\" : L"";
    std::vector<size_t> starts;  // where each kept segment begins in key
    size_t root = 0;             // segments ".." never removes: the drive, or server and share
    for (size_t start = 0; start <= path.size();) {
        size_t end = start;
        while (end < path.size() && !separator(path[end])) ++end;
        const std::wstring_view segment = path.substr(start, end - start);
        start = end + 1;
        if (segment.empty() || segment == L".") continue;
        if (segment == L"..") {
            if (starts.size() > root) {
                key.resize(starts.back());
                starts.pop_back();
            }
            continue;
        }
        starts.push_back(key.size());
        key += lowerAscii(segment);
        key += L'\\';
        if (unc ? starts.size() <= 2 : starts.size() == 1 && segment.back() == L':') {
            root = starts.size();
        }
    }
    if (starts.size() > root) {
        key.pop_back();
        key.erase(std::max(key.find_last_not_of(L". ") + 1, starts.back()));
        if (key.size() > starts.back()) key += L'\\';
    }
    return key;
}

// A configured option string: expanded ANSI-safe, then split like a command line.
std::vector<std::wstring> optionTokens(OptionSources& sources, std::wstring_view options) {
    std::vector<std::wstring> tokens;
    splitCommandLine(sources.expand(options, true), tokens);
    return tokens;
}

}  // namespace

std::vector<std::string> vmOptionFileLines(std::string_view bytes) {
    std::vector<std::string> lines;
    forEachOptionLine(bytes, [&](std::string_view line) {
        lines.emplace_back(line);
        return true;
    });
    return lines;
}

std::string optionBoundsRefusal(size_t count, size_t bytes) {
    if (count > kMaxVmOptionCount) {
        return formatA("more than %d JVM options", static_cast<int>(kMaxVmOptionCount));
    }
    if (bytes > kMaxVmOptionBytes) {
        return formatA("JVM options longer than %d bytes in all",
                       static_cast<int>(kMaxVmOptionBytes));
    }
    return {};
}

void VmOptionReader::readVmOptionsFile(const std::optional<std::wstring>& path,
                                       std::string_view bytes) {
    readLines(path, path ? &*path : nullptr, bytes);
}

void VmOptionReader::readDefaultVmOptionsFile(const std::wstring& path, std::string_view bytes) {
    readLines(std::nullopt, &path, bytes);
}

size_t VmOptionReader::readBudgetLeft() const {
    return filesRead_ < kMaxReadFiles ? kMaxReadBytes - bytesRead_ : 0;
}

void VmOptionReader::readLines(const std::optional<std::wstring>& basePath,
                               const std::wstring* guardPath, std::string_view bytes) {
    // Checked with the file's own size, so the file being read cannot pass the budget.
    if (filesRead_ >= kMaxReadFiles || bytes.size() > kMaxReadBytes - bytesRead_) {
        logError(L"options file %s not read: %d bytes beyond the budget of %d files and %d bytes",
                 guardPath ? *guardPath : std::wstring(), static_cast<int>(bytes.size()),
                 static_cast<int>(kMaxReadFiles), static_cast<int>(kMaxReadBytes));
        return;
    }
    ++filesRead_;
    bytesRead_ += bytes.size();
    if (guardPath) reading_.push_back(fileKey(*guardPath));
    forEachOptionLine(bytes, [&](std::string_view line) {
        addVmOptionLine(basePath, sources_.expand(widen(line), true));
        return refusal_.empty();
    });
    if (guardPath) reading_.pop_back();
}

void VmOptionReader::addOption(std::string option) {
    if (!refusal_.empty()) return;
    refusal_ = optionBoundsRefusal(collector_.options.size() + 1, optionBytes_ + option.size());
    if (!refusal_.empty()) {
        logError(L"%S: the options that follow are not read", refusal_);
        return;
    }
    optionBytes_ += option.size();
    collector_.options.push_back(std::move(option));
}

void VmOptionReader::addVmOptionLine(const std::optional<std::wstring>& basePath,
                                     std::wstring_view line) {
    if (line.starts_with(kIncludePrefix)) {
        include(basePath, line.substr(kIncludePrefix.size()));
        return;
    }
    for (const OverrideLine& kind : kOverrideLines) {
        if (line.starts_with(kind.prefix)) {
            collector_.*kind.slot = sources_.narrow(line.substr(kind.prefix.size()));
            return;
        }
    }
    addOption(sources_.narrow(line));
}

void VmOptionReader::addVmOptionTokens(const std::vector<std::wstring>& tokens) {
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i] == kIncludeToken && i + 1 < tokens.size()) {
            addVmOptionLine(std::nullopt, std::wstring(kIncludePrefix) + tokens[++i]);
        } else {
            addVmOptionLine(std::nullopt, tokens[i]);
        }
    }
}

void VmOptionReader::include(const std::optional<std::wstring>& basePath,
                             std::wstring_view rawPath) {
    if (!refusal_.empty()) return;
    const std::wstring expanded = sources_.expand(rawPath, false);
    logMessage(L"after exp from %s %s", expanded, rawPath);
    const std::wstring resolved =
        sources_.resolveInclude(expanded, basePath ? &*basePath : nullptr);
    if (std::find(reading_.begin(), reading_.end(), fileKey(resolved)) != reading_.end()) {
        logError(L"include cycle: %s is already being read", resolved);
        return;
    }
    if (reading_.size() >= kMaxIncludeDepth) {
        logError(L"includes nested deeper than %d: %s not read", static_cast<int>(kMaxIncludeDepth),
                 resolved);
        return;
    }
    if (filesRead_ >= kMaxReadFiles || bytesRead_ >= kMaxReadBytes) {
        logError(L"too many included options (%d files, %d bytes): %s not read",
                 static_cast<int>(filesRead_), static_cast<int>(bytesRead_), resolved);
        return;
    }
    // Every attempt is a look-up on the file system, whether or not the file is there.
    if (includeAttempts_ >= kMaxIncludeAttempts) {
        if (includeAttempts_++ == kMaxIncludeAttempts) {
            logError(L"too many include attempts (%d): %s and the includes after it not read",
                     static_cast<int>(kMaxIncludeAttempts), resolved);
        }
        return;
    }
    ++includeAttempts_;
    const std::optional<std::string> bytes = sources_.readFile(resolved, readBudgetLeft());
    logMessage(L"adding vmoptions from (%d) <%s> (%s)", bytes ? 1 : 0, resolved, expanded);
    if (bytes) readVmOptionsFile(resolved, *bytes);
    logMessage(L"adding vmoptions 2");
    logMessage(L"adding vmoptions 3");
}

int32_t javaMajorVersion(std::string_view versionText) {
    const VersionList parts = parseVersion(versionText);
    if (parts.empty()) return -1;
    return parts[0] == 1 && parts.size() > 1 ? parts[1] : parts[0];
}

// Greedy matching that returns to the last "*" only: quadratic at worst, never exponential.
bool matchVersionPattern(std::string_view pattern, std::string_view text) {
    size_t p = 0;
    size_t t = 0;
    size_t star = std::string_view::npos;
    size_t starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            starText = t;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool versionConditionMatches(std::string_view condition, std::string_view versionText) {
    if (condition.starts_with('*')) return matchVersionPattern(condition.substr(1), versionText);
    const size_t dash = condition.find('-');
    if (dash == std::string_view::npos) {
        logMessage(L"ERROR: expected dash");
        return false;
    }
    const int32_t minimum = parseConfigInt(condition.substr(0, dash));
    const int32_t maximum = parseConfigInt(condition.substr(dash + 1));
    const int32_t major = javaMajorVersion(versionText);
    logMessage(L"checking min %d max %d with %d", minimum, maximum, major);
    return minimum <= major && major <= maximum;
}

std::optional<std::wstring> localeArgument(const std::vector<std::wstring>& programArguments) {
    const auto last = std::find_if(
        programArguments.rbegin(), programArguments.rend(),
        [](const std::wstring& argument) { return argument.starts_with(kLocalePrefix); });
    if (last == programArguments.rend()) return std::nullopt;
    return *last;
}

std::vector<std::wstring> localeOptions(std::wstring_view argument, std::string_view languageCode,
                                        std::string_view countryCode) {
    std::vector<std::wstring> options{std::wstring(argument)};
    if (argument == kLocaleAsDefault) return options;
    if (!languageCode.empty()) options.push_back(L"-Duser.language=" + widen(languageCode));
    if (!countryCode.empty()) options.push_back(L"-Duser.country=" + widen(countryCode));
    return options;
}

void addConfiguredVmOptions(VmOptionReader& reader, OptionSources& sources,
                            const ConfiguredVmOptions* configured,
                            const std::vector<std::wstring>& programArguments,
                            std::string_view jvmVersion, std::string_view languageCode,
                            std::string_view countryCode) {
    const std::vector<std::wstring> tokens =
        optionTokens(sources, configured ? std::wstring_view(configured->jvmOptions) : L"");
    logMessage(L"adding options");
    reader.addVmOptionTokens(tokens);

    int32_t count = configured ? configured->versionLineCount : 0;
    if (count > 0) {
        logMessage(L"check %d version specific vm option lines for %S", count, jvmVersion);
        if (count > kMaxVersionLines) {
            logError(L"only the first %d version specific lines are checked", kMaxVersionLines);
            count = kMaxVersionLines;
        }
    }
    for (int32_t i = 0; i < count && !jvmVersion.empty(); ++i) {
        const size_t line = static_cast<size_t>(i);
        if (line >= configured->versionConditions.size() ||
            line >= configured->versionOptions.size()) {
            break;
        }
        const std::string& condition = configured->versionConditions[line];
        const bool matches = versionConditionMatches(condition, jvmVersion);
        logMessage(L"checking version %S %d", condition, matches ? 1 : 0);
        if (!matches) continue;
        const std::wstring& options = configured->versionOptions[line];
        logMessage(L"adding specific %s", options);
        reader.addVmOptionTokens(optionTokens(sources, options));
        break;
    }

    if (const auto argument = localeArgument(programArguments)) {
        for (const std::wstring& option : localeOptions(*argument, languageCode, countryCode)) {
            reader.addVmOptionLine(std::nullopt, option);
        }
    }
}

std::vector<ConfiguredEntry> configuredEntries(std::string_view list) {
    std::vector<ConfiguredEntry> entries;
    for (const std::string& entry : splitList(list)) {
        if (entry.size() < 2) continue;
        entries.push_back(ConfiguredEntry{entry[0], entry[1] == '1', entry.substr(2)});
    }
    return entries;
}

}  // namespace launcher
