// Coordinates: relative points, rounding to target pixels, corner order
// and the view-port reset.
#include <cmath>
#include <utility>

#include "gfx/core/context_internal.h"
#include "gfx/gfx.h"

extern "C" {

void gfx_resolve_relative(GfxDrawState* state, int32_t flags, float* x1, float* y1, float* x2, float* y2) {
    const bool two = x2 && y2;
    switch (flags & 7) {
        case coord_rel_abs:
        case coord_rel:
            *x1 += state->last_x;
            *y1 += state->last_y;
            break;
        case coord_abs_rel:
            if (two) {
                *x2 += *x1;
                *y2 += *y1;
            }
            break;
        case coord_rel_rel:
            *x1 += state->last_x;
            *y1 += state->last_y;
            if (two) {
                *x2 += *x1;
                *y2 += *y1;
            }
            break;
        default:
            break;
    }
    state->last_x = two ? *x2 : *x1;
    state->last_y = two ? *y2 : *y1;
}

}  // extern "C"

namespace {

// Halves away from zero, then toward zero. Values beyond the 32-bit range
// (and NaN) are pinned so that the conversion is always defined; primitives
// that must tell such points apart clamp them before calling.
int32_t round_away(float v) {
    const double r = v > 0.0f ? double(v) + 0.5 : double(v) - 0.5;
    if (!(r > -2147483648.0)) return v > 0.0f ? INT32_MAX : INT32_MIN;  // NaN, -inf
    if (r >= 2147483648.0) return INT32_MAX;
    return int32_t(r);
}

int32_t add_saturated(int32_t a, int32_t b) {
    int64_t s = int64_t(a) + b;
    return s > INT32_MAX ? INT32_MAX : s < INT32_MIN ? INT32_MIN : int32_t(s);
}

}  // namespace

extern "C" {

void gfx_translate_coords(const GfxDrawState* state, float x, float y, int32_t* out_x, int32_t* out_y) {
    int32_t ix = round_away(x), iy = round_away(y);
    if (!(state->flags & GFX_VIEW_ABSOLUTE)) {
        ix = add_saturated(ix, state->view_x);
        iy = add_saturated(iy, state->view_y);
    }
    *out_x = ix;
    *out_y = iy;
}

void gfx_order_corners(int32_t* x1, int32_t* y1, int32_t* x2, int32_t* y2) {
    if (*x2 < *x1) std::swap(*x1, *x2);
    if (*y2 < *y1) std::swap(*y1, *y2);
}

void gfx_view_set(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t, uint32_t, int32_t) {
    GfxDrawState* state = gfx_get_draw_state();
    GfxContext* ctx = gfx_context();
    if (!ctx || !state) return;
    gfx::select_target(state, nullptr);
    gfx_order_corners(&x1, &y1, &x2, &y2);
    if (uint32_t(x1 | y1 | x2 | y2) == 0xFFFF8000u) {
        state->flags &= ~GFX_VIEW_SET;
        state->view_x = state->view_y = 0;
        state->view_w = ctx->w;
        state->view_h = ctx->h;
    }
}

}  // extern "C"
