#include "service/service_control.h"

#include "config/config.h"

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

std::optional<std::wstring> readServiceDependencies() {
    return dependencyMultiString(
        getConfigStringAsWide(Setting::ServiceDependencies, kBufferLength));
}

std::vector<const wchar_t*> startParameters(const std::vector<std::wstring>& arguments) {
    std::vector<const wchar_t*> parameters;
    if (arguments.size() < 2) return parameters;
    for (size_t i = 1; i < arguments.size(); ++i) parameters.push_back(arguments[i].c_str());
    return parameters;
}

}  // namespace launcher
