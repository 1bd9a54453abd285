// X11 key translation: X key codes to PC scancodes, keysyms to the virtual
// keys of the key tables and to code page 437 characters, and the keyboard
// layout the key translation asks for unshifted characters.
#pragma once

#include <X11/Xlib.h>

#include <array>
#include <cstdint>

#include "runtime/keys.h"

namespace gfx::x11 {

struct Scancode {
    int32_t code = 0;       // PC set-1 scancode, 0 when the key has none
    bool extended = false;  // the key carries the extended-key mark
};

// X key codes are Linux input codes + 8; input codes 1..88 equal the set-1
// scancodes, the extended keys map to their set-1 codes with the mark.
Scancode scancode_of(unsigned keycode);

// The virtual key of a key: from its keysym for letters, digits, function,
// editing, modifier and keypad keys; by position (the scancode table) for
// punctuation and national characters. 0 when none.
int32_t vk_of(KeySym keysym, Scancode sc);

// The code page 437 character a keysym stands for, -1 when none (Latin-1
// keysyms, Unicode keysyms, and the control keys BackSpace, Tab, Return,
// Escape and the keypad's characters).
int32_t keysym_to_cp437(KeySym keysym);

// Whether the text X gives for a key press reaches the key queue: editing
// and function keys (Delete gives 0x7F on X) produce no character.
bool keysym_types_text(KeySym keysym);

// The unshifted characters of the current keyboard mapping by virtual key,
// and the virtual key of every key code.
class X11KeyboardLayout final : public lichtbox::KeyboardLayout {
public:
    // Reads the mapping of display (on the thread that owns it).
    void load(Display* display);
    int32_t unshifted_char(int32_t vk) const override { return vk >= 0 && vk < 256 ? chars_[std::size_t(vk)] : 0; }
    int32_t vk_of_keycode(unsigned keycode) const { return keycode < 256 ? vks_[keycode] : 0; }

private:
    std::array<int32_t, 256> chars_{};
    std::array<int32_t, 256> vks_{};
};

}  // namespace gfx::x11
