// Code page 437 against Unicode: the shared table both ways and the UTF-8
// helpers the window bindings use for typed characters and titles.
#include <gtest/gtest.h>

#include "runtime/code_page_437.h"

namespace {

TEST(CodePage437Test, EveryByteRoundTripsThroughUnicode) {
    for (int b = 1; b < 256; ++b) {
        const char32_t u = lichtbox::cp437_to_unicode(uint8_t(b));
        if (b < 0x80) continue;  // below 0x80 Unicode values map to themselves
        EXPECT_EQ(lichtbox::unicode_to_cp437(u), b) << b;
    }
    EXPECT_EQ(lichtbox::unicode_to_cp437(U'\u00E4'), 0x84);  // ä
    EXPECT_EQ(lichtbox::unicode_to_cp437(U'\u00DF'), 0xE1);  // ß
    EXPECT_EQ(lichtbox::unicode_to_cp437(U'\r'), 0x0D);      // control bytes stay
    EXPECT_EQ(lichtbox::unicode_to_cp437(U'\u263A'), 0x01);  // the symbol of byte 1
    EXPECT_EQ(lichtbox::unicode_to_cp437(U'\u20AC'), -1);    // no euro sign
    EXPECT_EQ(lichtbox::unicode_to_cp437(U'\U0001F600'), -1);
}

TEST(CodePage437Test, Utf8DecodingAndEncoding) {
    struct Case {
        std::string text;
        char32_t u;
        std::size_t length;
    } const cases[] = {
        {"a", U'a', 1},           {"\xC3\xA4", U'\u00E4', 2}, {"\xE2\x82\xAC", U'\u20AC', 3},
        {"\xF0\x9F\x98\x80", U'\U0001F600', 4}, {"\xC3", 0xFFFD, 1}, {"\x80", 0xFFFD, 1},
        {"\xC0\xAF", 0xFFFD, 2},  // overlong
        {"\xED\xA0\x80", 0xFFFD, 3},  // surrogate
    };
    for (const Case& c : cases) {
        char32_t u = 0;
        EXPECT_EQ(lichtbox::utf8_decode(c.text, &u), c.length) << c.text;
        EXPECT_EQ(u, c.u) << c.text;
    }
    char32_t u;
    EXPECT_EQ(lichtbox::utf8_decode("", &u), 0u);
    EXPECT_EQ(lichtbox::cp437_to_utf8("Gr\x94\xE1" "e"), "Gr\xC3\xB6\xC3\x9F" "e");
}

}  // namespace
