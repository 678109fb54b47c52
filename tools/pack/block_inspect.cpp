#include "block_inspect.h"

#include <map>

#include "config/config.h"
#include "config/settings.h"
#include "value_text.h"

namespace pack {

namespace {

std::string hex32(uint32_t v) {
    const char digits[] = "0123456789ABCDEF";
    std::string out = "0x";
    for (int i = 7; i >= 0; --i) out.push_back(digits[v >> (4 * i) & 0xF]);
    return out;
}

std::string offsetText(uint64_t offset) {
    const char digits[] = "0123456789abcdef";
    std::string hex;
    uint64_t v = offset;
    do {
        hex.insert(hex.begin(), digits[v & 0xF]);
        v >>= 4;
    } while (v != 0);
    return std::to_string(offset) + " (0x" + hex + ")";
}

std::string narrowText(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

// The reader keeps UTF-16 code units in its wide strings, one per element.
std::u16string codeUnits(const std::wstring& text) {
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t c : text) out.push_back(static_cast<char16_t>(c));
    return out;
}

class Inspector {
public:
    Inspector(launcher::ByteSource& image, std::ostream& out)
        : image_(image), reader_(image), out_(out) {}

    int run();

private:
    bool header();
    bool configStrings();
    bool wideStrings();
    bool sections();
    bool includedFiles();
    void trailingBytes();

    // Ends the listing with the reader's failure; `field` says what was being read at `at`.
    bool failed(uint64_t at, const std::string& field) {
        return failedWith(failureText() + " at offset " + offsetText(at) + " (" + field + ")");
    }
    std::string failureText() const {
        const std::string text = narrowText(launcher::readFailureText(reader_.failure()));
        return text.empty() ? "cannot read" : text;
    }
    bool failedWith(const std::string& text) {
        out_ << "error: " << text << "\n";
        return false;
    }
    // A count of entries read at the current position; false after reporting a failure.
    bool count(const std::string& what, int32_t& n);

