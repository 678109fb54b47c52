// The rules alone; the archives' life across starts is tested on the machine's HotSpot
// (runtime_test) and the options of each Java version under Wine (e2e ClassDataOptions).
#include "jvm/options/class_data.h"

#include <gtest/gtest.h>

using launcher::ClassDataMechanism;

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
