// Text console on the graphics screen: printing, scrolling, cells, cursor,
// colours, clearing and the text size.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gfx/console/console_internal.h"
#include "gfx/core/context_internal.h"
#include "gfx/gfx.h"

namespace {

constexpr uint32_t kBlack = 0xFF000000u;
constexpr uint32_t kWhite = 0xFFFFFFFFu;

class TextConsole : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ZRGFX", "null", 1);
        rt_set_text_view(-1, -1);
        ASSERT_EQ(gfx_screen_set(18, 32, 4, 0, 0), 0);
        ctx = gfx_context();
        ASSERT_NE(ctx, nullptr);
    }
    void TearDown() override {
        gfx_screen_set(0, 0, 0, 0, 0);
        gfx::set_console_beep(nullptr);
        gfx::set_console_skip_hidden(true);
    }

    void open(int32_t mode, int32_t depth) {
        ASSERT_EQ(gfx_screen_set(mode, depth, 2, 0, 0), 0);
        ctx = gfx_context();
        ASSERT_NE(ctx, nullptr);
    }

    static void print(const std::string& s) { gfx_print_buffer(s.data(), int32_t(s.size()), 0); }

    uint32_t pixel(int32_t page, int32_t x, int32_t y) const {
        const uint8_t* p = ctx->pages[page] + std::size_t(y) * ctx->pitch + std::size_t(x) * ctx->bpp;
        uint32_t v = 0;
        std::memcpy(&v, p, std::size_t(ctx->bpp));
        return v;
    }
    uint32_t pixel(int32_t x, int32_t y) const { return pixel(gfx_get_draw_state()->work_page, x, y); }

    // Checks that text cell (col, row), 0-based, shows glyph ch of the
    // console font opaquely in fg on bg.
    void expect_glyph(int32_t col, int32_t row, unsigned char ch, uint32_t fg, uint32_t bg) const {
        const GfxFont* f = ctx->font;
        int mismatches = 0;
        for (int32_t r = 0; r < f->h; ++r)
            for (int32_t c = 0; c < f->w; ++c) {
                const bool set = (f->data[ch * f->h + r] >> c) & 1;
                if (pixel(col * f->w + c, row * f->h + r) != (set ? fg : bg)) ++mismatches;
            }
        EXPECT_EQ(mismatches, 0) << "cell " << col << "," << row << " char " << int(ch);
    }

    // Every pixel of pixel rows y0..y1 (inclusive) equals v.
    bool rows_are(int32_t y0, int32_t y1, uint32_t v) const {
        for (int32_t y = y0; y <= y1; ++y)
            for (int32_t x = 0; x < ctx->w; ++x)
                if (pixel(x, y) != v) return false;
        return true;
    }

    int32_t dirty_count() const {
        int32_t n = 0;
        for (int32_t y = 0; y < ctx->h; ++y) n += ctx->dirty[y];
        return n;
    }
    void clear_dirty() const { std::memset(ctx->dirty, 0, std::size_t(ctx->h)); }

    GfxContext* ctx = nullptr;
};

// ---- printing ----------------------------------------------------------------

TEST_F(TextConsole, PrintsOpaqueCellsAndNewLine) {
    gfx_locate(1, 1, 0);
    EXPECT_EQ(gfx_print(0, rt_str_temp_cstr("AB"), RT_PRINT_NEWLINE), 0);
    expect_glyph(0, 0, 'A', kWhite, kBlack);
    expect_glyph(1, 0, 'B', kWhite, kBlack);
    EXPECT_EQ(gfx_get_y(), 2);
    EXPECT_EQ(gfx_get_x(), 1);
    EXPECT_EQ(gfx_read_xy(1, 1, 0), 'A');
    EXPECT_EQ(gfx_read_xy(2, 1, 0), 'B');
    EXPECT_EQ(gfx_read_xy(3, 1, 0), ' ');
    EXPECT_EQ(rt_str_temps_in_use(), 0);
}

TEST_F(TextConsole, GlyphBitsUseCurrentColours) {
    gfx_color(0xFF000001u, 0xFFFF00FFu, 0);
    print("\x01g");  // byte 1 is a glyph, not a control
    expect_glyph(0, 0, 0x01, 0xFF000001u, 0xFFFF00FFu);
    expect_glyph(1, 0, 'g', 0xFF000001u, 0xFFFF00FFu);
    EXPECT_EQ(gfx_read_xy(1, 1, 1), int32_t(0xFF000001u));
    EXPECT_EQ(gfx_read_xy(1, 1, 2), int32_t(0xFFFF00FFu));
}

