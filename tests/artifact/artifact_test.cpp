// Checks of the shipped launcher stub as a file: the image kind, what it imports, its size, and
// that a block appended by the packing library is found where the launcher looks for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "block_writer.h"
#include "config/config_block.h"
#include "pe_file.h"

namespace fs = std::filesystem;

namespace {

// The stub is copied into every packaged application: it must not grow unseen. The service
// host's restart loop, watchdog and status record took it from 216,064 to about 233,000 bytes;
// its event reports, its lines in the application's standard error file, the event source at
// install and /status-json to 244,224; the class-data archives (choosing the mechanism, naming
// and tidying the archives, the folder's access check, copying the per-run jars) to 268,288.
// The cap leaves 2.5 KB above that, so the exception runtime (+150 KB) or any real growth still
// fails here.
constexpr uint64_t kMaxStubBytes = 270848;

// The DLLs every start of the stub needs; each one imported at load time is loaded (with what it
// imports itself) on every road, so anything else (user32, shell32: their functions are looked
// up when used) must not be imported, and a MinGW runtime DLL or libc++ would have to be
// shipped beside every packaged application.
constexpr const char* kAllowedDlls[] = {"kernel32.dll", "msvcrt.dll", "advapi32.dll"};

std::string lowercase(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool isAllowedDll(const std::string& name) {
    const std::string lower = lowercase(name);
    return std::any_of(std::begin(kAllowedDlls), std::end(kAllowedDlls),
                       [&](const char* allowed) { return lower == allowed; });
}

std::string importList(const artifact::PeFile& pe) {
    std::ostringstream s;
    for (const auto& dll : pe.imports) {
        s << "  " << dll.name << (dll.delayLoaded ? " (delay-loaded)" : "") << ": "
          << dll.functions.size() << " functions:";
        for (const auto& f : dll.functions) s << ' ' << f;
        s << '\n';
    }
    return s.str();
}

const artifact::ImportedDll* findImport(const artifact::PeFile& pe, const std::string& dll) {
    for (const auto& d : pe.imports) {
        if (lowercase(d.name) == lowercase(dll)) return &d;
    }
    return nullptr;
}

bool importsFunction(const artifact::PeFile& pe, const std::string& dll, const std::string& fn) {
    const auto* d = findImport(pe, dll);
    return d != nullptr &&
           std::find(d->functions.begin(), d->functions.end(), fn) != d->functions.end();
}

class ShippedStub : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        path_ = LAUNCHER_STUB_PATH;
        if (fs::exists(path_)) bytes_ = pack::readFileBytes(path_.string());
    }
    void SetUp() override {
        ASSERT_TRUE(fs::exists(path_))
            << path_ << " is missing: build the win-arm64 preset (target launcher) first";
        ASSERT_NO_THROW(pe_ = artifact::parsePe(bytes_)) << path_;
    }

    static inline fs::path path_;
    static inline std::vector<uint8_t> bytes_;
    artifact::PeFile pe_;
};

}  // namespace

TEST_F(ShippedStub, IsAnArm64GuiProgram) {
    EXPECT_EQ(pe_.machine, artifact::kMachineArm64) << std::hex << pe_.machine;
    EXPECT_TRUE(pe_.pe32Plus);
    EXPECT_EQ(pe_.subsystem, artifact::kSubsystemWindowsGui);
}

TEST_F(ShippedStub, ImportsOnlyTheDllsEveryStartNeeds) {
    const std::string list = importList(pe_);
    std::cout << "[ stub     ] " << path_.filename().string() << " imports:\n" << list;
    ASSERT_FALSE(pe_.imports.empty()) << "no import directory found";
    for (const auto& dll : pe_.imports) {
        EXPECT_TRUE(isAllowedDll(dll.name))
            << dll.name << " is imported at load time; all imports:\n"
            << list;
    }
    // The entry point and the log need these; their absence means the import walk is broken.
    EXPECT_TRUE(importsFunction(pe_, "KERNEL32.dll", "GetModuleFileNameW")) << list;
}

TEST_F(ShippedStub, IsSmall) {
    std::cout << "[ stub     ] " << path_.filename().string() << ": " << bytes_.size() << " bytes ("
              << (bytes_.size() + 512) / 1024 << " KB), limit " << kMaxStubBytes << " bytes\n";
    EXPECT_LE(bytes_.size(), kMaxStubBytes);
    // The C++ library's exception runtime (and the unwinder it brings) more than doubles the
    // stub; one stray use of a throwing or nothrow library facility links it.
    const std::string_view image(reinterpret_cast<const char*>(bytes_.data()), bytes_.size());
    for (std::string_view marker : {"__cxa_get_globals", "_Unwind_Resume", "std::bad_alloc"}) {
        EXPECT_EQ(image.find(marker), std::string_view::npos) << marker << " is in the stub";
    }
}

