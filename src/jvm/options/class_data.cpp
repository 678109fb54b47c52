#include "jvm/options/class_data.h"

#include <algorithm>
#include <array>

#include "common/log.h"
#include "jvm/discovery/java_version.h"

namespace launcher {

namespace {

constexpr int kFirstDynamicArchiveVersion = 13;
constexpr int kFirstAheadOfTimeCacheVersion = 25;
constexpr size_t kStampDigits = 16;

constexpr std::string_view kDynamicExtension = ".jsa";
constexpr std::string_view kCacheExtension = ".aot";
constexpr std::string_view kPartMark = ".part";
constexpr std::string_view kCopiesSuffix = ".lib";
constexpr std::string_view kBaseArchiveName = "classes.jsa";

// Options that decide about class-data sharing themselves; the launcher then adds none.
constexpr std::array<std::string_view, 10> kChoosingOptions = {"-Xshare:off",
                                                               "-Xshare:dump",
                                                               "-XX:SharedArchiveFile",
                                                               "-XX:ArchiveClassesAtExit",
                                                               "-XX:AOTCache",
                                                               "-XX:AOTCacheOutput",
                                                               "-XX:AOTMode",
                                                               "-XX:AOTConfiguration",
                                                               "-XX:+AutoCreateSharedArchive",
                                                               "-XX:SharedClassListFile"};

// The options whose values are class or module path lists.
constexpr std::array<std::string_view, 3> kPathOptions = {
    "-Djava.class.path=", "--module-path=", "-Djdk.module.path="};

// The stub has no std::to_string: it would bring the C++ library's exception runtime along.
std::string decimalText(uint64_t value) {
    char digits[20];
    size_t at = sizeof digits;
    do {
        digits[--at] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    return std::string(digits + at, sizeof digits - at);
}

// FNV-1a over the texts given, each ended by a zero byte so that no two lists of
// texts give the same bytes.
class StampHash {
public:
    void add(std::string_view text) {
        value_ = fnv1a(value_, reinterpret_cast<const unsigned char*>(text.data()), text.size());
        constexpr unsigned char kEnd = 0;
        value_ = fnv1a(value_, &kEnd, 1);
    }
    void add(uint64_t number) { add(decimalText(number)); }
    void add(const std::optional<FileStamp>& stamp) {
        if (!stamp) return add("-");
        add(stamp->size);
        add(stamp->modified);
    }
    std::string text() const {
        std::string digits(kStampDigits, '0');
        uint64_t value = value_;
        for (size_t i = kStampDigits; i-- > 0; value >>= 4)
            digits[i] = "0123456789abcdef"[value & 15];
        return digits;
    }

private:
    uint64_t value_ = kFnvStart;
};

int featureVersion(std::string_view jvmVersion) {
    const VersionList numbers = parseVersion(jvmVersion);
    if (numbers.empty()) return 0;
    // "1.8.0_292" is Java 8.
    if (numbers[0] == 1 && numbers.size() > 1) return numbers[1];
    return numbers[0];
}

std::string_view fileNameOf(std::string_view path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool isHexStamp(std::string_view text) {
    return text.size() == kStampDigits && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// A number of at most 19 digits (no overflow), or nothing.
std::optional<uint64_t> decimal(std::string_view text) {
    if (text.empty() || text.size() > 19) return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

// What a name in the archive folder is: an archive "<stamp>-<size><ext>", a part
// "<stamp>.<pid>.part<ext>", a folder of copies "<stamp>.lib", or something else (left alone).
struct FolderName {
    enum class Kind { Other, Archive, Part, Copies } kind = Kind::Other;
    std::string_view stamp;
    uint64_t size = 0;  // an archive's recorded size
    uint32_t pid = 0;   // a part's process
};

FolderName readFolderName(std::string_view name, bool folder) {
    FolderName read;
    if (name.size() <= kStampDigits || !isHexStamp(name.substr(0, kStampDigits))) return read;
    read.stamp = name.substr(0, kStampDigits);
    std::string_view rest = name.substr(kStampDigits);
    if (folder) {
        if (rest == kCopiesSuffix) read.kind = FolderName::Kind::Copies;
        return read;
    }
    if (!rest.ends_with(kDynamicExtension) && !rest.ends_with(kCacheExtension)) return read;
    rest.remove_suffix(kDynamicExtension.size());
    if (rest.empty()) return read;
    if (const auto size = decimal(rest.substr(1)); rest.front() == '-' && size) {
        read.kind = FolderName::Kind::Archive;
        read.size = *size;
    } else if (rest.front() == '.' && rest.ends_with(kPartMark)) {
        const auto pid = decimal(rest.substr(1, rest.size() - 1 - kPartMark.size()));
        if (pid && *pid <= UINT32_MAX) {
            read.kind = FolderName::Kind::Part;
            read.pid = static_cast<uint32_t>(*pid);
        }
    }
    return read;
}

// The class and module path entries of the options, the per-run directory's replaced by the
// archive's copies (each with its source), and the stamp of everything they depend on.
struct PathPlan {
    std::vector<std::pair<size_t, std::string>> replaced;     // option index, new text
    std::vector<std::pair<std::string, std::string>> copies;  // from, to
    bool unreadable = false;
};

PathPlan planPaths(const ClassDataInputs& inputs, const std::vector<std::string>& options,
                   const std::string& copiesFolder, StampHash& hash, ClassDataMachine& machine) {
    PathPlan plan;
    const bool hasRun = !inputs.runDirectory.empty();
    for (size_t i = 0; i < options.size(); ++i) {
        const std::string& option = options[i];
        const auto name = std::find_if(kPathOptions.begin(), kPathOptions.end(),
                                       [&](std::string_view n) { return option.starts_with(n); });
        if (name == kPathOptions.end()) continue;
        hash.add(*name);
        std::string rewritten(*name);
        bool changed = false;
        std::string_view list = std::string_view(option).substr(name->size());
        while (true) {
            const size_t end = list.find(inputs.pathSeparator);
            const std::string entry(list.substr(0, end));
            if (hasRun && entry.starts_with(inputs.runDirectory) &&
                entry.find_first_of("\\/", inputs.runDirectory.size()) == std::string::npos) {
                // A per-run file: its copy is named by its name and bytes.
                const std::optional<uint64_t> content = machine.contentHash(entry);
                if (!content) {
                    plan.unreadable = true;
                    return plan;
                }
                const std::string copy = copiesFolder + std::string(fileNameOf(entry));
                hash.add(fileNameOf(entry));
                hash.add(*content);
                plan.copies.emplace_back(entry, copy);
                rewritten += copy;
                changed = true;
            } else {
                hash.add(entry);
                hash.add(machine.stamp(entry));
                rewritten += entry;
            }
            if (end == std::string_view::npos) break;
            rewritten += inputs.pathSeparator;
            list.remove_prefix(end + 1);
        }
        if (changed) plan.replaced.emplace_back(i, std::move(rewritten));
    }
    return plan;
}

// Removes what earlier starts left: archives besides this one and the newest other, their
// copies, parts of other processes, and this stamp's archive when its size is not the one its
// name records (a cut-off file). Returns this stamp's whole archive, if any.
std::optional<std::string> tidyFolder(const std::string& folder, std::string_view stamp,
                                      std::string_view extension, ClassDataMachine& machine) {
    const std::vector<FolderEntry> entries = machine.listFolder(folder);
    std::optional<std::string> current;
    std::vector<const FolderEntry*> others;
    for (const FolderEntry& entry : entries) {
        const FolderName name = readFolderName(entry.name, entry.folder);
        if (name.kind == FolderName::Kind::Part && name.pid != machine.processId()) {
            machine.removeFile(folder + entry.name);
        } else if (name.kind == FolderName::Kind::Archive && name.stamp == stamp) {
            if (name.size == entry.stamp.size && entry.name.ends_with(extension) && !current) {
                current = entry.name;
            } else {
                logMessage(L"class-data sharing: removing %S (not whole)", entry.name);
                machine.removeFile(folder + entry.name);
            }
        } else if (name.kind == FolderName::Kind::Archive) {
            others.push_back(&entry);
        }
    }
    // The newest other archive stays; every older one goes.
    const FolderEntry* newest = nullptr;
    for (const FolderEntry* other : others) {
        if (newest == nullptr || other->stamp.modified > newest->stamp.modified) newest = other;
    }
    std::vector<std::string_view> kept = {stamp};
    if (newest != nullptr) kept.push_back(std::string_view(newest->name).substr(0, kStampDigits));
    for (const FolderEntry* other : others) {
        if (other == newest) continue;
        logMessage(L"class-data sharing: removing the older archive %S", other->name);
        machine.removeFile(folder + other->name);
    }
    for (const FolderEntry& entry : entries) {
        const FolderName name = readFolderName(entry.name, entry.folder);
        if (name.kind == FolderName::Kind::Copies &&
            std::find(kept.begin(), kept.end(), name.stamp) == kept.end()) {
            machine.removeFolder(folder + entry.name);
        }
    }
    return current;
}

}  // namespace

uint64_t fnv1a(uint64_t hash, const unsigned char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

ClassDataMechanism classDataMechanism(std::string_view jvmVersion) {
    const int feature = featureVersion(jvmVersion);
    if (feature >= kFirstAheadOfTimeCacheVersion) return ClassDataMechanism::AheadOfTimeCache;
    if (feature >= kFirstDynamicArchiveVersion) return ClassDataMechanism::DynamicArchive;
    return ClassDataMechanism::None;
}

std::optional<std::string> userClassDataChoice(const std::vector<std::string>& options) {
    for (const std::string& option : options) {
        for (std::string_view choosing : kChoosingOptions) {
            // The name alone or followed by its value.
            if (option.starts_with(choosing) &&
                (option.size() == choosing.size() || option[choosing.size()] == '=' ||
                 option[choosing.size()] == ':')) {
                return option;
            }
        }
    }
    return std::nullopt;
}

std::optional<ClassDataWrite> addClassDataOptions(const ClassDataInputs& inputs,
                                                  std::vector<std::string>& options,
                                                  ClassDataMachine& machine) {
    const ClassDataMechanism mechanism = classDataMechanism(inputs.jvmVersion);
    if (mechanism == ClassDataMechanism::None) {
        logMessage(L"class-data sharing: none for Java %S", inputs.jvmVersion);
        return std::nullopt;
    }
    if (const std::optional<std::string> chosen = userClassDataChoice(options)) {
        logMessage(L"class-data sharing: the options choose (%S)", *chosen);
        return std::nullopt;
    }
    const size_t slash = inputs.jvmLibraryPath.find_last_of("\\/");
    const std::string baseArchive =
        (slash == std::string::npos ? std::string() : inputs.jvmLibraryPath.substr(0, slash + 1)) +
        std::string(kBaseArchiveName);
    const std::optional<FileStamp> base = machine.stamp(baseArchive);
    if (!base) {
        logMessage(L"class-data sharing: the runtime has no base archive (%S)", baseArchive);
        return std::nullopt;
    }
    const std::optional<std::string> folder = machine.archiveFolder();
    if (!folder) {
        logMessage(L"class-data sharing: no safe archive folder");
        return std::nullopt;
    }

    StampHash hash;
    hash.add(static_cast<uint64_t>(mechanism));
    hash.add(inputs.jvmLibraryPath);
    hash.add(inputs.jvmVersion);
    hash.add(machine.stamp(inputs.jvmLibraryPath));
    hash.add(base);
    // The copies' folder is named by the stamp, which depends on the copies' bytes: a
    // placeholder first, the real name once the stamp is known.
    constexpr std::string_view kPlaceholder = "<copies>";
    PathPlan paths = planPaths(inputs, options, std::string(kPlaceholder), hash, machine);
    if (paths.unreadable) {
        logMessage(L"class-data sharing: a jar of the per-run directory cannot be read");
        return std::nullopt;
    }
    const std::string stamp = hash.text();
    const bool dynamic = mechanism == ClassDataMechanism::DynamicArchive;
    const std::string_view extension = dynamic ? kDynamicExtension : kCacheExtension;
    std::optional<std::string> current = tidyFolder(*folder, stamp, extension, machine);

    const char separator = folder->back();
    const std::string copies = *folder + stamp + std::string(kCopiesSuffix) + separator;
    const auto named = [&](std::string text) {
        for (size_t at = text.find(kPlaceholder); at != std::string::npos;
             at = text.find(kPlaceholder, at)) {
            text.replace(at, kPlaceholder.size(), copies);
        }
        return text;
    };
    // The copies are named by their bytes and only ever appear whole, so one that is there is
    // the right one, and another start may be using it. A copy made anew has a new time, which
    // the JVM would refuse in an archive made with the earlier one.
    for (const auto& [from, to] : paths.copies) {
        const std::string target = named(to);
        if (machine.stamp(target)) continue;
        if (!machine.copyFile(from, target)) {
            logMessage(L"class-data sharing: %S cannot be copied to %S", from, target);
            return std::nullopt;
        }
        if (current) {
            machine.removeFile(*folder + *current);
            current.reset();
        }
    }
    for (auto& [index, text] : paths.replaced) options[index] = named(std::move(text));

    std::vector<std::string> added;
    std::optional<ClassDataWrite> write;
    if (current) {
        const std::string path = *folder + *current;
        logMessage(L"class-data sharing: using %S", path);
        added.push_back((dynamic ? "-XX:SharedArchiveFile=" : "-XX:AOTCache=") + path);
    } else {
        write = ClassDataWrite{*folder + stamp + "." + decimalText(machine.processId()) +
                                   std::string(kPartMark) + std::string(extension),
                               *folder, stamp, std::string(extension)};
        logMessage(L"class-data sharing: writing %S at the exit", write->written);
        // The JVM's notes on the classes it leaves out would fill the application's output.
        added.push_back(dynamic ? "-Xlog:cds=off" : "-Xlog:cds=off,aot=off");
        added.push_back((dynamic ? "-XX:ArchiveClassesAtExit=" : "-XX:AOTCacheOutput=") +
                        write->written);
    }
    options.insert(options.begin(), added.begin(), added.end());
    return write;
}

bool finishClassData(const ClassDataWrite& write, ClassDataMachine& machine) {
    const std::optional<FileStamp> written = machine.stamp(write.written);
    if (!written || written->size == 0) {
        logMessage(L"class-data sharing: no archive was written");
        if (written) machine.removeFile(write.written);
        return false;
    }
    const std::string name = write.stampName + "-" + decimalText(written->size) + write.extension;
    if (!machine.renameFile(write.written, write.folder + name)) {
        // Another start of the same application was first.
        machine.removeFile(write.written);
        return false;
    }
    logMessage(L"class-data sharing: kept %S", name);
    return true;
}

}  // namespace launcher
