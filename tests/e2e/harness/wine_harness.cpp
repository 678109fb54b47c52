#include "wine_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>

#include "tests/helpers/line_escapes.h"

extern char** environ;

namespace e2e {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// After the process has ended, output still buffered by its pipes is read for this long; a
// grandchild that keeps the pipe open must not hold the test forever.
constexpr auto kDrainAfterExit = std::chrono::seconds(2);
// The harness waits this much longer than winrun's own timeout before killing winrun itself.
constexpr auto kWinrunGrace = std::chrono::seconds(30);

// Move-only owner of a file descriptor.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

struct Pipe {
    UniqueFd read;
    UniqueFd write;
};

Pipe makePipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
    }
    return {UniqueFd(fds[0]), UniqueFd(fds[1])};
}

void setNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// posix_spawn's attribute and file-action objects, destroyed on every path.
struct SpawnSetup {
    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    SpawnSetup() {
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_init(&actions);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
};

std::vector<std::string> mergedEnvironment(const Environment& extra) {
    std::vector<std::string> env;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        const std::string_view entry(*e);
        const std::string_view name = entry.substr(0, entry.find('='));
        const bool replaced = std::any_of(extra.begin(), extra.end(),
                                          [&](const auto& kv) { return kv.first == name; });
        if (!replaced) env.emplace_back(entry);
    }
    for (const auto& [name, value] : extra) env.push_back(name + "=" + value);
    return env;
}

