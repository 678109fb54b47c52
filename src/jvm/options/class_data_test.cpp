#include "jvm/options/class_data.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

using launcher::ClassDataMechanism;
using launcher::FileStamp;
using launcher::FolderEntry;

// Files in memory under "F\"; a jar's bytes are its content hash.
class MemoryMachine : public launcher::ClassDataMachine {
public:
    std::map<std::string, FileStamp> files;
    std::map<std::string, uint64_t> contents;
    std::set<std::string> folders;
    bool safeFolder = true;
    uint64_t clock = 100;

    std::optional<FileStamp> stamp(const std::string& path) override {
        const auto found = files.find(path);
        if (found == files.end()) return std::nullopt;
        return found->second;
    }
    std::optional<std::string> archiveFolder() override {
        if (safeFolder) return std::string("F\\");
        return std::nullopt;
    }
    std::vector<FolderEntry> listFolder(const std::string& folder) override {
        std::vector<FolderEntry> entries;
        for (const auto& [path, stamp] : files) {
            if (path.starts_with(folder) && path.find('\\', folder.size()) == std::string::npos)
                entries.push_back({path.substr(folder.size()), stamp, false});
        }
        for (const std::string& path : folders) {
            if (path.starts_with(folder)) entries.push_back({path.substr(folder.size()), {}, true});
        }
        return entries;
    }
    void removeFile(const std::string& path) override { files.erase(path); }
    bool renameFile(const std::string& from, const std::string& to) override {
        if (!files.contains(from) || files.contains(to)) return false;
        files[to] = files[from];
        files.erase(from);
        return true;
    }
    std::optional<uint64_t> contentHash(const std::string& path) override {
        const auto found = contents.find(path);
        if (found == contents.end()) return std::nullopt;
        return found->second;
    }
    bool copyFile(const std::string& from, const std::string& to) override {
        if (!files.contains(from) || files.contains(to)) return false;
        folders.insert(to.substr(0, to.rfind('\\')));
        files[to] = {files[from].size, ++clock};
        contents[to] = contents[from];
        return true;
    }
    void removeFolder(const std::string& path) override {
        folders.erase(path);
        std::erase_if(files, [&](const auto& file) { return file.first.starts_with(path + "\\"); });
    }
    uint32_t processId() override { return 7; }

    // What the JVM does at its exit with the options given.
    void writeArchive(const std::vector<std::string>& options, uint64_t size) {
        for (const std::string& option : options) {
            for (const std::string name : {"-XX:ArchiveClassesAtExit=", "-XX:AOTCacheOutput="}) {
                if (option.starts_with(name)) files[option.substr(name.size())] = {size, ++clock};
            }
        }
    }
    std::vector<std::string> archives() const {
        std::vector<std::string> names;
        for (const auto& [path, stamp] : files) {
            if (path.starts_with("F\\") && path.find('\\', 2) == std::string::npos)
                names.push_back(path.substr(2));
        }
        return names;
    }
};

launcher::ClassDataInputs inputs(std::string version = "17.0.1") {
    return {std::move(version), "J\\bin\\server\\jvm.dll", ';', "R\\"};
}

// A runtime with its base archive, the application jar and one jar of the per-run directory.
MemoryMachine machineWithRuntime() {
    MemoryMachine machine;
    machine.files["J\\bin\\server\\jvm.dll"] = {1000, 1};
    machine.files["J\\bin\\server\\classes.jsa"] = {2000, 1};
    machine.files["A\\app.jar"] = {300, 5};
    machine.files["R\\lumex-runtime.jar"] = {400, 50};
    machine.contents["R\\lumex-runtime.jar"] = 0xabc;
    return machine;
}

std::vector<std::string> appOptions() {
    return {"-Dlumex.tempDir=R", "-Djava.class.path=R\\lumex-runtime.jar;A\\app.jar", "-Xrs"};
}

}  // namespace

TEST(ClassData, TheRuntimeVersionChoosesTheMechanismAndOptionsThatChooseWin) {
    const std::pair<const char*, ClassDataMechanism> versions[] = {
        {"1.8.0_392", ClassDataMechanism::None},
        {"11.0.22", ClassDataMechanism::None},
        {"12", ClassDataMechanism::None},
        {"13", ClassDataMechanism::DynamicArchive},
        {"17.0.1", ClassDataMechanism::DynamicArchive},
        {"24-ea", ClassDataMechanism::DynamicArchive},
        {"25", ClassDataMechanism::AheadOfTimeCache},
        {"26.0.1", ClassDataMechanism::AheadOfTimeCache},
        {"", ClassDataMechanism::None},
        {"garbage", ClassDataMechanism::None}};
    for (const auto& [version, mechanism] : versions) {
        EXPECT_EQ(launcher::classDataMechanism(version), mechanism) << version;
    }
    const std::pair<const char*, bool> choosing[] = {{"-Xshare:off", true},
                                                     {"-Xshare:auto", false},
                                                     {"-XX:SharedArchiveFile=a.jsa", true},
                                                     {"-XX:SharedArchiveFiles=x", false},
                                                     {"-XX:ArchiveClassesAtExit=a", true},
                                                     {"-XX:AOTCache=a.aot", true},
                                                     {"-XX:AOTCacheOutput=a.aot", true},
                                                     {"-XX:AOTMode=off", true},
                                                     {"-XX:+AutoCreateSharedArchive", true},
                                                     {"-Xmx1g", false}};
    for (const auto& [option, chooses] : choosing) {
        EXPECT_EQ(launcher::userClassDataChoice({"-Da=1", option}).has_value(), chooses) << option;
    }
}

