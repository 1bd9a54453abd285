// X11 key translation tables.
#include "gfx/drivers/x11/x11_keys.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <algorithm>

#include "runtime/keys.h"
#include "runtime/code_page_437.h"

namespace gfx::x11 {
namespace {

struct ExtendedKey {
    uint8_t input_code;  // Linux input code
    uint8_t scancode;
    bool extended;
};

// Input codes above 88 that have a set-1 scancode.
constexpr ExtendedKey kExtendedKeys[] = {
    {96, 0x1C, true},   // keypad Enter
    {97, 0x1D, true},   // right Ctrl
    {98, 0x35, true},   // keypad slash
    {99, 0x37, true},   // Print / SysRq
    {100, 0x38, true},  // right Alt
    {102, 0x47, true},  // Home
    {103, 0x48, true},  // Up
    {104, 0x49, true},  // Page Up
    {105, 0x4B, true},  // Left
    {106, 0x4D, true},  // Right
    {107, 0x4F, true},  // End
    {108, 0x50, true},  // Down
    {109, 0x51, true},  // Page Down
    {110, 0x52, true},  // Insert
    {111, 0x53, true},  // Delete
    {119, 0x45, false},  // Pause
    {125, 0x5B, true},  // left Super
    {126, 0x5C, true},  // right Super
    {127, 0x5D, true},  // Menu
};

struct KeysymVk {
    KeySym keysym;
    uint8_t vk;
};

constexpr KeysymVk kKeysymVks[] = {
    {XK_BackSpace, 0x08}, {XK_Tab, 0x09}, {XK_ISO_Left_Tab, 0x09}, {XK_Return, 0x0D}, {XK_KP_Enter, 0x0D},
    {XK_Pause, 0x13}, {XK_Caps_Lock, 0x14}, {XK_Escape, 0x1B}, {XK_space, 0x20},
    {XK_Prior, 0x21}, {XK_Next, 0x22}, {XK_End, 0x23}, {XK_Home, 0x24}, {XK_Left, 0x25}, {XK_Up, 0x26},
    {XK_Right, 0x27}, {XK_Down, 0x28}, {XK_Print, 0x2C}, {XK_Insert, 0x2D}, {XK_Delete, 0x2E},
    {XK_Shift_L, 0x10}, {XK_Shift_R, 0x10}, {XK_Control_L, 0x11}, {XK_Control_R, 0x11},
    {XK_Alt_L, 0x12}, {XK_Alt_R, 0x12}, {XK_Meta_L, 0x12}, {XK_Meta_R, 0x12}, {XK_ISO_Level3_Shift, 0x12},
    {XK_Super_L, 0x5B}, {XK_Super_R, 0x5C}, {XK_Menu, 0x5D}, {XK_Num_Lock, 0x90}, {XK_Scroll_Lock, 0x91},
    {XK_KP_Multiply, 0x6A}, {XK_KP_Add, 0x6B}, {XK_KP_Separator, 0x6C}, {XK_KP_Subtract, 0x6D},
    {XK_KP_Decimal, 0x6E}, {XK_KP_Divide, 0x6F}, {XK_KP_Home, 0x24}, {XK_KP_Up, 0x26}, {XK_KP_Prior, 0x21},
    {XK_KP_Left, 0x25}, {XK_KP_Begin, 0x0C}, {XK_KP_Right, 0x27}, {XK_KP_End, 0x23}, {XK_KP_Down, 0x28},
    {XK_KP_Next, 0x22}, {XK_KP_Insert, 0x2D}, {XK_KP_Delete, 0x2E},
};

// The first virtual key of the scancode table's row for a scancode.
int32_t vk_by_position(int32_t scancode) {
    for (const lichtbox::ScancodeRow& row : lichtbox::scancode_table) {
        if (row.scancode == 0) break;
        if (row.scancode == scancode) return row.vk;
    }
    return 0;
}

}  // namespace

Scancode scancode_of(unsigned keycode) {
    if (keycode < 8) return {};
    const unsigned input = keycode - 8;
    if (input >= 1 && input <= 88) return {int32_t(input), false};
    for (const ExtendedKey& k : kExtendedKeys)
        if (k.input_code == input) return {k.scancode, k.extended};
    return {};
}

int32_t vk_of(KeySym ks, Scancode sc) {
    if (ks >= XK_a && ks <= XK_z) return int32_t(ks - XK_a) + 'A';
    if (ks >= XK_A && ks <= XK_Z) return int32_t(ks - XK_A) + 'A';
    if (ks >= XK_0 && ks <= XK_9) return int32_t(ks - XK_0) + '0';
    if (ks >= XK_F1 && ks <= XK_F24) return int32_t(ks - XK_F1) + 0x70;
    if (ks >= XK_KP_0 && ks <= XK_KP_9) return int32_t(ks - XK_KP_0) + 0x60;
    for (const KeysymVk& k : kKeysymVks)
        if (k.keysym == ks) return k.vk;
    return sc.extended ? 0 : vk_by_position(sc.code);
}

int32_t keysym_to_cp437(KeySym ks) {
    char32_t u;
    if ((ks >= 0x20 && ks <= 0x7E) || (ks >= 0xA0 && ks <= 0xFF))
        u = char32_t(ks);
    else if ((ks & 0xFF000000) == 0x01000000)
        u = char32_t(ks & 0x00FFFFFF);
    else if (ks == XK_BackSpace || ks == XK_Tab || ks == XK_Return || ks == XK_Escape)
        u = char32_t(ks & 0x7F);
    else if (ks == XK_KP_Enter)
        u = U'\r';
    else if (ks >= XK_KP_Multiply && ks <= XK_KP_9)
        u = char32_t(ks - XK_KP_Multiply) + U'*';
    else
        return -1;
    return lichtbox::unicode_to_cp437(u);
}

bool keysym_types_text(KeySym ks) {
    if ((ks & 0xFFFFFF00) != 0xFF00) return true;  // not a function-key keysym
    return ks == XK_BackSpace || ks == XK_Tab || ks == XK_Linefeed || ks == XK_Return || ks == XK_Escape ||
           ks == XK_KP_Enter || ks == XK_KP_Space || ks == XK_KP_Tab || ks == XK_KP_Equal ||
           (ks >= XK_KP_Multiply && ks <= XK_KP_9);
}

void X11KeyboardLayout::load(Display* display) {
    chars_.fill(0);
    vks_.fill(0);
    int min_code = 0, max_code = 0;
    XDisplayKeycodes(display, &min_code, &max_code);
    for (int kc = min_code; kc <= max_code && kc < 256; ++kc) {
        const KeySym ks = XkbKeycodeToKeysym(display, KeyCode(kc), 0, 0);
        if (ks == NoSymbol) continue;
        const int32_t vk = vk_of(ks, scancode_of(unsigned(kc)));
        vks_[std::size_t(kc)] = vk;
        if (vk == 0 || chars_[std::size_t(vk)] != 0) continue;
        int32_t ch;
        if (ks >= XK_dead_grave && ks <= XK_dead_greek)
            ch = -1;  // a dead key
        else if (ks >= XK_a && ks <= XK_z)
            ch = int32_t(ks - XK_a) + 'A';  // letters in upper case
        else
            ch = std::max(keysym_to_cp437(ks), 0);
        chars_[std::size_t(vk)] = ch;
    }
}

}  // namespace gfx::x11
