// gfx_circle: the caller's centre, radius and aspect become target pixels
// and semi-axes; full ellipses go to full_ellipse, arcs are plotted point by
// point along the angle, with radius lines to negative angles.
#include <bit>
#include <cmath>
#include <limits>

#include "gfx/core/context_internal.h"
#include "gfx/draw/clip.h"
#include "gfx/draw/ellipse.h"
#include "gfx/gfx.h"

namespace {

using gfx::draw::ViewRect;

constexpr uint32_t kFullEllipseEnd = 0x40C90FDCu;  // 6.283186f
constexpr double kTwoPi = 6.283185307179586;
// Longest arc walk and normalisation loop; only reached with radii or
// angles far beyond anything a float can place on a pixel.
constexpr double kMaxArcPoints = 0x1p22;
constexpr int kMaxTurns = 1 << 20;

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
    if (!v.empty()) gfx::draw::mark_clamped(s, v, min_y, max_y);
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
        gfx::draw::full_ellipse(s, pixel, cx, cy, rx, ry, fill != 0);
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
