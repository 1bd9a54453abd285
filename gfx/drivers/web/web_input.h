// The browser's input events as the canvas binding receives them (keyboard
// events with their `code` and `key`, pointer events from a mouse, a pen or
// a finger, the wheel, focus and blur) and their translation into calls of
// the window-event core: set-1 scancodes and virtual keys from `code`, code
// page 437 characters from `key`, the same as the X11 and Win32 bindings
// give. Plain C++, so that it is tested natively.
#pragma once

#include <bitset>
#include <cstdint>
#include <deque>
#include <string>

#include "gfx/drivers/window/event_core.h"
#include "runtime/keys.h"

namespace gfx::web {

struct WebKey {
    bool down = true;
    bool repeat = false;
    std::string code;  // KeyboardEvent.code, e.g. "KeyR", "ArrowUp"
    std::string key;   // KeyboardEvent.key, e.g. "r", "R", "Enter", "ä"
    bool shift = false, ctrl = false, alt = false, altgraph = false;
};

enum class PointerKind { move, down, up, enter, leave };

struct WebPointer {
    PointerKind kind = PointerKind::move;
    int32_t x = 0, y = 0;  // page pixels (the canvas's CSS scaling taken out)
    int32_t button = 0;    // for down and up: 0 main, 1 middle, 2 secondary
    bool inside = true;    // on the picture
    bool lifts = false;    // a finger or pen, which leaves as it lifts
    double time_ms = 0;    // for double clicks
};

// Where a key sits on a PC keyboard.
struct KeyPlace {
    int32_t scancode = 0;   // set-1 scancode, 0 when the key has none
    bool extended = false;  // it carries the extended-key mark
    int32_t vk = 0;         // virtual key, 0 when none
};

// The place of the key KeyboardEvent.code names; numpad keys take the
// virtual key of what `key` says they typed (Num Lock on or off).
KeyPlace key_place(const std::string& code, const std::string& key);

// The code page 437 character KeyboardEvent.key types, -1 when none
// (named keys other than Enter, Tab, Backspace and Escape; characters code
// page 437 lacks).
int32_t key_character(const std::string& key);

// The unshifted characters of the keyboard in use, learnt from the keys
// typed without modifiers; until then a US keyboard's.
class WebKeyboardLayout final : public lichtbox::KeyboardLayout {
public:
    WebKeyboardLayout();
    int32_t unshifted_char(int32_t vk) const override;
    void learn(int32_t vk, int32_t character);

private:
    int32_t chars_[256];
};

// The queue of browser events of one canvas and their handling. Events are
// added while the browser has control and handled when the program has it
// again, at most one change of a button's state in each of the program's
// turns (from one hand-over to the browser to the next): a program that
// polls the mouse sees even the shortest tap held.
class WebInput {
public:
    void add_key(const WebKey& k) { queue_.push_back(Event{Event::key, k, {}, 0, false}); }
    void add_pointer(const WebPointer& p) { queue_.push_back(Event{Event::pointer, {}, p, 0, false}); }
    void add_wheel(int32_t notches) { queue_.push_back(Event{Event::wheel, {}, {}, notches, false}); }
    void add_focus(bool focused) { queue_.push_back(Event{Event::focus, {}, {}, 0, focused}); }
    bool pending() const { return !queue_.empty(); }

    // The program has control again.
    void new_turn() { button_changed_ = false; }
    // Handles the queued events through core, up to a second change of a
    // button's state in this turn.
    void handle(window::EventCore core);
    // The virtual keys held down, for the key-state table.
    const std::bitset<256>& keys_down() const { return keys_down_; }
    const WebKeyboardLayout& layout() const { return layout_; }

private:
    struct Event {
        enum Kind { key, pointer, wheel, focus } kind;
        WebKey k;
        WebPointer p;
        int32_t notches;
        bool focused;
    };
    void handle_key(window::EventCore& core, const WebKey& k);
    // True when a button changed.
    bool handle_pointer(window::EventCore& core, const WebPointer& p);

    std::deque<Event> queue_;
    bool button_changed_ = false;  // in this turn
    std::bitset<256> keys_down_;
    WebKeyboardLayout layout_;
    double last_press_ms_ = -1e9;
    int32_t last_press_button_ = -1;
    int32_t last_press_x_ = 0, last_press_y_ = 0;
};

}  // namespace gfx::web
