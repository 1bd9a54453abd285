// The built-in fonts and palettes: the committed compressed block, its
// decoding and the font and palette records.

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <thread>
#include <vector>

#include "gfx/core/builtin_data.h"
#include "gfx/gfx.h"
#include "tools/builtin_tables.h"
#include "tools/lzw_encode.h"

namespace {

using Bytes = std::vector<uint8_t>;

const uint8_t* decoded() {
    gfx_decode_builtin_data();
    return gfx_builtin_data();
}

Bytes glyph(const GfxFont& font, int c) {
    const uint8_t* p = font.data + c * font.h;
    return Bytes(p, p + font.h);
}

// Each row's pixels in the opposite order.
Bytes mirrored(Bytes rows) {
    for (auto& r : rows) {
        uint8_t m = 0;
        for (int x = 0; x < 8; ++x)
            if (r & (1 << x)) m |= static_cast<uint8_t>(0x80 >> x);
        r = m;
    }
    return rows;
}

// Rows that have a pixel set, without the blank ones above and below.
Bytes inked_rows(const Bytes& rows) {
    size_t top = 0, bottom = rows.size();
    while (top < bottom && rows[top] == 0) ++top;
    while (bottom > top && rows[bottom - 1] == 0) --bottom;
    return Bytes(rows.begin() + static_cast<std::ptrdiff_t>(top),
                 rows.begin() + static_cast<std::ptrdiff_t>(bottom));
}

// ---- the compressed block ------------------------------------------------

TEST(BuiltinBlob, DecodesToExactlyTheBlockEndingAtTheEndCode) {
    Bytes out(20000);
    size_t count = out.size();
    EXPECT_EQ(gfx_lzw_decode(gfx::builtin_blob, gfx::builtin_blob_size, out.data(), &count), 0);
    EXPECT_EQ(count, size_t{GFX_BUILTIN_DECODED_SIZE});

    count = GFX_BUILTIN_DECODED_SIZE;
    EXPECT_EQ(gfx_lzw_decode(gfx::builtin_blob, gfx::builtin_blob_size, out.data(), &count), 0);
    EXPECT_EQ(count, size_t{GFX_BUILTIN_DECODED_SIZE});

    count = GFX_BUILTIN_DECODED_SIZE - 1;
    EXPECT_EQ(gfx_lzw_decode(gfx::builtin_blob, gfx::builtin_blob_size, out.data(), &count), -1);
}

// The blob is the encoder's output for the decoded block, so regenerating
// from the same fonts reproduces it byte for byte.
TEST(BuiltinBlob, IsTheEncodingOfTheDecodedBlock) {
    const uint8_t* data = decoded();
    const Bytes block(data, data + GFX_BUILTIN_DECODED_SIZE);
    const Bytes blob(gfx::builtin_blob, gfx::builtin_blob + gfx::builtin_blob_size);
    EXPECT_EQ(lzw::encode(block) == blob, true);
}

TEST(BuiltinBlob, PalettesMatchTheGeneratorTables) {
    const uint8_t* data = decoded();
    const auto expect_palette = [&](size_t offset, const std::vector<builtin::Rgb>& colours) {
        for (size_t i = 0; i < colours.size(); ++i) {
            const uint8_t* p = data + offset + 3 * i;
            EXPECT_EQ((builtin::Rgb{p[0], p[1], p[2]}), colours[i])
                << "offset " << offset << " entry " << i;
        }
    };
    expect_palette(builtin::kPalette2Offset, builtin::palette2());
    expect_palette(builtin::kPalette16Offset, builtin::palette16());
    expect_palette(builtin::kPalette64Offset, builtin::palette64());
    expect_palette(builtin::kPalette256Offset, builtin::palette256());
}

// ---- decoding once ----------------------------------------------------------

TEST(BuiltinDecode, RunsOnceHoweverOftenAndFromWhereverCalled) {
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) threads.emplace_back([] { gfx_decode_builtin_data(); });
    for (auto& t : threads) t.join();
    gfx_decode_builtin_data();
    EXPECT_EQ(gfx::builtin_decode_runs(), 1);

    Bytes direct(GFX_BUILTIN_DECODED_SIZE);
    size_t count = direct.size();
    gfx_lzw_decode(gfx::builtin_blob, gfx::builtin_blob_size, direct.data(), &count);
    EXPECT_EQ(Bytes(gfx_builtin_data(), gfx_builtin_data() + GFX_BUILTIN_DECODED_SIZE) == direct,
              true);
}

// ---- records ----------------------------------------------------------------

