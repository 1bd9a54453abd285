// What other threads ask of a window that belongs to the driver thread
// (title, cursor, confinement, position): posted here and carried out by
// the driver thread at its next pass, the latest request of each kind
// winning. A window system whose calls are bound to the window's thread
// (Xlib here) routes its WindowPlatform operations through it.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "gfx/drivers/window/window_platform.h"

namespace gfx::window {

class RequestMailbox {
public:
    void post_title(std::string title) { post([&](Requests& r) { r.title = std::move(title); }); }
    void post_cursor_visible(bool visible) { post([&](Requests& r) { r.cursor_visible = visible; }); }
    void post_cursor_to(int32_t x, int32_t y) { post([&](Requests& r) { r.cursor_to = {x, y}; }); }
    void post_confine(bool on) { post([&](Requests& r) { r.confine = on; }); }
    void post_move_to(int32_t left, int32_t top) { post([&](Requests& r) { r.move_to = {left, top}; }); }

    // On the window's thread: carries out what was posted since the last
    // call, through platform (whose operations then run on their own
    // thread): title, cursor shape, cursor position, confinement, position.
    void deliver(WindowPlatform& platform) {
        Requests r;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            r = std::exchange(requests_, Requests{});
        }
        if (r.title) platform.set_title(r.title->c_str());
        if (r.cursor_visible) platform.show_cursor(*r.cursor_visible);
        if (r.cursor_to) platform.move_cursor(r.cursor_to->first, r.cursor_to->second);
        if (r.confine) platform.confine_cursor(*r.confine);
        if (r.move_to) platform.move_window(r.move_to->first, r.move_to->second);
    }

private:
    struct Requests {
        std::optional<std::string> title;
        std::optional<bool> cursor_visible;
        std::optional<std::pair<int32_t, int32_t>> cursor_to;
        std::optional<bool> confine;
        std::optional<std::pair<int32_t, int32_t>> move_to;
    };
    template <typename Fn>
    void post(Fn&& fn) {
        std::lock_guard<std::mutex> guard(mutex_);
        fn(requests_);
    }

    std::mutex mutex_;
    Requests requests_;
};

}  // namespace gfx::window
