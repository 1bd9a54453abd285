// Lines with a 16-bit dash pattern, and the entry to boxes: out-code
// clipping on the end points, then a vertical, horizontal or Bresenham walk
// without bounds tests.
#include <cmath>
#include <utility>

#include "gfx/core/context_internal.h"
#include "gfx/draw/clip.h"
#include "gfx/gfx.h"

namespace {

using gfx::draw::ViewRect;

// Stand-in for an infinite coordinate: beyond every float, so a line to it
// keeps the direction a line to the largest float would have.
constexpr double kFar = 0x1p128;
constexpr double kInt32Limit = 2147483648.0;

uint32_t reverse16(uint32_t v) {
    uint32_t r = 0;
    for (int i = 0; i < 16; ++i) r |= ((v >> i) & 1u) << (15 - i);
    return r;
}

uint32_t rotate_right16(uint32_t bit) { return (bit >> 1) | ((bit & 1u) << 15); }

int out_code(double x, double y, const ViewRect& v) {
    int c = 0;
    if (x < double(v.left)) c = 1;
    else if (x > double(v.right)) c = 2;
    if (y < double(v.top)) c |= 8;
    else if (y > double(v.bottom)) c |= 4;
    return c;
}

// Out-code clipping on integral doubles. Each pass moves point 1 onto the
// border it is outside of; the cut coordinate uses the double slope and is
// truncated toward zero. Point 1 is normally the anchor of the cut; when it
// lies beyond the 32-bit range (where the result is not settled anyway) the
// nearer point 2 is used, which keeps lines from far away exact.
bool clip_line(double& x1, double& y1, double& x2, double& y2, const ViewRect& v) {
    // Four cuts settle any line; the bound only guards against rounding
    // cycles with extreme coordinates.
    for (int pass = 0; pass < 16; ++pass) {
        int c1 = out_code(x1, y1, v);
        const int c2 = out_code(x2, y2, v);
        if ((c1 | c2) == 0) return true;
        if (c1 & c2) return false;
        if (c1 == 0) {
            std::swap(x1, x2);
            std::swap(y1, y2);
            c1 = c2;
        }
        const double m = x1 == x2 ? 1.0 : (y2 - y1) / (x2 - x1);
        const bool far1 = !(std::fabs(x1) < kInt32Limit && std::fabs(y1) < kInt32Limit);
        if (c1 & 3) {
            const double edge = (c1 & 1) ? double(v.left) : double(v.right);
            const bool from2 = far1 && std::fabs(edge - x2) < std::fabs(edge - x1);
            y1 = std::trunc(from2 ? y2 + m * (edge - x2) : y1 + m * (edge - x1));
            x1 = edge;
        } else {
            const double edge = (c1 & 8) ? double(v.top) : double(v.bottom);
            if (x1 != x2) {
                const bool from2 = far1 && std::fabs(edge - y2) < std::fabs(edge - y1);
                x1 = std::trunc(from2 ? x2 + (edge - y2) / m : x1 + (edge - y1) / m);
            }
            y1 = edge;
        }
    }
    return false;
}

// Walks n + 1 positions of a vertical or horizontal run from (x, y) with
// steps (sx, sy), the pattern deciding each position.
void put_run(GfxDrawState* s, int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t n,
             uint32_t pixel, uint32_t style, uint32_t bit) {
    const GfxPutPixel put = s->put_pixel;
    if (style == 0xFFFFu) {
        for (int32_t i = 0; i <= n; ++i, x += sx, y += sy) put(s, x, y, pixel);
        return;
    }
    for (int32_t i = 0; i <= n; ++i, x += sx, y += sy) {
        if (style & bit) put(s, x, y, pixel);
        bit = rotate_right16(bit);
    }
}

// Bresenham from point 1 to point 2; ties (e = 0) step the minor axis.
template <bool Solid>
void bresenham(GfxDrawState* s, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t pixel,
               uint32_t style) {
    const GfxPutPixel put = s->put_pixel;
    const int64_t dx = x2 > x1 ? int64_t(x2) - x1 : int64_t(x1) - x2;
    const int64_t dy = y2 > y1 ? int64_t(y2) - y1 : int64_t(y1) - y2;
    const int32_t sx = x2 > x1 ? 1 : -1, sy = y2 > y1 ? 1 : -1;
    uint32_t bit = 0x8000u;
    int32_t x = x1, y = y1;
    if (dx >= dy) {
        int64_t e = 2 * dy - dx;
        for (int64_t i = 0; i <= dx; ++i) {
            if (Solid || (style & bit)) put(s, x, y, pixel);
            if (!Solid) bit = rotate_right16(bit);
            if (e >= 0) {
                y += sy;
                e -= 2 * dx;
            }
            e += 2 * dy;
            x += sx;
        }
    } else {
        int64_t e = 2 * dx - dy;
        for (int64_t i = 0; i <= dy; ++i) {
            if (Solid || (style & bit)) put(s, x, y, pixel);
            if (!Solid) bit = rotate_right16(bit);
            if (e >= 0) {
                x += sx;
                e -= 2 * dy;
            }
            e += 2 * dx;
            y += sy;
        }
    }
}

void draw_clipped(GfxDrawState* s, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t pixel,
                  uint32_t style) {
    if (x1 == x2 || y1 == y2) {
        // Runs are walked from the smaller end; the reversed pattern, entered
        // at the matching bit, keeps bit 15 at point 1 whichever way the
        // caller gave the points.
        const bool vertical = x1 == x2;
        int32_t a = vertical ? y1 : x1, b = vertical ? y2 : x2;
        uint32_t bit = 0x8000u;
        if (a > b) {
            std::swap(a, b);
            style = reverse16(style);
            bit = 1u << ((b - a) % 16);
        }
        if (vertical) {
            put_run(s, x1, a, 0, 1, b - a, pixel, style, bit);
        } else if (style == 0xFFFFu) {
            s->pixel_set(gfx::draw::pixel_address(s, a, y1), pixel, b - a + 1);
        } else {
            put_run(s, a, y1, 1, 0, b - a, pixel, style, bit);
        }
        return;
    }
    if (style == 0xFFFFu) bresenham<true>(s, x1, y1, x2, y2, pixel, style);
    else bresenham<false>(s, x1, y1, x2, y2, pixel, style);
}

// A box corner beyond the 32-bit range, brought into it. The box walk only
// depends on such a coordinate through its side of the view and its value
// modulo 16 (the dash phase), so both are kept: the stand-in lies in the
// first or last 16 values of the range, congruent to the original.
int32_t box_coordinate(double v) {
    if (v >= -kInt32Limit && v < kInt32Limit) return int32_t(v);
    double r = std::isinf(v) ? 0.0 : std::fmod(v, 16.0);
    if (r < 0) r += 16.0;
    return v < 0 ? INT32_MIN + int32_t(r) : INT32_MAX - 15 + int32_t(r);
}

}  // namespace

