// What happens to the service, reported to the Application event log under the service's name
// as the source. The launcher file carries the texts of the events (a message table), so the
// Event Viewer shows whole sentences; the inserts are the numbers and names of the moment.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "common/unique_handle.h"
#include "config/event_messages.h"

namespace launcher {

// One insert of an event: a text, or a number written out when the event is reported.
struct EventInsert {
    EventInsert() = default;
    // A text lives until the end of the report's full expression.
    EventInsert(const std::wstring& value) : text(value) {}
    EventInsert(const wchar_t* value) : text(value) {}
    template <typename Number>
    requires std::is_unsigned_v<Number> EventInsert(Number value) : number(value), isNumber(true) {}

    std::wstring_view text;
    uint64_t number = 0;
    bool isNumber = false;
};

class EventLog {
public:
    // Off until opened; a source that cannot be registered leaves it off (logged).
    void open(const std::wstring& serviceName);

    // One event: the service's name is its first insert, the given ones follow in order, as
    // many as the event's text has (checked when this is compiled). The event's type comes
    // from the event table then too, so the table's texts stay out of the launcher's code. A
    // report that fails is logged.
    template <EventId id, typename... Inserts>
    void report(const Inserts&... inserts) const {
        constexpr const EventMessage* message = findEventMessage(id);
        static_assert(message != nullptr && message->inserts == 1 + sizeof...(Inserts) &&
                      sizeof...(Inserts) <= 3);
        reportEvent(static_cast<uint32_t>(id), static_cast<uint16_t>(message->type),
                    message->inserts, {EventInsert(inserts)...});
    }

private:
    void reportEvent(uint32_t id, uint16_t type, uint32_t inserts,
                     const EventInsert (&given)[3]) const;

    UniqueEventSource source_;
    std::wstring serviceName_;
};

}  // namespace launcher
