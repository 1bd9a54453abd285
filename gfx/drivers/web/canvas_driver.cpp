// The "Canvas" display driver: the visible page on a 2D canvas of a web
// page. The browser gives the program no second thread: the program's
// waits and polls run the window host's passes (show the band of changed
// rows with putImageData, refresh the key states, handle input) and hand
// control to the browser through Asyncify, which delivers the input events
// meanwhile.
#include <emscripten.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "gfx/core/context_internal.h"
#include "gfx/drivers/convert/converters.h"
#include "gfx/drivers/web/web_drivers.h"
#include "gfx/drivers/web/web_input.h"
#include "gfx/drivers/window/dirty_rows.h"
#include "gfx/drivers/window/driver_loop.h"
#include "gfx/drivers/window/window_host.h"
#include "runtime/code_page_437.h"

// The page's side: the canvas, its listeners, the picture, full-screen.
// Listeners call back into the exported lb_* functions below.
EM_JS(int, lb_canvas_attach, (int w, int h, char* text), {
    var c = Module.canvas || document.getElementById("canvas");
    if (!c || !c.getContext) return 0;
    Module.canvas = c;
    c.width = w;
    c.height = h;
    c.tabIndex = 0;
    c.style.touchAction = "none";
    c.style.outline = "none";
    Module.lbContext = c.getContext("2d", {alpha: false});
    var pointerKinds = {pointermove: 0, pointerdown: 1, pointerup: 2, pointercancel: 2, pointerenter: 3, pointerleave: 4};
    var pointer = function(e) {
        var r = c.getBoundingClientRect();
        var x = Math.floor((e.clientX - r.left) * c.width / r.width);
        var y = Math.floor((e.clientY - r.top) * c.height / r.height);
        if (e.type === "pointerdown") {
            try { c.setPointerCapture(e.pointerId); } catch (err) {}
            c.focus();
        }
        Module._lb_pointer(pointerKinds[e.type], x, y, e.button, e.pointerType !== "mouse" ? 1 : 0, performance.now());
        if (Module.lbWake) Module.lbWake();
        if (e.type === "pointerdown" || e.type === "pointerup") e.preventDefault();
    };
    var key = function(e) {
        stringToUTF8(e.code || "", text, 64);
        stringToUTF8(e.key || "", text + 64, 64);
        var mods = (e.shiftKey ? 1 : 0) | (e.ctrlKey ? 2 : 0) | (e.altKey ? 4 : 0) |
                   (e.getModifierState && e.getModifierState("AltGraph") ? 8 : 0) | (e.repeat ? 16 : 0) |
                   (e.metaKey ? 32 : 0);
        if (!Module._lb_key(e.type === "keydown" ? 1 : 0, mods)) e.preventDefault();
        if (Module.lbWake) Module.lbWake();
    };
    var wheel = function(e) {
        Module._lb_wheel(e.deltaY < 0 ? 1 : e.deltaY > 0 ? -1 : 0);
        if (Module.lbWake) Module.lbWake();
        e.preventDefault();
    };
    var focus = function(e) {
        Module._lb_focus(e.type === "focus" ? 1 : 0);
        if (Module.lbWake) Module.lbWake();
    };
    var fullscreen = function() { Module._lb_fullscreen_changed(document.fullscreenElement ? 1 : 0); };
    var on = [];
    Object.keys(pointerKinds).forEach(function(t) { on.push([c, t, pointer]); });
    on.push([c, "keydown", key], [c, "keyup", key], [c, "wheel", wheel], [c, "focus", focus], [c, "blur", focus],
            [document, "fullscreenchange", fullscreen]);
    on.forEach(function(l) { l[0].addEventListener(l[1], l[2], {passive: false}); });
    Module.lbListeners = on;
    c.focus();
    return 1;
});

EM_JS(void, lb_canvas_detach, (), {
    (Module.lbListeners || []).forEach(function(l) { l[0].removeEventListener(l[1], l[2], {passive: false}); });
    Module.lbListeners = [];
});

