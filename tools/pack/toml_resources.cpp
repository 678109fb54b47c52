// What goes into the launcher's resources rather than its configuration block: [launcher] icon
// and the [version] table, which Windows shows in the file's properties.
#include <filesystem>
#include <iterator>

#include "file_path.h"
#include "toml_printer.h"
#include "toml_reader.h"
#include "value_text.h"

namespace pack::reading {

namespace {

constexpr size_t kVersionTextLimit = 256;  // UTF-16 units of one version text

// The keys [version] knows are the keys it reads.
constexpr bool versionKeysAgree() {
    if (std::size(kVersionTableKeys) != std::size(kVersionKeys)) return false;
    for (size_t i = 0; i < std::size(kVersionKeys); ++i) {
        if (kVersionTableKeys[i] != kVersionKeys[i].key) return false;
    }
    return true;
}
static_assert(versionKeysAgree());

}  // namespace

void Reader::icon(const toml::table* t) {
    const auto source = string(t, "launcher.", "icon");
    if (!source) return;
    const toml::node& at = *t->get("icon");
    std::filesystem::path path = pathFromUtf8(*source);
    if (path.is_relative() && !baseDir_.empty()) path = pathFromUtf8(baseDir_) / path;
    std::vector<uint8_t> bytes;
    std::string problem;
    if (const auto size = size_(utf8FromPath(path)); size && *size > kMaxIconFileSize) {
        error(at, "launcher.icon",
              "is " + std::to_string(*size) + " bytes long; an icon has at most " +
                  std::to_string(kMaxIconFileSize));
        return;
    }
    if (!load_(utf8FromPath(path), bytes, problem)) {
        error(at, "launcher.icon", problem);
        return;
    }
    if (bytes.size() > kMaxIconFileSize) {
        error(at, "launcher.icon",
              "is " + std::to_string(bytes.size()) + " bytes long; an icon has at most " +
                  std::to_string(kMaxIconFileSize));
        return;
    }
    if (!readIcoFile(bytes, resources_.icon, problem)) {
        error(at, "launcher.icon", "\"" + *source + "\" " + problem);
    }
}

void Reader::version(const toml::table* t) {
    if (t == nullptr) return;
    const std::string p = "version.";
    onlyKeys(*t, p, kVersionTableKeys);
    for (const VersionKey& key : kVersionKeys) {
        const auto text = string(t, p, key.key);
        if (!text) continue;
        const toml::node& at = *t->get(key.key);
        const std::string k = p + std::string(key.key);
        std::u16string wide;
        size_t bad = 0;
        uint64_t number = 0;
        if (!decodeUtf8(*text, wide, bad)) {
            error(at, k, "is no valid UTF-8 text");
        } else if (wide.empty()) {
            error(at, k, "is empty; leave the key out instead");
        } else if (wide.find(u'\0') != std::u16string::npos) {
            error(at, k, "holds a NUL character, which would end the text early");
        } else if (wide.size() > kVersionTextLimit) {
            error(at, k,
                  "is " + std::to_string(wide.size()) + " characters long; write at most " +
                      std::to_string(kVersionTextLimit));
        } else if (key.isVersion && !parseFourPartVersion(*text, number)) {
            error(at, k,
                  "\"" + *text +
                      "\" is no file version; write one to four numbers from 0 to 65535 "
                      "separated by '.', such as \"1.4.2\"");
        } else {
            resources_.version.push_back({std::string(key.name), wide});
        }
    }
}

}  // namespace pack::reading

namespace pack::printing {

void Printer::version() {
    header("version");
    for (const VersionText& text : content_.resources.version) {
        const auto key = std::find_if(std::begin(kVersionKeys), std::end(kVersionKeys),
                                      [&](const VersionKey& k) { return k.name == text.name; });
        std::string utf8;
        utf16ToUtf8(text.value, utf8);
        if (key == std::end(kVersionKeys)) {
            flush();
            out_ << "# version text " << text.name << " = " << printing::quoted(utf8) << "\n";
        } else {
            line(std::string(key->key), printing::quoted(utf8));
        }
    }
}

}  // namespace pack::printing
