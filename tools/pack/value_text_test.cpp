#include "value_text.h"

#include <gtest/gtest.h>

using pack::decodeNarrowField;
using pack::decodeWideField;
using pack::encodeNarrowField;
using pack::encodeNarrowToken;
using pack::encodeWideField;

namespace {

std::string narrow(std::string_view field) {
    std::string value, error;
    EXPECT_TRUE(decodeNarrowField(field, value, error)) << field << ": " << error;
    return value;
}

std::u16string wide(std::string_view field) {
    std::u16string value;
    std::string error;
    EXPECT_TRUE(decodeWideField(field, value, error)) << field << ": " << error;
    return value;
}

std::string narrowError(std::string_view field) {
    std::string value, error;
    EXPECT_FALSE(decodeNarrowField(field, value, error)) << field;
    return error;
}

std::string wideError(std::string_view field) {
    std::u16string value;
    std::string error;
    EXPECT_FALSE(decodeWideField(field, value, error)) << field;
    return error;
}

TEST(DecodeField, VerbatimKeepsBackslashesHashesAndBlanks) {
    EXPECT_EQ(narrow(R"(C:\Program Files\new\x41;#1  )"), R"(C:\Program Files\new\x41;#1  )");
    EXPECT_EQ(narrow(" lead"), " lead");
    EXPECT_EQ(narrow(""), "");
    EXPECT_EQ(narrow("a\"b\""), "a\"b\"");  // a quote that does not start the field is text
}

TEST(DecodeField, QuotedEscapes) {
    EXPECT_EQ(narrow(R"("a\\b\"c\nd\re\tf")"), "a\\b\"c\nd\re\tf");
    EXPECT_EQ(narrow(R"("\x00\xff\xA7")"), std::string("\x00\xFF\xA7", 3));
    EXPECT_EQ(narrow(R"("")"), "");
    EXPECT_EQ(narrow(R"("  both ends  ")"), "  both ends  ");
    EXPECT_EQ(narrow("\"x\"  \t"), "x");  // blanks behind the closing quote are ignored
}

TEST(DecodeField, QuotedErrors) {
    EXPECT_EQ(narrowError(R"("open)"), "missing closing quote");
    EXPECT_EQ(narrowError(R"("a" b)"), "text after the closing quote");
    EXPECT_EQ(narrowError(R"("a\q")"), R"(unknown escape \q (known: \\ \" \n \r \t \xHH \uHHHH))");
    EXPECT_EQ(narrowError(R"("\x4")"), "\\x needs two hex digits");
    EXPECT_EQ(narrowError(R"("\xg0")"), "\\x needs two hex digits");
    EXPECT_EQ(narrowError("\"a\\"), "backslash at the end of a quoted value");
    EXPECT_EQ(narrowError(R"("\u0041")"),
              "\\u is only allowed in wide values; write bytes as \\xHH");
    EXPECT_EQ(wideError(R"("\u004")"), "\\u needs four hex digits");
}

TEST(DecodeField, WideIsUtf8TextStoredAsUtf16) {
    EXPECT_EQ(wide("Fehler \xC3\xBC \xF0\x9F\x98\x80"), u"Fehler \u00FC \U0001F600");
    EXPECT_EQ(wide(R"("\uD800\x41\u00fc")"), std::u16string({0xD800, u'A', 0xFC}));
    EXPECT_EQ(wide("\"\xE2\x82\xAC\\t\""), u"\u20AC\t");
}

TEST(DecodeField, WideRefusesMalformedUtf8) {
    EXPECT_EQ(wideError("ab\xFF"), "invalid UTF-8 at byte 3 of the value");
    EXPECT_EQ(wideError("\xC0\x80"), "invalid UTF-8 at byte 1 of the value");      // overlong
    EXPECT_EQ(wideError("\xED\xA0\x80"), "invalid UTF-8 at byte 1 of the value");  // surrogate
    EXPECT_EQ(wideError("x\xE2\x82"), "invalid UTF-8 at byte 2 of the value");     // cut short
    EXPECT_EQ(wideError("\"a\xF5\x80\x80\x80\""), "invalid UTF-8 at byte 3 of the value");
}

TEST(EncodeField, PlainValuesStayVerbatim) {
    EXPECT_EQ(encodeNarrowField(R"(C:\Java\bin;x #y)"), R"(C:\Java\bin;x #y)");
    EXPECT_EQ(encodeWideField(u"Fehler \u00FC"), "Fehler \xC3\xBC");
    EXPECT_EQ(encodeNarrowToken("lib\\a.dll"), "lib\\a.dll");
}

TEST(EncodeField, AmbiguousValuesAreQuoted) {
    EXPECT_EQ(encodeNarrowField(""), "\"\"");
    EXPECT_EQ(encodeNarrowField(" x"), "\" x\"");
    EXPECT_EQ(encodeNarrowField("x "), "\"x \"");
    EXPECT_EQ(encodeNarrowField("\"q\\"), R"("\"q\\")");
    EXPECT_EQ(encodeNarrowField(std::string("a\tb\n\x01\xE9", 6)), R"("a\tb\n\x01\xE9")");
    EXPECT_EQ(encodeWideField(std::u16string({0xD800, u'a'})), R"("\uD800a")");
    EXPECT_EQ(encodeWideField(u"\uFEFFx\u0085"), R"("\uFEFFx\x85")");
    EXPECT_EQ(encodeNarrowToken("my lib\\a.dll"), R"("my lib\\a.dll")");
}

TEST(EncodeField, EveryByteRoundTrips) {
    for (int b = 0; b < 256; ++b) {
        const std::string value = {'x', static_cast<char>(b), 'y'};
        EXPECT_EQ(narrow(encodeNarrowField(value)), value) << b;
        EXPECT_EQ(narrow(encodeNarrowField(value.substr(1))), value.substr(1)) << b;
    }
}

TEST(EncodeField, WideValuesRoundTrip) {
    const std::u16string values[] = {u"",
                                     u" ",
                                     u"\"",
                                     u"\\",
                                     u"a\"b",
                                     u"\t\r\n",
                                     std::u16string(1, u'\0'),
                                     u"\U0001F600 x",
                                     std::u16string({0xDC00, 0xD800}),
                                     std::u16string({0xD83D}),
                                     u"\u2028\uFFFF\uFFFE",
                                     u"\u00A0nbsp",
                                     u"#;\\"};
    for (const auto& value : values) {
        const std::string field = encodeWideField(value);
        EXPECT_EQ(wide(field), value) << field;
    }
    for (uint32_t unit = 0; unit < 0x10000; unit += 7) {
        const std::u16string value = {u'a', static_cast<char16_t>(unit)};
        EXPECT_EQ(wide(encodeWideField(value)), value) << unit;
    }
}

}  // namespace
