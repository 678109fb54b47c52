// The [service] table: the service's name, start, account, stop and recovery.
#include "toml_printer.h"
#include "toml_reader.h"

#include <algorithm>

namespace pack::reading {

void Reader::service(const toml::table* t) {
    const std::string p = "service.";
    if (t == nullptr) {
        errors_.push_back({0, 0, "service",
                           "missing; the description needs a [service] table "
                           "with the service's name"});
        return;
    }
    onlyKeys(*t, p, kServiceKeys);
    if (t->get("name") == nullptr) {
        error(*t, p + "name", "missing; name the service the launcher installs and runs");
    } else if (const auto name = string(t, p, "name")) {
        std::string bytes;
        if (narrow(*t->get("name"), p + "name", *name, kServiceNameLimit, bytes)) {
            if (bytes.empty() || bytes.find_first_of("/\\") != std::string::npos) {
                error(*t->get("name"), p + "name",
                      "a service name is not empty and holds no '/' or '\\'");
            } else {
                put(Setting::ServiceName, bytes);
            }
        }
    }
    if (const auto description = string(t, p, "description")) {
        std::u16string wide;
        if (messageValue(*t->get("description"), p + "description",
                         *messageText("service_description"), wide)) {
            description_ = wide;
        }
    }
    startNode_ = node(t, "start");
    if (const auto start = choice(t, p, "start", {"auto", "demand", "delayed"})) start_ = *start;
    listSetting(t, p, "dependencies", Setting::ServiceDependencies, ',', ",/\\", kTextLimit);
    serviceOperation(t);
    recovery(table(t, p, "recovery"));
    restart(table(t, p, "restart"));
    watchdog(table(t, p, "watchdog"));
}

// How the service is stopped and whom it runs as. A new launcher gets a bounded stop and a child
// that never outlives its host unless the description says otherwise.
void Reader::serviceOperation(const toml::table* t) {
    const std::string p = "service.";
    const int64_t timeout =
        integer(t, p, "stop_timeout", 0, kMaxStopTimeout).value_or(kDefaultStopTimeout);
    if (timeout > 0) put(Setting::StopTimeout, std::to_string(timeout));
    if (flag(t, p, "kill_child_with_host").value_or(true)) put(Setting::KillChildWithHost, "1");
    if (flag(t, p, "event_log").value_or(true)) put(Setting::EventLog, "1");
    textSetting(t, p, "display_name", Setting::ServiceDisplayName, kServiceNameLimit);
    const auto account = string(t, p, "account");
    bool namedUser = false;
    std::string bytes;
    if (account && narrow(*t->get("account"), p + "account", *account, kServiceNameLimit, bytes)) {
        const size_t slash = bytes.find('\\');
        namedUser = slash != std::string::npos;
        const bool builtIn = bytes == "LocalSystem" || bytes == "LocalService" ||
                             bytes == "NetworkService" || bytes == "virtual";
        if (!builtIn && (!namedUser || slash == 0 || slash + 1 == bytes.size() ||
                         bytes.find('\\', slash + 1) != std::string::npos)) {
            error(*t->get("account"), p + "account",
                  "\"" + *account +
                      "\" is no account; write \"LocalSystem\", \"LocalService\", "
                      "\"NetworkService\", \"virtual\" or a user as \"DOMAIN\\\\user\" "
                      "(\".\\\\user\" "
                      "for a local one)");
            namedUser = false;
        } else {
            put(Setting::ServiceAccount, bytes);
        }
    }
    if (const auto variable = string(t, p, "password_env")) {
        const toml::node& at = *t->get("password_env");
        std::string name;
        if (!namedUser) {
            error(at, p + "password_env",
                  "only a named user (account = \"DOMAIN\\\\user\") has a password");
        } else if (narrow(at, p + "password_env", *variable, kTextLimit, name)) {
            const bool valid = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
                return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '_';
            });
            if (valid) {
                put(Setting::PasswordVariable, name);
            } else {
                error(at, p + "password_env",
                      "\"" + *variable +
                          "\" is no environment variable name (letters, digits and '_')");
            }
        }
    }
}