TEST_F(TextConsole, LongLineWrapsToNextRow) {
    gfx_locate(3, 78, 0);
    print("12345");
    EXPECT_EQ(gfx_read_xy(78, 3, 0), '1');
    EXPECT_EQ(gfx_read_xy(80, 3, 0), '3');
    EXPECT_EQ(gfx_read_xy(1, 4, 0), '4');
    EXPECT_EQ(gfx_read_xy(2, 4, 0), '5');
    EXPECT_EQ(gfx_get_x(), 3);
    EXPECT_EQ(gfx_get_y(), 4);
}

TEST_F(TextConsole, FillingBottomRowDefersScrollToNextPrint) {
    gfx_locate(29, 1, 0);
    print("above");
    gfx_locate(30, 1, 0);
    print(std::string(80, 'x'));
    // No scroll yet: both rows stay where they were printed.
    EXPECT_EQ(gfx_read_xy(1, 29, 0), 'a');
    EXPECT_EQ(gfx_read_xy(80, 30, 0), 'x');
    EXPECT_EQ(gfx_get_y(), 30);
    EXPECT_EQ(gfx_get_x(), 80);
    EXPECT_TRUE(ctx->flags & GFX_PRINT_WRAP_PENDING);

    print("y");
    EXPECT_EQ(gfx_read_xy(1, 28, 0), 'a');
    EXPECT_EQ(gfx_read_xy(1, 29, 0), 'x');
    EXPECT_EQ(gfx_read_xy(1, 30, 0), 'y');
    EXPECT_EQ(gfx_read_xy(2, 30, 0), ' ');
    expect_glyph(0, 29, 'y', kWhite, kBlack);
    EXPECT_EQ(gfx_get_x(), 2);
    EXPECT_FALSE(ctx->flags & GFX_PRINT_WRAP_PENDING);
}

TEST_F(TextConsole, LineFeedOnBottomRowScrollsAtOnce) {
    gfx_locate(30, 1, 0);
    print("Q");
    gfx_color(kWhite, 0xFF0000FFu, 0);
    print("\n");
    EXPECT_EQ(gfx_read_xy(1, 29, 0), 'Q');
    expect_glyph(0, 28, 'Q', kWhite, kBlack);
    EXPECT_TRUE(rows_are(29 * 16, 479, 0xFF0000FFu));
    for (int32_t c = 1; c <= 80; ++c) {
        ASSERT_EQ(gfx_read_xy(c, 30, 0), ' ');
        ASSERT_EQ(gfx_read_xy(c, 30, 2), int32_t(0xFF0000FFu));
    }
    EXPECT_EQ(gfx_get_y(), 30);
    EXPECT_EQ(gfx_get_x(), 1);
}

TEST_F(TextConsole, ScrollStaysInsideTextView) {
    gfx_locate(1, 1, 0);
    print("top");
    gfx_locate(12, 1, 0);
    print("below");
    rt_set_text_view(4, 9);  // rows 5..10, 1-based
    gfx_locate(5, 1, 0);
    print("first");
    gfx_locate(10, 1, 0);
    print("last\n");
    EXPECT_EQ(gfx_read_xy(1, 9, 0), 'l');
    EXPECT_EQ(gfx_read_xy(1, 10, 0), ' ');
    EXPECT_EQ(gfx_read_xy(1, 4, 0), ' ');  // "first" left the view, not above it
    EXPECT_EQ(gfx_read_xy(1, 1, 0), 't');
    EXPECT_EQ(gfx_read_xy(1, 12, 0), 'b');
    expect_glyph(0, 11, 'b', kWhite, kBlack);
    EXPECT_EQ(gfx_get_y(), 10);
}

TEST_F(TextConsole, TabAtColumnThreeWritesSixBlanks) {
    gfx_locate(1, 1, 0);
    print(std::string(12, 'z'));
    gfx_locate(1, 3, 0);
    print("\t");
    EXPECT_EQ(gfx_read_xy(2, 1, 0), 'z');
    for (int32_t c = 3; c <= 8; ++c) EXPECT_EQ(gfx_read_xy(c, 1, 0), ' ') << c;
    EXPECT_EQ(gfx_read_xy(9, 1, 0), 'z');
    expect_glyph(7, 0, ' ', kWhite, kBlack);
    EXPECT_EQ(gfx_get_x(), 9);
}

