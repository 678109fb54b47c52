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
}

// How the service is stopped and whom it runs as. A new launcher gets a bounded stop and a child
// that never outlives its host unless the description says otherwise.
void Reader::serviceOperation(const toml::table* t) {
    const std::string p = "service.";
    const int64_t timeout =
        integer(t, p, "stop_timeout", 0, kMaxStopTimeout).value_or(kDefaultStopTimeout);
    if (timeout > 0) put(Setting::StopTimeout, std::to_string(timeout));
    if (flag(t, p, "kill_child_with_host").value_or(true)) put(Setting::KillChildWithHost, "1");
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
    text("account", Setting::ServiceAccount);
    text("password_env", Setting::PasswordVariable);
    recovery();
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

}  // namespace pack::printing
