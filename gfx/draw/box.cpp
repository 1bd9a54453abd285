// Boxes in target pixels: filled (one span per row) or outlined with a dash
// pattern that runs on over all four edges as if none were clipped.
#include <utility>

#include "gfx/core/pixel_routines.h"
#include "gfx/draw/clip.h"
#include "gfx/gfx.h"

namespace {

using gfx::draw::ViewRect;

// The 16-bit pattern walker: a one-hot test bit that starts at bit 15 and
// rotates right by one per position.
struct Dash {
    uint32_t style;
    uint32_t bit = 0x8000u;

    bool next() {
        const bool on = (style & bit) != 0;
        bit = (bit >> 1) | ((bit & 1u) << 15);
        return on;
    }
    void skip(int64_t positions) {
        const unsigned n = unsigned(positions % 16);
        if (n) bit = ((bit >> n) | (bit << (16 - n))) & 0xFFFFu;
    }
};

}  // namespace

void gfx::draw::box(GfxDrawState* s, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color,
                    bool filled, uint32_t style) {
    if (x2 < x1) std::swap(x1, x2);
    if (y2 < y1) std::swap(y1, y2);
    const ViewRect v = gfx::draw::view_rect(s);
    if (v.empty() || x2 < v.left || y2 < v.top || x1 > v.right || y1 > v.bottom) return;

    // 64-bit from here on: edge lengths of boxes spanning the whole 32-bit
    // range do not fit 32 bits.
    const int64_t bx1 = x1, by1 = y1, bx2 = x2, by2 = y2;
    const int64_t cx1 = bx1 > v.left ? bx1 : v.left;
    const int64_t cy1 = by1 > v.top ? by1 : v.top;
    const int64_t cx2 = bx2 < v.right ? bx2 : v.right;
    const int64_t cy2 = by2 < v.bottom ? by2 : v.bottom;
    const int32_t span = int32_t(cx2 - cx1 + 1);
    const GfxPixelSet pixel_set = s->pixel_set;
    const GfxPutPixel put_pixel = s->put_pixel;

    gfx_lock();
    if (filled) {
        // One span per row; rows of a target lie target_pitch bytes apart.
        // The wide opaque fills take the whole rectangle in one call.
        uint8_t* row = gfx::draw::pixel_address(s, cx1, cy1);
        const std::ptrdiff_t pitch = s->target_pitch;
        const int64_t rows = cy2 - cy1 + 1;
        if (const gfx::RectFill rect = gfx::rect_fill_for(pixel_set)) {
            rect(row, pitch, color, span, rows);
        } else {
            for (int64_t n = rows; n > 0; --n, row += pitch) pixel_set(row, color, span);
        }
    } else {
        const bool solid = (style & 0xFFFFu) == 0xFFFFu;
        Dash dash{style & 0xFFFFu};
        auto horizontal = [&](int64_t y) {
            if (solid) {
                pixel_set(gfx::draw::pixel_address(s, cx1, y), color, span);
                return;
            }
            for (int64_t x = cx1; x <= cx2; ++x)
                if (dash.next()) put_pixel(s, int32_t(x), int32_t(y), color);
        };
        auto vertical = [&](int64_t x) {
            for (int64_t y = cy1; y <= cy2; ++y)
                if (solid || dash.next()) put_pixel(s, int32_t(x), int32_t(y), color);
        };
        // Bottom, top, right, left. Each edge is walked as if unclipped: the
        // positions cut off before and after its visible part, and whole
        // edges outside the view, only advance the pattern.
        const int64_t h_len = cx2 - cx1 + 1, v_len = cy2 - cy1 + 1;
        dash.skip(cx1 - bx1);
        if (by2 <= v.bottom) horizontal(by2); else dash.skip(h_len);
        dash.skip((bx2 - cx2) + (cx1 - bx1));
        if (by1 >= v.top) horizontal(by1); else dash.skip(h_len);
        dash.skip((bx2 - cx2) + (cy1 - by1));
        if (bx2 <= v.right) vertical(bx2); else dash.skip(v_len);
        dash.skip((by2 - cy2) + (cy1 - by1));
        if (bx1 >= v.left) vertical(bx1);
    }
    gfx::draw::mark_rows(s, cy1, cy2);
    gfx_unlock();
}

extern "C" void gfx_box(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color,
                        int32_t filled, uint32_t style) {
    GfxDrawState* s = gfx_get_draw_state();
    if (!gfx_context() || !s || !s->line) return;
    gfx::draw::box(s, x1, y1, x2, y2, color, filled != 0, style);
}