TEST_F(TextConsole, BackspaceMovesWithoutErasing) {
    gfx_locate(2, 1, 0);
    print("AB\b");
    EXPECT_EQ(gfx_get_x(), 2);
    expect_glyph(1, 1, 'B', kWhite, kBlack);
    print("C");
    expect_glyph(1, 1, 'C', kWhite, kBlack);
    print("\b\b\b\b");  // stops at the left edge
    EXPECT_EQ(gfx_get_x(), 1);
    EXPECT_EQ(gfx_get_y(), 2);
    EXPECT_EQ(gfx_read_xy(1, 2, 0), 'A');
}

TEST_F(TextConsole, CarriageReturnAndBell) {
    static int beeps = 0;
    beeps = 0;
    gfx::set_console_beep([] { ++beeps; });
    gfx_locate(3, 1, 0);
    print("abc\rX\a");
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(gfx_read_xy(1, 3, 0), 'X');
    EXPECT_EQ(gfx_read_xy(2, 3, 0), 'b');
    EXPECT_EQ(gfx_read_xy(4, 3, 0), ' ');  // the bell drew nothing
    EXPECT_EQ(gfx_get_x(), 2);
}

TEST_F(TextConsole, SingleByte255IsCursorMark) {
    gfx_color(0xFF00FF00u, 0xFF0000FFu, 0);
    gfx_locate(1, 1, 0);
    print("A");
    gfx_color(0xFFFF0000u, kBlack, 0);
    gfx_locate(1, 1, 0);
    print("\xFF");
    // Rows 0-14 keep the green A on blue, row 15 is red.
    const GfxFont* f = ctx->font;
    for (int32_t r = 0; r < 15; ++r)
        for (int32_t c = 0; c < 8; ++c)
            ASSERT_EQ(pixel(c, r), ((f->data['A' * 16 + r] >> c) & 1) ? 0xFF00FF00u : 0xFF0000FFu);
    for (int32_t c = 0; c < 8; ++c) EXPECT_EQ(pixel(c, 15), 0xFFFF0000u);
    EXPECT_EQ(gfx_get_x(), 2);
    // Two bytes 255 are two ordinary glyph cells.
    gfx_locate(2, 1, 0);
    print("\xFF\xFF");
    expect_glyph(0, 1, 0xFF, 0xFFFF0000u, kBlack);
    expect_glyph(1, 1, 0xFF, 0xFFFF0000u, kBlack);
}

TEST_F(TextConsole, CellsHoldSignExtendedCharacters) {
    print("\x84\x7F\xFF\xFF");
    EXPECT_EQ(gfx_read_xy(1, 1, 0), int16_t(0xFF84));
    EXPECT_EQ(gfx_read_xy(2, 1, 0), 0x7F);
    EXPECT_EQ(ctx->text_cells[0][2].ch, int16_t(0xFFFF));
}

TEST_F(TextConsole, EmptyPrintSettlesPendingLineEndOnlyWithInputMask) {
    gfx_locate(30, 1, 0);
    print(std::string(80, 'x'));
    ASSERT_TRUE(ctx->flags & GFX_PRINT_WRAP_PENDING);
    gfx_print_buffer(nullptr, 0, 0);
    EXPECT_TRUE(ctx->flags & GFX_PRINT_WRAP_PENDING);
    EXPECT_EQ(gfx_read_xy(1, 30, 0), 'x');
    gfx_print_buffer("", 0, 0x8);
    EXPECT_FALSE(ctx->flags & GFX_PRINT_WRAP_PENDING);
    EXPECT_EQ(gfx_read_xy(1, 29, 0), 'x');
    EXPECT_EQ(gfx_read_xy(1, 30, 0), ' ');
    EXPECT_EQ(gfx_get_x(), 1);
    EXPECT_EQ(gfx_get_y(), 30);
}

TEST_F(TextConsole, PrintColumnFollowsCursor) {
    gfx_locate(5, 10, 0);
    print("abc");
    EXPECT_EQ(rt_print_column(), 12);
    print("\r");
    EXPECT_EQ(rt_print_column(), 0);
    // A print zone after text: "abc" from column 0 ends at column 3, the
    // next zone starts at column 14.
    gfx_print(0, rt_str_temp_cstr("abc"), RT_PRINT_ZONE);
    EXPECT_EQ(gfx_get_x(), 15);
}