EM_JS(void, lb_canvas_put, (const uint8_t* rgba, int w, int y, int rows), {
    var data = new Uint8ClampedArray(HEAPU8.buffer, rgba + y * w * 4, w * rows * 4);
    Module.lbContext.putImageData(new ImageData(data, w, rows), 0, y);
    if (Module.onPicture) Module.onPicture();
});

EM_JS(void, lb_canvas_fullscreen, (int on), {
    var el = Module.fullscreenElement || Module.canvas;
    try {
        if (on && !document.fullscreenElement && el.requestFullscreen) el.requestFullscreen().catch(function() {});
        if (!on && document.fullscreenElement) document.exitFullscreen().catch(function() {});
    } catch (err) {}
});

EM_JS(int, lb_canvas_is_fullscreen, (), { return document.fullscreenElement ? 1 : 0; });

EM_JS(void, lb_canvas_title, (const char* utf8), { document.title = UTF8ToString(utf8); });

EM_JS(void, lb_canvas_cursor, (int visible), { Module.canvas.style.cursor = visible ? "" : "none"; });

EM_JS(double, lb_now_ms, (), { return performance.now(); });

// Waits at least min_ms and at most max_ms; input (lbWake, called by the
// listeners) ends the wait once min_ms have passed. The program may end
// (exit) when it goes on: that is no error of the page's.
EM_JS(void, lb_sleep, (int min_ms, int max_ms), {
    Asyncify.handleSleep(function(wakeUp) {
        var start = performance.now();
        var timer = 0;
        var finish = function() {
            clearTimeout(timer);
            Module.lbWake = null;
            try {
                wakeUp();
            } catch (err) {
                if (!(err instanceof ExitStatus)) throw err;
            }
        };
        timer = setTimeout(finish, max_ms);
        Module.lbWake = function() {
            clearTimeout(timer);
            timer = setTimeout(finish, Math.max(0, min_ms - (performance.now() - start)));
        };
    });
});

namespace gfx::web {
namespace {

using window::Clock;

// A poll that finds the program has not let the browser run for this long
// yields: a program that polls without sleeping must not freeze the page.
constexpr double kPollYieldMs = 8;
// After this long without input or a new picture a program is idle, and its
// waits may last up to kIdleWaitMs.
constexpr double kIdleAfterMs = 1000;
constexpr int32_t kIdleWaitMs = 100;

class CanvasBinding final : public window::DriverBinding, public window::WindowPlatform {
public:
    // DriverBinding.
    bool open() override {
        window::WindowState& st = window::WindowHost::instance().state();
        if (!lb_canvas_attach(st.w, st.h, text_)) return false;
        rgba_.assign(std::size_t(st.w) * std::size_t(st.h) * 4, 0);
        if (st.flags & window::kFullscreen) lb_canvas_fullscreen(1);
        return true;
    }
    window::WindowPlatform& platform() override { return *this; }
    bool show() override;
    void handle_input() override { input_.handle(window::WindowHost::instance().core()); }
    Woken wait(int32_t, const window::WakeSignal&) override { return Woken::timeout; }  // no thread
    void close() override { lb_canvas_detach(); }

    // WindowPlatform. A page cannot move, confine or warp the pointer.
    void confine_cursor(bool) override {}
    void show_cursor(bool visible) override { lb_canvas_cursor(visible ? 1 : 0); }
    void move_cursor(int32_t, int32_t) override {}
    bool switch_fullscreen(bool on) override {
        lb_canvas_fullscreen(on ? 1 : 0);
        return true;
    }
    void window_position(int32_t* left, int32_t* top) const override { *left = *top = 0; }
    void move_window(int32_t, int32_t) override {}
    void set_title(const char* title) override { lb_canvas_title(lichtbox::cp437_to_utf8(title).c_str()); }
    void paint() override { window::EventCore::mark_all_rows(); }

