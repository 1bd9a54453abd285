// Pages, drawing target, screen lock and dirty rows.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gfx/core/context_internal.h"
#include "gfx/gfx.h"

namespace {

int g_locks = 0, g_unlocks = 0;
const GfxDriver kCountingDriver = {
    "Counting", [](const char*, int32_t, int32_t, int32_t, int32_t, int32_t) -> int32_t { return 0; },
    [] {}, [] { ++g_locks; }, [] { ++g_unlocks; }, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr};

class PagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("ZRGFX");
        static const GfxDriver* list[] = {&kCountingDriver};
        gfx::set_driver_list(list);
        ASSERT_EQ(gfx_screen_set(18, 32, 4, 0, 0), 0);
        ctx = gfx_context();
        g_locks = g_unlocks = 0;
    }
    void TearDown() override {
        gfx_screen_set(0, 0, 0, 0, 0);
        gfx::set_driver_list({});
    }
    int dirty_count() const {
        int n = 0;
        for (int y = 0; y < ctx->h; ++y) n += ctx->dirty[y] != 0;
        return n;
    }
    void clear_dirty() { std::memset(ctx->dirty, 0, std::size_t(ctx->h)); }
    void fill_page(int page, uint32_t v) {
        auto* p = reinterpret_cast<uint32_t*>(ctx->pages[page]);
        for (int i = 0; i < ctx->w * ctx->h; ++i) p[i] = v + uint32_t(i);
    }
    GfxContext* ctx = nullptr;
};

TEST_F(PagesTest, PageSetReturnsPreviousSelection) {
    clear_dirty();
    EXPECT_EQ(gfx_page_set(2, 3), 0);
    EXPECT_EQ(ctx->visible_page, 3);
    EXPECT_EQ(ctx->framebuffer, ctx->pages[3]);
    EXPECT_EQ(gfx_get_draw_state()->work_page, 2);
    EXPECT_EQ(gfx_get_draw_state()->line[0], ctx->pages[2]);
    EXPECT_EQ(dirty_count(), 480);
    EXPECT_EQ(g_locks, 1);
    EXPECT_EQ(g_unlocks, 1);
    clear_dirty();
    EXPECT_EQ(gfx_page_set(2, 3), 3 * 256 + 2);
    EXPECT_EQ(dirty_count(), 0);
}

TEST_F(PagesTest, PageSetSpecialAndOutOfRangeValues) {
    gfx_page_set(2, 3);
    EXPECT_EQ(gfx_page_set(-1, -1), 3 * 256 + 2);
    EXPECT_EQ(ctx->visible_page, 0);
    EXPECT_EQ(gfx_get_draw_state()->work_page, 0);
    gfx_page_set(1, 0);
    EXPECT_EQ(gfx_page_set(-1, 3), 1);
    EXPECT_EQ(gfx_get_draw_state()->work_page, 1);
    EXPECT_EQ(ctx->visible_page, 3);
    EXPECT_EQ(gfx_page_set(4, 4), 3 * 256 + 1);  // page_count: ignored
    EXPECT_EQ(gfx_page_set(-7, 400), 3 * 256 + 1);
}

TEST_F(PagesTest, PageCopyOntoVisiblePageMarksRows) {
    gfx_page_set(2, 3);
    clear_dirty();
    fill_page(2, 0x10000);
    ctx->text_cells[2][5] = GfxTextCell{'Q', 0, 1, 2};
    EXPECT_EQ(gfx_page_copy(2, 3), 0);
    EXPECT_EQ(std::memcmp(ctx->pages[2], ctx->pages[3], std::size_t(ctx->pitch) * 480), 0);
    EXPECT_EQ(dirty_count(), 480);
    EXPECT_EQ(ctx->text_cells[3][5].ch, 'Q');
    clear_dirty();
    fill_page(0, 0x777);
    EXPECT_EQ(gfx_page_copy(0, 2), 0);
    EXPECT_EQ(std::memcmp(ctx->pages[0], ctx->pages[2], std::size_t(ctx->pitch) * 480), 0);
    EXPECT_EQ(dirty_count(), 0);
    // Negative numbers: the work page onto the visible page.
    fill_page(2, 0x42);
    EXPECT_EQ(gfx_page_copy(-1, -1), 0);
    EXPECT_EQ(std::memcmp(ctx->pages[2], ctx->pages[3], std::size_t(ctx->pitch) * 480), 0);
}

TEST_F(PagesTest, PageCopyEdgeCases) {
    fill_page(1, 5);
    std::vector<uint8_t> before(ctx->pages[1], ctx->pages[1] + ctx->pitch * ctx->h);
    EXPECT_EQ(gfx_page_copy(1, 1), 0);
    EXPECT_EQ(gfx_page_copy(0, 4), 1);
    EXPECT_EQ(gfx_get_error(), 1);
    EXPECT_EQ(gfx_page_copy(4, 1), 1);
    EXPECT_EQ(std::memcmp(before.data(), ctx->pages[1], before.size()), 0);
}

TEST_F(PagesTest, CopyUnderHeldLockDoesNotTakeItAgain) {
    gfx_lock();
    EXPECT_EQ(g_locks, 1);
    gfx_lock();  // nested: nothing
    EXPECT_EQ(g_locks, 1);
    clear_dirty();
    EXPECT_EQ(gfx_page_copy(1, 0), 0);  // lock held: not a screen update
    EXPECT_EQ(dirty_count(), 0);
    gfx_unlock();
    EXPECT_EQ(g_unlocks, 1);
    gfx_unlock();
    EXPECT_EQ(g_unlocks, 1);
    EXPECT_EQ(ctx->flags & (GFX_LOCK_HELD | GFX_LOCK_AUTO), 0u);
}

