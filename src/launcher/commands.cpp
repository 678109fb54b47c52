#include "launcher/commands.h"

#include <array>
#include <utility>

namespace launcher {

Command lookupCommand(std::wstring_view word) {
    static constexpr std::array<std::pair<std::wstring_view, Command>, 14> kCommands{{
        {L"?", Command::Help},
        {L"help", Command::Help},
        {L"install", Command::Install},
        {L"install-and-start", Command::InstallAndStart},
        {L"install-auto", Command::InstallAuto},
        {L"install-demand", Command::InstallDemand},
        {L"uninstall", Command::Uninstall},
        {L"stop", Command::Stop},
        {L"start", Command::Start},
        {L"restart", Command::Restart},
        {L"status", Command::Status},
        {L"status-json", Command::StatusJson},
        {L"run", Command::Run},
        {L"run-redirect", Command::RunRedirect},
    }};
    for (const auto& [name, command] : kCommands) {
        if (name == word) return command;
    }
    return Command::None;
}

std::optional<std::wstring> commandWord(std::wstring_view argument) {
    if (argument.empty() || (argument[0] != L'/' && argument[0] != L'-')) return std::nullopt;
    argument.remove_prefix(1);
    if (!argument.empty() && argument[0] == L'-') argument.remove_prefix(1);
    return std::wstring(argument);
}

std::optional<ServiceCommand> serviceCommandOf(Command command) {
    static constexpr std::array<std::pair<Command, ServiceCommand>, 10> kServiceCommands{{
        {Command::Install, ServiceCommand::Install},
        {Command::InstallAndStart, ServiceCommand::InstallAndStart},
        {Command::InstallAuto, ServiceCommand::InstallAuto},
        {Command::InstallDemand, ServiceCommand::InstallDemand},
        {Command::Uninstall, ServiceCommand::Uninstall},
        {Command::Stop, ServiceCommand::Stop},
        {Command::Start, ServiceCommand::Start},
        {Command::Restart, ServiceCommand::Restart},
        {Command::Status, ServiceCommand::Status},
        {Command::StatusJson, ServiceCommand::StatusJson},
    }};
    for (const auto& [word, service] : kServiceCommands) {
        if (word == command) return service;
    }
    return std::nullopt;
}

DispatchDecision decideDispatch(std::vector<std::wstring> list) {
    DispatchDecision decision;
    if (!list.empty()) {
        decision.programPath = std::move(list.front());
        list.erase(list.begin());
    }
    if (!list.empty() && list.back() == kServiceChildMarker) {
        list.pop_back();
        decision.road = DispatchDecision::Road::ServiceChild;
        decision.arguments = std::move(list);
        return decision;
    }
    const std::optional<std::wstring> word =
        list.empty() ? std::nullopt : commandWord(list.front());
    if (!word) return decision;
    list.erase(list.begin());
    if (!list.empty()) decision.serviceName = list.front();
    decision.command = lookupCommand(*word);
    if (decision.command != Command::None) decision.road = DispatchDecision::Road::Command;
    decision.arguments = std::move(list);
    return decision;
}

}  // namespace launcher
