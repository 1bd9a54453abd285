// Key queue, event queue, key/mouse/sleep services and the palette ports on
// one thread.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "gfx/console/input_internal.h"
#include "gfx/core/context_internal.h"
#include "gfx/gfx.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t elapsed_ms(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

// Empties the process-wide key ring and its flag.
void drain_keys() {
    while (gfx_take_key() != 0) {
    }
    gfx_key_pressed();
}

// Takes inkey's text and releases the temporary string.
std::string take_text(RuntimeString* s) {
    std::string text;
    if (rt_str_len(s) > 0) text.assign(s->data, std::size_t(rt_str_len(s)));
    rt_str_release_temp(s);
    return text;
}

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ZRGFX", "null", 1);
        ASSERT_EQ(gfx_screen_set(18, 32, 4, 0, 0), 0);
        ctx = gfx_context();
        ASSERT_NE(ctx, nullptr);
        drain_keys();
    }
    void TearDown() override {
        gfx_screen_set(0, 0, 0, 0, 0);
        drain_keys();
    }
    GfxContext* ctx = nullptr;
};

struct TextCase {
    int32_t code;
    std::string text;
};

TEST_F(InputTest, InkeyGivesTheTextOfEachCode) {
    const TextCase cases[] = {
        {'r', "r"},
        {'e', "e"},
        {0x01, "\x01"},
        {0xFF, "\xFF"},
        {0x6BFF, "\xFF"
                 "k"},  // close button
        {0x3BFF, "\xFF;"},  // F1
        {0x48FF, "\xFFH"},
        {0x86FF, std::string("\xFF\x86", 2)},
        {256, "\xFF"
              "k"},
        {257, "\xFFH"},
        {262, "\xFFS"},
        {266, "\xFFQ"},
        {267, "\xFF;"},
        {276, "\xFF"
              "D"},
        {277, "\xFF"
              "D"},
        {0x7FFFFF00, "\xFF"
                     "D"},
    };
    const int32_t temps = rt_str_temps_in_use();
    for (const TextCase& c : cases) {
        gfx_post_key(c.code);
        EXPECT_EQ(take_text(gfx::graphics_inkey()), c.text) << std::hex << c.code;
    }
    EXPECT_EQ(take_text(gfx::graphics_inkey()), "");
    EXPECT_EQ(rt_str_temps_in_use(), temps);
}

TEST_F(InputTest, PublicServicesReachTheGraphicsVersions) {
    const ConsoleHooks* hooks = rt_hooks();
    ASSERT_NE(hooks, nullptr);
    EXPECT_EQ(hooks->inkey, gfx::graphics_inkey);
    EXPECT_EQ(hooks->getkey, gfx::graphics_getkey);
    EXPECT_EQ(hooks->keyhit, gfx::graphics_keyhit);
    EXPECT_EQ(hooks->multikey, gfx::graphics_multikey);
    EXPECT_EQ(hooks->get_mouse, gfx::graphics_get_mouse);
    EXPECT_EQ(hooks->set_mouse, gfx::graphics_set_mouse);
    EXPECT_EQ(hooks->sleep, gfx::graphics_sleep);
    EXPECT_EQ(hooks->port_in, gfx::graphics_port_in);
    EXPECT_EQ(hooks->port_out, gfx::graphics_port_out);

    gfx_post_key(0x6BFF);
    EXPECT_EQ(gfx_keyhit(), 1);
    EXPECT_EQ(take_text(gfx_inkey()),
              "\xFF"
              "k");
    EXPECT_EQ(gfx_keyhit(), 0);
}

TEST_F(InputTest, SixteenKeysLeaveTheLastFifteen) {
    for (int32_t k = 1; k <= 16; ++k) EXPECT_EQ(gfx_post_key(k), 1);
    const GfxKeyQueue q = gfx::key_queue_snapshot();
    EXPECT_EQ((q.tail - q.head) & 15, 15);  // full: one slot stays free
    for (int32_t k = 2; k <= 16; ++k) EXPECT_EQ(gfx_take_key(), k);
    EXPECT_EQ(gfx_take_key(), 0);
}