std::vector<char*> cStrings(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

std::string shellQuoted(const std::vector<std::string>& argv) {
    std::string out;
    for (const auto& a : argv) {
        if (!out.empty()) out += ' ';
        if (!a.empty() && a.find_first_of(" \t\n'\"\\$`*?;&|<>()") == std::string::npos) {
            out += a;
            continue;
        }
        out += '\'';
        for (char c : a) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        out += '\'';
    }
    return out;
}

// Spawns argv with the given pipes as its standard handles; newSession puts it into a session
// of its own, otherwise into a new process group (so a timeout can kill the group).
pid_t spawn(std::vector<std::string> argv, const Environment& extraEnv, int in, int out, int err,
            bool newSession) {
    SpawnSetup setup;
    posix_spawn_file_actions_adddup2(&setup.actions, in, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, out, 1);
    posix_spawn_file_actions_adddup2(&setup.actions, err, 2);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&setup.attr, &defaults);
    posix_spawnattr_setsigmask(&setup.attr, &none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (newSession) {
        flags |= POSIX_SPAWN_SETSID;
    } else {
        flags |= POSIX_SPAWN_SETPGROUP;
        posix_spawnattr_setpgroup(&setup.attr, 0);
    }
    posix_spawnattr_setflags(&setup.attr, flags);

    std::vector<std::string> env = mergedEnvironment(extraEnv);
    std::vector<char*> cargv = cStrings(argv);
    std::vector<char*> cenv = cStrings(env);
    pid_t pid = -1;
    const int rc =
        ::posix_spawnp(&pid, cargv[0], &setup.actions, &setup.attr, cargv.data(), cenv.data());
    if (rc != 0) {
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
    }
    return pid;
}

void ignoreSigpipeOnce() {
    static std::once_flag once;
    std::call_once(once, [] { ::signal(SIGPIPE, SIG_IGN); });
}

RunResult runProcessImpl(const std::vector<std::string>& argv, const RunOptions& options,
                         bool newSession) {
    ignoreSigpipeOnce();
    RunResult result;
    result.commandLine = shellQuoted(argv);
    const auto start = Clock::now();
    const auto deadline = start + options.timeout;

    Pipe in = makePipe(), out = makePipe(), err = makePipe();
    const pid_t pid =
        spawn(argv, options.unixEnv, in.read.get(), out.write.get(), err.write.get(), newSession);
    in.read.reset();
    out.write.reset();
    err.write.reset();
    for (int fd : {in.write.get(), out.read.get(), err.read.get()}) setNonBlocking(fd);

    size_t stdinWritten = 0;
    if (options.stdinData.empty()) in.write.reset();

    bool exited = false;
    int status = 0;
    Clock::time_point drainUntil{};
    auto collect = [&](UniqueFd& fd, std::string& into) {
        char buffer[16384];
        for (;;) {
            const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
            if (n > 0) {
                const size_t room =
                    options.maxOutputBytes - std::min(options.maxOutputBytes, into.size());
                if (static_cast<size_t>(n) > room) result.truncated = true;
                into.append(buffer, std::min(room, static_cast<size_t>(n)));
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) fd.reset();
            return;
        }
    };

    while (out.read.valid() || err.read.valid() || !exited) {
        const auto now = Clock::now();
        if (now >= deadline) {
            result.timedOut = true;
            break;
        }
        if (exited && now >= drainUntil) break;

        std::vector<pollfd> fds;
        if (out.read.valid()) fds.push_back({out.read.get(), POLLIN, 0});
        if (err.read.valid()) fds.push_back({err.read.get(), POLLIN, 0});
        if (in.write.valid()) fds.push_back({in.write.get(), POLLOUT, 0});
        ::poll(fds.data(), fds.size(), 50);

        if (out.read.valid()) collect(out.read, result.out);
        if (err.read.valid()) collect(err.read, result.err);
        if (in.write.valid()) {
            const ssize_t n = ::write(in.write.get(), options.stdinData.data() + stdinWritten,
                                      options.stdinData.size() - stdinWritten);
            if (n > 0) stdinWritten += static_cast<size_t>(n);
            if ((n < 0 && errno != EAGAIN && errno != EINTR) ||
                stdinWritten == options.stdinData.size()) {
                in.write.reset();
            }
        }
        if (!exited && ::waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
            drainUntil = Clock::now() + kDrainAfterExit;
        }
    }

    if (!exited) {
        if (!newSession) ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return result;
}

// The name of the running test, usable as a folder name.
std::string currentTestName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info == nullptr ? std::string("no-test")
                                       : std::string(info->test_suite_name()) + "." + info->name();
    std::replace_if(
        name.begin(), name.end(),
        [](char c) {
            return !(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-');
        },
        '_');
    return name;
}

// A path below base, matching each missing component case-insensitively (Windows semantics
// over a Unix file system: "C:\users\x\temp" may be ".../Temp").
fs::path resolveCaseInsensitively(fs::path base, const std::vector<std::string>& components) {
    for (const auto& part : components) {
        fs::path exact = base / part;
        std::error_code ec;
        if (!fs::exists(exact, ec)) {
            for (const auto& entry : fs::directory_iterator(base, ec)) {
                const std::string name = entry.path().filename().string();
                if (std::equal(name.begin(), name.end(), part.begin(), part.end(),
                               [](char a, char b) { return std::tolower(a) == std::tolower(b); })) {
                    exact = entry.path();
                    break;
                }
            }
        }
        base = exact;
    }
    return base;
}

}  // namespace

// ---- where things are ----

fs::path repoRoot() {
    return fs::path(LAUNCHER_SOURCE_DIR);
}
fs::path winBuildDir() {
    return fs::path(LAUNCHER_WIN_BUILD_DIR);
}
fs::path winBinDir() {
    return winBuildDir() / "bin";
}
fs::path stubPath() {
    return winBinDir() / "launcher.exe";
}

fs::path helperPath(std::string_view name) {
    std::string file(name);
    if (!file.ends_with(".exe") && !file.ends_with(".dll")) file += ".exe";
    return winBinDir() / file;
}

fs::path wineRunScript() {
    return repoRoot() / "tests" / "wine" / "wine-run.sh";
}

fs::path winePrefix() {
    const char* configured = std::getenv("LAUNCHER_WINEPREFIX");
    if (configured != nullptr && *configured != '\0') return fs::path(configured);
    return repoRoot() / "build" / "wineprefix";
}

fs::path scratchDir() {
    static std::mutex mutex;
    static std::set<std::string> prepared;
    const std::string name = currentTestName();
    const fs::path dir = fs::path(E2E_SCRATCH_DIR) / name;
    std::lock_guard lock(mutex);
    if (prepared.insert(name).second) {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    return dir;
}

// ---- paths ----

std::string toWinePath(const fs::path& unixPath) {
    std::string path = fs::absolute(unixPath).lexically_normal().string();
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

fs::path fromWinePath(std::string_view windowsPath) {
    std::string path(windowsPath);
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0]))) {
        return fs::path(path);
    }
    const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
    std::vector<std::string> components;
    std::istringstream parts(path.substr(2));
    for (std::string part; std::getline(parts, part, '/');) {
        if (!part.empty()) components.push_back(part);
    }
    if (drive == 'z') {
        fs::path out("/");
        for (const auto& c : components) out /= c;
        return out;
    }
    const fs::path base = drive == 'c'
                              ? winePrefix() / "drive_c"
                              : winePrefix() / "dosdevices" / (std::string(1, drive) + ":");
    return resolveCaseInsensitively(base, components);
}

// ---- running programs ----

std::string RunResult::describe() const {
    std::ostringstream s;
    s << "command: " << commandLine << "\nexit code: " << exitCode;
    if (signal != 0) s << " (signal " << signal << ")";
    if (timedOut) s << " (timed out, killed)";
    s << "\ntime: " << seconds << " s";
    if (truncated) s << "\n(output truncated)";
    s << "\n--- stdout ---\n" << out << "\n--- stderr ---\n" << err << "\n---";
    return s.str();
}

RunResult runProcess(const std::vector<std::string>& argv, const RunOptions& options) {
    return runProcessImpl(argv, options, false);
}

void prepareWine() {
    static std::once_flag once;
    std::call_once(once, [] {
        RunOptions options;
        options.timeout = std::chrono::minutes(3);
        const RunResult r = runProcessImpl({wineRunScript().string(), "--prepare"}, options, true);
        if (r.exitCode != 0) {
            ADD_FAILURE() << "preparing Wine failed\n" << r.describe();
        }
    });
}

