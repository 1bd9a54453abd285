// The window-event core: native window events, already translated by a
// binding into the calls below, become the runtime's input state (mouse
// state, key states, key queue, event queue) and window state changes
// (activation, capture, confinement, full-screen toggle).
//
// Platform-neutral: the X11 and Win32 bindings drive the same core. Every
// call runs on the thread that owns the window, with the window lock held
// where the driver has one.
#pragma once

#include <bitset>
#include <cstdint>

#include "gfx/drivers/window/window_platform.h"
#include "gfx/drivers/window/window_state.h"
#include "gfx/gfx.h"

namespace gfx::window {

// One key message.
struct KeyInput {
    bool down = true;
    bool previously_down = false;  // a key-down that is an auto-repeat
    bool system = false;           // a key-down taken as a menu key (Alt held, or F10)
    bool alt = false;              // Alt was held (the Alt+Enter test)
    int32_t vk = 0;                // virtual key
    int32_t scancode = 0;          // PC scancode
    int32_t character = 0;         // code page 437 byte the key produced, 0 for none
    int32_t modifiers = 0;         // kMod* bits of runtime/keys.h, kModExtended included
    int32_t repeat_count = 1;
};

enum class ButtonAction { down, up, double_click };

class EventCore {
public:
    EventCore(WindowState& state, WindowPlatform& platform) : st_(state), platform_(platform) {}

    // The binding tells before each event whether the cursor is inside the
    // client area.
    void set_in_client(bool inside) { st_.mouse.in_client = inside; }

    // Key path. Returns false when the native system must not handle the
    // key itself (Alt, F10, the close code, the full-screen toggle).
    bool key(const KeyInput& k);
    // A character message: the byte goes into the key queue repeat times.
    void character(int32_t cp437, int32_t repeat_count = 1);
    // The cursor moved to client (x, y), screen (screen_x, screen_y).
    void mouse_move(int32_t x, int32_t y, int32_t screen_x, int32_t screen_y);
    // The cursor came in without moving (emulated enter message).
    void enter();
    // The cursor left the client area.
    void leave();
    // bit: one of kButton*.
    void button(int32_t bit, ButtonAction action);
    // delta > 0: one notch up (right); otherwise one notch down (left).
    void wheel(int32_t delta);
    void hwheel(int32_t delta);
    // Activation changed: activated = the window became the active window;
    // minimized = it is minimised (hidden).
    void activate(bool activated, bool minimized);
    // The window was maximised: taken as the full-screen toggle.
    void maximize();
    // The close button.
    void close();
    // Part of the window needs drawing again.
    void expose();
    // The display's mode changed: redraw and show every row again.
    void display_changed();

    // Key-state table from the keyboard snapshot (only while active).
    void refresh_key_states(const std::bitset<256>& vk_down);

    // Shared driver operations.
    // The buttons held, and those pressed since the last call: a press
    // released before the program looked is reported once.
    int32_t get_mouse(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons, int32_t* clip);
    void set_mouse(int32_t x, int32_t y, int32_t cursor, int32_t clip);
    int32_t set_position(int32_t x, int32_t y);

    // Calls the driver's set_palette for all 256 entries of the context's
    // device palette.
    static void palette_replay();
    // Marks every row of the open screen for showing.
    static void mark_all_rows();

private:
    void toggle_fullscreen();
    // Turns the prepared event into mouse_enter when the cursor was not yet
    // inside (and the window is active).
    void enter_check(GfxEvent& ev);
    static void post(const GfxEvent& ev);

    WindowState& st_;
    WindowPlatform& platform_;
};

}  // namespace gfx::window
