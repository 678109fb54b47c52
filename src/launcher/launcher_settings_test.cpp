#include "launcher/launcher_settings.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "common/log_host.h"

using launcher::buildSettings;
using launcher::ConfigId;
using launcher::ConfigStrings;
using launcher::ConfigView;
using launcher::idOf;
using launcher::Setting;
using launcher::Settings;

namespace {

using namespace std::string_literals;

Settings built(const ConfigStrings& strings) {
    return buildSettings(ConfigView(strings));
}

class BuildSettings : public ::testing::Test {
protected:
    void SetUp() override { (void)launcher::takeLogLines(); }
};

// One number or flag setting, its text, and where it lands.
struct NumberRow {
    Setting id;
    std::string text;
    std::function<int64_t(const Settings&)> field;
    int64_t expected;
};

TEST_F(BuildSettings, NumbersAreReadAsAtoiAndLandInTheirField) {
    const NumberRow rows[] = {
        {Setting::LauncherKind, "12abc", [](const Settings& s) { return s.start.launcherKind; },
         12},
        {Setting::LauncherKind, " 4",
         [](const Settings& s) { return s.service.install.launcherKind; }, 4},
        {Setting::LauncherKind, "1x", [](const Settings& s) { return s.discovery.useWindowedJava; },
         1},
        {Setting::LauncherKind, "01",
         [](const Settings& s) { return s.launch.arguments.windowedLauncher; }, 1},
        {Setting::LauncherKind, "5", [](const Settings& s) { return s.discovery.useWindowedJava; },
         0},
        {Setting::IncludedFileCount, "abc",
         [](const Settings& s) { return s.extraction.fileCount; }, 0},
        {Setting::IncludedFileCount, "\t\n3;",
         [](const Settings& s) { return s.extraction.fileCount; }, 3},
        {Setting::StopTimeout, "-5",
         [](const Settings& s) { return s.service.host.stopTimeoutSeconds; }, 0},
        {Setting::StopTimeout, "30s",
         [](const Settings& s) { return s.service.host.stopTimeoutSeconds; }, 30},
        {Setting::StopTimeout, "30",
         [](const Settings& s) { return s.service.install.preshutdownTimeoutMilliseconds; }, 36000},
        {Setting::RecoveryDelay, "+7",
         [](const Settings& s) { return s.service.install.recoveryDelaySeconds; }, 7},
        {Setting::OutputRotateSize, "99999999999999999999",
         [](const Settings& s) { return s.launch.outputRotateSize; }, 2147483647},
        {Setting::OutputKeep, "- 5", [](const Settings& s) { return s.launch.outputKeep; }, 0},
        {Setting::VersionOptionCount, "2",
         [](const Settings& s) { return s.options.configured.versionLineCount; }, 2},
        {Setting::PreferLongTempPath, "2", [](const Settings& s) { return s.temp.preferLongPaths; },
         1},
        {Setting::LocalAppDataTempFirst, "0x1",
         [](const Settings& s) { return s.temp.localAppDataFirst; }, 0},
        {Setting::SingleInstanceSession, "-1", [](const Settings& s) { return s.instance.session; },
         1},
        {Setting::AddDllDirectories, "1",
         [](const Settings& s) { return s.nativePath.addDllDirectories; }, 1},
        {Setting::AddDllDirectories, "1",
         [](const Settings& s) { return s.discovery.addDllDirectories; }, 1},
        {Setting::MainFromModulePath, "1", [](const Settings& s) { return s.options.moduleMode; },
         1},
        {Setting::MainFromModulePath, "1",
         [](const Settings& s) { return s.launch.arguments.moduleMode; }, 1},
        {Setting::KillChildWithHost, "1",
         [](const Settings& s) { return s.service.host.killChildWithHost; }, 1},
        {Setting::ReducePath, "1", [](const Settings& s) { return s.start.reducePath; }, 1},
    };
    for (const NumberRow& row : rows) {
        const Settings settings = built({{idOf(row.id), row.text}});
        EXPECT_EQ(row.field(settings), row.expected) << idOf(row.id) << " '" << row.text << "'";
    }
    // Absent: every number reads as 0.
    const Settings empty = built({});
    for (const NumberRow& row : rows) EXPECT_EQ(row.field(empty), 0) << idOf(row.id);
    EXPECT_FALSE(empty.launch.passSplash);
    EXPECT_TRUE(launcher::takeLogLines().empty());
}

// The host reports a child's failure itself only when failure actions count a non-zero exit
// code (their flag): otherwise the manager acts only on an end without a final report.
TEST_F(BuildSettings, TheHostReportsAFailureOnlyWhenTheFailureActionsCountIt) {
    const struct {
        const char* actions;
        const char* onErrorExit;
        bool reported;
    } rows[] = {{"restart", "1", true}, {"restart", "0", false}, {"", "1", false}};
    for (const auto& row : rows) {
        const Settings settings = built({{idOf(Setting::RecoveryActions), row.actions},
                                         {idOf(Setting::RecoveryOnErrorExit), row.onErrorExit}});
        EXPECT_EQ(settings.service.host.reportChildFailure, row.reported)
            << row.actions << " " << row.onErrorExit;
    }
}

// The restart and watchdog settings: a block without them restarts nothing and watches
// nothing; a value out of range reads as its default, or as the bound it passes.
TEST_F(BuildSettings, RestartAndWatchdogSettingsAreBoundedAndDefaulted) {
    using launcher::RestartOn;
    const int32_t on = idOf(Setting::RestartOnExit), delay = idOf(Setting::RestartDelay),
                  maxDelay = idOf(Setting::RestartMaxDelay),
                  run = idOf(Setting::RestartSuccessfulRun),
                  failures = idOf(Setting::RestartMaxFailures),
                  interval = idOf(Setting::WatchdogInterval),
                  timeout = idOf(Setting::WatchdogTimeout);
    // The seconds of delay, max_delay, successful_run, the failures, the watchdog's seconds.
    using Numbers = std::array<uint32_t, 6>;
    const Numbers defaults = {5, 300, 300, 5, 0, 60};
    const struct {
        ConfigStrings strings;
        RestartOn on;
        Numbers numbers;
    } rows[] = {
        {{}, RestartOn::Never, defaults},
        // What `pack` writes for a new launcher.
        {{{on, "failure"},
          {delay, "5"},
          {maxDelay, "300"},
          {run, "300"},
          {failures, "5"},
          {interval, "10"},
          {timeout, "60"}},
         RestartOn::Failure,
         Numbers{5, 300, 300, 5, 10, 60}},
        {{{on, "always"}, {delay, "0"}, {maxDelay, "0"}, {run, "0"}, {failures, "1"}},
         RestartOn::Always,
         Numbers{0, 0, 0, 1, 0, 60}},
        {{{on, "never"}}, RestartOn::Never, defaults},
        {{{on, "Failure"}}, RestartOn::Never, defaults},
        {{{on, "failure "}}, RestartOn::Never, defaults},
        // Numbers as C atoi reads them; below the least: the default; above a day: a day.
        {{{delay, "7s"}, {run, "-1"}, {failures, "0"}, {interval, "-1"}, {timeout, "0"}},
         RestartOn::Never,
         Numbers{7, 300, 300, 5, 0, 60}},
        {{{delay, "-1"},
          {maxDelay, "99999999999"},
          {run, "86401"},
          {failures, "1001"},
          {interval, "90000"},
          {timeout, "90000"}},
         RestartOn::Never,
         Numbers{5, 86400, 86400, 1000, 86400, 86400}},
        // The longest delay is never below the first one.
        {{{delay, "400"}}, RestartOn::Never, Numbers{400, 400, 300, 5, 0, 60}},
        {{{delay, "400"}, {maxDelay, "399"}}, RestartOn::Never, Numbers{400, 400, 300, 5, 0, 60}},
        {{{delay, "60"}, {maxDelay, "30"}}, RestartOn::Never, Numbers{60, 300, 300, 5, 0, 60}},
        {{{delay, "90000"}, {maxDelay, "90000"}},
         RestartOn::Never,
         Numbers{86400, 86400, 300, 5, 0, 60}},
        {{{maxDelay, "10"}, {interval, "1"}, {timeout, "2"}},
         RestartOn::Never,
         Numbers{5, 10, 300, 5, 1, 2}},
    };
    for (const auto& row : rows) {
        const Settings settings = built(row.strings);
        const launcher::RestartSettings& restart = settings.service.host.restart;
        const launcher::WatchdogSettings& watchdog = settings.service.host.watchdog;
        std::string shown;
        for (const auto& [id, value] : row.strings) shown += std::to_string(id) + "=" + value + " ";
        EXPECT_EQ(restart.on, row.on) << shown;
        const Numbers numbers = {restart.delaySeconds,         restart.maxDelaySeconds,
                                 restart.successfulRunSeconds, restart.maxFailures,
                                 watchdog.intervalSeconds,     watchdog.timeoutSeconds};
        EXPECT_EQ(numbers, row.numbers) << shown;
    }
    EXPECT_TRUE(launcher::takeLogLines().empty());
}

// One text setting of a given length, the length it is read with, and the log line of its cut.
struct CutRow {
    Setting id;
    size_t length;
    std::function<size_t(const Settings&)> field;
    size_t expected;
    std::wstring logLine;  // empty: none
};

TEST_F(BuildSettings, TextsAreCutToTheirBufferAndTheCutLoggedOnce) {
    const CutRow rows[] = {
        {Setting::MinVersion, 2500, [](const Settings& s) { return s.discovery.minVersion.size(); },
         1999, L"ERROR: config string 126 truncated (2000 2500)"},
        {Setting::SearchSequence, 6100,
         [](const Settings& s) { return s.discovery.searchSequence.size(); }, 5999,
         L"ERROR: config string 128 truncated (6000 6100)"},
        {Setting::SearchSequence, 5999,
         [](const Settings& s) { return s.discovery.searchSequence.size(); }, 5999, L""},
        {Setting::JvmVariant, 300, [](const Settings& s) { return s.discovery.jvmVariant.size(); },
         199, L"ERROR: config string 152 truncated (200 300)"},
        {Setting::MainClass, 6000, [](const Settings& s) { return s.options.mainClass.size(); },
         5999, L"ERROR: config string 122 truncated (6000 6000)"},
        // The launcher class takes the main class whole.
        {Setting::MainClass, 6000,
         [](const Settings& s) { return s.launch.arguments.mainClass.size(); }, 6000,
         L"ERROR: config string 122 truncated (6000 6000)"},
        {Setting::ClassPath, 7000,
         [](const Settings& s) { return s.options.classPathEntries.size(); }, 7000, L""},
        {Setting::RecoveryActions, 6100,
         [](const Settings& s) { return s.service.install.recoveryActions.size(); }, 5999,
         L"ERROR: config string 3005 truncated (6000 6100)"},
        // The restart rule is read from the cut text: a long one restarts nothing.
        {Setting::RestartOnExit, 6100,
         [](const Settings& s) { return size_t(s.service.host.restart.on); }, 0,
         L"ERROR: config string 3013 truncated (6000 6100)"},
        {Setting::ServiceDisplayName, 6001,
         [](const Settings& s) { return s.service.install.displayName.size(); }, 5999,
         L"ERROR: string 3004 cut to 5999 characters (6001)"},
        {Setting::ServiceDependencies, 6100,
         [](const Settings& s) { return s.service.install.dependencies.size(); }, 5999,
         L"ERROR: string 149 cut to 5999 characters (6100)"},
        {Setting::ProductMarker, 2, [](const Settings& s) { return size_t(s.start.productMarker); },
         'y', L"ERROR: config string 2001 truncated (2 2)"},
    };
    for (const CutRow& row : rows) {
        const Settings settings = built({{idOf(row.id), std::string(row.length, 'y')}});
        EXPECT_EQ(row.field(settings), row.expected) << idOf(row.id) << " " << row.length;
        const std::vector<std::wstring> lines = launcher::takeLogLines();
        const std::vector<std::wstring> expected =
            row.logLine.empty() ? std::vector<std::wstring>{} : std::vector{row.logLine};
        EXPECT_EQ(lines, expected) << idOf(row.id) << " " << row.length;
    }
}

TEST_F(BuildSettings, NumbersAreReadFromTheCutText) {
    // A number past the 6000-byte buffer is read from its first 5999 bytes.
    const std::string text = std::string(5998, ' ') + "12";
    const Settings settings = built({{idOf(Setting::LauncherKind), text}});
    EXPECT_EQ(settings.start.launcherKind, 1);
    EXPECT_EQ(launcher::takeLogLines(),
              std::vector<std::wstring>{L"ERROR: config string 107 truncated (6000 6000)"});
}

TEST_F(BuildSettings, SplashGroupsOnlyWhenConfigured) {
    ConfigStrings strings{{idOf(Setting::SplashConfigured), "1"},
                          {idOf(Setting::SplashText2), "two"},
                          {idOf(Setting::SplashNumber2a), "21"},
                          {idOf(Setting::SplashNumber4b), "42"}};
    EXPECT_FALSE(built(strings).launch.passSplash);
    strings[idOf(Setting::SplashSettings)] = "1";
    const Settings settings = built(strings);
    ASSERT_TRUE(settings.launch.passSplash);
    const launcher::SplashSettings& splash = settings.launch.splash;
    EXPECT_TRUE(splash.flag);
    EXPECT_EQ(splash.groups[1].text, "two");
    EXPECT_EQ(splash.groups[1].first, 21);
    EXPECT_EQ(splash.groups[3].second, 42);
    EXPECT_EQ(splash.groups[0].text, "");
}

TEST_F(BuildSettings, VersionLinesAndListsAsWritten) {
    ConfigStrings strings{{idOf(Setting::VersionOptionCount), "2"},
                          {ConfigId::versionCondition(0).value(), "9-11"},
                          {ConfigId::versionOptions(0).value(), "-Dv=\xE9"},
                          {ConfigId::versionCondition(2).value(), "*"},
                          {idOf(Setting::IncludedFileNames), ";a.jar;;lib\\b.dll;"},
                          {idOf(Setting::ServiceName), "Sv\xE9"}};
    Settings settings = built(strings);
    EXPECT_EQ(settings.options.configured.versionConditions,
              (std::vector<std::string>{"9-11", ""}));
    EXPECT_EQ(settings.options.configured.versionOptions,
              (std::vector<std::wstring>{L"-Dv=\u00E9", L""}));
    EXPECT_EQ(settings.extraction.fileNames, (std::vector<std::string>{"a.jar", "lib\\b.dll"}));
    EXPECT_EQ(settings.start.serviceName, L"Sv\u00E9");
    // A count past the limit keeps its value for the log; only the limit's lines are read.
    strings[idOf(Setting::VersionOptionCount)] = "20000";
    settings = built(strings);
    EXPECT_EQ(settings.options.configured.versionLineCount, 20000);
    EXPECT_EQ(settings.options.configured.versionConditions.size(),
              static_cast<size_t>(launcher::kMaxVersionLines));
    EXPECT_EQ(settings.options.configured.versionOptions.size(),
              static_cast<size_t>(launcher::kMaxVersionLines));
    strings[idOf(Setting::VersionOptionCount)] = "-3";
    EXPECT_TRUE(built(strings).options.configured.versionConditions.empty());
}

// The service dependencies: config 149 widened byte by byte, cut, and made a multi-string.
TEST_F(BuildSettings, ServiceDependenciesComeFromConfigString149) {
    auto dependencies = [](const ConfigStrings& strings) {
        return launcher::dependencyMultiString(built(strings).service.install.dependencies);
    };
    const int32_t id = idOf(Setting::ServiceDependencies);
    EXPECT_FALSE(dependencies({}));
    EXPECT_FALSE(dependencies({{id, ""}}));
    EXPECT_EQ(dependencies({{id, "RpcSs,,Tcp ip"}}), L"RpcSs\0Tcp ip\0\0"s);
    EXPECT_EQ(dependencies({{id - 1, "Other"}, {id, ","}}), L"\0"s);
    EXPECT_EQ(dependencies({{id, "Dienst\xE4,b"}}), L"Dienst\u00E4\0b\0\0"s);
    const auto names = dependencies({{id, std::string(6100, 'y')}});
    ASSERT_TRUE(names);
    EXPECT_EQ(*names, std::wstring(5999, L'y') + std::wstring(2, L'\0'));
}

}  // namespace
