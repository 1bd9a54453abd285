// The graphics window's process-wide host: the window state, the driver
// thread with its start handshake, the window lock, and the driver-table
// operations every window-based driver shares (exit, lock, unlock,
// set_palette, wait_vsync, get_mouse, set_mouse, set_window_title,
// set_window_pos). Platform-neutral.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "gfx/drivers/window/event_core.h"
#include "gfx/drivers/window/window_platform.h"
#include "gfx/drivers/window/window_state.h"

namespace gfx::window {

class WindowHost {
public:
    // The driver thread's body: it opens the window, fulfils `started` with
    // true (or false before it ends), and loops while running().
    using ThreadBody = std::function<void(std::promise<bool>& started)>;

    static WindowHost& instance();
    // Xlib may end the process on the driver thread while it opens the
    // window: the thread is left to the process's end then.
    ~WindowHost() {
        if (thread_.joinable()) thread_.detach();
    }

    // Clears the state and stores what the driver's init received.
    void reset(const char* title, int32_t w, int32_t h, int32_t depth, int32_t refresh, uint32_t flags);
    // Starts the driver thread and waits for its verdict: 0 when the window
    // is open, -1 when the thread ended. Without a body (OpenGL screens,
    // the browser) no thread is started and 0 is returned.
    int32_t start(ThreadBody body);
    bool running() const { return running_.load(std::memory_order_acquire); }

    WindowState& state() { return state_; }
    // The binding announces its window (null when it is gone).
    void attach(WindowPlatform* platform);
    WindowPlatform* platform() const { return platform_; }
    // The event core over the attached window; callers check platform().
    EventCore core() { return EventCore(state_, *platform_); }

    void lock() { lock_.lock(); }
    void unlock() { lock_.unlock(); }

    // Stops the driver thread (waiting for it) and forgets the window.
    void exit();

    // The connection to the window system broke (called on the thread that
    // found it). The process is to end with `status`: the program's thread
    // does it at its next lock, so the exit handlers run where they may
    // close the screen and stop the driver thread.
    void lose_connection(int32_t status);
    bool connection_lost() const { return lost_status_.load(std::memory_order_acquire) >= 0; }
    // On the program's thread: stops the driver thread and ends the
    // process (once) after a loss.
    void end_if_connection_lost();
    // On the driver thread after a loss, outside the lock: waits until the
    // exit handlers stop it; a program thread that does not lock within
    // the grace time (busy, or holding the lock) is not waited for, the
    // process ends at once.
    void await_end_after_loss();

private:
    WindowState state_;
    WindowPlatform* platform_ = nullptr;
    std::mutex lock_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<int32_t> lost_status_{-1};
    std::atomic<bool> ending_{false};
    bool set_up_ = false;
};

// Driver-table operations shared by the window-based drivers.
void shared_exit();
void shared_lock();
void shared_unlock();
void shared_set_palette(int32_t index, int32_t r, int32_t g, int32_t b);
void shared_wait_vsync();
int32_t shared_get_mouse(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons, int32_t* clip);
int32_t shared_set_mouse(int32_t x, int32_t y, int32_t cursor, int32_t clip);
void shared_set_title(const char* title);
int32_t shared_set_pos(int32_t x, int32_t y);

}  // namespace gfx::window
