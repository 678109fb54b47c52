#include "common/text_format.h"

#include <gtest/gtest.h>

using launcher::formatA;
using launcher::formatW;

TEST(FormatWide, StringSpecifiersFollowTheWindowsConvention) {
    EXPECT_EQ(formatW(L"command line %s", std::wstring(L"a b")), L"command line a b");
    EXPECT_EQ(formatW(L"tempPath is %S", std::string("C:\\t")), L"tempPath is C:\\t");
    EXPECT_EQ(formatW(L"%s|%S", L"w", "n"), L"w|n");
    // A narrow byte above 0x7F widens to the code unit of the same value.
    EXPECT_EQ(formatW(L"%S", "\xE9"), std::wstring(1, L'\xE9'));
}

TEST(FormatWide, Numbers) {
    EXPECT_EQ(formatW(L"error %d %d\n", 38, -1), L"error 38 -1\n");
    EXPECT_EQ(formatW(L"(size: %I64d)", int64_t(1) << 40), L"(size: 1099511627776)");
    EXPECT_EQ(formatW(L"%d", 0x80000000u), L"-2147483648");
    EXPECT_EQ(formatW(L"%c%c", L'x', 'y'), L"xy");
    EXPECT_EQ(formatW(L"100%%"), L"100%");
}

TEST(FormatWide, PointersPrintAsSixteenHexDigits) {
    EXPECT_EQ(
        formatW(L"Could not open %p", reinterpret_cast<void*>(uintptr_t(0xFFFFFFFFFFFFFFFFull))),
        L"Could not open FFFFFFFFFFFFFFFF");
    EXPECT_EQ(formatW(L"%p", static_cast<void*>(nullptr)), L"0000000000000000");
}

TEST(FormatWide, MissingOrMismatchedArgumentsNeverReadBeyond) {
    EXPECT_EQ(formatW(L"a %s b %d c"), L"a  b  c");
    EXPECT_EQ(formatW(L"%d", L"text"), L"");
    EXPECT_EQ(formatW(L"%s", 5), L"");
    EXPECT_EQ(formatW(L"%q %"), L"%q %");
    EXPECT_EQ(formatW(L"%I64"), L"%I64");
}

TEST(FormatNarrow, SameConventionForNarrowFormats) {
    EXPECT_EQ(formatA("%s_dir%lld", std::string("C:\\t\\lmx1.tmp"), 1700000000LL),
              "C:\\t\\lmx1.tmp_dir1700000000");
    EXPECT_EQ(formatA("%slmx%d", "C:\\t\\", 42), "C:\\t\\lmx42");
    EXPECT_EQ(formatA("%S", std::wstring(L"a\x263A")), "a?");
}

namespace {
std::wstring viaVaList(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring out = launcher::formatWideV(format, args);
    va_end(args);
    return out;
}
}  // namespace

TEST(FormatWideV, TakesArgumentsByTheirSpecifiers) {
    EXPECT_EQ(viaVaList(L"%s %S %d %I64d %c %%", L"w", "n", -3, 5000000000LL, int(L'z')),
              L"w n -3 5000000000 z %");
    EXPECT_EQ(viaVaList(L"%p", reinterpret_cast<void*>(0x1234)), L"0000000000001234");
    EXPECT_EQ(viaVaList(L"%s", static_cast<const wchar_t*>(nullptr)), L"(null)");
}
