// The launcher's message table (resource type 11) as Windows reads it: MESSAGE_RESOURCE_DATA, a
// count of blocks, each block a range of ids and the offset of its entries, each entry its length,
// its flags (1: UTF-16) and its text. FormatMessage reads the service host's event texts from it.
// Portable: no Windows header; the reader checks every length against the bytes it has.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "config/event_messages.h"

namespace pack {

constexpr uint16_t kMessageTableType = 11;  // RT_MESSAGETABLE
constexpr uint16_t kMessageTableName = 1;

// One message of a table: its id and its text as stored (the message compiler's "\r\n" kept).
struct MessageEntry {
    uint32_t id = 0;
    std::u16string text;
    bool operator==(const MessageEntry&) const = default;
};

// The message table of these events (ids without a gap, as kEventMessages has them), as the
// message compiler writes one: one block, every text UTF-16 and ended by "\r\n" and a NUL, each
// entry padded to a multiple of 4 bytes.
std::vector<uint8_t> messageTableBytes(std::span<const launcher::EventMessage> messages);

// The messages of a message table in the order stored; false with what is wrong.
bool readMessageTable(std::span<const uint8_t> bytes, std::vector<MessageEntry>& messages,
                      std::string& error);

}  // namespace pack
