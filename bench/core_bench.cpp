// Core pixel routine benchmarks: page copy, page clear, 32-bit span fill
// and blend span, each next to the bound it is judged against, measured in
// the same process. A summary of time ratios is printed at the end.
//
// Defaults (overridable on the command line): 7 repetitions in random
// interleaving; the summary uses the fastest repetition of each benchmark
// (processor time), which is the least disturbed by other load.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "gfx/core/pixel_routines.h"
#include "gfx/gfx.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr size_t kPageBytes = size_t(kWidth) * kHeight * 4;
constexpr uint32_t kClearColor = 0xFF000000u;
constexpr uint32_t kBlendColor = 0x80FF8040u;

GfxContext* screen() {
    return gfx_context();
}

// Chooses the plain (0) or wide (1) process-wide routines for 32 bits.
void use_variant(int wide) {
    gfx::set_wide_override(wide);
    gfx_select_depth_routines(4);
}

#if defined(__SSE2__)
// The bound for fills: plain unaligned 16-byte stores over the same pixels.
void sse2_store_loop(uint8_t* dst, uint32_t color, size_t pixels) {
    const __m128i v = _mm_set1_epi32(static_cast<int>(color));
    for (size_t i = 0; i < pixels; i += 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * i), v);
    }
}
#endif

// ---- page copy ---------------------------------------------------------------

void BM_PageCopy(benchmark::State& state) {
    use_variant(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(gfx_page_copy(2, 1));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kPageBytes));
    gfx::set_wide_override(-1);
}
BENCHMARK(BM_PageCopy)->Arg(0)->Arg(1)->ArgNames({"wide"})->Unit(benchmark::kMicrosecond);

void BM_PageCopyMemcpy(benchmark::State& state) {
    GfxContext* ctx = screen();
    for (auto _ : state) {
        std::memcpy(ctx->pages[1], ctx->pages[2], kPageBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kPageBytes));
}
BENCHMARK(BM_PageCopyMemcpy)->Unit(benchmark::kMicrosecond);

// ---- byte copy by size (gfx_copy as used for rows and whole pages) -----------

