#include "jvm/launch/launch_arguments.h"

#include <gtest/gtest.h>

using launcher::LauncherArgumentInputs;
using Elements = std::vector<std::wstring>;

TEST(LauncherArguments, FiveValuesThenTheProgramWithoutWhatWentToTheJvm) {
    LauncherArgumentInputs inputs;
    inputs.mainClass = L"com.acme.app/com.acme.app.Main";
    inputs.moduleMode = true;
    inputs.firstPath = L"C:\\app\\lib\\start";
    inputs.configuredArguments = {L"--conf", L"x y"};
    inputs.javaOptionArguments = true;
    const Elements program = {L"svc.exe", L"-J-Xmx1g", L"-Dsun.locale.formatasdefault=true",
                              L"f\u00f6\u00f6"};
    EXPECT_EQ(launcher::launcherArguments(inputs, program),
              (Elements{L"false", L"/com.acme.app/com.acme.app.Main", L"C:\\app\\lib\\start", L"",
                        L"false", L"svc.exe", L"--conf", L"x y", L"f\u00f6\u00f6"}));

    inputs.windowedLauncher = true;
    inputs.moduleMode = false;
    inputs.launcherFlag = true;
    inputs.javaOptionArguments = false;
    inputs.mainClass = L"com.acme.Main";
    inputs.configuredArguments.clear();
    EXPECT_EQ(launcher::launcherArguments(inputs, {L"svc.exe", L"-J-Xmx1g"}),
              (Elements{L"true", L"com.acme.Main", L"C:\\app\\lib\\start", L"", L"true", L"svc.exe",
                        L"-J-Xmx1g"}))
        << "without flag 125 a -J argument reaches main unchanged";
    EXPECT_EQ(launcher::launcherArguments(inputs, {}).size(), 5u)
        << "no program arguments: no element 6 and no configured arguments";
}

TEST(StackSize, LastValidXssWinsAndSmallSizesAreRaised) {
    const struct {
        const char* text;
        int64_t bytes;
    } sizes[] = {{"512k", 524288},
                 {"2m", 2097152},
                 {"2M", 2097152},
                 {"1g", 1073741824},
                 {"1t", 1099511627776},
                 {"100", 100},
                 {"0", 0},
                 {"", -1},
                 {"1mb", -1},
                 {"-1k", -1},
                 {" 1k", -1},
                 {"1x", -1},
                 {"99999999999999999999", -1},
                 {"9999999999t", -1}};
    for (const auto& s : sizes) EXPECT_EQ(launcher::parseStackSize(s.text), s.bytes) << s.text;

    using Options = std::vector<std::string>;
    EXPECT_EQ(launcher::jvmThreadStackSize(Options{"-Xss512k", "-Xmx1g", "-Xss2m"}), 2097152u);
    EXPECT_EQ(launcher::jvmThreadStackSize(Options{"-Xss100"}), 65536u);
    EXPECT_EQ(launcher::jvmThreadStackSize(Options{"-Xss2m", "-Xss1mb"}), 2097152u);
    for (const char* alone : {"-Xss0", "-Xss1mb", "-Xss4g"}) {
        EXPECT_EQ(launcher::jvmThreadStackSize(Options{alone}), 0u) << alone;
    }
    EXPECT_EQ(launcher::jvmThreadStackSize(Options{"-Xss4097m"}), 1048576u)
        << "higher bits are dropped";
}
