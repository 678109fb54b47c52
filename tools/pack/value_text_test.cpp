#include "value_text.h"

#include <gtest/gtest.h>

using pack::encodeNarrowField;
using pack::encodeWideField;

TEST(EncodeField, PlainValuesStayVerbatim) {
    EXPECT_EQ(encodeNarrowField(R"(C:\Java\bin;x #y)"), R"(C:\Java\bin;x #y)");
    EXPECT_EQ(encodeWideField(u"Fehler \u00FC"), "Fehler \xC3\xBC");
}

TEST(EncodeField, AmbiguousValuesAreQuoted) {
    EXPECT_EQ(encodeNarrowField(""), "\"\"");
    EXPECT_EQ(encodeNarrowField(" x"), "\" x\"");
    EXPECT_EQ(encodeNarrowField("x "), "\"x \"");
    EXPECT_EQ(encodeNarrowField("\"q\\"), R"("\"q\\")");
    EXPECT_EQ(encodeNarrowField(std::string("a\tb\n\x01\xE9", 6)), R"("a\tb\n\x01\xE9")");
    EXPECT_EQ(encodeWideField(std::u16string({0xD800, u'a'})), R"("\uD800a")");
    EXPECT_EQ(encodeWideField(u"\uFEFFx\u0085"), R"("\uFEFFx\x85")");
}
