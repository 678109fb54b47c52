// The command words and the dispatch decision of the entry.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/service_control.h"
#include "service/service_host.h"

namespace launcher {

enum class Command {
    None,
    Help,
    Install,
    InstallAndStart,
    InstallAuto,
    InstallDemand,
    Uninstall,
    Stop,
    Start,
    Restart,
    Status,
    StatusJson,
    Run,
    RunRedirect,
};

// The command of an exact, case-sensitive word ("install", "?", ...); None when it is not one.
Command lookupCommand(std::wstring_view word);

// The word of an argument that begins with "/" or "-": that character and one following "-"
// are removed. Nothing when the argument does not begin that way.
std::optional<std::wstring> commandWord(std::wstring_view argument);

// The service host puts it last on its child's command line.
inline constexpr std::wstring_view kServiceChildMarker = kChildRestartMarker;

struct DispatchDecision {
    enum class Road { ServiceChild, Command, Dispatcher };
    Road road = Road::Dispatcher;
    Command command = Command::None;
    std::wstring programPath;
    // Replaces the service name when set (the first argument after any command word).
    std::optional<std::wstring> serviceName;
    // ServiceChild: the arguments between program path and marker. Command: the arguments
    // after the command word (the service name included).
    std::vector<std::wstring> arguments;
};

// The service command of a command word; nothing for the words that run no service
// operation (help, run, run-redirect, none).
std::optional<ServiceCommand> serviceCommandOf(Command command);

// Decides the road for a split command line (program path first).
DispatchDecision decideDispatch(std::vector<std::wstring> list);

}  // namespace launcher
