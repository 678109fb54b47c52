#include "launcher/run_application.h"

#include "log/errors.h"
#include "log/log.h"

namespace launcher {

void runApplication(std::vector<std::wstring>&, bool) {
    logError(L"%s is not available in this launcher build", L"Running the application");
    fatalError(L"Running the application is not available in this launcher build.");
}

}  // namespace launcher
