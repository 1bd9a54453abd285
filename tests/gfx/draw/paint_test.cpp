// Flood fill: regions, connectivity, clipping, tiles, omitted colours, the
// release of temporary tile strings, out-of-memory behaviour, dirty rows and
// image targets; and a comparison with a direct, run-list based transcription
// of the fill on random pages.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "gfx/core/context_internal.h"
#include "gfx/core/pixel_routines.h"
#include "gfx/draw/paint_internal.h"
#include "gfx/draw/paint_scan.h"
#include "gfx/gfx.h"

namespace {

// ---- the reference: a direct transcription of the fill --------------------

struct RefRun {
    int32_t y, x1, x2;
    RefRun* next_in_row;
    RefRun* next_in_queue;
};

struct RefFill {
    GfxDrawState* s;
    uint32_t border;
    std::vector<RefRun*> rows;
    RefRun* tail = nullptr;

    // The run through (p, y); null if the row already holds it.
    RefRun* find_run(int32_t p, int32_t y, int32_t* right) {
        int32_t x1 = p, x2 = p;
        while (x1 > s->view_x && s->get_pixel(s, x1 - 1, y) != border) --x1;
        while (x2 < s->view_x + s->view_w - 1 && s->get_pixel(s, x2 + 1, y) != border) ++x2;
        *right = x2;
        for (RefRun* r = rows[y]; r; r = r->next_in_row)
            if (r->x1 == x1 && r->x2 == x2) return nullptr;
        auto* run = new RefRun{y, x1, x2, rows[y], nullptr};
        rows[y] = run;
        return run;
    }

    void scan(int32_t y, const RefRun& from) {
        for (int32_t p = from.x1; p <= from.x2; ++p) {
            if (s->get_pixel(s, p, y) == border) continue;
            int32_t right;
            if (RefRun* run = find_run(p, y, &right)) {
                tail->next_in_queue = run;
                tail = run;
            }
            p = right + 1;
        }
    }
};

void reference_paint(void* target, float x, float y, uint32_t fill, uint32_t border, RuntimeString* tile,
                     int32_t mode, uint32_t flags) {
    GfxDrawState* s = gfx_get_draw_state();
    if (!gfx_context() || !gfx::select_target(s, target)) {
        rt_str_release_temp(tile);
        return;
    }
    fill = (flags & 0x80000000u) ? s->fg_color : gfx_color_to_pixel(s->target_bpp, fill);
    border = (flags & 0x40000000u) ? fill : gfx_color_to_pixel(s->target_bpp, border);
    gfx_select_pixel_routines(s, fill);
    gfx_resolve_relative(s, int32_t(flags), &x, &y, nullptr, nullptr);
    int32_t sx, sy;
    gfx_translate_coords(s, x, y, &sx, &sy);
    uint8_t t[256] = {};
    if (mode == 1 && tile) std::memcpy(t, tile->data, std::min<std::size_t>(tile->length & 0x7FFFFFFFu, 256));
    rt_str_release_temp(tile);
    if (sx < s->view_x || sx >= s->view_x + s->view_w || sy < s->view_y || sy >= s->view_y + s->view_h) return;
    if (s->get_pixel(s, sx, sy) == border) return;

    RefFill f{s, border, std::vector<RefRun*>(std::size_t(s->view_y + s->view_h), nullptr)};
    int32_t right;
    RefRun* head = f.find_run(sx, sy, &right);
    f.tail = head;
    for (RefRun* r = head; r; r = r->next_in_queue) {
        if (r->y - 1 >= s->view_y) f.scan(r->y - 1, *r);
        if (r->y + 1 < s->view_y + s->view_h) f.scan(r->y + 1, *r);
    }

    const int32_t bpp = s->target_bpp;
    gfx_lock();
    for (int32_t row = s->view_y; row < s->view_y + s->view_h; ++row) {
        for (RefRun* r = f.rows[row]; r;) {
            uint8_t* d = s->line[row] + r->x1 * bpp;
            if (mode == 0) {
                s->pixel_set(d, fill, r->x2 - r->x1 + 1);
            } else {
                const uint8_t* trow = t + (row % 8) * 8 * bpp;
                int32_t x = r->x1;
                const int32_t head_n = std::min(8 - x % 8, r->x2 - x + 1);
                gfx_pixel_copy(d, trow + (x % 8) * bpp, head_n);
                x += head_n;
                for (; x + 8 <= r->x2 + 1; x += 8) gfx_pixel_copy(s->line[row] + x * bpp, trow, 8);
                gfx_pixel_copy(s->line[row] + x * bpp, trow, r->x2 - x + 1);
            }
            gfx_mark_dirty(s, row, 1);
            RefRun* next = r->next_in_row;
            delete r;
            r = next;
        }
    }
    gfx_unlock();
}

// ---- fixture ------------------------------------------------------------------

int g_locks = 0, g_unlocks = 0;
std::vector<uint8_t> g_page_at_lock;
const GfxDriver kCountingDriver = {
    "Counting",
    [](const char*, int32_t, int32_t, int32_t, int32_t, int32_t) -> int32_t { return 0; },
    [] {},
    [] {
        ++g_locks;
        const GfxContext* c = gfx_context();
        g_page_at_lock.assign(c->pages[0], c->pages[0] + std::size_t(c->pitch) * std::size_t(c->h));
    },
    [] { ++g_unlocks; },
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

class PaintTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("ZRGFX");
        static const GfxDriver* list[] = {&kCountingDriver};
        gfx::set_driver_list(list);
    }
    void TearDown() override {
        gfx::paint_detail::set_alloc_failure_after(0);
        gfx_screen_set(0, 0, 0, 0, 0);
        gfx::set_driver_list({});
        EXPECT_EQ(rt_str_temps_in_use(), 0);
    }
    void open(int32_t w, int32_t h, int32_t depth) {
        ASSERT_EQ(gfx_screen_set_size(w, h, depth, 2, 0, 0), 0);
        ctx = gfx_context();
        st = gfx_get_draw_state();
        bpp = ctx->bpp;
        clear_dirty();
        g_locks = g_unlocks = 0;
    }
    void clear_dirty() { std::memset(ctx->dirty, 0, std::size_t(ctx->h)); }
    std::vector<uint8_t> page() const {
        return {ctx->pages[0], ctx->pages[0] + std::size_t(ctx->pitch) * std::size_t(ctx->h)};
    }
    std::vector<uint8_t> dirty() const { return {ctx->dirty, ctx->dirty + ctx->h}; }
    std::vector<int> dirty_rows() const {
        std::vector<int> rows;
        for (int y = 0; y < ctx->h; ++y)
            if (ctx->dirty[y]) rows.push_back(y);
        return rows;
    }
    uint32_t px(int x, int y) const {
        uint32_t v = 0;
        std::memcpy(&v, ctx->pages[0] + y * ctx->pitch + x * bpp, std::size_t(bpp));
        return v;
    }
    void set(int x, int y, uint32_t v) { std::memcpy(ctx->pages[0] + y * ctx->pitch + x * bpp, &v, std::size_t(bpp)); }
    void hline(int x1, int x2, int y, uint32_t v) {
        for (int x = x1; x <= x2; ++x) set(x, y, v);
    }
    void vline(int x, int y1, int y2, uint32_t v) {
        for (int y = y1; y <= y2; ++y) set(x, y, v);
    }
    void box(int x1, int y1, int x2, int y2, uint32_t v) {
        hline(x1, x2, y1, v);
        hline(x1, x2, y2, v);
        vline(x1, y1, y2, v);
        vline(x2, y1, y2, v);
    }
    void fill_page(uint32_t v) {
        for (int y = 0; y < ctx->h; ++y) hline(0, ctx->w - 1, y, v);
    }

