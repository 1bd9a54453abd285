// The window-event core driven by synthetic native event sequences.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/console/input_internal.h"
#include "runtime/keys.h"
#include "gfx/drivers/window/event_core.h"

namespace {

using gfx::window::ButtonAction;
using gfx::window::EventCore;
using gfx::window::KeyInput;
using gfx::window::WindowState;

// Records what the core asks of the window system.
class FakePlatform : public gfx::window::WindowPlatform {
public:
    void capture_mouse() override { captured = true, log += "capture "; }
    void release_mouse() override { captured = false, log += "release "; }
    bool has_capture() const override { return captured; }
    void track_leave() override { log += "track "; }
    void confine_cursor(bool on) override { log += on ? "confine " : "free "; }
    void show_cursor(bool visible) override { log += visible ? "show " : "hide "; }
    void move_cursor(int32_t x, int32_t y) override {
        log += "warp " + std::to_string(x) + "," + std::to_string(y) + " ";
    }
    bool switch_fullscreen(bool on) override {
        log += on ? "fullscreen " : "windowed ";
        return fail_switches-- <= 0;
    }
    void window_position(int32_t* left, int32_t* top) const override { *left = 30, *top = -5; }
    void move_window(int32_t left, int32_t top) override {
        log += "move " + std::to_string(left) + "," + std::to_string(top) + " ";
    }
    void set_title(const char*) override {}
    void paint() override { log += "paint "; }

    bool captured = false;
    int fail_switches = 0;
    std::string log;
};

class EventCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ZRGFX", "null", 1);
        ASSERT_EQ(gfx_screen_set(18, 32, 1, 0, 0), 0);
        ctx = gfx_context();
        drain();
        std::memset(ctx->dirty, 0, std::size_t(ctx->h));
        st.w = 640;
        st.h = 480;
        st.active = true;
        st.mouse.in_client = true;
    }
    void TearDown() override {
        gfx_screen_set(0, 0, 0, 0, 0);
        drain();
    }
    static void drain() {
        GfxEvent ev;
        while (gfx_take_event(&ev)) {
        }
        while (gfx_take_key() != 0) {
        }
    }
    std::vector<GfxEvent> events() {
        std::vector<GfxEvent> out;
        GfxEvent ev;
        while (gfx_take_event(&ev)) out.push_back(ev);
        return out;
    }
    std::vector<int32_t> keys() {
        std::vector<int32_t> out;
        for (int32_t k; (k = gfx_take_key()) != 0;) out.push_back(k);
        return out;
    }
    int dirty_rows() const {
        int n = 0;
        for (int32_t y = 0; y < ctx->h; ++y) n += ctx->dirty[y] != 0;
        return n;
    }

    GfxContext* ctx = nullptr;
    WindowState st;
    FakePlatform platform;
    EventCore core{st, platform};
};

TEST_F(EventCoreTest, FirstMoveEntersThenMovesCarryDeltasAndStillMovesPostNothing) {
    core.mouse_move(10, 20, 110, 220);
    core.mouse_move(13, 18, 113, 218);
    core.mouse_move(13, 18, 113, 218);
    const auto ev = events();
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(ev[0].kind, GFX_EVENT_MOUSE_ENTER);
    EXPECT_EQ(ev[0].field[0], 10);
    EXPECT_EQ(ev[0].field[1], 20);
    EXPECT_EQ(ev[1].kind, GFX_EVENT_MOUSE_MOVE);
    EXPECT_EQ((std::vector<int32_t>{ev[1].field[0], ev[1].field[1], ev[1].field[2], ev[1].field[3]}),
              (std::vector<int32_t>{13, 18, 3, -2}));
    EXPECT_EQ(platform.log, "track ");
    EXPECT_TRUE(st.mouse.inside);

    core.leave();
    core.mouse_move(14, 18, 114, 218);
    const auto again = events();
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].kind, GFX_EVENT_MOUSE_LEAVE);
    EXPECT_EQ(again[1].kind, GFX_EVENT_MOUSE_ENTER);
}

