// The keyboard layout a platform binding provides to the key translation:
// which character a virtual key produces without any modifier.
//
// A Win32 binding answers with MapVirtualKeyA(vk, 2) (letters come back in
// upper case, dead keys with the top bit set); an X11 binding with the
// keysym at shift level 0. Until a binding installs one, no key has a
// character.
#pragma once

#include <cstdint>

namespace gfx {

class KeyboardLayout {
public:
    virtual ~KeyboardLayout() = default;
    // The unshifted character of virtual key vk; 0 when the key produces
    // none, negative for a dead key.
    virtual int32_t unshifted_char(int32_t vk) const = 0;
};

// Installs the layout the translation asks from now on; null restores the
// empty default. The layout must outlive its installation. Safe to call
// while another thread translates keys.
void set_keyboard_layout(const KeyboardLayout* layout);

// The layout in use (never null).
const KeyboardLayout& keyboard_layout();

}  // namespace gfx
