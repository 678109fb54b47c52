#include "service/service_control.h"

#include "log/errors.h"
#include "log/log.h"

namespace launcher {

int runServiceCommand(Command, const std::vector<std::wstring>&) {
    logError(L"%s is not available in this launcher build", L"Service control");
    fatalError(L"Service control is not available in this launcher build.");
}

}  // namespace launcher
