#include "service/event_log_win32.h"

#include "common/log.h"
#include "common/text_format.h"

namespace launcher {

static_assert(static_cast<WORD>(EventType::Information) == EVENTLOG_INFORMATION_TYPE);
static_assert(static_cast<WORD>(EventType::Warning) == EVENTLOG_WARNING_TYPE);
static_assert(static_cast<WORD>(EventType::Error) == EVENTLOG_ERROR_TYPE);

void EventLog::open(const std::wstring& serviceName) {
    serviceName_ = serviceName;
    source_.reset(::RegisterEventSourceW(nullptr, serviceName.c_str()));
    if (!source_) logMessage(L"RegisterEventSource error (%d)", ::GetLastError());
}

void EventLog::reportEvent(uint32_t id, uint16_t type, uint32_t inserts,
                           const EventInsert (&given)[3]) const {
    if (!source_) return;
    // The inserts must end with a NUL each: copies of the texts, the numbers written out.
    std::wstring texts[3];
    for (size_t i = 0; i < 3; ++i) {
        texts[i] = given[i].isNumber ? formatW(L"%d", static_cast<long long>(given[i].number))
                                     : std::wstring(given[i].text);
    }
    LPCWSTR strings[] = {serviceName_.c_str(), texts[0].c_str(), texts[1].c_str(),
                         texts[2].c_str()};
    if (!::ReportEventW(source_.get(), type, 0, id, nullptr, static_cast<WORD>(inserts), 0, strings,
                        nullptr)) {
        logMessage(L"ReportEvent %d error (%d)", id, ::GetLastError());
    }
}

}  // namespace launcher
