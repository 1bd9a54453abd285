// Console key records become the same key codes as the graphics window's
// key messages.
#include <gtest/gtest.h>
#include <windows.h>

#include "runtime/keyboard_win32.h"

namespace {

struct ConsoleKey {
    const char* name;
    uint8_t character;
    uint16_t scancode;
    uint16_t vk;
    uint32_t state;
    int32_t code;
};

TEST(ConsoleKeys, TranslateLikeTheWindow) {
    lichtbox::win32::use_system_keyboard_layout();
    const ConsoleKey keys[] = {
        {"a", 'a', 0x1E, 'A', 0, 'a'},
        {"Enter", 13, 0x1C, VK_RETURN, 0, 13},
        {"Ctrl+A", 1, 0x1E, 'A', LEFT_CTRL_PRESSED, 1},
        {"Alt+A", 'a', 0x1E, 'A', LEFT_ALT_PRESSED, 0x1EFF},
        {"F1", 0, 0x3B, VK_F1, 0, 0x3BFF},
        {"Shift+F1", 0, 0x3B, VK_F1, SHIFT_PRESSED, 0x54FF},
        {"Ctrl+F1", 0, 0x3B, VK_F1, RIGHT_CTRL_PRESSED, 0x5EFF},
        {"Alt+F4", 0, 0x3E, VK_F4, RIGHT_ALT_PRESSED, 0x6BFF},
        {"cursor up", 0, 0x48, VK_UP, ENHANCED_KEY, 0x48FF},
        {"Ctrl+cursor up", 0, 0x48, VK_UP, ENHANCED_KEY | LEFT_CTRL_PRESSED, 0x8DFF},
        {"keypad 8 without NumLock", 0, 0x48, VK_UP, 0, 0x48FF},
        {"shift alone", 0, 0x2A, VK_SHIFT, SHIFT_PRESSED, -1},
    };
    for (const ConsoleKey& k : keys)
        EXPECT_EQ(lichtbox::win32::console_key_code(k.character, k.scancode, k.vk, k.state), k.code) << k.name;
}

}  // namespace