TEST_F(TextConsole, PrintsOnWorkPageOnly) {
    gfx_page_set(1, 0);
    print("W");
    EXPECT_EQ(ctx->text_cells[1][0].ch, 'W');
    EXPECT_EQ(ctx->text_cells[0][0].ch, ' ');
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 8; ++x) ASSERT_EQ(pixel(0, x, y), kBlack);
    expect_glyph(0, 0, 'W', kWhite, kBlack);
}

// ---- wide strings --------------------------------------------------------

TEST_F(TextConsole, WideStringsConvertUnitsAndSurrogates) {
    struct Case {
        std::vector<uint16_t> units;
        const char* expected;
    };
    const Case cases[] = {
        {{0x41, 0xE4, 0x20AC, 0x42}, "A\xE4?B"},
        {{0xD83D, 0xDE00, 0x43}, "?C"},         // a pair becomes one "?"
        {{0xDC00, 0x44}, "?D"},                 // lone low surrogate
        {{0x45, 0xD800}, "E?"},                 // high surrogate at the end
        {{0xD800, 0xD800, 0x46}, "?F"},         // the second unit is swallowed
        {{0x0100}, "?"},
    };
    int32_t row = 1;
    for (const Case& c : cases) {
        gfx_locate(row, 1, 0);
        // Exactly sized heap copy: a read past the end would be caught.
        std::unique_ptr<uint16_t[]> units(new uint16_t[c.units.size()]);
        std::copy(c.units.begin(), c.units.end(), units.get());
        gfx_print_buffer_wide(units.get(), int32_t(c.units.size()), 0);
        const std::string want = c.expected;
        for (std::size_t i = 0; i < want.size(); ++i)
            EXPECT_EQ(gfx_read_xy(int32_t(i) + 1, row, 0), int16_t(int8_t(want[i]))) << row;
        EXPECT_EQ(gfx_get_x(), int32_t(want.size()) + 1) << row;
        ++row;
    }
    gfx_print_buffer_wide(nullptr, 5, 0);
    EXPECT_EQ(gfx_get_x(), 2);
}

// ---- cursor, locate, sizes -------------------------------------------------

TEST_F(TextConsole, LocateResultsAndValidation) {
    EXPECT_EQ(gfx_locate(3, 7, 1), 7 | (3 << 8));
    EXPECT_EQ(gfx_locate(0, 9, 0), 9 | (3 << 8));
    EXPECT_EQ(gfx_locate(5, 0, 0), 9 | (5 << 8));
    rt_set_error(0);
    EXPECT_EQ(gfx_locate(31, 1, 0), 9 | (5 << 8));
    EXPECT_EQ(rt_get_error(), 1);
    rt_set_error(0);
    EXPECT_EQ(gfx_locate(1, 81, 0), 9 | (5 << 8));
    EXPECT_EQ(rt_get_error(), 1);
    int32_t col = 0, row = 0;
    gfx_get_xy(&col, &row);
    EXPECT_EQ(col, 9);
    EXPECT_EQ(row, 5);
    gfx_get_xy(nullptr, &row);
    gfx_get_xy(nullptr, nullptr);
    int32_t cols = 0, rows = 0;
    gfx_get_size(&cols, &rows);
    EXPECT_EQ(cols, 80);
    EXPECT_EQ(rows, 30);
    gfx_get_size(nullptr, nullptr);
}

TEST_F(TextConsole, LocateClearsPendingLineEnd) {
    gfx_locate(30, 1, 0);
    print(std::string(80, 'x'));
    gfx_locate(30, 1, 0);
    EXPECT_FALSE(ctx->flags & GFX_PRINT_WRAP_PENDING);
    print("y");
    EXPECT_EQ(gfx_read_xy(1, 30, 0), 'y');
    EXPECT_EQ(gfx_read_xy(2, 30, 0), 'x');
}

TEST_F(TextConsole, UncheckedCursorNeverWritesOutsideCells) {
    // The graphics version trusts its callers; a wild cursor must still
    // stay inside the page and the cells.
    const std::pair<int32_t, int32_t> spots[] = {{1000, 1000}, {-5, -7}, {0, 200}, {200, 0}, {31, 81}};
    for (auto [row, col] : spots) {
        ctx->cursor_x = col;
        ctx->cursor_y = row;
        print("xyz\t\b\n\rw");
    }
    gfx::graphics_locate(500, 500, 0);
    print("far");
    EXPECT_GE(gfx_get_y(), 1);
}

