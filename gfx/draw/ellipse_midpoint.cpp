// The full ellipse by the integer midpoint loop: outlines put pixel by
// pixel (straight stores when the target allows), filled ellipses row by
// row from the centre out.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "gfx/core/pixel_routines.h"
#include "gfx/draw/ellipse_rows.h"

namespace gfx::draw {
namespace {

// Exact trunc(b * f) for 0 <= b < 2^40 and 0 <= f < 2^21: the float's
// 24-bit mantissa times b fits 64 bits, the exponent becomes a shift.
int64_t trunc_product(int64_t b, float f) {
    int exp = 0;
    const double mant = std::frexp(double(f), &exp);
    const uint64_t m = uint64_t(std::ldexp(mant, 24));
    const uint64_t p = uint64_t(b) * m;
    const int shift = 24 - exp;  // >= 3 for f < 2^21
    return shift >= 64 ? 0 : int64_t(p >> shift);
}

// The outline of the full ellipse by the midpoint loop: pass by pass the
// loop steps down a row, inwards a column or both, and puts the pixels at
// half-width x on the rows k below and above the centre. Nothing but the
// loop's own terms is needed to continue it, so passes none of whose points
// can lie in the view only advance it: the view is turned once into limits
// on k and x, which also end the loop where nothing further can be seen.
// `plot` puts one pixel that lies in the view.
template <class Plot>
void midpoint_outline(const ViewRect& v, int64_t cx, int64_t cy, int64_t x0, SpanOffsets off, int64_t a2,
                      int64_t b2, int64_t t, Plot plot) {
    // Columns: xl = cl - x, xr = cr + x. Rows: cy + k below, cy - k above.
    const int64_t cl = cx + off.left, cr = cx + off.right;
    const int64_t down_lo = v.top - cy, down_hi = v.bottom - cy;  // k with cy + k in the view
    const int64_t up_lo = cy - v.bottom, up_hi = cy - v.top;      // k with cy - k in the view
    // The rows in view form one range of k (both sets hold 0 when the
    // centre row is in view; only one set is ever non-empty otherwise).
    const int64_t k_first = cy < v.top ? down_lo : cy > v.bottom ? up_lo : 0;
    const int64_t k_last = std::max(down_hi, up_hi);
    // x only falls: above x_skip both columns lie outside the view, below
    // x_stop both do, and for good (xl right of it or xr left of it).
    const int64_t x_skip = std::max(cl - v.left, v.right - cr);
    const int64_t x_stop = std::max(cl - v.right, v.left - cr);

    auto put_row = [&](int64_t y, int64_t x) {
        const int64_t xl = cl - x, xr = cr + x;
        if (xl >= v.left && xl <= v.right) plot(xl, y);
        if (xr >= v.left && xr <= v.right) plot(xr, y);
    };
    if (cy >= v.top && cy <= v.bottom) put_row(cy, x0);
    if (x0 < x_stop) return;

    int64_t e = t, d = 0, g = 2 * t, x = x0, k = 0;
    while (x > 0) {
        bool step_x = true;
        if (e > 0) {
            ++k;
            d += 2 * a2;
            e -= d;
            step_x = e <= 0;
        }
        if (step_x) {
            --x;
            g -= 2 * b2;
            e += g;
        }
        if (k > k_last || x < x_stop) break;  // later passes are all outside
        if (k < k_first || x > x_skip) continue;
        if (k >= down_lo && k <= down_hi) put_row(cy + k, x);
        if (k >= up_lo && k <= up_hi) put_row(cy - k, x);
    }
}

// Puts outline pixels straight into the rows when the put routine is the
// plain store of the target's depth; any other routine (blending) is called.
void outline_ellipse(GfxDrawState* s, const ViewRect& v, uint32_t pixel, int64_t cx, int64_t cy, int64_t x0,
                     SpanOffsets off, int64_t a2, int64_t b2, int64_t t) {
    const int32_t bpp = s->target_bpp;
    uint8_t* const* line = s->line;
    const GfxPutPixel put = s->put_pixel;
    const bool plain = (bpp == 1 || bpp == 2 || bpp == 4) && put == gfx::pixel_routines(bpp, false).put_pixel;
    auto stores = [&](auto value) {
        using T = decltype(value);
        midpoint_outline(v, cx, cy, x0, off, a2, b2, t, [&](int64_t x, int64_t y) {
            std::memcpy(line[y] + static_cast<std::ptrdiff_t>(sizeof(T)) * x, &value, sizeof(T));
        });
    };
    if (plain && bpp == 4) stores(uint32_t(pixel));
    else if (plain && bpp == 2) stores(uint16_t(pixel));
    else if (plain && bpp == 1) stores(uint8_t(pixel));
    else
        midpoint_outline(v, cx, cy, x0, off, a2, b2, t,
                         [&](int64_t x, int64_t y) { put(s, int32_t(x), int32_t(y), pixel); });
}

}  // namespace

// The full ellipse by the midpoint loop, rows visited from the centre out.
void midpoint_ellipse(RowWriter& w, bool filled, int64_t cx, int64_t cy, float rx, float ry) {
    const double rxd = rx, ryd = ry;
    const int64_t x0 = int64_t(rxd);
    const SpanOffsets off = span_offsets(LD(cx), LD(rxd));
    const int64_t a2 = int64_t(rxd * rxd), b2 = int64_t(ryd * ryd);
    const int64_t t = trunc_product(b2, rx);
    if (!filled) {
        outline_ellipse(w.state(), w.view(), w.pixel(), cx, cy, x0, off, a2, b2, t);
        return;
    }
    int64_t xl = cx - x0 + off.left, xr = cx + x0 + off.right;
    int64_t yd = cy, yu = cy;
    w.fill(cy, xl, xr);
    // Spans only shrink, so nothing further can reach a view they miss.
    const ViewRect& v = w.view();
    if (xr < v.left || xl > v.right) return;

    int64_t e = t, d = 0, g = 2 * t, x = x0;
    while (x > 0) {
        bool step_x = true;
        if (e > 0) {
            ++yd;
            --yu;
            d += 2 * a2;
            e -= d;
            step_x = e <= 0;
        }
        if (step_x) {
            --x;
            ++xl;
            --xr;
            g -= 2 * b2;
            e += g;
        }
        w.fill(yd, xl, xr);
        w.fill(yu, xl, xr);
        if (yd > v.bottom && yu < v.top) break;  // later rows are all outside
    }
}

}  // namespace gfx::draw