// Every build folder makes the same stub: no link time in the COFF header or the debug
// directory, so launchers made from the same sources are the same byte for byte.
TEST_F(ShippedStub, CarriesNoTimeStamp) {
    const auto get32 = [&](size_t at) {
        return uint32_t{bytes_.at(at)} | uint32_t{bytes_.at(at + 1)} << 8 |
               uint32_t{bytes_.at(at + 2)} << 16 | uint32_t{bytes_.at(at + 3)} << 24;
    };
    const size_t pe = get32(0x3C);
    EXPECT_EQ(get32(pe + 8), 0u) << "the COFF header's TimeDateStamp";
    const size_t debugDirectory = pe + 24 + 112 + 6 * 8;  // PE32+: the seventh data directory
    const uint32_t debugRva = get32(debugDirectory), debugSize = get32(debugDirectory + 4);
    if (debugRva != 0) {
        const auto at = pe_.fileOffset(debugRva);
        ASSERT_TRUE(at.has_value());
        for (uint32_t entry = 0; entry < debugSize / 28; ++entry) {
            EXPECT_EQ(get32(*at + 28 * entry + 4), 0u) << "debug directory entry " << entry;
        }
    }
}

TEST_F(ShippedStub, EndsWithItsLastSection) {
    // The block goes right behind the last section in the table; a COFF symbol table, debug data
    // or a signature there would come between the two.
    ASSERT_FALSE(pe_.sections.empty());
    const auto& last = pe_.sections.back();
    EXPECT_EQ(uint64_t{last.rawPointer} + last.rawSize, bytes_.size())
        << "last section " << last.name << " ends at " << last.rawPointer + last.rawSize;
    EXPECT_EQ(pe_.coffSymbolTable, 0u) << "the stub is not stripped";
    EXPECT_EQ(pack::blockOffset(bytes_), static_cast<int64_t>(bytes_.size()));
}

TEST_F(ShippedStub, AppendedBlockIsReadBackWhereTheLauncherLooks) {
    pack::BlockWriter writer;
    writer.string(1000, "Caption")
        .string(107, "1")
        .string(2, "\xC3\xA4 narrow bytes")
        .wide(1000, u"Fehler \u00FC")
        .wide(1001, u"detail {0}");
    const std::vector<uint8_t> image = pack::appendBlock(bytes_, writer.build());

    const int64_t offset = pack::blockOffset(image);
    ASSERT_EQ(offset, static_cast<int64_t>(bytes_.size()));

    launcher::MemorySource source(image);
    launcher::BlockReader reader(source);
    ASSERT_TRUE(launcher::seekConfigBlock(reader));
    EXPECT_EQ(reader.position(), static_cast<uint64_t>(offset));
    launcher::ConfigStrings strings;
    ASSERT_TRUE(launcher::readConfigStrings(reader, strings))
        << "read failure " << static_cast<int>(reader.failure());
    EXPECT_EQ(strings, (launcher::ConfigStrings{
                           {2, "\xC3\xA4 narrow bytes"}, {107, "1"}, {1000, "Caption"}}));

    launcher::BlockReader second(source);
    ASSERT_TRUE(launcher::seekConfigBlock(second));
    launcher::LocalizedStrings localized;
    uint32_t blockEnd = 0;
    ASSERT_TRUE(launcher::readConfigBlockTables(second, "en", localized, blockEnd))
        << "read failure " << static_cast<int>(second.failure());
    EXPECT_EQ(localized,
              (launcher::LocalizedStrings{{1000, L"Fehler \u00FC"}, {1001, L"detail {0}"}}));
    EXPECT_EQ(blockEnd, image.size());
}

TEST_F(ShippedStub, WithoutABlockTheFirstReadFails) {
    launcher::MemorySource source(bytes_);
    launcher::BlockReader reader(source);
    ASSERT_TRUE(launcher::seekConfigBlock(reader));
    EXPECT_EQ(reader.position(), bytes_.size());
    launcher::ConfigStrings strings;
    EXPECT_FALSE(launcher::readConfigStrings(reader, strings));
    EXPECT_EQ(reader.failure(), launcher::ReadFailure::ReadInt);
}

// The reader itself, on a Windows program of ours whose imports are known.
TEST(PeFile, ReadsTheImportsOfAKnownProgram) {
    const fs::path winrun = fs::path(LAUNCHER_WIN_BIN_DIR) / "winrun.exe";
    ASSERT_TRUE(fs::exists(winrun)) << winrun << " is missing: build the win-arm64 preset";
    const artifact::PeFile pe = artifact::parsePe(pack::readFileBytes(winrun.string()));
    const std::string list = importList(pe);
    EXPECT_EQ(pe.machine, artifact::kMachineArm64);
    EXPECT_EQ(pe.subsystem, 3) << "winrun is a console program";
    EXPECT_TRUE(importsFunction(pe, "USER32.dll", "EnumWindows")) << list;
    EXPECT_TRUE(importsFunction(pe, "USER32.dll", "GetWindowThreadProcessId")) << list;
    EXPECT_TRUE(importsFunction(pe, "SHELL32.dll", "CommandLineToArgvW")) << list;
    EXPECT_TRUE(importsFunction(pe, "KERNEL32.dll", "CreateProcessW")) << list;
    EXPECT_EQ(findImport(pe, "ADVAPI32.dll"), nullptr) << list;
}

TEST(PeFile, RefusesATruncatedImage) {
    const fs::path winrun = fs::path(LAUNCHER_WIN_BIN_DIR) / "winrun.exe";
    ASSERT_TRUE(fs::exists(winrun)) << winrun << " is missing: build the win-arm64 preset";
    std::vector<uint8_t> bytes = pack::readFileBytes(winrun.string());
    bytes.resize(0x100);
    EXPECT_THROW(artifact::parsePe(bytes), std::runtime_error);
    EXPECT_THROW(artifact::parsePe(std::vector<uint8_t>(0x40, 0)), std::runtime_error);
}
