// The [launcher] table and the [splash] table: how the launcher installs, shows errors, finds its
// folders, guards its single instance, writes the runtime's output, and what it passes a splash.
#include "toml_printer.h"
#include "toml_reader.h"

namespace pack::reading {

void Reader::launcherTable(const toml::table* t) {
    const std::string p = "launcher.";
    if (t != nullptr) {
        onlyKeys(*t, p, kLauncherKeys);
    }
    const auto family = choice(t, p, "family", {"lumex", "parcelkit"});
    put(Setting::ProductMarker, family.value_or("lumex") == "parcelkit" ? "p" : "l");
    errorsNode_ = node(t, "errors");
    errorsShown_ = choice(t, p, "errors", {"console", "message-box"});
    windowedNode_ = node(t, "windowed");
    windowed_ = flag(t, p, "windowed").value_or(false);
    textSetting(t, p, "working_directory", Setting::WorkingDirectory);
    textSetting(t, p, "application_directory", Setting::ApplicationDirectory);
    listSetting(t, p, "native_library_directories", Setting::NativeLibraryDirectories, ';', ";",
                kTextLimit);
    flagSetting(t, p, "reduce_path", Setting::ReducePath);
    flagSetting(t, p, "add_dll_directories", Setting::AddDllDirectories);
    const bool single = flag(t, p, "single_instance").value_or(false);
    if (single) put(Setting::SingleInstance, "1");
    const auto scope = choice(t, p, "instance_scope", {"user", "session", "machine"});
    if (scope == "machine") put(Setting::SingleInstanceMachineWide, "1");
    if (scope == "session") put(Setting::SingleInstanceSession, "1");
    if (flag(t, p, "raise_other_instance").value_or(false)) {
        if (single) {
            put(Setting::RaiseOtherInstance, "1");
        } else {
            error(*t->get("raise_other_instance"), p + "raise_other_instance",
                  "only works with single_instance = true");
        }
    }
    flagSetting(t, p, "temp_prefer_long_paths", Setting::PreferLongTempPath);
    flagSetting(t, p, "temp_local_app_data_first", Setting::LocalAppDataTempFirst);
    for (const OutputFileIds& file : kOutputFiles) {
        const size_t before = strings_.size();
        textSetting(t, p, file.key, file.path);
        if (strings_.size() != before) put(file.pass, "1");
    }
    flagSetting(t, p, "append_output", Setting::LauncherFlag);
    outputRotation(t);
    icon(t);
}

// One value (config 107) says how to install, how errors are shown and whether the application
// is a windowed one; the keys that feed it must agree.
void Reader::launcherKind() {
    std::string kind;
    if (start_ == "auto" || start_ == "delayed") {
        if (errorsShown_ == "message-box") {
            error(*errorsNode_, "launcher.errors",
                  "\"message-box\" cannot go with [service] start = \"" + start_ +
                      "\": a launcher that installs for automatic start shows its errors on the "
                      "console");
        }
        if (windowed_) {
            error(*windowedNode_, "launcher.windowed",
                  "a windowed application cannot be installed with [service] start = \"" + start_ +
                      "\"");
        }
        kind = "4";
        if (start_ == "delayed") put(Setting::DelayedAutoStart, "1");
    } else if (windowed_) {
        if (errorsShown_ == "console") {
            error(*errorsNode_, "launcher.errors",
                  "\"console\" cannot go with windowed = true: a windowed application shows its "
                  "errors in message boxes");
        }
        kind = "1";
    } else if (errorsShown_ == "message-box") {
        kind = "5";
    }
    if (!kind.empty()) put(Setting::LauncherKind, kind);
}

void Reader::splash(const toml::table* t) {
    if (t == nullptr) return;
    const std::string p = "splash.";
    onlyKeys(*t, p, kSplashKeys);
    put(Setting::SplashSettings, "1");
    flagSetting(t, p, "configured", Setting::SplashConfigured);
    const toml::array* groups = list(t, p, "groups");
    if (groups == nullptr) return;
    if (groups->size() > std::size(kSplashGroups)) {
        error(*t->get("groups"), p + "groups", "the launcher passes at most 4 groups");
        return;
    }
    for (size_t i = 0; i < groups->size(); ++i) {
        const toml::node& item = *groups->get(i);
        const std::string k = p + "groups[" + std::to_string(i) + "]";
        const auto* g = item.as_table();
        if (g == nullptr) {
            error(item, k, "expected a table { text = ..., first = ..., second = ... }");
            continue;
        }
        onlyKeys(*g, k + ".", {"text", "first", "second"});
        textSetting(g, k + ".", "text", kSplashGroups[i].text, kVersionLimit);
        const std::pair<std::string_view, Setting> numbers[] = {
            {"first", kSplashGroups[i].first}, {"second", kSplashGroups[i].second}};
        for (const auto& [key, id] : numbers) {
            const toml::node* n = g->get(key);
            if (n == nullptr) continue;
            const auto* v = n->as_integer();
            if (v == nullptr || v->get() < INT32_MIN || v->get() > INT32_MAX) {
                error(*n, k + "." + std::string(key),
                      v == nullptr ? "expected an integer, found " + typeName(*n)
                                   : std::string("lies outside the 32-bit range"));
                continue;
            }
            if (v->get() != 0) put(id, std::to_string(v->get()));
        }
    }
}

// output_rotate_size ("10 MiB", "512 KiB", "1 GiB" or a number of bytes) and output_keep.
void Reader::outputRotation(const toml::table* t) {
    const std::string p = "launcher.";
    const toml::node* size = node(t, "output_rotate_size");
    const toml::node* keepNode = node(t, "output_keep");
    const int64_t keep =
        integer(t, p, "output_keep", 1, kMaxOutputKeep).value_or(kDefaultOutputKeep);
    if (size == nullptr) {
        if (keepNode != nullptr) {
            error(*keepNode, p + "output_keep", "only works with output_rotate_size");
        }
        return;
    }
    int64_t bytes = -1;
    if (const auto* number = size->as_integer()) {
        bytes = number->get();
    } else if (const auto* text = size->as_string()) {
        bytes = byteSize(text->get());
    }
    if (bytes < kMinRotateSize || bytes > kMaxRotateSize) {
        error(*size, p + "output_rotate_size",
              "write a size from 1 KiB to 2047 MiB, such as \"10 MiB\", \"512 KiB\" or a number of "
              "bytes");
        return;
    }
    if (strings_.count(idOf(Setting::FirstPath)) == 0 &&
        strings_.count(idOf(Setting::SecondPath)) == 0) {
        error(*size, p + "output_rotate_size", "only works with stdout_file or stderr_file");
        return;
    }
    put(Setting::OutputRotateSize, std::to_string(bytes));
    put(Setting::OutputKeep, std::to_string(keep));
}

}  // namespace pack::reading

