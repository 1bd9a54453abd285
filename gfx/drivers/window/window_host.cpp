// The window host: driver thread lifecycle, window lock and the shared
// driver-table operations.
#include "gfx/drivers/window/window_host.h"

#include <chrono>
#include <cstdlib>

#include "gfx/gfx.h"

namespace gfx::window {

WindowHost& WindowHost::instance() {
    static WindowHost host;
    return host;
}

void WindowHost::reset(const char* title, int32_t w, int32_t h, int32_t depth, int32_t refresh, uint32_t flags) {
    state_ = WindowState{};
    state_.title = title ? title : "";
    state_.w = w;
    state_.h = h;
    state_.depth = depth;
    state_.refresh_rate = refresh;
    state_.flags = flags;
    lost_status_.store(-1, std::memory_order_release);  // a new connection
}

int32_t WindowHost::start(ThreadBody body) {
    state_.mouse.cursor_visible = true;
    state_.mouse.has_last_screen = false;
    state_.mouse_clip = false;
    state_.mouse.wheel = 0;
    state_.mouse.buttons = 0;
    state_.mouse.pressed = 0;
    running_.store(true, std::memory_order_release);
    set_up_ = true;
    if (!body) return 0;  // the window lives on the program's thread

    // The promise lives on the driver thread, which may still be inside
    // set_value when the verdict arrives here.
    std::promise<bool> started;
    std::future<bool> verdict = started.get_future();
    thread_ = std::thread([body = std::move(body), started = std::move(started)]() mutable { body(started); });
    if (!verdict.get()) {
        thread_.join();
        running_.store(false, std::memory_order_release);
        return -1;
    }
    return 0;
}

void WindowHost::attach(WindowPlatform* platform) {
    std::lock_guard<std::mutex> guard(lock_);
    platform_ = platform;
}

void WindowHost::exit() {
    if (!set_up_) return;
    running_.store(false, std::memory_order_release);
    if (GfxContext* ctx = gfx_context(); ctx && (ctx->flags & GFX_LOCK_HELD)) {
        if (thread_.joinable()) unlock();
        ctx->flags &= ~(GFX_LOCK_HELD | GFX_LOCK_AUTO);
    }
    if (thread_.joinable()) thread_.join();
    platform_ = nullptr;
    set_up_ = false;
}

void WindowHost::lose_connection(int32_t status) {
    int32_t none = -1;
    lost_status_.compare_exchange_strong(none, status < 0 ? 1 : status, std::memory_order_acq_rel);
}

void WindowHost::end_if_connection_lost() {
    if (!connection_lost() || ending_.exchange(true)) return;
    // The driver thread is stopped first: during a screen's set-up the
    // exit handlers that would stop it are not in place yet.
    exit();
    rt_end(lost_status_.load(std::memory_order_acquire));
}

void WindowHost::await_end_after_loss() {
    // A program thread in its main loop locks every few milliseconds.
    constexpr auto kGrace = std::chrono::milliseconds(500);
    constexpr auto kStep = std::chrono::milliseconds(10);
    const auto deadline = std::chrono::steady_clock::now() + kGrace;
    while (running() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(kStep);
    // Without the exit handlers: they would wait for this very thread.
    if (running() && !ending_.exchange(true)) std::_Exit(lost_status_.load(std::memory_order_acquire));
}

void shared_exit() { WindowHost::instance().exit(); }

void shared_lock() {
    WindowHost& host = WindowHost::instance();
    host.end_if_connection_lost();
    host.lock();
}

void shared_unlock() { WindowHost::instance().unlock(); }

void shared_set_palette(int32_t index, int32_t r, int32_t g, int32_t b) {
    WindowState& st = WindowHost::instance().state();
    st.palette_entries[std::size_t(index) & 0xFF] =
        uint32_t(r & 0xFF) | (uint32_t(g & 0xFF) << 8) | (uint32_t(b & 0xFF) << 16);
    st.palette_changed = true;
}

void shared_wait_vsync() {
    // The driver thread may fill in the rate after the start.
    gfx_lock();
    const GfxContext* ctx = gfx_context();
    const int32_t rate = ctx ? ctx->refresh_rate : 0;
    gfx_unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(rate > 0 ? 1000 / rate : 16));
}

int32_t shared_get_mouse(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons, int32_t* clip) {
    WindowHost& host = WindowHost::instance();
    if (!host.platform()) return -1;
    return host.core().get_mouse(x, y, wheel, buttons, clip);
}

int32_t shared_set_mouse(int32_t x, int32_t y, int32_t cursor, int32_t clip) {
    WindowHost& host = WindowHost::instance();
    if (!host.platform()) return -1;
    host.core().set_mouse(x, y, cursor, clip);
    return 0;
}

void shared_set_title(const char* title) {
    WindowHost& host = WindowHost::instance();
    if (!host.platform() || !title) return;
    host.platform()->set_title(title);
}

int32_t shared_set_pos(int32_t x, int32_t y) {
    WindowHost& host = WindowHost::instance();
    if (!host.platform()) return 0;
    gfx_lock();
    const int32_t previous = host.core().set_position(x, y);
    gfx_unlock();
    return previous;
}

}  // namespace gfx::window
