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

// Every conversion of the C runtime takes exactly its own argument, so a "%s" after it still
// reads a string: a shifted argument list would print the wrong text or fault on a number read
// as a pointer.
TEST(FormatWideV, EveryRuntimeConversionTakesItsOwnArgument) {
    struct Ansi {
        uint16_t length, maximum;
        const char* buffer;
    } ansi{3, 4, "abcdef"};
    struct Unicode {
        uint16_t length, maximum;
        const wchar_t* buffer;
    } unicode{uint16_t(2 * sizeof(wchar_t)), 4, L"xyz"};
    int counted = 7;
    const struct {
        std::wstring got, want;
    } rows[] = {
        {viaVaList(L"%x %s", 42, L"after"), L"2a after"},
        {viaVaList(L"%X|%#x|%#o|%o", 0xBEEFu, 255u, 8u, 8u), L"BEEF|0xff|010|10"},
        {viaVaList(L"%u %s", -1, L"after"), L"4294967295 after"},
        {viaVaList(L"%i|%+d|% d|%05d|%-4d|%.3d", 7, 7, 7, -42, 7, 7), L"7|+7| 7|-0042|7   |007"},
        {viaVaList(L"%5d|%*d|%-*d|%s", 42, 4, 1, -3, 2, L"end"), L"   42|   1|2  |end"},
        {viaVaList(L"%hd %hu %hhx %s", 0x12345, 70000, 0x1FF, L"e"), L"9029 4464 ff e"},
        {viaVaList(L"%ld %lu %s", -5L, 6UL, L"e"), L"-5 6 e"},
        {viaVaList(L"%lld %I64x %I32d %s", -5000000000LL, 0x1122334455LL, -9, L"e"),
         L"-5000000000 1122334455 -9 e"},
        {viaVaList(L"%zu %Iu %jd %td %s", size_t(1) << 40, size_t(3), intmax_t(-4), ptrdiff_t(5),
                   L"e"),
         L"1099511627776 3 -4 5 e"},
        {viaVaList(L"%ls %ws %hs %S %lS %s", L"w1", L"w2", "n1", "n2", L"w3", L"last"),
         L"w1 w2 n1 n2 w3 last"},
        {viaVaList(L"[%-10s][%10S][%.*s][%.2s]", L"left", "right", 3, L"abcdef", L"xyz"),
         L"[left      ][     right][abc][xy]"},
        {viaVaList(L"%c%C%hc%lc%wc %s", int(L'\x263A'), int('b'), int('c'), int(L'd'), int(L'e'),
                   L"e"),
         L"\x263A"
         L"bcde e"},
        {viaVaList(L"%Z|%wZ|%s", &ansi, &unicode, L"e"), L"abc|xy|e"},
        {viaVaList(L"%f %.2f %.0f %e %s", 1.5, 3.14159, 2.6, 12345.678, L"e"),
         L"1.500000 3.14 3 1.234568e+04 e"},
        {viaVaList(L"%g %g %G %8.3f|%-8.1e|%s", 0.0001, 1e20, 1e-5, -2.0, 5.0, L"e"),
         L"0.0001 1e+20 1E-05   -2.000|5.0e+00 |e"},
        {viaVaList(L"%a %Lf %s", 1.0, static_cast<long double>(0.25), L"e"),
         L"0x1.0000000000000p+0 0.250000 e"},
        {viaVaList(L"%p|%20p|%s", reinterpret_cast<void*>(0xABCDEF), static_cast<void*>(nullptr),
                   L"e"),
         L"0000000000ABCDEF|    0000000000000000|e"},
        // %n counts nothing into the caller's memory; it only takes its pointer.
        {viaVaList(L"a%nb %s", &counted, L"e"), L"ab e"},
        // Hostile widths are cut, never allocated in full.
        {viaVaList(L"%99999999999d", 1).size() == 4096 ? L"cut" : L"not cut", L"cut"},
        // A conversion that cannot be sized ends the reading of arguments: the rest stands.
        {viaVaList(L"%d %y %s %d", 1, L"never read"), L"1 %y %s %d"},
        {viaVaList(L"%s %I16d %s", L"a", 2, L"b"), L"a %I16d %s"},
        {viaVaList(L"%wd %s", 1, L"b"), L"%wd %s"},
        {viaVaList(L"trailing %"), L"trailing %"},
        {viaVaList(L"%-"), L"%-"},
    };
    for (const auto& row : rows) EXPECT_EQ(row.got, row.want);
    EXPECT_EQ(counted, 7);
}
