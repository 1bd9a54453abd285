// The display converters: every cell's plain and wide variants agree byte
// for byte, hand-computed pixels per cell, the row walk's edge cases, and
// the converters on plain buffers with no screen open.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "gfx/core/context_internal.h"
#include "gfx/drivers/convert/blitters.h"
#include "gfx/drivers/convert/converters.h"
#include "gfx/drivers/convert/scale.h"

namespace {

using gfx::convert::PageFormat;

constexpr uint8_t kUntouched = 0xA5;

class BlitterTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("ZRGFX", "null", 1); }
    void TearDown() override { gfx_screen_set(0, 0, 0, 0, 0); }

    // Opens a w x h screen of depth, fills its visible page with random
    // bytes and marks every third row (and row 0) changed.
    GfxContext* open(int32_t w, int32_t h, int32_t depth, unsigned seed) {
        EXPECT_EQ(gfx_screen_set_size(w, h, depth, 1, 0, 0), 0);
        GfxContext* ctx = gfx_context();
        std::mt19937 rng(seed);
        for (int32_t i = 0; i < ctx->pitch * ctx->h; ++i) ctx->framebuffer[i] = uint8_t(rng());
        for (int32_t i = 0; i < 256; ++i) ctx->device_palette[i] = rng() & 0xFFFFFF;
        for (int32_t y = 0; y < ctx->h; ++y) ctx->dirty[y] = y % 3 == 0;
        return ctx;
    }

    // Runs blit into a device buffer of rows x pitch bytes pre-filled with
    // kUntouched.
    static std::vector<uint8_t> run(gfx::Blitter blit, int32_t rows, int32_t pitch) {
        std::vector<uint8_t> out(std::size_t(rows) * std::size_t(pitch), kUntouched);
        blit(out.data(), pitch);
        return out;
    }
};

TEST_F(BlitterTest, WideVariantsEqualThePlainOnesInEveryCell) {
    const struct {
        int32_t depth;
        PageFormat format;
    } pages[] = {{8, PageFormat::palette}, {16, PageFormat::rgb16}, {32, PageFormat::rgb32}};
    for (const auto& page : pages) {
        for (int32_t w : {4, 36, 44}) {
            const GfxContext* ctx = open(w, 9, page.depth, unsigned(w * page.depth));
            const int32_t pitch = w * 4 + 8;
            for (bool red_low : {false, true}) {
                gfx::convert::build_rgb16_tables(red_low);
                for (int32_t dev : {15, 16, 24, 32}) {
                    const auto plain = run(gfx::convert::cell(false, red_low, page.format, dev), ctx->h, pitch);
                    const auto wide = run(gfx::convert::cell(true, red_low, page.format, dev), ctx->h, pitch);
                    EXPECT_EQ(plain, wide) << "page " << page.depth << " device " << dev << " red low " << red_low
                                           << " width " << w;
                    // Rows not marked stay untouched; marked rows are written.
                    EXPECT_EQ(plain[std::size_t(pitch)], kUntouched);
                    EXPECT_EQ(plain[std::size_t(3 * pitch + w * (dev == 24 ? 3 : dev / 8 == 4 ? 4 : 2))],
                              kUntouched);
                }
            }
            if (page.depth == 8) {
                EXPECT_EQ(run(gfx::convert::row_copy(false), ctx->h, pitch),
                          run(gfx::convert::row_copy(true), ctx->h, pitch));
            }
            if (page.depth == 32) {
                EXPECT_EQ(run(gfx::convert::shaped(false), ctx->h, pitch),
                          run(gfx::convert::shaped(true), ctx->h, pitch));
            }
            gfx_screen_set(0, 0, 0, 0, 0);
        }
    }
}

struct PixelCase {
    int32_t page_depth;
    uint32_t pixel;  // page pixel (palette index 1 for depth 8)
    bool red_low;
    int32_t device;
    uint32_t expected;  // device pixel, least significant byte first in memory
};

