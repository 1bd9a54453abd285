// The Win32 binding of the graphics window: the window class, the window
// and its procedure, which turns window messages into calls of the
// window-event core, and what the core asks of the window system (capture,
// leave tracking, cursor, confinement, full-screen switch, position).
//
// The window belongs to the thread that created it (the driver thread, or
// the program's thread for OpenGL screens); its messages are handled there.
#pragma once

#include <windows.h>

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <future>
#include <string>

#include "gfx/drivers/window/event_core.h"
#include "gfx/drivers/window/window_state.h"

namespace gfx::win32 {

// A driver's window-level routines. open creates the window (through
// Win32Window::create) and the device objects for the current flags;
// close undoes open and destroys the window; paint redraws the whole client
// area from the page or the driver's conversion buffer.
struct WindowRoutines {
    std::function<bool()> open;
    std::function<void()> close;
    std::function<void()> paint;
};

class Win32Window final : public window::WindowPlatform {
public:
    static Win32Window& instance();

    // Window set-up on the program's thread: reads the system version and
    // the monitor under the cursor, registers the enter message, looks up
    // the optional functions, switches the screen saver off and registers
    // the window class for state.title. False when the class cannot be
    // registered.
    bool setup(window::WindowState& state, WindowRoutines routines, bool driver_thread);
    // Undoes setup: screen saver state back, class unregistered, cursor
    // confinement released. Does nothing unless set up.
    void teardown();

    // Creates the window with the class, title and the given style; makes it
    // topmost for kAlwaysOnTop and brings it to the foreground.
    bool create(DWORD style, DWORD ex_style, int x, int y, int width, int height);
    void destroy();
    // Another window of the class (a probe window, say), not the graphics
    // window; null on failure.
    HWND create_other(const char* title, DWORD style, int x, int y, int width, int height) const;
    HWND handle() const { return hwnd_; }

    // The window-level routines of the driver.
    bool open() { return routines_.open && routines_.open(); }
    void close() {
        if (routines_.close) routines_.close();
    }

    // (major << 8) | minor of the running system.
    int32_t os_version() const { return os_version_; }
    // The monitor the window or full-screen mode belongs to; null when unknown.
    HMONITOR monitor() const { return monitor_; }

    // Handles every message waiting for the window.
    void pump();
    // The virtual keys held down now.
    std::bitset<256> keys_down() const;
    // The key-state table from the keyboard state (only while active).
    void refresh_key_states() { core().refresh_key_states(keys_down()); }

    // The outer size for a client area of w x h with style (no menu).
    static SIZE outer_size(DWORD style, int32_t w, int32_t h);

    // WindowPlatform.
    void capture_mouse() override;
    void release_mouse() override;
    bool has_capture() const override;
    void track_leave() override;
    void confine_cursor(bool on) override;
    void show_cursor(bool visible) override;
    void move_cursor(int32_t x, int32_t y) override;
    bool switch_fullscreen(bool on) override;
    void window_position(int32_t* left, int32_t* top) const override;
    void move_window(int32_t left, int32_t top) override;
    void set_title(const char* title) override;
    void paint() override;

private:
    Win32Window() = default;
    static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
    LRESULT handle(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
    bool key_message(UINT msg, WPARAM wparam, LPARAM lparam);
    void activation(HWND hwnd, WPARAM wparam);
    void leave_timer(HWND hwnd);
    window::EventCore core() { return window::EventCore(*state_, *this); }

    window::WindowState* state_ = nullptr;
    WindowRoutines routines_;
    bool set_up_ = false;
    bool driver_thread_ = false;
    HWND hwnd_ = nullptr;
    HINSTANCE instance_ = nullptr;
    HMONITOR monitor_ = nullptr;
    int32_t os_version_ = 0;
    UINT enter_message_ = 0;
    BOOL saved_screen_saver_ = FALSE;
    std::string class_name_;
};

}  // namespace gfx::win32

namespace gfx::win32 {

// Counters of the window-based drivers' thread, for tests and benchmarks.
struct DriverStats {
    uint64_t passes;   // passes run since the process started
    uint64_t shows;    // passes that put changed rows on the screen
    int64_t show_ns;   // time those passes spent showing rows, in all
    HWND window;       // the open window, null when none
};
DriverStats driver_stats();

// The body of a window-based driver's thread: opens the window through the
// driver's routines (closing what was opened and reporting false on
// failure), then runs a pass every 10 ms until the host stops: with the
// window lock held, `show` puts changed rows on the screen (true when there
// were any) and refreshes the key states, then the window's messages are
// handled; messages arriving between passes are handled at once. Closes
// the window at the end.
void run_window_thread(std::promise<bool>& started, const std::function<bool()>& show);

// The window state's 256 palette entries as the system's records (flag
// PC_NOCOLLAPSE).
std::array<PALETTEENTRY, 256> system_palette(const window::WindowState& st);

// A window-based driver's init: clears the window state, refuses OpenGL
// screens, sets the window up with the driver's routines and starts the
// driver thread with body. 0 once the window is open, -1 otherwise.
int32_t start_window_driver(const char* title, int32_t w, int32_t h, int32_t depth, int32_t refresh, int32_t flags,
                            WindowRoutines routines, std::function<void(std::promise<bool>&)> body);
// Their exit slot: stops the driver thread (which closes the window) and
// undoes the window set-up.
void window_driver_exit();

}  // namespace gfx::win32
