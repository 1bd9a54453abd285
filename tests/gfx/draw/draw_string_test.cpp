// Text at pixel positions with the built-in font and with user fonts,
// checked pixel by pixel against a model and read back through gfx_get.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "gfx/gfx.h"

namespace {

uint32_t load(const uint8_t* p, int bpp) {
    uint32_t v = 0;
    std::memcpy(&v, p, std::size_t(bpp));
    return v;
}

void store(uint8_t* p, int bpp, uint32_t v) { std::memcpy(p, &v, std::size_t(bpp)); }

RuntimeString* temp(const std::string& s) { return rt_str_temp(s.data(), int32_t(s.size())); }

class DrawStringTest : public ::testing::Test {
protected:
    void open_mode18() {
        setenv("ZRGFX", "null", 1);
        ASSERT_EQ(gfx_screen_set(18, 32, 2, 0, 0), 0);
        init();
    }
    void open(int w, int h, int depth) {
        setenv("ZRGFX", "null", 1);
        ASSERT_EQ(gfx_screen_set_size(w, h, depth, 2, -1, 0), 0);
        init();
    }
    void init() {
        ctx = gfx_context();
        W = ctx->w;
        H = ctx->h;
        bpp = ctx->bpp;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) store(ctx->pages[0] + y * ctx->pitch + x * bpp, bpp, uint32_t(x * 3 + y * 5 + 1));
    }
    void TearDown() override {
        gfx_screen_set(0, 0, 0, 0, 0);
        EXPECT_EQ(rt_str_temps_in_use(), 0);
    }

    // The rectangle of source (null: work page) read through gfx_get.
    std::vector<uint32_t> grab(const void* source, int w, int h) {
        std::vector<uint8_t> buf(32 + std::size_t(h) * std::size_t((w * 4 + 15) & ~15));
        EXPECT_EQ(gfx_get(source, 0, 0, float(w - 1), float(h - 1), buf.data(), coord_abs_abs, nullptr), 0);
        ImageHeader hd;
        std::memcpy(&hd, buf.data(), sizeof hd);
        std::vector<uint32_t> out;
        for (int r = 0; r < hd.height; ++r)
            for (int c = 0; c < hd.width; ++c) out.push_back(load(buf.data() + 32 + r * hd.pitch + c * hd.bpp, hd.bpp));
        return out;
    }
    std::vector<uint32_t> screen() { return grab(nullptr, W, H); }

    // Built-in font: every set glyph bit inside the screen becomes colour.
    void model_builtin(std::vector<uint32_t>& page, const std::string& text, int x, int y, uint32_t colour) const {
        const GfxFont* f = ctx->font;
        for (std::size_t i = 0; i < text.size(); ++i)
            for (int r = 0; r < f->h; ++r)
                for (int c = 0; c < f->w; ++c) {
                    const int px = x + int(i) * f->w + c, py = y + r;
                    const uint8_t bits = f->data[uint8_t(text[i]) * f->h + r];
                    if ((bits >> c & 1) && px >= 0 && py >= 0 && px < W && py < H) page[std::size_t(py * W + px)] = colour;
                }
    }

    GfxContext* ctx = nullptr;
    int W = 0, H = 0, bpp = 0;
};

int32_t draw(const std::string& s, float x, float y, uint32_t colour, uint32_t flags = coord_abs,
             void* target = nullptr) {
    return gfx_draw_string(target, x, y, flags, temp(s), colour, nullptr, 0, nullptr, nullptr, nullptr);
}

// ---- built-in font ------------------------------------------------------------

