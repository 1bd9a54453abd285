// Palettes: setting entries in 6- and 8-bit form, colour numbers of the
// emulated modes, default restores with their association tables, the
// driver's set_palette calls, dirty rows and the modes without a palette.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <tuple>
#include <vector>

#include "gfx/core/context_internal.h"
#include "gfx/gfx.h"

namespace {

struct PaletteCall {
    int32_t index, r, g, b;
    bool operator==(const PaletteCall&) const = default;
};
std::vector<PaletteCall> g_calls;
int g_locks = 0, g_unlocks = 0;

const GfxDriver kRecordingDriver = {
    "Recording",
    [](const char*, int32_t, int32_t, int32_t, int32_t, int32_t) -> int32_t { return 0; },
    [] {},
    [] { ++g_locks; },
    [] { ++g_unlocks; },
    [](int32_t i, int32_t r, int32_t g, int32_t b) { g_calls.push_back({i, r, g, b}); },
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) {
    return r | g << 8 | b << 16;
}

// Colour i of a built-in palette (0: 256, 1: 64, 2: 16, 3: 2 entries).
uint32_t builtin(int table, int i) {
    const uint8_t* e = gfx_builtin_palette(table)->entries + 3 * i;
    return rgb(e[0], e[1], e[2]);
}

class PaletteTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("ZRGFX");
        static const GfxDriver* list[] = {&kRecordingDriver};
        gfx::set_driver_list(list);
    }
    void TearDown() override {
        gfx_screen_set(0, 0, 0, 0, 0);
        gfx::set_driver_list({});
    }
    GfxContext* open(int mode, int depth = 0) {
        EXPECT_EQ(gfx_screen_set(mode, depth, 1, 0, 0), 0);
        GfxContext* ctx = gfx_context();
        std::memset(ctx->dirty, 0, size_t(ctx->h) * ctx->scanline_size);
        g_calls.clear();
        g_locks = g_unlocks = 0;
        return ctx;
    }
    static int dirty_rows(const GfxContext* ctx) {
        int n = 0;
        for (int y = 0; y < ctx->h * ctx->scanline_size; ++y) n += ctx->dirty[y] != 0;
        return n;
    }
};

TEST_F(PaletteTest, SixAndEightBitFormsGiveTheSameColour) {
    GfxContext* ctx = open(13);
    gfx_palette_set(1, 63, -1, -1);
    EXPECT_EQ(ctx->device_palette[1], rgb(255, 0, 0));
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0], (PaletteCall{1, 255, 0, 0}));
    EXPECT_EQ(dirty_rows(ctx), ctx->h);
    EXPECT_EQ(g_locks, 1);
    EXPECT_EQ(g_unlocks, 1);

    ctx->device_palette[1] = 0;
    gfx_palette_set(1, 255, 0, 0);
    EXPECT_EQ(ctx->device_palette[1], rgb(255, 0, 0));
    // The built-in colour itself is not changed.
    EXPECT_EQ(ctx->palette[1], builtin(0, 1));
}

TEST_F(PaletteTest, SixBitLevelsAreScaledAndTruncated) {
    GfxContext* ctx = open(13);
    struct Case {
        int32_t value;
        uint32_t want;
    };
    const Case cases[] = {
        {0, rgb(0, 0, 0)},
        {32 | 32 << 8 | 63 << 16, rgb(129, 129, 255)},
        {1 | 62 << 8 | 21 << 16, rgb(4, 250, 85)},
        {0x7F | 0xC0 << 8, rgb(255, 0, 0)},  // bits above the 6-bit fields are ignored
    };
    for (const auto& c : cases) {
        gfx_palette_set(7, c.value, -1, -1);
        EXPECT_EQ(ctx->device_palette[7], c.want) << std::hex << c.value;
    }
    gfx_palette_set(9, 128, 64, 252);  // 8-bit form: each component >> 2
    EXPECT_EQ(ctx->device_palette[9], rgb(129, 64, 255));
}

