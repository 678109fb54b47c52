#include "launcher/commands.h"

#include <gtest/gtest.h>

using launcher::Command;
using launcher::DispatchDecision;
using Args = std::vector<std::wstring>;

TEST(CommandWord, StripsOneSlashOrHyphenAndOneFollowingHyphen) {
    EXPECT_EQ(launcher::commandWord(L"/install"), L"install");
    EXPECT_EQ(launcher::commandWord(L"-install"), L"install");
    EXPECT_EQ(launcher::commandWord(L"--install"), L"install");
    EXPECT_EQ(launcher::commandWord(L"/-install"), L"install");
    EXPECT_EQ(launcher::commandWord(L"//install"), L"/install");
    EXPECT_EQ(launcher::commandWord(L"/--install"), L"-install");
    EXPECT_EQ(launcher::commandWord(L"/"), L"");
    EXPECT_FALSE(launcher::commandWord(L"install").has_value());
    EXPECT_FALSE(launcher::commandWord(L"").has_value());
}

TEST(LookupCommand, ExactAndCaseSensitive) {
    EXPECT_EQ(launcher::lookupCommand(L"?"), Command::Help);
    EXPECT_EQ(launcher::lookupCommand(L"help"), Command::Help);
    EXPECT_EQ(launcher::lookupCommand(L"install-and-start"), Command::InstallAndStart);
    EXPECT_EQ(launcher::lookupCommand(L"run-redirect"), Command::RunRedirect);
    EXPECT_EQ(launcher::lookupCommand(L"status"), Command::Status);
    EXPECT_EQ(launcher::lookupCommand(L"status-json"), Command::StatusJson);
    EXPECT_EQ(launcher::lookupCommand(L"status-JSON"), Command::None);
    EXPECT_EQ(launcher::lookupCommand(L"INSTALL"), Command::None);
    EXPECT_EQ(launcher::lookupCommand(L"Install"), Command::None);
    EXPECT_EQ(launcher::lookupCommand(L"install "), Command::None);
    EXPECT_EQ(launcher::lookupCommand(L""), Command::None);
}

TEST(DecideDispatch, MarkerLastRunsTheServiceChildWhateverElse) {
    auto d = launcher::decideDispatch({L"x.exe", L"/install", L"x", L"__pkx_restart"});
    EXPECT_EQ(d.road, DispatchDecision::Road::ServiceChild);
    EXPECT_EQ(d.arguments, (Args{L"/install", L"x"}));
    EXPECT_FALSE(d.serviceName.has_value());
    EXPECT_EQ(d.programPath, L"x.exe");
}

TEST(DecideDispatch, MarkerOnlyCountsAsLastWholeArgument) {
    auto d = launcher::decideDispatch({L"x.exe", L"__pkx_restart", L"a"});
    EXPECT_EQ(d.road, DispatchDecision::Road::Dispatcher);
    d = launcher::decideDispatch({L"x.exe", L"__PKX_RESTART"});
    EXPECT_EQ(d.road, DispatchDecision::Road::Dispatcher);
}

TEST(DecideDispatch, ServiceNameFollowsTheCommandWordEvenForUnknownWords) {
    auto d = launcher::decideDispatch({L"x.exe", L"/foo", L"MySvc"});
    EXPECT_EQ(d.road, DispatchDecision::Road::Dispatcher);
    EXPECT_EQ(d.serviceName, L"MySvc");
    d = launcher::decideDispatch({L"x.exe", L"/start", L"MySvc", L"a", L"b"});
    EXPECT_EQ(d.road, DispatchDecision::Road::Command);
    EXPECT_EQ(d.command, Command::Start);
    EXPECT_EQ(d.serviceName, L"MySvc");
    EXPECT_EQ(d.arguments, (Args{L"MySvc", L"a", L"b"}));
}

TEST(DecideDispatch, NoCommandWordGoesToTheDispatcher) {
    EXPECT_EQ(launcher::decideDispatch({L"x.exe"}).road, DispatchDecision::Road::Dispatcher);
    EXPECT_EQ(launcher::decideDispatch({L"x.exe", L"install"}).road,
              DispatchDecision::Road::Dispatcher);
    EXPECT_EQ(launcher::decideDispatch({L"x.exe", L"/INSTALL"}).road,
              DispatchDecision::Road::Dispatcher);
    EXPECT_EQ(launcher::decideDispatch({L"x.exe", L"/"}).road, DispatchDecision::Road::Dispatcher);
    const auto empty = launcher::decideDispatch({});
    EXPECT_EQ(empty.road, DispatchDecision::Road::Dispatcher);
    EXPECT_EQ(empty.programPath, L"");
}

TEST(DecideDispatch, HelpWordsAreCommands) {
    EXPECT_EQ(launcher::decideDispatch({L"x", L"/?"}).command, Command::Help);
    EXPECT_EQ(launcher::decideDispatch({L"x", L"-help"}).command, Command::Help);
    EXPECT_EQ(launcher::decideDispatch({L"x", L"--help"}).command, Command::Help);
}

TEST(ServiceCommandOf, OnlyServiceWordsRunServiceOperations) {
    using launcher::ServiceCommand;
    EXPECT_EQ(launcher::serviceCommandOf(Command::InstallAndStart),
              ServiceCommand::InstallAndStart);
    EXPECT_EQ(launcher::serviceCommandOf(Command::Restart), ServiceCommand::Restart);
    EXPECT_EQ(launcher::serviceCommandOf(Command::Status), ServiceCommand::Status);
    EXPECT_EQ(launcher::serviceCommandOf(Command::StatusJson), ServiceCommand::StatusJson);
    for (Command c : {Command::None, Command::Help, Command::Run, Command::RunRedirect}) {
        EXPECT_FALSE(launcher::serviceCommandOf(c));
    }
}
