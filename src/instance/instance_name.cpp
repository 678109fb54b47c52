#include "instance/instance_name.h"

namespace launcher {

std::string mangleExecutablePath(std::string_view canonicalPath) {
    std::string mangled(canonicalPath);
    for (char& c : mangled) {
        if (c == '\\' || c == ' ') c = '_';
    }
    return mangled;
}

std::string markerName(std::string_view base, uint32_t counter) {
    // Digits by hand: the C++ library's to_string would bring its exception runtime into the stub.
    char digits[10];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + counter % 10);
        counter /= 10;
    } while (counter != 0);
    std::string name(base);
    while (count > 0) name += digits[--count];
    return name;
}

}  // namespace launcher