TEST_F(DrawStringTest, BuiltinFontMatchesTheModelAtEveryEdge) {
    open_mode18();
    struct Case {
        std::string text;
        int x, y;
    };
    const Case cases[] = {{"AB", 100, 50},   {"Hello", -20, 10}, {"Wxyz", 630, 10}, {"Top", 10, -3},
                          {"Low", 10, 470},  {"\xE1\xDB", -5, -5}, {"Edge", 635, 475}, {"Gone", -40, 5},
                          {"Gone", 640, 5},  {"Gone", 5, -16},   {"Gone", 5, 480}};
    for (const Case& c : cases) {
        auto expected = screen();
        model_builtin(expected, c.text, c.x, c.y, 0xFF102030u);
        EXPECT_EQ(draw(c.text, float(c.x), float(c.y), 0xFF102030u), 0);
        ASSERT_EQ(screen(), expected) << c.text << " at " << c.x << "," << c.y;
    }
    // "AB" at (100, 50) stays inside columns 100-115 and rows 50-65.
    open_mode18();
    const auto before = screen();
    ASSERT_EQ(draw("AB", 100, 50, 0xFF102030u), 0);
    const auto after = screen();
    int changed = 0;
    for (int i = 0; i < W * H; ++i) {
        if (after[std::size_t(i)] == before[std::size_t(i)]) continue;
        ++changed;
        EXPECT_TRUE(i % W >= 100 && i % W <= 115 && i / W >= 50 && i / W <= 65) << i % W << "," << i / W;
    }
    EXPECT_GT(changed, 20);
}

TEST_F(DrawStringTest, MarksOnlyVisibleRowsDirty) {
    open_mode18();
    std::memset(ctx->dirty, 0, std::size_t(H));
    ASSERT_EQ(draw("Top", 10, -3, 0xFFFFFFFFu), 0);
    for (int y = 0; y < 20; ++y) EXPECT_EQ(ctx->dirty[y], y < 13 ? 1 : 0) << y;
}

TEST_F(DrawStringTest, ColourRulesAtEveryDepth) {
    struct Case {
        int depth;
        uint32_t colour, flags;
        int32_t method;
        uint32_t fg, expected;
    };
    const Case cases[] = {
        {32, 0xFF123456, coord_abs, 0, 0, 0xFF123456},  {32, 0, 0x80000004, 0, 0xFF00FF00, 0xFF00FF00},
        {32, 0, 0x80000004, 6, 0xFF00FF00, 0},           {16, 0xFFFF0000, coord_abs, 0, 0, 0xF800},
        {16, 0x0000FFFF, coord_abs, 6, 0, 0xFFFF},        {8, 0x0000000C, coord_abs, 0, 0, 0x0C},
        {8, 0, 0x80000004, 0, 9, 9},
    };
    for (const Case& c : cases) {
        open(64, 16, c.depth);
        gfx_get_draw_state()->fg_color = c.fg;
        auto expected = screen();
        model_builtin(expected, "H\xE1", 3, 4, c.expected);
        EXPECT_EQ(gfx_draw_string(nullptr, 3, 4, c.flags, temp("H\xE1"), c.colour, nullptr, c.method, nullptr, nullptr,
                                  nullptr),
                  0);
        EXPECT_EQ(screen(), expected) << "depth " << c.depth << " colour " << std::hex << c.colour;
    }
}

TEST_F(DrawStringTest, DrawsIntoImageBuffersOfBothForms) {
    open(64, 16, 32);
    for (bool standard : {true, false}) {
        std::vector<uint8_t> img(32 + 10 * 12 * 4, 0);
        if (standard) {
            const ImageHeader hd{7, 4, 12, 10, 48, {}};
            std::memcpy(img.data(), &hd, sizeof hd);
        } else {
            const uint16_t words[2] = {uint16_t(12 << 3), 10};
            std::memcpy(img.data(), words, 4);
        }
        ASSERT_EQ(draw("AB", -2, 3, 0xFFABCDEFu, coord_abs, img.data()), 0);
        std::vector<uint32_t> expected(12 * 10, 0);
        const GfxFont* f = ctx->font;
        for (int ch = 0; ch < 2; ++ch)
            for (int r = 0; r < f->h && 3 + r < 10; ++r)
                for (int c = 0; c < 8; ++c) {
                    const int x = -2 + ch * 8 + c;
                    if (x >= 0 && x < 12 && (f->data[('A' + ch) * f->h + r] >> c & 1))
                        expected[std::size_t((3 + r) * 12 + x)] = 0xFFABCDEFu;
                }
        EXPECT_EQ(grab(img.data(), 12, 10), expected) << "standard " << standard;
    }
    EXPECT_EQ(screen().size(), std::size_t(W * H));  // the screen's view is back
}