    WebInput& input() { return input_; }
    // KeyboardEvent.code and .key of the key event being delivered.
    std::string code() const { return std::string(text_, strnlen(text_, 64)); }
    std::string key() const { return std::string(text_ + 64, strnlen(text_ + 64, 64)); }

private:
    WebInput input_;
    std::vector<uint8_t> rgba_;  // the picture as the canvas takes it
    char text_[128] = {};
};

bool CanvasBinding::show() {
    window::WindowHost& host = window::WindowHost::instance();
    window::WindowState& st = host.state();
    st.palette_changed = false;  // the converter reads the palette each time
    if (st.active) host.core().refresh_key_states(input_.keys_down());
    GfxContext* ctx = gfx_context();
    window::RowBand band{};
    if (!ctx || !window::dirty_band(&band)) return false;
    const int32_t sl = std::max(ctx->scanline_size, 1);
    if (std::size_t(ctx->w) * std::size_t(ctx->h * sl) * 4 > rgba_.size()) return false;
    // Bytes red, green, blue, alpha: the 32-bit device with red low, alpha
    // made opaque afterwards (pages carry their own or none).
    const convert::Converter converter = convert::select(ctx->depth, 32, true, false);
    if (!converter) return false;
    const convert::ConvertSource source{ctx->framebuffer, ctx->w, ctx->h, ctx->pitch, sl,
                                        ctx->dirty, ctx->device_palette, nullptr, nullptr};
    converter(source, rgba_.data(), ctx->w * 4);
    window::clear_dirty_rows();
    const int32_t y = band.first * sl, rows = (band.last - band.first + 1) * sl;
    uint8_t* p = rgba_.data() + std::size_t(y) * std::size_t(ctx->w) * 4;
    for (std::size_t i = 3; i < std::size_t(rows) * std::size_t(ctx->w) * 4; i += 4) p[i] = 0xFF;
    lb_canvas_put(rgba_.data(), ctx->w, y, rows);
    return true;
}

CanvasBinding* g_binding = nullptr;
window::PassSchedule g_schedule;
double g_last_yield_ms = 0;
double g_last_activity_ms = 0;  // input handled or a picture shown

double now_ms() { return lb_now_ms(); }

void run_due_pass() {
    if (!g_binding || Clock::now() < g_schedule.due()) return;
    if (window::run_pass(*g_binding)) g_last_activity_ms = now_ms();
    g_schedule.passed(Clock::now(), g_binding->pass_wanted());
}

// Hands control to the browser for at least min_ms and at most max_ms
// milliseconds: input that comes after min_ms ends it. The input is handled
// when the browser gives control back.
void yield_to_browser(int32_t min_ms, int32_t max_ms) {
    lb_sleep(std::max(min_ms, 0), std::max(max_ms, min_ms));
    g_last_yield_ms = now_ms();
    if (!g_binding) return;
    WebInput& input = g_binding->input();
    input.new_turn();
    if (!input.pending()) return;
    g_last_activity_ms = g_last_yield_ms;
    window::WindowHost& host = window::WindowHost::instance();
    host.lock();
    g_binding->handle_input();
    host.unlock();
    if (g_binding->pass_wanted()) g_schedule.due_now(Clock::now());
}

// The program's thread waits (ms > 0) or polls (ms == 0). While rows wait
// to be shown, the waits end for the passes. A program that has been idle
// for a while (no input, no new picture) waits longer than it asked, up to
// kIdleWaitMs, unless input comes: a page that only waits wakes the
// browser a few times a second rather than a hundred.
void canvas_wait(int32_t ms) {
    run_due_pass();
    if (ms <= 0) {
        if (now_ms() - g_last_yield_ms >= kPollYieldMs) yield_to_browser(0, 0);
        return;
    }
    const double end = now_ms() + ms;
    for (;;) {
        const double now = now_ms();
        if (now >= end) break;
        window::RowBand band{};
        double wake = end;
        if (window::dirty_band(&band)) {
            const double due = now + std::chrono::duration<double, std::milli>(g_schedule.due() - Clock::now()).count();
            wake = std::min(end, std::max(due, now));
        }
        const bool idle = wake == end && now - g_last_activity_ms >= kIdleAfterMs;
        const int32_t least = int32_t(std::ceil(wake - now));
        yield_to_browser(least, idle ? std::max(least, kIdleWaitMs) : least);
        run_due_pass();
    }
}

// A new picture on the visible page: the next wait shows it. (The gap the
// threaded drivers keep between passes spares their lock; here the program
// itself runs the passes.)
void canvas_present() { g_schedule.due_now(Clock::now()); }

int32_t canvas_init(const char* title, int32_t w, int32_t h, int32_t depth, int32_t refresh, int32_t flags) {
    window::WindowHost& host = window::WindowHost::instance();
    host.reset(title, w, h, depth < 8 ? 8 : depth, refresh, uint32_t(flags));
    if (flags & window::kOpenGL) return -1;
    static std::optional<CanvasBinding> slot;
    CanvasBinding& binding = slot.emplace();
    if (!binding.open() || host.start({}) != 0) return -1;
    host.attach(&binding.platform());
    host.state().active = true;
    binding.set_title(host.state().title.c_str());
    lichtbox::set_keyboard_layout(&binding.input().layout());
    g_binding = &binding;
    g_schedule = window::PassSchedule{};
    g_last_yield_ms = g_last_activity_ms = now_ms();
    set_present_hook(canvas_present);
    set_wait_hook(canvas_wait);
    return 0;
}

void canvas_exit() {
    window::WindowHost& host = window::WindowHost::instance();
    set_wait_hook(nullptr);
    set_present_hook(nullptr);
    if (g_binding) {
        // What the program drew last stays on the canvas.
        run_pass(*g_binding);
        host.attach(nullptr);
        g_binding->close();
        lichtbox::set_keyboard_layout(nullptr);
        g_binding = nullptr;
    }
    window::shared_exit();
}

void canvas_wait_vsync() { canvas_wait(16); }

int32_t* canvas_fetch_modes(int32_t, int32_t* count) {
    if (count) *count = 0;
    return nullptr;
}

}  // namespace

const GfxDriver canvas_driver = {
    "Canvas",
    canvas_init,
    canvas_exit,
    window::shared_lock,
    window::shared_unlock,
    window::shared_set_palette,
    canvas_wait_vsync,
    window::shared_get_mouse,
    window::shared_set_mouse,
    window::shared_set_title,
    window::shared_set_pos,
    canvas_fetch_modes,
    nullptr,
    nullptr,
};

}  // namespace gfx::web

