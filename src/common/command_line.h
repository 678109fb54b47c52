// Splitting a command line into arguments: the process command line, configured option and
// argument strings, the service host's own command line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace launcher {

// Scans one argument starting at position; writes it to out (replacing its content) and returns
// where the next argument starts, or nothing at the end of the text. A NUL ends the text too.
// Quotes open and close anywhere and are removed; two quotes inside a quoted section give one
// literal quote; backslashes are ordinary characters.
std::optional<size_t> nextCommandLineToken(std::wstring_view text, size_t position,
                                           std::wstring& out);

// Appends the arguments of text to list; an empty text appends nothing.
void splitCommandLine(std::wstring_view text, std::vector<std::wstring>& list);

}  // namespace launcher
