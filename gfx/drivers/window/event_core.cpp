// The window-event core: what each native window event does to the input
// state, the key and event queues and the window.
#include "gfx/drivers/window/event_core.h"

#include <algorithm>
#include <cstring>

#include "runtime/keys.h"

namespace gfx::window {
namespace {

GfxEvent make_event(int32_t kind, int32_t f0 = 0, int32_t f1 = 0, int32_t f2 = 0, int32_t f3 = 0) {
    return GfxEvent{kind, {f0, f1, f2, f3}};
}

}  // namespace

void EventCore::post(const GfxEvent& ev) {
    if (ev.kind != 0) gfx_post_event(&ev);
}

void EventCore::palette_replay() {
    const GfxContext* ctx = gfx_context();
    if (!ctx || !ctx->driver || !ctx->driver->set_palette || !ctx->device_palette) return;
    for (int32_t i = 0; i < 256; ++i) {
        const uint32_t c = ctx->device_palette[i];
        ctx->driver->set_palette(i, int32_t(c & 0xFF), int32_t((c >> 8) & 0xFF), int32_t((c >> 16) & 0xFF));
    }
}

void EventCore::mark_all_rows() {
    const GfxContext* ctx = gfx_context();
    if (ctx && ctx->dirty) std::memset(ctx->dirty, 1, std::size_t(ctx->h) * std::size_t(ctx->scanline_size));
}

void EventCore::enter_check(GfxEvent& ev) {
    if (st_.mouse.inside || !st_.active) return;
    platform_.track_leave();
    st_.mouse.inside = true;
    ev.kind = GFX_EVENT_MOUSE_ENTER;
    if (st_.mouse_clip) platform_.confine_cursor(true);
}

bool EventCore::key(const KeyInput& k) {
    if (k.down && k.alt && k.vk == kVkReturn && st_.active) {
        toggle_fullscreen();
        return false;
    }
    if (k.system && !st_.active) return true;

    const int32_t code = gfx_key_translate(k.character, k.scancode, k.vk, k.modifiers);
    int32_t kind = GFX_EVENT_KEY_UP;
    if (k.down) {
        kind = k.previously_down ? GFX_EVENT_KEY_REPEAT : GFX_EVENT_KEY_DOWN;
        // Characters reach the key queue through character(); only the
        // extended codes are posted here.
        if (code > 255)
            for (int32_t i = 0; i < std::max(k.repeat_count, 1); ++i) gfx_post_key(code);
    }
    if (k.vk == kVkF10 || k.vk == kVkMenu || code == lichtbox::kKeyClose) return false;
    post(make_event(kind, gfx_vk_to_scancode(k.vk), code >= 0 && code <= 255 ? code : 0));
    return true;
}

void EventCore::character(int32_t cp437, int32_t repeat_count) {
    // Byte 0 would read as "no key" in the queue.
    if (cp437 < 1 || cp437 > 255) return;
    for (int32_t i = 0; i < std::max(repeat_count, 1); ++i) gfx_post_key(cp437);
}

void EventCore::mouse_move(int32_t x, int32_t y, int32_t screen_x, int32_t screen_y) {
    MouseState& m = st_.mouse;
    m.x = x;
    m.y = y;
    int32_t dx = 0, dy = 0;
    if (m.has_last_screen) {
        // Screen positions come from the window system; a difference beyond
        // 32 bits is held at the limit rather than wrapped.
        const auto delta = [](int32_t a, int32_t b) {
            return int32_t(std::clamp<int64_t>(int64_t(a) - b, INT32_MIN, INT32_MAX));
        };
        dx = delta(screen_x, m.last_screen_x);
        dy = delta(screen_y, m.last_screen_y);
    }
    m.has_last_screen = true;
    m.last_screen_x = screen_x;
    m.last_screen_y = screen_y;
    GfxEvent ev = make_event(0, x, y, dx, dy);
    if ((dx != 0 || dy != 0) && st_.active) ev.kind = GFX_EVENT_MOUSE_MOVE;
    enter_check(ev);
    post(ev);
}

void EventCore::enter() {
    GfxEvent ev = make_event(0);
    enter_check(ev);
    post(ev);
}

void EventCore::leave() {
    if (!st_.active) return;
    post(make_event(GFX_EVENT_MOUSE_LEAVE));
    st_.mouse.inside = false;
}

void EventCore::button(int32_t bit, ButtonAction action) {
    MouseState& m = st_.mouse;
    if (action == ButtonAction::up) {
        m.buttons &= ~bit;
        if (m.buttons == 0 && platform_.has_capture()) platform_.release_mouse();
        post(make_event(GFX_EVENT_BUTTON_UP, bit));
        return;
    }
    platform_.capture_mouse();
    m.buttons |= bit;
    m.pressed |= bit;
    post(make_event(action == ButtonAction::down ? GFX_EVENT_BUTTON_DOWN : GFX_EVENT_DOUBLE_CLICK, bit));
}

void EventCore::wheel(int32_t delta) {
    st_.mouse.wheel += delta > 0 ? 1 : -1;
    post(make_event(GFX_EVENT_WHEEL, st_.mouse.wheel));
}

void EventCore::hwheel(int32_t delta) {
    st_.mouse.hwheel += delta > 0 ? 1 : -1;
    post(make_event(GFX_EVENT_HWHEEL, st_.mouse.hwheel));
}

void EventCore::activate(bool activated, bool minimized) {
    st_.active = activated && !minimized;
    if (GfxContext* ctx = gfx_context(); ctx && ctx->key_state) std::memset(ctx->key_state, 0, 128);
    st_.mouse.buttons = 0;
    st_.mouse.pressed = 0;
    mark_all_rows();
    if (!st_.active && st_.mouse.inside) {
        post(make_event(GFX_EVENT_MOUSE_LEAVE));
        st_.mouse.inside = false;
    }
    // Activation while minimised posts nothing.
    if (!activated || !minimized) post(make_event(st_.active ? GFX_EVENT_FOCUS_IN : GFX_EVENT_FOCUS_OUT));
    if (st_.active && st_.mouse.in_client) {
        enter();
        return;
    }
    if (st_.mouse_clip) platform_.confine_cursor(st_.active);
}

void EventCore::maximize() {
    if (st_.active) toggle_fullscreen();
}

void EventCore::toggle_fullscreen() {
    if (st_.mouse.inside) post(make_event(GFX_EVENT_MOUSE_LEAVE));
    if (st_.flags & kNoSwitch) return;
    if (st_.mouse_clip) platform_.confine_cursor(false);
    const bool on = (st_.flags & kFullscreen) == 0;
    st_.flags ^= kFullscreen;
    if (!platform_.switch_fullscreen(on)) {
        // Back to the previous mode; a second failure is not reported.
        st_.flags ^= kFullscreen;
        platform_.switch_fullscreen(!on);
    }
    palette_replay();
    mark_all_rows();
    st_.active = true;
    st_.mouse.inside = false;
}

void EventCore::close() {
    gfx_post_key(lichtbox::kKeyClose);
    post(make_event(GFX_EVENT_CLOSE_REQUEST));
}

void EventCore::expose() { platform_.paint(); }

void EventCore::display_changed() {
    platform_.paint();
    mark_all_rows();
}

void EventCore::refresh_key_states(const std::bitset<256>& vk_down) {
    GfxContext* ctx = gfx_context();
    if (!st_.active || !ctx || !ctx->key_state) return;
    for (const lichtbox::ScancodeRow& row : lichtbox::scancode_table) {
        if (row.scancode == 0) break;
        const bool down = vk_down[row.vk] || (row.second_vk != 0 && vk_down[row.second_vk]);
        ctx->key_state[row.scancode & 0x7F] = down ? 1 : 0;
    }
}

int32_t EventCore::get_mouse(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons, int32_t* clip) {
    if (!st_.active || !st_.mouse.in_client) return -1;
    *x = st_.mouse.x;
    *y = st_.mouse.y;
    *wheel = st_.mouse.wheel;
    *buttons = st_.mouse.buttons | st_.mouse.pressed;
    st_.mouse.pressed = 0;
    *clip = st_.mouse_clip ? 1 : 0;
    return 0;
}

void EventCore::set_mouse(int32_t x, int32_t y, int32_t cursor, int32_t clip) {
    MouseState& m = st_.mouse;
    if (x >= 0) {
        platform_.move_cursor(std::min(x, st_.w - 1), std::clamp(y, 0, std::max(st_.h - 1, 0)));
        m.x = x;
        m.y = y;
    }
    if (cursor == 0 && m.cursor_visible) {
        m.cursor_visible = false;
        platform_.show_cursor(false);
    } else if (cursor > 0 && !m.cursor_visible) {
        m.cursor_visible = true;
        platform_.show_cursor(true);
    }
    if (clip == 0) {
        st_.mouse_clip = false;
        platform_.confine_cursor(false);
    } else if (clip > 0) {
        st_.mouse_clip = true;
        platform_.confine_cursor(true);
    }
}

int32_t EventCore::set_position(int32_t x, int32_t y) {
    if (st_.flags & kFullscreen) return 0;
    int32_t left = 0, top = 0;
    platform_.window_position(&left, &top);
    const auto keep = static_cast<int32_t>(0x80000000u);
    platform_.move_window(x == keep ? left : x, y == keep ? top : y);
    return int32_t((uint32_t(left) & 0xFFFFu) | (uint32_t(top) << 16));
}

}  // namespace gfx::window