void BM_ByteCopy(benchmark::State& state) {
    const GfxCopyFn copy = state.range(0) != 0 ? gfx::wide_copy_bytes : static_cast<GfxCopyFn>(std::memcpy);
    const auto bytes = static_cast<size_t>(state.range(1));
    GfxContext* ctx = screen();
    for (auto _ : state) {
        benchmark::DoNotOptimize(copy(ctx->pages[1], ctx->pages[2], bytes));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_ByteCopy)
    ->ArgsProduct({{0, 1}, {100, 2560, int64_t(kPageBytes)}})
    ->ArgNames({"wide", "bytes"});

// ---- byte fill by size (gfx_fill, the 8-bit pixel_set) ------------------------

void BM_ByteFill(benchmark::State& state) {
    const GfxFillFn fill = state.range(0) != 0 ? gfx::wide_fill_bytes : static_cast<GfxFillFn>(std::memset);
    const auto bytes = static_cast<size_t>(state.range(1));
    uint8_t* dst = screen()->pages[1];
    for (auto _ : state) {
        benchmark::DoNotOptimize(fill(dst, 0x5A, bytes));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_ByteFill)
    ->ArgsProduct({{0, 1}, {100, 2560, int64_t(kPageBytes)}})
    ->ArgNames({"wide", "bytes"});

// ---- page clear: every row through the 32-bit pixel_set ------------------------

void BM_PageClear(benchmark::State& state) {
    const GfxPixelSet fill = gfx::pixel_routines(4, state.range(0) != 0).pixel_set;
    GfxContext* ctx = screen();
    for (auto _ : state) {
        uint8_t* row = ctx->pages[1];
        for (int y = 0; y < kHeight; ++y, row += ctx->pitch) {
            fill(row, kClearColor, kWidth);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kPageBytes));
}
BENCHMARK(BM_PageClear)->Arg(0)->Arg(1)->ArgNames({"wide"})->Unit(benchmark::kMicrosecond);

#if defined(__SSE2__)
void BM_PageClearSse2Loop(benchmark::State& state) {
    GfxContext* ctx = screen();
    for (auto _ : state) {
        sse2_store_loop(ctx->pages[1], kClearColor, size_t(kWidth) * kHeight);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kPageBytes));
}
BENCHMARK(BM_PageClearSse2Loop)->Unit(benchmark::kMicrosecond);
#endif

// ---- 32-bit span fill of one row (cache-resident) -------------------------------

void BM_SpanFill32(benchmark::State& state) {
    const GfxPixelSet fill = gfx::pixel_routines(4, state.range(0) != 0).pixel_set;
    const auto pixels = static_cast<int32_t>(state.range(1));
    uint8_t* row = screen()->pages[1];
    for (auto _ : state) {
        benchmark::DoNotOptimize(fill(row, kClearColor, pixels));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * pixels);
}
BENCHMARK(BM_SpanFill32)
    ->ArgsProduct({{0, 1}, {64, 640}})
    ->ArgNames({"wide", "pixels"});

#if defined(__SSE2__)
void BM_SpanFill32Sse2Loop(benchmark::State& state) {
    const auto pixels = static_cast<size_t>(state.range(0));
    uint8_t* row = screen()->pages[1];
    for (auto _ : state) {
        sse2_store_loop(row, kClearColor, pixels);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(pixels));
}
BENCHMARK(BM_SpanFill32Sse2Loop)->Arg(64)->Arg(640)->ArgNames({"pixels"});
#endif

// ---- blend span ---------------------------------------------------------------------

void BM_BlendSpan(benchmark::State& state) {
    const GfxPixelSet blend = gfx::pixel_routines(4, state.range(0) != 0).blend_pixel_set;
    uint8_t* row = screen()->pages[1];
    for (auto _ : state) {
        benchmark::DoNotOptimize(blend(row, kBlendColor, kWidth));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth);
}
BENCHMARK(BM_BlendSpan)->Arg(0)->Arg(1)->ArgNames({"wide"});

// ---- summary ----------------------------------------------------------------------------

// Keeps the fastest repetition (processor seconds per iteration) of every
// benchmark; processor time rather than wall time, so that time slices lost
// to other processes on a shared machine do not count.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) {
                continue;
            }
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
            const double t = run.cpu_accumulated_time / double(run.iterations);
            auto [it, inserted] = best_.emplace(name, t);
            if (!inserted && t < it->second) it->second = t;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintSummary() const {
        struct Pair {
            const char* what;
            const char* subject;
            const char* bound;
            const char* goal;
        };
        const Pair pairs[] = {
            {"page copy, wide vs memcpy", "BM_PageCopy/wide:1", "BM_PageCopyMemcpy", "<= 1.10"},
            {"page copy, plain vs memcpy", "BM_PageCopy/wide:0", "BM_PageCopyMemcpy", "-"},
            {"page clear, wide vs SSE2 loop", "BM_PageClear/wide:1", "BM_PageClearSse2Loop", "<= 1.10"},
            {"page clear, plain vs SSE2 loop", "BM_PageClear/wide:0", "BM_PageClearSse2Loop", "-"},
            {"span 640, wide vs SSE2 loop", "BM_SpanFill32/wide:1/pixels:640", "BM_SpanFill32Sse2Loop/pixels:640", "<= 1.10"},
            {"span 640, plain vs SSE2 loop", "BM_SpanFill32/wide:0/pixels:640", "BM_SpanFill32Sse2Loop/pixels:640", "-"},
            {"span 64, wide vs SSE2 loop", "BM_SpanFill32/wide:1/pixels:64", "BM_SpanFill32Sse2Loop/pixels:64", "-"},
            {"span 64, plain vs SSE2 loop", "BM_SpanFill32/wide:0/pixels:64", "BM_SpanFill32Sse2Loop/pixels:64", "-"},
            {"blend span 640, wide vs plain", "BM_BlendSpan/wide:1", "BM_BlendSpan/wide:0", "-"},
            {"row copy 2560 B, wide vs memcpy", "BM_ByteCopy/wide:1/bytes:2560", "BM_ByteCopy/wide:0/bytes:2560", "-"},
            {"byte fill 2560 B, wide vs memset", "BM_ByteFill/wide:1/bytes:2560", "BM_ByteFill/wide:0/bytes:2560", "-"},
        };
        std::printf("\nSummary (fastest repetition of each, processor time, ratio subject / bound)\n");
        std::printf("%-34s %12s %12s %7s %8s\n", "pair", "subject ns", "bound ns", "ratio", "goal");
        for (const Pair& p : pairs) {
            const auto s = best_.find(p.subject);
            const auto b = best_.find(p.bound);
            if (s == best_.end() || b == best_.end()) continue;
            std::printf("%-34s %12.1f %12.1f %7.3f %8s\n", p.what, s->second * 1e9, b->second * 1e9,
                        s->second / b->second, p.goal);
        }
    }

private:
    std::map<std::string, double> best_;
};

}  // namespace

int main(int argc, char** argv) {
    // A null screen: 640 x 480 x 32 with four pages and no display driver.
    if (gfx_screen_set(18, 32, 4, GFX_NULL_SCREEN, 0) != 0 || screen() == nullptr) {
        std::fprintf(stderr, "cannot open the screen\n");
        return 1;
    }
    std::vector<char*> args(argv, argv + argc);
    static char reps[] = "--benchmark_repetitions=7";
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    static char min_time[] = "--benchmark_min_time=0.1";
    const auto given = [&](const char* prefix) {
        for (int i = 1; i < argc; ++i)
            if (std::strncmp(argv[i], prefix, std::strlen(prefix)) == 0) return true;
        return false;
    };
    if (!given("--benchmark_repetitions")) args.push_back(reps);
    if (!given("--benchmark_enable_random_interleaving")) args.push_back(interleave);
    if (!given("--benchmark_min_time")) args.push_back(min_time);
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    benchmark::Shutdown();
    // The screen is closed by the exit handler, which leaves the terminal alone.
    return 0;
}