// ---- colours -------------------------------------------------------------------

TEST_F(TextConsole, Color32StoresValuesAndReturnsOldForeground) {
    EXPECT_EQ(gfx_color(0xFF000001u, 0xFFFF00FFu, 0), kWhite);
    print("M");
    expect_glyph(0, 0, 'M', 0xFF000001u, 0xFFFF00FFu);
    EXPECT_EQ(gfx_color(0x12345678u, 0, 2), 0xFF000001u);  // background kept
    GfxDrawState* s = gfx_get_draw_state();
    EXPECT_EQ(s->fg_color, 0x12345678u);  // alpha stored unchanged
    EXPECT_EQ(s->bg_color, 0xFFFF00FFu);
    gfx_color(0, 0xFF0000FFu, 1);  // foreground kept
    EXPECT_EQ(s->fg_color, 0x12345678u);
    EXPECT_EQ(s->bg_color, 0xFF0000FFu);
}

TEST_F(TextConsole, Color16ResultsRepeatHighBits) {
    open(18, 16);
    EXPECT_EQ(gfx_color(0xFF123456u, 0xFF808080u, 0), 0xFFFFFFFFu);  // default 0xFFFF
    EXPECT_EQ(gfx_get_draw_state()->fg_color, 0x11AAu);
    // r 0x12 -> 2 -> 0x10, g 0x34 -> 13 -> 0x34, b 0x56 -> 10 -> 0x52
    EXPECT_EQ(gfx_color(0xFF0842FFu, 0, 3), 0xFF103452u);
    gfx_color(0xFF0842FFu, 0, 2);
    // r 0x08 -> 1 -> 0x08, g 0x42 -> 16 -> 0x41, b 0xFF -> 31 -> 0xFF
    EXPECT_EQ(gfx_color(0, 0, 3), 0xFF0841FFu);
    print("k");
    EXPECT_EQ(gfx_read_xy(1, 1, 1), int32_t(0xFF0841FFu));
    EXPECT_EQ(gfx_read_xy(1, 1, 2), int32_t(0xFF848284u));  // 0x8410 widened
    expect_glyph(0, 0, 'k', 0x0A1Fu, 0x8410u);
}

TEST_F(TextConsole, ColorInPaletteModes) {
    open(18, 8);
    EXPECT_EQ(gfx_color(4, 1, 0), 15u);
    EXPECT_EQ(gfx_color(0, 0, 3), 4u | (1u << 16));
    print("p");
    EXPECT_EQ(gfx_read_xy(1, 1, 1), 4 + 1 * 256);
    open(12, 4);  // 4 bits per pixel
    gfx_color(14, 2, 0);
    print("q");
    EXPECT_EQ(gfx_read_xy(1, 1, 3), 14 + 2 * 16);
    EXPECT_EQ(gfx_read_xy(1, 1, 0), 'q');
}

TEST_F(TextConsole, ReadXYOutsideIsZero) {
    print("r");
    const std::pair<int32_t, int32_t> outside[] = {{0, 1}, {1, 0}, {81, 1}, {1, 31}, {-1, -1}, {INT32_MAX, 1}};
    for (auto [c, r] : outside) EXPECT_EQ(gfx_read_xy(c, r, 0), 0) << c << "," << r;
    EXPECT_EQ(gfx_read_xy(80, 30, 0), ' ');
}

// ---- cls -----------------------------------------------------------------------

TEST_F(TextConsole, ClsModeZeroClearsPageCellsAndCursor) {
    print("hello");
    gfx_color(kWhite, 0xFF102030u, 0);
    gfx_locate(7, 9, 0);
    gfx_get_draw_state()->last_x = 5;
    gfx_cls(0);
    EXPECT_TRUE(rows_are(0, 479, 0xFF102030u));
    EXPECT_EQ(gfx_read_xy(1, 1, 0), ' ');
    EXPECT_EQ(gfx_read_xy(1, 1, 2), int32_t(0xFF102030u));
    EXPECT_EQ(gfx_get_x(), 1);
    EXPECT_EQ(gfx_get_y(), 1);
    EXPECT_EQ(gfx_get_draw_state()->last_x, 320.0f);
    EXPECT_EQ(gfx_get_draw_state()->last_y, 240.0f);
}

