// The events the service host reports to the Application event log, and the English sentence of
// each. The packing tool writes this table into every launcher as its message table (resource
// type 11), so the Event Viewer shows whole sentences on any machine; the host reports the same
// ids with their inserts. The ids are an interface (docs/events.md): they never change, and a
// new event takes the next free id.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

namespace launcher {

enum class EventId : uint32_t {
    ApplicationStarted = 1000,
    StoppedOnRequest = 1001,
    StopTimedOut = 1002,
    ApplicationEnded = 1003,
    Restarting = 1004,
    NotAnswering = 1005,
    GaveUp = 1006,
    StartFailed = 1007,
    OutputNotRotated = 1008,
};

// The event types of ReportEventW (EVENTLOG_INFORMATION_TYPE, _WARNING_TYPE, _ERROR_TYPE).
enum class EventType : uint16_t {
    Error = 1,
    Warning = 2,
    Information = 4,
};

// One event: its id, its type, how many inserts the host passes, and its text with the inserts
// written %1 to %9 as FormatMessage takes them.
struct EventMessage {
    EventId id;
    EventType type;
    uint8_t inserts;
    std::string_view text;
};

inline constexpr EventMessage kEventMessages[] = {
    {EventId::ApplicationStarted, EventType::Information, 4,
     "The service %1 started its application (process %2) on Java %3 from %4."},
    {EventId::StoppedOnRequest, EventType::Information, 2,
     "The service %1 stopped on request; its application ended within %2 milliseconds."},
    {EventId::StopTimedOut, EventType::Warning, 2,
     "The application of the service %1 did not end within the stop timeout of %2 seconds, so "
     "it was ended."},
    {EventId::ApplicationEnded, EventType::Error, 2,
     "The application of the service %1 ended on its own with exit code %2."},
    {EventId::Restarting, EventType::Warning, 4,
     "The service %1 starts its application again (attempt %2) in %3 seconds. Reason: %4."},
    {EventId::NotAnswering, EventType::Error, 3,
     "The application of the service %1 stopped answering: no answer for %2 seconds. Thread "
     "dump: %3."},
    {EventId::GaveUp, EventType::Error, 3,
     "The service %1 gave up restarting its application after %2 failures in a row; the last "
     "exit code was %3."},
    {EventId::StartFailed, EventType::Error, 2,
     "The service %1 could not start its application: %2"},
    {EventId::OutputNotRotated, EventType::Warning, 3,
     "The service %1 could not rotate its output file %2: %3."},
};

// The event of an id; nullptr for an id the table does not hold.
constexpr const EventMessage* findEventMessage(EventId id) {
    for (const EventMessage& message : kEventMessages) {
        if (message.id == id) return &message;
    }
    return nullptr;
}

namespace event_checks {

// Whether a text is printable ASCII whose only % sequences are the inserts %1 to %count, each
// used: FormatMessage would read any other % as a format of its own (a percent sign itself
// would have to be written %%; no text needs one).
constexpr bool insertsFit(std::string_view text, unsigned count) {
    unsigned used = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c < ' ' || c > '~') return false;
        if (c != '%') continue;
        if (i + 1 >= text.size() || text[i + 1] < '1' || text[i + 1] > '9') return false;
        const unsigned insert = static_cast<unsigned>(text[i + 1] - '0');
        if (insert > count) return false;
        // "%12" would be insert 12 and "%1!d!" a format of its own.
        if (i + 2 < text.size() &&
            ((text[i + 2] >= '0' && text[i + 2] <= '9') || text[i + 2] == '!')) {
            return false;
        }
        used |= 1u << insert;
        ++i;
    }
    return used == ((1u << (count + 1)) - 2);
}

// The ids run from 1000 without a gap (one block of the message table), each text fits its
// inserts.
constexpr bool tableFits() {
    uint32_t expected = 1000;
    for (const EventMessage& message : kEventMessages) {
        if (static_cast<uint32_t>(message.id) != expected++ || message.inserts > 9 ||
            message.text.empty() || !insertsFit(message.text, message.inserts)) {
            return false;
        }
    }
    return true;
}

}  // namespace event_checks

static_assert(event_checks::tableFits(),
              "event ids run from 1000 without a gap; texts use only their inserts %1 to %N");
static_assert(std::size(kEventMessages) == 9);

}  // namespace launcher
