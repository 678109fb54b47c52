#include "service/service_control.h"

namespace launcher {

uint32_t installStartType(ServiceCommand command, int32_t launcherKind) {
    switch (command) {
        case ServiceCommand::InstallAuto:
            return kServiceAutoStart;
        case ServiceCommand::InstallDemand:
            return kServiceDemandStart;
        default:
            return launcherKind == kAutoStartLauncherKind ? kServiceAutoStart : kServiceDemandStart;
    }
}

std::optional<std::wstring> dependencyMultiString(std::wstring_view list) {
    // The list is C text: a NUL ends it.
    list = list.substr(0, list.find(L'\0'));
    if (list.empty()) return std::nullopt;
    std::wstring names;
    size_t position = 0;
    while (position < list.size()) {
        const size_t comma = list.find(L',', position);
        const size_t end = comma == std::wstring_view::npos ? list.size() : comma;
        if (end > position) {
            names.append(list.substr(position, end - position));
            names.push_back(L'\0');
        }
        position = end + 1;
    }
    names.push_back(L'\0');
    return names;
}

std::optional<FailureActions> failureActions(std::string_view words, int32_t delaySeconds,
                                             int32_t resetAfterSeconds) {
    if (words.empty()) return std::nullopt;
    const int32_t delay = delaySeconds < 0                          ? 0
                          : delaySeconds > kMaxRecoveryDelaySeconds ? kMaxRecoveryDelaySeconds
                                                                    : delaySeconds;
    FailureActions result;
    result.resetPeriodSeconds =
        resetAfterSeconds < 0 ? 0 : static_cast<uint32_t>(resetAfterSeconds);
    size_t position = 0;
    for (;;) {
        const size_t comma = words.find(',', position);
        const std::string_view word =
            words.substr(position, comma == std::string_view::npos ? words.npos : comma - position);
        if (result.count == kMaxFailureActions) return std::nullopt;
        FailureAction& action = result.actions[result.count++];
        if (word == "restart") {
            action = {kScActionRestart, static_cast<uint32_t>(delay) * 1000u};
        } else if (word != "none") {
            return std::nullopt;
        }
        if (comma == std::string_view::npos) return result;
        position = comma + 1;
    }
}

ServiceConfigChanges serviceConfigChanges(const ServiceInstallOptions& options, uint32_t startType,
                                          std::wstring_view description) {
    ServiceConfigChanges changes;
    const auto add = [&changes](ServiceConfigLevel level) -> ServiceConfigChange& {
        ServiceConfigChange& change = changes.items[changes.count++];
        change.level = level;
        return change;
    };
    // The description is C text: a NUL ends it.
    description = description.substr(0, description.find(L'\0'));
    if (!description.empty()) add(ServiceConfigLevel::Description).description = description;
    if (options.delayedAutoStart && startType == kServiceAutoStart) {
        add(ServiceConfigLevel::DelayedAutoStart).flag = true;
    }
    if (!options.recoveryActions.empty()) {
        const std::optional<FailureActions> actions =
            failureActions(options.recoveryActions, options.recoveryDelaySeconds,
                           options.recoveryResetAfterSeconds);
        ServiceConfigChange& change = add(ServiceConfigLevel::FailureActions);
        change.valid = actions.has_value();
        if (actions) change.actions = *actions;
        if (actions && options.recoveryOnErrorExit) {
            add(ServiceConfigLevel::FailureActionsFlag).flag = true;
        }
    }
    if (options.preshutdownTimeoutMilliseconds > 0) {
        add(ServiceConfigLevel::PreshutdownInfo).milliseconds =
            options.preshutdownTimeoutMilliseconds;
    }
    return changes;
}

ServiceAccountName serviceAccountName(std::wstring_view account, std::wstring_view serviceName) {
    if (account.empty() || account == L"LocalSystem") return {};
    if (account == L"LocalService") return {L"NT AUTHORITY\\LocalService", false};
    if (account == L"NetworkService") return {L"NT AUTHORITY\\NetworkService", false};
    if (account == L"virtual") return {L"NT SERVICE\\" + std::wstring(serviceName), false};
    return {std::wstring(account), true};
}

std::optional<std::wstring> passwordFromLine(std::wstring_view line) {
    line = line.substr(0, line.find(L'\n'));
    if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);
    if (line.size() > kMaxPasswordLength) return std::nullopt;
    // Made in place: a moved-from string could keep a short password's characters.
    return std::optional<std::wstring>(std::in_place, line);
}

std::vector<const wchar_t*> startParameters(const std::vector<std::wstring>& arguments) {
    std::vector<const wchar_t*> parameters;
    if (arguments.size() < 2) return parameters;
    for (size_t i = 1; i < arguments.size(); ++i) parameters.push_back(arguments[i].c_str());
    return parameters;
}

}  // namespace launcher
