// The message table written and read back (see pe_messages.h).
#include "pe_messages.h"

#include "pe_bytes.h"

namespace pack {

using namespace pe;

namespace {

constexpr size_t kBlockSize = 12, kEntryHeader = 4;
constexpr uint16_t kUnicodeFlag = 1;

std::vector<uint8_t> entryBytes(std::string_view text) {
    std::vector<uint8_t> entry(kEntryHeader, 0);
    for (char c : text) add16(entry, static_cast<uint8_t>(c));
    for (char16_t c : u"\r\n") add16(entry, c);  // the NUL of the literal ends the text
    pad(entry, 4);
    set16(entry, 0, static_cast<uint16_t>(entry.size()));
    set16(entry, 2, kUnicodeFlag);
    return entry;
}

}  // namespace

std::vector<uint8_t> messageTableBytes(std::span<const launcher::EventMessage> messages) {
    std::vector<uint8_t> out;
    if (messages.empty()) {
        add32(out, 0);
        return out;
    }
    // The ids run without a gap (event_messages.h checks it): one block holds them all.
    add32(out, 1);
    add32(out, static_cast<uint32_t>(messages.front().id));
    add32(out, static_cast<uint32_t>(messages.back().id));
    add32(out, static_cast<uint32_t>(4 + kBlockSize));
    for (const launcher::EventMessage& message : messages) {
        const auto entry = entryBytes(message.text);
        out.insert(out.end(), entry.begin(), entry.end());
    }
    return out;
}

bool readMessageTable(std::span<const uint8_t> b, std::vector<MessageEntry>& messages,
                      std::string& error) {
    messages.clear();
    if (b.size() < 4) {
        error = "the message table is cut short";
        return false;
    }
    const size_t blocks = get32(b, 0);
    if (blocks > (b.size() - 4) / kBlockSize) {
        error = "the message table names " + std::to_string(blocks) + " blocks it does not hold";
        return false;
    }
    for (size_t i = 0; i < blocks; ++i) {
        const size_t at = 4 + kBlockSize * i;
        const uint32_t low = get32(b, at), high = get32(b, at + 4);
        size_t entry = get32(b, at + 8);
        // Every entry takes at least its header: a range larger than the bytes left is damage,
        // not a reason to loop billions of times.
        if (high < low || entry > b.size() || uint64_t{high} - low >= (b.size() - entry) / 4) {
            error = "block " + std::to_string(i + 1) + " of the message table lies outside it";
            return false;
        }
        for (uint64_t id = low; id <= high; ++id) {
            const size_t length = b.size() - entry < kEntryHeader ? 0 : get16(b, entry);
            if (length < kEntryHeader || length % 2 != 0 || length > b.size() - entry) {
                error = "message " + std::to_string(id) + " lies outside the message table";
                return false;
            }
            MessageEntry message{static_cast<uint32_t>(id), {}};
            const bool unicode = get16(b, entry + 2) == kUnicodeFlag;
            for (size_t c = entry + kEntryHeader; c < entry + length; c += unicode ? 2 : 1) {
                const char16_t ch = unicode ? get16(b, c) : b[c];
                if (ch == 0) break;
                message.text.push_back(ch);
            }
            messages.push_back(std::move(message));
            entry += length;
        }
    }
    error.clear();
    return true;
}

}  // namespace pack
