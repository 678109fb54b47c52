#include "instance/instance_name.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace launcher {
namespace {

TEST(InstanceName, ScopeAndMangling) {
    EXPECT_EQ(instanceScope(true, true), InstanceScope::Machine);
    EXPECT_EQ(instanceScope(false, true), InstanceScope::Session);
    EXPECT_EQ(instanceScope(false, false), InstanceScope::User);
    EXPECT_EQ(mangleExecutablePath("c:\\program files\\my app\\svc.exe"),
              "c:_program_files_my_app_svc.exe");
    // Only backslashes and spaces change: the colon, dots, dashes and non-ASCII bytes stay.
    EXPECT_EQ(mangleExecutablePath("\\\\srv\\a-b\\\xc3\xa9 x.exe"), "__srv_a-b_\xc3\xa9_x.exe");
}

TEST(InstanceName, MarkerTakesTheFirstFreeCounterAndStopsAtTheLimit) {
    const std::set<std::string> taken = {"base0", "base1", "base3"};
    std::vector<std::string> tried;
    const auto create = [&](const std::string& name) {
        tried.push_back(name);
        return taken.count(name) != 0;
    };
    EXPECT_EQ(claimMarkerName("base", create), "base2");
    EXPECT_EQ(tried, (std::vector<std::string>{"base0", "base1", "base2"}));

    uint32_t attempts = 0;
    const auto allTaken = [&](const std::string&) { return ++attempts != 0; };
    EXPECT_EQ(claimMarkerName("b", allTaken), "b100000");
    EXPECT_EQ(attempts, kMarkerCounterLimit + 1);
}

}  // namespace
}  // namespace launcher