TEST_F(InputTest, FullRingKeepsDroppingTheOldest) {
    for (int32_t k = 1; k <= 40; ++k) gfx_post_key(k);
    for (int32_t k = 26; k <= 40; ++k) EXPECT_EQ(gfx_take_key(), k);
    EXPECT_EQ(gfx_keyhit(), 0);
    // Wrapping after partial reads keeps order.
    for (int32_t k = 1; k <= 10; ++k) gfx_post_key(k);
    EXPECT_EQ(gfx_take_key(), 1);
    for (int32_t k = 11; k <= 17; ++k) gfx_post_key(k);
    for (int32_t k = 3; k <= 17; ++k) EXPECT_EQ(gfx_take_key(), k);
    EXPECT_EQ(gfx_take_key(), 0);
}

TEST_F(InputTest, KeyhitDoesNotTakeTheKey) {
    EXPECT_EQ(gfx::graphics_keyhit(), 0);
    gfx_post_key('x');
    EXPECT_EQ(gfx::graphics_keyhit(), 1);
    EXPECT_EQ(gfx::graphics_keyhit(), 1);
    EXPECT_EQ(gfx_take_key(), 'x');
    EXPECT_EQ(gfx::graphics_keyhit(), 0);
}

TEST_F(InputTest, KeyPressedFlagIsClearedByEachLook) {
    EXPECT_EQ(gfx_key_pressed(), 0);
    gfx_post_key('a');
    EXPECT_EQ(gfx_key_pressed(), 1);
    EXPECT_EQ(gfx_key_pressed(), 0);
    gfx_post_key('b');
    EXPECT_EQ(gfx_take_key(), 'a');
    EXPECT_EQ(gfx_key_pressed(), 0);  // the take cleared it though 'b' waits
    EXPECT_EQ(gfx_take_key(), 'b');
}

TEST_F(InputTest, ScreenLockIsReleasedAfterKeyAccess) {
    gfx_post_key('a');
    gfx_take_key();
    gfx_key_pressed();
    gfx::graphics_keyhit();
    gfx::graphics_multikey(1);
    EXPECT_EQ(ctx->flags & (GFX_LOCK_HELD | GFX_LOCK_AUTO), 0u);
}

TEST(InputNoScreen, KeyRingSurvivesScreensAndServicesAnswerEmpty) {
    setenv("ZRGFX", "null", 1);
    drain_keys();
    gfx_post_key('q');
    gfx_post_key(0x3BFF);
    ASSERT_EQ(gfx_context(), nullptr);
    EXPECT_EQ(take_text(gfx::graphics_inkey()), "");  // nothing taken without a screen
    EXPECT_EQ(gfx::graphics_getkey(), 0);
    EXPECT_EQ(gfx::graphics_multikey(30), 0);
    int32_t v[5] = {7, 7, 7, 7, 7};
    EXPECT_EQ(gfx::graphics_get_mouse(&v[0], &v[1], &v[2], &v[3], &v[4]), 1);
    for (int32_t x : v) EXPECT_EQ(x, -1);
    EXPECT_EQ(gfx::graphics_set_mouse(1, 2, 1, 0), 1);
    EXPECT_EQ(gfx::graphics_port_in(986), 0);
    EXPECT_EQ(gfx::graphics_port_out(968, 1), 0);
    GfxEvent e{GFX_EVENT_FOCUS_IN, {}};
    gfx_post_event(&e);
    EXPECT_EQ(gfx_take_event(&e), 0);

    ASSERT_EQ(gfx_screen_set(18, 32, 4, 0, 0), 0);
    EXPECT_EQ(take_text(gfx::graphics_inkey()), "q");
    gfx_screen_set(0, 0, 0, 0, 0);
    ASSERT_EQ(gfx_screen_set(13, 8, 1, 0, 0), 0);
    EXPECT_EQ(take_text(gfx::graphics_inkey()), "\xFF;");
    gfx_screen_set(0, 0, 0, 0, 0);
}