TEST_F(BlitterTest, CellsGiveTheDevicePixel) {
    // Palette entry 1 is red 0x12, green 0x34, blue 0x56.
    const PixelCase cases[] = {
        {8, 1, false, 15, (0x12 >> 3) << 10 | (0x34 >> 3) << 5 | 0x56 >> 3},
        {8, 1, true, 15, (0x56 >> 3) << 10 | (0x34 >> 3) << 5 | 0x12 >> 3},
        {8, 1, false, 16, 0x11AA},
        {8, 1, false, 24, 0x123456},
        {8, 1, true, 24, 0x563412},
        {8, 1, false, 32, 0x123456},
        {8, 1, true, 32, 0x563412},
        {16, 0xF81F, false, 15, 0x7C1F},
        {16, 0xF800, true, 15, 0x001F},
        {16, 0x07E0, false, 16, 0x07E0},
        {16, 0xF801, true, 16, 0x081F},
        {16, 0xF81F, false, 32, 0xF800F8},
        {16, 0x001F, true, 32, 0xF80000},
        {16, 0x07E1, false, 24, 0x00FC08},
        {32, 0xFFFFFFFF, false, 15, 0x7FFF},
        {32, 0xFFFFFFFF, true, 15, 0x7FFF},
        {32, 0xFF123456, false, 16, 0x11AA},
        {32, 0xFF123456, true, 16, (0x56 >> 3) << 11 | (0x34 >> 2) << 5 | 0x12 >> 3},
        {32, 0xFF123456, false, 24, 0x123456},
        {32, 0xFF123456, true, 24, 0x563412},
        {32, 0x80123456, false, 32, 0x80123456},
        {32, 0x80123456, true, 32, 0x80563412},
    };
    for (const PixelCase& c : cases) {
        for (bool wide : {false, true}) {
            ASSERT_EQ(gfx_screen_set_size(8, 1, c.page_depth, 1, 0, 0), 0);
            GfxContext* ctx = gfx_context();
            ctx->device_palette[1] = 0x563412;
            for (int32_t x = 0; x < 8; ++x)
                std::memcpy(ctx->framebuffer + x * ctx->bpp, &c.pixel, std::size_t(ctx->bpp));
            ctx->dirty[0] = 1;
            gfx::convert::build_rgb16_tables(c.red_low);
            const auto format = c.page_depth == 8 ? PageFormat::palette
                                : c.page_depth == 16 ? PageFormat::rgb16 : PageFormat::rgb32;
            const auto out = run(gfx::convert::cell(wide, c.red_low, format, c.device), 1, 40);
            const int32_t bytes = c.device == 24 ? 3 : c.device == 32 ? 4 : 2;
            for (int32_t x = 0; x < 8; ++x) {
                uint32_t v = 0;
                std::memcpy(&v, out.data() + x * bytes, std::size_t(bytes));
                EXPECT_EQ(v, c.expected) << "page " << c.page_depth << " device " << c.device << " red low "
                                         << c.red_low << " wide " << wide << " pixel " << x;
            }
            EXPECT_EQ(out[std::size_t(8 * bytes)], kUntouched);
        }
    }
}

TEST_F(BlitterTest, NothingChangedWritesNothing) {
    GfxContext* ctx = open(16, 4, 32, 7);
    std::memset(ctx->dirty, 0, std::size_t(ctx->h));
    const auto out = run(gfx::gfx_blitter_select(16, false), ctx->h, 64);
    EXPECT_EQ(out, std::vector<uint8_t>(out.size(), kUntouched));
}

TEST_F(BlitterTest, DoubledScanlinesFillTwoDeviceRows) {
    ASSERT_EQ(gfx_screen_set(8, 0, 1, 0, 0), 0);  // 640 x 200, two device rows per page row
    GfxContext* ctx = gfx_context();
    ASSERT_EQ(ctx->scanline_size, 2);
    std::memset(ctx->dirty, 0, std::size_t(ctx->h) * 2);
    ctx->framebuffer[5 * ctx->pitch] = 3;
    ctx->device_palette[3] = 0x0000FF;
    ctx->dirty[5] = 1;
    const int32_t pitch = ctx->w * 4;
    const auto out = run(gfx::gfx_blitter_select(32, false), ctx->h * 2, pitch);
    for (int32_t row : {10, 11}) {
        uint32_t v;
        std::memcpy(&v, out.data() + std::size_t(row * pitch), 4);
        EXPECT_EQ(v, 0xFF0000u) << row;
    }
    EXPECT_EQ(out[std::size_t(9 * pitch)], kUntouched);
    EXPECT_EQ(out[std::size_t(12 * pitch)], kUntouched);
}

TEST_F(BlitterTest, FivePixel16BitRowsBecomeFifteenBytesOf24Bits) {
    GfxContext* ctx = open(5, 2, 16, 11);
    const auto out = run(gfx::gfx_blitter_select(24, false), ctx->h, 20);
    for (int32_t x = 0; x < 5; ++x) {
        uint16_t s;
        std::memcpy(&s, ctx->framebuffer + 2 * x, 2);
        EXPECT_EQ(out[std::size_t(3 * x)], (s & 0x1F) << 3) << x;
        EXPECT_EQ(out[std::size_t(3 * x + 1)], ((s >> 5) & 0x3F) << 2) << x;
        EXPECT_EQ(out[std::size_t(3 * x + 2)], (s >> 11) << 3) << x;
    }
    EXPECT_EQ(out[15], kUntouched);
}

