// A window system connection that breaks under an open screen: the driver
// thread reports it, and the process ends with the reported status, through
// the program thread's exit handlers when it locks the screen, or at once
// from the driver thread when the program thread does not come by.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "gfx/core/context_internal.h"
#include "gfx/drivers/window/window_host.h"

namespace {

using gfx::window::WindowHost;

std::atomic<bool> g_break{false};

// A driver thread that loses its connection when the test says so.
int32_t breaking_init(const char* title, int32_t w, int32_t h, int32_t depth, int32_t refresh, int32_t flags) {
    WindowHost& host = WindowHost::instance();
    host.reset(title, w, h, depth, refresh, uint32_t(flags));
    return host.start([&host](std::promise<bool>& started) {
        started.set_value(true);
        while (host.running() && !g_break) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!host.running()) return;
        host.lose_connection(3);
        host.await_end_after_loss();
    });
}

const GfxDriver kBreaking = {
    "Breaking", breaking_init, gfx::window::shared_exit, gfx::window::shared_lock, gfx::window::shared_unlock,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};
const GfxDriver* const kDrivers[] = {&kBreaking};

// Runs body in a child process; its exit status (-1 after a signal, 99 when
// the body returns).
int status_of_child(const std::function<void()>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(99);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void open_screen_and_break() {
    setenv("ZRGFX", "Breaking", 1);
    gfx::set_driver_list(kDrivers);
    if (gfx_screen_set(18, 32, 2, 0, 0) != 0) _exit(98);
    g_break = true;
    while (!WindowHost::instance().connection_lost()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Registered before the screen opens, so it runs after the screen's exit
// handler: 10 when that handler stopped the driver thread.
void report_driver_stopped() { _exit(WindowHost::instance().running() ? 11 : 10); }

TEST(LostConnectionThreadTest, TheNextLockEndsTheProcessThroughItsExitHandlers) {
    EXPECT_EQ(status_of_child([] {
                  std::atexit(report_driver_stopped);
                  open_screen_and_break();
                  gfx_lock();
              }),
              10);
}

TEST(LostConnectionThreadTest, WithoutALockTheDriverThreadEndsTheProcessWithTheStatus) {
    EXPECT_EQ(status_of_child([] {
                  std::atexit(report_driver_stopped);
                  open_screen_and_break();
                  std::this_thread::sleep_for(std::chrono::seconds(30));  // busy elsewhere
              }),
              3);
}

}  // namespace