TEST_F(InputTest, MultikeyReadsKeyStateAndRejectsBadScancodes) {
    ctx->key_state[30] = 1;
    ctx->key_state[127] = 0x80;
    EXPECT_EQ(gfx::graphics_multikey(30), -1);
    EXPECT_EQ(gfx::graphics_multikey(127), -1);
    EXPECT_EQ(gfx::graphics_multikey(31), 0);
    EXPECT_EQ(gfx::graphics_multikey(0), 0);
    for (int32_t bad : {-1, 128, 255, 1 << 20, INT32_MIN}) EXPECT_EQ(gfx::graphics_multikey(bad), 0) << bad;
    ctx->key_state[30] = 0;
    EXPECT_EQ(gfx_multikey(30), 0);
}

TEST_F(InputTest, NullDriverHasNoMouse) {
    int32_t x = 5, y = 5, wheel = 5, buttons = 5, clip = 5;
    EXPECT_EQ(gfx::graphics_get_mouse(&x, &y, &wheel, &buttons, &clip), 1);
    EXPECT_EQ(rt_get_error(), 1);
    EXPECT_EQ(x, -1);
    EXPECT_EQ(y, -1);
    EXPECT_EQ(wheel, -1);
    EXPECT_EQ(buttons, -1);
    EXPECT_EQ(clip, -1);
    x = y = 3;
    EXPECT_EQ(gfx::graphics_get_mouse(&x, &y, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(x, -1);
    EXPECT_EQ(y, -1);
    EXPECT_EQ(gfx::graphics_get_mouse(nullptr, nullptr, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(gfx::graphics_set_mouse(10, 10, 1, 0), 1);
    EXPECT_EQ(rt_get_error(), 1);
}

// A driver with a mouse: answers from these variables and counts locks.
int g_mouse_result = 0;
int g_locks = 0, g_unlocks = 0;
int32_t g_set_args[4];
const GfxDriver kMouseDriver = {
    "Mouse",
    [](const char*, int32_t, int32_t, int32_t, int32_t, int32_t) -> int32_t { return 0; },
    [] {},
    [] { ++g_locks; },
    [] { ++g_unlocks; },
    nullptr,
    nullptr,
    [](int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons, int32_t* clip) -> int32_t {
        if (g_mouse_result != 0) return g_mouse_result;
        *x = 320;
        *y = 200;
        *wheel = -3;
        *buttons = 5;
        *clip = 1;
        return 0;
    },
    [](int32_t x, int32_t y, int32_t cursor, int32_t clip) -> int32_t {
        g_set_args[0] = x;
        g_set_args[1] = y;
        g_set_args[2] = cursor;
        g_set_args[3] = clip;
        return 0;
    },
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

class MouseDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("ZRGFX");
        static const GfxDriver* list[] = {&kMouseDriver};
        gfx::set_driver_list(list);
        ASSERT_EQ(gfx_screen_set(18, 32, 2, 0, 0), 0);
        g_locks = g_unlocks = 0;
        g_mouse_result = 0;
    }
    void TearDown() override {
        gfx_screen_set(0, 0, 0, 0, 0);
        gfx::set_driver_list({});
    }
};

TEST_F(MouseDriverTest, GetMouseAnswersFromTheDriverUnderTheLock) {
    int32_t x = 0, y = 0, wheel = 0, buttons = 0, clip = 0;
    EXPECT_EQ(gfx::graphics_get_mouse(&x, &y, &wheel, &buttons, &clip), 0);
    EXPECT_EQ(rt_get_error(), 0);
    EXPECT_EQ(x, 320);
    EXPECT_EQ(y, 200);
    EXPECT_EQ(wheel, -3);
    EXPECT_EQ(buttons, 5);
    EXPECT_EQ(clip, 1);
    EXPECT_EQ(g_locks, 1);
    EXPECT_EQ(g_unlocks, 1);
    x = y = 0;
    EXPECT_EQ(gfx_get_mouse(&x, &y, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(x, 320);
}

TEST_F(MouseDriverTest, CursorOutsideTheWindowGivesMinusOneEverywhere) {
    g_mouse_result = -1;
    int32_t v[5] = {9, 9, 9, 9, 9};
    EXPECT_EQ(gfx::graphics_get_mouse(&v[0], &v[1], &v[2], &v[3], &v[4]), 1);
    for (int32_t x : v) EXPECT_EQ(x, -1);
    EXPECT_EQ(g_unlocks, 1);
}

TEST_F(MouseDriverTest, SetMousePassesItsArguments) {
    EXPECT_EQ(gfx::graphics_set_mouse(-1, 7, 0, 1), 0);
    EXPECT_EQ(rt_get_error(), 0);
    EXPECT_EQ(g_set_args[0], -1);
    EXPECT_EQ(g_set_args[1], 7);
    EXPECT_EQ(g_set_args[2], 0);
    EXPECT_EQ(g_set_args[3], 1);
    EXPECT_EQ(g_locks, 1);
    EXPECT_EQ(g_unlocks, 1);
}

// Sleeping: lower bounds are exact requirements; the upper bounds only
// catch a sleep that ignores a waiting key and are far from the expected
// figures.
TEST_F(InputTest, ShortSleepsAreNeverCut) {
    gfx_post_key('a');
    auto t0 = Clock::now();
    gfx::graphics_sleep(50);
    EXPECT_GE(elapsed_ms(t0), 50);
    EXPECT_EQ(gfx_key_pressed(), 1);  // the short sleep did not look

    gfx_post_key('b');
    t0 = Clock::now();
    gfx::graphics_sleep(99);
    EXPECT_GE(elapsed_ms(t0), 99);
    EXPECT_EQ(gfx_key_pressed(), 1);
}

TEST_F(InputTest, LongSleepEndsAtOnceForAFreshKey) {
    gfx_post_key('a');
    const auto t0 = Clock::now();
    gfx::graphics_sleep(2000);
    EXPECT_LT(elapsed_ms(t0), 1000);
    EXPECT_EQ(gfx_key_pressed(), 0);  // the sleep consumed the flag
    EXPECT_EQ(gfx_take_key(), 'a');   // not the code
}

TEST_F(InputTest, WaitingCodesThatWereSeenDoNotCutASleep) {
    gfx_post_key('a');
    EXPECT_EQ(gfx_key_pressed(), 1);
    const auto t0 = Clock::now();
    gfx::graphics_sleep(150);
    EXPECT_GE(elapsed_ms(t0), 150);
    EXPECT_EQ(gfx::graphics_keyhit(), 1);
}

TEST_F(InputTest, SleepForeverReturnsForAPostedKey) {
    gfx_post_key('z');
    gfx::graphics_sleep(-1);  // would hang without the key
    EXPECT_EQ(gfx_key_pressed(), 0);
    EXPECT_EQ(gfx_take_key(), 'z');
}

TEST_F(InputTest, NonPositiveSleepsReturnAtOnce) {
    gfx_post_key('a');
    for (int32_t ms : {0, -2, -100, INT32_MIN}) gfx::graphics_sleep(ms);
    EXPECT_EQ(gfx_key_pressed(), 1);  // none of them looked for a key
}

TEST_F(InputTest, GetkeyReturnsAWaitingKeyAfterItsPause) {
    gfx_post_key(0x48FF);
    const auto t0 = Clock::now();
    EXPECT_EQ(gfx::graphics_getkey(), 0x48FF);
    EXPECT_GE(elapsed_ms(t0), 20);
    EXPECT_EQ(gfx::graphics_keyhit(), 0);
    gfx_post_key('k');
    EXPECT_EQ(gfx_getkey(), 'k');
}

// Event queue.
TEST_F(InputTest, EventsComeOutInOrder) {
    for (int32_t i = 0; i < 5; ++i) {
        GfxEvent e{GFX_EVENT_MOUSE_MOVE, {i, 2 * i, -i, 7}};
        gfx_post_event(&e);
    }
    for (int32_t i = 0; i < 5; ++i) {
        GfxEvent e{};
        ASSERT_EQ(gfx_take_event(&e), 1);
        EXPECT_EQ(e.kind, GFX_EVENT_MOUSE_MOVE);
        EXPECT_EQ(e.field[0], i);
        EXPECT_EQ(e.field[1], 2 * i);
        EXPECT_EQ(e.field[2], -i);
        EXPECT_EQ(e.field[3], 7);
    }
    GfxEvent e{};
    EXPECT_EQ(gfx_take_event(&e), 0);
    gfx_post_event(nullptr);
    EXPECT_EQ(gfx_take_event(&e), 0);
    EXPECT_EQ(gfx_take_event(nullptr), 0);
}

TEST_F(InputTest, FullEventQueueDropsTheOldest) {
    for (int32_t i = 1; i <= 300; ++i) {
        GfxEvent e{GFX_EVENT_KEY_DOWN, {i, 0, 0, 0}};
        gfx_post_event(&e);
    }
    for (int32_t i = 300 - 126; i <= 300; ++i) {
        GfxEvent e{};
        ASSERT_EQ(gfx_take_event(&e), 1);
        EXPECT_EQ(e.field[0], i);
    }
    GfxEvent e{};
    EXPECT_EQ(gfx_take_event(&e), 0);
    EXPECT_GE(ctx->event_head, 0);
    EXPECT_LT(ctx->event_head, GFX_EVENT_QUEUE_SIZE);
}

TEST_F(InputTest, ReopeningTheScreenEmptiesTheEventQueue) {
    GfxEvent e{GFX_EVENT_CLOSE_REQUEST, {}};
    gfx_post_event(&e);
    ASSERT_EQ(gfx_screen_set(18, 32, 4, 0, 0), 0);
    EXPECT_EQ(gfx_take_event(&e), 0);
}

// Palette ports.
class PortTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ZRGFX", "null", 1);
        ASSERT_EQ(gfx_screen_set(13, 8, 1, 0, 0), 0);
        ctx = gfx_context();
    }
    void TearDown() override { gfx_screen_set(0, 0, 0, 0, 0); }
    void write_entry(int32_t index, int32_t r, int32_t g, int32_t b) {
        gfx::graphics_port_out(968, index);
        gfx::graphics_port_out(969, r);
        gfx::graphics_port_out(969, g);
        gfx::graphics_port_out(969, b);
    }
    GfxContext* ctx = nullptr;
};

TEST_F(PortTest, WritesSetPaletteEntriesAndReadsGiveThemBack) {
    write_entry(5, 63, 32, 0);
    EXPECT_EQ(ctx->device_palette[5], 0x000081FFu);
    gfx::graphics_port_out(967, 5);
    EXPECT_EQ(gfx::graphics_port_in(969), 63);
    EXPECT_EQ(gfx::graphics_port_in(969), 32);
    EXPECT_EQ(gfx::graphics_port_in(969), 0);
}

TEST_F(PortTest, EverySixBitValueRoundTrips) {
    for (int32_t v = 0; v < 64; ++v) write_entry(v, v, 63 - v, v / 2);
    gfx::graphics_port_out(967, 0);
    for (int32_t v = 0; v < 64; ++v) {
        EXPECT_EQ(gfx::graphics_port_in(969), v);
        EXPECT_EQ(gfx::graphics_port_in(969), 63 - v);
        EXPECT_EQ(gfx::graphics_port_in(969), v / 2);
    }
    // 6-bit 63 shows as 255; blue 31 as 31 * 255 / 63 = 125.
    EXPECT_EQ(ctx->device_palette[63], 0x007D00FFu);
    EXPECT_EQ(ctx->device_palette[0], 0x0000FF00u);
}

TEST_F(PortTest, IndexAdvancesAfterBlue) {
    gfx::graphics_port_out(968, 10);
    for (int32_t i = 0; i < 6; ++i) gfx::graphics_port_out(969, 10 + i);
    gfx::graphics_port_out(967, 10);
    for (int32_t i = 0; i < 6; ++i) EXPECT_EQ(gfx::graphics_port_in(969), 10 + i);
    // An index write restarts the component sequence.
    gfx::graphics_port_out(968, 20);
    gfx::graphics_port_out(969, 1);
    gfx::graphics_port_out(968, 20);
    gfx::graphics_port_out(969, 2);
    gfx::graphics_port_out(969, 3);
    gfx::graphics_port_out(969, 4);
    gfx::graphics_port_out(967, 20);
    EXPECT_EQ(gfx::graphics_port_in(969), 2);
    EXPECT_EQ(gfx::graphics_port_in(969), 3);
    EXPECT_EQ(gfx::graphics_port_in(969), 4);
}

TEST_F(PortTest, OutOfRangeValuesAreMasked) {
    write_entry(0x1FF, 0x7F, -1, 64);  // index 255; components keep 6 bits
    gfx::graphics_port_out(967, 255);
    EXPECT_EQ(gfx::graphics_port_in(969), 63);
    EXPECT_EQ(gfx::graphics_port_in(969), 63);
    EXPECT_EQ(gfx::graphics_port_in(969), 0);
}

TEST_F(PortTest, RetraceBitToggles) {
    const int32_t first = gfx::graphics_port_in(986);
    EXPECT_TRUE(first == 0 || first == 8);
    for (int i = 0; i < 6; ++i) {
        const int32_t next = gfx::graphics_port_in(986);
        EXPECT_EQ(next, first ^ 8);
        EXPECT_EQ(gfx::graphics_port_in(986), first);
    }
}

TEST_F(PortTest, OtherPortsReadZero) {
    for (int32_t port : {0, 966, 970, 985, 987, -1, 0x3C9}) EXPECT_EQ(gfx::graphics_port_in(port), 0) << port;
    EXPECT_EQ(gfx::graphics_port_out(1234, 5), 0);
}

TEST_F(PortTest, PublicServicesReachThePorts) {
    gfx_port_out(968, 7);
    gfx_port_out(969, 1);
    gfx_port_out(969, 2);
    gfx_port_out(969, 3);
    gfx_port_out(967, 7);
    EXPECT_EQ(gfx_port_in(969), 1);
    EXPECT_EQ(gfx_port_in(969), 2);
    EXPECT_EQ(gfx_port_in(969), 3);
}

TEST(PortTrueColor, PortsDoNothingWithoutAPalette) {
    setenv("ZRGFX", "null", 1);
    for (int32_t depth : {16, 32}) {
        ASSERT_EQ(gfx_screen_set(18, depth, 1, 0, 0), 0);
        GfxContext* ctx = gfx_context();
        const uint32_t before = ctx->device_palette[3];
        gfx::graphics_port_out(968, 3);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(gfx::graphics_port_out(969, 40), 0);
        EXPECT_EQ(ctx->device_palette[3], before);
        gfx::graphics_port_out(967, 3);
        EXPECT_EQ(gfx::graphics_port_in(969), 0);
        EXPECT_EQ(gfx::graphics_port_in(986), 0);
        EXPECT_EQ(gfx::graphics_port_in(986), 0);
        gfx_screen_set(0, 0, 0, 0, 0);
    }
}

}  // namespace
