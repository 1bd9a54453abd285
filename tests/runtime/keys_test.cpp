// Keyboard tables and key translation.
#include <gtest/gtest.h>

#include <set>

#include "runtime/keys.h"

namespace {

using namespace lichtbox;

// A US layout as a Win32 binding would report it: letters in upper case.
class FakeUsLayout final : public KeyboardLayout {
public:
    int32_t unshifted_char(int32_t vk) const override {
        if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return vk;
        if (vk >= 0x60 && vk <= 0x69) return '0' + (vk - 0x60);  // keypad digits
        switch (vk) {
        case 0x08: return 8;
        case 0x09: return 9;
        case 0x0D: return 13;
        case 0x1B: return 27;
        case 0x20: return ' ';
        case 0x6A: return '*';
        case 0x6B: return '+';
        case 0x6D: return '-';
        case 0x6E: return '.';
        case 0x6F: return '/';
        case 0xBA: return ';';
        case 0xBB: return '=';
        case 0xBC: return ',';
        case 0xBD: return '-';
        case 0xBE: return '.';
        case 0xBF: return '/';
        case 0xC0: return '`';
        case 0xDB: return '[';
        case 0xDC: return '\\';
        case 0xDD: return ']';
        case 0xDE: return '\'';
        default: return 0;
        }
    }
};

// Virtual keys used below.
constexpr int32_t VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_ESCAPE = 0x1B,
                  VK_UP = 0x26, VK_LWIN = 0x5B, VK_NUMPAD0 = 0x60, VK_SUBTRACT = 0x6D, VK_DIVIDE = 0x6F,
                  VK_F1 = 0x70, VK_F4 = 0x73, VK_F12 = 0x7B;

class KeyTranslateTest : public ::testing::Test {
protected:
    void SetUp() override { set_keyboard_layout(&layout_); }
    void TearDown() override { set_keyboard_layout(nullptr); }
    FakeUsLayout layout_;
};

struct TranslateCase {
    const char* what;
    int32_t character, scancode, vk, modifiers, expected;
};

TEST_F(KeyTranslateTest, TranslatesKeyMessages) {
    const TranslateCase cases[] = {
        {"plain a", 'a', 30, 'A', 0, 'a'},
        {"shift a", 'A', 30, 'A', kModShift, 'A'},
        {"ctrl a", 1, 30, 'A', kModLeftCtrl, 1},
        {"alt a", 'a', 30, 'A', kModLeftAlt, 0x1EFF},
        {"right alt a", 'a', 30, 'A', kModRightAlt, 0x1EFF},
        {"alt shift a", 'A', 30, 'A', kModLeftAlt | kModShift, 0x1EFF},
        {"F1", 0, 59, VK_F1, 0, 0x3BFF},
        {"shift F1", 0, 59, VK_F1, kModShift, 0x54FF},
        {"ctrl F1", 0, 59, VK_F1, kModLeftCtrl, 0x5EFF},
        {"right ctrl F1", 0, 59, VK_F1, kModRightCtrl, 0x5EFF},
        {"alt F1", 0, 59, VK_F1, kModLeftAlt, 0x68FF},
        {"alt F4 (close)", 0, 62, VK_F4, kModLeftAlt, kKeyClose},
        {"F12", 0, 88, VK_F12, 0, 0x86FF},
        {"escape", 27, 1, VK_ESCAPE, 0, 27},
        {"alt escape", 27, 1, VK_ESCAPE, kModLeftAlt, 0x01FF},
        {"shift tab", 9, 15, VK_TAB, kModShift, 0x0FFF},
        {"enter", 13, 28, VK_RETURN, 0, 13},
        {"alt 1", '1', 2, '1', kModLeftAlt, 0x78FF},
        {"shift 1 gives its character", '!', 2, '1', kModShift, '!'},
        {"cursor up", 0, 0x48, VK_UP, kModExtended, 0x48FF},
        {"ctrl cursor up", 0, 0x48, VK_UP, kModExtended | kModLeftCtrl, 0x8DFF},
        {"alt cursor up", 0, 0x48, VK_UP, kModExtended | kModLeftAlt, 0x98FF},
        {"shift cursor up", 0, 0x48, VK_UP, kModExtended | kModShift, 0x48FF},
        {"keypad 8 without num lock", 0, 0x48, VK_UP, 0, 0x48FF},
        {"keypad 8 with num lock", '8', 0x48, 0x68, 0, '8'},
        {"keypad enter", 13, 0x1C, VK_RETURN, kModExtended, 13},
        {"ctrl keypad slash", 0, 0x35, VK_DIVIDE, kModExtended | kModLeftCtrl, 0x95FF},
        {"alt keypad enter", 0, 0x1C, VK_RETURN, kModExtended | kModLeftAlt, 0xA6FF},
        {"control key alone", 0, 29, VK_CONTROL, 0, -1},
        {"right control (extended, no keypad row)", 0, 29, VK_CONTROL, kModExtended, -1},
        {"windows key (beyond the table)", 0, 91, VK_LWIN, kModExtended, -1},
        {"character beyond the table", 'x', 91, VK_LWIN, 0, 'x'},
        {"negative scancode", 0, -3, 0, 0, -1},
        {"negative scancode with character", 'q', -3, 'Q', 0, 'q'},
        {"scancode 89 is outside the table", 0, 89, 0, 0, -1},
        {"shift keypad 5 without num lock", 0, 76, 0x0C, kModShift, -1},
        {"alt keypad 5", 0, 76, 0x0C, kModLeftAlt, 0x4CFF},
    };
    for (const TranslateCase& c : cases) {
        EXPECT_EQ(gfx_key_translate(c.character, c.scancode, c.vk, c.modifiers), c.expected) << c.what;
    }
}

TEST_F(KeyTranslateTest, AltLetterCodesEqualTheirScancodes) {
    // Alt + letter reports the letter key's scancode as its code byte.
    const char* rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
    const int32_t first_scancode[] = {16, 30, 44};
    for (int r = 0; r < 3; ++r) {
        for (int i = 0; rows[r][i]; ++i) {
            const int32_t vk = rows[r][i];
            const int32_t sc = first_scancode[r] + i;
            EXPECT_EQ(gfx_vk_to_scancode(vk), sc) << char(vk);
            EXPECT_EQ(gfx_key_translate(vk + 32, sc, vk, kModLeftAlt), (sc << 8) | 0xFF) << char(vk);
            EXPECT_EQ(gfx_key_translate(vk + 32, sc, vk, 0), vk + 32) << char(vk);
            EXPECT_EQ(gfx_key_translate(vk - 64, sc, vk, kModLeftCtrl), vk - 64) << char(vk);
        }
    }
}

TEST_F(KeyTranslateTest, FunctionKeyColumnsFollowTheirScheme) {
    for (int32_t n = 0; n < 10; ++n) {
        const int32_t sc = 59 + n;
        const int32_t vk = VK_F1 + n;
        EXPECT_EQ(gfx_vk_to_scancode(vk), sc);
        EXPECT_EQ(gfx_key_translate(0, sc, vk, 0), (sc << 8) | 0xFF);
        EXPECT_EQ(gfx_key_translate(0, sc, vk, kModShift), ((0x54 + n) << 8) | 0xFF);
        EXPECT_EQ(gfx_key_translate(0, sc, vk, kModLeftCtrl), ((0x5E + n) << 8) | 0xFF);
        EXPECT_EQ(gfx_key_translate(0, sc, vk, kModLeftAlt), ((0x68 + n) << 8) | 0xFF);
    }
}

TEST(KeyLayout, WithoutLayoutOnlyCharacterlessKeysGetExtendedCodes) {
    set_keyboard_layout(nullptr);
    EXPECT_EQ(lichtbox::keyboard_layout().unshifted_char('A'), 0);
    EXPECT_EQ(gfx_key_translate(0, 59, VK_F1, 0), 0x3BFF);
    // The layout cannot confirm 'a' as the key's own character.
    EXPECT_EQ(gfx_key_translate('a', 30, 'A', kModLeftAlt), 'a');
    FakeUsLayout us;
    set_keyboard_layout(&us);
    EXPECT_EQ(gfx_key_translate('a', 30, 'A', kModLeftAlt), 0x1EFF);
    set_keyboard_layout(nullptr);
    EXPECT_EQ(gfx_key_translate('a', 30, 'A', kModLeftAlt), 'a');
}

TEST(KeyTables, ScancodeTableShape) {
    EXPECT_EQ(scancode_table.back().scancode, 0);
    std::set<int> seen;
    int previous = 0;
    for (int i = 0; i < lichtbox::kScancodeRows; ++i) {
        const ScancodeRow& row = scancode_table[std::size_t(i)];
        EXPECT_GT(row.scancode, previous) << "row " << i;
        EXPECT_NE(row.vk, 0) << "row " << i;
        previous = row.scancode;
        seen.insert(row.scancode);
    }
    EXPECT_EQ(seen.size(), std::size_t(lichtbox::kScancodeRows));
    // Scancodes without a row.
    for (int sc : {74, 76, 84, 85, 86, 89, 90}) EXPECT_EQ(seen.count(sc), 0u) << sc;
    EXPECT_EQ(previous, 93);
}

TEST(KeyTables, KeypadRowsMatchTheMainTableForCursorKeys) {
    // The cursor block reports the same plain codes as the keypad keys
    // without num lock.
    for (const lichtbox::KeypadRow& row : keypad_code_table) {
        if (row.scancode < 0x47) continue;
        EXPECT_EQ(row.codes[kColPlain], key_code_table[row.scancode][kColPlain]) << int(row.scancode);
        EXPECT_EQ(row.codes[kColPlain] >> 8, row.scancode);
        EXPECT_EQ(row.codes[kColCtrl], key_code_table[row.scancode][kColCtrl]) << int(row.scancode);
    }
}

struct VkCase {
    int32_t vk, scancode;
};

TEST(KeyTables, VirtualKeyToScancode) {
    const VkCase cases[] = {
        {VK_SHIFT, 42},       // both shift rows: the first wins
        {VK_ESCAPE, 1},
        {VK_SUBTRACT, 12},    // second virtual key of a row
        {0xBD, 12},
        {VK_DIVIDE, 53},
        {VK_NUMPAD0, 82},
        {0x2D, 82},
        {VK_UP, 72},
        {VK_F12, 88},
        {0x5D, 93},
        {0, 0},
        {0x07, 0},            // unknown
        {0xFF, 0},
        {-1, 0},
        {0x110, 0},           // only the low byte would match
    };
    for (const VkCase& c : cases) EXPECT_EQ(gfx_vk_to_scancode(c.vk), c.scancode) << c.vk;
}

}  // namespace