TEST_F(BlitterTest, SelectionFollowsDepthsAndTheProcessorCheck) {
    ASSERT_EQ(gfx_screen_set_size(640, 4, 32, 1, 0, 0), 0);
    EXPECT_EQ(gfx::gfx_blitter_select(8, false), nullptr);
    EXPECT_EQ(gfx::gfx_blitter_select(12, false), nullptr);
    gfx_context()->flags |= GFX_CPU_MMX;
    EXPECT_EQ(gfx::gfx_blitter_select(16, true), gfx::convert::cell(true, true, PageFormat::rgb32, 16));
    gfx_context()->flags &= ~GFX_CPU_MMX;
    EXPECT_EQ(gfx::gfx_blitter_select(16, true), gfx::convert::cell(false, true, PageFormat::rgb32, 16));
    ASSERT_EQ(gfx_screen_set_size(642, 4, 8, 1, 0, 0), 0);  // width not a multiple of 4
    gfx_context()->flags |= GFX_CPU_MMX;
    EXPECT_EQ(gfx::gfx_blitter_select(8, false), gfx::convert::row_copy(false));
}

// The device pixel of page pixel px by the formulas of device_pixels.h.
template <int Depth, bool RedLow>
uint32_t formula(PageFormat format, uint32_t px, const uint32_t* palette) {
    using namespace gfx::convert;
    if (format == PageFormat::palette) return from_palette<Depth, RedLow>(palette[px]);
    if (format == PageFormat::rgb32) return from_rgb32<Depth, RedLow>(px);
    if constexpr (Depth <= 16) {
        return from_rgb16<Depth, RedLow>(px);
    } else {
        const Rgb16Tables t = rgb16_tables(RedLow);
        return rgb16_color(px, t.low, t.high);
    }
}

uint32_t formula(PageFormat format, int32_t device, bool red_low, uint32_t px, const uint32_t* palette) {
    switch (device * 2 + (red_low ? 1 : 0)) {
        case 30: return formula<15, false>(format, px, palette);
        case 31: return formula<15, true>(format, px, palette);
        case 32: return formula<16, false>(format, px, palette);
        case 33: return formula<16, true>(format, px, palette);
        case 48: return formula<24, false>(format, px, palette);
        case 49: return formula<24, true>(format, px, palette);
        case 64: return formula<32, false>(format, px, palette);
        default: return formula<32, true>(format, px, palette);
    }
}

TEST(ConverterTest, SixteenBitTablesExpandEveryPixel) {
    for (bool red_low : {false, true}) {
        const gfx::convert::Rgb16Tables t = gfx::convert::rgb16_tables(red_low);
        for (uint32_t s = 0; s < 0x10000; ++s) {
            const uint32_t r = (s >> 11) << 3, g = ((s >> 5) & 0x3F) << 2, b = (s & 0x1F) << 3;
            const uint32_t want = red_low ? b << 16 | g << 8 | r : r << 16 | g << 8 | b;
            ASSERT_EQ(gfx::convert::rgb16_color(s, t.low, t.high), want) << s << " red low " << red_low;
        }
    }
}