TEST_F(TextConsole, ClsModeOneClearsViewOnly) {
    print("keep");
    GfxDrawState* s = gfx_get_draw_state();
    s->view_x = 100;
    s->view_y = 50;
    s->view_w = 200;
    s->view_h = 100;
    gfx_color(kWhite, 0xFF00FF00u, 0);
    gfx_locate(3, 3, 0);
    gfx_cls(1);
    EXPECT_EQ(pixel(100, 50), 0xFF00FF00u);
    EXPECT_EQ(pixel(299, 149), 0xFF00FF00u);
    EXPECT_EQ(pixel(99, 50), kBlack);
    EXPECT_EQ(pixel(300, 149), kBlack);
    EXPECT_EQ(pixel(100, 150), kBlack);
    EXPECT_EQ(gfx_read_xy(1, 1, 0), 'k');
    expect_glyph(0, 0, 'k', kWhite, kBlack);
    EXPECT_EQ(gfx_get_y(), 3);
    EXPECT_EQ(s->last_x, 100.0f);
    EXPECT_EQ(s->last_y, 50.0f);
    gfx_cls(7);  // other modes act like 1
    EXPECT_EQ(gfx_read_xy(1, 1, 0), 'k');
}

TEST_F(TextConsole, ClsModeTwoClearsTextViewRows) {
    gfx_locate(1, 1, 0);
    print("one");
    gfx_locate(4, 1, 0);
    print("four");
    gfx_locate(6, 1, 0);
    print("six");
    rt_set_text_view(2, 4);  // rows 3..5
    gfx_color(kWhite, 0xFF445566u, 0);
    gfx_cls(2);
    EXPECT_TRUE(rows_are(32, 79, 0xFF445566u));
    EXPECT_EQ(pixel(0, 31) == 0xFF445566u, false);
    EXPECT_EQ(pixel(0, 80) == 0xFF445566u, false);
    EXPECT_EQ(gfx_read_xy(1, 1, 0), 'o');
    EXPECT_EQ(gfx_read_xy(1, 4, 0), ' ');
    EXPECT_EQ(gfx_read_xy(1, 6, 0), 's');
    EXPECT_EQ(gfx_get_y(), 3);
    EXPECT_EQ(gfx_get_x(), 1);
}

TEST_F(TextConsole, ClsWithoutModeFollowsViews) {
    // Whole-screen text view: mode 0.
    print("a");
    gfx_color(kWhite, 0xFF010101u, 0);
    gfx_cls(RT_CLS_DEFAULT);
    EXPECT_TRUE(rows_are(0, 479, 0xFF010101u));
    // Partial text view: mode 2.
    rt_set_text_view(0, 9);
    gfx_color(kWhite, 0xFF020202u, 0);
    gfx_cls(RT_CLS_DEFAULT);
    EXPECT_TRUE(rows_are(0, 159, 0xFF020202u));
    EXPECT_TRUE(rows_are(160, 479, 0xFF010101u));
    // Explicit graphics view: mode 1.
    GfxDrawState* s = gfx_get_draw_state();
    s->flags |= GFX_VIEW_SET;
    s->view_y = 400;
    s->view_h = 80;
    gfx_locate(2, 2, 0);
    gfx_color(kWhite, 0xFF030303u, 0);
    gfx_cls(RT_CLS_DEFAULT);
    EXPECT_TRUE(rows_are(400, 479, 0xFF030303u));
    EXPECT_TRUE(rows_are(0, 159, 0xFF020202u));
    EXPECT_EQ(gfx_get_y(), 2);
}

TEST_F(TextConsole, ClsAfterPendingLineEndStartsAtTop) {
    gfx_locate(30, 1, 0);
    print(std::string(80, 'x'));
    gfx_cls(0);
    print("t");
    EXPECT_EQ(gfx_read_xy(1, 1, 0), 't');
}

// ---- width ---------------------------------------------------------------------

