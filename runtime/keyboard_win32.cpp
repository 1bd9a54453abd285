#include "runtime/keyboard_win32.h"

#include <windows.h>

#include "runtime/keys.h"

namespace lichtbox::win32 {
namespace {

class SystemLayout final : public KeyboardLayout {
public:
    int32_t unshifted_char(int32_t vk) const override {
        // Dead keys come back with the top bit set: negative as int32.
        return static_cast<int32_t>(MapVirtualKeyA(static_cast<UINT>(vk), MAPVK_VK_TO_CHAR));
    }
};

const SystemLayout g_layout;

}  // namespace

void use_system_keyboard_layout() { set_keyboard_layout(&g_layout); }

int32_t console_modifiers(uint32_t state) {
    ModifierKeys k;
    k.shift = (state & SHIFT_PRESSED) != 0;
    k.left_ctrl = (state & LEFT_CTRL_PRESSED) != 0;
    k.right_ctrl = (state & RIGHT_CTRL_PRESSED) != 0;
    k.left_alt = (state & LEFT_ALT_PRESSED) != 0;
    k.right_alt = (state & RIGHT_ALT_PRESSED) != 0;
    k.extended = (state & ENHANCED_KEY) != 0;
    return modifier_bits(k);
}

int32_t console_key_code(uint8_t character, uint16_t scancode, uint16_t vk, uint32_t control_key_state) {
    return gfx_key_translate(character, scancode, vk, console_modifiers(control_key_state));
}

}  // namespace lichtbox::win32
