// Keys: key codes, modifier bits, the three read-only keyboard tables, the
// keyboard layout a platform provides, and the translation of one key
// message into a key code. Shared by the window bindings and the consoles.
//
// Key codes: 1..255 a code page 437 character; an extended key is
// (code byte << 8) | 0xFF; -1 means no code.
#pragma once

#include <array>
#include <cstdint>

namespace lichtbox {

// Modifier bits passed to gfx_key_translate.
constexpr int32_t kModRightAlt = 0x01;
constexpr int32_t kModLeftAlt = 0x02;     // or alt in general
constexpr int32_t kModRightCtrl = 0x04;
constexpr int32_t kModLeftCtrl = 0x08;    // or control in general
constexpr int32_t kModShift = 0x10;       // either shift key
constexpr int32_t kModExtended = 0x100;   // the key carries the extended-key mark
constexpr int32_t kModAlt = kModRightAlt | kModLeftAlt;
constexpr int32_t kModCtrl = kModRightCtrl | kModLeftCtrl;

// Which modifier keys are held for a key message, as a platform reads them.
struct ModifierKeys {
    bool shift = false;  // either shift key
    bool left_ctrl = false;
    bool right_ctrl = false;
    bool left_alt = false;
    bool right_alt = false;
    bool extended = false;  // the key itself carries the extended-key mark
};

// The kMod* bits of held modifier keys.
constexpr int32_t modifier_bits(const ModifierKeys& k) {
    return (k.shift ? kModShift : 0) | (k.left_ctrl ? kModLeftCtrl : 0) | (k.right_ctrl ? kModRightCtrl : 0) |
           (k.left_alt ? kModLeftAlt : 0) | (k.right_alt ? kModRightAlt : 0) | (k.extended ? kModExtended : 0);
}

// The code of the window's close button (also what Alt+F4 gives).
constexpr int32_t kKeyClose = 0x6BFF;

// One row of the scancode table: a PC scancode and the virtual key(s) that
// report it (second_vk 0 when there is only one).
struct ScancodeRow {
    uint8_t scancode;
    uint8_t vk;
    uint8_t second_vk;
};

// 86 rows followed by the terminating row with scancode 0.
constexpr int kScancodeRows = 86;
extern const std::array<ScancodeRow, kScancodeRows + 1> scancode_table;

// Columns of the key code and keypad code tables.
enum KeyColumn { kColPlain = 0, kColShift = 1, kColCtrl = 2, kColAlt = 3 };

// Codes by scancode 0..88: plain, with shift, with ctrl, with alt. Below 256
// a character; 256 and above an extended key whose high byte is its code.
constexpr int kKeyCodeRows = 89;
extern const std::array<std::array<uint16_t, 4>, kKeyCodeRows> key_code_table;

// Keys that arrive with the extended-key mark (keypad Enter and slash, the
// cursor block).
struct KeypadRow {
    uint8_t scancode;
    std::array<uint16_t, 4> codes;
};
constexpr int kKeypadRows = 12;
extern const std::array<KeypadRow, kKeypadRows> keypad_code_table;

// The keyboard layout a platform binding provides to the key translation:
// which character a virtual key produces without any modifier.
//
// A Win32 binding answers with MapVirtualKeyA(vk, 2) (letters come back in
// upper case, dead keys with the top bit set); an X11 binding with the
// keysym at shift level 0. Until a binding installs one, no key has a
// character.
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

}  // namespace lichtbox

extern "C" {

// The key code of one key message: character is the byte the layout
// produced for the key (0 when none), scancode the PC scancode, vk the
// virtual key, modifiers the kMod* bits. -1 when the key has no code.
int32_t gfx_key_translate(int32_t character, int32_t scancode, int32_t vk, int32_t modifiers);

// The scancode of the first scancode-table row holding vk as its first or
// second virtual key; 0 when no row does.
int32_t gfx_vk_to_scancode(int32_t vk);

}