TEST_F(EventCoreTest, CaptureStaysWhileAnotherButtonIsHeld) {
    core.button(gfx::window::kButtonLeft, ButtonAction::down);
    core.button(gfx::window::kButtonRight, ButtonAction::down);
    core.button(gfx::window::kButtonLeft, ButtonAction::up);
    EXPECT_TRUE(platform.captured);
    EXPECT_EQ(st.mouse.buttons, gfx::window::kButtonRight);
    core.button(gfx::window::kButtonRight, ButtonAction::up);
    EXPECT_FALSE(platform.captured);
    EXPECT_EQ(platform.log, "capture capture release ");
    core.button(gfx::window::kButtonExtra2, ButtonAction::double_click);
    const auto ev = events();
    ASSERT_EQ(ev.size(), 5u);
    const int32_t kinds[] = {GFX_EVENT_BUTTON_DOWN, GFX_EVENT_BUTTON_DOWN, GFX_EVENT_BUTTON_UP, GFX_EVENT_BUTTON_UP,
                             GFX_EVENT_DOUBLE_CLICK};
    const int32_t bits[] = {1, 2, 1, 2, 16};
    for (std::size_t i = 0; i < ev.size(); ++i) {
        EXPECT_EQ(ev[i].kind, kinds[i]) << i;
        EXPECT_EQ(ev[i].field[0], bits[i]) << i;
    }
}

// A click released before the program looked is reported once, as held.
TEST_F(EventCoreTest, AShortClickIsSeenOnceByTheNextRead) {
    int32_t x, y, wheel, buttons = -1, clip;
    core.button(gfx::window::kButtonLeft, ButtonAction::down);
    core.button(gfx::window::kButtonLeft, ButtonAction::up);
    ASSERT_EQ(core.get_mouse(&x, &y, &wheel, &buttons, &clip), 0);
    EXPECT_EQ(buttons, gfx::window::kButtonLeft);
    core.get_mouse(&x, &y, &wheel, &buttons, &clip);
    EXPECT_EQ(buttons, 0);
    // A held button stays held; a deactivation forgets the click.
    core.button(gfx::window::kButtonRight, ButtonAction::down);
    core.get_mouse(&x, &y, &wheel, &buttons, &clip);
    core.get_mouse(&x, &y, &wheel, &buttons, &clip);
    EXPECT_EQ(buttons, gfx::window::kButtonRight);
    core.button(gfx::window::kButtonRight, ButtonAction::up);
    core.button(gfx::window::kButtonLeft, ButtonAction::down);
    core.activate(false, false);
    core.activate(true, false);
    core.get_mouse(&x, &y, &wheel, &buttons, &clip);
    EXPECT_EQ(buttons, 0);
}

TEST_F(EventCoreTest, DeactivationClearsKeysAndButtonsMarksRowsAndLeaves) {
    core.mouse_move(1, 1, 1, 1);
    core.button(gfx::window::kButtonLeft, ButtonAction::down);
    ctx->key_state[30] = 1;
    events();
    core.activate(false, false);
    EXPECT_FALSE(st.active);
    EXPECT_EQ(ctx->key_state[30], 0);
    EXPECT_EQ(st.mouse.buttons, 0);
    EXPECT_EQ(dirty_rows(), ctx->h);
    auto ev = events();
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(ev[0].kind, GFX_EVENT_MOUSE_LEAVE);
    EXPECT_EQ(ev[1].kind, GFX_EVENT_FOCUS_OUT);

    // While inactive a move updates the position but posts nothing, and
    // get_mouse refuses even though x and y are kept.
    core.mouse_move(5, 6, 5, 6);
    EXPECT_TRUE(events().empty());
    int32_t x = 0, y = 0, wheel = 0, buttons = 0, clip = 0;
    EXPECT_EQ(core.get_mouse(&x, &y, &wheel, &buttons, &clip), -1);
    EXPECT_EQ(st.mouse.x, 5);

    // Activation while minimised posts nothing; a normal one focuses and,
    // with the cursor inside, enters.
    core.activate(true, true);
    EXPECT_TRUE(events().empty());
    core.activate(true, false);
    ev = events();
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(ev[0].kind, GFX_EVENT_FOCUS_IN);
    EXPECT_EQ(ev[1].kind, GFX_EVENT_MOUSE_ENTER);
    EXPECT_EQ(core.get_mouse(&x, &y, &wheel, &buttons, &clip), 0);
    EXPECT_EQ(x, 5);
    core.set_in_client(false);
    EXPECT_EQ(core.get_mouse(&x, &y, &wheel, &buttons, &clip), -1);
}

