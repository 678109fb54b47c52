// What the files that print a configuration block's content as a launcher description share:
// the TOML quoting and the Printer, which goes through the content table by table. Each table's
// part is in the table's file (toml_service.cpp, toml_java.cpp, toml_launcher.cpp,
// toml_resources.cpp, toml_messages.cpp, toml_files.cpp), beside the part that reads it; the
// whole run is in toml_output.cpp.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/config.h"
#include "config/settings.h"
#include "launcher_toml.h"
#include "toml_keys.h"

namespace pack::printing {

using launcher::idOf;
using launcher::Message;
using launcher::Setting;

// A TOML basic string.
std::string quoted(std::string_view utf8);
// Launcher bytes (Latin-1) as a TOML basic string.
std::string quotedBytes(std::string_view bytes);
// "[a, b, c]" of items already quoted.
std::string quotedList(const std::vector<std::string>& items);

// Prints the content table by table, taking each config string it expresses out of the
// remaining set; what is left at the end goes into comments.
class Printer {
public:
    // leftOutJar: the runtime jar taken out of the content because `pack build` embeds it.
    Printer(const BlockContent& content, std::string_view filesFolder, std::string leftOutJar)
        : content_(content),
          strings_(content.strings),
          filesFolder_(filesFolder),
          leftOutJar_(std::move(leftOutJar)) {}

    std::string run();

private:
    std::optional<std::string> take(Setting id) { return take(idOf(id)); }
    std::optional<std::string> take(int32_t id) {
        const auto it = strings_.find(id);
        if (it == strings_.end()) return std::nullopt;
        std::string value = std::move(it->second);
        strings_.erase(it);
        return value;
    }
    // Puts a value back when it cannot be expressed, so it ends in the comments.
    void keep(int32_t id, std::string value) { strings_[id] = std::move(value); }

    void line(const std::string& key, const std::string& value) {
        flush();
        out_ << key << " = " << value << "\n";
    }
    // A table's header is written with its first key, so that empty tables are left out;
    // force writes it at once (a table whose presence says something).
    void header(std::string_view name, bool force = false) {
        pending_ = "\n[" + std::string(name) + "]\n";
        if (force) flush();
    }
    void flush() {
        out_ << pending_;
        pending_.clear();
    }
    void text(std::string_view key, Setting id) {
        if (auto v = take(id)) line(std::string(key), quotedBytes(*v));
    }
    void flag(std::string_view key, Setting id) {
        if (auto v = take(id)) {
            if (*v == "1") {
                line(std::string(key), "true");
            } else {
                keep(idOf(id), *v);
            }
        }
    }
    // A number whose absent id means 0 and whose default (left out) is the given text.
    void number(std::string_view key, Setting id, std::string_view defaultText) {
        const auto v = take(id);
        if (!v) {
            line(std::string(key), "0");
        } else if (*v != defaultText) {
            const int32_t n = launcher::parseConfigInt(*v);
            if (std::to_string(n) == *v && n > 0) {
                line(std::string(key), *v);
            } else {
                keep(idOf(id), *v);
            }
        }
    }
    // A number of [service.restart] or [service.watchdog]: left out when it is byDefault, kept
    // for the comments when the tool would not write it; its value when the tool would.
    std::optional<int64_t> numberKey(const NumberKey& key, int64_t byDefault) {
        const auto v = take(key.id);
        if (!v) return std::nullopt;
        const int32_t n = launcher::parseConfigInt(*v);
        if (std::to_string(n) != *v || n < key.low || n > key.high) {
            keep(idOf(key.id), *v);
            return std::nullopt;
        }
        if (n != byDefault) line(std::string(key.key), *v);
        return n;
    }
    // A flag that is on by default: "1" is left out, an absent id is false.
    void defaultOnFlag(std::string_view key, Setting id) {
        const auto v = take(id);
        if (!v) {
            line(std::string(key), "false");
        } else if (*v != "1") {
            keep(idOf(id), *v);
        }
    }
    void commandLine(std::string_view key, int32_t id) {
        if (auto v = take(id)) line(std::string(key), commandLineValue(*v));
    }
    static std::string commandLineValue(const std::string& text) {
        const auto tokens = splitCommandLineBytes(text);
        if (joinCommandLine(tokens) != text) return quotedBytes(text);
        std::vector<std::string> items;
        for (const auto& token : tokens) items.push_back(quotedBytes(token));
        return quotedList(items);
    }
    void list(std::string_view key, Setting id, char separator) {
        auto v = take(id);
        if (!v) return;
        std::vector<std::string> items;
        size_t start = 0;
        while (start <= v->size()) {
            const size_t end = std::min(v->find(separator, start), v->size());
            items.push_back(quotedBytes(v->substr(start, end - start)));
            start = end + 1;
        }
        line(std::string(key), quotedList(items));
    }

    void service();
    void recovery();
    void restart();
    void watchdog();
    void java();
    void pathEntries(std::string_view key, Setting id);
    void launcherTable();
    void version();
    void splash();
    void messages();
    void files();
    void leftovers();

    const BlockContent& content_;
    std::map<int32_t, std::string> strings_;
    std::string_view filesFolder_;
    std::string leftOutJar_;
    std::ostringstream out_;
    std::string pending_;
    std::string kind_;  // config 107
};

}  // namespace pack::printing