    GfxContext* ctx = nullptr;
    GfxDrawState* st = nullptr;
    int32_t bpp = 4;
};

constexpr uint32_t kBlack = 0xFF000000u, kWhite = 0xFFFFFFFFu, kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu;

// ---- regions and connectivity -----------------------------------------------------

TEST_F(PaintTest, FillsExactlyTheInsideOfAClosedOutline) {
    open(64, 48, 32);
    box(10, 5, 30, 20, kWhite);
    gfx_paint(nullptr, 15, 10, kRed, kWhite, nullptr, 0, coord_abs);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool inside = x > 10 && x < 30 && y > 5 && y < 20;
            const bool outline = !inside && x >= 10 && x <= 30 && y >= 5 && y <= 20;
            ASSERT_EQ(px(x, y), inside ? kRed : outline ? kWhite : kBlack) << x << "," << y;
        }
    std::vector<int> rows;
    for (int y = 6; y < 20; ++y) rows.push_back(y);
    EXPECT_EQ(dirty_rows(), rows);
    EXPECT_EQ(gfx::paint_detail::last_run_count(), 14);
    EXPECT_FLOAT_EQ(st->last_x, 15);
    EXPECT_FLOAT_EQ(st->last_y, 10);
    EXPECT_EQ(g_locks, 1);
    EXPECT_EQ(g_unlocks, 1);
}

