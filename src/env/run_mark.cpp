#include "env/run_mark.h"

namespace launcher {

std::string runMarkText(uint32_t processId, const uint8_t* random, size_t count) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + processId % 10));
        processId /= 10;
    } while (processId != 0);
    std::string text = digits + ':';
    for (size_t i = 0; i < count; ++i) {
        text += "0123456789abcdef"[random[i] >> 4];
        text += "0123456789abcdef"[random[i] & 0xF];
    }
    return text;
}

}  // namespace launcher
