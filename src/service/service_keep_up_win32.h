// What the service host keeps up to date while it keeps its child up: the status record, the
// lines for the application's standard error file, and what the runtime says on the host's pipe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/log.h"
#include "service/event_log_win32.h"
#include "service/restart_rules.h"
#include "service/service_child_win32.h"
#include "service/service_watchdog_win32.h"
#include "service/watchdog_rules.h"

namespace launcher {

// What the host keeps up to date while it keeps its child up.
struct KeepUp {
    StatusFile file;
    StatusRecord record;
    // The application's standard error file as its runtime named it (UTF-8), and the host's
    // lines about the current child, appended there once the child has ended (a running child
    // may still write where the host would).
    std::string errorFile;
    std::vector<std::string> notes;
    // The current child's start is reported once the runtime said which Java runs it.
    bool startReported = false;

    void write() const { file.write(record); }
    // One line for the diagnostic log and, later, the application's standard error file.
    void note(const std::string& text) {
        logMessage(L"%S", text);
        notes.push_back(text);
    }
    void writeNotes() {
        appendHostLines(errorFile, kHostLinePrefix, notes);
        notes.clear();
    }
};

// A FILETIME as one number (100 ns since 1601, UTC), and the system time now in those units.
uint64_t fileTimeValue(const FILETIME& time);
uint64_t systemTimeNow();
// UTC seconds since 1970.
uint64_t unixNow();

// Hands one line of the runtime to the rules; info lines go to the status record (and the
// application's start to the event log), a failed rotation to the event log.
void takeWatchdogLine(const std::string& text, WatchdogRules& rules, KeepUp& keepUp,
                      const EventLog& events, uint64_t now);

}  // namespace launcher
