// The one way out of a launch that cannot go on. Lower floors only say why; how the reason is
// shown (message box or console, the configured text) and what is cleaned up before the process
// ends (the per-run directory) are registered once by the entry, so no floor calls upward.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace launcher {

// Named in config/settings.h.
enum class Message : int32_t;
enum class FailureDetail : int32_t;

struct FatalHooks {
    // Shows the configured text of a message, "{0}" replaced by the detail when there is one.
    void (*showMessage)(Message message, const std::wstring* detail) = nullptr;
    // Shows a fixed text.
    void (*showText)(std::wstring_view text) = nullptr;
    // Runs right before the process ends.
    void (*cleanUp)() = nullptr;
};

void setFatalHooks(const FatalHooks& hooks);

// Why a run cannot go on: a named message and the detail that replaces its "{0}". The entry
// makes one and hands it down by reference; a floor that meets such a failure fills it in and
// returns false at once, and the entry ends the process with it.
struct RunFailure {
    Message message{};  // 0, which no message has: nothing failed
    // The detail: a text, a failure detail shown as its decimal number, or none.
    enum class Detail : uint8_t { None, Text, Number } kind = Detail::None;
    FailureDetail number{};
    std::string text;

    explicit operator bool() const { return message != Message{}; }
    // Fills the failure in (the text as the message shows it).
    void set(Message failed) { message = failed; }
    void set(Message failed, std::string_view detail);
    void set(Message failed, FailureDetail detail) {
        message = failed;
        kind = Detail::Number;
        number = detail;
    }
};

// Flushes standard output, runs the clean-up and ends the process with the code.
[[noreturn]] void exitLauncher(int code);
// Shows the text, then exitLauncher(1).
[[noreturn]] void fatalError(std::wstring_view text);
// Shows the message, then exitLauncher(1).
[[noreturn]] void fatalMessage(Message message, const std::wstring* detail = nullptr);
[[noreturn]] void fatalMessage(Message message, std::string_view detail);
// The detail shown as its decimal number.
[[noreturn]] void fatalMessage(Message message, FailureDetail detail);
// Shows the failure's message with its detail, then exitLauncher(1).
[[noreturn]] void fatalMessage(const RunFailure& failure);

}  // namespace launcher