TEST_F(TextConsole, WidthAcceptsOnlyBuiltInCellSizes) {
    struct Case {
        int32_t cols, rows;
        bool accepted;
        int32_t font_h;
    };
    const Case cases[] = {
        {80, 60, true, 8},    // 8 x 8
        {80, 34, true, 14},   // 480 / 34 = 14
        {80, 30, true, 16},
        {0, 60, true, 8},     // columns kept
        {80, 0, true, 8},     // font height kept
        {80, 40, false, 0},   // 12 rows high
        {81, 30, false, 0},   // 7 wide
        {40, 30, false, 0},   // 16 wide
        {0, 0, false, 0},
        {-3, -3, false, 0},
        {100000, 30, false, 0},
    };
    for (const Case& c : cases) {
        const int32_t before_w = ctx->text_w, before_h = ctx->text_h;
        const GfxFont* before_font = ctx->font;
        EXPECT_EQ(gfx_width(c.cols, c.rows), before_w | (before_h << 16)) << c.cols << "x" << c.rows;
        if (c.accepted) {
            EXPECT_EQ(ctx->font->h, c.font_h);
            EXPECT_EQ(ctx->font->w, 8);
            EXPECT_EQ(ctx->text_w, c.cols > 0 ? c.cols : before_w);
            EXPECT_EQ(ctx->text_h, c.rows > 0 ? c.rows : before_h);
        } else {
            EXPECT_EQ(ctx->font, before_font);
            EXPECT_EQ(ctx->text_w, before_w);
            EXPECT_EQ(ctx->text_h, before_h);
        }
    }
}

TEST_F(TextConsole, WidthResetsViewsCellsAndScreen) {
    print("old");
    gfx_page_set(1, 0);
    print("other page");
    gfx_page_set(0, 0);
    GfxDrawState* s = gfx_get_draw_state();
    s->flags |= GFX_VIEW_SET;
    s->view_x = 10;
    s->view_w = 20;
    rt_set_text_view(3, 5);
    gfx_color(kWhite, 0xFF0A0B0Cu, 0);
    EXPECT_EQ(gfx_width(80, 60), 80 | (30 << 16));
    EXPECT_FALSE(s->flags & GFX_VIEW_SET);
    EXPECT_EQ(s->view_x, 0);
    EXPECT_EQ(s->view_w, 640);
    int32_t top = 0, bottom = 0;
    rt_text_view(&top, &bottom);
    EXPECT_EQ(top, -1);
    EXPECT_EQ(bottom, -1);
    EXPECT_TRUE(rows_are(0, 479, 0xFF0A0B0Cu));
    for (int32_t p = 0; p < ctx->page_count; ++p) {
        EXPECT_EQ(ctx->text_cells[p][0].ch, ' ') << p;
        EXPECT_EQ(ctx->text_cells[p][80 * 60 - 1].ch, ' ') << p;
    }
    EXPECT_EQ(gfx_get_y(), 1);
    gfx_locate(60, 80, 0);
    print("Z");  // the last cell of the new grid, 8 x 8
    expect_glyph(79, 59, 'Z', kWhite, 0xFF0A0B0Cu);
    EXPECT_EQ(gfx_read_xy(80, 60, 0), 'Z');
}

// ---- dirty rows ----------------------------------------------------------------

TEST_F(TextConsole, DirtyRowsOnlyWhenWorkPageVisible) {
    clear_dirty();
    gfx_locate(2, 1, 0);
    print("d");
    EXPECT_EQ(dirty_count(), 16);
    EXPECT_EQ(ctx->dirty[16], 1);
    EXPECT_EQ(ctx->dirty[31], 1);

    clear_dirty();
    gfx_locate(30, 1, 0);
    print("\n");  // scroll of the whole view
    EXPECT_EQ(dirty_count(), 480);

    clear_dirty();
    gfx_page_set(1, 0);
    print("hidden\n");
    gfx_cls(0);
    gfx_locate(30, 1, 0);
    print("\n");
    EXPECT_EQ(dirty_count(), 0);

    gfx_page_set(0, 0);
    clear_dirty();
    gfx_cls(2);
    EXPECT_EQ(dirty_count(), 480);
}

// ---- long and odd prints -------------------------------------------------------

TEST_F(TextConsole, HugePrintKeepsOnlyTheLastScreen) {
    // 10 MB of numbered lines: rows far above the end scroll away.
    std::string text;
    text.reserve(10u << 20);
    int line = 0;
    while (text.size() < (10u << 20)) {
        text += "line " + std::to_string(line++) + std::string(60, '.') + "\r\n";
    }
    text += "END";
    gfx_print_buffer(text.data(), int32_t(text.size()), 0);
    EXPECT_EQ(gfx_get_y(), 30);
    EXPECT_EQ(gfx_get_x(), 4);
    EXPECT_EQ(gfx_read_xy(1, 30, 0), 'E');
    // Row 29 holds the last numbered line.
    const std::string last = "line " + std::to_string(line - 1);
    for (std::size_t i = 0; i < last.size(); ++i)
        EXPECT_EQ(gfx_read_xy(int32_t(i) + 1, 29, 0), last[i]);
    expect_glyph(0, 28, 'l', kWhite, kBlack);
}

