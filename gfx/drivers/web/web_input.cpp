// Browser input events into the window-event core.
#include "gfx/drivers/web/web_input.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "runtime/code_page_437.h"

namespace gfx::web {
namespace {

using window::ButtonAction;

constexpr double kDoubleClickMs = 500;
constexpr int32_t kDoubleClickSlop = 4;

struct CodePlace {
    const char* code;
    uint8_t scancode;
    bool extended;
    uint8_t vk;  // 0: the first virtual key of the scancode table's row
};

// KeyboardEvent.code of the keys of a PC keyboard. Letters and digits are
// handled apart; punctuation takes its virtual key by position, as on X11.
constexpr CodePlace kPlaces[] = {
    {"Escape", 0x01, false, 0x1B}, {"Minus", 0x0C, false, 0}, {"Equal", 0x0D, false, 0},
    {"Backspace", 0x0E, false, 0x08}, {"Tab", 0x0F, false, 0x09}, {"BracketLeft", 0x1A, false, 0},
    {"BracketRight", 0x1B, false, 0}, {"Enter", 0x1C, false, 0x0D}, {"ControlLeft", 0x1D, false, 0x11},
    {"Semicolon", 0x27, false, 0}, {"Quote", 0x28, false, 0}, {"Backquote", 0x29, false, 0},
    {"ShiftLeft", 0x2A, false, 0x10}, {"Backslash", 0x2B, false, 0}, {"Comma", 0x33, false, 0},
    {"Period", 0x34, false, 0}, {"Slash", 0x35, false, 0}, {"ShiftRight", 0x36, false, 0x10},
    {"NumpadMultiply", 0x37, false, 0x6A}, {"AltLeft", 0x38, false, 0x12}, {"Space", 0x39, false, 0x20},
    {"CapsLock", 0x3A, false, 0x14}, {"NumLock", 0x45, false, 0x90}, {"ScrollLock", 0x46, false, 0x91},
    {"NumpadSubtract", 0x4A, false, 0x6D}, {"NumpadAdd", 0x4E, false, 0x6B}, {"IntlBackslash", 0x56, false, 0},
    {"F11", 0x57, false, 0x7A}, {"F12", 0x58, false, 0x7B}, {"Pause", 0x45, false, 0x13},
    {"NumpadEnter", 0x1C, true, 0x0D}, {"ControlRight", 0x1D, true, 0x11}, {"NumpadDivide", 0x35, true, 0x6F},
    {"PrintScreen", 0x37, true, 0x2C}, {"AltRight", 0x38, true, 0x12}, {"Home", 0x47, true, 0x24},
    {"ArrowUp", 0x48, true, 0x26}, {"PageUp", 0x49, true, 0x21}, {"ArrowLeft", 0x4B, true, 0x25},
    {"ArrowRight", 0x4D, true, 0x27}, {"End", 0x4F, true, 0x23}, {"ArrowDown", 0x50, true, 0x28},
    {"PageDown", 0x51, true, 0x22}, {"Insert", 0x52, true, 0x2D}, {"Delete", 0x53, true, 0x2E},
    {"MetaLeft", 0x5B, true, 0x5B}, {"MetaRight", 0x5C, true, 0x5C}, {"ContextMenu", 0x5D, true, 0x5D},
};

// The numeric keypad without Num Lock: the editing key a digit stands for.
struct NumpadKey {
    char digit;
    uint8_t scancode;
    uint8_t vk_digit;  // with Num Lock
    uint8_t vk_edit;   // without
};
constexpr NumpadKey kNumpad[] = {
    {'7', 0x47, 0x67, 0x24}, {'8', 0x48, 0x68, 0x26}, {'9', 0x49, 0x69, 0x21}, {'4', 0x4B, 0x64, 0x25},
    {'5', 0x4C, 0x65, 0x0C}, {'6', 0x4D, 0x66, 0x27}, {'1', 0x4F, 0x61, 0x23}, {'2', 0x50, 0x62, 0x28},
    {'3', 0x51, 0x63, 0x22}, {'0', 0x52, 0x60, 0x2D},
};

// The first virtual key of the scancode table's row for a scancode.
int32_t vk_by_position(int32_t scancode) {
    for (const lichtbox::ScancodeRow& row : lichtbox::scancode_table) {
        if (row.scancode == 0) break;
        if (row.scancode == scancode) return row.vk;
    }
    return 0;
}

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// A code point of UTF-8 text that holds exactly one; 0 otherwise.
char32_t single_code_point(std::string_view text) {
    if (text.empty()) return 0;
    char32_t u = 0;
    const std::size_t n = lichtbox::utf8_decode(text, &u);
    return n == text.size() ? u : 0;
}

int32_t button_bit(int32_t button) {
    switch (button) {
        case 0: return window::kButtonLeft;
        case 1: return window::kButtonMiddle;
        case 2: return window::kButtonRight;
        case 3: return window::kButtonExtra1;
        case 4: return window::kButtonExtra2;
        default: return 0;
    }
}

}  // namespace

KeyPlace key_place(const std::string& code, const std::string& key) {
    const std::string_view c = code;
    // Letters and digits: their virtual key is the character, and the
    // scancode table knows where it sits.
    if (c.size() == 4 && starts_with(c, "Key") && c[3] >= 'A' && c[3] <= 'Z')
        return {gfx_vk_to_scancode(c[3]), false, c[3]};
    if (c.size() == 6 && starts_with(c, "Digit") && c[5] >= '0' && c[5] <= '9')
        return {gfx_vk_to_scancode(c[5]), false, c[5]};
    if (starts_with(c, "F") && c.size() <= 3) {
        const int n = std::atoi(code.c_str() + 1);
        if (n >= 1 && n <= 10) return {0x3B + n - 1, false, 0x70 + n - 1};
    }
    if (c.size() == 7 && starts_with(c, "Numpad") && c[6] >= '0' && c[6] <= '9') {
        for (const NumpadKey& k : kNumpad)
            if (k.digit == c[6]) return {k.scancode, false, key.size() == 1 ? k.vk_digit : k.vk_edit};
    }
    if (c == "NumpadDecimal") return {0x53, false, key == "Delete" ? 0x2E : 0x6E};
    for (const CodePlace& p : kPlaces)
        if (c == p.code) return {p.scancode, p.extended, p.vk ? p.vk : (p.extended ? 0 : vk_by_position(p.scancode))};
    return {};
}

int32_t key_character(const std::string& key) {
    if (key == "Enter") return '\r';
    if (key == "Tab") return '\t';
    if (key == "Backspace") return '\b';
    if (key == "Escape") return 0x1B;
    const char32_t u = single_code_point(key);
    if (u == 0) return -1;
    const int32_t b = lichtbox::unicode_to_cp437(u);
    return b > 0 ? b : -1;
}

WebKeyboardLayout::WebKeyboardLayout() {
    std::memset(chars_, 0, sizeof chars_);
    for (int c = 'A'; c <= 'Z'; ++c) chars_[c] = c;
    for (int c = '0'; c <= '9'; ++c) chars_[c] = c;
    chars_[0x20] = ' ';
    const struct {
        int vk;
        char c;
    } us[] = {{0xBA, ';'}, {0xBB, '='}, {0xBC, ','}, {0xBD, '-'}, {0xBE, '.'}, {0xBF, '/'}, {0xC0, '`'},
              {0xDB, '['}, {0xDC, '\\'}, {0xDD, ']'}, {0xDE, '\''}};
    for (const auto& k : us) chars_[k.vk] = k.c;
}

int32_t WebKeyboardLayout::unshifted_char(int32_t vk) const { return vk >= 0 && vk < 256 ? chars_[vk] : 0; }

void WebKeyboardLayout::learn(int32_t vk, int32_t character) {
    if (vk <= 0 || vk >= 256 || character <= 0) return;
    // Letters are reported in upper case, as the other bindings do.
    chars_[vk] = character >= 'a' && character <= 'z' ? character - 'a' + 'A' : character;
}

void WebInput::handle(window::EventCore core) {
    while (!queue_.empty()) {
        const Event& e = queue_.front();
        const bool button = e.kind == Event::pointer && (e.p.kind == PointerKind::down || e.p.kind == PointerKind::up);
        if (button && button_changed_) return;  // the next turn's
        const Event taken = e;
        queue_.pop_front();
        switch (taken.kind) {
            case Event::key: handle_key(core, taken.k); break;
            case Event::pointer: button_changed_ = handle_pointer(core, taken.p) || button_changed_; break;
            case Event::wheel:
                for (int32_t i = 0; i < std::abs(taken.notches); ++i) core.wheel(taken.notches > 0 ? 1 : -1);
                break;
            case Event::focus: core.activate(taken.focused, false); break;
        }
    }
}

void WebInput::handle_key(window::EventCore& core, const WebKey& k) {
    const KeyPlace place = key_place(k.code, k.key);
    int32_t ch = key_character(k.key);
    // Control with a letter types the control character, as on X11.
    if (ch > 0 && k.ctrl && !k.alt && !k.altgraph && ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z')))
        ch &= 0x1F;
    if (k.down && !k.shift && !k.ctrl && !k.alt && !k.altgraph && ch > 0x20) layout_.learn(place.vk, ch);

    lichtbox::ModifierKeys m;
    m.shift = k.shift;
    m.extended = place.extended;
    const bool right_ctrl_key = k.code == "ControlRight", right_alt_key = k.code == "AltRight";
    m.right_ctrl = k.ctrl && right_ctrl_key;
    m.left_ctrl = k.ctrl && !right_ctrl_key;
    m.right_alt = k.alt && right_alt_key;
    m.left_alt = k.alt && !right_alt_key;
    if (k.altgraph) m.right_alt = m.left_ctrl = true;  // AltGr reads as Ctrl + right Alt

    window::KeyInput in;
    in.down = k.down;
    in.previously_down = k.down && k.repeat;
    in.vk = place.vk;
    in.scancode = place.scancode;
    in.modifiers = lichtbox::modifier_bits(m);
    in.alt = k.alt;
    // A key taken as a menu key: Alt without Ctrl, or F10.
    in.system = k.down && ((k.alt && !k.ctrl) || in.vk == window::kVkF10);
    in.character = ch > 0 && ch <= 255 ? ch : 0;
    if (place.vk > 0 && place.vk < 256) keys_down_[std::size_t(place.vk)] = k.down;
    core.key(in);
    // Characters typed with Alt alone are menu characters, not text.
    if (k.down && !in.system && ch > 0) core.character(ch);
}

bool WebInput::handle_pointer(window::EventCore& core, const WebPointer& p) {
    // A finger or pen leaves as it lifts, often before the program has read
    // its tap; like a mouse at rest it stays where it was.
    if (p.kind == PointerKind::leave && p.lifts) return false;
    core.set_in_client(p.inside);
    switch (p.kind) {
        case PointerKind::enter:
        case PointerKind::move:
            core.mouse_move(p.x, p.y, p.x, p.y);
            return false;
        case PointerKind::leave:
            core.set_in_client(false);
            core.leave();
            return false;
        case PointerKind::down:
        case PointerKind::up:
            break;
    }
    // A finger's tap arrives without a move before it.
    core.mouse_move(p.x, p.y, p.x, p.y);
    const int32_t bit = button_bit(p.button);
    if (bit == 0) return false;
    if (p.kind == PointerKind::up) {
        core.button(bit, ButtonAction::up);
        return true;
    }
    // A second press of the same button, soon and close by, is a double
    // click (the third starts over).
    const bool is_double = p.button == last_press_button_ && p.time_ms - last_press_ms_ <= kDoubleClickMs &&
                           std::abs(p.x - last_press_x_) <= kDoubleClickSlop &&
                           std::abs(p.y - last_press_y_) <= kDoubleClickSlop;
    last_press_button_ = is_double ? -1 : p.button;
    last_press_ms_ = p.time_ms;
    last_press_x_ = p.x;
    last_press_y_ = p.y;
    core.button(bit, is_double ? ButtonAction::double_click : ButtonAction::down);
    return true;
}

}  // namespace gfx::web