TEST_F(PagesTest, MarkDirtyOnlyWhenDrawingOnTheVisiblePage) {
    GfxDrawState* s = gfx_get_draw_state();
    clear_dirty();
    gfx_mark_dirty(s, 10, 5);
    EXPECT_EQ(dirty_count(), 5);
    EXPECT_EQ(ctx->dirty[10], 1);
    EXPECT_EQ(ctx->dirty[14], 1);
    EXPECT_EQ(ctx->dirty[15], 0);
    gfx_page_set(1, 0);
    clear_dirty();
    gfx_mark_dirty(gfx_get_draw_state(), 10, 5);
    EXPECT_EQ(dirty_count(), 0);
}

std::vector<uint8_t> make_image(int w, int h, int bpp) {
    int pitch = (w * bpp + 15) & ~15;
    std::vector<uint8_t> buf(32 + std::size_t(pitch) * std::size_t(h));
    int32_t hdr[5] = {7, bpp, w, h, pitch};
    std::memcpy(buf.data(), hdr, sizeof hdr);
    return buf;
}

TEST_F(PagesTest, ImageTargetAndBackRestoresView) {
    GfxDrawState* s = gfx_get_draw_state();
    s->view_x = 10;
    s->view_y = 20;
    s->view_w = 100;
    s->view_h = 50;
    auto img = make_image(30, 700, 2);
    gfx_select_target(s, img.data());
    EXPECT_EQ(s->view_x, 0);
    EXPECT_EQ(s->view_w, 30);
    EXPECT_EQ(s->view_h, 700);
    EXPECT_EQ(s->target_bpp, 2);
    EXPECT_EQ(s->target_pitch, 64);
    EXPECT_EQ(s->line[1], img.data() + 32 + 64);
    EXPECT_EQ(s->max_h, 700);  // taller than the screen: the table grew
    EXPECT_NE(s->flags & GFX_TARGET_IMAGE, 0u);

    // Compact form: width in bits 3-15, the screen's bytes per pixel.
    std::vector<uint8_t> compact(4 + 5 * 4 * 3);
    uint16_t w = 5 << 3, h = 3;
    std::memcpy(compact.data(), &w, 2);
    std::memcpy(compact.data() + 2, &h, 2);
    gfx_select_target(s, compact.data());
    EXPECT_EQ(s->view_w, 5);
    EXPECT_EQ(s->view_h, 3);
    EXPECT_EQ(s->target_bpp, 4);
    EXPECT_EQ(s->target_pitch, 20);
    EXPECT_EQ(s->line[2], compact.data() + 4 + 40);

    gfx_select_target(s, nullptr);
    EXPECT_EQ(s->view_x, 10);
    EXPECT_EQ(s->view_y, 20);
    EXPECT_EQ(s->view_w, 100);
    EXPECT_EQ(s->view_h, 50);
    EXPECT_EQ(s->target_bpp, 4);
    EXPECT_EQ(s->line[0], ctx->pages[0]);
    EXPECT_EQ(s->max_h, 700);  // capacity never shrinks
    EXPECT_EQ(s->last_target, nullptr);
}

TEST_F(PagesTest, SameAddressWithNewLayoutIsSelectedAgain) {
    GfxDrawState* s = gfx_get_draw_state();
    auto img = make_image(40, 10, 4);
    gfx_select_target(s, img.data());
    EXPECT_EQ(s->view_w, 40);
    // The caller reuses the buffer for a smaller image of another depth.
    int32_t hdr[5] = {7, 1, 8, 3, 16};
    std::memcpy(img.data(), hdr, sizeof hdr);
    gfx_select_target(s, img.data());
    EXPECT_EQ(s->view_w, 8);
    EXPECT_EQ(s->view_h, 3);
    EXPECT_EQ(s->target_bpp, 1);
    EXPECT_EQ(s->line[1], img.data() + 32 + 16);
    gfx_select_target(s, nullptr);
    EXPECT_EQ(s->view_w, 640);  // the screen's view survives both selections
}

TEST_F(PagesTest, UnusableImageHeadersAreRefused) {
    GfxDrawState* s = gfx_get_draw_state();
    struct Case {
        int32_t bpp, w, h, pitch;
    };
    for (Case c : {Case{3, 4, 4, 16}, Case{4, -1, 4, 16}, Case{4, 4, -2, 16}, Case{4, 8, 4, 16},
                   Case{4, 4, 0x10000, 0x10000}, Case{1, 4, 4, -16}}) {
        int32_t hdr[8] = {7, c.bpp, c.w, c.h, c.pitch, 0, 0, 0};
        EXPECT_FALSE(gfx::select_target(s, hdr)) << c.bpp << " " << c.w << " " << c.h << " " << c.pitch;
        EXPECT_EQ(s->last_target, nullptr);
        EXPECT_EQ(s->view_w, 640);
    }
}

}  // namespace

// The present hook fires for new pictures on the visible page only.
int g_presents = 0;
TEST_F(PagesTest, PresentHookFiresForNewVisiblePictures) {
    gfx::set_present_hook([] { ++g_presents; });
    g_presents = 0;
    ASSERT_EQ(gfx_page_set(2, 3), 0);
    EXPECT_EQ(g_presents, 1);  // another page made visible
    gfx_page_copy(2, 1);
    gfx_page_set(2, 3);  // visible page unchanged
    EXPECT_EQ(g_presents, 1);
    gfx_page_copy(2, 3);
    EXPECT_EQ(g_presents, 2);
    gfx::set_present_hook(nullptr);
    gfx_page_copy(2, 3);
    EXPECT_EQ(g_presents, 2);
}
