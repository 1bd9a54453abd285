// The "X11" display driver: the X11 window in the shared driver loop. A
// pass applies requests and palette changes, shows the band of changed rows
// and clears their flags, refreshes the key states and handles the
// window's events; events that arrive between passes are handled at once.
// The screen's set-up returns once the display is open; the window is made
// and mapped while the program draws its first picture, and nothing is put
// into it before it is mapped.
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <future>
#include <optional>

#include "gfx/core/context_internal.h"
#include "gfx/drivers/window/dirty_rows.h"
#include "gfx/drivers/window/driver_loop.h"
#include "gfx/drivers/window/window_host.h"
#include "gfx/drivers/x11/x11_drivers.h"
#include "gfx/drivers/x11/x11_libs.h"
#include "gfx/drivers/x11/x11_presenter.h"
#include "gfx/drivers/x11/x11_window.h"

namespace gfx::x11 {
namespace {

using window::Clock;
// The start is over when the mapped window's picture has not changed for
// this long, or at the latest after kLongestStart.
constexpr auto kSettleTime = std::chrono::milliseconds(50);
constexpr auto kLongestStart = std::chrono::seconds(1);

std::atomic<bool> g_shm_allowed{true};
std::atomic<bool> g_server_scaling_allowed{true};
std::atomic<bool> g_shm_in_use{false};
std::atomic<unsigned long> g_window{0};

// The X11 window in the driver loop.
class X11Binding final : public window::DriverBinding {
public:
    explicit X11Binding(window::WindowState& state) : st_(state) {}

    bool open() override {
        // The set-up waits only until the display is open and can show the
        // page: the window is created and mapped while the program draws
        // its first picture. Until it exists, requests from the program's
        // thread (title, cursor, position) wait in the window's mailbox.
        win_ = X11Window::connect(st_);
        if (!win_) return false;
        presenter_.emplace(*win_, (st_.flags & window::kShaped) != 0, g_server_scaling_allowed.load());
        return presenter_->choose_format();
    }
    window::WindowPlatform& platform() override { return *win_; }

    void start() override {
        shows_before_ = window::loop_stats().shows;
        win_->create();
        window::WindowHost& host = window::WindowHost::instance();
        host.lock();  // opening marks every row for showing
        presenter_->open();
        host.unlock();
        // Set up while the window manager maps the window, MIT-SHM spares
        // the server the copy through the socket from the first picture on.
        if (g_shm_allowed.load()) presenter_->start_shared_memory();
        g_shm_in_use = presenter_->uses_shm();
        Presenter& presenter = *presenter_;
        win_->set_hooks({[&presenter] { presenter.paint(); },
                         [&presenter](int32_t w, int32_t h) { presenter.resize(w, h); },
                         [&presenter](const XEvent& ev) { return presenter.handle_event(ev); }});
        g_window = win_->handle();
        start_ = Clock::now();
    }

    void before_pass() override {
        if (!setup_finished_) finish_setup_when_settled();
        // The server's completion of the previous put is awaited outside
        // the lock: the program keeps drawing meanwhile.
        presenter_->finish();
        // Key states are asked of the server (after key or focus events
        // only) before the lock is taken: the program draws meanwhile.
        win_->collect();
        keys_ = win_->keys_down();
    }

    bool show() override {
        win_->apply_requests();
        if (st_.palette_changed) {
            // True-colour windows show palette pages through the converter,
            // which reads the palette: every row is shown again.
            st_.palette_changed = false;
            window::EventCore::mark_all_rows();
        }
        bool shown = false;
        // An unmapped window keeps nothing put into it: its rows stay
        // marked until it is mapped (at the start, or when restored).
        if (win_->mapped()) {
            shown = presenter_->show_changed();
            window::clear_dirty_rows();
        }
        if (st_.active) window::WindowHost::instance().core().refresh_key_states(keys_);
        return shown;
    }

    void handle_input() override { win_->dispatch(); }
    void take_input() override { win_->collect(); }

    Woken wait(int32_t timeout_ms, const window::WakeSignal& wake) override {
        switch (win_->wait(int(timeout_ms), wake.read_end())) {
            case X11Window::Woken::events: return Woken::input;
            case X11Window::Woken::wake_fd: return Woken::wake;
            case X11Window::Woken::timeout: break;
        }
        return Woken::timeout;
    }

    // Mapped or exposed: the picture goes out now.
    bool pass_wanted() override { return win_->take_show_request(); }
    bool ended() const override { return win_->lost(); }

    void stop() override {
        if (win_->lost()) window::WindowHost::instance().await_end_after_loss();
        if (presenter_) presenter_->finish();
    }
    void close() override {
        g_shm_in_use = false;
        g_window = 0;
        presenter_.reset();
        win_.reset();
    }

private:
    // Once the window shows the program's first pictures and they have
    // stopped changing: what the start need not wait for.
    void finish_setup_when_settled() {
        const window::LoopStats stats = window::loop_stats();
        const auto now = Clock::now();
        const auto last_show = Clock::time_point(Clock::duration(stats.last_show_ns));
        if (stats.shows == shows_before_ ||
            !((win_->mapped() && now - last_show >= kSettleTime) || now - start_ >= kLongestStart))
            return;
        setup_finished_ = true;
        win_->finish_setup();
        Display* d = win_->display();
        const int rate = win_->connection_alive() ? refresh_rate(d, DefaultRootWindow(d)) : 0;
        window::WindowHost& host = window::WindowHost::instance();
        host.lock();
        if (GfxContext* ctx = gfx_context()) ctx->refresh_rate = rate;
        host.unlock();
    }

    window::WindowState& st_;
    std::unique_ptr<X11Window> win_;
    std::optional<Presenter> presenter_;
    std::bitset<256> keys_;
    uint64_t shows_before_ = 0;
    Clock::time_point start_{};
    bool setup_finished_ = false;
};

void driver_thread(std::promise<bool>& started) {
    // A write to a server that has gone raises SIGPIPE, which would end the
    // process without a word. Blocked on this thread, the write fails and
    // Xlib reports the lost connection instead.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    X11Binding binding(window::WindowHost::instance().state());
    window::run_driver(started, binding);
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
    const window::LoopStats loop = window::loop_stats();
    return {loop.passes, loop.shows, loop.last_show_ns, g_shm_in_use.load(), g_window.load()};
}

void set_shared_memory_allowed(bool allowed) { g_shm_allowed = allowed; }

void set_server_scaling_allowed(bool allowed) { g_server_scaling_allowed = allowed; }

}  // namespace gfx::x11