// Called by the page's listeners while the program has handed control to
// the browser.
extern "C" {

EMSCRIPTEN_KEEPALIVE int lb_key(int down, int mods) {
    using namespace gfx::web;
    if (!g_binding) return 1;
    WebKey k;
    k.down = down != 0;
    k.code = g_binding->code();
    k.key = g_binding->key();
    k.shift = mods & 1;
    k.ctrl = mods & 2;
    k.alt = mods & 4;
    k.altgraph = mods & 8;
    k.repeat = mods & 16;
    // The page keeps reloading, full-screen and developer keys, and the
    // system's own combinations.
    if ((mods & 32) || k.code == "F5" || k.code == "F11" || k.code == "F12") return 1;
    g_binding->input().add_key(k);
    return 0;
}

EMSCRIPTEN_KEEPALIVE void lb_pointer(int kind, int x, int y, int button, int lifts, double time_ms) {
    using namespace gfx::web;
    if (!g_binding) return;
    const GfxContext* ctx = gfx_context();
    WebPointer p;
    p.kind = static_cast<PointerKind>(kind);
    p.x = x;
    p.y = y;
    p.button = button;
    p.lifts = lifts != 0;
    p.inside = ctx && x >= 0 && y >= 0 && x < ctx->w && y < ctx->h * std::max(ctx->scanline_size, 1);
    p.time_ms = time_ms;
    g_binding->input().add_pointer(p);
}

EMSCRIPTEN_KEEPALIVE void lb_wheel(int notches) {
    if (gfx::web::g_binding && notches != 0) gfx::web::g_binding->input().add_wheel(notches);
}

EMSCRIPTEN_KEEPALIVE void lb_focus(int focused) {
    if (gfx::web::g_binding) gfx::web::g_binding->input().add_focus(focused != 0);
}

EMSCRIPTEN_KEEPALIVE void lb_fullscreen_changed(int on) {
    // The browser left full-screen on its own (Esc): the flag follows.
    gfx::window::WindowState& st = gfx::window::WindowHost::instance().state();
    if (on) st.flags |= gfx::window::kFullscreen;
    else st.flags &= ~gfx::window::kFullscreen;
}

}  // extern "C"
