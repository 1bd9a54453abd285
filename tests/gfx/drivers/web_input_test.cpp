// The browser's input events through the canvas binding's translation into
// the window-event core: the key codes the X11 and Win32 bindings give for
// the same keys, Alt+Enter, focus, and a press and release of a button
// never handled in one turn of the program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "gfx/console/input_internal.h"
#include "gfx/drivers/web/web_input.h"
#include "gfx/drivers/window/event_core.h"

namespace {

using gfx::web::PointerKind;
using gfx::web::WebInput;
using gfx::web::WebKey;
using gfx::web::WebPointer;

class Platform final : public gfx::window::WindowPlatform {
public:
    void confine_cursor(bool) override {}
    void show_cursor(bool) override {}
    void move_cursor(int32_t, int32_t) override {}
    bool switch_fullscreen(bool on) override {
        switches.push_back(on);
        return true;
    }
    void window_position(int32_t* left, int32_t* top) const override { *left = *top = 0; }
    void move_window(int32_t, int32_t) override {}
    void set_title(const char*) override {}
    void paint() override {}
    std::vector<bool> switches;
};

class WebInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ZRGFX", "null", 1);
        ASSERT_EQ(gfx_screen_set(18, 32, 1, 0, 0), 0);
        while (gfx_take_key() != 0) {
        }
        st_.w = 640;
        st_.h = 480;
        st_.active = true;
        lichtbox::set_keyboard_layout(&input_.layout());
    }
    void TearDown() override {
        lichtbox::set_keyboard_layout(nullptr);
        gfx_screen_set(0, 0, 0, 0, 0);
    }
    gfx::window::EventCore core() { return gfx::window::EventCore(st_, platform_); }
    // Presses and releases a key; the key codes it queued.
    std::vector<int32_t> type(const std::string& code, const std::string& key, bool shift = false, bool ctrl = false,
                              bool alt = false) {
        for (bool down : {true, false}) {
            WebKey k;
            k.down = down;
            k.code = code;
            k.key = key;
            k.shift = shift, k.ctrl = ctrl, k.alt = alt;
            input_.add_key(k);
        }
        input_.handle(core());
        std::vector<int32_t> out;
        for (int32_t c; (c = gfx_take_key()) != 0;) out.push_back(c);
        return out;
    }

    gfx::window::WindowState st_;
    Platform platform_;
    WebInput input_;
};

TEST_F(WebInputTest, KeysGiveTheCodesOfTheOtherBindings) {
    struct Case {
        const char* code;
        const char* key;
        bool shift, ctrl, alt;
        std::vector<int32_t> codes;
    } const cases[] = {
        {"KeyR", "r", false, false, false, {'r'}},
        {"KeyR", "R", true, false, false, {'R'}},
        {"KeyE", "e", false, false, false, {'e'}},
        {"Digit1", "!", true, false, false, {'!'}},
        {"Enter", "Enter", false, false, false, {'\r'}},
        {"Escape", "Escape", false, false, false, {0x1B}},
        {"ArrowUp", "ArrowUp", false, false, false, {0x48FF}},
        {"Delete", "Delete", false, false, false, {0x53FF}},
        {"F1", "F1", false, false, false, {0x3BFF}},
        {"KeyA", "a", false, true, false, {1}},           // Ctrl+A types a control character
        {"KeyX", "x", false, false, true, {0x2DFF}},      // Alt+X: the extended code only
        {"F4", "F4", false, false, true, {0x6BFF}},       // Alt+F4: the close code
        {"Quote", "\xC3\xA4", false, false, false, {0x84}},  // "ä" on a German keyboard
        {"Numpad8", "ArrowUp", false, false, false, {0x48FF}},  // Num Lock off
        {"Numpad8", "8", false, false, false, {'8'}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(type(c.code, c.key, c.shift, c.ctrl, c.alt), c.codes) << c.code << " " << c.key;
}

TEST_F(WebInputTest, KeyPlacesAndCharacters) {
    const gfx::web::KeyPlace r = gfx::web::key_place("KeyR", "r");
    EXPECT_EQ(r.scancode, 19);
    EXPECT_EQ(r.vk, 'R');
    const gfx::web::KeyPlace enter = gfx::web::key_place("NumpadEnter", "Enter");
    EXPECT_TRUE(enter.extended);
    EXPECT_EQ(enter.scancode, 0x1C);
    EXPECT_EQ(gfx::web::key_place("Minus", "-").vk, 0xBD);  // by position, as on X11
    EXPECT_EQ(gfx::web::key_place("Unidentified", "").scancode, 0);
    EXPECT_EQ(gfx::web::key_character("ArrowLeft"), -1);
    EXPECT_EQ(gfx::web::key_character("\xE2\x82\xAC"), -1);  // "€": not in code page 437
}

TEST_F(WebInputTest, AltEnterSwitchesFullScreenAndKeysFollowFocus) {
    EXPECT_TRUE(type("Enter", "Enter", false, false, true).empty());
    EXPECT_EQ(platform_.switches, std::vector<bool>{true});
    input_.add_focus(false);
    input_.handle(core());
    EXPECT_FALSE(st_.active);
    input_.add_focus(true);
    input_.handle(core());
    EXPECT_TRUE(st_.active);
}

TEST_F(WebInputTest, AButtonChangesOncePerTurn) {
    // A finger's tap: its press, its release and its leaving arrive together.
    for (PointerKind kind : {PointerKind::down, PointerKind::up, PointerKind::leave}) {
        WebPointer p;
        p.kind = kind;
        p.x = 120, p.y = 450;
        p.lifts = true;
        input_.add_pointer(p);
    }
    input_.new_turn();
    input_.handle(core());
    EXPECT_EQ(st_.mouse.buttons, gfx::window::kButtonLeft);
    EXPECT_EQ(st_.mouse.x, 120);  // the tap came without a move before it
    input_.handle(core());        // the same turn: the release waits
    EXPECT_EQ(st_.mouse.buttons, gfx::window::kButtonLeft);
    input_.new_turn();
    input_.handle(core());
    EXPECT_EQ(st_.mouse.buttons, 0);
    EXPECT_FALSE(input_.pending());
    // The program reads the tap only now: the finger has left, yet the
    // press is reported where it was.
    int32_t x = 0, y = 0, wheel = 0, buttons = 0, clip = 0;
    ASSERT_EQ(core().get_mouse(&x, &y, &wheel, &buttons, &clip), 0);
    EXPECT_EQ(buttons, gfx::window::kButtonLeft);
    EXPECT_EQ(y, 450);
    // A mouse that leaves is outside.
    WebPointer away;
    away.kind = PointerKind::leave;
    input_.add_pointer(away);
    input_.handle(core());
    EXPECT_EQ(core().get_mouse(&x, &y, &wheel, &buttons, &clip), -1);
}

}  // namespace
