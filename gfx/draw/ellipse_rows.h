// What the full-ellipse rasterisers share: the row writer that puts their
// spans and points into the view, the columns of the outermost span, and
// the rasterisers themselves (midpoint loop, per-row formula, far centres).
#pragma once

#include <cmath>
#include <cstdint>

#include "gfx/draw/clip.h"
#include "gfx/gfx.h"

namespace gfx::draw {

using LD = long double;

// Writes rows and points of an ellipse into the view. With a rows-done
// table each row is filled at most once: the first (widest) span wins.
class RowWriter {
public:
    RowWriter(GfxDrawState* s, const ViewRect& v, uint32_t pixel, uint8_t* done)
        : s_(s), v_(v), pixel_(pixel), done_(done), put_(s->put_pixel), set_(s->pixel_set) {}

    void fill(int64_t y, int64_t x1, int64_t x2) {
        if (!v_.has_y(y) || x2 < v_.left || x1 > v_.right) return;
        if (done_) {
            uint8_t& row_done = done_[y - v_.top];
            if (row_done) return;
            row_done = 1;
        }
        if (x1 < v_.left) x1 = v_.left;
        if (x2 > v_.right) x2 = v_.right;
        set_(pixel_address(s_, x1, y), pixel_, int32_t(x2 - x1 + 1));
    }
    // Long double variants for the large-ellipse paths: clamped to the view
    // before any integer conversion.
    void fill(int64_t y, LD x1, LD x2) {
        if (!(x2 >= LD(v_.left)) || !(x1 <= LD(v_.right))) return;
        fill(y, x1 < LD(v_.left) ? v_.left : int64_t(x1), x2 > LD(v_.right) ? v_.right : int64_t(x2));
    }
    // Puts every pixel of row y from x1 to x2 (inclusive, may be empty).
    void points(int64_t y, LD x1, LD x2) {
        if (!v_.has_y(y) || !(x2 >= LD(v_.left)) || !(x1 <= LD(v_.right))) return;
        const int64_t a = x1 < LD(v_.left) ? v_.left : int64_t(x1);
        const int64_t b = x2 > LD(v_.right) ? v_.right : int64_t(x2);
        for (int64_t x = a; x <= b; ++x) put_(s_, int32_t(x), int32_t(y), pixel_);
    }
    const ViewRect& view() const { return v_; }
    GfxDrawState* state() const { return s_; }
    uint32_t pixel() const { return pixel_; }

private:
    GfxDrawState* s_;
    ViewRect v_;
    uint32_t pixel_;
    uint8_t* done_;
    GfxPutPixel put_;
    GfxPixelSet set_;
};

// Column offsets of the outermost span: xl = trunc(cx - rx) and
// xr = trunc(cx + rx) equal cx - trunc(rx) + left and cx + trunc(rx) + right
// for an integral centre, which holds exactly for any magnitude.
struct SpanOffsets {
    int left, right;
};
inline SpanOffsets span_offsets(LD cx, LD rx) {
    const bool fraction = std::isfinite(rx) && rx != std::trunc(rx);
    return {fraction && cx - rx >= 0 ? -1 : 0, fraction && cx + rx < 0 ? 1 : 0};
}

// The full ellipse by the 64-bit midpoint loop (ellipse_midpoint.cpp), for
// semi-axes up to 2^20 and a centre within 2^40.
void midpoint_ellipse(RowWriter& w, bool filled, int64_t cx, int64_t cy, float rx, float ry);
// The same picture computed per view row, for ellipses too large for the
// loop (ellipse_huge.cpp).
void row_formula_ellipse(RowWriter& w, bool filled, LD cx, LD cy, LD rx, LD ry);
// Centres too far out to place the boundary (ellipse_huge.cpp).
void far_ellipse(RowWriter& w, bool filled, LD cx, LD cy, LD rx, LD ry);

}  // namespace gfx::draw
