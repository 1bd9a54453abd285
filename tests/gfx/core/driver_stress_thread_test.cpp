// Stress: threads post keys, events and mouse moves and a display thread
// shows the visible page the way a driver thread does, all under the
// window lock, while the program's thread draws, copies pages, flips the
// visible page and changes the palette. Built with ThreadSanitizer in the
// threaded test configuration.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "gfx/core/context_internal.h"
#include "gfx/gfx.h"

namespace {

constexpr int kWidth = 320, kHeight = 200;
constexpr int kProducers = 3;  // key, event and mouse threads
constexpr int kKeyScancode = 30;

// What a window keeps, guarded by its lock: the driver's lock slot takes it,
// and the runtime calls get_mouse and set_palette while holding it.
struct Window {
    std::mutex lock;
    int32_t mouse_x = 0, mouse_y = 1, buttons = 0;  // mouse_y == 2 * mouse_x + 1
    uint32_t shown_colors[256] = {};
} g_window;

int32_t get_mouse(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons, int32_t* clip) {
    *x = g_window.mouse_x;
    *y = g_window.mouse_y;
    *buttons = g_window.buttons;
    *wheel = *clip = 0;
    return 0;
}

const GfxDriver kStressDriver = {
    "Stress",
    [](const char*, int32_t, int32_t, int32_t, int32_t, int32_t) -> int32_t { return 0; },
    [] {},
    [] { g_window.lock.lock(); },
    [] { g_window.lock.unlock(); },
    [](int32_t i, int32_t r, int32_t g, int32_t b) { g_window.shown_colors[i] = uint32_t(r | g << 8 | b << 16); },
    nullptr,
    get_mouse,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// The display side: every pass shows the dirty rows of the visible page.
// The program only ever makes a page visible that holds one colour and
// copies pages of one colour onto it under the lock, so whenever the
// display holds the lock the whole page holds one colour.
struct Display {
    std::atomic<int64_t> rows_shown{0};
    int64_t mixed_rows = 0;

    void pass(GfxContext* ctx) {
        std::lock_guard<std::mutex> hold(g_window.lock);
        const uint8_t* page = ctx->pages[ctx->visible_page];
        for (int y = 0; y < ctx->h; ++y) {
            const uint8_t* row = page + y * ctx->pitch;
            mixed_rows += std::count(row, row + ctx->w, page[0]) != ctx->w;
            if (!ctx->dirty[y]) continue;
            volatile uint32_t shown = g_window.shown_colors[row[0]];  // what the device would show
            (void)shown;
            ctx->dirty[y] = 0;
            ++rows_shown;
        }
    }
};

class DriverStressThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("ZRGFX");
        static const GfxDriver* list[] = {&kStressDriver};
        gfx::set_driver_list(list);
        ASSERT_EQ(gfx_screen_set_size(kWidth, kHeight, 8, 4, 0, 0), 0);
        ctx = gfx_context();
    }
    void TearDown() override {
        gfx_screen_set(0, 0, 0, 0, 0);
        gfx::set_driver_list({});
    }
    GfxContext* ctx = nullptr;
};

// The drawing of one pass of the program, on the hidden page 1.
void draw_hidden(int i, std::vector<uint8_t>& sprite) {
    gfx_page_set(1, -1);
    const float f = float(i % kWidth);
    gfx_line(nullptr, f, 0, float(kWidth - 1) - f, kHeight - 1, uint32_t(i), 0, 0xF0F0, 0);
    gfx_circle(nullptr, 32, 24, float(4 + i % 20), uint32_t(i + 1), 0, 0, 6.283186f, i & 1, 0);
    gfx_paint(nullptr, 32, 24, uint32_t(i + 2), uint32_t(i + 1), nullptr, 0, 0);
    gfx_print(0, rt_str_temp_cstr("stress \t\n"), RT_PRINT_NEWLINE);
    ASSERT_EQ(gfx_get(nullptr, 0, 0, 7, 7, sprite.data(), coord_abs_abs, nullptr), 0);
    ASSERT_EQ(gfx_put(nullptr, float(i % 50), 20, sprite.data(), GFX_COORD_OMITTED, 0, 0, 0, 0, PUT_METHOD_COPY,
                      put_copy, -1, nullptr, nullptr),
              0);
}