// [service.recovery]: what the Service Control Manager does when the service fails.
void Reader::recovery(const toml::table* t) {
    if (t == nullptr) return;
    const std::string p = "service.recovery.";
    onlyKeys(*t, p, kRecoveryKeys);
    const toml::array* actions = list(t, p, "actions");
    if (t->get("actions") == nullptr) {
        error(*t, p + "actions", "missing; write a list such as [\"restart\", \"none\"]");
    }
    std::string words;
    bool ok = actions != nullptr;
    if (actions != nullptr && (actions->empty() || actions->size() > kMaxFailureActions)) {
        error(*t->get("actions"), p + "actions",
              "write 1 to " + std::to_string(kMaxFailureActions) + " actions");
        ok = false;
    }
    for (size_t i = 0; ok && i < actions->size(); ++i) {
        const toml::node& item = *actions->get(i);
        const auto* word = item.as_string();
        if (word == nullptr || (word->get() != "restart" && word->get() != "none")) {
            error(item, p + "actions[" + std::to_string(i) + "]", "write \"restart\" or \"none\"");
            ok = false;
            break;
        }
        words += (words.empty() ? "" : ",") + word->get();
    }
    const int64_t delay =
        integer(t, p, "delay", 0, kMaxStopTimeout).value_or(kDefaultRecoveryDelay);
    const int64_t reset = integer(t, p, "reset_after", 0, INT32_MAX).value_or(kDefaultResetAfter);
    const bool onErrorExit = flag(t, p, "on_error_exit").value_or(true);
    if (!ok) return;
    put(Setting::RecoveryActions, words);
    if (delay > 0) put(Setting::RecoveryDelay, std::to_string(delay));
    if (reset > 0) put(Setting::RecoveryResetAfter, std::to_string(reset));
    if (onErrorExit) put(Setting::RecoveryOnErrorExit, "1");
}

// restart() and the printer find the delay and max_delay by their place.
static_assert(kRestartNumbers[0].id == Setting::RestartDelay &&
              kRestartNumbers[1].id == Setting::RestartMaxDelay);

bool Reader::numbers(const toml::table* t, const std::string& prefix,
                     std::span<const NumberKey> keys, std::vector<int64_t>& values) {
    bool ok = true;
    values.clear();
    for (const NumberKey& key : keys) {
        const auto value = integer(t, prefix, key.key, key.low, key.high);
        ok = ok && (value || node(t, key.key) == nullptr);
        values.push_back(value.value_or(key.byDefault));
    }
    return ok;
}

// [service.restart]: the host starts the application again when it ends on its own. Every new
// launcher gets these settings, the defaults when the table is left out; a block without them
// restarts nothing.
void Reader::restart(const toml::table* t) {
    const std::string p = "service.restart.";
    if (t != nullptr) onlyKeys(*t, p, kRestartKeys);
    const auto on = choice(t, p, "on_exit", {"failure", "always", "never"});
    std::vector<int64_t> values;
    if (!numbers(t, p, kRestartNumbers, values)) return;
    const int64_t delay = values[0];
    const toml::node* maxDelay = node(t, "max_delay");
    if (maxDelay == nullptr) {
        values[1] = defaultMaxDelay(delay);
    } else if (values[1] < delay) {
        error(*maxDelay, p + "max_delay",
              "is " + std::to_string(values[1]) + ", below the delay of " + std::to_string(delay) +
                  " s" + (node(t, "delay") == nullptr ? " (the default)" : "") +
                  ": each quick failure doubles the delay up to max_delay; write at least " +
                  std::to_string(delay));
        return;
    }
    put(Setting::RestartOnExit, on.value_or(std::string(kDefaultRestartOn)));
    for (size_t i = 0; i < values.size(); ++i) {
        put(kRestartNumbers[i].id, std::to_string(values[i]));
    }
}

