#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

#include <memory>
#endif

#include "carried_files.h"
#include "pack_cli.h"

namespace {

// The arguments after the program name, as UTF-8. On Windows they come from the wide command
// line: argv holds them in the ANSI code page, which loses every character outside it.
std::vector<std::string> arguments(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&LocalFree)> wide(
        CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
    if (!wide) throw std::runtime_error("cannot read the command line");
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) {
        const wchar_t* arg = wide.get()[i];
        const int size = WideCharToMultiByte(CP_UTF8, 0, arg, -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(size > 0 ? static_cast<size_t>(size) : 1, '\0');
        WideCharToMultiByte(CP_UTF8, 0, arg, -1, utf8.data(), size, nullptr, nullptr);
        utf8.resize(utf8.size() - 1);  // the terminating NUL
        args.push_back(std::move(utf8));
    }
    return args;
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return pack::runPack(arguments(argc, argv), std::cout, std::cerr, pack::carriedFiles());
    } catch (const std::exception& e) {
        std::cerr << "pack: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "pack: unexpected failure\n";
    }
    return 1;
}