RunResult runWine(const std::string& program, const std::vector<std::string>& args,
                  const RunOptions& options) {
    prepareWine();
    std::vector<std::string> argv{wineRunScript().string(), program};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcessImpl(argv, options, false);
}

// ---- running through winrun ----

std::vector<MessageBoxRecord> parseMessageBoxFile(std::string_view contents) {
    std::vector<MessageBoxRecord> boxes;
    for (const std::string& line : splitLines(contents)) {
        if (line.starts_with("caption: ")) {
            boxes.push_back({test_text::unescapeLine(std::string_view(line).substr(9)), {}});
        } else if (line.starts_with("text: ") && !boxes.empty()) {
            boxes.back().text = test_text::unescapeLine(std::string_view(line).substr(6));
        }
    }
    return boxes;
}

std::string WinrunResult::describe() const {
    std::ostringstream s;
    s << run.describe() << "\nchild exit code: ";
    if (exitCode) {
        s << *exitCode;
    } else {
        s << (childTimedOut ? "none (timed out)" : "none");
    }
    s << "\nmessage boxes: " << messageBoxes.size();
    for (const auto& box : messageBoxes) {
        s << "\n  [" << box.caption << "] " << box.text;
    }
    return s.str();
}

WinrunResult runViaWinrun(const fs::path& program, const std::vector<std::string>& args,
                          const WinrunOptions& options) {
    static std::atomic<int> counter{0};
    const fs::path files = fs::path(E2E_SCRATCH_DIR) / ".winrun";
    fs::create_directories(files);
    const std::string stem =
        currentTestName() + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    const fs::path msgboxFile =
        options.messageBoxFile.empty() ? files / (stem + ".msgbox") : options.messageBoxFile;
    const fs::path statusFile = files / (stem + ".status");
    fs::remove(msgboxFile);
    fs::remove(statusFile);

    std::vector<std::string> winrunArgs;
    for (const auto& [name, value] : options.env) {
        winrunArgs.insert(winrunArgs.end(), {"--env", name + "=" + value});
    }
    for (const auto& name : options.unset) winrunArgs.insert(winrunArgs.end(), {"--unset", name});
    if (!options.cwd.empty())
        winrunArgs.insert(winrunArgs.end(), {"--cwd", toWinePath(options.cwd)});
    if (options.answerMessageBoxes) {
        winrunArgs.insert(winrunArgs.end(), {"--msgbox", toWinePath(msgboxFile)});
        if (!options.holdMessageBoxesUntil.empty()) {
            winrunArgs.insert(winrunArgs.end(),
                              {"--hold-until", toWinePath(options.holdMessageBoxesUntil)});
        }
    }
    if (options.timeoutSeconds > 0) {
        winrunArgs.insert(winrunArgs.end(), {"--timeout", std::to_string(options.timeoutSeconds)});
    }
    winrunArgs.insert(winrunArgs.end(), {"--status", toWinePath(statusFile)});
    if (options.rawArgs) winrunArgs.insert(winrunArgs.end(), {"--raw-args", *options.rawArgs});
    winrunArgs.push_back("--");
    const std::string programText = program.string();
    winrunArgs.push_back(programText.starts_with("/") ? toWinePath(program) : programText);
    if (!options.rawArgs) winrunArgs.insert(winrunArgs.end(), args.begin(), args.end());

    RunOptions runOptions;
    runOptions.stdinData = options.stdinData;
    runOptions.unixEnv = options.unixEnv;
    runOptions.timeout = options.timeoutSeconds > 0
                             ? std::chrono::seconds(options.timeoutSeconds) + kWinrunGrace
                             : std::chrono::milliseconds(std::chrono::hours(24));

    const fs::path winrun = helperPath("winrun");
    if (!fs::exists(winrun)) {
        throw std::runtime_error(winrun.string() +
                                 " is missing: build the win-arm64 preset (target winrun)");
    }
    WinrunResult result;
    result.run = runWine(winrun.string(), winrunArgs, runOptions);
    if (const auto status = readFile(statusFile)) {
        if (status->starts_with("timeout")) {
            result.childTimedOut = true;
        } else if (!status->empty()) {
            result.exitCode = static_cast<uint32_t>(std::stoul(*status));
        }
    }
    if (const auto boxes = readFile(msgboxFile)) result.messageBoxes = parseMessageBoxFile(*boxes);
    fs::remove(msgboxFile);
    fs::remove(statusFile);
    return result;
}

// ---- files ----

std::optional<std::string> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, std::string_view bytes) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::optional<Utf8Text> readUtf8File(const fs::path& path) {
    auto bytes = readFile(path);
    if (!bytes) return std::nullopt;
    Utf8Text text;
    text.hadBom = bytes->starts_with("\xEF\xBB\xBF");
    text.text = text.hadBom ? bytes->substr(3) : std::move(*bytes);
    return text;
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (line.ends_with('\r')) line.remove_suffix(1);
        lines.emplace_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace e2e