TEST_F(EventCoreTest, AltEnterWithNoSwitchOnlyLeaves) {
    st.flags = gfx::window::kNoSwitch;
    core.mouse_move(1, 1, 1, 1);
    events();
    KeyInput k;
    k.vk = gfx::window::kVkReturn;
    k.scancode = 28;
    k.alt = k.system = true;
    EXPECT_FALSE(core.key(k));
    const auto ev = events();
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].kind, GFX_EVENT_MOUSE_LEAVE);
    EXPECT_TRUE(st.mouse.inside);
    EXPECT_EQ(st.flags, gfx::window::kNoSwitch);
    EXPECT_EQ(platform.log, "track ");
    EXPECT_EQ(dirty_rows(), 0);
}

TEST_F(EventCoreTest, FullScreenToggleSwitchesAndFallsBackOnce) {
    st.mouse_clip = true;
    KeyInput k;
    k.vk = gfx::window::kVkReturn;
    k.alt = k.system = true;
    EXPECT_FALSE(core.key(k));
    EXPECT_EQ(st.flags & gfx::window::kFullscreen, gfx::window::kFullscreen);
    EXPECT_EQ(dirty_rows(), ctx->h);
    EXPECT_EQ(platform.log, "free fullscreen ");

    // A refused switch back keeps full-screen by switching to it again.
    platform.log.clear();
    platform.fail_switches = 1;
    core.maximize();
    EXPECT_EQ(st.flags & gfx::window::kFullscreen, gfx::window::kFullscreen);
    EXPECT_EQ(platform.log, "free windowed fullscreen ");
    EXPECT_TRUE(st.active);
    EXPECT_FALSE(st.mouse.inside);
    EXPECT_TRUE(keys().empty());
}

TEST_F(EventCoreTest, CloseRequestIsPostedOnceAndTheWindowStays) {
    core.close();
    EXPECT_EQ(keys(), std::vector<int32_t>{lichtbox::kKeyClose});
    const auto ev = events();
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].kind, GFX_EVENT_CLOSE_REQUEST);
    EXPECT_EQ(platform.log, "");
}

struct KeyCase {
    const char* name;
    KeyInput key;
    bool default_handling;
    std::vector<int32_t> queued;  // key codes the key path itself posts
    int32_t event_kind;           // 0: no event
    int32_t event_scancode;
    int32_t event_code;
};

