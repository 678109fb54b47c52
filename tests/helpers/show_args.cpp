// show_args: a console program that prints how it was started, for testing command-line quoting
// and environment passing.
//
//   show_args.exe [ARGS...]
//
// Writes UTF-8 lines to standard output: "cmdline: " and the raw command line, then
// "arg N: " and each argument as CommandLineToArgvW splits it (N from 0), then "cwd: " and the
// working directory. Exits with the number of arguments after the program name.
#include <windows.h>

#include "utf8_output.h"

#include <shellapi.h>

#include <string>

namespace {

void writeLine(const std::wstring& line) {
    helpers::writeUtf8Line(GetStdHandle(STD_OUTPUT_HANDLE), line);
}

}  // namespace

int main() {
    writeLine(std::wstring(L"cmdline: ") + GetCommandLineW());
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr) return -1;
    for (int i = 0; i < argc; ++i) {
        writeLine(L"arg " + std::to_wstring(i) + L": " + argv[i]);
    }
    LocalFree(argv);
    std::wstring cwd(GetCurrentDirectoryW(0, nullptr), L'\0');
    cwd.resize(GetCurrentDirectoryW(static_cast<DWORD>(cwd.size()), cwd.data()));
    writeLine(L"cwd: " + cwd);
    return argc - 1;
}