    launcher::ByteSource& image_;
    launcher::BlockReader reader_;
    std::ostream& out_;
    std::map<int32_t, std::string> strings_;  // the later of a repeated id, as the launcher
};

int Inspector::run() {
    out_ << "# image of " << image_.size() << " bytes\n";
    if (!launcher::seekConfigBlock(reader_)) {
        failedWith(failureText() + " (locating the block through the PE headers)");
        return 1;
    }
    const uint64_t start = reader_.position();
    out_ << "# configuration block at offset " << offsetText(start) << "\n";
    if (start == image_.size()) {
        out_ << "# the image ends at its last section: no configuration block was appended\n";
    } else if (start > image_.size()) {
        out_ << "# that offset lies behind the end of the image\n";
    }
    if (!header() || !configStrings() || !wideStrings() || !sections() || !includedFiles()) {
        return 1;
    }
    trailingBytes();
    return 0;
}

bool Inspector::header() {
    const uint64_t at = reader_.position();
    int32_t magic = 0, a = 0, b = 0;
    int64_t c = 0;
    if (!reader_.readInt32(magic)) return failed(at, "magic");
    if (static_cast<uint32_t>(magic) != launcher::kConfigMagic) {
        out_ << "# magic " << hex32(static_cast<uint32_t>(magic)) << ", expected "
             << hex32(launcher::kConfigMagic) << "\n";
        reader_.failWith(launcher::ReadFailure::Magic);
        return failed(at, "magic");
    }
    out_ << "# magic " << hex32(launcher::kConfigMagic) << " (correct)\n";
    const uint64_t reservedAt = reader_.position();
    if (!reader_.readInt32(a) || !reader_.readInt32(b) || !reader_.readInt64(c)) {
        return failed(reservedAt, "reserved values");
    }
    out_ << "reserved " << a << " " << b << " " << c << "\n";
    return true;
}

bool Inspector::count(const std::string& what, int32_t& n) {
    const uint64_t at = reader_.position();
    if (!reader_.readInt32(n)) return failed(at, "number of " + what);
    if (n < 0) {
        out_ << "# number of " << what << ": " << n << ", read as none\n";
    } else {
        out_ << "# " << n << " " << what << "\n";
    }
    return true;
}

bool Inspector::configStrings() {
    int32_t n = 0;
    if (!count("config strings", n)) return false;
    for (int32_t i = 0; i < n; ++i) {
        const uint64_t at = reader_.position();
        int32_t id = 0;
        std::string value;
        const std::string field =
            "config string " + std::to_string(i + 1) + " of " + std::to_string(n);
        if (!reader_.readInt32(id)) return failed(at, field);
        if (!reader_.readByteString(value)) return failed(at, field + ", id " + std::to_string(id));
        if (const auto info = launcher::settingInfo(id)) out_ << "# " << info->key << "\n";
        out_ << "string " << id << " " << encodeNarrowField(value) << "\n";
        strings_[id] = std::move(value);
    }
    return true;
}

bool Inspector::wideStrings() {
    int32_t n = 0;
    if (!count("wide strings", n)) return false;
    for (int32_t i = 0; i < n; ++i) {
        const uint64_t at = reader_.position();
        int32_t id = 0;
        std::wstring value;
        const std::string field =
            "wide string " + std::to_string(i + 1) + " of " + std::to_string(n);
        if (!reader_.readInt32(id)) return failed(at, field);
        if (!reader_.readWideString(value)) return failed(at, field + ", id " + std::to_string(id));
        if (const auto info = launcher::messageInfo(id)) out_ << "# " << info->key << "\n";
        out_ << "wide " << id << " " << encodeWideField(codeUnits(value)) << "\n";
    }
    return true;
}

bool Inspector::sections() {
    int32_t n = 0;
    if (!count("language sections", n)) return false;
    for (int32_t i = 0; i < n; ++i) {
        const std::string field =
            "language section " + std::to_string(i + 1) + " of " + std::to_string(n);
        uint64_t at = reader_.position();
        std::string key;
        int32_t entries = 0;
        if (!reader_.readByteString(key)) return failed(at, field + ", key");
        at = reader_.position();
        if (!reader_.readInt32(entries)) return failed(at, field + ", number of entries");
        out_ << "section " << encodeNarrowField(key) << "\n";
        for (int32_t j = 0; j < entries; ++j) {
            at = reader_.position();
            int32_t id = 0;
            std::wstring value;
            const std::string entry =
                field + ", entry " + std::to_string(j + 1) + " of " + std::to_string(entries);
            if (!reader_.readInt32(id)) return failed(at, entry);
            if (!reader_.readWideString(value)) {
                return failed(at, entry + ", id " + std::to_string(id));
            }
            out_ << "    wide " << id << " " << encodeWideField(codeUnits(value)) << "\n";
        }
        out_ << "end\n";
    }
    return true;
}

bool Inspector::includedFiles() {
    const auto countText = strings_.find(launcher::idOf(launcher::Setting::IncludedFileCount));
    const auto namesText = strings_.find(launcher::idOf(launcher::Setting::IncludedFileNames));
    const int64_t extractCount =
        countText == strings_.end() ? 0 : launcher::parseConfigInt(countText->second);
    const std::vector<std::string> names = namesText == strings_.end()
                                               ? std::vector<std::string>()
                                               : launcher::includedFileNames(namesText->second);
    out_ << "# included files at offset " << offsetText(reader_.position())
         << ": config string 2002 asks for " << extractCount << ", 2003 names " << names.size()
         << "\n";
    for (size_t i = 0; i < names.size(); ++i) {
        IncludedFileEntry entry;
        entry.index = static_cast<int>(i) + 1;
        entry.name = names[i];
        entry.extracted = static_cast<int64_t>(i) < extractCount;
        // Names are bytes from the image: escaped wherever they are shown, so that no name can
        // break a comment line of the listing.
        const std::string shown = encodeNarrowField(entry.name);
        const std::string field =
            "size of included file " + std::to_string(entry.index) + " (" + shown + ")";
        const uint64_t at = reader_.position();
        const uint64_t left = at < image_.size() ? image_.size() - at : 0;
        if (!entry.extracted && left < 8) {
            // The launcher never reads files beyond the extracted ones.
            out_ << "# no data for file " << entry.index << " (" << shown
                 << "), which the launcher does not extract\n";
            return true;
        }
        if (!reader_.readInt64(entry.size)) return failed(at, field);
        entry.offset = reader_.position();
        const uint64_t available = entry.offset < image_.size() ? image_.size() - entry.offset : 0;
        const uint64_t size = entry.size > 0 ? static_cast<uint64_t>(entry.size) : 0;
        if (size > available) {
            if (!entry.extracted) {
                out_ << "# file " << entry.index << " (" << shown << ") claims " << entry.size
                     << " bytes but only " << available
                     << " are left; the launcher does not extract it\n";
                reader_.seek(at);
                return true;
            }
            return failedWith("included file " + std::to_string(entry.index) + " (" + shown +
                              ") needs " + std::to_string(entry.size) + " bytes at offset " +
                              offsetText(entry.offset) + " but only " + std::to_string(available) +
                              " are left");
        }
        out_ << "# file " << entry.index << ": " << shown << ", " << entry.size
             << " bytes at offset " << offsetText(entry.offset)
             << (entry.extracted ? ", extracted" : ", left in the image") << "\n";
        reader_.seek(entry.offset + size);
    }
    return true;
}

void Inspector::trailingBytes() {
    const uint64_t at = reader_.position();
    if (at >= image_.size()) return;
    const uint64_t n = image_.size() - at;
    out_ << "# " << n << " trailing bytes at offset " << offsetText(at) << ":";
    uint8_t preview[16];
    uint32_t error = 0;
    const size_t got = reader_.readBytes(preview, n < 16 ? static_cast<size_t>(n) : 16, error);
    const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < got; ++i) {
        out_ << " " << digits[preview[i] >> 4] << digits[preview[i] & 0xF];
    }
    out_ << (n > got ? " ...\n" : "\n");
}

}  // namespace

int inspectBlock(launcher::ByteSource& image, std::ostream& out) {
    return Inspector(image, out).run();
}

}  // namespace pack
