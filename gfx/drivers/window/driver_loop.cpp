// The pass loop of the window-based display drivers.
#include "gfx/drivers/window/driver_loop.h"

#include <algorithm>
#include <atomic>

#include "gfx/core/context_internal.h"
#include "gfx/drivers/window/window_host.h"

namespace gfx::window {
namespace {

std::atomic<uint64_t> g_passes{0};
std::atomic<uint64_t> g_shows{0};
std::atomic<int64_t> g_last_show_ns{0};
std::atomic<int64_t> g_show_ns{0};

void raise_wake_signal() { wake_signal().raise(); }

}  // namespace

const WakeSignal& wake_signal() {
    static const WakeSignal signal;
    return signal;
}

LoopStats loop_stats() {
    return {g_passes.load(std::memory_order_acquire), g_shows.load(std::memory_order_acquire),
            g_last_show_ns.load(std::memory_order_acquire), g_show_ns.load(std::memory_order_acquire)};
}

bool run_pass(DriverBinding& binding) {
    WindowHost& host = WindowHost::instance();
    binding.before_pass();
    host.lock();
    const auto start = Clock::now();
    const bool shown = binding.show();
    const auto end = Clock::now();
    binding.handle_input();
    host.unlock();
    if (shown) {
        g_show_ns.fetch_add((end - start).count(), std::memory_order_relaxed);
        g_last_show_ns.store(end.time_since_epoch().count(), std::memory_order_relaxed);
        g_shows.fetch_add(1, std::memory_order_release);
    }
    g_passes.fetch_add(1, std::memory_order_release);
    return shown;
}

void run_loop(DriverBinding& binding) {
    WindowHost& host = WindowHost::instance();
    const WakeSignal& wake = wake_signal();
    PassSchedule schedule;
    while (host.running() && !binding.ended()) {
        run_pass(binding);
        schedule.passed(Clock::now(), binding.pass_wanted());
        // Until the next pass, input is handled as it arrives; a new
        // picture on the visible page brings the pass forward.
        while (host.running() && !binding.ended()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(schedule.due() - Clock::now()).count();
            if (left <= 0) break;
            switch (binding.wait(int32_t(left), wake)) {
                case DriverBinding::Woken::input:
                    binding.take_input();
                    host.lock();
                    binding.handle_input();
                    host.unlock();
                    if (binding.pass_wanted()) schedule.due_now(Clock::now());
                    break;
                case DriverBinding::Woken::wake:
                    wake.clear();
                    schedule.bring_forward();
                    break;
                case DriverBinding::Woken::timeout:
                    break;
            }
        }
    }
}

void run_driver(std::promise<bool>& started, DriverBinding& binding) {
    WindowHost& host = WindowHost::instance();
    if (!binding.open()) {
        binding.close();
        started.set_value(false);
        return;
    }
    host.attach(&binding.platform());
    host.state().active = true;
    wake_signal().clear();
    set_present_hook(raise_wake_signal);
    started.set_value(true);
    binding.start();
    run_loop(binding);
    set_present_hook(nullptr);
    binding.stop();
    host.attach(nullptr);
    binding.close();
}

}  // namespace gfx::window
