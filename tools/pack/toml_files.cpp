// The [[files]] tables: files the launcher carries, extracts or keeps in the image, and how the
// tool reads them from disk.
#include "file_path.h"
#include "toml_printer.h"
#include "toml_reader.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace pack {

namespace reading {

namespace {

// Lower case as Windows compares file names in the launcher's Latin-1 bytes.
std::string folded(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) {
            c = static_cast<char>(u + 0x20);
        }
    }
    return out;
}

// The device name a part of a path stands for ("CON" for "con.txt"), or empty: Windows opens
// the device instead of a file of that name, whatever extension follows.
std::string deviceName(std::string_view name) {
    for (std::string_view part :
         {name.substr(0, name.find('\\')),
          name.substr(name.find('\\') == std::string_view::npos ? name.size()
                                                                : name.find('\\') + 1)}) {
        std::string base = folded(part.substr(0, part.find('.')));
        while (!base.empty() && base.back() == ' ') base.pop_back();
        const bool numbered = base.size() == 4 && base[3] >= '1' && base[3] <= '9' &&
                              (base.starts_with("com") || base.starts_with("lpt"));
        if (numbered || base == "con" || base == "prn" || base == "aux" || base == "nul" ||
            base == "conin$" || base == "conout$") {
            std::string upper = base;
            for (char& c : upper)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            return upper;
        }
    }
    return "";
}

}  // namespace

void Reader::files(const toml::array* list) {
    if (list == nullptr) return;
    struct Wanted {
        IncludedFile file;
        std::string key, path;
        const toml::node* source;
        bool extract;
    };
    std::vector<Wanted> wanted;
    std::map<std::string, std::pair<std::string, std::string>> names;  // folded: key, as written
    for (size_t i = 0; i < list->size(); ++i) {
        const toml::node& item = *list->get(i);
        const std::string k = "files[" + std::to_string(i) + "]";
        const auto* f = item.as_table();
        if (f == nullptr) {
            error(item, k,
                  "expected a table { name = ..., source = ... }, found " + typeName(item));
            continue;
        }
        onlyKeys(*f, k + ".", kFileKeys);
        const auto name = string(f, k + ".", "name");
        const auto source = string(f, k + ".", "source");
        const bool extract = flag(f, k + ".", "extract").value_or(true);
        if (f->get("name") == nullptr) error(item, k + ".name", "missing");
        if (f->get("source") == nullptr) error(item, k + ".source", "missing");
        if (!name || !source) continue;
        std::string bytes;
        if (!narrow(*f->get("name"), k + ".name", *name, kFileNameLimit, bytes)) continue;
        std::replace(bytes.begin(), bytes.end(), '/', '\\');
        const size_t slash = bytes.find('\\');
        const bool valid =
            !bytes.empty() && bytes.find_first_of(";:*?\"<>|") == std::string::npos &&
            std::none_of(bytes.begin(), bytes.end(),
                         [](char c) { return static_cast<unsigned char>(c) < 0x20; }) &&
            bytes.find('\\', slash == std::string::npos ? 0 : slash + 1) == std::string::npos &&
            slash != 0 && slash != bytes.size() - 1 && bytes != "." && bytes != ".." &&
            !bytes.starts_with(".\\") && !bytes.starts_with("..\\") && !bytes.ends_with("\\.") &&
            !bytes.ends_with("\\..");
        if (!valid) {
            error(*f->get("name"), k + ".name",
                  "\"" + *name +
                      "\" is no name the launcher can extract: a file name, or one folder, '/' "
                      "and a file name, without ; : * ? \" < > |");
            continue;
        }
        if (const std::string device = deviceName(bytes); !device.empty()) {
            error(*f->get("name"), k + ".name",
                  "\"" + *name + "\" is the Windows device name " + device +
                      ": Windows opens the device instead of a file; choose another name");
            continue;
        }
        const auto [seen, added] = names.emplace(folded(bytes), std::pair{k, *name});
        if (!added) {
            error(*f->get("name"), k + ".name",
                  seen->second.second == *name
                      ? "\"" + *name + "\" is included twice"
                      : "\"" + *name + "\" differs from " + seen->second.first + ".name \"" +
                            seen->second.second +
                            "\" only in case, and Windows takes them for one file");
            continue;
        }
        std::filesystem::path path = pathFromUtf8(*source);
        if (path.is_relative() && !baseDir_.empty()) path = pathFromUtf8(baseDir_) / path;
        wanted.push_back(
            {{bytes, {}}, k + ".source", utf8FromPath(path), f->get("source"), extract});
    }
    // The sizes first: files that together cannot fit in a launcher are refused before any of
    // them is read.
    uint64_t total = 0;
    for (const Wanted& w : wanted) {
        const auto size = size_(w.path);
        if (!size) continue;
        total += *size;
        if (total > kMaxImageSize) {
            error(*w.source, w.key,
                  "'" + w.path + "' has " + std::to_string(*size) +
                      " bytes, and with the files before it the embedded files come to " +
                      std::to_string(total) + "; a launcher holds at most " +
                      std::to_string(kMaxImageSize) + " bytes in all");
            return;
        }
    }
    std::vector<IncludedFile> extracted, kept;
    for (Wanted& w : wanted) {
        std::string problem;
        if (!load_(w.path, w.file.content, problem)) {
            error(*w.source, w.key, problem);
            continue;
        }
        (w.extract ? extracted : kept).push_back(std::move(w.file));
    }
    if (extracted.empty() && kept.empty()) return;
    std::string joined;
    for (const auto* group : {&extracted, &kept}) {
        for (const IncludedFile& file : *group) {
            joined += (joined.empty() ? "" : ";") + file.name;
        }
    }
    put(Setting::IncludedFileCount, std::to_string(extracted.size()));
    put(Setting::IncludedFileNames, joined);
    files_ = std::move(extracted);
    for (auto& file : kept) files_.push_back(std::move(file));
}

}  // namespace reading

