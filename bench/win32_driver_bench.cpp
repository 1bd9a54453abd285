// The Windows display drivers, run under Wine in an X server (scripts/bench
// win): the time one driver pass takes to show a fully changed 640 x 480 x
// 32 page through "GDI" and through "DirectX" (DirectDraw in a window),
// each beside its bound measured in the same run: a copy of the page's
// bytes (memcpy), the least any pass must do.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gfx/drivers/win32/win32_window.h"
#include "gfx/gfx.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPasses = 200;

double page_copy_us(const GfxContext* ctx) {
    const std::size_t bytes = std::size_t(ctx->pitch) * std::size_t(ctx->h);
    std::vector<uint8_t> to(bytes);
    double best = 1e30;
    for (int round = 0; round < 20; ++round) {
        const auto start = Clock::now();
        for (int i = 0; i < 50; ++i) {
            std::memcpy(to.data(), ctx->framebuffer, bytes);
            __asm__ volatile("" : : "r"(to.data()) : "memory");
        }
        best = std::min(best, std::chrono::duration<double, std::micro>(Clock::now() - start).count() / 50);
    }
    return best;
}

// Average time of a pass that shows the whole page; negative when the
// driver did not start or stopped showing.
double driver_pass_us(const char* driver) {
    _putenv_s("ZRGFX", driver);
    if (gfx_screen_set(18, 32, 4, 0, 0) != 0) return -1;
    GfxContext* ctx = gfx_context();
    for (int32_t i = 0; i < ctx->pitch * ctx->h; ++i) ctx->framebuffer[i] = uint8_t(i * 2654435761u >> 24);
    Sleep(500);  // the window settles
    const auto before = gfx::win32::driver_stats();
    for (int pass = 0; pass < kPasses; ++pass) {
        const uint64_t shows = gfx::win32::driver_stats().shows;
        gfx_lock();
        std::memset(ctx->dirty, 1, std::size_t(ctx->h));
        gfx_unlock();
        const auto deadline = Clock::now() + std::chrono::seconds(30);  // a first start under Wine is slow
        while (gfx::win32::driver_stats().shows == shows) {
            if (Clock::now() > deadline) return -1;
            Sleep(1);
        }
    }
    const auto after = gfx::win32::driver_stats();
    gfx_screen_set(0, 0, 0, 0, 0);
    return double(after.show_ns - before.show_ns) / 1000.0 / double(after.shows - before.shows);
}

}  // namespace

int main() {
    rt_init();
    _putenv_s("ZRGFX", "null");
    if (gfx_screen_set(18, 32, 4, 0, 0) != 0) return 1;
    const double bound = page_copy_us(gfx_context());
    gfx_screen_set(0, 0, 0, 0, 0);
    std::printf("page copy (memcpy of 640 x 480 x 4 bytes): %.1f us\n", bound);
    int status = 0;
    for (const char* driver : {"GDI", "DirectX"}) {
        const double pass = driver_pass_us(driver);
        if (pass < 0) {
            std::printf("%-8s driver did not show %d full pages\n", driver, kPasses);
            status = 1;
            continue;
        }
        std::printf("%-8s pass for a full dirty page: %.1f us = %.1f x the page copy\n", driver, pass, pass / bound);
    }
    return status;
}
