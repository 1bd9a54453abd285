// What the window logic needs of a window system. A binding (X11, Win32)
// implements these on the thread that owns its window; the event core calls
// them while it turns native events into input state and events.
#pragma once

#include <cstdint>

namespace gfx::window {

class WindowPlatform {
public:
    virtual ~WindowPlatform() = default;

    // Mouse capture: button events keep coming while the cursor is outside.
    // By default only remembered, for window systems that keep sending a
    // held button's events to the window anyway.
    virtual void capture_mouse() { captured_ = true; }
    virtual void release_mouse() { captured_ = false; }
    virtual bool has_capture() const { return captured_; }
    // Asks to be told (through EventCore::leave) when the cursor leaves; by
    // default nothing, for window systems that always report it.
    virtual void track_leave() {}
    // Confines the cursor to the client area, or releases it.
    virtual void confine_cursor(bool on) = 0;
    // Shows or hides the cursor over the client area.
    virtual void show_cursor(bool visible) = 0;
    // Moves the cursor to client position (x, y) in page pixels.
    virtual void move_cursor(int32_t x, int32_t y) = 0;
    // Switches to full-screen (on) or windowed display; false when the new
    // mode could not be set up.
    virtual bool switch_fullscreen(bool on) = 0;
    // The window's outer top-left corner on the screen, and moving it.
    virtual void window_position(int32_t* left, int32_t* top) const = 0;
    virtual void move_window(int32_t left, int32_t top) = 0;
    virtual void set_title(const char* title) = 0;
    // Redraws the whole client area from the page or conversion buffer.
    virtual void paint() = 0;

private:
    bool captured_ = false;
};

}  // namespace gfx::window