std::optional<uint64_t> fileSizeOnDisk(const std::string& path) {
    const std::filesystem::path file = pathFromUtf8(path);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
    const uint64_t size = std::filesystem::file_size(file, ec);
    if (ec) return std::nullopt;
    return size;
}

bool loadFileFromDisk(const std::string& path, std::vector<uint8_t>& content, std::string& error,
                      uint64_t limit) {
    const std::filesystem::path file = pathFromUtf8(path);
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (ec || !std::filesystem::exists(status)) {
        error = "cannot read '" + path + "': no such file";
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = "cannot read '" + path + "': not a regular file";
        return false;
    }
    const uint64_t size = std::filesystem::file_size(file, ec);
    if (ec) {
        error = "cannot read '" + path + "': " + ec.message();
        return false;
    }
    if (size > limit) {
        error = "'" + path + "' is too large (" + std::to_string(size) + " bytes, at most " +
                std::to_string(limit) + ")";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    content.assign(static_cast<size_t>(size), 0);
    if (!in || !in.read(reinterpret_cast<char*>(content.data()),
                        static_cast<std::streamsize>(content.size()))) {
        error = "cannot read '" + path + "'";
        return false;
    }
    return true;
}

}  // namespace pack

namespace pack::printing {

void Printer::files() {
    const auto count = take(Setting::IncludedFileCount);
    const auto names = take(Setting::IncludedFileNames);
    pending_.clear();
    if (!count && !names) return;
    const int32_t extracted = count ? launcher::parseConfigInt(*count) : 0;
    for (size_t i = 0; i < content_.files.size(); ++i) {
        const IncludedFile& file = content_.files[i];
        std::string name = latin1ToUtf8(file.name);
        std::replace(name.begin(), name.end(), '\\', '/');
        out_ << "\n[[files]]\n";
        line("name", printing::quoted(name));
        line("source", printing::quoted(std::string(filesFolder_) + "/" + name));
        if (static_cast<int32_t>(i) >= extracted) line("extract", "false");
        out_ << "# " << file.content.size() << " bytes\n";
    }
}

}  // namespace pack::printing
