#include "common/text_list.h"

namespace launcher {

namespace {

template <typename Ch>
std::vector<std::basic_string<Ch>> splitListAny(std::basic_string_view<Ch> list) {
    std::vector<std::basic_string<Ch>> out;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(Ch(';'), start);
        if (end == std::basic_string_view<Ch>::npos) end = list.size();
        if (end > start) out.emplace_back(list.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

}  // namespace

std::vector<std::string> splitList(std::string_view list) {
    return splitListAny(list);
}

std::vector<std::wstring> splitList(std::wstring_view list) {
    return splitListAny(list);
}

}  // namespace launcher