TEST_F(PaintTest, DiagonalOutlineIsTightAndAGapLeaks) {
    open(40, 40, 32);
    // A diamond of diagonal steps: 4-connected filling must not cross it.
    for (int i = 0; i <= 10; ++i) {
        set(20 - i, 10 + i, kWhite);
        set(20 + i, 10 + i, kWhite);
        set(20 - i, 30 - i, kWhite);
        set(20 + i, 30 - i, kWhite);
    }
    gfx_paint(nullptr, 20, 20, kRed, kWhite, nullptr, 0, coord_abs);
    EXPECT_EQ(px(20, 20), kRed);
    EXPECT_EQ(px(20, 11), kRed);
    EXPECT_EQ(px(5, 5), kBlack);
    EXPECT_EQ(px(11, 19), kWhite);
    EXPECT_EQ(px(10, 19), kBlack);
    EXPECT_EQ(px(19, 10), kBlack);  // touches the inside only diagonally
    EXPECT_EQ(px(21, 10), kBlack);
    EXPECT_EQ(dirty_rows().front(), 11);
    EXPECT_EQ(dirty_rows().back(), 29);

    // Open one pixel of the outline: the fill leaks out to the whole page.
    open(40, 40, 32);
    box(10, 10, 30, 30, kWhite);
    set(30, 20, kBlack);
    gfx_paint(nullptr, 20, 20, kRed, kWhite, nullptr, 0, coord_abs);
    EXPECT_EQ(px(0, 0), kRed);
    EXPECT_EQ(px(39, 39), kRed);
    EXPECT_EQ(px(30, 20), kRed);
    EXPECT_EQ(dirty_rows().size(), 40u);
}

TEST_F(PaintTest, RegionAlreadyInFillColourIsRewritten) {
    // With blending on, a second pass over the same colour is visible.
    ASSERT_EQ(gfx_screen_set_size(16, 8, 32, 1, GFX_ALPHA_BLEND, 0), 0);
    ctx = gfx_context();
    bpp = 4;
    fill_page(0xFF000000u);
    box(0, 0, 15, 7, kWhite);
    gfx_paint(nullptr, 5, 3, 0x80FF0000u, kWhite, nullptr, 0, coord_abs);
    const uint32_t once = px(5, 3);
    EXPECT_NE(once, 0xFF000000u);
    gfx_paint(nullptr, 5, 3, 0x80FF0000u, kWhite, nullptr, 0, coord_abs);
    EXPECT_NE(px(5, 3), once);
    EXPECT_EQ(px(14, 6), px(5, 3));
}

TEST_F(PaintTest, WholePageIsOneRunPerRow) {
    open(640, 480, 32);
    gfx_paint(nullptr, 320, 240, kBlue, kWhite, nullptr, 0, coord_abs);
    EXPECT_EQ(gfx::paint_detail::last_run_count(), 480);
    EXPECT_EQ(px(0, 0), kBlue);
    EXPECT_EQ(px(639, 479), kBlue);
    EXPECT_EQ(dirty_rows().size(), 480u);
}

TEST_F(PaintTest, RowsWithManyRunsAreEachFoundOnce) {
    // A comb: every other column is a border from row 1 down, joined by the
    // open top row, so row 1..h-1 hold w/2 runs each.
    open(400, 50, 8);
    for (int x = 1; x < 400; x += 2) vline(x, 1, 49, 7);
    gfx_paint(nullptr, 0, 0, 3, 7, nullptr, 0, coord_abs);
    EXPECT_EQ(gfx::paint_detail::last_run_count(), 1 + 49 * 200);
    EXPECT_EQ(px(398, 49), 3u);
    EXPECT_EQ(px(399, 49), 7u);
}

TEST_F(PaintTest, RowsGainingManyRunsFromBothSides) {
    // Rows 10 and 30 are combs of 1, 2, ... 40 runs reached from the open
    // rows above and below; a row crosses from its run list to its column
    // bitmap while its runs are still being found from either side.
    for (int teeth : {1, 7, 8, 9, 10, 17, 40}) {
        open(200, 40, 32);
        for (int y : {10, 30})
            for (int i = 0; i <= teeth; ++i) set(5 + i * 4, y, kWhite);
        box(0, 0, 199, 39, kWhite);
        const auto before = page();
        gfx_paint(nullptr, 100, 20, kRed, kWhite, nullptr, 0, coord_abs);
        const auto painted = page();
        std::memcpy(ctx->pages[0], before.data(), before.size());
        const int64_t runs = gfx::paint_detail::last_run_count();
        reference_paint(nullptr, 100, 20, kRed, kWhite, nullptr, 0, coord_abs);
        EXPECT_EQ(page(), painted) << teeth;
        EXPECT_EQ(runs, 36 + 2 * (teeth + 2)) << teeth;  // each found once
    }
}

