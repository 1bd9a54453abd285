// The shared driver loop with a fake binding: the pass schedule, a failed
// open, a new picture on the visible page waking the next pass, input taken
// between passes, and the end of the loop when the binding ends.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#else
#include <poll.h>
#endif

#include "gfx/core/context_internal.h"
#include "gfx/drivers/window/dirty_rows.h"
#include "gfx/drivers/window/driver_loop.h"
#include "gfx/drivers/window/window_host.h"

namespace {

using gfx::window::Clock;
using gfx::window::DriverBinding;
using gfx::window::PassSchedule;
using namespace std::chrono_literals;

TEST(PassScheduleTest, DueTimes) {
    const Clock::time_point t0{std::chrono::seconds(100)};
    const Clock::duration later = 5ms;  // when the binding asks for a pass
    struct Case {
        const char* what;
        bool again;    // wanted when the pass ended
        bool picture;  // a new picture came
        bool asked;    // the binding asked at t0 + later
        Clock::duration due;  // after t0, the end of the pass
    } const cases[] = {
        {"a pass every interval", false, false, false, PassSchedule::kInterval},
        {"wanted at the end: at once", true, false, false, Clock::duration(0)},
        {"a new picture: the gap", false, true, false, PassSchedule::kMinGap},
        {"asked for: at once", false, false, true, later},
        {"a picture, then asked: the gap stays", false, true, true, PassSchedule::kMinGap},
    };
    for (const Case& c : cases) {
        PassSchedule s;
        s.passed(t0, c.again);
        if (c.picture) s.bring_forward();
        if (c.asked) s.due_now(t0 + later);
        EXPECT_EQ(s.due() - t0, c.due) << c.what;
    }
}

class FakePlatform final : public gfx::window::WindowPlatform {
public:
    void confine_cursor(bool) override {}
    void show_cursor(bool) override {}
    void move_cursor(int32_t, int32_t) override {}
    bool switch_fullscreen(bool) override { return true; }
    void window_position(int32_t* left, int32_t* top) const override { *left = *top = 0; }
    void move_window(int32_t, int32_t) override {}
    void set_title(const char*) override {}
    void paint() override {}
};

// Counts what the loop asks of it; input and the end come from the test.
class FakeBinding final : public DriverBinding {
public:
    bool open() override { return opens; }
    gfx::window::WindowPlatform& platform() override { return platform_; }
    bool show() override {
        gfx::window::RowBand band{};
        const bool shown = gfx::window::dirty_band(&band);
        gfx::window::clear_dirty_rows();
        return shown;
    }
    // Input is handled once taken, as the X11 binding reads events from
    // the server before the lock.
    void handle_input() override { handled += took.exchange(0); }
    void take_input() override {
        ++taken;
        took += input.exchange(0);
    }
    Woken wait(int32_t timeout_ms, const gfx::window::WakeSignal& wake) override {
        const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
        while (Clock::now() < end) {
            if (input.load() > 0) return Woken::input;
            if (raised(wake)) {
                ++wakes;
                return Woken::wake;
            }
            std::this_thread::sleep_for(1ms);
        }
        return Woken::timeout;
    }
    bool ended() const override { return end_loop.load(); }
    void stop() override { ++stops; }
    void close() override { ++closes; }

    std::atomic<bool> opens{true};
    std::atomic<bool> end_loop{false};
    std::atomic<int> input{0}, took{0}, handled{0}, taken{0}, wakes{0}, stops{0}, closes{0};

private:
    static bool raised(const gfx::window::WakeSignal& wake) {
#if defined(_WIN32)
        return WaitForSingleObject(wake.handle(), 0) == WAIT_OBJECT_0;
#else
        pollfd p{wake.read_end(), POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
#endif
    }
    FakePlatform platform_;
};

FakeBinding* g_binding = nullptr;

int32_t fake_init(const char* title, int32_t w, int32_t h, int32_t depth, int32_t refresh, int32_t flags) {
    gfx::window::WindowHost& host = gfx::window::WindowHost::instance();
    host.reset(title, w, h, depth, refresh, uint32_t(flags));
    return host.start([](std::promise<bool>& started) { gfx::window::run_driver(started, *g_binding); });
}

const GfxDriver kFake = {
    "Fake", fake_init, gfx::window::shared_exit, gfx::window::shared_lock, gfx::window::shared_unlock,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};
const GfxDriver* const kDrivers[] = {&kFake};

bool wait_until(const std::function<bool()>& done) {
    const auto end = Clock::now() + 10s;
    while (Clock::now() < end && !done()) std::this_thread::sleep_for(1ms);
    return done();
}

class DriverLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_binding = &binding_;
        gfx::set_driver_list(kDrivers);
        unsetenv("ZRGFX");
    }
    void TearDown() override {
        gfx_screen_set(0, 0, 0, 0, 0);
        gfx::set_driver_list({});
        g_binding = nullptr;
    }
    FakeBinding binding_;
};

TEST_F(DriverLoopTest, FailedOpenFailsTheSetUpAndCloses) {
    binding_.opens = false;
    EXPECT_NE(gfx_screen_set_size(32, 24, 32, 2, 0, 0), 0);
    EXPECT_GE(binding_.closes.load(), 1);
    EXPECT_EQ(binding_.stops.load(), 0);
}

TEST_F(DriverLoopTest, PicturesWakeInputIsTakenAndTheLoopEnds) {
    const uint64_t passes = gfx::window::loop_stats().passes;
    ASSERT_EQ(gfx_screen_set_size(32, 24, 32, 2, 0, 0), 0);
    ASSERT_TRUE(wait_until([&] { return gfx::window::loop_stats().passes > passes + 1; }));

    // A picture copied onto the visible page raises the wake signal, and
    // the pass after it shows rows.
    const uint64_t shows = gfx::window::loop_stats().shows;
    gfx_page_copy(1, -1);
    EXPECT_TRUE(wait_until([&] { return binding_.wakes.load() > 0; }));
    EXPECT_TRUE(wait_until([&] { return gfx::window::loop_stats().shows > shows; }));

    // Input between passes is taken, then handled.
    binding_.input = 3;
    EXPECT_TRUE(wait_until([&] { return binding_.handled.load() == 3; }));
    EXPECT_GE(binding_.taken.load(), 1);

    // The binding ends the loop: it stops once, and closes when the screen
    // closes.
    binding_.end_loop = true;
    EXPECT_TRUE(wait_until([&] { return binding_.stops.load() == 1; }));
    const uint64_t after = gfx::window::loop_stats().passes;
    gfx_screen_set(0, 0, 0, 0, 0);
    EXPECT_EQ(gfx::window::loop_stats().passes, after);
    EXPECT_EQ(binding_.closes.load(), 1);
}

}  // namespace
