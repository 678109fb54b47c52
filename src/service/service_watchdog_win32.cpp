#include "service/service_watchdog_win32.h"

#include "common/log.h"
#include "env/safe_folder_win32.h"
#include "service/status_record_win32.h"

namespace launcher {

std::string narrowUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                          nullptr, nullptr);
    return out;
}

std::wstring wideUtf8(const std::string& text) {
    const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                             static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                          wide.data(), length);
    return wide;
}

WatchdogPipe::~WatchdogPipe() {
    closePipe();
}

void WatchdogPipe::closePipe() {
    if (pending_) {
        DWORD ignored = 0;
        ::CancelIo(pipe_.get());
        ::GetOverlappedResult(pipe_.get(), &overlapped_, &ignored, TRUE);
        pending_ = false;
    }
    open_ = false;
    pipe_.reset();
}

bool WatchdogPipe::create(uint32_t childNumber) {
    name_ = std::wstring(kWatchdogPipePrefix) +
            formatW(L"%d-%d", static_cast<long long>(::GetCurrentProcessId()),
                    static_cast<long long>(childNumber));
    // Only the host's own account, administrators and SYSTEM may open the pipe.
    UniqueLocal descriptor;
    if (!accessListWithOwnAccount(L"D:P(A;;GA;;;SY)(A;;GA;;;BA)", L"A;;GA", descriptor)) {
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor.get(), FALSE};
    pipe_.reset(::CreateNamedPipeW(
        name_.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
        sizeof buffer_, 0, &attributes));
    if (!pipe_) {
        logMessage(L"CreateNamedPipe error (%d)", ::GetLastError());
        return false;
    }
    event_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event_) return false;
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = event_.get();
    open_ = true;
    if (::ConnectNamedPipe(pipe_.get(), &overlapped_)) {
        connected_ = true;
    } else if (const DWORD error = ::GetLastError(); error == ERROR_IO_PENDING) {
        pending_ = true;
    } else if (error == ERROR_PIPE_CONNECTED) {
        connected_ = true;
        ::SetEvent(event_.get());
    } else {
        logMessage(L"ConnectNamedPipe error (%d)", error);
        closePipe();
        return false;
    }
    if (connected_) ::SetEvent(event_.get());
    return true;
}

void WatchdogPipe::drain(std::vector<std::string>& lines) {
    constexpr DWORD kReadWait = 100;
    constexpr int kMaxTurns = 64;
    for (int turn = 0; turn < kMaxTurns && event() != nullptr &&
                       ::WaitForSingleObject(event_.get(), kReadWait) == WAIT_OBJECT_0;
         ++turn) {
        collect(lines);
    }
}

void WatchdogPipe::collect(std::vector<std::string>& lines) {
    // A runtime writing without pause gets a turn of a few reads; the event stays set for more.
    constexpr int kReadsPerTurn = 16;
    for (int turn = 0; open_ && turn < kReadsPerTurn; ++turn) {
        if (pending_) {
            DWORD read = 0;
            if (!::GetOverlappedResult(pipe_.get(), &overlapped_, &read, FALSE)) {
                if (::GetLastError() == ERROR_IO_INCOMPLETE) return;
                // The runtime closed its end (or went): nothing more comes.
                pending_ = false;
                closePipe();
                return;
            }
            pending_ = false;
            if (!connected_) {
                connected_ = true;
            } else {
                for (DWORD i = 0; i < read; ++i) {
                    const char c = buffer_[i];
                    if (c == '\n') {
                        if (!dropping_) lines.push_back(partial_);
                        partial_.clear();
                        dropping_ = false;
                    } else if (!dropping_) {
                        if (partial_.size() >= kWatchdogLineLimit) {
                            partial_.clear();
                            dropping_ = true;
                        } else {
                            partial_.push_back(c);
                        }
                    }
                }
            }
        }
        ::ResetEvent(event_.get());
        if (!::ReadFile(pipe_.get(), buffer_, sizeof buffer_, nullptr, &overlapped_) &&
            ::GetLastError() != ERROR_IO_PENDING) {
            closePipe();
            return;
        }
        pending_ = true;
    }
    if (open_) ::SetEvent(event_.get());
}

bool StatusFile::open(const std::wstring& serviceName) {
    // The same folder /status-json reads, whatever this account's environment says.
    const std::wstring base = programDataFolder();
    if (base.empty()) {
        logMessage(L"no ProgramData folder: the status record is not written");
        return false;
    }
    std::wstring folder = base + L"\\lumex";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    folder += L"\\status";
    // Every user may read the records; administrators, SYSTEM and the host's account write.
    UniqueLocal descriptor;
    if (!accessListWithOwnAccount(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;BU)",
                                  L"A;OICI;FA", descriptor)) {
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor.get(), FALSE};
    if (!::CreateDirectoryW(folder.c_str(), &attributes) &&
        ::GetLastError() != ERROR_ALREADY_EXISTS) {
        logMessage(L"could not create the status folder %s (%d)", folder, ::GetLastError());
        return false;
    }
    path_ = folder + L"\\" + serviceName + L".status";
    return true;
}

void StatusFile::write(const StatusRecord& record) const {
    if (path_.empty()) return;
    const std::string text = statusRecordText(record);
    const std::wstring temporary = path_ + L".new";
    {
        const UniqueFile file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file ||
            !::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                         nullptr) ||
            written != text.size()) {
            logMessage(L"could not write the status record %s (%d)", temporary, ::GetLastError());
            return;
        }
    }
    if (!::MoveFileExW(temporary.c_str(), path_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        logMessage(L"could not replace the status record %s (%d)", path_, ::GetLastError());
    }
}

}  // namespace launcher