TEST_F(PaintTest, SearchStampsWrapAround) {
    // Row entries of earlier searches are told apart by a stamp; once the
    // stamp wraps around, entries left from long ago must not count as found.
    open(60, 30, 32);
    box(0, 0, 59, 29, kWhite);
    hline(0, 59, 14, kWhite);  // two rooms, rows 1..13 and 15..28
    gfx::paint_detail::set_alloc_failure_after(0);  // fresh buffers: the next search has stamp 1
    gfx_paint(nullptr, 30, 7, kBlue, kWhite, nullptr, 0, coord_abs);
    gfx::paint_detail::set_search_stamp(0xFFFFFFFEu);
    gfx_paint(nullptr, 30, 21, kBlue, kWhite, nullptr, 0, coord_abs);  // the last stamp
    gfx_paint(nullptr, 30, 7, kRed, kWhite, nullptr, 0, coord_abs);    // stamp 1 again
    for (int y = 1; y < 14; ++y) ASSERT_EQ(px(30, y), kRed) << y;
    EXPECT_EQ(gfx::paint_detail::last_run_count(), 13);
}

// ---- nothing painted ---------------------------------------------------------------

TEST_F(PaintTest, SeedOnBorderOrOutsideTheViewPaintsNothing) {
    struct Case {
        float x, y;
        const char* what;
    };
    const Case cases[] = {{10, 10, "on the border"}, {-1, 5, "left of the view"},  {32, 5, "right of the view"},
                          {5, -0.6f, "above the view"}, {5, 23.5f, "below the view"}, {1e10f, 5, "far away"}};
    for (const Case& c : cases) {
        open(32, 24, 32);
        set(10, 10, kWhite);
        const auto before = page();
        gfx_paint(nullptr, c.x, c.y, kRed, kWhite, rt_str_temp("abcd", 4), 1, coord_abs);
        EXPECT_EQ(page(), before) << c.what;
        EXPECT_TRUE(dirty_rows().empty()) << c.what;
        EXPECT_EQ(g_locks, 0) << c.what;
        EXPECT_EQ(rt_str_temps_in_use(), 0) << c.what;
        EXPECT_FLOAT_EQ(st->last_x, c.x) << c.what;
    }
}

TEST_F(PaintTest, SearchRunsWithoutTheLock) {
    open(50, 30, 32);
    box(5, 5, 40, 25, kWhite);
    const auto before = page();
    gfx_paint(nullptr, 20, 10, kRed, kWhite, nullptr, 0, coord_abs);
    EXPECT_EQ(g_locks, 1);
    EXPECT_EQ(g_unlocks, 1);
    EXPECT_EQ(g_page_at_lock, before);  // nothing written before the lock
    EXPECT_NE(page(), before);
}

// ---- view clipping ------------------------------------------------------------------

TEST_F(PaintTest, StopsAtAllFourViewEdges) {
    open(60, 40, 16);
    st->view_x = 7;
    st->view_y = 5;
    st->view_w = 30;
    st->view_h = 20;
    // The seed is relative to the view's corner: (0, 0) is pixel (7, 5).
    gfx_paint(nullptr, 0, 0, kRed, kWhite, nullptr, 0, coord_abs);
    const uint32_t red = gfx_color_to_pixel(2, kRed);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x) {
            const bool in_view = x >= 7 && x < 37 && y >= 5 && y < 25;
            ASSERT_EQ(px(x, y), in_view ? red : 0u) << x << "," << y;
        }
    std::vector<int> rows;
    for (int y = 5; y < 25; ++y) rows.push_back(y);
    EXPECT_EQ(dirty_rows(), rows);
    // A seed in the view's coordinates beyond its size paints nothing.
    clear_dirty();
    gfx_paint(nullptr, 30, 0, kBlue, kWhite, nullptr, 0, coord_abs);
    EXPECT_TRUE(dirty_rows().empty());
}

// ---- tiles ---------------------------------------------------------------------------

TEST_F(PaintTest, TileIsAnchoredAtTheTargetOrigin) {
    for (int depth : {8, 16, 32}) {
        open(64, 32, depth);
        std::string tile(256, '\0');
        for (int i = 0; i < 256; ++i) tile[std::size_t(i)] = char(i * 7 + 1);
        const uint32_t wall = gfx_color_to_pixel(bpp, kWhite);
        // Inner walls with one gap each split the rows into runs that start
        // mid-group (4, 22), are one pixel wide (20), start on a multiple of
        // 8 and end inside the same group (40..45), or cross groups.
        box(3, 2, 50, 20, wall);
        const int walls[][2] = {{19, 15}, {21, 5}, {39, 8}, {46, 17}};
        for (const auto& w : walls) {
            vline(w[0], 2, 20, wall);
            set(w[0], w[1], 0);
        }
        const auto before = page();
        gfx_paint(nullptr, 10, 5, kRed, kWhite, rt_str_temp(tile.data(), 256), 1, coord_abs);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 64; ++x) {
                uint32_t was = 0, want = 0;
                std::memcpy(&was, before.data() + y * ctx->pitch + x * bpp, std::size_t(bpp));
                std::memcpy(&want, tile.data() + ((y % 8) * 8 + x % 8) * bpp, std::size_t(bpp));
                const bool painted = x > 3 && x < 50 && y > 2 && y < 20 && was != wall;
                ASSERT_EQ(px(x, y), painted ? want : was) << "depth " << depth << " at " << x << "," << y;
            }
    }
}