TEST_F(EventCoreTest, KeyPathPostsExtendedCodesAndEvents) {
    auto key = [](int32_t vk, int32_t sc, int32_t ch, int32_t mods, bool down = true, bool repeat = false) {
        KeyInput k;
        k.vk = vk, k.scancode = sc, k.character = ch, k.modifiers = mods, k.down = down, k.previously_down = repeat;
        return k;
    };
    KeyInput f1_twice = key(0x70, 59, 0, 0);
    f1_twice.repeat_count = 2;
    const KeyCase cases[] = {
        {"letter down", key('R', 19, 'r', 0), true, {}, GFX_EVENT_KEY_DOWN, 19, 'r'},
        {"letter repeat", key('R', 19, 'r', 0, true, true), true, {}, GFX_EVENT_KEY_REPEAT, 19, 'r'},
        {"letter up", key('R', 19, 'r', 0, false), true, {}, GFX_EVENT_KEY_UP, 19, 'r'},
        {"F1 twice", f1_twice, true, {0x3BFF, 0x3BFF}, GFX_EVENT_KEY_DOWN, 59, 0},
        {"cursor up", key(0x26, 0x48, 0, lichtbox::kModExtended), true, {0x48FF}, GFX_EVENT_KEY_DOWN, 72, 0},
        {"alt alone", key(0x12, 56, 0, lichtbox::kModLeftAlt), false, {}, 0, 0, 0},
        {"F10", key(0x79, 68, 0, 0), false, {0x44FF}, 0, 0, 0},
        {"alt+F4", key(0x73, 62, 0, lichtbox::kModLeftAlt), false, {lichtbox::kKeyClose}, 0, 0, 0},
    };
    for (const KeyCase& c : cases) {
        EXPECT_EQ(core.key(c.key), c.default_handling) << c.name;
        EXPECT_EQ(keys(), c.queued) << c.name;
        const auto ev = events();
        if (c.event_kind == 0) {
            EXPECT_TRUE(ev.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(ev.size(), 1u) << c.name;
        EXPECT_EQ(ev[0].kind, c.event_kind) << c.name;
        EXPECT_EQ(ev[0].field[0], c.event_scancode) << c.name;
        EXPECT_EQ(ev[0].field[1], c.event_code) << c.name;
    }
    // Characters come separately; byte 0 and values above 255 are dropped.
    core.character('r', 2);
    core.character(0);
    core.character(0x100);
    EXPECT_EQ(keys(), (std::vector<int32_t>{'r', 'r'}));
    // A menu key of an inactive window is left to the system.
    st.active = false;
    KeyInput sys = key('A', 30, 'a', lichtbox::kModLeftAlt);
    sys.system = sys.alt = true;
    EXPECT_TRUE(core.key(sys));
    EXPECT_TRUE(keys().empty());
    EXPECT_TRUE(events().empty());
}

TEST_F(EventCoreTest, WheelsCountNotches) {
    core.wheel(120);
    core.wheel(-1);
    core.wheel(-1);
    core.hwheel(1);
    const auto ev = events();
    ASSERT_EQ(ev.size(), 4u);
    EXPECT_EQ(ev[0].kind, GFX_EVENT_WHEEL);
    EXPECT_EQ(ev[0].field[0], 1);
    EXPECT_EQ(ev[2].field[0], -1);
    EXPECT_EQ(ev[3].kind, GFX_EVENT_HWHEEL);
    EXPECT_EQ(ev[3].field[0], 1);
}

TEST_F(EventCoreTest, SetMouseClampsTheCursorButKeepsTheGivenPosition) {
    core.set_mouse(700, -3, 0, 1);
    EXPECT_EQ(platform.log, "warp 639,0 hide confine ");
    EXPECT_EQ(st.mouse.x, 700);
    EXPECT_EQ(st.mouse.y, -3);
    EXPECT_TRUE(st.mouse_clip);
    platform.log.clear();
    core.set_mouse(-1, 5, 1, 0);  // no move, but cursor and clip apply
    EXPECT_EQ(platform.log, "show free ");
    EXPECT_EQ(st.mouse.x, 700);
    platform.log.clear();
    core.set_mouse(-1, 0, -1, -1);
    EXPECT_EQ(platform.log, "");
}

TEST_F(EventCoreTest, KeyStatesFollowTheVirtualKeysWhileActive) {
    std::bitset<256> down;
    down[0x10] = true;  // shift: both shift rows
    down[0x67] = true;  // numeric keypad 7: the Home row
    core.refresh_key_states(down);
    EXPECT_EQ(ctx->key_state[42], 1);
    EXPECT_EQ(ctx->key_state[54], 1);
    EXPECT_EQ(ctx->key_state[71], 1);
    EXPECT_EQ(ctx->key_state[30], 0);
    st.active = false;
    core.refresh_key_states({});
    EXPECT_EQ(ctx->key_state[42], 1);
}

TEST_F(EventCoreTest, SetPositionReturnsThePreviousCorner) {
    const auto keep = static_cast<int32_t>(0x80000000u);
    EXPECT_EQ(core.set_position(keep, 100), int32_t(30u | (0xFFFBu << 16)));
    EXPECT_EQ(platform.log, "move 30,100 ");
    st.flags = gfx::window::kFullscreen;
    EXPECT_EQ(core.set_position(1, 1), 0);
}

}  // namespace
