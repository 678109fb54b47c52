// Start-up's changes to the environment, run in this process: PATH, the Java option variables,
// the native library directories and variable expansion with the real environment block.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "common/text_format.h"
#include "env/expand_launcher_variables.h"
#include "env/path_environment.h"
#include "env/paths.h"
#include "env/temp_dir.h"

using namespace launcher;

namespace {

std::string processVariable(const char* name) {
    char value[32768];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

std::string runtimeVariable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Restores PATH in both copies and the configuration after each test.
class Environment : public ::testing::Test {
protected:
    void SetUp() override { savedPath_ = processVariable("PATH"); }
    void TearDown() override {
        SetEnvironmentVariableA("PATH", savedPath_.c_str());
        _putenv(("PATH=" + savedPath_).c_str());
    }
    std::string savedPath_;
};

}  // namespace

TEST_F(Environment, ReducedPathKeepsOnlyTheWindowsDirectoryEntries) {
    const std::string windows = toNarrowPath(windowsDirectory()).text;
    const std::string upper = [&] {
        std::string u = windows;
        for (auto& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return u;
    }();
    SetEnvironmentVariableA("PATH", (windows + "\\system32;C:\\Tools;" + upper + ";;").c_str());
    reducePath();
    EXPECT_EQ(processVariable("PATH"), windows + "\\system32;" + upper);
    SetEnvironmentVariableA("PATH", "C:\\Tools;D:\\bin");
    reducePath();
    EXPECT_EQ(processVariable("PATH"), "C:\\Tools;D:\\bin") << "nothing kept: PATH stays";
}

TEST_F(Environment, JavaOptionVariablesLeaveBothCopies) {
    for (const char* name : kJavaOptionVariables) {
        SetEnvironmentVariableA(name, "-Xmx1m");
        _putenv((std::string(name) + "=-Xmx1m").c_str());
        ASSERT_EQ(runtimeVariable(name), "-Xmx1m");
    }
    clearJavaOptionVariables();
    for (const char* name : kJavaOptionVariables) {
        EXPECT_EQ(GetEnvironmentVariableA(name, nullptr, 0), 0u) << name;
        EXPECT_EQ(std::getenv(name), nullptr) << name;
    }
}

TEST_F(Environment, NativeLibraryDirectoriesGoInFrontOfPathInBothCopies) {
    SetEnvironmentVariableA("PATH", "C:\\before");
    ASSERT_TRUE(prependNativeLibraryPath("lib;;\\sub;C:\\abs\\\\x;${LUMEX_EXEDIR}bin", false,
                                         RunDirectory()));
    const std::string folder = executableFolderA();
    const std::string expected =
        folder + "lib;" + folder + "sub;C:\\abs\\x;" + folder + "bin;C:\\before";
    EXPECT_EQ(processVariable("PATH"), expected);
    EXPECT_EQ(runtimeVariable("PATH"), expected);
}

TEST_F(Environment, EmptyNativeLibraryListSetsPathToItself) {
    SetEnvironmentVariableA("PATH", "C:\\only");
    ASSERT_TRUE(prependNativeLibraryPath("", false, RunDirectory()));
    EXPECT_EQ(processVariable("PATH"), "C:\\only");
    EXPECT_EQ(runtimeVariable("PATH"), "C:\\only");
}

TEST_F(Environment, DllDirectoriesAreAddedOnlyWhenConfigured) {
    const std::string folder = executableFolderA();
    EXPECT_EQ(addDllSearchDirectory(folder, false), nullptr);
    void* cookie = addDllSearchDirectory(folder, true);
    if (GetProcAddress(GetModuleHandleA("kernel32.dll"), "AddDllDirectory") == nullptr) {
        GTEST_SKIP() << "this system has no AddDllDirectory";
    }
    EXPECT_NE(cookie, nullptr);
    removeDllSearchDirectory(cookie);
    removeDllSearchDirectory(nullptr);
}

TEST(Expansion, EnvironmentBlockOrderDecidesNesting) {
    // Windows keeps the block sorted by name; Wine appends new variables at its end. Setting
    // them in sorted order gives the same block order on both.
    SetEnvironmentVariableW(L"LmxMixedCase", L"mixed");
    SetEnvironmentVariableW(L"LMX_AAA_BAR", L"early");
    SetEnvironmentVariableW(L"LMX_AAA_FOO", L"${LMX_ZZZ_BAR}");
    SetEnvironmentVariableW(L"LMX_ZZZ_BAR", L"bar");
    SetEnvironmentVariableW(L"LMX_ZZZ_FOO", L"${LMX_AAA_BAR}");
    std::wstring text =
        L"${LMX_AAA_FOO}|${LMX_ZZZ_FOO}|${LmxMixedCase}|${LMXMIXEDCASE}|${lmxmixedcase}|%JAVA_"
        L"HOME%";
    expandLauncherVariables(text, true, RunDirectory());
    EXPECT_EQ(text, L"bar|${LMX_AAA_BAR}|mixed|mixed|${lmxmixedcase}|%JAVA_HOME%");
    for (const wchar_t* name :
         {L"LMX_AAA_FOO", L"LMX_ZZZ_BAR", L"LMX_ZZZ_FOO", L"LMX_AAA_BAR", L"LmxMixedCase"}) {
        SetEnvironmentVariableW(name, nullptr);
    }
}

TEST(Expansion, LauncherTokensInBothForms) {
    std::wstring wide = L"${LUMEX_EXEDIR}|${launcher:sys.jvmHome}|${launcher:sys.tempDir}";
    expandLauncherVariables(wide, false, RunDirectory());
    EXPECT_EQ(wide, executableFolderW(FolderForm::Wide) + L"||" + tempBaseWide());
    std::string narrow = "%PARCELKIT_EXEDIR%%LUMEX_PATHLIST_SEPARATOR%${launcher:sys.tempDir}";
    expandLauncherVariablesNarrow(narrow, RunDirectory());
    EXPECT_EQ(narrow, executableFolderA() + ";" + tempBaseNarrow());
    // The per-run directory comes from the object handed in: empty before it is made, then its
    // path, in both forms.
    RunDirectory run;
    std::string before = "<${LUMEX_TEMPDIR}>";
    expandLauncherVariablesNarrow(before, run);
    EXPECT_EQ(before, "<>");
    RunFailure failure;
    ASSERT_TRUE(run.create(failure));
    ASSERT_FALSE(run.path().empty());
    std::string narrowRun = "%PARCELKIT_TEMPDIR%|${LUMEX_TEMPDIR}";
    expandLauncherVariablesNarrow(narrowRun, run);
    std::wstring wideRun = L"${PARCELKIT_TEMPDIR}";
    expandLauncherVariables(wideRun, false, run, "C:\\jdk");
    run.remove();
    EXPECT_EQ(narrowRun, run.path() + "|" + run.path());
    EXPECT_EQ(wideRun, widen(run.path()));
}

TEST(Expansion, HiddenPerDriveEntriesWhenTheBlockHasThem) {
    const wchar_t* block = GetEnvironmentStringsW();
    ASSERT_NE(block, nullptr);
    std::wstring hidden;
    for (const wchar_t* p = block; *p; p += wcslen(p) + 1) {
        if (p[0] == L'=') {
            hidden = p + 1;
            break;
        }
    }
    FreeEnvironmentStringsW(const_cast<wchar_t*>(block));
    if (hidden.empty()) GTEST_SKIP() << "Wine's environment block has no hidden \"=X:\" entries";
    std::wstring text = L"<${}>";
    expandLauncherVariables(text, true, RunDirectory());
    EXPECT_EQ(text, L"<" + hidden + L">");
}