TEST_F(PaintTest, ShortTileLeavesZerosAndOtherModesUseAZeroTile) {
    open(16, 8, 32);
    fill_page(kBlue);
    const uint32_t first = 0x11223344u;
    RuntimeString tile{};
    ASSERT_EQ(rt_str_assign(&tile, reinterpret_cast<const char*>(&first), 4), 0);
    gfx_paint(nullptr, 0, 0, kRed, kWhite, &tile, 1, coord_abs);
    EXPECT_EQ(px(0, 0), first);
    EXPECT_EQ(px(8, 0), first);
    EXPECT_EQ(px(1, 0), 0u);
    EXPECT_EQ(px(0, 1), 0u);
    EXPECT_EQ(tile.length, 4u);  // not a temporary: kept
    fill_page(kBlue);
    gfx_paint(nullptr, 0, 0, kRed, kWhite, &tile, 2, coord_abs);
    EXPECT_EQ(px(0, 0), 0u);
    EXPECT_EQ(px(15, 7), 0u);
    fill_page(kBlue);
    gfx_paint(nullptr, 0, 0, kRed, kWhite, &tile, 0, coord_abs);  // solid ignores the tile
    EXPECT_EQ(px(0, 0), kRed);
    rt_str_free(&tile);
}

// ---- omitted colours ------------------------------------------------------------------

TEST_F(PaintTest, OmittedColoursUseForegroundAndFill) {
    open(32, 16, 32);
    box(4, 4, 20, 12, kRed);
    st->fg_color = kBlue;
    // Fill omitted: the foreground colour, border given.
    gfx_paint(nullptr, 10, 8, kWhite, kRed, nullptr, 0, coord_abs | GFX_COLOR_OMITTED);
    EXPECT_EQ(px(10, 8), kBlue);
    EXPECT_EQ(px(0, 0), kBlack);
    // Border omitted: the fill colour bounds the region; the blue inside
    // now stops a second blue fill from the outside.
    gfx_paint(nullptr, 0, 0, kBlue, kWhite, nullptr, 0, coord_abs | GFX_BORDER_OMITTED);
    EXPECT_EQ(px(0, 0), kBlue);
    EXPECT_EQ(px(4, 4), kBlue);  // the red outline is no border now
    EXPECT_EQ(px(31, 15), kBlue);
    // A second call at the same seed finds it on the border colour.
    clear_dirty();
    gfx_paint(nullptr, 0, 0, kBlue, kWhite, nullptr, 0, coord_abs | GFX_BORDER_OMITTED);
    EXPECT_TRUE(dirty_rows().empty());
}

TEST_F(PaintTest, BorderWiderThanThePixelNeverMatches) {
    // On an 8-bit page an omitted fill colour is taken unconverted; as the
    // border it matches no pixel, so the whole view is painted.
    open(20, 10, 8);
    box(2, 2, 10, 8, 0x34);
    st->fg_color = 0x1234;
    gfx_paint(nullptr, 5, 5, 0, 0, nullptr, 0, coord_abs | GFX_COLOR_OMITTED | GFX_BORDER_OMITTED);
    EXPECT_EQ(px(0, 0), 0x34u);
    EXPECT_EQ(px(2, 2), 0x34u);
    EXPECT_EQ(gfx::paint_detail::last_run_count(), 10);
}

// ---- temporary strings and failures ------------------------------------------------------

TEST_F(PaintTest, TemporaryTileIsReleasedOnEveryPath) {
    // No screen.
    gfx_paint(nullptr, 1, 1, kRed, kWhite, rt_str_temp("x", 1), 1, coord_abs);
    EXPECT_EQ(rt_str_temps_in_use(), 0);
    open(32, 16, 32);
    // Unusable image header.
    ImageHeader bad{7, 3, 4, 4, 16, {}};
    gfx_paint(&bad, 1, 1, kRed, kWhite, rt_str_temp("x", 1), 1, coord_abs);
    EXPECT_EQ(rt_str_temps_in_use(), 0);
    // Every mode, painting and not painting.
    for (int mode : {0, 1, 2}) {
        gfx_paint(nullptr, 1, 1, kRed, kWhite, rt_str_temp("abcdefgh", 8), mode, coord_abs);
        EXPECT_EQ(rt_str_temps_in_use(), 0);
        gfx_paint(nullptr, 1, 1, kRed, kRed, rt_str_temp("abcdefgh", 8), mode, coord_abs);
        EXPECT_EQ(rt_str_temps_in_use(), 0);
    }
    // Out of memory during the search.
    gfx::paint_detail::set_alloc_failure_after(1);
    gfx_paint(nullptr, 1, 1, kBlue, kWhite, rt_str_temp("abcdefgh", 8), 1, coord_abs);
    EXPECT_EQ(rt_str_temps_in_use(), 0);
}

