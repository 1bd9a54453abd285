// The display drivers' pass loop, shared by the window bindings: a pass
// every 10 ms under the window lock (show the changed rows, refresh the key
// states, handle the window's input), brought forward when a new picture
// reaches the visible page (but never closer than 2 ms to the last) or the
// binding asks for one; between passes, input is handled as it arrives.
// A binding implements DriverBinding; a driver thread runs run_driver(),
// and a binding without a thread (the browser's) runs passes itself from
// a PassSchedule.
#pragma once

#include <chrono>
#include <cstdint>
#include <future>

#include "gfx/drivers/window/wake_signal.h"
#include "gfx/drivers/window/window_platform.h"

namespace gfx::window {

using Clock = std::chrono::steady_clock;

class DriverBinding {
public:
    virtual ~DriverBinding() = default;

    // On the driver thread, before the set-up's verdict: makes what the
    // window needs to be shown (false when it cannot be: the set-up fails
    // and close() is called). The window platform to attach to the host.
    virtual bool open() = 0;
    virtual WindowPlatform& platform() = 0;
    // After the verdict, while the program draws: the rest of the start.
    virtual void start() {}

    // A pass: before_pass() outside the window lock, for what may block
    // on the window system (reading its events and key states); then,
    // under the lock, show() the rows changed on the visible page (true
    // when it showed any; the key states are refreshed here too) and
    // handle_input() the input taken so far.
    virtual void before_pass() {}
    virtual bool show() = 0;
    virtual void handle_input() = 0;

    // Between passes: waits at most timeout_ms for input or the wake
    // signal. Input that arrives is taken (take_input(), outside the lock)
    // and handled (handle_input(), under it) at once.
    enum class Woken { timeout, input, wake };
    virtual Woken wait(int32_t timeout_ms, const WakeSignal& wake) = 0;
    virtual void take_input() {}
    // True once when the binding wants the next pass at once (its window
    // was mapped or exposed).
    virtual bool pass_wanted() { return false; }
    // The loop ends early (the connection to the window system broke).
    virtual bool ended() const { return false; }

    // After the loop, still attached: what the end needs first.
    virtual void stop() {}
    // Detached: closes the window.
    virtual void close() {}
};

// When the next pass is due.
class PassSchedule {
public:
    static constexpr auto kInterval = std::chrono::milliseconds(10);
    // A new picture starts a pass at once, but passes stay this far apart,
    // so a program that copies pages in a tight loop cannot keep the lock
    // busy.
    static constexpr auto kMinGap = std::chrono::milliseconds(2);

    // A pass ended at `end`; `again` when the binding wants another at once.
    void passed(Clock::time_point end, bool again) {
        last_end_ = end;
        due_ = again ? end : end + Clock::duration(kInterval);
    }
    // A new picture: due kMinGap after the last pass.
    void bring_forward() { due_ = std::min(due_, last_end_ + Clock::duration(kMinGap)); }
    // The binding wants a pass (its window was just mapped or exposed,
    // which happens seldom): due now.
    void due_now(Clock::time_point now) { due_ = std::min(due_, now); }
    Clock::time_point due() const { return due_; }

private:
    Clock::time_point last_end_{};
    Clock::time_point due_{};
};

// Counters of the pass loop since the process started, for tests and
// benchmarks.
struct LoopStats {
    uint64_t passes;       // passes run
    uint64_t shows;        // passes that showed rows
    int64_t last_show_ns;  // steady-clock time the last rows were shown
    int64_t show_ns;       // time spent showing rows, in all
};
LoopStats loop_stats();

// One pass of binding, counted; true when rows were shown.
bool run_pass(DriverBinding& binding);

// Runs passes on schedule until the host stops or the binding ends;
// input is handled as it arrives between passes.
void run_loop(DriverBinding& binding);

// The body of a driver thread: opens the binding (fulfilling `started`
// with the verdict), attaches its window to the host, arms the wake-up for
// new pictures, starts, loops, and closes at the end.
void run_driver(std::promise<bool>& started, DriverBinding& binding);

// The process's wake signal (it outlives every driver thread: the program's
// thread may still be raising it while one ends).
const WakeSignal& wake_signal();

}  // namespace gfx::window