TEST(BuiltinFont, TableOrderIs8x16Then8x14Then8x8) {
    const uint8_t* data = decoded();
    struct Expected {
        int32_t h;
        size_t offset;
    };
    const Expected expected[] = {{16, 5632}, {14, 2048}, {8, 0}};
    for (int32_t i = 0; i < 3; ++i) {
        const GfxFont* font = gfx_builtin_font(i);
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(font->w, 8);
        EXPECT_EQ(font->h, expected[i].h);
        EXPECT_EQ(font->data, data + expected[i].offset);
    }
    EXPECT_EQ(gfx_builtin_font(3), nullptr);
    EXPECT_EQ(gfx_builtin_font(-1), nullptr);
}

TEST(BuiltinPalette, TableOrderIs256Then64Then16Then2) {
    const uint8_t* data = decoded();
    struct Expected {
        int32_t count;
        size_t offset;
    };
    const Expected expected[] = {{256, 9974}, {64, 9782}, {16, 9734}, {2, 9728}};
    for (int32_t i = 0; i < 4; ++i) {
        const GfxPaletteInfo* palette = gfx_builtin_palette(i);
        ASSERT_NE(palette, nullptr);
        EXPECT_EQ(palette->count, expected[i].count);
        EXPECT_EQ(palette->entries, data + expected[i].offset);
    }
    EXPECT_EQ(gfx_builtin_palette(4), nullptr);
    EXPECT_EQ(gfx_builtin_palette(-1), nullptr);
}

// ---- glyphs -----------------------------------------------------------------

TEST(BuiltinFont, CapitalAStandsWhereExpectedWithItsLeftmostPixelInBit0) {
    const uint8_t* data = decoded();
    const Bytes a8{0x1C, 0x36, 0x63, 0x7F, 0x63, 0x63, 0x63, 0x00};
    const Bytes a14{0x00, 0x00, 0x00, 0x08, 0x1C, 0x36, 0x63,
                    0x63, 0x7F, 0x63, 0x63, 0x63, 0x00, 0x00};
    const Bytes a16{0x00, 0x00, 0x08, 0x1C, 0x36, 0x63, 0x63, 0x7F,
                    0x63, 0x63, 0x63, 0x63, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Bytes(data + 520, data + 528), a8);
    EXPECT_EQ(Bytes(data + 2048 + 910, data + 2048 + 924), a14);
    EXPECT_EQ(Bytes(data + 5632 + 1040, data + 5632 + 1056), a16);
}

class BuiltinGlyphs : public ::testing::TestWithParam<int32_t> {
protected:
    const GfxFont& font() {
        decoded();
        return *gfx_builtin_font(GetParam());
    }
};

TEST_P(BuiltinGlyphs, BlocksAndLinesTouchTheCellEdges) {
    const GfxFont& f = font();
    const auto rows_all = [&](int c, uint8_t v) { return glyph(f, c) == Bytes(f.h, v); };
    EXPECT_TRUE(rows_all(0xDB, 0xFF)) << "full block";
    EXPECT_TRUE(rows_all(0xDD, 0x0F)) << "left half block";
    EXPECT_TRUE(rows_all(0xDE, 0xF0)) << "right half block";
    EXPECT_TRUE(rows_all(0xB3, 0x18)) << "vertical line";
    EXPECT_TRUE(rows_all(0x20, 0x00)) << "space";
    EXPECT_TRUE(rows_all(0x00, 0x00));

    // Horizontal line: one full row, nothing else; the cross adds the
    // vertical line above and below it.
    const Bytes line = glyph(f, 0xC4);
    EXPECT_EQ(inked_rows(line), Bytes{0xFF});
    const Bytes cross = glyph(f, 0xC5);
    for (int r = 0; r < f.h; ++r)
        EXPECT_EQ(cross[r], line[r] == 0xFF ? 0xFF : 0x18) << "row " << r;
}

TEST_P(BuiltinGlyphs, UmlautsAreTheirBaseLettersWithDots) {
    const GfxFont& f = font();
    const std::pair<int, int> pairs[] = {{0x81, 'u'}, {0x84, 'a'}, {0x94, 'o'}};
    for (auto [umlaut, base] : pairs) {
        const Bytes u = glyph(f, umlaut), b = glyph(f, base);
        int extra_rows = 0;
        for (int r = 0; r < f.h; ++r) {
            if (u[r] == b[r]) continue;
            ++extra_rows;
            EXPECT_EQ(b[r], 0) << "code " << umlaut << " row " << r;
        }
        EXPECT_EQ(extra_rows, 1) << "code " << umlaut;
    }
}

