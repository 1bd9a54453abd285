// The full ellipse: picks the rasteriser for its size and place (midpoint
// loop, per-row formula, far centre), gives filled ellipses a rows-done
// table so that every row is filled once, and marks the rows dirty.
#include "gfx/draw/ellipse.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "gfx/draw/clip.h"
#include "gfx/draw/ellipse_rows.h"

namespace gfx::draw {
namespace {

bool g_row_table_alloc_fails = false;
bool g_force_row_formula = false;

// The midpoint loop runs in signed 64-bit integers: with both semi-axes up
// to 2^20 and the centre within 2^40 every term stays below 2^62.
constexpr double kLoopRadius = 0x1p20;
constexpr double kLoopCentre = 0x1p40;
// Beyond this distance of the centre the per-row formula can no longer
// place the boundary to a fraction of a pixel in long double.
constexpr LD kFormulaCentre = 0x1p56L;
// Rows-done tables up to this size live on the stack.
constexpr int64_t kStackRows = 4096;

}  // namespace

void set_row_table_alloc_failure(bool fail) { g_row_table_alloc_fails = fail; }
void set_force_row_formula(bool force) { g_force_row_formula = force; }

void full_ellipse(GfxDrawState* s, uint32_t pixel, double cx, double cy, float rx, float ry,
                  bool filled) {
    const ViewRect v = view_rect(s);
    if (v.empty()) return;
    const bool loop = !g_force_row_formula && double(rx) <= kLoopRadius &&
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
            if (!g_row_table_alloc_fails)
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
        row_formula_ellipse(w, filled, LD(cx), LD(cy), LD(rx), LD(ry));
    } else {
        far_ellipse(w, filled, LD(cx), LD(cy), LD(rx), LD(ry));
    }
    mark_clamped(s, v, cy - double(ry), cy + double(ry));
    gfx_unlock();
}

}  // namespace gfx::draw
