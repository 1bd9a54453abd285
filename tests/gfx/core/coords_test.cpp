// Relative points, rounding to pixels, corner order and the view reset.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "gfx/gfx.h"

namespace {

class CoordsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(gfx_screen_set(18, 32, 1, GFX_NULL_SCREEN, 0), 0); }
    void TearDown() override { gfx_screen_set(0, 0, 0, 0, 0); }
};

TEST_F(CoordsTest, RoundsHalvesAwayFromZero) {
    const GfxDrawState* s = gfx_get_draw_state();
    struct Case {
        float in;
        int32_t out;
    };
    for (Case c : {Case{10.5f, 11}, Case{20.49f, 20}, Case{-0.5f, -1}, Case{-1.5f, -2}, Case{-2.4f, -2},
                   Case{0.0f, 0}, Case{-0.0f, 0}, Case{0.49f, 0}, Case{639.5f, 640}, Case{1e9f, 1000000000},
                   Case{3e9f, INT32_MAX}, Case{-3e9f, INT32_MIN},
                   Case{std::numeric_limits<float>::infinity(), INT32_MAX},
                   Case{-std::numeric_limits<float>::infinity(), INT32_MIN}}) {
        int32_t x = 1, y = 1;
        gfx_translate_coords(s, c.in, c.in, &x, &y);
        EXPECT_EQ(x, c.out) << c.in;
        EXPECT_EQ(y, c.out) << c.in;
    }
}

TEST_F(CoordsTest, ResolvesRelativeKinds) {
    GfxDrawState* s = gfx_get_draw_state();
    struct Case {
        int kind;
        float last_x, last_y, x1, y1, x2, y2;
        float want_x1, want_y1, want_x2, want_y2;
    };
    const Case cases[] = {
        {coord_abs_abs, 7, 7, 10, 10, 5, -5, 10, 10, 5, -5},
        {coord_abs_rel, 7, 7, 10, 10, 5, -5, 10, 10, 15, 5},
        {coord_rel_abs, 100.25f, 50, 10, 0, 1, 2, 110.25f, 50, 1, 2},
        {coord_rel_rel, 1, 2, 10, 10, 5, 5, 11, 12, 16, 17},
        {6, 1, 2, 10, 10, 5, 5, 10, 10, 5, 5},
        {7, 1, 2, 10, 10, 5, 5, 10, 10, 5, 5},
    };
    for (const Case& c : cases) {
        s->last_x = c.last_x;
        s->last_y = c.last_y;
        float x1 = c.x1, y1 = c.y1, x2 = c.x2, y2 = c.y2;
        gfx_resolve_relative(s, c.kind, &x1, &y1, &x2, &y2);
        EXPECT_EQ(x1, c.want_x1) << c.kind;
        EXPECT_EQ(y1, c.want_y1) << c.kind;
        EXPECT_EQ(x2, c.want_x2) << c.kind;
        EXPECT_EQ(y2, c.want_y2) << c.kind;
        EXPECT_EQ(s->last_x, c.want_x2) << c.kind;
        EXPECT_EQ(s->last_y, c.want_y2) << c.kind;
    }
    // Single points: kind 4 absolute keeps fractions, kind 5 relative.
    float x = 3.6f, y = 7.2f;
    gfx_resolve_relative(s, coord_abs, &x, &y, nullptr, nullptr);
    EXPECT_EQ(s->last_x, 3.6f);
    EXPECT_EQ(s->last_y, 7.2f);
    x = 1.0f;
    y = -1.0f;
    gfx_resolve_relative(s, coord_rel, &x, &y, nullptr, nullptr);
    EXPECT_EQ(x, 4.6f);
    EXPECT_EQ(y, 6.2f);
    EXPECT_EQ(s->last_x, 4.6f);
}

TEST_F(CoordsTest, RelativeKind2RoundsForDrawing) {
    GfxDrawState* s = gfx_get_draw_state();
    s->last_x = 100.25f;
    s->last_y = 50.0f;
    float x = 10, y = 0;
    gfx_resolve_relative(s, coord_rel, &x, &y, nullptr, nullptr);
    int32_t ix, iy;
    gfx_translate_coords(s, x, y, &ix, &iy);
    EXPECT_EQ(ix, 110);
    EXPECT_EQ(iy, 50);
}

TEST_F(CoordsTest, TranslationAddsViewCornerUnlessAbsolute) {
    GfxDrawState* s = gfx_get_draw_state();
    s->view_x = 5;
    s->view_y = 7;
    int32_t x, y;
    gfx_translate_coords(s, -10.0f, 700.0f, &x, &y);
    EXPECT_EQ(x, -5);  // outside stays outside: primitives clip
    EXPECT_EQ(y, 707);
    s->flags |= GFX_VIEW_ABSOLUTE;
    gfx_translate_coords(s, 1.0f, 2.0f, &x, &y);
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 2);
    s->flags &= ~GFX_VIEW_ABSOLUTE;
    s->view_x = s->view_y = 0;
}

TEST_F(CoordsTest, OrdersCorners) {
    int32_t x1 = 30, y1 = 40, x2 = 10, y2 = 20;
    gfx_order_corners(&x1, &y1, &x2, &y2);
    EXPECT_EQ(x1, 10);
    EXPECT_EQ(y1, 20);
    EXPECT_EQ(x2, 30);
    EXPECT_EQ(y2, 40);
    x1 = 1, y1 = 9, x2 = 5, y2 = 3;
    gfx_order_corners(&x1, &y1, &x2, &y2);
    EXPECT_EQ(x1, 1);
    EXPECT_EQ(y1, 3);
    EXPECT_EQ(x2, 5);
    EXPECT_EQ(y2, 9);
}

TEST_F(CoordsTest, ViewResetWithOmittedCoordinates) {
    GfxDrawState* s = gfx_get_draw_state();
    s->view_x = 3;
    s->view_w = 10;
    s->flags |= GFX_VIEW_SET;
    gfx_view_set(1, 2, 3, 4, 0, 0, 0);  // other forms are not part of this runtime
    EXPECT_EQ(s->view_w, 10);
    gfx_view_set(-32768, -32768, -32768, -32768, 0, 0, 0);
    EXPECT_EQ(s->view_x, 0);
    EXPECT_EQ(s->view_y, 0);
    EXPECT_EQ(s->view_w, 640);
    EXPECT_EQ(s->view_h, 480);
    EXPECT_EQ(s->flags & GFX_VIEW_SET, 0u);
}

}  // namespace
