// The lamp glow as the benchmarks draw it, and its memory bound: the glow's
// 336 rings around (20, 220) on a 640 x 480 x 32 page, the runs each ring's
// fill writes, and a loop that reads and writes exactly those pixels with
// SSE2 stores. Shared by the drawing and the program benchmarks.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "gfx/gfx.h"

namespace glow_bench {

// Processor time of this thread: the machine is shared, and time spent
// waiting for a core would swamp the differences measured here. Both our
// operations and their bounds are timed with it.
struct Clock {
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<Clock, duration>;
    static time_point now() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return time_point(duration(int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec));
    }
};

constexpr int kWidth = 640, kHeight = 480;
constexpr float kLampX = 20.0f, kLampY = 220.0f;
constexpr double kGlowRadius = 670.0;
constexpr float kFullCircleEnd = 6.283186f;
constexpr uint32_t kPageColour = 0xFF000000u;

inline double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

inline uint32_t ring_colour(int n) {
    const double dr = (150.0 - 255.0) / kGlowRadius, dg = (150.0 - 255.0) / kGlowRadius,
                 db = (150.0 - 50.0) / kGlowRadius;
    const auto red = uint32_t(rt_round_int(255.0L + (long double)dr * n - 1.0L));
    const auto green = uint32_t(rt_round_int(255.0L + (long double)dg * n));
    const auto blue = uint32_t(rt_round_int(50.0L + (long double)db * n));
    return 0xFF000000u | red << 16 | green << 8 | blue;
}

struct Run {
    int32_t y, x1, x2;
};

// The rings and, per ring, the runs its fill writes (found once, on the
// screen open at the first use).
struct Glow {
    std::vector<int> radii;
    std::vector<uint32_t> colours;
    std::vector<std::vector<Run>> runs;
    int64_t pixels = 0, run_count = 0;

    Glow() {
        for (int n = int(kGlowRadius); n >= 0; n -= 2) {
            radii.push_back(n);
            colours.push_back(ring_colour(n));
        }
        clear();
        // What each fill changes: the fill colour equals the border colour,
        // so every pixel it writes changes, and neighbouring runs of a row
        // are separated by an unchanged border pixel.
        std::vector<uint32_t> before(std::size_t(kWidth) * kHeight);
        runs.resize(radii.size());
        for (std::size_t i = 0; i < radii.size(); ++i) {
            circle(i);
            std::memcpy(before.data(), page(0), before.size() * 4);
            gfx_paint(nullptr, kLampX, kLampY, colours[i], colours[i], nullptr, 0, coord_abs);
            for (int y = 0; y < kHeight; ++y) {
                const uint32_t* now = page(y);
                const uint32_t* was = before.data() + std::size_t(y) * kWidth;
                for (int x = 0; x < kWidth;) {
                    if (now[x] == was[x]) {
                        ++x;
                        continue;
                    }
                    int end = x;
                    while (end + 1 < kWidth && now[end + 1] != was[end + 1]) ++end;
                    runs[i].push_back(Run{y, x, end});
                    pixels += end - x + 1;
                    ++run_count;
                    x = end + 1;
                }
            }
        }
    }

    uint32_t* page(int y) const {
        const GfxContext* c = gfx_context();
        return reinterpret_cast<uint32_t*>(c->pages[0] + std::size_t(y) * std::size_t(c->pitch));
    }
    void clear() const {
        for (int y = 0; y < kHeight; ++y) std::fill_n(page(y), kWidth, kPageColour);
    }
    void circle(std::size_t i) const {
        gfx_circle(nullptr, kLampX, kLampY, float(radii[i]), colours[i], 0.0f, 0.0f, kFullCircleEnd, 0, coord_abs);
    }
    void paint(std::size_t i) const {
        gfx_paint(nullptr, kLampX, kLampY, colours[i], colours[i], nullptr, 0, coord_abs);
    }
};

inline Glow& glow() {
    static Glow g;
    return g;
}

// Reads every pixel of the fill's runs once and writes the fill colour.
// Kept out of line so that its loop is compiled the same wherever it is used.
[[gnu::noinline]] inline uint32_t bound_fill(const Glow& g, std::size_t i) {
    const uint32_t colour = g.colours[i];
#if defined(__SSE2__)
    const __m128i v = _mm_set1_epi32(int(colour));
    __m128i seen = _mm_setzero_si128();
#endif
    uint32_t seen_tail = 0;
    for (const Run& r : g.runs[i]) {
        uint32_t* p = g.page(r.y) + r.x1;
        const int n = r.x2 - r.x1 + 1;
        int k = 0;
#if defined(__SSE2__)
        for (; k + 4 <= n; k += 4) {
            auto* q = reinterpret_cast<__m128i*>(p + k);
            seen = _mm_or_si128(seen, _mm_loadu_si128(q));
            _mm_storeu_si128(q, v);
        }
#endif
        for (; k < n; ++k) {
            seen_tail |= p[k];
            p[k] = colour;
        }
    }
#if defined(__SSE2__)
    seen_tail |= uint32_t(_mm_cvtsi128_si32(seen));
#endif
    return seen_tail;
}

template <class T>
void keep_min(T& slot, T v) {
    if (slot == 0 || v < slot) slot = v;
}

}  // namespace glow_bench