TEST_P(BuiltinGlyphs, CodePage437SymbolsStandInTheirPlaces) {
    const GfxFont& f = font();
    // Cent (0x9B): the stroke sticks out above and below the c.
    const Bytes cent = inked_rows(glyph(f, 0x9B));
    ASSERT_GE(cent.size(), 4u);
    EXPECT_EQ(cent.front(), 0x18);
    EXPECT_EQ(cent.back(), 0x18);
    // Yen (0x9D): symmetric, standing on a vertical stroke.
    const Bytes yen = glyph(f, 0x9D);
    EXPECT_EQ(mirrored(yen), yen);
    EXPECT_EQ(inked_rows(yen).back(), 0x18);
    // >> (0xAF) points right: its middle row lies right of its top row;
    // << (0xAE) beside it points left.
    const auto tip_shift = [&](int c) {
        const Bytes rows = inked_rows(glyph(f, c));
        EXPECT_GE(rows.size(), 3u) << "code " << c;
        if (rows.size() < 3) return 0;
        return std::countr_zero(rows[rows.size() / 2]) - std::countr_zero(rows.front());
    };
    EXPECT_GT(tip_shift(0xAF), 0);
    EXPECT_LT(tip_shift(0xAE), 0);
    // Smiling face (0x01): symmetric, and not the inverse face beside it.
    const Bytes smile = glyph(f, 0x01);
    EXPECT_EQ(mirrored(smile), smile);
    EXPECT_NE(glyph(f, 0x01), glyph(f, 0x02));
    // Sharp s (0xE1): drawn, and not a copy of B.
    EXPECT_NE(inked_rows(glyph(f, 0xE1)).size(), 0u);
    EXPECT_NE(glyph(f, 0xE1), glyph(f, 'B'));
}

INSTANTIATE_TEST_SUITE_P(AllFonts, BuiltinGlyphs, ::testing::Values(0, 1, 2),
                         [](const auto& info) {
                             return std::string(info.param == 0   ? "Font8x16"
                                                : info.param == 1 ? "Font8x14"
                                                                  : "Font8x8");
                         });

// ---- palettes ---------------------------------------------------------------

builtin::Rgb entry(int32_t palette, int i) {
    const uint8_t* p = gfx_builtin_palette(palette)->entries + 3 * i;
    return {p[0], p[1], p[2]};
}

TEST(BuiltinPalette, SixteenColours) {
    decoded();
    const builtin::Rgb expected[16] = {
        {0, 0, 0},      {0, 0, 170},    {0, 170, 0},    {0, 170, 170},
        {170, 0, 0},    {170, 0, 170},  {170, 85, 0},   {170, 170, 170},
        {85, 85, 85},   {85, 85, 255},  {85, 255, 85},  {85, 255, 255},
        {255, 85, 85},  {255, 85, 255}, {255, 255, 85}, {255, 255, 255},
    };
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(entry(2, i), expected[i]) << "16-colour entry " << i;
        EXPECT_EQ(entry(0, i), expected[i]) << "256-colour entry " << i;
    }
}

TEST(BuiltinPalette, TwoAndSixtyFourColours) {
    decoded();
    EXPECT_EQ(entry(3, 0), (builtin::Rgb{0, 0, 0}));
    EXPECT_EQ(entry(3, 1), (builtin::Rgb{255, 255, 255}));
    // Index bits from bit 0: b, g, r, B, G, R.
    EXPECT_EQ(entry(1, 0), (builtin::Rgb{0, 0, 0}));
    EXPECT_EQ(entry(1, 1), (builtin::Rgb{0, 0, 170}));
    EXPECT_EQ(entry(1, 4), (builtin::Rgb{170, 0, 0}));
    EXPECT_EQ(entry(1, 8), (builtin::Rgb{0, 0, 85}));
    EXPECT_EQ(entry(1, 32), (builtin::Rgb{85, 0, 0}));
    EXPECT_EQ(entry(1, 20), (builtin::Rgb{170, 85, 0}));
    EXPECT_EQ(entry(1, 63), (builtin::Rgb{255, 255, 255}));
}

TEST(BuiltinPalette, TwoHundredFiftySixColours) {
    decoded();
    struct Case {
        int index;
        builtin::Rgb rgb;
    };
    const Case cases[] = {
        {16, {0, 0, 0}},        {17, {20, 20, 20}},   {23, {97, 97, 97}},
        {31, {255, 255, 255}},  {32, {0, 0, 255}},    {33, {64, 0, 255}},
        {36, {255, 0, 255}},    {40, {255, 0, 0}},    {44, {255, 255, 0}},
        {48, {0, 255, 0}},      {52, {0, 255, 255}},  {55, {0, 64, 255}},
        {56, {125, 125, 255}},  {104, {0, 0, 113}},   {247, {44, 48, 64}},
        {248, {0, 0, 0}},       {255, {0, 0, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(entry(0, c.index), c.rgb) << "entry " << c.index;
}

}  // namespace
