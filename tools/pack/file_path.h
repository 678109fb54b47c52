// Paths the tool is given (command line, descriptions) are UTF-8 text. The file system takes
// them as std::filesystem::path, which holds UTF-16 on Windows: a plain std::string would be
// read in the ANSI code page there and lose every character outside it.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pack {

std::filesystem::path pathFromUtf8(std::string_view utf8);
std::string utf8FromPath(const std::filesystem::path& path);

}  // namespace pack
