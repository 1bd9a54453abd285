// The program's own costs: the start-up picture (screen set-up, notice,
// glow, panel, scene and labels) beside the glow's memory bound, one key
// pass ("r": scene, labels, panel, page copy) beside two full-page copies
// with memcpy, and the processor time of the idle main loop.
// All timed in processor time of the calling thread, best of the runs.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "app/simulation.h"
#include "bench/glow_bound.h"
#include "gfx/gfx.h"

namespace {
using namespace glow_bench;

struct Summary {
    double start = 0, bound = 0, pass = 0, copies = 0, idle_cpu = -1;
    ~Summary() {
        if (bound > 0)
            std::printf("\nstart-up picture %.3f ms, glow memory bound %.3f ms: start/bound %.2f\n", start * 1e3,
                        bound * 1e3, start / bound);
        if (copies > 0)
            std::printf("key pass %.3f ms, two page copies %.3f ms: pass/copies %.2f\n", pass * 1e3, copies * 1e3,
                        pass / copies);
        if (idle_cpu >= 0) std::printf("idle main loop: %.3f %% of one core over 5 s\n", idle_cpu * 100);
    }
};
Summary g_summary;

bool open_screen() {
    setenv("ZRGFX", "null", 1);
    return gfx_screen_set(18, 32, 4, 0, 0) == 0;
}

void BM_StartPicture(benchmark::State& state) {
    if (!open_screen()) return state.SkipWithError("no screen");
    Glow& g = glow();  // the glow's runs, found once on page 0
    double best_start = 0, best_bound = 0;
    uint32_t sink = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        open_screen();
        lichtbox::show_start_picture();
        const double start = seconds(Clock::now() - t0);

        g.clear();
        const auto t1 = Clock::now();
        for (std::size_t i = 0; i < g.radii.size(); ++i) sink |= bound_fill(g, i);
        const double bound = seconds(Clock::now() - t1);

        state.SetIterationTime(start);
        keep_min(best_start, start);
        keep_min(best_bound, bound);
    }
    benchmark::DoNotOptimize(sink);
    state.counters["start_ms"] = best_start * 1e3;
    state.counters["bound_ms"] = best_bound * 1e3;
    state.counters["start/bound"] = best_start / best_bound;
    keep_min(g_summary.start, best_start);
    keep_min(g_summary.bound, best_bound);
    gfx_screen_set(0, 0, 0, 0, 0);
}
BENCHMARK(BM_StartPicture)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_KeyPass(benchmark::State& state) {
    if (!open_screen()) return state.SkipWithError("no screen");
    lichtbox::show_start_picture();
    const GfxContext* ctx = gfx_context();
    const std::size_t page_bytes = std::size_t(ctx->pitch) * std::size_t(ctx->h);
    std::vector<uint8_t> a(page_bytes, 1), b(page_bytes, 2), c(page_bytes, 3);
    double best_pass = 0, best_copies = 0;
    for (auto _ : state) {
        lichtbox::scene.object_x ^= 2;  // 220 and 222 in turn: the "r" and "l" pictures
        const auto t0 = Clock::now();
        lichtbox::draw_scene();
        lichtbox::draw_measurements();
        lichtbox::draw_panel();
        gfx_page_copy(lichtbox::PAGE_COMPOSE, lichtbox::PAGE_SHOWN);
        const double pass = seconds(Clock::now() - t0);

        const auto t1 = Clock::now();
        std::memcpy(b.data(), a.data(), page_bytes);
        std::memcpy(c.data(), b.data(), page_bytes);
        benchmark::ClobberMemory();
        const double copies = seconds(Clock::now() - t1);

        state.SetIterationTime(pass);
        keep_min(best_pass, pass);
        keep_min(best_copies, copies);
    }
    state.counters["pass_ms"] = best_pass * 1e3;
    state.counters["copies_ms"] = best_copies * 1e3;
    state.counters["pass/copies"] = best_pass / best_copies;
    keep_min(g_summary.pass, best_pass);
    keep_min(g_summary.copies, best_copies);
    gfx_screen_set(0, 0, 0, 0, 0);
}
BENCHMARK(BM_KeyPass)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The main loop with nothing to do for 5 seconds, ended by an "e" posted
// from another thread; its processor time against the wall time.
void BM_IdleLoop(benchmark::State& state) {
    if (!open_screen()) return state.SkipWithError("no screen");
    lichtbox::show_start_picture();
    for (auto _ : state) {
        std::thread ender([] {
            std::this_thread::sleep_for(std::chrono::seconds(5));
            gfx_post_key('e');
        });
        const auto wall0 = std::chrono::steady_clock::now();
        const auto cpu0 = Clock::now();
        lichtbox::main_loop();
        const double cpu = seconds(Clock::now() - cpu0);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        ender.join();
        // The "e" pass redraws once; that is not idle time but stays in.
        g_summary.idle_cpu = cpu / wall;
        state.counters["idle_cpu_%"] = cpu / wall * 100;
        state.SetIterationTime(wall);
    }
    gfx_screen_set(0, 0, 0, 0, 0);
}
BENCHMARK(BM_IdleLoop)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
