// The X11 window's events: taken from the server (collect), handled under
// the window lock (dispatch) and translated into calls of the window-event
// core: keys with their scancodes and characters, buttons and wheels,
// pointer moves, focus and mapping as activation, configuration and the
// window manager's state.
#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "gfx/drivers/x11/x11_window.h"
#include "runtime/code_page_437.h"
#include "runtime/keys.h"

namespace gfx::x11 {
namespace {

using window::ButtonAction;

constexpr Time kDoubleClickMs = 500;
constexpr int32_t kDoubleClickSlop = 4;

// Code page 437 bytes of UTF-8 text; characters the code page lacks are
// dropped.
std::string utf8_to_cp437(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        char32_t u = 0;
        const std::size_t n = lichtbox::utf8_decode(text, &u);
        text.remove_prefix(n);
        const int32_t b = lichtbox::unicode_to_cp437(u);
        if (b > 0) out += char(b);
    }
    return out;
}

}  // namespace

void X11Window::pump() {
    collect();
    dispatch();
}

void X11Window::collect() {
    while (!lost() && XPending(display_)) {
        XEvent ev;
        XNextEvent(display_, &ev);
        // Events of an earlier window of the connection are passed over
        // (the keyboard mapping concerns every window).
        if (ev.type < LASTEvent && ev.type != MappingNotify && ev.xany.window != window_) continue;
        // Extension events (the MIT-SHM completion) concern only this
        // thread; they go to their hook at once, so that a wait for one
        // inside dispatch() finds it.
        if (ev.type >= LASTEvent) {
            if (hooks_.other_event) hooks_.other_event(ev);
            continue;
        }
        if (ev.type == KeyPress || ev.type == KeyRelease || ev.type == FocusIn || ev.type == FocusOut ||
            ev.type == KeymapNotify || ev.type == MappingNotify)
            key_snapshot_stale_ = true;
        Collected& c = inbox_.emplace_back(Collected{ev, {}});
        if (ev.type == PropertyNotify && ev.xproperty.atom == atoms_[kNetWmState])
            c.wm_state = read_atoms(display_, window_, atoms_[kNetWmState]);
    }
}

void X11Window::dispatch() {
    for (Collected& c : inbox_) {
        if (c.event.type == PropertyNotify && c.event.xproperty.atom == atoms_[kNetWmState])
            handle_state_change(c.wm_state);
        else
            handle(c.event);
    }
    inbox_.clear();
}

X11Window::Woken X11Window::wait(int timeout_ms, int wake_fd) {
    if (lost()) return Woken::timeout;
    if (XEventsQueued(display_, QueuedAfterFlush) > 0) return Woken::events;
    pollfd p[2] = {{ConnectionNumber(display_), POLLIN, 0}, {wake_fd, POLLIN, 0}};
    if (::poll(p, wake_fd >= 0 ? 2 : 1, timeout_ms) <= 0) return Woken::timeout;
    return p[0].revents ? Woken::events : Woken::wake_fd;
}

void X11Window::wait_readable(int timeout_ms) {
    if (lost()) return;
    XFlush(display_);
    pollfd p{ConnectionNumber(display_), POLLIN, 0};
    ::poll(&p, 1, timeout_ms);
}

void X11Window::to_page(int32_t wx, int32_t wy, int32_t* px, int32_t* py, bool* on_picture) const {
    const int32_t s = std::max(placement_.scale, 1);
    *px = floor_div(wx - placement_.x, s);
    *py = floor_div(wy - placement_.y, s);
    *on_picture = *px >= 0 && *py >= 0 && *px < state_.w && *py < state_.h;
}

void X11Window::pointer_moved(int32_t wx, int32_t wy, int32_t root_x, int32_t root_y) {
    int32_t x, y;
    bool on;
    to_page(wx, wy, &x, &y, &on);
    core().set_in_client(on);
    core().mouse_move(x, y, root_x, root_y);
}

