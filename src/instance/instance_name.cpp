#include "instance/instance_name.h"

#include "common/text_format.h"

namespace launcher {

std::string mangleExecutablePath(std::string_view canonicalPath) {
    std::string mangled(canonicalPath);
    for (char& c : mangled) {
        if (c == '\\' || c == ' ') c = '_';
    }
    return mangled;
}

std::string markerName(std::string_view base, uint32_t counter) {
    // The launcher's own formatter: the C++ library's to_string would bring its exception
    // runtime into the stub.
    return std::string(base) + formatA("%d", counter);
}

}  // namespace launcher