TEST_F(DrawStringTest, ErrorsAndTemporaryStrings) {
    rt_set_error(0);
    EXPECT_EQ(draw("no screen", 0, 0, 1), 0);  // released although nothing is open
    EXPECT_EQ(rt_str_temps_in_use(), 0);
    open(64, 16, 32);
    const auto before = screen();
    EXPECT_EQ(gfx_draw_string(nullptr, 0, 0, coord_abs, nullptr, 1, nullptr, 0, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(rt_get_error(), 1);
    EXPECT_EQ(draw("", 0, 0, 1), 0);
    EXPECT_EQ(rt_get_error(), 0);
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const float far[][2] = {{3e9f, 0}, {-3e9f, 0}, {0, 3e9f}, {0, -3e9f}, {nan, 0}, {0, nan}, {-inf, inf}};
    for (const auto& p : far) EXPECT_EQ(draw("far away", p[0], p[1], 0xFFFFFFFFu), 0);
    EXPECT_EQ(screen(), before);
    EXPECT_EQ(rt_str_temps_in_use(), 0);
    // A caller-owned string is left alone.
    RuntimeString owned{};
    ASSERT_EQ(rt_str_assign(&owned, "kept", 4), 0);
    EXPECT_EQ(gfx_draw_string(nullptr, 0, 0, coord_abs, &owned, 1, nullptr, 0, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(std::string(owned.data, 4), "kept");
    rt_str_free(&owned);
}

// ---- user fonts ----------------------------------------------------------------

// A font image: row 0 the header (0, first, last, widths...), rows 1.. glyphs.
struct Font {
    std::vector<uint8_t> bytes;
    int bpp, w, h, pitch, offset;
    uint8_t first, last;
    std::vector<int> widths;
    uint32_t at(int x, int y) const { return load(bytes.data() + offset + y * pitch + x * bpp, bpp); }
};

Font make_font(bool standard, int bpp, uint8_t first, uint8_t last, std::vector<int> widths, int glyph_h,
               int extra_cols = 2) {
    int sum = 0;
    for (int w : widths) sum += w;
    Font f{{}, bpp, std::max(sum + extra_cols, 3 + int(widths.size())), glyph_h + 1, 0, standard ? 32 : 4,
           first, last, widths};
    f.pitch = standard ? (f.w * bpp + 15) & ~15 : f.w * bpp;
    f.bytes.assign(std::size_t(f.offset + f.h * f.pitch), 0);
    if (standard) {
        const ImageHeader hd{7, bpp, f.w, f.h, f.pitch, {}};
        std::memcpy(f.bytes.data(), &hd, sizeof hd);
    } else {
        const uint16_t words[2] = {uint16_t(f.w << 3), uint16_t(f.h)};
        std::memcpy(f.bytes.data(), words, 4);
    }
    uint8_t* row0 = f.bytes.data() + f.offset;
    row0[1] = first;
    row0[2] = last;
    for (std::size_t i = 0; i < widths.size(); ++i) row0[3 + i] = uint8_t(widths[i]);
    const uint32_t mask = bpp == 1 ? 0 : bpp == 2 ? 0xF81F : 0xFF00FF;
    for (int y = 1; y < f.h; ++y)
        for (int x = 0; x < f.w; ++x)
            store(f.bytes.data() + f.offset + y * f.pitch + x * bpp, bpp,
                  (x * 7 + y) % 3 == 0 ? mask : 0x80000000u + uint32_t(x * 131 + y * 17 + 1));
    return f;
}

class UserFontTest : public DrawStringTest, public ::testing::WithParamInterface<int> {
protected:
    // Glyph by glyph, each cut to the screen; a character without a glyph
    // moves the pen by the glyph height left after vertical clipping.
    void model(std::vector<uint32_t>& page, const Font& f, const std::string& text, int x, int y, bool transparent) {
        const int gh = f.h - 1;
        if (y + gh <= 0 || y >= H) return;
        const int visible_h = std::min(y + gh, H) - std::max(y, 0);
        const int lo = std::min(f.first, f.last), hi = std::max(f.first, f.last);
        long pen = x;
        for (unsigned char ch : text) {
            if (pen >= W) break;
            if (ch < lo || ch > hi) {
                pen += visible_h;
                continue;
            }
            int start = 0;
            for (int k = lo; k < ch; ++k) start += f.widths[std::size_t(k - lo)];
            const int gw = f.widths[std::size_t(ch - lo)];
            for (int r = 0; r < gh; ++r)
                for (int c = 0; c < gw; ++c) {
                    const long px = pen + c;
                    const int py = y + r;
                    if (px < 0 || px >= W || py < 0 || py >= H) continue;
                    uint32_t v = f.at(start + c, 1 + r);
                    if (transparent) {
                        if (f.bpp == 4) v &= 0xFFFFFF;
                        if (v == (f.bpp == 1 ? 0u : f.bpp == 2 ? 0xF81Fu : 0xFF00FFu)) continue;
                    }
                    page[std::size_t(py * W + px)] = v;
                }
            pen += gw;
        }
    }
};

TEST_P(UserFontTest, MatchesTheModelAtEveryEdge) {
    open(40, 20, GetParam());
    const std::string text = "ABxDCA";
    const int places[][2] = {{5, 5}, {-4, 2}, {-9, 2}, {30, 3}, {2, -3}, {2, 17}, {-6, -2}, {35, 16}, {0, -6}, {40, 0}};
    for (bool standard : {true, false})
        for (bool transparent : {false, true}) {
            const Font f = make_font(standard, bpp, 'D', 'A', {3, 0, 5, 2}, 6);  // range given reversed
            for (const auto& p : places) {
                auto expected = screen();
                model(expected, f, text, p[0], p[1], transparent);
                EXPECT_EQ(gfx_draw_string(nullptr, float(p[0]), float(p[1]), coord_abs, temp(text), 0, f.bytes.data(),
                                          transparent ? 0 : 1, transparent ? put_transparent : put_copy, nullptr,
                                          nullptr),
                          0);
                ASSERT_EQ(screen(), expected) << "at " << p[0] << "," << p[1] << " standard " << standard
                                              << " transparent " << transparent;
            }
        }
}

INSTANTIATE_TEST_SUITE_P(Depths, UserFontTest, ::testing::Values(8, 16, 32));

TEST_F(DrawStringTest, WidthBytesMayRunIntoTheNextRow) {
    open(40, 20, 32);
    // 4 pixels per row, 16 glyphs 'A'..'P': width bytes 3..18 reach 3 bytes
    // into row 1, which is also the glyph row. Only 'A' has pixels.
    std::vector<uint8_t> font(32 + 2 * 16, 0);
    const ImageHeader hd{7, 4, 4, 2, 16, {}};
    std::memcpy(font.data(), &hd, sizeof hd);
    font[32 + 1] = 'A';
    font[32 + 2] = 'P';
    font[32 + 3] = 4;
    const uint32_t row1[4] = {0x11000000u, 0x22334455u, 0x66778899u, 0x0A0B0C0Du};
    std::memcpy(font.data() + 32 + 16 + 3, reinterpret_cast<const uint8_t*>(row1) + 3, 13);
    EXPECT_EQ(gfx_draw_string(nullptr, 10, 10, coord_abs, temp("A"), 0, font.data(), 1, put_copy, nullptr, nullptr),
              0);
    const auto page = screen();
    for (int x = 0; x < 4; ++x) EXPECT_EQ(page[std::size_t(10 * 40 + 10 + x)], row1[x]) << x;
}

TEST_F(DrawStringTest, InvalidUserFonts) {
    open(40, 20, 32);
    const auto before = screen();
    auto with = [](Font f, int at, uint8_t v) {
        f.bytes[std::size_t(f.offset + at)] = v;
        return f;
    };
    const Font good = make_font(true, 4, 'A', 'C', {2, 2, 2}, 4);
    // Compact headers patched to 0 pixels (pitch 0) and to 2 pixels per row,
    // whose two rows cannot hold the 26 width bytes of A-Z.
    auto compact_width = [](Font f, int w) {
        const uint16_t word = uint16_t(w << 3);
        std::memcpy(f.bytes.data(), &word, 2);
        return f;
    };
    const Font fonts[] = {
        make_font(true, 2, 'A', 'C', {2, 2, 2}, 4),      // depth differs
        make_font(true, 4, 'A', 'C', {2, 2, 2}, 0),      // no glyph rows
        with(good, 0, 1),                                // byte 0 not 0
        with(good, 3, 200),                              // widths wider than the image
        compact_width(make_font(false, 4, 'A', 'Z', std::vector<int>(26, 0), 1, 0), 2),
        compact_width(make_font(false, 4, 'A', 'C', {1, 1, 1}, 4), 0),
    };
    for (const Font& f : fonts) {
        rt_set_error(0);
        EXPECT_EQ(gfx_draw_string(nullptr, 1, 1, coord_abs, temp("ABC"), 0, f.bytes.data(), 1, put_copy, nullptr,
                                  nullptr),
                  1);
        EXPECT_EQ(rt_get_error(), 1);
    }
    EXPECT_EQ(gfx_draw_string(nullptr, 1, 1, coord_abs, temp("ABC"), 0, good.bytes.data(), 1, nullptr, nullptr,
                              nullptr),
              1);
    // The position test comes first: wholly above the view is no error.
    EXPECT_EQ(gfx_draw_string(nullptr, 1, -10, coord_abs, temp("ABC"), 0, fonts[0].bytes.data(), 1, put_copy,
                              nullptr, nullptr),
              0);
    EXPECT_EQ(screen(), before);
}

struct Call {
    int32_t width, height, src_pitch, dst_pitch, alpha;
    void* param;
};
std::vector<Call> g_calls;

void record(const uint8_t*, uint8_t*, int32_t w, int32_t h, int32_t sp, int32_t dp, int32_t alpha, GfxBlender,
            void* param) {
    g_calls.push_back({w, h, sp, dp, alpha, param});
}

TEST_F(DrawStringTest, RoutineGetsGlyphPiecesAndTheColourAsAlpha) {
    open(40, 20, 16);
    const Font f = make_font(true, 2, 'A', 'B', {4, 6}, 5);
    int tag = 0;
    struct Case {
        int32_t method;
        uint32_t colour, alpha;
    };
    for (const Case& c : {Case{0, 0xFFFF0000u, 0xF800u}, Case{6, 0xFFFF0000u, 0xFFFF0000u}}) {
        g_calls.clear();
        ASSERT_EQ(gfx_draw_string(nullptr, -2, 17, coord_abs, temp("AB"), c.colour, f.bytes.data(), c.method, record,
                                  nullptr, &tag),
                  0);
        ASSERT_EQ(g_calls.size(), 2u);
        EXPECT_EQ(g_calls[0].width, 2);  // "A" cut by two columns on the left
        EXPECT_EQ(g_calls[1].width, 6);
        EXPECT_EQ(g_calls[0].height, 3);  // rows 17-19
        EXPECT_EQ(g_calls[0].src_pitch, f.pitch);
        EXPECT_EQ(g_calls[0].dst_pitch, ctx->pitch);
        EXPECT_EQ(uint32_t(g_calls[0].alpha), c.alpha);
        EXPECT_EQ(g_calls[0].param, &tag);
    }
}

// A target without rows has an empty view: a font straddling its top edge
// draws nothing, and the routine never gets a row that is not the target's.
TEST_F(DrawStringTest, TargetsWithoutRowsNeverReachTheRoutine) {
    open(40, 20, 32);
    const Font f = make_font(true, 4, 'A', 'B', {4, 6}, 5);
    const ImageHeader standard{7, 4, 8, 0, 32, {}};
    const uint16_t compact[2] = {uint16_t(8 << 3), 0};
    for (const void* target : {static_cast<const void*>(&standard), static_cast<const void*>(compact)}) {
        g_calls.clear();
        EXPECT_EQ(gfx_draw_string(const_cast<void*>(target), 0, -1, coord_abs, temp("AB"), 0, f.bytes.data(), 1,
                                  record, nullptr, nullptr),
                  0);
        EXPECT_TRUE(g_calls.empty());
    }
}

}  // namespace
