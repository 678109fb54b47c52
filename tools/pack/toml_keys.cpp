#include "toml_keys.h"

#include <algorithm>
#include <iterator>

#include "common/command_line.h"

namespace pack {

namespace {

using launcher::Message;

// Say what went wrong and what to do about it; "{0}" where the launcher passes a detail.
constexpr MessageText kMessageTexts[] = {
    {Message::ErrorCaption, "error_caption", "Service launcher error", false},
    {Message::RegistryJvmNotLoaded, "registry_jvm_not_loaded",
     "The Java runtime registered on this computer could not be loaded. Install a 64-bit Arm "
     "Java runtime and start the service again.",
     false},
    {Message::RequiredPathMissing, "required_path_missing",
     "A file or folder the application needs is missing: {0}. Install the application again.",
     true},
    {Message::RequiredVariableMissing, "required_variable_missing",
     "The environment variable {0} must be set for this application. Set it and start the "
     "service again.",
     true},
    {Message::SetupFailed, "setup_failed",
     "The launcher could not prepare its files (code {0}). Check that the folder for temporary "
     "files is writable and has free space.",
     true},
    {Message::LauncherClassNotFound, "launcher_class_not_found",
     "The application's launcher class was not found: its runtime jar is missing from the class "
     "path. Install the application again.",
     false},
    {Message::MainMethodNotFound, "main_method_not_found",
     "The application's launcher class has no main method. Install the application again.", false},
    {Message::NoTempFolder, "no_temp_folder",
     "No folder for temporary files could be used. Set TMP or TEMP to a writable folder.", false},
    {Message::NoJvmFound, "no_jvm_found",
     "No suitable Java runtime was found (code {0}). Install a 64-bit Arm Java runtime or set "
     "JAVA_HOME to one.",
     true},
    {Message::EnvironmentJvmNotLoaded, "environment_jvm_not_loaded",
     "The Java runtime named by {0} could not be loaded. Point {0} to a 64-bit Arm Java "
     "runtime.",
     true},
    {Message::DirectoryJvmNotLoaded, "directory_jvm_not_loaded",
     "The Java runtime in {0} could not be loaded. Replace it with a 64-bit Arm Java runtime.",
     true},
    {Message::UnpackNotStarted, "unpack_not_started",
     "The Java runtime shipped with the application could not be unpacked. Install the "
     "application again.",
     false},
    {Message::ServiceDescription, "service_description", "", false},
};
static_assert(std::size(kMessageTexts) == std::size(launcher::kMessages));

constexpr bool sameOrderAsSettings() {
    for (size_t i = 0; i < std::size(kMessageTexts); ++i) {
        if (kMessageTexts[i].id != launcher::kMessages[i].id ||
            kMessageTexts[i].key != launcher::kMessages[i].key) {
            return false;
        }
    }
    return true;
}
static_assert(sameOrderAsSettings());

struct SearchWord {
    std::string_view word;  // a whole entry, or a prefix ending in ':'
    char letter;
    std::string_view text;  // the text a whole-word entry stands for
};

constexpr SearchWord kSearchWords[] = {
    {"bundled:", 'B', {}},           {"directory:", 'A', {}}, {"env:", 'E', {}},
    {"JAVA_HOME", 'E', "JAVA_HOME"}, {"path", 'S', {}},       {"registry", 'Y', {}},
    {"installations", 'I', {}},
};

constexpr EntryKind kEntryKinds[] = {
    {"jar", 'A'}, {"directory", 'D'}, {"jars_in", 'S'}, {"env", 'E'}};

bool isVariableName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '_';
    });
}

}  // namespace

std::span<const MessageText> messageTexts() {
    return kMessageTexts;
}

const MessageText* messageText(std::string_view key) {
    for (const MessageText& m : kMessageTexts) {
        if (m.key == key) return &m;
    }
    return nullptr;
}

std::string searchEntryCode(std::string_view entry, std::string& error) {
    for (const SearchWord& w : kSearchWords) {
        const bool prefix = w.word.back() == ':';
        if (prefix ? !entry.starts_with(w.word) : entry != w.word) continue;
        if (!prefix) return std::string(1, w.letter) + std::string(w.text);
        const std::string_view text = entry.substr(w.word.size());
        if (text.empty()) {
            error = "\"" + std::string(entry) + "\" needs a " +
                    (w.letter == 'E' ? "variable name" : "folder") + " after the colon";
            return {};
        }
        if (text.find(';') != std::string_view::npos) {
            error = "\"" + std::string(entry) + "\" holds a ';', which separates the entries";
            return {};
        }
        if (w.letter == 'E' && !isVariableName(text)) {
            error = "\"" + std::string(text) +
                    "\" is no environment variable name (letters, digits and '_')";
            return {};
        }
        return std::string(1, w.letter) + std::string(text);
    }
    error = "\"" + std::string(entry) +
            "\" is no search kind; write \"bundled:DIR\", \"directory:DIR\", \"env:NAME\", "
            "\"JAVA_HOME\", \"path\", \"registry\" or \"installations\"";
    return {};
}

