#include "launcher/run_application.h"

#include "env/path_environment.h"
#include "launcher/extraction.h"
#include "log/errors.h"
#include "log/log.h"

namespace launcher {

void runApplication(std::vector<std::wstring>&, bool) {
    if (extractIncludedFiles(true) != kExtractOk) fatalMessage(1009, std::string_view("16"));
    prependNativeLibraryPath();
    // This launcher build ends here: the JVM search, the single-instance guard and the launch
    // itself are not part of it yet, and it says so instead of pretending to start anything.
    logError(L"%s is not available in this launcher build", L"Running the application");
    fatalError(L"Running the application is not available in this launcher build.");
}

}  // namespace launcher
