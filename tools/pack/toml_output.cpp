// The way back: a configuration block's content printed as the launcher description that
// builds it again, and the check that it does.
#include <algorithm>
#include <set>
#include <sstream>

#include "common/text_list.h"
#include "config/config.h"
#include "config/settings.h"
#include "launcher_toml.h"
#include "runtime_jar.h"
#include "toml_keys.h"
#include "toml_printer.h"

namespace pack {

namespace printing {

std::string quoted(std::string_view utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20 || u == 0x7F) {
            const char digits[] = "0123456789ABCDEF";
            out += "\\u00";
            out += digits[u >> 4];
            out += digits[u & 0xF];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string quotedBytes(std::string_view bytes) {
    return quoted(latin1ToUtf8(bytes));
}

std::string quotedList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + items[i];
    return out + "]";
}

std::string Printer::run() {
    if (content_.files.empty() && content_.resources.icon.empty()) {
        out_ << "# Launcher description printed by `pack inspect`; `pack build` makes the same "
                "block from it.\n";
    } else {
        out_ << "# Launcher description printed by `pack inspect`. The files it names are "
                "embedded in the launcher:\n# `pack extract` writes them beside it, and `pack "
                "build` then makes the same block from it.\n";
    }
    if (!leftOutJar_.empty()) {
        out_ << "# " << leftOutJar_
             << " is left out: `pack build` embeds the same one, which this tool carries.\n";
    }
    kind_ = take(Setting::LauncherKind).value_or("");
    service();
    java();
    launcherTable();
    version();
    splash();
    messages();
    files();
    leftovers();
    return out_.str();
}

void Printer::leftovers() {
    pending_.clear();
    if (strings_.empty()) return;
    out_ << "\n# Config strings this description cannot express (`pack build` leaves them out):\n";
    for (const auto& [id, value] : strings_) {
        out_ << "# " << id << " = " << quotedBytes(value) << "\n";
    }
}

}  // namespace printing

using launcher::idOf;
using launcher::Setting;
using printing::Printer;
using printing::quotedBytes;

bool readBlockContent(launcher::ByteSource& source, uint64_t start, BlockContent& content,
                      std::string& error) {
    launcher::BlockReader reader(source);
    reader.seek(start);
    content = {};
    const auto failed = [&](const std::string& what) {
        const std::wstring text = launcher::readFailureText(reader.failure());
        error = std::string(text.begin(), text.end());
        if (error.empty()) error = "cannot read";
        error += " (" + what + ")";
        return false;
    };
    int32_t magic = 0, a = 0, b = 0, n = 0;
    int64_t c = 0;
    if (!reader.readInt32(magic)) return failed("magic");
    if (static_cast<uint32_t>(magic) != launcher::kConfigMagic) {
        reader.failWith(launcher::ReadFailure::Magic);
        return failed("magic");
    }
    if (!reader.readInt32(a) || !reader.readInt32(b) || !reader.readInt64(c)) {
        return failed("reserved values");
    }
    if (!reader.readInt32(n)) return failed("number of config strings");
    for (int32_t i = 0; i < n; ++i) {
        int32_t id = 0;
        std::string value;
        if (!reader.readInt32(id) || !reader.readByteString(value)) return failed("config string");
        content.strings[id] = std::move(value);
    }
    const auto units = [](const std::wstring& w) {
        std::u16string out;
        for (wchar_t ch : w) out.push_back(static_cast<char16_t>(ch));
        return out;
    };
    if (!reader.readInt32(n)) return failed("number of wide strings");
    for (int32_t i = 0; i < n; ++i) {
        int32_t id = 0;
        std::wstring value;
        if (!reader.readInt32(id) || !reader.readWideString(value)) return failed("wide string");
        content.wides[id] = units(value);
    }
    if (!reader.readInt32(n)) return failed("number of language sections");
    for (int32_t i = 0; i < n; ++i) {
        LanguageSection section;
        int32_t entries = 0;
        if (!reader.readByteString(section.key) || !reader.readInt32(entries)) {
            return failed("language section");
        }
        for (int32_t j = 0; j < entries; ++j) {
            int32_t id = 0;
            std::wstring value;
            if (!reader.readInt32(id) || !reader.readWideString(value)) {
                return failed("language section entry");
            }
            section.entries.emplace_back(id, units(value));
        }
        content.sections.push_back(std::move(section));
    }
    const auto countText = content.strings.find(idOf(Setting::IncludedFileCount));
    const auto namesText = content.strings.find(idOf(Setting::IncludedFileNames));
    const int64_t extracted =
        countText == content.strings.end() ? 0 : launcher::parseConfigInt(countText->second);
    const std::vector<std::string> names = namesText == content.strings.end()
                                               ? std::vector<std::string>()
                                               : launcher::includedFileNames(namesText->second);
    for (size_t i = 0; i < names.size(); ++i) {
        const bool extract = static_cast<int64_t>(i) < extracted;
        const uint64_t at = reader.position();
        const uint64_t left = at < source.size() ? source.size() - at : 0;
        if (!extract && left < 8) break;  // the launcher never reads these
        int64_t size = 0;
        if (!reader.readInt64(size)) return failed("size of included file " + names[i]);
        const uint64_t available = left - 8;
        const uint64_t wanted = size > 0 ? static_cast<uint64_t>(size) : 0;
        if (wanted > available) {
            if (!extract) break;
            error = "included file " + names[i] + " needs " + std::to_string(size) +
                    " bytes but only " + std::to_string(available) + " are left";
            return false;
        }
        IncludedFile file;
        file.name = names[i];
        file.content.resize(static_cast<size_t>(wanted));
        uint32_t code = 0;
        if (reader.readBytes(file.content.data(), file.content.size(), code) !=
            file.content.size()) {
            error = "cannot read included file " + names[i];
            return false;
        }
        for (uint8_t& byte : file.content) byte ^= launcher::kIncludedFileXor;
        content.files.push_back(std::move(file));
    }
    return true;
}

bool readLauncherContent(launcher::ByteSource& image, BlockContent& content, std::string& error) {
    launcher::BlockReader reader(image);
    if (!launcher::seekConfigBlock(reader)) {
        const std::wstring text = launcher::readFailureText(reader.failure());
        error = std::string(text.begin(), text.end()) +
                " (locating the block through the PE "
                "headers)";
        return false;
    }
    if (reader.position() >= image.size()) {
        error = "no configuration block was appended to this image";
        return false;
    }
    if (!readBlockContent(image, reader.position(), content, error)) return false;
    if (!readImageResources(image, content.resources, error)) {
        error = "resources: " + error;
        return false;
    }
    return true;
}

BlockContent contentOf(const BlockWriter& writer) {
    launcher::MemorySource source(writer.build());
    BlockContent content;
    std::string ignored;
    readBlockContent(source, 0, content, ignored);
    return content;
}

std::string printToml(const BlockContent& content, std::string_view filesFolder,
                      const RuntimeJars& jars) {
    BlockContent shown = content;
    const bool leftOut = leaveOutCarriedRuntimeJar(shown, jars);
    return Printer(shown, filesFolder, leftOut ? runtimeJarName(content) : "").run();
}

std::vector<std::string> contentDifferences(const BlockContent& expected,
                                            const BlockContent& actual) {
    std::vector<std::string> lines;
    const auto show = [](const std::optional<std::string>& v) {
        return v ? quotedBytes(*v) : std::string("(none)");
    };
    std::set<int32_t> ids;
    for (const auto* m : {&expected.strings, &actual.strings}) {
        for (const auto& [id, v] : *m) ids.insert(id);
    }
    for (int32_t id : ids) {
        const auto e = expected.strings.find(id), a = actual.strings.find(id);
        const std::optional<std::string> ev =
            e == expected.strings.end() ? std::nullopt : std::optional(e->second);
        const std::optional<std::string> av =
            a == actual.strings.end() ? std::nullopt : std::optional(a->second);
        if (ev != av) {
            lines.push_back("config string " + std::to_string(id) + ": " + show(ev) + " becomes " +
                            show(av));
        }
    }
    if (expected.wides != actual.wides) lines.push_back("the default-language messages differ");
    if (expected.resources.icon != actual.resources.icon) lines.push_back("the icon differs");
    if (expected.resources.version != actual.resources.version) {
        lines.push_back("the version information differs");
    }
    if (expected.sections.size() != actual.sections.size()) {
        lines.push_back("the number of language sections differs");
    } else {
        for (size_t i = 0; i < expected.sections.size(); ++i) {
            if (expected.sections[i].key != actual.sections[i].key ||
                expected.sections[i].entries != actual.sections[i].entries) {
                lines.push_back("language section " + expected.sections[i].key + " differs");
            }
        }
    }
    if (expected.files.size() != actual.files.size()) {
        lines.push_back("the number of included files differs");
    } else {
        for (size_t i = 0; i < expected.files.size(); ++i) {
            if (expected.files[i].name != actual.files[i].name ||
                expected.files[i].content != actual.files[i].content) {
                lines.push_back("included file " + expected.files[i].name + " differs");
            }
        }
    }
    return lines;
}

std::vector<std::string> roundTripLosses(const BlockContent& content, const RuntimeJars& jars) {
    const std::string text = printToml(content, "files", jars);
    // The printed sources name the files under "files/"; serve them from the content.
    const FileLoader fromContent = [&](const std::string& path, std::vector<uint8_t>& data,
                                       std::string& error) {
        if (path == kIconFile && !content.resources.icon.empty()) {
            data = icoFileBytes(content.resources.icon);
            return true;
        }
        for (const IncludedFile& file : content.files) {
            std::string name = latin1ToUtf8(file.name);
            std::replace(name.begin(), name.end(), '\\', '/');
            if (path == "files/" + name) {
                data = file.content;
                return true;
            }
        }
        error = "no such included file";
        return false;
    };
    const TomlBuild rebuilt = buildFromToml(text, "inspect", "", fromContent,
                                            [](const std::string&) { return std::nullopt; });
    if (!rebuilt.writer) {
        std::vector<std::string> lines;
        for (const auto& d : rebuilt.errors) lines.push_back(formatDiagnostic("printed", d));
        return lines;
    }
    // As `pack build` does: the carried runtime jar when the description names none.
    BlockWriter writer = *rebuilt.writer;
    if (rebuilt.runtimeJar && !namesRuntimeJar(writer)) {
        const std::string name = runtimeJarName(writer);
        if (const auto jar = carriedRuntimeJar(jars, name); !jar.empty()) {
            writer = withRuntimeJar(writer, name, jar);
        }
    }
    BlockContent again = contentOf(writer);
    again.resources = rebuilt.resources;
    return contentDifferences(content, again);
}

}  // namespace pack
