// Class-data sharing: the JVM keeps the classes an application loads in an archive and maps
// them at the next start instead of loading and checking them again. The launcher chooses the
// mechanism by the runtime's version, names the archive by everything it depends on (the
// runtime, the class and module path with each entry's size and time), keeps it in a folder
// that only the account, SYSTEM and administrators may change, and lets the archive the JVM
// writes at its exit take its name only once the JVM ended normally.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace launcher {

enum class ClassDataMechanism {
    None,              // older than 13: the runtime's base archive only
    DynamicArchive,    // 13 to 24: written at exit on top of the base archive, mapped after
    AheadOfTimeCache,  // 25 and later: recorded on the first run and assembled at its exit
};

ClassDataMechanism classDataMechanism(std::string_view jvmVersion);

// 64-bit FNV-1a, the hash of the archives' names and of the per-run jars' bytes: hash is
// kFnvStart or what an earlier part gave.
constexpr uint64_t kFnvStart = 0xcbf29ce484222325ULL;
uint64_t fnv1a(uint64_t hash, const unsigned char* data, size_t size);

// The first option that chooses class-data sharing itself ("-Xshare:off", an archive or cache
// of its own, an AOT mode), or nothing.
std::optional<std::string> userClassDataChoice(const std::vector<std::string>& options);

struct FileStamp {
    uint64_t size = 0;
    uint64_t modified = 0;  // any clock, as long as a change of the file changes it
};

struct FolderEntry {
    std::string name;
    FileStamp stamp;
    bool folder = false;
};

// What the plan needs from the machine.
class ClassDataMachine {
public:
    virtual ~ClassDataMachine() = default;
    // Size and time of a file or folder; nothing when it does not exist.
    virtual std::optional<FileStamp> stamp(const std::string& path) = 0;
    // The archive folder with its separator at the end, made where missing and checked safe;
    // nothing (logged) when it cannot be.
    virtual std::optional<std::string> archiveFolder() = 0;
    // The files and folders of the folder.
    virtual std::vector<FolderEntry> listFolder(const std::string& folder) = 0;
    virtual void removeFile(const std::string& path) = 0;
    // false when from is gone or to exists.
    virtual bool renameFile(const std::string& from, const std::string& to) = 0;
    // A hash of the file's bytes; nothing when it cannot be read.
    virtual std::optional<uint64_t> contentHash(const std::string& path) = 0;
    // Copies from to a new file to (its folder made where missing), which appears only whole;
    // true also when another process made it meanwhile, false when it failed.
    virtual bool copyFile(const std::string& from, const std::string& to) = 0;
    // Removes a folder made for copies, with the files in it.
    virtual void removeFolder(const std::string& path) = 0;
    virtual uint32_t processId() = 0;
};

struct ClassDataInputs {
    std::string jvmVersion;      // the selected runtime's version text
    std::string jvmLibraryPath;  // its loaded JVM library; the base archive lies beside it
    char pathSeparator = ';';    // between class and module path entries
    // The per-run directory (with its separator at the end), empty when there is none: its jars
    // are new files each run, so the archive keeps copies of them beside itself, named by
    // content, and the class and module path name the copies.
    std::string runDirectory;
};

// The archive the JVM writes at its exit, and the name it takes once written whole.
struct ClassDataWrite {
    std::string written;  // <folder><stamp>.<pid>.part<ext>, only this process writes it
    std::string folder;
    std::string stampName;  // the archive's name without its size and extension
    std::string extension;  // ".jsa" or ".aot"
};

// Adds the options for this start ahead of the others: nothing (with a log line saying why) for
// an older runtime, one without a base archive, options that choose themselves or no safe
// folder; the archive's options when a whole one of this name exists, else the options that
// write it. Either way the class and module path name the archive's copies of the per-run
// directory's jars. Archives of the folder other than this one and the newest other are removed
// (with their copies), as are parts left by earlier runs and an archive whose size is not the
// one its name records. Returns the archive to finish after a normal end of the JVM.
std::optional<ClassDataWrite> addClassDataOptions(const ClassDataInputs& inputs,
                                                  std::vector<std::string>& options,
                                                  ClassDataMachine& machine);

// After the JVM ended normally: the written archive takes its name "<stamp>-<size><ext>". false
// when nothing was written.
bool finishClassData(const ClassDataWrite& write, ClassDataMachine& machine);

// The Windows machine. The archive folder is %LOCALAPPDATA%\lumex\class-data\<service name> for
// a service (under ProgramData when its account has no LOCALAPPDATA) and
// %LOCALAPPDATA%\lumex\class-data\<program name>-<hash of its path> for a run of its own;
// paths the code page cannot hold are refused.
class WindowsClassDataMachine final : public ClassDataMachine {
public:
    // serviceName empty: a run of its own.
    explicit WindowsClassDataMachine(std::wstring serviceName)
        : serviceName_(std::move(serviceName)) {}
    std::optional<FileStamp> stamp(const std::string& path) override;
    std::optional<std::string> archiveFolder() override;
    std::vector<FolderEntry> listFolder(const std::string& folder) override;
    void removeFile(const std::string& path) override;
    bool renameFile(const std::string& from, const std::string& to) override;
    std::optional<uint64_t> contentHash(const std::string& path) override;
    bool copyFile(const std::string& from, const std::string& to) override;
    void removeFolder(const std::string& path) override;
    uint32_t processId() override;

private:
    std::wstring serviceName_;
};

}  // namespace launcher