void X11Window::handle(XEvent& ev) {
    if ((ev.type == KeyPress || ev.type == KeyRelease) && !keyboard_loaded_) load_keyboard();
    if (ev.type == KeyPress && !im_tried_) open_input_method();
    const bool filtered = ic_ && XFilterEvent(&ev, None);
    switch (ev.type) {
        case KeyPress:
        case KeyRelease:
            handle_key(ev.xkey, filtered);
            break;
        case ButtonPress:
        case ButtonRelease:
            handle_button(ev.xbutton, ev.type == ButtonPress);
            break;
        case MotionNotify:
            pointer_moved(ev.xmotion.x, ev.xmotion.y, ev.xmotion.x_root, ev.xmotion.y_root);
            break;
        case EnterNotify:
            // Entering counts as the first move: it gives mouse_enter.
            if (ev.xcrossing.mode == NotifyNormal)
                pointer_moved(ev.xcrossing.x, ev.xcrossing.y, ev.xcrossing.x_root, ev.xcrossing.y_root);
            break;
        case LeaveNotify:
            if (ev.xcrossing.mode == NotifyNormal && ev.xcrossing.detail != NotifyInferior) {
                core().set_in_client(false);
                core().leave();
            }
            break;
        case FocusIn:
        case FocusOut:
            if (ev.xfocus.mode == NotifyGrab || ev.xfocus.mode == NotifyUngrab || ev.xfocus.detail == NotifyPointer)
                break;
            if (ic_) (ev.type == FocusIn ? XSetICFocus : XUnsetICFocus)(ic_);
            update_activation(ev.type == FocusIn, mapped_);
            break;
        case MapNotify:
            show_requested_ = true;
            update_activation(focused_, true);
            if (!activation_requested_ && has_wm_) {
                // Ask for the focus once, as a new application window.
                activation_requested_ = true;
                XEvent a{};
                a.xclient.type = ClientMessage;
                a.xclient.window = window_;
                a.xclient.message_type = atoms_[kNetActiveWindow];
                a.xclient.format = 32;
                a.xclient.data.l[0] = 1;
                a.xclient.data.l[1] = CurrentTime;
                XSendEvent(display_, root_, False, SubstructureNotifyMask | SubstructureRedirectMask, &a);
            }
            break;
        case UnmapNotify:
            update_activation(focused_, false);
            break;
        case ConfigureNotify:
            handle_configure(ev.xconfigure);
            break;
        case Expose:
            show_requested_ = true;
            if (ev.xexpose.count == 0) core().expose();
            break;
        case ClientMessage:
            if (ev.xclient.message_type == atoms_[kWmProtocols] &&
                Atom(ev.xclient.data.l[0]) == atoms_[kWmDeleteWindow])
                core().close();
            break;
        case PropertyNotify:
            break;  // _NET_WM_STATE: dispatch() hands over the state read by collect()
        case MappingNotify:
            XRefreshKeyboardMapping(&ev.xmapping);
            if (ev.xmapping.request != MappingPointer) {
                layout_index_ ^= 1;
                layouts_[layout_index_].load(display_);
                lichtbox::set_keyboard_layout(&layouts_[layout_index_]);
            }
            break;
        default:
            break;
    }
}

void X11Window::update_activation(bool focused, bool mapped) {
    const bool was = focused_ && mapped_;
    const bool minimized_before = !mapped_;
    focused_ = focused;
    mapped_ = mapped;
    if ((focused_ && mapped_) == was && minimized_before == !mapped_) return;
    core().activate(focused_, !mapped_);
}

int32_t X11Window::modifiers(unsigned state, bool extended) const {
    // Key codes of the right Ctrl and right Alt keys (input codes 97, 100).
    constexpr unsigned kRightCtrl = 97 + 8, kRightAlt = 100 + 8;
    lichtbox::ModifierKeys k;
    k.extended = extended;
    k.shift = (state & ShiftMask) != 0;
    const bool ctrl = (state & ControlMask) != 0, alt = (state & Mod1Mask) != 0;
    k.right_ctrl = ctrl && down_[kRightCtrl];
    k.left_ctrl = ctrl && !down_[kRightCtrl];
    k.right_alt = alt && down_[kRightAlt];
    k.left_alt = alt && !down_[kRightAlt];
    if (state & Mod5Mask) k.right_alt = k.left_ctrl = true;  // AltGr reads as Ctrl + right Alt
    return lichtbox::modifier_bits(k);
}

void X11Window::handle_key(XKeyEvent& ev, bool filtered) {
    const bool down = ev.type == KeyPress;
    std::string text;
    KeySym typed = NoSymbol;
    if (down && !filtered) {
        char buf[64];
        Status status = 0;
        int n = ic_ ? Xutf8LookupString(ic_, &ev, buf, sizeof buf - 1, &typed, &status)
                    : XLookupString(&ev, buf, sizeof buf - 1, &typed, nullptr);
        if (ic_ && status != XLookupChars && status != XLookupBoth) n = 0;
        if (n > 0 && keysym_types_text(typed)) {
            if (ic_) {
                text = utf8_to_cp437(std::string_view(buf, std::size_t(n)));
            } else {
                for (int i = 0; i < n; ++i) {
                    const int32_t b = lichtbox::unicode_to_cp437(char32_t(static_cast<unsigned char>(buf[i])));
                    if (b > 0) text += char(b);
                }
            }
        }
    }
    // A composed character arrives as a key press without a key.
    if (ev.keycode == 0) {
        for (char c : text) core().character(static_cast<unsigned char>(c));
        return;
    }
    const unsigned kc = ev.keycode & 0xFF;
    if (!down && !detectable_repeat_ && XEventsQueued(display_, QueuedAfterReading)) {
        // Without detectable auto-repeat a repeat is a release directly
        // followed by a press of the same key at the same time.
        XEvent next;
        XPeekEvent(display_, &next);
        if (next.type == KeyPress && next.xkey.keycode == ev.keycode && next.xkey.time == ev.time) return;
    }
    if (filtered && down) {
        down_[kc] = true;
        return;  // part of a compose sequence
    }

    const Scancode sc = scancode_of(kc);
    const KeySym level0 = XLookupKeysym(&ev, 0);
    // Keypad keys follow Num Lock: their virtual key is the typed keysym's.
    const bool keypad = IsKeypadKey(level0) && typed != NoSymbol;
    window::KeyInput k;
    k.down = down;
    k.previously_down = down && down_[kc];
    k.vk = vk_of(keypad ? typed : level0, sc);
    k.scancode = sc.code;
    k.modifiers = modifiers(ev.state, sc.extended);
    k.alt = (ev.state & Mod1Mask) != 0;
    // A key taken as a menu key: Alt without Ctrl, or F10.
    k.system = down && ((k.alt && !(ev.state & ControlMask)) || k.vk == window::kVkF10);
    if (down) {
        press_char_[kc] = text.size() == 1 ? uint8_t(text[0]) : 0;
        down_[kc] = true;
    } else {
        down_[kc] = false;
    }
    k.character = press_char_[kc];
    if (!down) press_char_[kc] = 0;
    core().key(k);
    // Characters typed with Alt alone are menu characters, not text.
    if (down && !k.system)
        for (char c : text) core().character(static_cast<unsigned char>(c));
}