TEST_F(PaintTest, OutOfMemoryPaintsNothing) {
    open(200, 100, 32);
    std::mt19937 rng(7);
    for (int i = 0; i < 4000; ++i) set(int(rng() % 200), int(rng() % 100), kWhite);
    const auto before = page();
    int failures = 0;
    for (int n = 1; n < 100; ++n) {
        clear_dirty();
        g_locks = 0;
        gfx::paint_detail::set_alloc_failure_after(n);
        gfx_paint(nullptr, 100, 50, kRed, kWhite, nullptr, 0, coord_abs);
        if (page() != before) break;  // this n was past the last allocation
        ++failures;
        EXPECT_TRUE(dirty_rows().empty());
        EXPECT_EQ(g_locks, 0);
    }
    EXPECT_GE(failures, 3);  // row table, runs, bitmaps, and their growth
    EXPECT_LT(failures, 99);
    // The successful attempt equals the reference.
    const auto painted = page();
    std::memcpy(ctx->pages[0], before.data(), before.size());
    gfx::paint_detail::set_alloc_failure_after(0);
    reference_paint(nullptr, 100, 50, kRed, kWhite, nullptr, 0, coord_abs);
    EXPECT_EQ(page(), painted);
}

// ---- image targets ------------------------------------------------------------------------

TEST_F(PaintTest, PaintsIntoStandardAndCompactImages) {
    for (int depth : {8, 16, 32}) {
        open(40, 30, depth);
        const int w = 13, h = 9;
        const int pitch = (w * bpp + 15) & ~15;
        std::vector<uint8_t> standard(32 + std::size_t(pitch) * h, 0);
        const ImageHeader hdr{7, bpp, w, h, pitch, {}};
        std::memcpy(standard.data(), &hdr, sizeof hdr);
        std::vector<uint8_t> compact(4 + std::size_t(w) * bpp * h, 0);
        const uint16_t words[2] = {uint16_t(w << 3 | bpp), uint16_t(h)};
        std::memcpy(compact.data(), words, 4);
        const uint32_t wall = gfx_color_to_pixel(bpp, kWhite);
        struct Target {
            uint8_t* pixels;
            int pitch;
            void* ptr;
        };
        for (const Target& t : {Target{standard.data() + 32, pitch, standard.data()},
                                Target{compact.data() + 4, w * bpp, compact.data()}}) {
            for (int y = 0; y < h; ++y) std::memcpy(t.pixels + y * t.pitch + 6 * bpp, &wall, std::size_t(bpp));
            const auto screen = page();
            gfx_paint(t.ptr, 2, 4, kRed, kWhite, nullptr, 0, coord_abs);
            const uint32_t red = gfx_color_to_pixel(bpp, kRed);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    uint32_t v = 0;
                    std::memcpy(&v, t.pixels + y * t.pitch + x * bpp, std::size_t(bpp));
                    ASSERT_EQ(v, x < 6 ? red : x == 6 ? wall : 0u) << depth << " " << x << "," << y;
                }
            EXPECT_EQ(page(), screen);
            EXPECT_TRUE(dirty_rows().empty());
        }
        // Back on the screen, the view is the whole page again.
        gfx_paint(nullptr, 39, 29, kRed, kWhite, nullptr, 0, coord_abs);
        EXPECT_EQ(px(0, 0), gfx_color_to_pixel(bpp, kRed));
    }
}

// ---- row scanning -------------------------------------------------------------------------

