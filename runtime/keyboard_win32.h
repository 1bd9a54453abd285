// The Windows keyboard as the key translation sees it: the system layout's
// unshifted characters and the modifier bits of a key's control state.
#pragma once

#include <cstdint>

namespace lichtbox::win32 {

// Makes the key translation ask the system layout (MapVirtualKeyA) which
// character a virtual key produces. Idempotent.
void use_system_keyboard_layout();

// Modifier bits of the key translation from a console key record's
// control-key state (shift, left/right ctrl and alt, extended key).
int32_t console_modifiers(uint32_t control_key_state);

// The key code of a console key-down record: its character (code page 437),
// scancode, virtual key and control-key state through the window's key
// translation; -1 when the key has no code (a lone modifier key, say).
int32_t console_key_code(uint8_t character, uint16_t scancode, uint16_t vk, uint32_t control_key_state);

}  // namespace lichtbox::win32
