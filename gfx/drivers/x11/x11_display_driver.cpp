// The "X11" display driver: a driver thread owns the window and, every
// 10 ms, applies palette changes, shows the band of changed rows, clears
// their flags, refreshes the key states and handles the window's events,
// all under the window lock. Events that arrive between passes are handled
// at once, so a key press reaches the key queue without waiting for the
// next pass. The screen's set-up returns once the display is open; the
// window is made and mapped while the program draws its first picture, and
// nothing is put into it before it is mapped.
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <future>

#include "gfx/core/context_internal.h"
#include "gfx/drivers/window/window_host.h"
#include "gfx/drivers/x11/x11_drivers.h"
#include "gfx/drivers/x11/x11_libs.h"
#include "gfx/drivers/x11/x11_presenter.h"
#include "gfx/drivers/x11/wake_pipe.h"
#include "gfx/drivers/x11/x11_window.h"

namespace gfx::x11 {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPassInterval = std::chrono::milliseconds(10);
// A new picture starts a pass at once, but passes stay this far apart, so a
// program that copies pages in a tight loop cannot keep the lock busy.
constexpr auto kMinPassGap = std::chrono::milliseconds(2);
// The start is over when the mapped window's picture has not changed for
// this long, or at the latest after kLongestStart.
constexpr auto kSettleTime = std::chrono::milliseconds(50);
constexpr auto kLongestStart = std::chrono::seconds(1);

// Lives for the whole process: the program's thread may still be inside the
// present hook while a driver thread ends.
WakePipe& wake_pipe() {
    static WakePipe pipe;
    return pipe;
}
void wake_driver_thread() { wake_pipe().wake(); }

std::atomic<uint64_t> g_passes{0};
std::atomic<uint64_t> g_shows{0};
std::atomic<int64_t> g_last_show_ns{0};
std::atomic<bool> g_shm_allowed{true};
std::atomic<bool> g_server_scaling_allowed{true};
std::atomic<bool> g_shm_in_use{false};
std::atomic<unsigned long> g_window{0};

void clear_dirty() {
    GfxContext* ctx = gfx_context();
    if (ctx && ctx->dirty) std::memset(ctx->dirty, 0, std::size_t(ctx->h) * std::size_t(ctx->scanline_size));
}

void driver_thread(std::promise<bool>& started) {
    // A write to a server that has gone raises SIGPIPE, which would end the
    // process without a word. Blocked on this thread, the write fails and
    // Xlib reports the lost connection instead.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    window::WindowHost& host = window::WindowHost::instance();
    window::WindowState& st = host.state();
    // The set-up waits only until the display is open and can show the
    // page: the window is created and mapped while the program draws its
    // first picture. Until it exists, requests from the program's thread
    // (title, cursor, position) wait in the window's mailbox.
    std::unique_ptr<X11Window> win = X11Window::connect(st);
    if (!win) {
        started.set_value(false);
        return;
    }
    Presenter presenter(*win, (st.flags & window::kShaped) != 0, g_server_scaling_allowed.load());
    if (!presenter.choose_format()) {
        started.set_value(false);
        return;
    }
    host.attach(win.get());
    st.active = true;
    const uint64_t shows_before = g_shows.load(std::memory_order_relaxed);
    WakePipe& wake = wake_pipe();
    wake.drain();
    set_present_hook(wake_driver_thread);
    started.set_value(true);

    win->create();
    host.lock();  // opening marks every row for showing
    presenter.open();
    host.unlock();
    // Set up while the window manager maps the window, MIT-SHM spares the
    // server the copy through the socket from the first picture on.
    if (g_shm_allowed.load()) presenter.start_shared_memory();
    g_shm_in_use = presenter.uses_shm();
    win->set_hooks({[&] { presenter.paint(); }, [&](int32_t w, int32_t h) { presenter.resize(w, h); },
                    [&](const XEvent& ev) { return presenter.handle_event(ev); }});
    g_window = win->handle();
    const auto start = Clock::now();
    auto last_show = start;

    bool setup_finished = false;
    while (host.running() && !win->lost()) {
        const auto now = Clock::now();
        if (!setup_finished && g_shows.load(std::memory_order_relaxed) > shows_before &&
            ((win->mapped() && now - last_show >= kSettleTime) || now - start >= kLongestStart)) {
            // The window shows the program's first pictures, and they have
            // stopped changing: now what the start need not wait for.
            setup_finished = true;
            win->finish_setup();
            Display* d = win->display();
            const int rate = win->connection_alive() ? refresh_rate(d, DefaultRootWindow(d)) : 0;
            host.lock();
            if (GfxContext* ctx = gfx_context()) ctx->refresh_rate = rate;
            host.unlock();
        }
        // The server's completion of the previous put is awaited outside the
        // lock: the program keeps drawing meanwhile.
        presenter.finish();
        // Key states are asked of the server (after key or focus events
        // only) before the lock is taken: the program draws meanwhile.
        win->collect();
        const std::bitset<256> keys = win->keys_down();
        host.lock();
        win->apply_requests();
        if (st.palette_changed) {
            // True-colour windows show palette pages through the converter,
            // which reads the palette: every row is shown again.
            st.palette_changed = false;
            window::EventCore::mark_all_rows();
        }
        // An unmapped window keeps nothing put into it: its rows stay
        // marked until it is mapped (at the start, or when restored).
        if (win->mapped()) {
            if (presenter.show_changed()) {
                last_show = Clock::now();
                g_shows.fetch_add(1, std::memory_order_relaxed);
                g_last_show_ns.store(last_show.time_since_epoch().count(), std::memory_order_release);
            }
            clear_dirty();
        }
        if (st.active) host.core().refresh_key_states(keys);
        win->dispatch();
        host.unlock();
        g_passes.fetch_add(1, std::memory_order_release);

        // Until the next pass, events are handled as they arrive; a new
        // picture on the visible page brings the next pass forward.
        const auto pass_end = Clock::now();
        auto next = pass_end + (win->take_show_request() ? kMinPassGap : kPassInterval);
        while (host.running() && !win->lost()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
            if (left <= 0) break;
            switch (win->wait(int(left), wake.read_end())) {
                case X11Window::Woken::events:
                    win->collect();
                    host.lock();
                    win->dispatch();
                    host.unlock();
                    // Mapped or exposed: the picture goes out now.
                    if (win->take_show_request()) next = std::min(next, pass_end + kMinPassGap);
                    break;
                case X11Window::Woken::wake_fd:
                    wake.drain();
                    next = std::min(next, pass_end + kMinPassGap);
                    break;
                case X11Window::Woken::timeout:
                    break;
            }
        }
    }
    set_present_hook(nullptr);
    if (win->lost()) host.await_end_after_loss();
    presenter.finish();
    host.attach(nullptr);
    g_shm_in_use = false;
    g_window = 0;
}

int32_t x11_init(const char* title, int32_t w, int32_t h, int32_t depth, int32_t refresh, int32_t flags) {
    window::WindowHost& host = window::WindowHost::instance();
    host.reset(title, w, h, depth < 8 ? 8 : depth, refresh, uint32_t(flags));
    if (flags & window::kOpenGL) return -1;
    init_xlib_threads();
    return host.start(driver_thread);
}

int32_t* x11_fetch_modes(int32_t depth, int32_t* count) { return fetch_modes(depth, count, true); }

}  // namespace

const GfxDriver display_driver = {
    "X11",
    x11_init,
    window::shared_exit,
    window::shared_lock,
    window::shared_unlock,
    window::shared_set_palette,
    window::shared_wait_vsync,
    window::shared_get_mouse,
    window::shared_set_mouse,
    window::shared_set_title,
    window::shared_set_pos,
    x11_fetch_modes,
    nullptr,
    nullptr,
};

DriverStats driver_stats() {
    return {g_passes.load(std::memory_order_acquire), g_shows.load(std::memory_order_relaxed),
            g_last_show_ns.load(std::memory_order_acquire), g_shm_in_use.load(), g_window.load()};
}

void set_shared_memory_allowed(bool allowed) { g_shm_allowed = allowed; }

void set_server_scaling_allowed(bool allowed) { g_server_scaling_allowed = allowed; }

}  // namespace gfx::x11