template <int Bpp>
void check_scans_on_random_rows() {
    std::mt19937 rng(Bpp * 977);
    std::vector<uint8_t> storage(4096 + 64);
    for (int round = 0; round < 3000; ++round) {
        // Any start address (pixels need not be aligned) and length.
        uint8_t* row = storage.data() + rng() % 16;
        const int32_t n = int32_t(rng() % 900) + 1;
        const uint32_t border = rng() % 3 == 0 ? 0 : 0xA5A5A5A5u >> (32 - 8 * Bpp);
        const int per_mille = int(rng() % 1000) / (rng() % 2 ? 1 : 50);  // dense or sparse borders
        for (int32_t x = 0; x < n; ++x) {
            const uint32_t v = int(rng() % 1000) < per_mille ? border : uint32_t(rng()) >> (32 - 8 * Bpp);
            std::memcpy(row + x * Bpp, &v, Bpp);
        }
        auto at = [&](int32_t x) { return gfx::paint_scan::pixel_at<Bpp>(row, x); };
        const int32_t from = int32_t(rng() % uint32_t(n)), to = from + int32_t(rng() % uint32_t(n - from + 1)) - 1;
        int32_t first_eq = to + 1, first_ne = to + 1, last_eq = from - 1;
        for (int32_t x = to; x >= from; --x) {
            if (at(x) == border) first_eq = x;
            if (at(x) != border) first_ne = x;
        }
        for (int32_t x = from; x <= to; ++x)
            if (at(x) == border) last_eq = x;
        ASSERT_EQ((gfx::paint_scan::find_first_equal<Bpp>(row, from, to, border)), first_eq) << round;
        ASSERT_EQ((gfx::paint_scan::find_first_not_equal<Bpp>(row, from, to, border)), first_ne) << round;
        ASSERT_EQ((gfx::paint_scan::find_last_equal<Bpp>(row, from, to, border)), last_eq) << round;
        const int32_t hint = rng() % 4 == 0 ? INT32_MIN : from + int32_t(rng() % uint32_t(n + 100)) - 50;
        ASSERT_EQ((gfx::paint_scan::find_first_equal_near<Bpp>(row, from, to, border, hint)), first_eq)
            << round << " hint " << hint;
#if defined(LICHTBOX_SCAN_AVX2)
        if (gfx::paint_scan::has_wide_scan()) {
            ASSERT_EQ((gfx::paint_scan::find_first_equal_near_wide<Bpp>(row, from, to, border, hint)), first_eq)
                << round << " hint " << hint;
        }
#endif
    }
}

TEST(PaintScanTest, FindsTheSamePixelsAsAPlainWalk) {
    check_scans_on_random_rows<1>();
    check_scans_on_random_rows<2>();
    check_scans_on_random_rows<4>();
}

// ---- comparison with the reference on random pages --------------------------------------------

