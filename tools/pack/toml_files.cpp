// The [[files]] tables: files the launcher carries, extracts or keeps in the image, and how the
// tool reads them from disk.
#include "toml_reader.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

namespace pack {

namespace reading {

void Reader::files(const toml::array* list) {
    if (list == nullptr) return;
    std::vector<IncludedFile> extracted, kept;
    std::set<std::string> names;
    for (size_t i = 0; i < list->size(); ++i) {
        const toml::node& item = *list->get(i);
        const std::string k = "files[" + std::to_string(i) + "]";
        const auto* f = item.as_table();
        if (f == nullptr) {
            error(item, k,
                  "expected a table { name = ..., source = ... }, found " + typeName(item));
            continue;
        }
        onlyKeys(*f, k + ".", {"name", "source", "extract"});
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
        if (!names.insert(bytes).second) {
            error(*f->get("name"), k + ".name", "\"" + *name + "\" is included twice");
            continue;
        }
        std::filesystem::path path(*source);
        if (path.is_relative() && !baseDir_.empty()) path = std::filesystem::path(baseDir_) / path;
        IncludedFile file;
        file.name = bytes;
        std::string problem;
        if (!load_(path.string(), file.content, problem)) {
            error(*f->get("source"), k + ".source", problem);
            continue;
        }
        (extract ? extracted : kept).push_back(std::move(file));
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

bool loadFileFromDisk(const std::string& path, std::vector<uint8_t>& content, std::string& error,
                      uint64_t limit) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        error = "cannot read '" + path + "': no such file";
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = "cannot read '" + path + "': not a regular file";
        return false;
    }
    const uint64_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        error = "cannot read '" + path + "': " + ec.message();
        return false;
    }
    if (size > limit) {
        error = "'" + path + "' is too large (" + std::to_string(size) + " bytes, at most " +
                std::to_string(limit) + ")";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    content.assign(static_cast<size_t>(size), 0);
    if (!in || !in.read(reinterpret_cast<char*>(content.data()),
                        static_cast<std::streamsize>(content.size()))) {
        error = "cannot read '" + path + "'";
        return false;
    }
    return true;
}

}  // namespace pack
