// The state of the graphics window that the window-based drivers share:
// the flags a driver's init receives, the window record and the mouse
// state. Platform-neutral; every window binding fills the same record.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace gfx::window {

// Bits of the flags a driver's init receives.
constexpr uint32_t kFullscreen = 0x01;
constexpr uint32_t kOpenGL = 0x02;
constexpr uint32_t kNoSwitch = 0x04;
constexpr uint32_t kNoFrame = 0x08;
constexpr uint32_t kShaped = 0x10;
constexpr uint32_t kAlwaysOnTop = 0x20;
constexpr uint32_t kWantStencil = 0x10000;
constexpr uint32_t kWantAccum = 0x20000;
constexpr uint32_t kWantMultisample = 0x40000;

// Bits of MouseState::buttons (and the button field of button events).
constexpr int32_t kButtonLeft = 1;
constexpr int32_t kButtonRight = 2;
constexpr int32_t kButtonMiddle = 4;
constexpr int32_t kButtonExtra1 = 8;
constexpr int32_t kButtonExtra2 = 16;

// Virtual keys the window logic itself looks at.
constexpr int32_t kVkReturn = 0x0D;
constexpr int32_t kVkMenu = 0x12;  // either alt key
constexpr int32_t kVkF10 = 0x79;

// The window class name of a window titled `title`: "zrgfxclass_" and the
// title, cut to the longest name the window systems take.
inline std::string window_class_name(const std::string& title) {
    constexpr std::size_t kLongest = 139;
    std::string name = "zrgfxclass_" + title;
    if (name.size() > kLongest) name.resize(kLongest);
    return name;
}

// The depth a display mode may have in place of `depth` (the same pixels in
// another layout): 15 and 16, 24 and 32; any other depth is its own.
constexpr int32_t partner_depth(int32_t depth) {
    return depth == 15 ? 16 : depth == 16 ? 15 : depth == 24 ? 32 : depth == 32 ? 24 : depth;
}

struct MouseState {
    int32_t buttons = 0;
    // Buttons pressed since get_mouse last reported them: a click shorter
    // than the program's polling is still seen (once).
    int32_t pressed = 0;
    int32_t wheel = 0;   // +1 per notch up, -1 per notch down
    int32_t hwheel = 0;  // +1 per notch right, -1 per notch left
    int32_t x = 0;       // client position of the last move
    int32_t y = 0;
    bool in_client = false;  // the cursor was inside at the last native event
    bool has_last_screen = false;
    int32_t last_screen_x = 0;  // screen position at the last move
    int32_t last_screen_y = 0;
    bool inside = false;  // enter posted and leave tracking armed
    bool cursor_visible = true;
};

struct WindowState {
    int32_t w = 0;  // page width
    int32_t h = 0;  // page height times the scanline size
    int32_t depth = 8;
    int32_t refresh_rate = 0;  // requested, 0 for the default
    uint32_t flags = 0;
    std::string title;
    bool active = false;  // the active window and not minimised
    bool mouse_clip = false;
    bool palette_changed = false;
    // Entry i: red | green << 8 | blue << 16, as set_palette stored it.
    std::array<uint32_t, 256> palette_entries{};
    MouseState mouse;
};

}  // namespace gfx::window