TEST_F(PaintTest, MatchesTheDirectTranscriptionOnRandomPages) {
    std::mt19937 rng(20240611);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    int painted_cases = 0;
    for (int round = 0; round < 300; ++round) {
        const int depths[] = {8, 16, 32};
        const int depth = depths[round % 3];
        const int w = 20 + pick(round % 7 == 6 ? 700 : 140), h = 10 + pick(90);
        gfx::set_wide_override(round % 5 == 4 ? 0 : -1);
        ASSERT_EQ(gfx_screen_set_size(w, h, depth, 1, round % 4 == 3 ? GFX_ALPHA_BLEND : 0, 0), 0);
        ctx = gfx_context();
        st = gfx_get_draw_state();
        bpp = ctx->bpp;

        // Target: the screen (with a random view) or an image buffer.
        const int target_kind = pick(4);  // 0, 1 screen; 2 standard image; 3 compact image
        std::vector<uint8_t> image;
        int tw = w, th = h, tpitch = ctx->pitch;
        uint8_t* base = ctx->pages[0];
        if (target_kind == 2) {
            tw = 5 + pick(round % 7 == 5 ? 600 : 120);
            th = 3 + pick(60);
            tpitch = ((tw * bpp + 15) & ~15) + 16 * pick(2);
            image.assign(32 + std::size_t(tpitch) * th, 0);
            const ImageHeader hdr{7, bpp, tw, th, tpitch, {}};
            std::memcpy(image.data(), &hdr, sizeof hdr);
            base = image.data() + 32;
        } else if (target_kind == 3) {
            tw = 5 + pick(120);
            th = 3 + pick(60);
            tpitch = tw * bpp;
            image.assign(4 + std::size_t(tpitch) * th, 0);
            const uint16_t words[2] = {uint16_t(tw << 3 | bpp), uint16_t(th)};
            std::memcpy(image.data(), words, 4);
            base = image.data() + 4;
        }
        void* target = target_kind >= 2 ? image.data() : nullptr;

        // Colours: a border, the fill and a few others.
        const uint32_t mask = bpp == 1 ? 0xFFu : bpp == 2 ? 0xFFFFu : 0xFFFFFFFFu;
        auto colour = [&] { return uint32_t(rng()) | (round % 4 == 3 ? 0 : 0xFF000000u); };
        const uint32_t border_arg = colour(), fill_arg = pick(4) == 0 ? border_arg : colour();
        const uint32_t border_px = gfx_color_to_pixel(bpp, border_arg);
        const uint32_t others[3] = {gfx_color_to_pixel(bpp, colour()), gfx_color_to_pixel(bpp, fill_arg),
                                    uint32_t(rng()) & mask};
        auto put = [&](int x, int y, uint32_t v) {
            if (x >= 0 && y >= 0 && x < tw && y < th) std::memcpy(base + y * tpitch + x * bpp, &v, std::size_t(bpp));
        };
        const int density = pick(50);  // percent of scattered border pixels
        for (int y = 0; y < th; ++y)
            for (int x = 0; x < tw; ++x) put(x, y, pick(100) < density ? border_px : others[pick(3)]);
        for (int s = pick(12); s > 0; --s) {  // scribbles: lines and boxes of border pixels
            int x = pick(tw), y = pick(th);
            const int dx = pick(3) - 1, dy = pick(3) - 1, n = pick(2 * tw);
            for (int i = 0; i < n; ++i, x += dx, y += dy) put(x, y, border_px);
        }

        if (target_kind == 1) {
            st->view_x = pick(w / 2);
            st->view_y = pick(h / 2);
            st->view_w = 1 + pick(w - st->view_x);
            st->view_h = 1 + pick(h - st->view_y);
        }
        // The seed, relative to the view's corner: mostly inside, sometimes
        // just outside.
        const int span_w = target_kind == 1 ? st->view_w : tw, span_h = target_kind == 1 ? st->view_h : th;
        float sx = float(pick(span_w + 4) - 2), sy = float(pick(span_h + 4) - 2);
        if (pick(3) == 0) sx += 0.5f;
        uint32_t flags = coord_abs;
        if (pick(4) == 0) {
            flags = coord_rel;
            st->last_x = float(pick(10));
            st->last_y = float(pick(10));
            sx -= st->last_x;
            sy -= st->last_y;
        }
        if (pick(5) == 0) flags |= GFX_COLOR_OMITTED;
        if (pick(5) == 0) flags |= GFX_BORDER_OMITTED;
        st->fg_color = pick(2) ? fill_arg & mask : uint32_t(rng());
        const int mode = pick(3);
        std::string tile_bytes(std::size_t(pick(300)), '\0');
        for (char& c : tile_bytes) c = char(rng());
        RuntimeString tile{tile_bytes.data(), uint32_t(tile_bytes.size()), int32_t(tile_bytes.size())};

        // Run both from the same start and compare everything they touch.
        const std::vector<uint8_t> page0(ctx->pages[0], ctx->pages[0] + std::size_t(ctx->pitch) * h);
        const std::vector<uint8_t> image0 = image;
        const GfxDrawState state0 = *st;
        std::memset(ctx->dirty, 0, std::size_t(h));
        gfx_paint(target, sx, sy, fill_arg, border_arg, &tile, mode, flags);
        const std::vector<uint8_t> page1(ctx->pages[0], ctx->pages[0] + std::size_t(ctx->pitch) * h);
        const std::vector<uint8_t> image1 = image, dirty1 = dirty();
        const float last_x = st->last_x, last_y = st->last_y;
        painted_cases += gfx::paint_detail::last_run_count() > 0;

        std::memcpy(ctx->pages[0], page0.data(), page0.size());
        image = image0;
        std::memset(ctx->dirty, 0, std::size_t(h));
        const std::vector<int> view_after = {st->view_x, st->view_y, st->view_w, st->view_h};
        // Restore the state as it was before the first call (view, last point).
        st->view_x = state0.view_x;
        st->view_y = state0.view_y;
        st->view_w = state0.view_w;
        st->view_h = state0.view_h;
        st->last_x = state0.last_x;
        st->last_y = state0.last_y;
        st->last_target = nullptr;
        st->flags = state0.flags;
        if (target_kind >= 2) {
            st->old_view_x = state0.old_view_x;
            st->old_view_y = state0.old_view_y;
            st->old_view_w = state0.old_view_w;
            st->old_view_h = state0.old_view_h;
        }
        reference_paint(target, sx, sy, fill_arg, border_arg, &tile, mode, flags);
        ASSERT_TRUE(std::vector<uint8_t>(ctx->pages[0], ctx->pages[0] + page0.size()) == page1) << "round " << round;
        ASSERT_TRUE(image == image1) << "round " << round;
        ASSERT_EQ(dirty(), dirty1) << "round " << round;
        EXPECT_EQ(st->last_x, last_x);
        EXPECT_EQ(st->last_y, last_y);
        EXPECT_EQ((std::vector<int>{st->view_x, st->view_y, st->view_w, st->view_h}), view_after);
        gfx_screen_set(0, 0, 0, 0, 0);
    }
    gfx::set_wide_override(-1);
    EXPECT_GT(painted_cases, 150);
}

}  // namespace