TEST_F(PaletteTest, IndexIsReducedModuloThePaletteSize) {
    GfxContext* ctx = open(13);
    gfx_palette_set(256 + 3, 63 << 8, -1, -1);
    EXPECT_EQ(ctx->device_palette[3], rgb(0, 255, 0));
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].index, 3);
}

TEST_F(PaletteTest, Mode9ColourNumbers) {
    GfxContext* ctx = open(9);
    gfx_palette_set(6, 20, -1, -1);
    EXPECT_EQ(ctx->device_palette[6], builtin(1, 20));
    EXPECT_EQ(ctx->device_palette[6], rgb(170, 85, 0));
    EXPECT_EQ(ctx->color_association[6], 20);
    // A colour number beyond the palette wraps.
    gfx_palette_set(2, 64 + 9, -1, -1);
    EXPECT_EQ(ctx->device_palette[2], builtin(1, 9));
    EXPECT_EQ(ctx->color_association[2], 9);
}

TEST_F(PaletteTest, Mode9IndexBeyondTheAssociationTable) {
    // Index 40 is a valid palette entry of the 64-colour palette but has no
    // association entry: the colour is shown, the associations stay.
    GfxContext* ctx = open(9);
    std::vector<uint8_t> before(ctx->color_association, ctx->color_association + 16);
    gfx_palette_set(40, 5, -1, -1);
    EXPECT_EQ(ctx->device_palette[40], builtin(1, 5));
    EXPECT_EQ(std::vector<uint8_t>(ctx->color_association, ctx->color_association + 16), before);
}

TEST_F(PaletteTest, DefaultRestoreTables) {
    struct Case {
        int mode, index;
        std::vector<uint8_t> association;
        int table;  // built-in palette the associations refer to
    };
    const Case cases[] = {
        {1, -1, {0, 11, 13, 15}, 2},
        {1, -2, {0, 10, 12, 14}, 2},
        {1, -3, {0, 3, 5, 7}, 2},
        {1, -4, {0, 2, 4, 6}, 2},
        {1, -100, {0, 2, 4, 6}, 2},
        {2, -1, {0, 15}, 2},
        {7, -1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, 2},
        {8, -1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, 2},
        {9, -1, {0, 1, 2, 3, 4, 5, 20, 7, 56, 57, 58, 59, 60, 61, 62, 63}, 1},
    };
    for (const auto& c : cases) {
        GfxContext* ctx = open(c.mode);
        // Scramble what a restore must rewrite.
        std::memset(ctx->color_association, 0xEE, 16);
        std::memset(ctx->device_palette, 0xEE, 256 * 4);
        gfx_palette_set(c.index, 0, 0, 0);
        std::vector<PaletteCall> want_calls;
        for (size_t i = 0; i < c.association.size(); ++i) {
            const uint32_t color = builtin(c.table, c.association[i]);
            EXPECT_EQ(ctx->color_association[i], c.association[i]) << c.mode << " " << c.index << " " << i;
            EXPECT_EQ(ctx->device_palette[i], color) << c.mode << " " << c.index << " " << i;
            want_calls.push_back({int32_t(i), int32_t(color & 0xFF), int32_t(color >> 8 & 0xFF), int32_t(color >> 16)});
        }
        EXPECT_EQ(g_calls, want_calls) << c.mode << " " << c.index;
        EXPECT_EQ(ctx->device_palette[c.association.size()], 0xEEEEEEEEu);  // beyond 2^depth: untouched
        EXPECT_EQ(dirty_rows(ctx), ctx->h);
        gfx_screen_set(0, 0, 0, 0, 0);
    }
}

TEST_F(PaletteTest, SetUpRestoresMode1WithTheFirstSet) {
    ASSERT_EQ(gfx_screen_set(1, 0, 1, 0, 0), 0);
    const GfxContext* ctx = gfx_context();
    const uint8_t want[] = {0, 11, 13, 15};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ctx->color_association[i], want[i]);
        EXPECT_EQ(ctx->device_palette[i], builtin(2, want[i]));
    }
    for (int i = 0; i < 16; ++i) EXPECT_EQ(ctx->palette[i], builtin(2, i));
}

