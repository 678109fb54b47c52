#include "launcher/run_application.h"

#include "common/fatal.h"
#include "common/log.h"
#include "config/config.h"
#include "env/path_environment.h"
#include "jvm/discovery/discovery.h"
#include "launcher/extraction.h"

namespace launcher {

void runApplication(const LauncherState&, const OwnExecutable& executable,
                    std::vector<std::wstring>&, bool) {
    const Extraction extraction = extractIncludedFiles(executable.path, executable.blockEnd, true);
    if (extraction.result != ExtractResult::Ok) {
        fatalMessage(Message::SetupFailed, FailureDetail::ExtractionFailed);
    }
    prependNativeLibraryPath(dupConfigString(Setting::NativeLibraryDirectories),
                             getConfigInt(Setting::AddDllDirectories) != 0);
    // The search has shown the user why when nothing loaded.
    const std::optional<SelectedRuntime> runtime = LoadDLL(true);
    if (!runtime) exitLauncher(1);
    // This launcher build ends here: the single-instance guard and the launch itself are not
    // part of it yet, and it says so instead of pretending to start the application.
    logError(L"%s is not available in this launcher build", L"Running the application");
    fatalError(L"Running the application is not available in this launcher build.");
}

}  // namespace launcher