// [service.watchdog]: the host pings the JVM and restarts one that no longer answers. On for
// every new launcher unless interval = 0; a block without these settings watches nothing.
void Reader::watchdog(const toml::table* t) {
    const std::string p = "service.watchdog.";
    if (t != nullptr) onlyKeys(*t, p, kWatchdogKeys);
    std::vector<int64_t> values;
    if (!numbers(t, p, kWatchdogNumbers, values)) return;
    const int64_t interval = values[0], timeout = values[1];
    if (interval > 0 && timeout <= interval) {
        const toml::node* timeoutNode = node(t, "timeout");
        const std::string says =
            "a timeout of " + std::to_string(timeout) + " s" +
            (timeoutNode == nullptr ? " (the default)" : "") + " is not above the interval of " +
            std::to_string(interval) +
            " s: the JVM would count as hung before it could answer a ping; write a timeout "
            "above the interval, or interval = 0 to turn the watchdog off";
        if (timeoutNode != nullptr) {
            error(*timeoutNode, p + "timeout", says);
        } else {
            error(*node(t, "interval"), p + "interval", says);
        }
        return;
    }
    for (size_t i = 0; i < values.size(); ++i) {
        put(kWatchdogNumbers[i].id, std::to_string(values[i]));
    }
}

}  // namespace pack::reading

namespace pack::printing {

void Printer::service() {
    header("service");
    text("name", Setting::ServiceName);
    const auto description = content_.wides.find(idOf(Message::ServiceDescription));
    if (description != content_.wides.end()) {
        std::string utf8;
        utf16ToUtf8(description->second, utf8);
        line("description", printing::quoted(utf8));
    }
    const auto delayed = take(Setting::DelayedAutoStart);
    if (kind_ == "4") {
        line("start", delayed == "1" ? "\"delayed\"" : "\"auto\"");
        kind_.clear();
        if (delayed && *delayed != "1") keep(idOf(Setting::DelayedAutoStart), *delayed);
    } else if (delayed) {
        keep(idOf(Setting::DelayedAutoStart), *delayed);
    }
    list("dependencies", Setting::ServiceDependencies, ',');
    text("display_name", Setting::ServiceDisplayName);
    // A new launcher gets these two; a block without them stops as launchers did before.
    number("stop_timeout", Setting::StopTimeout, "30");
    defaultOnFlag("kill_child_with_host", Setting::KillChildWithHost);
    defaultOnFlag("event_log", Setting::EventLog);
    text("account", Setting::ServiceAccount);
    text("password_env", Setting::PasswordVariable);
    recovery();
    restart();
    watchdog();
}

void Printer::recovery() {
    auto actions = take(Setting::RecoveryActions);
    if (!actions) return;
    std::vector<std::string> items;
    for (size_t start = 0; start <= actions->size();) {
        const size_t end = std::min(actions->find(',', start), actions->size());
        items.push_back(quotedBytes(actions->substr(start, end - start)));
        start = end + 1;
    }
    header("service.recovery", true);
    line("actions", quotedList(items));
    number("delay", Setting::RecoveryDelay, "10");
    number("reset_after", Setting::RecoveryResetAfter, "86400");
    defaultOnFlag("on_error_exit", Setting::RecoveryOnErrorExit);
}

// A block written before the restart settings restarts nothing and watches nothing: its
// description says so, and builds a launcher that does the same.
void Printer::restart() {
    header("service.restart");
    const auto on = take(Setting::RestartOnExit);
    if (!on) {
        line("on_exit", "\"never\"");
    } else if (*on == "always" || *on == "never") {
        line("on_exit", printing::quoted(*on));
    } else if (*on != kDefaultRestartOn) {
        keep(idOf(Setting::RestartOnExit), *on);
    }
    std::optional<int64_t> delay;
    for (const NumberKey& key : kRestartNumbers) {
        if (key.id == Setting::RestartMaxDelay) {
            numberKey(key, defaultMaxDelay(delay.value_or(kRestartNumbers[0].byDefault)));
        } else if (key.id == Setting::RestartDelay) {
            delay = numberKey(key, key.byDefault);
        } else {
            numberKey(key, key.byDefault);
        }
    }
}

void Printer::watchdog() {
    header("service.watchdog");
    for (const NumberKey& key : kWatchdogNumbers) {
        if (key.id == Setting::WatchdogInterval && strings_.count(idOf(key.id)) == 0) {
            line(std::string(key.key), "0");
        } else {
            numberKey(key, key.byDefault);
        }
    }
}

}  // namespace pack::printing
