// Full ellipses too large for the 64-bit midpoint loop: the loop's picture
// computed per view row in long double, and centres so far out that only a
// view lying wholly inside can be filled.
#include <cmath>

#include "gfx/draw/ellipse_rows.h"

namespace gfx::draw {
namespace {

// The midpoint loop's picture for ellipses too large for it, computed per
// view row. A pass of the loop at half-width x on row k keeps going down
// while x (x - 1) / rx^2 + k (k + 1) / ry^2 < 1 (exact for integral
// semi-axes); so row k is reached when row k - 1 still had a half-width of
// at least 1, it is first drawn at max(x_max(k), x_max(k - 1) - 1) and its
// passes walk inwards to x_max(k).
class RowFormula {
public:
    RowFormula(LD cx, LD cy, LD rx, LD ry)
        : cx_(cx), cy_(cy), rx_(rx), ry_(std::fabs(ry)), x0_(std::trunc(rx)),
          flat_(std::fabs(ry) < 1), off_(span_offsets(cx, rx)) {}

    void draw(RowWriter& w, bool filled) const {
        const ViewRect& v = w.view();
        for (int64_t y = v.top; y <= v.bottom; ++y) {
            const LD k = std::fabs(LD(y) - cy_);
            if (k == 0) {
                row0(w, y, filled);
                continue;
            }
            const LD above = x_max(k - 1);
            if (above < 1) continue;
            const LD here = x_max(k);
            const LD widest = std::fmax(here, above - 1);
            if (filled) w.fill(y, left(widest), right(widest));
            else passes(w, y, std::fmax(here, LD(0)), widest, 1);
        }
    }

private:
    LD left(LD x) const { return cx_ + off_.left - x; }
    LD right(LD x) const { return cx_ + off_.right + x; }

    // Outline pixels of passes at half-widths lo..hi, each side `times` times.
    void passes(RowWriter& w, int64_t y, LD lo, LD hi, int times) const {
        if (hi < lo) return;
        for (int i = 0; i < times; ++i) {
            w.points(y, left(hi), left(lo));
            w.points(y, right(lo), right(hi));
        }
    }

    void row0(RowWriter& w, int64_t y, bool filled) const {
        if (filled) {
            w.fill(y, left(x0_), right(x0_));
            return;
        }
        passes(w, y, x0_, x0_, 1);
        // Passes that stay on the centre row (only with |ry| < 1) draw it
        // as both the upper and the lower row.
        passes(w, y, std::fmax(x_max(0), LD(0)), x0_ - 1, 2);
    }

    bool inside(LD x, LD k) const {
        if (flat_) return false;
        if (std::isinf(ry_)) return std::isinf(rx_) || x * (x - 1) < rx_ * rx_;
        const LD room = (ry_ - k) * (ry_ + k) - k;  // ry^2 - k (k + 1), exact near the edge
        if (std::isinf(rx_)) return room > 0;
        return x * (x - 1) * (ry_ * ry_) < rx_ * rx_ * room;
    }

    // Largest half-width in 1..x0 whose pass on row k steps down, else 0.
    LD x_max(LD k) const {
        if (x0_ < 1 || !inside(1, k)) return 0;
        if (std::isinf(x0_)) return x0_;
        const LD q = std::isinf(ry_) ? rx_ * rx_ : rx_ * rx_ * (((ry_ - k) * (ry_ + k) - k) / (ry_ * ry_));
        LD c = std::ceil(0.5L + std::sqrt(0.25L + std::fmax(q, LD(0)))) - 1;
        c = std::fmin(std::fmax(c, LD(1)), x0_);
        for (int i = 0; i < 4 && c < x0_ && inside(c + 1, k); ++i) c += 1;
        for (int i = 0; i < 4 && c > 1 && !inside(c, k); ++i) c -= 1;
        return c;
    }

    LD cx_, cy_, rx_, ry_, x0_;
    bool flat_;
    SpanOffsets off_;
};

}  // namespace

void row_formula_ellipse(RowWriter& w, bool filled, LD cx, LD cy, LD rx, LD ry) {
    RowFormula(cx, cy, rx, ry).draw(w, filled);
}

// Centre too far out to place the boundary: fill the view when the whole of
// it lies well inside the ellipse; anything else stays unpainted.
void far_ellipse(RowWriter& w, bool filled, LD cx, LD cy, LD rx, LD ry) {
    if (!filled || rx == 0 || ry == 0) return;
    const ViewRect& v = w.view();
    const LD xs[] = {LD(v.left), LD(v.right)}, ys[] = {LD(v.top), LD(v.bottom)};
    for (LD px : xs)
        for (LD py : ys) {
            const LD u = (px - cx) / rx, q = (py - cy) / ry;
            if (!(u * u + q * q < 1 - 0x1p-20L)) return;
        }
    for (int64_t y = v.top; y <= v.bottom; ++y) w.fill(y, v.left, v.right);
}

}  // namespace gfx::draw