TEST(ClassData, NothingIsAddedWithoutAMechanismABaseArchiveOrASafeFolder) {
    struct Row {
        const char* name;
        std::string version;
        std::vector<std::string> extra;
        bool baseArchive, safeFolder;
    };
    const Row rows[] = {{"Java 11", "11.0.2", {}, true, true},
                        {"the options choose", "17", {"-Xshare:off"}, true, true},
                        {"no base archive", "17", {}, false, true},
                        {"no safe folder", "25", {}, true, false}};
    for (const Row& row : rows) {
        MemoryMachine machine = machineWithRuntime();
        if (!row.baseArchive) machine.files.erase("J\\bin\\server\\classes.jsa");
        machine.safeFolder = row.safeFolder;
        std::vector<std::string> options = appOptions();
        options.insert(options.end(), row.extra.begin(), row.extra.end());
        const std::vector<std::string> before = options;
        EXPECT_FALSE(launcher::addClassDataOptions(inputs(row.version), options, machine))
            << row.name;
        EXPECT_EQ(options, before) << row.name;
        EXPECT_TRUE(machine.archives().empty()) << row.name;
    }
}

// Start after start: written at a normal end, used after, made anew when a jar or the runtime
// changes, at most two kept, cut-off archives and other processes' parts removed.
TEST(ClassData, ArchivesAreWrittenUsedRenewedAndTidiedAcrossStarts) {
    for (const std::string version : {"17.0.1", "25"}) {
        SCOPED_TRACE(version);
        const bool dynamic = version == "17.0.1";
        const std::string ext = dynamic ? ".jsa" : ".aot";
        MemoryMachine machine = machineWithRuntime();
        machine.files["F\\notes.txt"] = {1, 1};
        machine.files["F\\0123456789abcdef.99.part" + ext] = {5, 1};
        const auto start = [&](uint64_t written) {
            std::vector<std::string> options = appOptions();
            auto write = launcher::addClassDataOptions(inputs(version), options, machine);
            if (write && written > 0) {
                machine.writeArchive(options, written);
                EXPECT_TRUE(launcher::finishClassData(*write, machine));
            }
            return std::make_pair(options, write);
        };

        auto [first, write] = start(9000);
        ASSERT_TRUE(write);
        const std::string stamp = write->stampName;
        const std::string copy = "F\\" + stamp + ".lib\\lumex-runtime.jar";
        EXPECT_EQ(first,
                  (std::vector<std::string>{
                      dynamic ? "-Xlog:cds=off" : "-Xlog:cds=off,aot=off",
                      (dynamic ? "-XX:ArchiveClassesAtExit=F\\" : "-XX:AOTCacheOutput=F\\") +
                          stamp + ".7.part" + ext,
                      "-Dlumex.tempDir=R", "-Djava.class.path=" + copy + ";A\\app.jar", "-Xrs"}));
        EXPECT_EQ(machine.archives(),
                  (std::vector<std::string>{stamp + "-9000" + ext, "notes.txt"}));

        // A later start maps it; the per-run jar, extracted anew with the same bytes, keeps
        // its copy.
        machine.files["R\\lumex-runtime.jar"].modified = 60;
        auto [later, none] = start(0);
        EXPECT_FALSE(none);
        EXPECT_EQ(later[0], (dynamic ? "-XX:SharedArchiveFile=F\\" : "-XX:AOTCache=F\\") + stamp +
                                "-9000" + ext);
        EXPECT_EQ(later[2], "-Djava.class.path=" + copy + ";A\\app.jar");

        // The application jar changes twice: each time a new archive, and only two stay.
        machine.files["A\\app.jar"] = {301, 6};
        const std::string second = start(9100).second->stampName;
        machine.files["A\\app.jar"] = {302, 7};
        const std::string third = start(9200).second->stampName;
        EXPECT_NE(second, stamp);
        EXPECT_NE(third, second);
        EXPECT_EQ(
            machine.archives(),
            (std::vector<std::string>{second + "-9100" + ext, third + "-9200" + ext, "notes.txt"}));
        EXPECT_FALSE(machine.folders.contains("F\\" + stamp + ".lib"));

        // An archive cut short is removed and written again.
        machine.files["F\\" + third + "-9200" + ext].size = 4600;
        auto [again, rewrite] = start(0);
        ASSERT_TRUE(rewrite);
        EXPECT_EQ(rewrite->stampName, third);
        EXPECT_FALSE(machine.files.contains("F\\" + third + "-9200" + ext));

        // Other bytes in the per-run jar: a new stamp; the runtime's library changes: another.
        machine.contents["R\\lumex-runtime.jar"] = 0xabd;
        EXPECT_NE(start(0).second->stampName, third);
        machine.contents["R\\lumex-runtime.jar"] = 0xabc;
        machine.files["J\\bin\\server\\jvm.dll"].modified = 2;
        EXPECT_NE(start(0).second->stampName, third);
    }
}

TEST(ClassData, NothingWrittenOrASecondWriterLeavesNoPart) {
    MemoryMachine machine = machineWithRuntime();
    std::vector<std::string> options = appOptions();
    const auto write = launcher::addClassDataOptions(inputs(), options, machine);
    ASSERT_TRUE(write);
    EXPECT_FALSE(launcher::finishClassData(*write, machine));
    machine.writeArchive(options, 9000);
    machine.files["F\\" + write->stampName + "-9000.jsa"] = {9000, 1};
    EXPECT_FALSE(launcher::finishClassData(*write, machine));
    EXPECT_FALSE(machine.files.contains(write->written));
}
