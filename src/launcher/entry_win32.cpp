// The process entry: start-up, command-line split and dispatch.
#include <windows.h>

#include <new>
#include <vector>

#include "common/command_line.h"
#include "common/fatal.h"
#include "common/limits.h"
#include "common/log.h"
#include "config/config.h"
#include "config/config_reader.h"
#include "env/expand_launcher_variables.h"
#include "env/path_environment.h"
#include "env/path_rules.h"
#include "env/paths.h"
#include "env/temp_dir.h"
#include "launcher/commands.h"
#include "launcher/language.h"
#include "launcher/launcher_settings.h"
#include "launcher/launcher_state.h"
#include "launcher/run_application.h"
#include "log/errors.h"
#include "log/log.h"
#include "service/event_log_win32.h"
#include "service/service_control.h"
#include "service/service_host.h"

namespace launcher {

namespace {

// This run's per-run directory. The entry owns it: extraction makes it, the floors that expand
// launcher variables or list its archives are handed it, and every exit removes it. It lives as
// long as the process (the fatal exit may come from any point of the run).
RunDirectory& runDirectory() {
    static RunDirectory directory;
    return directory;
}

// A service child's event source: what keeps its application from starting is reported there.
EventLog& childEvents() {
    static EventLog events;
    return events;
}

// Where the log goes and what every fatal exit shows and cleans up; set before anything can
// log or fail.
void registerProcessHooks() {
    configureLog({[] { return tempBaseWide(); }, executablePathW()});
    FatalHooks hooks = fatalPresentation();
    hooks.cleanUp = [] { runDirectory().remove(); };
    setFatalHooks(hooks);
}

// The rest of start-up once the narrow strings are read: the language, the localized texts
// (the same pass over the block), the error presentation, the environment and the working
// directory. Returns where the included files begin.
uint32_t initLauncher(LauncherState& state, const StartSettings& start, OwnBlock& block,
                      const RunDirectory& run) {
    const std::string language = selectLanguage();
    LanguageCodes codes = splitLanguageCode(language);
    state.languageCode = std::move(codes.language);
    state.countryCode = std::move(codes.country);
    uint32_t blockEnd = 0;
    if (const ReadFailure failure = block.readTables(language, blockEnd);
        failure != ReadFailure::None) {
        fatalError(readFailureText(failure));
    }
    if (!showsErrorsInMessageBoxes(start.launcherKind)) guiErrors = false;
    state.productMarker = start.productMarker;
    if (start.reducePath) reducePath();
    if (start.ignoreJavaOptionVariables) {
        logMessage(L"ignoring java options environment variables");
        clearJavaOptionVariables();
    }
    std::wstring workingDirectory = start.workingDirectory;
    if (workingDirectory.empty()) {
        logMessage(L"working directory unchanged");
    } else {
        // The first expansion of every road that has a working directory.
        if (!hasTempBase()) fatalMessage(Message::NoTempFolder);
        expandLauncherVariables(workingDirectory, true, run);
        const std::wstring directory = canonicalPath(workingDirectory, true, FolderForm::Wide);
        ::SetCurrentDirectoryW(directory.c_str());
        logMessage(L"change working directory to %s", directory);
    }
    return blockEnd;
}

void printUsage() {
    std::wstring path(kBufferLength, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), kBufferLength);
    path.resize(n < kBufferLength ? n : 0);
    printConsole(
        L"Usage: %s.exe /install | /uninstall | /stop | /start | /status | /run | /run-redirect\n",
        programNameOf(path));
}

// The host's settings, read before the dispatcher starts (its service main takes no context).
ServiceHostOptions serviceHostOptions;

// The dispatcher's service main: the service host runs the service child and ends the process
// when it has ended.
void WINAPI dispatchedServiceMain(DWORD argumentCount, LPWSTR* arguments) {
    serviceMain(static_cast<uint32_t>(argumentCount), arguments, serviceHostOptions);
}

int runServiceDispatcher(const std::wstring& serviceName, const ServiceHostOptions& options) {
    serviceHostOptions = options;
    std::vector<wchar_t> name(serviceName.size() + 10, L'\0');
    std::copy(serviceName.begin(), serviceName.end(), name.begin());
    SERVICE_TABLE_ENTRYW table[] = {{name.data(), dispatchedServiceMain}, {nullptr, nullptr}};
    logMessage(L"calling StartServiceCtrlDispatcher");
    if (!::StartServiceCtrlDispatcherW(table)) {
        logMessage(L"StartServiceCtrlDispatcher failed with error %d", ::GetLastError());
    }
    logMessage(L"StartServiceCtrlDispatcher returned");
    return 0;
}

int runCommand(LauncherState& state, const Settings& settings, const OwnExecutable& executable,
               Command command, std::vector<std::wstring>& arguments,
               const std::wstring& programPath) {
    if (const auto serviceCommand = serviceCommandOf(command)) {
        executable.block.close();
        return runServiceCommand(*serviceCommand, state.serviceName, arguments,
                                 settings.service.install);
    }
    switch (command) {
        case Command::Help:
            printUsage();
            return 0;
        case Command::Run:
            logMessage(L"running service");
            state.noRedirect = true;
            state.serviceMode = false;
            arguments.insert(arguments.begin(), programPath);
            runApplication(state, settings, executable, runDirectory(), arguments, false);
            return 0;
        case Command::RunRedirect:
            logMessage(L"running service with redirection");
            state.serviceMode = false;
            arguments.insert(arguments.begin(), programPath);
            runApplication(state, settings, executable, runDirectory(), arguments, false);
            return 0;
        default:
            break;
    }
    executable.block.close();
    return runServiceDispatcher(state.serviceName, settings.service.host);
}

int launcherMain() {
    registerProcessHooks();
    const wchar_t* commandLine = ::GetCommandLineW();
    const std::wstring_view text = commandLine ? commandLine : L"";
    std::vector<std::wstring> list;
    splitCommandLine(text, list);
    DispatchDecision decision = decideDispatch(std::move(list));
    // The service host and the service child run on a desktop nobody sees: a message box would
    // wait for ever. Their errors go to the log and the standard error stream only.
    if (decision.road != DispatchDecision::Road::Command) guiErrors = false;
    // The block is read once: the narrow strings now, the rest in initLauncher, the included
    // files by the run road, all through this one open file.
    const std::wstring& executablePath = executablePathW();
    OwnBlock block(executablePath);
    if (const ReadFailure failure = block.readStrings(executablePath);
        failure != ReadFailure::None) {
        fatalError(readFailureText(failure));
    }
    // The settings live as long as the process, like the tables they are read from: they are
    // never destroyed (nothing runs after the entry that would need that).
    alignas(Settings) static unsigned char settingsStorage[sizeof(Settings)];
    const Settings& settings =
        *new (settingsStorage) Settings(buildSettings(ConfigView(configStrings())));
    setTempBaseOptions(settings.temp);
    LauncherState state;
    state.serviceMode = true;
    const OwnExecutable executable{block,
                                   initLauncher(state, settings.start, block, runDirectory())};
    state.serviceName = settings.start.serviceName;
    logMessage(L"launcher %S", LAUNCHER_VERSION);
    logMessage(L"command line %s", text);
    switch (decision.road) {
        case DispatchDecision::Road::ServiceChild:
            if (settings.service.host.eventLog && !decision.arguments.empty()) {
                childEvents().open(decision.arguments.front());
                setErrorObserver([](std::wstring_view error) {
                    childEvents().report<EventId::StartFailed>(std::wstring(error));
                });
            }
            runApplication(state, settings, executable, runDirectory(), decision.arguments, true);
            return 0;
        case DispatchDecision::Road::Command:
        case DispatchDecision::Road::Dispatcher:
            if (decision.serviceName) state.serviceName = *decision.serviceName;
            return runCommand(state, settings, executable, decision.command, decision.arguments,
                              decision.programPath);
    }
    return 0;
}

}  // namespace
}  // namespace launcher

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return launcher::launcherMain();
}

// The C runtime of the cross toolchain calls WinMain whatever -municode says.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int show) {
    return wWinMain(instance, previous, ::GetCommandLineW(), show);
}