namespace pack::printing {

void Printer::launcherTable() {
    header("launcher");
    if (auto marker = take(Setting::ProductMarker)) {
        if (*marker == "p") {
            line("family", "\"parcelkit\"");
        } else if (*marker != "l") {
            keep(idOf(Setting::ProductMarker), *marker);
        }
    }
    if (kind_ == "1") {
        line("windowed", "true");
    } else if (kind_ == "5") {
        line("errors", "\"message-box\"");
    } else if (!kind_.empty()) {
        keep(idOf(Setting::LauncherKind), kind_);
    }
    text("working_directory", Setting::WorkingDirectory);
    text("application_directory", Setting::ApplicationDirectory);
    list("native_library_directories", Setting::NativeLibraryDirectories, ';');
    flag("reduce_path", Setting::ReducePath);
    flag("add_dll_directories", Setting::AddDllDirectories);
    flag("single_instance", Setting::SingleInstance);
    const auto machine = take(Setting::SingleInstanceMachineWide);
    const auto session = take(Setting::SingleInstanceSession);
    if (machine == "1" && !session) {
        line("instance_scope", "\"machine\"");
    } else if (session == "1" && !machine) {
        line("instance_scope", "\"session\"");
    } else {
        if (machine) keep(idOf(Setting::SingleInstanceMachineWide), *machine);
        if (session) keep(idOf(Setting::SingleInstanceSession), *session);
    }
    flag("raise_other_instance", Setting::RaiseOtherInstance);
    flag("temp_prefer_long_paths", Setting::PreferLongTempPath);
    flag("temp_local_app_data_first", Setting::LocalAppDataTempFirst);
    for (const OutputFileIds& file : kOutputFiles) {
        const auto pass = take(file.pass);
        const auto path = take(file.path);
        if (pass == "1" && path) {
            line(std::string(file.key), quotedBytes(*path));
        } else {
            if (pass) keep(idOf(file.pass), *pass);
            if (path) keep(idOf(file.path), *path);
        }
    }
    flag("append_output", Setting::LauncherFlag);
    if (auto size = take(Setting::OutputRotateSize)) {
        const int32_t n = launcher::parseConfigInt(*size);
        if (std::to_string(n) == *size && n > 0) {
            line("output_rotate_size", printing::quoted(byteSizeText(n)));
        } else {
            keep(idOf(Setting::OutputRotateSize), *size);
        }
        if (auto count = take(Setting::OutputKeep); count && *count != "5") {
            const int32_t k = launcher::parseConfigInt(*count);
            if (std::to_string(k) == *count && k > 0) {
                line("output_keep", *count);
            } else {
                keep(idOf(Setting::OutputKeep), *count);
            }
        }
    }
    if (!content_.resources.icon.empty()) line("icon", printing::quoted(kIconFile));
}

void Printer::splash() {
    auto enabled = take(Setting::SplashSettings);
    if (!enabled) return;
    if (*enabled != "1") {
        keep(idOf(Setting::SplashSettings), *enabled);
        return;
    }
    header("splash", true);
    flag("configured", Setting::SplashConfigured);
    size_t used = 0;
    for (size_t i = 0; i < std::size(kSplashGroups); ++i) {
        for (Setting id :
             {kSplashGroups[i].text, kSplashGroups[i].first, kSplashGroups[i].second}) {
            if (strings_.count(idOf(id)) != 0) used = i + 1;
        }
    }
    std::vector<std::string> groups;
    for (size_t i = 0; i < used; ++i) {
        std::string group;
        if (auto t = take(kSplashGroups[i].text)) group += "text = " + quotedBytes(*t);
        const std::pair<std::string_view, Setting> numbers[] = {
            {"first", kSplashGroups[i].first}, {"second", kSplashGroups[i].second}};
        for (const auto& [key, id] : numbers) {
            auto v = take(id);
            if (!v) continue;
            const int32_t n = launcher::parseConfigInt(*v);
            if (std::to_string(n) == *v && n != 0) {
                group += (group.empty() ? "" : ", ") + std::string(key) + " = " + *v;
            } else {
                keep(idOf(id), *v);
            }
        }
        groups.push_back("{ " + group + (group.empty() ? "}" : " }"));
    }
    if (!groups.empty()) line("groups", quotedList(groups));
}

}  // namespace pack::printing
