// Splitting ";"-separated lists (PATH values, configured directories, included-file names).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace launcher {

// The entries of a ";"-separated list; empty entries (runs of separators, a separator at
// either end) are dropped.
std::vector<std::string> splitList(std::string_view list);
std::vector<std::wstring> splitList(std::wstring_view list);

}  // namespace launcher