extern "C" void gfx_line(void* target, float x1, float y1, float x2, float y2, uint32_t color,
                         int32_t kind, uint32_t style, uint32_t flags) {
    GfxDrawState* s = gfx_get_draw_state();
    if (!gfx_context() || !s) return;
    const bool usable = gfx::select_target(s, target);
    const uint32_t pixel =
        (flags & GFX_COLOR_OMITTED) ? s->fg_color : gfx_color_to_pixel(s->target_bpp, color);
    gfx_select_pixel_routines(s, pixel);
    style &= 0xFFFFu;
    gfx_resolve_relative(s, int32_t(flags & 7u), &x1, &y1, &x2, &y2);
    if (!usable) return;

    double px1 = gfx::draw::pixel_x(s, x1), py1 = gfx::draw::pixel_y(s, y1);
    double px2 = gfx::draw::pixel_x(s, x2), py2 = gfx::draw::pixel_y(s, y2);
    if (std::isnan(px1) || std::isnan(py1) || std::isnan(px2) || std::isnan(py2)) return;

    if (kind != 0) {
        if (px2 < px1) std::swap(px1, px2);
        if (py2 < py1) std::swap(py1, py2);
        gfx::draw::box(s, box_coordinate(px1), box_coordinate(py1), box_coordinate(px2),
                       box_coordinate(py2), pixel, kind == 2, style);
        return;
    }

    for (double* c : {&px1, &py1, &px2, &py2})
        if (std::isinf(*c)) *c = *c > 0 ? kFar : -kFar;
    const ViewRect v = gfx::draw::view_rect(s);
    if (v.empty() || !clip_line(px1, py1, px2, py2, v)) return;

    // Both points lie inside the view now.
    const int32_t ix1 = int32_t(px1), iy1 = int32_t(py1), ix2 = int32_t(px2), iy2 = int32_t(py2);
    gfx_lock();
    draw_clipped(s, ix1, iy1, ix2, iy2, pixel, style);
    gfx::draw::mark_rows(s, iy1 < iy2 ? iy1 : iy2, iy1 < iy2 ? iy2 : iy1);
    gfx_unlock();
}
