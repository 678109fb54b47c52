// The Windows pieces of the host's watchdog and status record: the named pipe a child's runtime
// answers on, read with overlapped reads so that the host's one waiting thread also waits for
// the child and for a stop, and the status record file.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "service/watchdog_rules.h"

namespace launcher {

class WatchdogPipe {
public:
    WatchdogPipe() = default;
    WatchdogPipe(const WatchdogPipe&) = delete;
    WatchdogPipe& operator=(const WatchdogPipe&) = delete;
    // A read still pending is cancelled and waited for before the buffer goes.
    ~WatchdogPipe();

    // Creates the pipe of the given child and starts waiting for the runtime to open it. Only
    // the host's own account, administrators and SYSTEM may open it.
    bool create(uint32_t childNumber);
    const std::wstring& name() const { return name_; }
    // Signalled when the runtime connected or a read completed; nullptr once the pipe closed.
    HANDLE event() const { return open_ ? event_.get() : nullptr; }
    // Appends the complete lines that came and starts the next read.
    void collect(std::vector<std::string>& lines);
    // After the child's end: the lines it wrote before it went, waiting a little for each read.
    void drain(std::vector<std::string>& lines);

private:
    void closePipe();

    std::wstring name_;
    UniqueFile pipe_;
    UniqueHandle event_;
    OVERLAPPED overlapped_{};
    bool pending_ = false;
    bool connected_ = false;
    bool open_ = false;
    bool dropping_ = false;  // the rest of a line longer than kWatchdogLineLimit
    std::string partial_;
    char buffer_[512];
};

// The status record of one service, %ProgramData%\lumex\status\<service name>.status.
class StatusFile {
public:
    // Creates the folder when needed (readable by every user); false when it cannot be used.
    bool open(const std::wstring& serviceName);
    // Replaces the record whole: written beside it, then renamed over it.
    void write(const StatusRecord& record) const;

private:
    std::wstring path_;
};

// UTF-8 of a wide text, and the wide text of UTF-8 bytes (empty when they are not UTF-8).
std::string narrowUtf8(const std::wstring& text);
std::wstring wideUtf8(const std::string& text);

}  // namespace launcher