TEST_F(TextConsole, SkippingHiddenRowsGivesSamePixelsAndCells) {
    // A small screen (5 x 6 cells, view rows 2-5) makes prints scroll often;
    // the shortcut must not change what ends up on the page.
    std::mt19937 rng(12345);
    const char alphabet[] = "ab\n\r\t\b\xFF\x07 ";
    for (int round = 0; round < 60; ++round) {
        std::string pieces[3];
        for (std::string& text : pieces) {
            const int n = int(rng() % 300);
            for (int i = 0; i < n; ++i) text += alphabet[rng() % (sizeof alphabet - 1)];
        }
        const int32_t start_row = 2 + int32_t(rng() % 4);
        const uint32_t colours[3] = {uint32_t(rng()), uint32_t(rng()), uint32_t(rng())};

        std::vector<uint8_t> pixels[2];
        std::vector<GfxTextCell> cells[2];
        int32_t cursor[2][3];
        for (int pass = 0; pass < 2; ++pass) {
            ASSERT_EQ(gfx_screen_set_size(40, 48, 32, 1, -1, 0), 0);
            ctx = gfx_context();
            rt_set_text_view(1, 4);
            gfx::set_console_skip_hidden(pass == 0);
            gfx_locate(start_row, 1, 0);
            for (int k = 0; k < 3; ++k) {
                gfx_color(0xFF000000u | colours[k], 0xFF000000u | ~colours[k], 0);
                gfx_print_buffer(pieces[k].data(), int32_t(pieces[k].size()), 0);
            }
            pixels[pass].assign(ctx->pages[0], ctx->pages[0] + std::size_t(ctx->pitch) * std::size_t(ctx->h));
            cells[pass].assign(ctx->text_cells[0], ctx->text_cells[0] + ctx->text_w * ctx->text_h);
            cursor[pass][0] = ctx->cursor_x;
            cursor[pass][1] = ctx->cursor_y;
            cursor[pass][2] = int32_t(ctx->flags & GFX_PRINT_WRAP_PENDING);
        }
        ASSERT_EQ(pixels[0], pixels[1]) << "round " << round;
        ASSERT_EQ(cells[0].size(), cells[1].size());
        for (std::size_t i = 0; i < cells[0].size(); ++i) {
            ASSERT_EQ(cells[0][i].ch, cells[1][i].ch) << round << " cell " << i;
            ASSERT_EQ(cells[0][i].fg, cells[1][i].fg);
            ASSERT_EQ(cells[0][i].bg, cells[1][i].bg);
        }
        ASSERT_EQ(std::memcmp(cursor[0], cursor[1], sizeof cursor[0]), 0) << round;
    }
}

TEST_F(TextConsole, ScreensWithoutWholeCellsPrintNothing) {
    ASSERT_EQ(gfx_screen_set_size(7, 7, 32, 1, -1, 0), 0);  // 0 x 0 cells
    print("abc\n\t");
    ASSERT_EQ(gfx_screen_set_size(12, 9, 8, 1, -1, 0), 0);  // one 8 x 8 cell
    print("abc\n\tdef");
    EXPECT_EQ(gfx_read_xy(1, 1, 0), 'f');
}

TEST_F(TextConsole, NegativeAndZeroLengths) {
    gfx_print_buffer("abc", -5, 0);
    gfx_print_buffer("abc", 0, 0);
    gfx_print_buffer(nullptr, 3, 0);
    EXPECT_EQ(gfx_get_x(), 1);
    gfx_print_buffer_wide(nullptr, -1, 0x8);
    EXPECT_EQ(gfx_get_x(), 1);
}

TEST(TextConsoleNoScreen, GraphicsVersionsDoNothingWithoutScreen) {
    gfx_screen_set(0, 0, 0, 0, 0);
    gfx::graphics_print_buffer("x", 1, 0);
    gfx::graphics_cls(0);
    EXPECT_EQ(gfx::graphics_locate(2, 2, 0), 0);
    EXPECT_EQ(gfx::graphics_get_x(), 0);
    EXPECT_EQ(gfx::graphics_width(80, 25), 0);
    EXPECT_EQ(gfx::graphics_read_xy(1, 1, 0), 0);
    EXPECT_EQ(gfx::graphics_color(1, 2, 0), 0u);
}

}  // namespace
