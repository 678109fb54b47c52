#include "jvm/launch/system_properties.h"

#include <gtest/gtest.h>

#include <algorithm>

using launcher::SystemPropertyInputs;
using Properties = std::vector<std::string>;

TEST(LauncherSystemProperties, FixedOrderEachUnderItsCondition) {
    SystemPropertyInputs minimal;
    minimal.executablePath = "C:\\app\\svc.exe";
    minimal.manpathSet = true;
    EXPECT_EQ(
        launcher::launcherSystemProperties(minimal),
        (Properties{"-Dlumex.moduleName=C:\\app\\svc.exe", "-Dsun.java.command=C:\\app\\svc.exe",
                    "-Dlumex.tempDir=", "-Dlumex.unextractedPosition=0"}));

    SystemPropertyInputs full = minimal;
    full.semaphoreName = "Global\\svc";
    full.usedPreviousInstallationJvm = true;
    full.parcelkitFamily = true;
    full.serviceMode = true;
    full.tempDirectory = "C:\\t\\lmx1_dir2";
    full.unextractedPosition = 4000000000u;
    full.path = std::string(13000, 'p');
    full.manpathSet = false;
    full.consoleCodePage = 850;
    const Properties properties = launcher::launcherSystemProperties(full);
    ASSERT_EQ(properties.size(), 10u);
    EXPECT_EQ(properties[0], "-Dlumex.semaphoreName=Global\\svc");
    EXPECT_EQ(properties[1], "-Dpkx.previousJdk=true");
    EXPECT_EQ(properties[2], "-Dlumex.isParcelkit=true");
    EXPECT_EQ(properties[3], "-Dlumex.isService=true");
    EXPECT_EQ(properties[6], "-Dlumex.tempDir=C:\\t\\lmx1_dir2");
    EXPECT_EQ(properties[7], "-Dlumex.unextractedPosition=4000000000");
    EXPECT_EQ(properties[8], "-Djava.library.path=" + std::string(13000, 'p'))
        << "PATH is passed whole, however long";
    EXPECT_EQ(properties[9], "-Dlumex.consoleCodepage=cp850");

    // The service stop's bound and the output rotation follow, when set.
    full.stopTimeoutSeconds = 25;
    full.outputRotateSize = 10485760;
    full.outputKeep = 3;
    Properties more = launcher::launcherSystemProperties(full);
    ASSERT_EQ(more.size(), 13u);
    EXPECT_EQ(Properties(more.begin(), more.begin() + 10), properties);
    EXPECT_EQ(Properties(more.begin() + 10, more.end()),
              (Properties{"-Dlumex.stopTimeout=25", "-Dlumex.outputRotateSize=10485760",
                          "-Dlumex.outputKeep=3"}));

    // Rotation without a configured count leaves the count to the Java side's default; a count
    // without rotation is not sent.
    const struct {
        uint32_t rotateSize, keep;
        Properties tail;
    } rotations[] = {
        {10485760, 0, {"-Dlumex.stopTimeout=25", "-Dlumex.outputRotateSize=10485760"}},
        {10485760,
         1,
         {"-Dlumex.stopTimeout=25", "-Dlumex.outputRotateSize=10485760", "-Dlumex.outputKeep=1"}},
        {0, 3, {"-Dlumex.stopTimeout=25"}},
    };
    for (const auto& r : rotations) {
        full.outputRotateSize = r.rotateSize;
        full.outputKeep = r.keep;
        more = launcher::launcherSystemProperties(full);
        EXPECT_EQ(Properties(more.begin() + std::min<size_t>(10, more.size()), more.end()), r.tail)
            << r.rotateSize << " " << r.keep;
    }
}

TEST(LauncherSystemProperties, WatchdogPipeOnlyInAServiceChild) {
    const struct {
        bool serviceMode;
        const char* pipe;
        uint32_t timeout;
        Properties tail;
    } cases[] = {
        {true,
         "\\\\.\\pipe\\lumex-watchdog-12-1",
         60,
         {"-Dlumex.watchdogPipe=\\\\.\\pipe\\lumex-watchdog-12-1", "-Dlumex.watchdogTimeout=60"}},
        {true, "p", 0, {"-Dlumex.watchdogPipe=p"}},
        {true, "", 60, {}},
        {false, "p", 60, {}},
    };
    for (const auto& c : cases) {
        SystemPropertyInputs inputs;
        inputs.manpathSet = true;
        inputs.serviceMode = c.serviceMode;
        inputs.watchdogPipe = c.pipe;
        inputs.watchdogTimeoutSeconds = c.timeout;
        const Properties properties = launcher::launcherSystemProperties(inputs);
        // The fixed ones: isService in a service child, module name, command, temp dir, position.
        const size_t fixed = c.serviceMode ? 5 : 4;
        ASSERT_GE(properties.size(), fixed);
        EXPECT_EQ(Properties(properties.begin() + fixed, properties.end()), c.tail) << c.pipe;
    }
}
