// Shapes against the libraries one would otherwise reach for: a filled
// circle and a 1-pixel line against cairo (antialiasing off), a filled box
// against pixman_fill, all on 640 x 480 32-bit surfaces. Each benchmark
// times both sides in alternating batches, so that load on the machine hits
// both alike, and reports the per-shape times and ours / peer as "ratio".
// The peers draw into the work page's own memory, so both sides write the
// same bytes.
//
// This file holds the main() of bench_draw for every bench/draw_*.cpp.
#include <benchmark/benchmark.h>

#include <bit>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gfx/gfx.h"

#ifdef LICHTBOX_HAVE_CAIRO
#include <cairo.h>
#endif
#ifdef LICHTBOX_HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {

constexpr int kW = 640, kH = 480;
constexpr uint32_t kColor = 0xFF3366CCu;
const float kFullEnd = std::bit_cast<float>(0x40C90FDCu);

// A null-driver 640 x 480 x 32 screen for the duration of one benchmark.
struct Screen {
    Screen() {
        setenv("ZRGFX", "null", 1);
        ok = gfx_screen_set(18, 32, 1, GFX_NULL_SCREEN, 0) == 0;
    }
    ~Screen() { gfx_screen_set(0, 0, 0, 0, 0); }
    bool ok = false;
};

// Runs ours and peer in alternating batches; the benchmark's own time is
// the sum, the counters split it.
template <class Ours, class Peer>
void compare(benchmark::State& state, Ours&& ours, Peer&& peer) {
    using Clock = std::chrono::steady_clock;
    constexpr int kBatch = 8;
    double ours_s = 0, peer_s = 0;
    int64_t shapes = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        for (int i = 0; i < kBatch; ++i) ours();
        const auto t1 = Clock::now();
        for (int i = 0; i < kBatch; ++i) peer();
        const auto t2 = Clock::now();
        ours_s += std::chrono::duration<double>(t1 - t0).count();
        peer_s += std::chrono::duration<double>(t2 - t1).count();
        shapes += kBatch;
        state.SetIterationTime(std::chrono::duration<double>(t2 - t0).count());
    }
    if (shapes == 0 || peer_s <= 0) return;
    state.counters["ours_us"] = ours_s / double(shapes) * 1e6;
    state.counters["peer_us"] = peer_s / double(shapes) * 1e6;
    state.counters["ratio"] = ours_s / peer_s;
}

#ifdef LICHTBOX_HAVE_CAIRO
// An ARGB32 cairo surface over the work page, with aliased drawing.
struct CairoCanvas {
    CairoCanvas() {
        GfxContext* ctx = gfx_context();
        surface = cairo_image_surface_create_for_data(ctx->pages[0], CAIRO_FORMAT_ARGB32, kW, kH, ctx->pitch);
        cr = cairo_create(surface);
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        cairo_set_source_rgb(cr, 0x33 / 255.0, 0x66 / 255.0, 0xCC / 255.0);
        cairo_set_line_width(cr, 1.0);
    }
    ~CairoCanvas() {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    cairo_surface_t* surface;
    cairo_t* cr;
};

void BM_FilledCircle_vs_Cairo(benchmark::State& state) {
    const double r = double(state.range(0));
    Screen screen;
    CairoCanvas canvas;
    if (!screen.ok) {
        state.SkipWithError("no screen");
        return;
    }
    compare(
        state,
        [&] { gfx_circle(nullptr, 320, 240, float(r), kColor, 0, 0, kFullEnd, 1, coord_abs); },
        [&] {
            cairo_arc(canvas.cr, 320, 240, r, 0, 6.283185307179586);
            cairo_fill(canvas.cr);
        });
}
BENCHMARK(BM_FilledCircle_vs_Cairo)->Arg(20)->Arg(100)->Arg(200)->UseManualTime();

void BM_Line_vs_Cairo(benchmark::State& state) {
    Screen screen;
    CairoCanvas canvas;
    if (!screen.ok) {
        state.SkipWithError("no screen");
        return;
    }
    // A long diagonal through most of the surface (621 x 441 pixels).
    compare(
        state, [&] { gfx_line(nullptr, 10, 20, 630, 460, kColor, 0, 0xFFFF, 0); },
        [&] {
            cairo_move_to(canvas.cr, 10.5, 20.5);
            cairo_line_to(canvas.cr, 630.5, 460.5);
            cairo_stroke(canvas.cr);
        });
}
BENCHMARK(BM_Line_vs_Cairo)->UseManualTime();
#endif

#ifdef LICHTBOX_HAVE_PIXMAN
void BM_FilledBox_vs_PixmanFill(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    Screen screen;
    if (!screen.ok) {
        state.SkipWithError("no screen");
        return;
    }
    GfxContext* ctx = gfx_context();
    auto* bits = reinterpret_cast<uint32_t*>(ctx->pages[0]);
    const float x = 100, y = 80;
    auto ours = [&] { gfx_line(nullptr, x, y, x + float(w - 1), y + float(h - 1), kColor, 2, 0xFFFF, 0); };
    auto peer = [&] { pixman_fill(bits, ctx->pitch / 4, 32, int(x), int(y), w, h, kColor); };
    // Like with like: both must leave the same page, and both start warm.
    const std::size_t page_bytes = std::size_t(ctx->pitch) * kH;
    std::vector<uint8_t> ours_page(page_bytes);
    std::memset(bits, 0, page_bytes);
    ours();
    std::memcpy(ours_page.data(), bits, page_bytes);
    std::memset(bits, 0, page_bytes);
    peer();
    if (std::memcmp(ours_page.data(), bits, page_bytes) != 0) {
        state.SkipWithError("gfx_line and pixman_fill wrote different pixels");
        return;
    }
    compare(state, ours, peer);
}
BENCHMARK(BM_FilledBox_vs_PixmanFill)->Args({16, 16})->Args({100, 50})->Args({400, 300})->UseManualTime();
#endif

}  // namespace

BENCHMARK_MAIN();
