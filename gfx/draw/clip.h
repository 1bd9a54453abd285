// Helpers shared by the line, box and circle primitives. Points stay in
// double precision until they are known to lie inside the view, so that
// coordinates beyond the 32-bit range never reach an integer conversion.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>

#include "gfx/gfx.h"

namespace gfx::draw {

// Rounds half away from zero. Exact for every float: a float with a
// fractional part is below 2^23, so adding 0.5 in double loses nothing, and
// larger floats are integers already. NaN and infinities pass through.
inline double round_half_away(float v) {
    const double d = v;
    return v > 0.0f ? std::trunc(d + 0.5) : std::trunc(d - 0.5);
}

// A caller's coordinate as a target pixel, the double counterpart of
// gfx_translate_coords (which has to pin values beyond the 32-bit range).
inline double pixel_x(const GfxDrawState* s, float x) {
    const double r = round_half_away(x);
    return (s->flags & GFX_VIEW_ABSOLUTE) ? r : r + s->view_x;
}
inline double pixel_y(const GfxDrawState* s, float y) {
    const double r = round_half_away(y);
    return (s->flags & GFX_VIEW_ABSOLUTE) ? r : r + s->view_y;
}

// The view as inclusive edges. Empty when right < left or bottom < top.
struct ViewRect {
    int64_t left, top, right, bottom;
    bool empty() const { return right < left || bottom < top; }
    bool has_x(int64_t x) const { return x >= left && x <= right; }
    bool has_y(int64_t y) const { return y >= top && y <= bottom; }
};

inline ViewRect view_rect(const GfxDrawState* s) {
    return {s->view_x, s->view_y, int64_t(s->view_x) + s->view_w - 1,
            int64_t(s->view_y) + s->view_h - 1};
}

inline uint8_t* pixel_address(const GfxDrawState* s, int64_t x, int64_t y) {
    return s->line[y] + static_cast<std::ptrdiff_t>(x) * s->target_bpp;
}

// Marks rows lo..hi (already inside the view) dirty.
inline void mark_rows(GfxDrawState* s, int64_t lo, int64_t hi) {
    if (hi >= lo) gfx_mark_dirty(s, int32_t(lo), int32_t(hi - lo + 1));
}

// Clamps an integral double to [lo, hi]; NaN gives lo.
inline int64_t clamp_to(double v, int64_t lo, int64_t hi) {
    if (!(v > double(lo))) return lo;
    if (v >= double(hi)) return hi;
    return int64_t(v);
}

// Marks the rows from trunc(a) to trunc(b), clamped to the view.
inline void mark_clamped(GfxDrawState* s, const ViewRect& v, double a, double b) {
    int64_t lo = clamp_to(std::trunc(a), v.top, v.bottom);
    int64_t hi = clamp_to(std::trunc(b), v.top, v.bottom);
    if (lo > hi) std::swap(lo, hi);
    mark_rows(s, lo, hi);
}

// Double to float without an out-of-range conversion: finite values beyond
// the float range become infinities.
inline float to_float(double v) {
    if (v > double(FLT_MAX)) return std::numeric_limits<float>::infinity();
    if (v < -double(FLT_MAX)) return -std::numeric_limits<float>::infinity();
    return float(v);
}

// gfx_box on a state already fetched (the screen is open).
void box(GfxDrawState* s, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color, bool filled,
         uint32_t style);

}  // namespace gfx::draw
