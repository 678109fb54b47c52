// msgbox_demo: a GUI-subsystem program that shows message boxes, for testing winrun and the
// end-to-end harness.
//
//   msgbox_demo.exe [--echo-stdin] EXITCODE [CAPTION TEXT]...
//
// With --echo-stdin it first copies its standard input to standard output, up to the end.
// Shows one MB_OK | MB_ICONERROR box per CAPTION/TEXT pair, one after the other, like the
// launcher's error path does. A "\n" (backslash, n) in TEXT becomes a line break. For each box
// it writes "box N: RESULT" (MessageBoxW's return value) to standard output, at the end "done" to
// standard error, and exits with EXITCODE. Exits with 90 when a box could not be shown and 91 on
// a usage error.
#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <string>

namespace {

void write(DWORD which, const std::string& text) {
    HANDLE h = GetStdHandle(which);
    DWORD written = 0;
    if (h != nullptr && h != INVALID_HANDLE_VALUE) {
        WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

std::wstring withLineBreaks(const wchar_t* text) {
    std::wstring out;
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        if (p[0] == L'\\' && p[1] == L'n') {
            out += L'\n';
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

void echoStandardInput() {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    char buffer[4096];
    DWORD got = 0;
    while (in != nullptr && in != INVALID_HANDLE_VALUE &&
           ReadFile(in, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        write(STD_OUTPUT_HANDLE, std::string(buffer, got));
    }
}

int run(int argc, wchar_t** argv) {
    if (argc >= 2 && std::wcscmp(argv[1], L"--echo-stdin") == 0) {
        echoStandardInput();
        --argc;
        ++argv;
    }
    if (argc < 2 || argc % 2 != 0) return 91;
    wchar_t* end = nullptr;
    const long exitCode = std::wcstol(argv[1], &end, 10);
    if (*end != L'\0') return 91;
    for (int i = 2, n = 1; i + 1 < argc; i += 2, ++n) {
        const int result = MessageBoxW(nullptr, withLineBreaks(argv[i + 1]).c_str(), argv[i],
                                       MB_OK | MB_ICONERROR);
        write(STD_OUTPUT_HANDLE, "box " + std::to_string(n) + ": " + std::to_string(result) + "\n");
        if (result == 0) return 90;
    }
    write(STD_ERROR_HANDLE, "done\n");
    return static_cast<int>(exitCode);
}

}  // namespace

// The C runtime of our toolchain calls WinMain even for Unicode programs.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr) return 91;
    const int code = run(argc, argv);
    LocalFree(argv);
    return code;
}