TEST_F(DriverStressThreadTest, InputAndDisplayThreadsAgainstDrawingCopiesAndPalettes) {
    constexpr int kPasses = 1000;
    GfxContext* const c = ctx;
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;

    threads.emplace_back([&] {  // keys, half of them with the key state, as the window procedure does
        for (int32_t i = 0; !stop.load(); ++i) {
            if (i & 1) {
                std::lock_guard<std::mutex> hold(g_window.lock);
                c->key_state[kKeyScancode] = uint8_t(i & 2);
                gfx_post_key('a' + i % 26);
            } else {
                gfx_post_key((0x3B + i % 10) << 8 | 0xFF);
            }
            std::this_thread::yield();
        }
    });
    threads.emplace_back([&] {  // events
        for (int32_t i = 1; !stop.load(); ++i) {
            const GfxEvent e{GFX_EVENT_KEY_DOWN, {1, i, 0, 0}};
            gfx_post_event(&e);
            std::this_thread::yield();
        }
    });
    threads.emplace_back([&] {  // mouse moves: the state under the lock, then the event
        for (int32_t i = 1; !stop.load(); ++i) {
            {
                std::lock_guard<std::mutex> hold(g_window.lock);
                g_window.mouse_x = i;
                g_window.mouse_y = 2 * i + 1;
                g_window.buttons = i & 1;
            }
            const GfxEvent e{GFX_EVENT_MOUSE_MOVE, {2, i, i, 2 * i + 1}};
            gfx_post_event(&e);
            std::this_thread::yield();
        }
    });
    Display display;
    threads.emplace_back([&] {
        while (!stop.load()) {
            display.pass(c);
            std::this_thread::yield();
        }
    });

    // Stops and joins the threads on every way out of the test.
    struct Joiner {
        std::atomic<bool>& stop;
        std::vector<std::thread>& threads;
        ~Joiner() {
            stop = true;
            for (std::thread& t : threads)
                if (t.joinable()) t.join();
        }
    };
    std::optional<Joiner> joiner(std::in_place, stop, threads);

    int32_t last_seq[kProducers] = {};
    int64_t keys = 0, events = 0;
    auto read_input = [&] {
        RuntimeString* k = gfx_inkey();
        keys += rt_str_len(k) > 0;
        rt_str_release_temp(k);
        gfx_multikey(kKeyScancode);
        for (GfxEvent e{}; gfx_take_event(&e) != 0; ++events) {
            ASSERT_TRUE(e.field[0] == 1 || e.field[0] == 2);
            EXPECT_GT(e.field[1], last_seq[e.field[0]]);  // drops allowed, reordering not
            last_seq[e.field[0]] = e.field[1];
            if (e.kind == GFX_EVENT_MOUSE_MOVE) {
                EXPECT_EQ(e.field[3], 2 * e.field[2] + 1);
            }
        }
        int32_t x = 0, y = 0, wheel = 0, buttons = 0, clip = 0;
        ASSERT_EQ(gfx_get_mouse(&x, &y, &wheel, &buttons, &clip), 0);
        EXPECT_EQ(y, 2 * x + 1);  // never a half-written position
    };

    std::vector<uint8_t> sprite(32 + 8 * 16);
    for (int i = 0; i < kPasses; ++i) {
        draw_hidden(i, sprite);

        // A page of one colour, copied onto the page that is shown next.
        const uint8_t colour = uint8_t(16 + i % 200);
        gfx_page_set(2, -1);
        gfx_line(nullptr, 0, 0, kWidth - 1, kHeight - 1, colour, 2, 0xFFFF, 0);
        if (i % 3 == 0) {
            ASSERT_EQ(gfx_page_copy(2, -1), 0);  // onto the visible page itself
        } else {
            const int32_t shown = ctx->visible_page == 3 ? 0 : 3;
            ASSERT_EQ(gfx_page_copy(2, shown), 0);
            gfx_page_set(2, shown);
        }
        gfx_palette_set(colour, i * 7 % 256, i * 13 % 256, i * 29 % 256);
        if (i % 25 == 0) gfx_palette_set(-1, 0, 0, 0);
        read_input();
    }
    // Under load a producer may get its first turn late; wait for each
    // (the deadline only guards against a hang).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((keys == 0 || events == 0 || display.rows_shown.load() == 0) &&
           std::chrono::steady_clock::now() < deadline) {
        read_input();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    joiner.reset();

    std::printf("%d passes: %lld keys, %lld events, %lld rows shown\n", kPasses, static_cast<long long>(keys),
                static_cast<long long>(events), static_cast<long long>(display.rows_shown.load()));
    EXPECT_EQ(display.mixed_rows, 0);
    EXPECT_GT(display.rows_shown, 0);
    EXPECT_GT(keys, 0);
    EXPECT_GT(events, 0);
    EXPECT_EQ(ctx->flags & (GFX_LOCK_HELD | GFX_LOCK_AUTO), 0u);
    EXPECT_EQ(rt_str_temps_in_use(), 0);
}

}  // namespace
