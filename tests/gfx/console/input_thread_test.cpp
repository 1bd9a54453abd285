// Key services with a second thread posting input, as the driver thread
// does. Built with ThreadSanitizer in the threaded test configuration.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "gfx/console/input_internal.h"
#include "gfx/core/context_internal.h"
#include "gfx/gfx.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

int64_t elapsed_ms(Clock::time_point since) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - since).count();
}

void drain_keys() {
    while (gfx_take_key() != 0) {
    }
    gfx_key_pressed();
}

// Null driver: its lock does nothing, so only the ring's own guard keeps
// the two threads apart.
class InputThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ZRGFX", "null", 1);
        ASSERT_EQ(gfx_screen_set(18, 32, 2, 0, 0), 0);
        drain_keys();
    }
    void TearDown() override {
        gfx_screen_set(0, 0, 0, 0, 0);
        drain_keys();
    }
};

TEST_F(InputThreadTest, LongSleepEndsSoonAfterAKeyFromAnotherThread) {
    const auto t0 = Clock::now();
    std::thread producer([] {
        std::this_thread::sleep_for(milliseconds(120));
        gfx_post_key('r');
    });
    gfx::graphics_sleep(1000);
    const int64_t ms = elapsed_ms(t0);
    producer.join();
    std::printf("sleep(1000) with a key posted at 120 ms returned after %lld ms\n",
                static_cast<long long>(ms));
    EXPECT_GE(ms, 120);
    EXPECT_LT(ms, 600);
    EXPECT_EQ(gfx_take_key(), 'r');
}

TEST_F(InputThreadTest, ShortSleepLastsItsTimeWhileKeysArrive) {
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        while (!stop.load()) {
            gfx_post_key('x');
            std::this_thread::sleep_for(milliseconds(2));
        }
    });
    const auto t0 = Clock::now();
    gfx::graphics_sleep(50);
    const int64_t ms = elapsed_ms(t0);
    stop = true;
    producer.join();
    std::printf("sleep(50) while keys arrived lasted %lld ms\n", static_cast<long long>(ms));
    EXPECT_GE(ms, 50);
}

TEST_F(InputThreadTest, GetkeyWaitsForAKeyFromAnotherThread) {
    const auto t0 = Clock::now();
    std::thread producer([] {
        std::this_thread::sleep_for(milliseconds(100));
        gfx_post_key(0x6BFF);
    });
    EXPECT_EQ(gfx::graphics_getkey(), 0x6BFF);
    const int64_t ms = elapsed_ms(t0);
    producer.join();
    std::printf("getkey with a key posted at 100 ms returned after %lld ms\n", static_cast<long long>(ms));
    EXPECT_GE(ms, 100);
    EXPECT_EQ(gfx::graphics_keyhit(), 0);
}

TEST_F(InputThreadTest, SleepForeverEndsWithAKeyFromAnotherThread) {
    std::thread producer([] {
        std::this_thread::sleep_for(milliseconds(60));
        gfx_post_key('e');
    });
    gfx::graphics_sleep(-1);
    producer.join();
    RuntimeString* s = gfx::graphics_inkey();
    ASSERT_EQ(rt_str_len(s), 1);
    EXPECT_EQ(s->data[0], 'e');
    rt_str_release_temp(s);
}

TEST_F(InputThreadTest, KeysAndEventsKeepTheirOrderUnderLoad) {
    constexpr int32_t kCount = 4000;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (int32_t i = 1; i <= kCount; ++i) {
            gfx_post_key(i);
            GfxEvent e{GFX_EVENT_KEY_DOWN, {i, 0, 0, 0}};
            gfx_post_event(&e);
            if (i % 64 == 0) std::this_thread::yield();
        }
        done = true;
    });
    int32_t last_key = 0, last_event = 0, keys = 0, events = 0;
    bool finished = false;
    while (!finished) {
        finished = done.load();  // one more full drain after the producer ended
        gfx::graphics_keyhit();
        gfx_key_pressed();
        for (int32_t code; (code = gfx_take_key()) != 0;) {
            EXPECT_GT(code, last_key);  // dropped codes are allowed, reordering is not
            last_key = code;
            ++keys;
        }
        for (GfxEvent e{}; gfx_take_event(&e) != 0;) {
            EXPECT_EQ(e.kind, GFX_EVENT_KEY_DOWN);
            EXPECT_GT(e.field[0], last_event);
            last_event = e.field[0];
            ++events;
        }
        gfx::graphics_sleep(1);
    }
    producer.join();
    EXPECT_EQ(last_key, kCount);  // the newest code is never the one dropped
    EXPECT_EQ(last_event, kCount);
    EXPECT_GT(keys, 0);
    EXPECT_GT(events, 0);
}

// A driver whose lock is a real mutex, taken by the "driver thread" below
// around its input updates as the window procedure does.
std::mutex g_window_lock;
const GfxDriver kLockingDriver = {
    "Locking",
    [](const char*, int32_t, int32_t, int32_t, int32_t, int32_t) -> int32_t { return 0; },
    [] {},
    [] { g_window_lock.lock(); },
    [] { g_window_lock.unlock(); },
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

class LockingDriverThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("ZRGFX");
        static const GfxDriver* list[] = {&kLockingDriver};
        gfx::set_driver_list(list);
        ASSERT_EQ(gfx_screen_set(18, 32, 2, 0, 0), 0);
        ctx = gfx_context();
        drain_keys();
    }
    void TearDown() override {
        gfx_screen_set(0, 0, 0, 0, 0);
        gfx::set_driver_list({});
        drain_keys();
    }
    GfxContext* ctx = nullptr;
};

TEST_F(LockingDriverThreadTest, MultikeyFollowsKeyStateWrittenByTheDriverThread) {
    std::atomic<int> step{0};
    GfxContext* c = ctx;
    std::thread driver([&] {
        {
            std::lock_guard<std::mutex> hold(g_window_lock);
            c->key_state[30] = 1;  // key "a" goes down
            gfx_post_key('a');
            GfxEvent e{GFX_EVENT_KEY_DOWN, {30, 'a', 0, 0}};
            gfx_post_event(&e);
        }
        while (step.load() != 1) std::this_thread::sleep_for(milliseconds(1));
        {
            std::lock_guard<std::mutex> hold(g_window_lock);
            c->key_state[30] = 0;  // and up again
            gfx_post_key(0x3BFF);
            GfxEvent e{GFX_EVENT_KEY_UP, {30, 'a', 0, 0}};
            gfx_post_event(&e);
        }
    });
    EXPECT_EQ(gfx::graphics_getkey(), 'a');
    EXPECT_EQ(gfx::graphics_multikey(30), -1);
    EXPECT_EQ(gfx::graphics_multikey(31), 0);
    step = 1;
    EXPECT_EQ(gfx::graphics_getkey(), 0x3BFF);
    EXPECT_EQ(gfx::graphics_multikey(30), 0);
    driver.join();
    GfxEvent e{};
    ASSERT_EQ(gfx_take_event(&e), 1);
    EXPECT_EQ(e.kind, GFX_EVENT_KEY_DOWN);
    ASSERT_EQ(gfx_take_event(&e), 1);
    EXPECT_EQ(e.kind, GFX_EVENT_KEY_UP);
    EXPECT_EQ(ctx->flags & (GFX_LOCK_HELD | GFX_LOCK_AUTO), 0u);
}

}  // namespace
