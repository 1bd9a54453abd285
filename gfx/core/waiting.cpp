// How the program's thread waits and polls: the thread's own sleep, or the
// hook of a display binding that has no thread of its own and must be
// given the chance to show pictures and take input (the browser's).
#include <atomic>
#include <chrono>
#include <thread>

#include "gfx/core/context_internal.h"

namespace gfx {
namespace {

std::atomic<WaitHook> g_wait_hook{nullptr};

}  // namespace

void set_wait_hook(WaitHook hook) { g_wait_hook.store(hook, std::memory_order_release); }

void wait_for(int32_t ms) {
    if (WaitHook hook = g_wait_hook.load(std::memory_order_acquire)) {
        hook(ms);
        return;
    }
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void poll_point() {
    if (WaitHook hook = g_wait_hook.load(std::memory_order_acquire)) hook(0);
}

}  // namespace gfx