TEST_F(PaletteTest, RestoreWithoutAssociationShowsTheBuiltInColours) {
    GfxContext* ctx = open(12);  // 16 pixel values, 256-entry palette
    std::memset(ctx->device_palette, 0xEE, 256 * 4);
    std::memset(ctx->color_association, 0xEE, 16);
    gfx_palette_set(-1, 0, 0, 0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(ctx->device_palette[i], builtin(0, i)) << i;
    EXPECT_EQ(ctx->device_palette[16], 0xEEEEEEEEu);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(ctx->palette[i], builtin(0, i)) << i;
    EXPECT_EQ(ctx->color_association[0], 0xEE);
    EXPECT_EQ(g_calls.size(), 16u);

    ctx = open(13);
    g_calls.clear();
    gfx_palette_set(-1, 0, 0, 0);
    ASSERT_EQ(g_calls.size(), 256u);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(g_calls[size_t(i)].index, i);
    EXPECT_EQ(ctx->device_palette[36], rgb(255, 0, 255));
}

TEST_F(PaletteTest, SetAllReadsTwoToTheDepthElements) {
    GfxContext* ctx = open(7);  // depth 4: exactly 16 elements are read
    const std::vector<int32_t> values = {15, -1, 3, -5, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16 + 1};
    const uint32_t old1 = ctx->device_palette[1];
    gfx_palette_set_all(values.data());
    EXPECT_EQ(ctx->device_palette[0], builtin(2, 15));
    EXPECT_EQ(ctx->color_association[0], 15);
    EXPECT_EQ(ctx->device_palette[1], old1);
    EXPECT_EQ(ctx->device_palette[2], builtin(2, 3));
    EXPECT_EQ(ctx->device_palette[15], builtin(2, 1));
    EXPECT_EQ(g_calls.size(), 14u);
    EXPECT_EQ(dirty_rows(ctx), ctx->h);
    EXPECT_EQ(g_locks, 1);
    EXPECT_EQ(g_unlocks, 1);

    ctx = open(13);
    std::vector<int32_t> all(256, -1);
    all[200] = 63 << 16;
    gfx_palette_set_all(all.data());
    EXPECT_EQ(ctx->device_palette[200], rgb(0, 0, 255));
    EXPECT_EQ(g_calls.size(), 1u);
}

TEST_F(PaletteTest, DirtyFlagsCoverTheFramebufferRows) {
    // Mode 2 has two display rows per framebuffer row; the palette marks
    // the h framebuffer rows.
    GfxContext* ctx = open(2);
    gfx_palette_set(1, 7, -1, -1);
    for (int y = 0; y < ctx->h; ++y) ASSERT_EQ(ctx->dirty[y], 1) << y;
}

TEST_F(PaletteTest, NoPaletteAbove8Bits) {
    for (int depth : {16, 32}) {
        GfxContext* ctx = open(18, depth);
        std::vector<uint32_t> before(ctx->device_palette, ctx->device_palette + 256);
        gfx_palette_set(1, 63, -1, -1);
        gfx_palette_set(-1, 0, 0, 0);
        std::vector<int32_t> values(256, 1);
        gfx_palette_set_all(values.data());
        EXPECT_EQ(std::vector<uint32_t>(ctx->device_palette, ctx->device_palette + 256), before);
        EXPECT_EQ(dirty_rows(ctx), 0);
        EXPECT_TRUE(g_calls.empty());
        EXPECT_EQ(g_locks, 0);
    }
}

TEST_F(PaletteTest, NoScreenNoEffect) {
    ASSERT_EQ(gfx_context(), nullptr);
    gfx_palette_set(1, 63, -1, -1);
    gfx_palette_set(-1, 0, 0, 0);
    const int32_t values[256] = {};
    gfx_palette_set_all(values);
    gfx_palette_apply(1, 2);
    EXPECT_TRUE(g_calls.empty());
}

}  // namespace
