#include "common/fatal.h"

#include <cstdio>
#include <string>

#include "common/limits.h"
#include "common/text_format.h"

namespace launcher {

// Ends the process at once (no static destructors run); defined per platform.
[[noreturn]] void terminateProcess(int code);

namespace {

FatalHooks& hooks() {
    static FatalHooks registered;
    return registered;
}

}  // namespace

void setFatalHooks(const FatalHooks& newHooks) {
    hooks() = newHooks;
}

void exitLauncher(int code) {
    std::fflush(stdout);
    if (hooks().cleanUp) hooks().cleanUp();
    terminateProcess(code);
}

void fatalError(std::wstring_view text) {
    if (hooks().showText) hooks().showText(text);
    exitLauncher(1);
}

void fatalMessage(Message message, const std::wstring* detail) {
    if (hooks().showMessage) hooks().showMessage(message, detail);
    exitLauncher(1);
}

void RunFailure::set(Message failed, std::string_view detail) {
    message = failed;
    kind = Detail::Text;
    text = detail;
}

void fatalMessage(Message message, std::string_view detail) {
    const std::wstring wide = widen(detail.substr(0, kBufferLength - 1));
    fatalMessage(message, &wide);
}

void fatalMessage(Message message, FailureDetail detail) {
    const std::wstring wide = formatW(L"%d", static_cast<int32_t>(detail));
    fatalMessage(message, &wide);
}

void fatalMessage(const RunFailure& failure) {
    switch (failure.kind) {
        case RunFailure::Detail::Text:
            fatalMessage(failure.message, std::string_view(failure.text));
        case RunFailure::Detail::Number:
            fatalMessage(failure.message, failure.number);
        case RunFailure::Detail::None:
            break;
    }
    fatalMessage(failure.message);
}

}  // namespace launcher
