#include "env/path_rules.h"

#include "common/text_list.h"

#include <algorithm>

namespace launcher {

namespace {

template <typename Ch>
bool isRelativeAny(std::basic_string_view<Ch> p) {
    if (p.size() <= 2) return true;
    if (p[0] == Ch('"')) {
        if (p.size() < 4) return true;
        p.remove_prefix(1);
    }
    if (p.size() >= 3 && p[1] == Ch(':') && p[2] == Ch('\\')) return false;
    if (p.size() >= 2 && p[0] == Ch('\\') && p[1] == Ch('\\')) return false;
    return true;
}

template <typename Ch>
bool isDriveRootAny(std::basic_string_view<Ch> p) {
    if (p.size() <= 1) return false;
    const auto rest = p.substr(1);
    static constexpr Ch a[] = {':', '\\'};
    static constexpr Ch b[] = {':', '\\', '.'};
    static constexpr Ch c[] = {':', '\\', '.', '\\', '.'};
    return rest == std::basic_string_view<Ch>(a, 2) || rest == std::basic_string_view<Ch>(b, 3) ||
           rest == std::basic_string_view<Ch>(c, 5);
}

template <typename Ch>
bool hasBangMarkAny(std::basic_string_view<Ch> p) {
    if (!p.empty() && p.back() == Ch('!')) return true;
    for (size_t i = 0; i + 1 < p.size(); ++i) {
        if (p[i] == Ch('!') && p[i + 1] == Ch('\\')) return true;
    }
    return false;
}

template <typename Ch>
bool endsWithExeAny(std::basic_string_view<Ch> p) {
    if (p.size() < 5) return false;
    const auto tail = p.substr(p.size() - 4);
    const char want[] = ".exe";
    for (size_t i = 0; i < 4; ++i) {
        Ch c = tail[i];
        if (c >= Ch('A') && c <= Ch('Z')) c = static_cast<Ch>(c - Ch('A') + Ch('a'));
        if (c != Ch(want[i])) return false;
    }
    return true;
}

}  // namespace

bool isRelativePath(std::string_view path) {
    return isRelativeAny(path);
}
bool isRelativePath(std::wstring_view path) {
    return isRelativeAny(path);
}
bool isDriveRoot(std::string_view path) {
    return isDriveRootAny(path);
}
bool isDriveRoot(std::wstring_view path) {
    return isDriveRootAny(path);
}
bool hasBangMark(std::string_view path) {
    return hasBangMarkAny(path);
}
bool hasBangMark(std::wstring_view path) {
    return hasBangMarkAny(path);
}
bool endsWithExe(std::string_view path) {
    return endsWithExeAny(path);
}
bool endsWithExe(std::wstring_view path) {
    return endsWithExeAny(path);
}
std::vector<std::string> splitPathList(std::string_view list) {
    return splitList(list);
}
std::vector<std::wstring> splitPathList(std::wstring_view list) {
    return splitList(list);
}

void collapseBackslashes(std::wstring& path, size_t start) {
    if (start >= path.size()) return;
    size_t write = std::min(path.size(), start + 2);
    for (size_t read = write; read < path.size(); ++read) {
        if (path[read] == L'\\' && path[write - 1] == L'\\') continue;
        path[write++] = path[read];
    }
    path.resize(write);
}

std::wstring lowerAscii(std::wstring_view text) {
    std::wstring out(text);
    for (auto& c : out) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return out;
}

std::wstring folderOf(std::wstring_view path) {
    const size_t at = path.rfind(L'\\');
    return at == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, at + 1));
}

std::wstring programNameOf(std::wstring_view path) {
    if (path.size() >= 2 && path[1] == L':') path.remove_prefix(2);
    const size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring_view::npos) path.remove_prefix(slash + 1);
    const size_t dot = path.rfind(L'.');
    if (dot != std::wstring_view::npos) path = path.substr(0, dot);
    return std::wstring(path);
}

}  // namespace launcher
