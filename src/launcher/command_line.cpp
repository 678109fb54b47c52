#include "launcher/command_line.h"

#include <array>
#include <utility>

namespace launcher {

std::optional<size_t> nextCommandLineToken(std::wstring_view text, size_t position,
                                           std::wstring& out) {
    out.clear();
    bool insideQuotes = false;
    bool separatorSeen = false;
    wchar_t previous = 0;
    for (size_t i = position;; ++i) {
        const wchar_t c = i < text.size() ? text[i] : L'\0';
        if (c == L'\0') return std::nullopt;
        if (c == L' ' || c == L'\t') {
            if (insideQuotes) {
                out.push_back(c);
            } else {
                separatorSeen = true;
            }
        } else if (c == L'"') {
            if (separatorSeen) return i;
            if (previous == L'"' && !insideQuotes) {
                out.push_back(L'"');
                insideQuotes = true;
            } else {
                insideQuotes = !insideQuotes;
            }
        } else {
            if (separatorSeen) return i;
            out.push_back(c);
        }
        previous = c;
    }
}

void splitCommandLine(std::wstring_view text, std::vector<std::wstring>& list) {
    if (text.empty() || text.front() == L'\0') return;
    std::wstring scratch;
    scratch.reserve(text.size() + 1);
    std::optional<size_t> position = 0;
    while (position) {
        position = nextCommandLineToken(text, *position, scratch);
        list.push_back(scratch);
    }
}

Command lookupCommand(std::wstring_view word) {
    static constexpr std::array<std::pair<std::wstring_view, Command>, 13> kCommands{{
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

std::wstring usageProgramName(std::wstring_view path) {
    // As the runtime's path splitter: a drive "X:" prefix, then the directory up to the last
    // separator, then the name up to its last dot.
    if (path.size() >= 2 && path[1] == L':') path.remove_prefix(2);
    const size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring_view::npos) path.remove_prefix(slash + 1);
    const size_t dot = path.rfind(L'.');
    if (dot != std::wstring_view::npos) path = path.substr(0, dot);
    return std::wstring(path);
}

}  // namespace launcher