void X11Window::handle_button(const XButtonEvent& ev, bool down) {
    int32_t x, y;
    bool on;
    to_page(ev.x, ev.y, &x, &y, &on);
    core().set_in_client(on);
    int32_t bit = 0;
    switch (ev.button) {
        case Button1: bit = window::kButtonLeft; break;
        case Button2: bit = window::kButtonMiddle; break;
        case Button3: bit = window::kButtonRight; break;
        case 8: bit = window::kButtonExtra1; break;
        case 9: bit = window::kButtonExtra2; break;
        case Button4:
        case Button5:
            if (down) core().wheel(ev.button == Button4 ? 1 : -1);
            return;
        case 6:
        case 7:
            if (down) core().hwheel(ev.button == 7 ? 1 : -1);
            return;
        default:
            return;
    }
    if (!down) {
        core().button(bit, ButtonAction::up);
        return;
    }
    // A second press of the same button, soon and close by, is a double
    // click (the third starts over).
    const bool is_double = ev.button == last_press_button_ && ev.time - last_press_time_ <= kDoubleClickMs &&
                           std::abs(ev.x - last_press_x_) <= kDoubleClickSlop &&
                           std::abs(ev.y - last_press_y_) <= kDoubleClickSlop;
    last_press_button_ = is_double ? 0 : ev.button;
    last_press_time_ = ev.time;
    last_press_x_ = ev.x;
    last_press_y_ = ev.y;
    core().button(bit, is_double ? ButtonAction::double_click : ButtonAction::down);
}

void X11Window::handle_configure(const XConfigureEvent& ev) {
    if (ev.send_event) {
        pos_x_ = ev.x;
        pos_y_ = ev.y;
    } else {
        int rx = 0, ry = 0;
        ::Window child = 0;
        XTranslateCoordinates(display_, window_, root_, 0, 0, &rx, &ry, &child);
        pos_x_ = rx;
        pos_y_ = ry;
    }
    if (ev.width != client_w_ || ev.height != client_h_) {
        client_w_ = ev.width;
        client_h_ = ev.height;
        if (hooks_.resized) hooks_.resized(client_w_, client_h_);
    }
}

void X11Window::handle_state_change(const std::vector<Atom>& st) {
    auto has = [&](AtomIndex i) { return std::find(st.begin(), st.end(), atoms_[i]) != st.end(); };
    const bool full = has(kNetWmStateFullscreen);
    if (full != fullscreen_shown_) {
        fullscreen_shown_ = full;
        // The window manager switched on its own (or confirmed a switch):
        // the flag follows what is shown.
        if (full) state_.flags |= window::kFullscreen;
        else state_.flags &= ~window::kFullscreen;
        if (!full) apply_size_hints(true);
        window::EventCore::mark_all_rows();
    }
    if (!full && has(kNetWmStateMaxVert) && has(kNetWmStateMaxHorz)) {
        // Maximising means full-screen.
        send_wm_state(kStateRemove, atoms_[kNetWmStateMaxVert], atoms_[kNetWmStateMaxHorz]);
        core().maximize();
    }
}

std::bitset<256> X11Window::keys_down() {
    if (!keyboard_loaded_) return {};
    if (!key_snapshot_stale_) return key_snapshot_;
    key_snapshot_stale_ = false;
    char keys[32];
    XQueryKeymap(display_, keys);
    std::bitset<256> vks;
    const X11KeyboardLayout& layout = layouts_[layout_index_];
    for (unsigned kc = 8; kc < 256; ++kc)
        if (keys[kc / 8] & (1 << (kc % 8))) vks[std::size_t(layout.vk_of_keycode(kc) & 0xFF)] = true;
    vks[0] = false;
    key_snapshot_ = vks;
    return vks;
}

}  // namespace gfx::x11