// Every converter on a 5 x 3 page in a padded buffer, no screen open: each
// changed row's pixels follow the formulas, its further scanline rows repeat
// it, and nothing else is written (a row copy may copy the page row's
// padding too).
TEST(ConverterTest, PlainBuffersWithoutAScreen) {
    ASSERT_TRUE(gfx_context() == nullptr || gfx_context()->framebuffer == nullptr);
    constexpr int32_t kW = 5, kH = 3, kDestPitch = kW * 4 + 7;
    const uint8_t changed[kH] = {1, 0, 1};
    const struct {
        int32_t scanline;
        const uint8_t* dirty;
    } walks[] = {{2, changed}, {1, nullptr}};
    const struct {
        int32_t depth, bpp;
        PageFormat format;
    } pages[] = {{8, 1, PageFormat::palette}, {16, 2, PageFormat::rgb16}, {32, 4, PageFormat::rgb32}};
    std::mt19937 rng(5);
    uint32_t palette[256];
    for (uint32_t& e : palette) e = rng() & 0xFFFFFF;
    for (const auto& page : pages) {
        const int32_t pitch = kW * page.bpp + 3;
        std::vector<uint8_t> pixels(std::size_t(pitch * kH));
        for (uint8_t& b : pixels) b = uint8_t(rng());
        for (const auto& rows : walks) {
            for (int32_t device : {8, 15, 16, 24, 32}) {
                for (int cell = 0; cell < 8; ++cell) {
                    const bool red_low = cell & 1, wide = cell & 2, own_tables = cell & 4;
                    const gfx::convert::Rgb16Tables t = gfx::convert::rgb16_tables(red_low);
                    const gfx::convert::ConvertSource source{pixels.data(), kW, kH, pitch, rows.scanline, rows.dirty,
                                                             palette, own_tables ? t.low : nullptr,
                                                             own_tables ? t.high : nullptr};
                    const auto convert = gfx::convert::select(page.depth, device, red_low, wide);
                    const std::string where = "page " + std::to_string(page.depth) + " device " +
                                              std::to_string(device) + " cell " + std::to_string(cell) +
                                              " scanline " + std::to_string(rows.scanline);
                    if (device == 8 && page.depth != 8) {
                        EXPECT_EQ(convert, nullptr) << where;
                        continue;
                    }
                    ASSERT_NE(convert, nullptr) << where;
                    std::vector<uint8_t> out(std::size_t(kDestPitch * kH * rows.scanline), kUntouched);
                    convert(source, out.data(), kDestPitch);
                    const int32_t bytes = device == 8 ? 1 : device == 24 ? 3 : device == 32 ? 4 : 2;
                    for (int32_t y = 0; y < kH * rows.scanline; ++y) {
                        const int32_t page_row = y / rows.scanline;
                        const uint8_t* src = pixels.data() + page_row * pitch;
                        const uint8_t* d = out.data() + y * kDestPitch;
                        const bool written = !rows.dirty || rows.dirty[page_row];
                        for (int32_t x = 0; written && x < kW; ++x) {
                            uint32_t px = 0, got = 0;
                            std::memcpy(&px, src + x * page.bpp, std::size_t(page.bpp));
                            std::memcpy(&got, d + x * bytes, std::size_t(bytes));
                            const uint32_t want = device == 8 ? px : formula(page.format, device, red_low, px, palette);
                            const uint32_t mask = bytes == 4 ? ~0u : (1u << (8 * bytes)) - 1;
                            EXPECT_EQ(got, want & mask) << where << " at " << x << "," << y;
                        }
                        for (int32_t i = written ? kW * bytes : 0; i < kDestPitch; ++i)
                            EXPECT_TRUE(d[i] == kUntouched || (written && i < pitch && d[i] == src[i]))
                                << where << " byte " << i << " of row " << y;
                    }
                }
            }
        }
    }
    // 32-bit pages for shaped windows: the top byte cleared.
    const uint32_t page[2] = {0x80123456u, 0xFFABCDEFu};
    for (bool wide : {false, true}) {
        std::vector<uint8_t> out(8, kUntouched);
        gfx::convert::shaped(wide)({reinterpret_cast<const uint8_t*>(page), 2, 1, 8, 1, nullptr, nullptr, nullptr,
                                    nullptr},
                                   out.data(), 8);
        uint32_t got[2];
        std::memcpy(got, out.data(), 8);
        EXPECT_EQ(got[0], 0x123456u) << wide;
        EXPECT_EQ(got[1], 0xABCDEFu) << wide;
    }
}

TEST(ScaleRowsTest, EveryPixelBecomesABlock) {
    for (int32_t bpp : {2, 3, 4}) {
        for (int32_t factor = 1; factor <= 5; ++factor) {
            const int32_t w = 7, rows = 3, src_pitch = w * bpp + 4;
            std::vector<uint8_t> src(std::size_t(src_pitch * rows));
            for (std::size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i * 37 + 1);
            const int32_t dst_pitch = w * bpp * factor + 12;
            std::vector<uint8_t> dst(std::size_t(dst_pitch * rows * factor), kUntouched);
            gfx::convert::scale_rows(src.data(), src_pitch, dst.data(), dst_pitch, w, 1, 2, bpp, factor);
            for (int32_t y = 0; y < rows * factor; ++y) {
                for (int32_t x = 0; x < w * factor; ++x) {
                    const uint8_t* d = dst.data() + y * dst_pitch + x * bpp;
                    if (y < factor) {
                        EXPECT_EQ(d[0], kUntouched);  // row 0 was not asked for
                        continue;
                    }
                    const uint8_t* s = src.data() + (y / factor) * src_pitch + (x / factor) * bpp;
                    ASSERT_EQ(std::memcmp(d, s, std::size_t(bpp)), 0)
                        << "bpp " << bpp << " factor " << factor << " at " << x << "," << y;
                }
                EXPECT_EQ(dst[std::size_t(y * dst_pitch + w * bpp * factor)], kUntouched);
            }
        }
    }
}

}  // namespace