std::optional<std::string> searchEntryText(std::string_view code) {
    if (code.empty()) return std::nullopt;
    const char letter = code[0];
    const std::string_view text = code.substr(1);
    for (const SearchWord& w : kSearchWords) {
        if (w.letter != letter) continue;
        const bool prefix = w.word.back() == ':';
        if (prefix && !text.empty()) {
            if (letter == 'E' && text == "JAVA_HOME") return std::string("JAVA_HOME");
            return std::string(w.word) + std::string(text);
        }
        if (!prefix && text == w.text) return std::string(w.word);
    }
    return std::nullopt;
}

std::span<const EntryKind> entryKinds() {
    return kEntryKinds;
}

std::string joinCommandLine(const std::vector<std::string>& tokens) {
    std::string text;
    for (const std::string& token : tokens) {
        if (!text.empty()) text += ' ';
        if (!token.empty() && token.find_first_of(" \t\"") == std::string::npos) {
            text += token;
            continue;
        }
        text += '"';
        for (char c : token) text += c == '"' ? std::string("\"\"") : std::string(1, c);
        text += '"';
    }
    return text;
}

std::vector<std::string> splitCommandLineBytes(std::string_view text) {
    std::wstring wide;
    for (unsigned char c : text) wide.push_back(static_cast<wchar_t>(c));
    std::vector<std::wstring> parts;
    launcher::splitCommandLine(wide, parts);
    std::vector<std::string> tokens;
    for (const auto& part : parts) {
        std::string token;
        for (wchar_t c : part) token.push_back(static_cast<char>(c));
        tokens.push_back(std::move(token));
    }
    return tokens;
}

bool utf8ToLatin1(std::string_view text, std::string& out, std::string& badCharacter) {
    out.clear();
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        char32_t c = b;
        size_t n = 1;
        if (b >= 0xF0) {
            n = 4;
            c = b & 0x07;
        } else if (b >= 0xE0) {
            n = 3;
            c = b & 0x0F;
        } else if (b >= 0xC0) {
            n = 2;
            c = b & 0x1F;
        }
        for (size_t k = 1; k < n && i + k < text.size(); ++k) {
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        if (c > 0xFF || i + n > text.size()) {
            badCharacter = codePointName(c);
            return false;
        }
        out.push_back(static_cast<char>(c));
        i += n;
    }
    return true;
}

std::string latin1ToUtf8(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

bool utf16ToUtf8(std::u16string_view text, std::string& out) {
    out.clear();
    bool exact = true;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
            exact = false;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return exact;
}

namespace {

struct SizeUnit {
    std::string_view name;
    int64_t bytes;
};
constexpr SizeUnit kSizeUnits[] = {
    {"GiB", int64_t{1} << 30}, {"MiB", int64_t{1} << 20}, {"KiB", int64_t{1} << 10}, {"B", 1}};

}  // namespace

int64_t byteSize(std::string_view text) {
    size_t digits = 0;
    int64_t number = 0;
    // Nine digits of GiB stay far inside 64 bits.
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        if (digits == 9) return -1;
        number = number * 10 + (text[digits] - '0');
        ++digits;
    }
    if (digits == 0) return -1;
    std::string_view unit = text.substr(digits);
    if (unit.empty()) return number;
    if (unit.front() == ' ') unit.remove_prefix(1);
    for (const SizeUnit& u : kSizeUnits) {
        if (unit == u.name) return number * u.bytes;
    }
    return -1;
}

std::string byteSizeText(int64_t bytes) {
    for (const SizeUnit& u : kSizeUnits) {
        if (bytes > 0 && bytes % u.bytes == 0) {
            return std::to_string(bytes / u.bytes) + " " + std::string(u.name);
        }
    }
    return std::to_string(bytes) + " B";
}

std::string codePointName(char32_t c) {
    const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (int shift = c > 0xFFFF ? 20 : 12; shift >= 0; shift -= 4) {
        hex.push_back(digits[(c >> shift) & 0xF]);
    }
    return "U+" + hex;
}

}  // namespace pack
