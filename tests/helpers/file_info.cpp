// file_info: prints what Windows reads of an executable's version information and icon, through
// the functions Explorer and installers use.
//
//   file_info.exe FILE
//       Prints, as UTF-8 lines:
//         NAME: TEXT              for each of ProductName, ProductVersion, FileVersion,
//                                 CompanyName, LegalCopyright, FileDescription
//                                 (VerQueryValueW "\StringFileInfo\040904B0\NAME"; "(none)")
//         fixed-file-version: A.B.C.D       VS_FIXEDFILEINFO (VerQueryValueW "\")
//         fixed-product-version: A.B.C.D
//         translation: LLLL CCCC            VerQueryValueW "\VarFileInfo\Translation"
//         icon-groups: N                    ExtractIconExW(FILE, -1)
//         large-icon: WxH                   ExtractIconExW's first large icon, its colour bitmap
//         loaded-icon: WxH                  LoadImageW of icon group 1, 16 x 16, from the file
//                                           loaded as an image resource
//       A line "version-info: none" replaces the first five when GetFileVersionInfoW fails.
//
//   file_info.exe FILE --message ID [INSERT...]
//       Prints "message-ID: TEXT": the message ID of FILE's message table with the inserts
//       (FormatMessageW from FILE loaded as a data file, as the Event Viewer reads an event), its
//       closing line break left out; "message-ID: none (error N)" when there is none.
//
// Exit codes: 0 done, 2 usage.
#include <windows.h>

#include "utf8_output.h"

#include <shellapi.h>

#include <string>
#include <vector>

#include "common/unique_handle.h"

namespace {

struct IconTraits {
    using Type = HICON;
    static Type invalid() { return nullptr; }
    static void close(Type h) { ::DestroyIcon(h); }
};
struct BitmapTraits {
    using Type = HBITMAP;
    static Type invalid() { return nullptr; }
    static void close(Type h) { ::DeleteObject(h); }
};
using UniqueIcon = launcher::UniqueResource<IconTraits>;
using UniqueBitmap = launcher::UniqueResource<BitmapTraits>;

void line(const std::wstring& text) {
    helpers::writeUtf8Line(GetStdHandle(STD_OUTPUT_HANDLE), text);
}

std::wstring fourParts(DWORD high, DWORD low) {
    return std::to_wstring(HIWORD(high)) + L"." + std::to_wstring(LOWORD(high)) + L"." +
           std::to_wstring(HIWORD(low)) + L"." + std::to_wstring(LOWORD(low));
}

// "WxH" of an icon's colour bitmap, or "none".
std::wstring iconSize(HICON icon) {
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) return L"none";
    const UniqueBitmap color(info.hbmColor), mask(info.hbmMask);
    BITMAP bitmap{};
    if (GetObjectW(color.get() != nullptr ? color.get() : mask.get(), sizeof(bitmap), &bitmap) ==
        0) {
        return L"unknown";
    }
    return std::to_wstring(bitmap.bmWidth) + L"x" + std::to_wstring(bitmap.bmHeight);
}

void versionInfo(const wchar_t* file) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file, &ignored);
    std::vector<BYTE> data(size);
    if (size == 0 || !GetFileVersionInfoW(file, 0, size, data.data())) {
        line(L"version-info: none");
        return;
    }
    for (const wchar_t* name : {L"ProductName", L"ProductVersion", L"FileVersion", L"CompanyName",
                                L"LegalCopyright", L"FileDescription"}) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        wchar_t* value = nullptr;
        UINT length = 0;
        const bool found =
            VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) &&
            value != nullptr;
        line(std::wstring(name) + L": " + (found ? std::wstring(value) : L"(none)"));
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) &&
        fixed != nullptr && length >= sizeof(VS_FIXEDFILEINFO)) {
        line(L"fixed-file-version: " + fourParts(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
        line(L"fixed-product-version: " +
             fourParts(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
    }
    WORD* translation = nullptr;
    if (VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                       reinterpret_cast<void**>(&translation), &length) &&
        translation != nullptr && length >= 4) {
        wchar_t text[16];
        wsprintfW(text, L"%04X %04X", translation[0], translation[1]);
        line(std::wstring(L"translation: ") + text);
    }
}

void icons(const wchar_t* file) {
    line(L"icon-groups: " + std::to_wstring(ExtractIconExW(file, -1, nullptr, nullptr, 0)));
    UniqueIcon large;
    ExtractIconExW(file, 0, large.put(), nullptr, 1);
    line(L"large-icon: " + iconSize(large.get()));
    const launcher::UniqueModule module(
        LoadLibraryExW(file, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    UniqueIcon loaded;
    if (module) {
        loaded.reset(static_cast<HICON>(
            LoadImageW(module.get(), MAKEINTRESOURCEW(1), IMAGE_ICON, 16, 16, 0)));
    }
    line(L"loaded-icon: " + iconSize(loaded.get()));
}

void message(const wchar_t* file, const wchar_t* id, std::vector<const wchar_t*> inserts) {
    const std::wstring name = std::wstring(L"message-") + id + L": ";
    const launcher::UniqueModule module(LoadLibraryExW(file, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) {
        line(name + L"none (error " + std::to_wstring(GetLastError()) + L" loading the file)");
        return;
    }
    inserts.resize(9, L"(missing insert)");
    std::vector<DWORD_PTR> arguments;
    for (const wchar_t* insert : inserts) arguments.push_back(reinterpret_cast<DWORD_PTR>(insert));
    std::vector<wchar_t> text(8192);
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                        module.get(), static_cast<DWORD>(wcstoul(id, nullptr, 10)),
                                        0, text.data(), static_cast<DWORD>(text.size()),
                                        reinterpret_cast<va_list*>(arguments.data()));
    if (length == 0) {
        line(name + L"none (error " + std::to_wstring(GetLastError()) + L")");
        return;
    }
    std::wstring found(text.data(), length);
    if (found.ends_with(L"\r\n")) found.resize(found.size() - 2);
    line(name + found);
}

}  // namespace

int main() {
    int argc = 0;
    const launcher::UniqueLocal argv(CommandLineToArgvW(GetCommandLineW(), &argc));
    const auto args = static_cast<wchar_t**>(argv.get());
    if (argv && argc >= 4 && std::wstring(args[2]) == L"--message") {
        message(args[1], args[3], std::vector<const wchar_t*>(args + 4, args + argc));
        return 0;
    }
    if (!argv || argc != 2) {
        helpers::writeUtf8Line(GetStdHandle(STD_ERROR_HANDLE),
                               L"usage: file_info.exe FILE [--message ID [INSERT...]]");
        return 2;
    }
    const wchar_t* file = args[1];
    versionInfo(file);
    icons(file);
    return 0;
}
