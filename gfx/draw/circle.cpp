// Circles, ellipses and arcs. The full ellipse is rasterised row by row by
// an integer midpoint loop; arcs are plotted point by point along the angle.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "gfx/core/context_internal.h"
#include "gfx/core/pixel_routines.h"
#include "gfx/draw/clip.h"
#include "gfx/gfx.h"

namespace gfx::draw {

namespace {
bool g_row_table_alloc_fails = false;
bool g_force_row_formula = false;
}  // namespace

void set_row_table_alloc_failure(bool fail) { g_row_table_alloc_fails = fail; }
void set_force_row_formula(bool force) { g_force_row_formula = force; }

}  // namespace gfx::draw

namespace {

using gfx::draw::ViewRect;
using LD = long double;

constexpr uint32_t kFullEllipseEnd = 0x40C90FDCu;  // 6.283186f
constexpr double kTwoPi = 6.283185307179586;
// The midpoint loop runs in signed 64-bit integers: with both semi-axes up
// to 2^20 and the centre within 2^40 every term stays below 2^62.
constexpr double kLoopRadius = 0x1p20;
constexpr double kLoopCentre = 0x1p40;
// Beyond this distance of the centre the per-row formula can no longer
// place the boundary to a fraction of a pixel in long double.
constexpr LD kFormulaCentre = 0x1p56L;
// Rows-done tables up to this size live on the stack.
constexpr int64_t kStackRows = 4096;
// Longest arc walk and normalisation loop; only reached with radii or
// angles far beyond anything a float can place on a pixel.
constexpr double kMaxArcPoints = 0x1p22;
constexpr int kMaxTurns = 1 << 20;

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
        set_(gfx::draw::pixel_address(s_, x1, y), pixel_, int32_t(x2 - x1 + 1));
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

// Column offsets of the outermost span: xl = trunc(cx - rx) and
// xr = trunc(cx + rx) equal cx - trunc(rx) + left and cx + trunc(rx) + right
// for an integral centre, which holds exactly for any magnitude.
struct SpanOffsets {
    int left, right;
};
SpanOffsets span_offsets(LD cx, LD rx) {
    const bool fraction = std::isfinite(rx) && rx != std::trunc(rx);
    return {fraction && cx - rx >= 0 ? -1 : 0, fraction && cx + rx < 0 ? 1 : 0};
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

// The same picture for ellipses too large for the 64-bit loop, computed per
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

// Marks the rows from trunc(a) to trunc(b), clamped to the view.
void mark_clamped(GfxDrawState* s, const ViewRect& v, double a, double b) {
    int64_t lo = gfx::draw::clamp_to(std::trunc(a), v.top, v.bottom);
    int64_t hi = gfx::draw::clamp_to(std::trunc(b), v.top, v.bottom);
    if (lo > hi) std::swap(lo, hi);
    gfx::draw::mark_rows(s, lo, hi);
}

void full_ellipse(GfxDrawState* s, uint32_t pixel, double cx, double cy, float rx, float ry,
                  bool filled) {
    const ViewRect v = gfx::draw::view_rect(s);
    if (v.empty()) return;
    const bool loop = !gfx::draw::g_force_row_formula && double(rx) <= kLoopRadius &&
                      std::fabs(double(ry)) <= kLoopRadius && std::fabs(cx) <= kLoopCentre &&
                      std::fabs(cy) <= kLoopCentre;

    // One byte per view row, cleared, for the filled loop.
    uint8_t stack_rows[kStackRows];
    std::unique_ptr<uint8_t[]> heap_rows;
    uint8_t* done = nullptr;
    if (loop && filled && ry != 0.0f) {
        const int64_t rows = v.bottom - v.top + 1;
        if (rows <= kStackRows) {
            done = stack_rows;
        } else {
            if (!gfx::draw::g_row_table_alloc_fails)
                heap_rows.reset(new (std::nothrow) uint8_t[std::size_t(rows)]);
            if (!heap_rows) return;
            done = heap_rows.get();
        }
        std::memset(done, 0, std::size_t(rows));
    }

    gfx_lock();
    RowWriter w(s, v, pixel, done);
    if (ry == 0.0f) {
        // A flat ellipse is its centre row, always filled.
        const SpanOffsets off = span_offsets(LD(cx), LD(rx));
        const LD x0 = std::trunc(LD(rx));
        if (cy >= double(v.top) && cy <= double(v.bottom))
            w.fill(int64_t(cy), LD(cx) + off.left - x0, LD(cx) + off.right + x0);
    } else if (loop) {
        midpoint_ellipse(w, filled, int64_t(cx), int64_t(cy), rx, ry);
    } else if (std::fabs(LD(cx)) < kFormulaCentre && std::fabs(LD(cy)) < kFormulaCentre) {
        RowFormula(LD(cx), LD(cy), LD(rx), LD(ry)).draw(w, filled);
    } else {
        far_ellipse(w, filled, LD(cx), LD(cy), LD(rx), LD(ry));
    }
    mark_clamped(s, v, cy - double(ry), cy + double(ry));
    gfx_unlock();
}

// Offset of the point at angle a: each product stored as a float, then
// rounded half away from zero.
struct Offset {
    double dx, dy;
};
Offset point_offset(double a, float rx, float ry) {
    return {gfx::draw::round_half_away(gfx::draw::to_float(std::cos(a) * double(rx))),
            gfx::draw::round_half_away(gfx::draw::to_float(std::sin(a) * double(ry)))};
}

// Brings end to at least start and the span to at most 2 pi by whole turns
// added as floats. False when the angles are too large for a float to
// take a turn (the additions would stop changing them).
bool normalise_angles(float& start, float& end) {
    int turns = 0;
    while (start > end) {
        const float next = float(double(end) + kTwoPi);
        if (next == end || ++turns > kMaxTurns) return false;
        end = next;
    }
    while (double(end) - double(start) > kTwoPi) {
        const float next = float(double(start) + kTwoPi);
        if (next == start || ++turns > kMaxTurns) return false;
        start = next;
    }
    return true;
}

void arc(GfxDrawState* s, uint32_t pixel, double cx, double cy, float rx, float ry, float start,
         float end) {
    const ViewRect v = gfx::draw::view_rect(s);
    const double root = 1.5 * std::sqrt(double(rx)) * std::sqrt(double(ry));
    const float step = root == 0.0 ? std::numeric_limits<float>::infinity() : float(1.0 / root);
    const GfxPutPixel put = s->put_pixel;
    double min_y = cy, max_y = cy;

    auto plot = [&](double a) {
        const Offset o = point_offset(a, rx, ry);
        const double px = cx + o.dx, py = cy - o.dy;
        if (!(px >= double(v.left) && px <= double(v.right) && py >= double(v.top) &&
              py <= double(v.bottom)))
            return;
        put(s, int32_t(px), int32_t(py), pixel);
        if (py < min_y) min_y = py;
        if (py > max_y) max_y = py;
    };

    gfx_lock();
    const double limit = double(end) + double(step) / 2;
    // A zero step means an infinite radius: no point of the arc is finite.
    if (!(step == 0.0f)) {
        const double span = limit - double(start);
        // Every walk below advances by a fixed fraction of the span at
        // least; the budget only backs that up.
        long budget = 2 * long(kMaxArcPoints);
        if (!(step > 0.0f && span / double(step) > kMaxArcPoints)) {
            float a = start;
            do {
                plot(a);
                const float next = a + step;
                if (next == a) {
                    // The step is below the float's resolution here: carry
                    // on in double so that the walk still ends.
                    for (double ad = double(a) + step; ad < limit && --budget > 0; ad += step) plot(ad);
                    break;
                }
                a = next;
            } while (double(a) < limit && --budget > 0);
        } else {
            // Radii so large that the walk would not end in reasonable
            // time: spread the longest allowed number of points over the arc.
            const double coarse = span / kMaxArcPoints;
            double a = start;
            do {
                plot(a);
                a += coarse;
            } while (a < limit && --budget > 0);
        }
    }
    if (!v.empty()) mark_clamped(s, v, min_y, max_y);
    gfx_unlock();
}

}  // namespace

extern "C" void gfx_circle(void* target, float x, float y, float radius, uint32_t color, float aspect,
                           float start, float end, int32_t fill, uint32_t flags) {
    GfxDrawState* s = gfx_get_draw_state();
    GfxContext* ctx = gfx_context();
    if (!ctx || !s || !(radius > 0.0f)) return;
    const float passed_x = x, passed_y = y;  // the radii start here
    const bool usable = gfx::select_target(s, target);
    const uint32_t pixel =
        (flags & GFX_COLOR_OMITTED) ? s->fg_color : gfx_color_to_pixel(s->target_bpp, color);
    gfx_select_pixel_routines(s, pixel);
    gfx_resolve_relative(s, int32_t(flags & 7u), &x, &y, nullptr, nullptr);
    if (!usable) return;
    const double cx = gfx::draw::pixel_x(s, x), cy = gfx::draw::pixel_y(s, y);

    if (aspect == 0.0f) aspect = ctx->w > 0 ? float(ctx->h) / float(ctx->w) * 4.0f / 3.0f : 1.0f;
    float rx, ry;
    if (aspect > 1.0f) {
        rx = radius / aspect;
        ry = radius;
    } else {
        rx = radius;
        ry = radius * aspect;
    }
    if (!std::isfinite(cx) || !std::isfinite(cy) || std::isnan(rx) || std::isnan(ry)) return;

    if (start == 0.0f && end == std::bit_cast<float>(kFullEllipseEnd)) {
        full_ellipse(s, pixel, cx, cy, rx, ry, fill != 0);
        return;
    }

    auto radius_at = [&](float angle) {
        if (!std::isfinite(angle)) return;
        const Offset o = point_offset(angle, rx, ry);
        const double ex = std::trunc(double(passed_x) + o.dx), ey = std::trunc(double(passed_y) - o.dy);
        if (std::isnan(ex) || std::isnan(ey)) return;
        gfx_line(target, passed_x, passed_y, gfx::draw::to_float(ex), gfx::draw::to_float(ey), color, 0,
                 0xFFFFu, flags & ~7u);
    };
    if (start < 0) {
        start = -start;
        radius_at(start);
    }
    if (end < 0) {
        end = -end;
        radius_at(end);
    }
    if (!std::isfinite(start) || !std::isfinite(end) || !normalise_angles(start, end)) return;
    arc(s, pixel, cx, cy, rx, ry, start, end);
}
