// unpack200.exe of the stand-in runtime:
//   unpack200.exe [-r] PACKED JAR
// Records "unpack args=<command line>" in HOME\standin-runs.log, then writes JAR as the line
// "unpacked" and LF followed by PACKED's bytes (so a test can tell an unpacked file), and with
// -r deletes PACKED. With "unpack_hang_ms=N" in standin.cfg it first writes the partial JAR
// "partial" and hangs N milliseconds (a hung unpack200) before it goes on.
// Exit codes: 0 done, 2 usage, 3 PACKED unreadable or JAR unwritable.
#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

#include "standin_home.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitInputOutput = 3;

int unpack(const std::vector<std::wstring>& args, DWORD hangMs) {
    bool removePacked = false;
    std::vector<std::wstring> files;
    for (const auto& arg : args) {
        if (arg == L"-r" || arg == L"--remove-pack-file")
            removePacked = true;
        else
            files.push_back(arg);
    }
    if (files.size() != 2) return kExitUsage;
    if (hangMs > 0) {
        if (!standin::writeWholeFile(files[1], "partial\n")) return kExitInputOutput;
        Sleep(hangMs);
    }
    std::string packed;
    if (!standin::readWholeFile(files[0], packed)) return kExitInputOutput;
    if (!standin::writeWholeFile(files[1], "unpacked\n" + packed)) return kExitInputOutput;
    if (removePacked && !DeleteFileW(files[0].c_str())) return kExitInputOutput;
    return 0;
}

}  // namespace

int main() {
    const standin::Home home = standin::findHome(standin::modulePath(nullptr), 1);
    standin::appendRecord(home.file(standin::kRunRecordName),
                          "unpack args=" + standin::recordValue(standin::utf8(GetCommandLineW())));

    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr) return kExitUsage;
    const std::vector<std::wstring> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    LocalFree(argv);
    return unpack(args, static_cast<DWORD>(home.config.number("unpack_hang_ms", 0)));
}
