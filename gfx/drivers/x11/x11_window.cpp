// The X11 binding of the graphics window.
#include "gfx/drivers/x11/x11_window.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "runtime/keys.h"
#include "gfx/drivers/x11/x11_connection.h"
#include "gfx/drivers/x11/x11_libs.h"
#include "runtime/code_page_437.h"

namespace gfx::x11 {
namespace {

using window::ButtonAction;

constexpr long kEventMask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                            PointerMotionMask | EnterWindowMask | LeaveWindowMask | FocusChangeMask |
                            StructureNotifyMask | ExposureMask | PropertyChangeMask;
constexpr Time kDoubleClickMs = 500;
constexpr int32_t kDoubleClickSlop = 4;

// _NET_WM_STATE actions.
constexpr long kStateRemove = 0;
constexpr long kStateAdd = 1;

const char* const kAtomNames[] = {
    "WM_PROTOCOLS", "WM_DELETE_WINDOW", "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN", "_NET_WM_STATE_ABOVE",
    "_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ", "_NET_WM_NAME", "UTF8_STRING",
    "_NET_ACTIVE_WINDOW", "_NET_SUPPORTED", "_NET_WM_PID", "_MOTIF_WM_HINTS",
};

// Motif window manager hints: functions and decorations.
struct MotifHints {
    unsigned long flags, functions, decorations;
    long input_mode;
    unsigned long status;
};
constexpr unsigned long kMwmHintsFunctions = 1, kMwmHintsDecorations = 2;
constexpr unsigned long kMwmFuncAll = 1, kMwmFuncMaximize = 16;
constexpr unsigned long kMwmDecorAll = 1, kMwmDecorMaximize = 64;

// Reads a property of atoms; empty when missing.
std::vector<Atom> read_atoms(Display* d, ::Window w, Atom property) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<Atom> out;
    if (XGetWindowProperty(d, w, property, 0, 4096, False, XA_ATOM, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        if (format == 32) {
            const auto* atoms = reinterpret_cast<const Atom*>(data);
            out.assign(atoms, atoms + count);
        }
        XFree(data);
    }
    return out;
}

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

int floor_div(int32_t a, int32_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

void init_xlib_threads() {
    static std::once_flag once;
    std::call_once(once, [] { XInitThreads(); });
}

X11Window::X11Window(window::WindowState& state, Display* display)
    : state_(state), display_(display), owner_(std::this_thread::get_id()) {
    watch_connection(*this);
}

std::unique_ptr<X11Window> X11Window::connect(window::WindowState& state, const VisualChooser& choose) {
    init_xlib_threads();
    Display* d = window_display();
    if (!d) return nullptr;
    std::unique_ptr<X11Window> w(new X11Window(state, d));
    w->screen_ = DefaultScreen(d);
    w->root_ = RootWindow(d, w->screen_);
    w->visual_ = DefaultVisual(d, w->screen_);
    w->depth_ = DefaultDepth(d, w->screen_);
    if (choose) {
        XVisualInfo chosen{};
        if (!choose(d, &chosen)) return nullptr;
        w->visual_ = chosen.visual;
        w->depth_ = chosen.depth;
        w->own_colormap_ = true;
    }
    // Shaped windows need the Shape extension.
    int shape_event = 0, shape_error = 0;
    if ((state.flags & window::kShaped) && !XShapeQueryExtension(d, &shape_event, &shape_error)) return nullptr;
    return w;
}

std::unique_ptr<X11Window> X11Window::open(window::WindowState& state, const VisualChooser& choose) {
    std::unique_ptr<X11Window> w = connect(state, choose);
    if (w) w->create();
    return w;
}

void X11Window::create() {
    Display* d = display_;
    XInternAtoms(d, const_cast<char**>(kAtomNames), kAtomCount, False, atoms_.data());

    // What the window manager offers (none under a bare X server).
    const std::vector<Atom> supported = read_atoms(d, root_, atoms_[kNetSupported]);
    has_wm_ = !supported.empty();
    for (int i = 0; i < kAtomCount; ++i)
        wm_has_[std::size_t(i)] = std::find(supported.begin(), supported.end(), atoms_[std::size_t(i)]) != supported.end();

    XSetWindowAttributes attrs{};
    unsigned long mask = CWBackPixel | CWBorderPixel | CWEventMask | CWBitGravity;
    attrs.background_pixel = BlackPixel(d, screen_);
    attrs.border_pixel = 0;
    attrs.event_mask = kEventMask;
    attrs.bit_gravity = NorthWestGravity;
    if (own_colormap_) {
        colormap_ = XCreateColormap(d, root_, visual_, AllocNone);
        attrs.colormap = colormap_;
        attrs.background_pixel = 0;
        mask |= CWColormap;
    }
    const int32_t w = std::max(state_.w, 1), h = std::max(state_.h, 1);
    saved_x_ = floor_div(DisplayWidth(d, screen_) - w, 2);
    saved_y_ = floor_div(DisplayHeight(d, screen_) - h, 2);
    window_ = XCreateWindow(d, root_, saved_x_, saved_y_, unsigned(w), unsigned(h), 0, depth_, InputOutput, visual_,
                            mask, &attrs);
    client_w_ = w;
    client_h_ = h;

    // Title, class (window_class_name), protocols,
    // input hint, size hints, decorations and initial state.
    apply_title(state_.title);
    const std::string class_name = window::window_class_name(state_.title);
    XClassHint class_hint{const_cast<char*>(state_.title.c_str()), const_cast<char*>(class_name.c_str())};
    XSetClassHint(d, window_, &class_hint);
    XSetWMProtocols(d, window_, &atoms_[kWmDeleteWindow], 1);
    XWMHints wm_hints{};
    wm_hints.flags = InputHint | StateHint;
    wm_hints.input = True;
    wm_hints.initial_state = NormalState;
    XSetWMHints(d, window_, &wm_hints);
    apply_size_hints(!(state_.flags & window::kFullscreen));
    if (state_.flags & (window::kNoFrame | window::kNoSwitch)) {
        MotifHints motif{};
        motif.flags = kMwmHintsFunctions | kMwmHintsDecorations;
        const bool no_max = (state_.flags & window::kNoSwitch) != 0;
        motif.functions = no_max ? kMwmFuncAll | kMwmFuncMaximize : kMwmFuncAll;
        motif.decorations = (state_.flags & window::kNoFrame) ? 0 : (no_max ? kMwmDecorAll | kMwmDecorMaximize : kMwmDecorAll);
        XChangeProperty(d, window_, atoms_[kMotifWmHints], atoms_[kMotifWmHints], 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&motif), 5);
    }
    std::vector<Atom> initial_state;
    if (state_.flags & window::kAlwaysOnTop) initial_state.push_back(atoms_[kNetWmStateAbove]);
    if (state_.flags & window::kFullscreen) initial_state.push_back(atoms_[kNetWmStateFullscreen]);
    if (!initial_state.empty())
        XChangeProperty(d, window_, atoms_[kNetWmState], XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(initial_state.data()), int(initial_state.size()));
    const long pid = long(getpid());
    XChangeProperty(d, window_, atoms_[kNetWmPid], XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);


    // An empty cursor for hiding the pointer.
    char empty = 0;
    XColor black{};
    Pixmap bits = XCreateBitmapFromData(d, window_, &empty, 1, 1);
    blank_cursor_ = XCreatePixmapCursor(d, bits, bits, &black, &black, 0, 0);
    XFreePixmap(d, bits);

    XMapWindow(d, window_);
    if ((state_.flags & window::kFullscreen) && !wm_supports(atoms_[kNetWmStateFullscreen]))
        XMoveResizeWindow(d, window_, 0, 0, unsigned(screen_width()), unsigned(screen_height()));
    XFlush(d);
}

X11Window::~X11Window() {
    if (&lichtbox::keyboard_layout() == &layouts_[0] || &lichtbox::keyboard_layout() == &layouts_[1]) lichtbox::set_keyboard_layout(nullptr);
    if (!display_) return;
    if (ic_) XDestroyIC(ic_);
    if (im_) XCloseIM(im_);
    if (lost()) {
        keep_lost_display(display_);
    } else {
        if (grabbed_) XUngrabPointer(display_, CurrentTime);
        if (screen_saver_suspended_) screen_saver_api()->suspend(display_, False);
        if (blank_cursor_) XFreeCursor(display_, blank_cursor_);
        if (window_) XDestroyWindow(display_, window_);
        if (colormap_) XFreeColormap(display_, colormap_);
        // The connection stays for the next window; what was queued for
        // this one is dropped (later arrivals are passed over by collect()).
        XSync(display_, True);
    }
    unwatch_connection(*this);
}

void X11Window::open_input_method() {
    im_tried_ = true;
    XSetLocaleModifiers("@im=none");
    im_ = XOpenIM(display_, nullptr, nullptr, nullptr);
    if (!im_) return;
    ic_ = XCreateIC(im_, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, window_, XNFocusWindow,
                    window_, nullptr);
    long filter_events = 0;
    if (ic_ && !XGetICValues(ic_, XNFilterEvents, &filter_events, nullptr))
        XSelectInput(display_, window_, kEventMask | filter_events);
    if (ic_ && focused_) XSetICFocus(ic_);
}

void X11Window::load_keyboard() {
    keyboard_loaded_ = true;
    layouts_[0].load(display_);
    lichtbox::set_keyboard_layout(&layouts_[0]);
    Bool supported_repeat = False;
    detectable_repeat_ = XkbSetDetectableAutoRepeat(display_, True, &supported_repeat) && supported_repeat;
}

bool X11Window::connection_alive() {
    if (!lost()) XEventsQueued(display_, QueuedAfterFlush);
    return !lost();
}

void X11Window::finish_setup() {
    if (!connection_alive()) return;
    if (!keyboard_loaded_) load_keyboard();
    // No screen saver while the window is open.
    if (const ScreenSaverApi* ss = screen_saver_api(); ss && !screen_saver_suspended_ && connection_alive()) {
        int ev = 0, err = 0;
        if (ss->query_extension(display_, &ev, &err)) {
            ss->suspend(display_, True);
            screen_saver_suspended_ = true;
        }
    }
    XFlush(display_);
}

int32_t X11Window::screen_width() const { return DisplayWidth(display_, screen_); }
int32_t X11Window::screen_height() const { return DisplayHeight(display_, screen_); }

bool X11Window::wm_supports(Atom atom) const {
    for (int i = 0; i < kAtomCount; ++i)
        if (atoms_[std::size_t(i)] == atom) return wm_has_[std::size_t(i)];
    return false;
}

void X11Window::apply_title(const std::string& title) {
    // WM_NAME in Latin-1 (ASCII here; other bytes become '?'), the full
    // title as UTF-8 in _NET_WM_NAME.
    std::string ascii = title;
    for (char& c : ascii)
        if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    XStoreName(display_, window_, ascii.c_str());
    const std::string utf8 = lichtbox::cp437_to_utf8(title);
    XChangeProperty(display_, window_, atoms_[kNetWmName], atoms_[kUtf8String], 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8.data()), int(utf8.size()));
}

void X11Window::apply_size_hints(bool fixed) {
    XSizeHints* hints = XAllocSizeHints();
    if (!hints) return;
    hints->flags = PPosition;
    hints->x = saved_x_;
    hints->y = saved_y_;
    if (fixed) {
        // Windowed: the page size, neither smaller nor larger.
        hints->flags |= PMinSize | PMaxSize;
        hints->min_width = hints->max_width = std::max(state_.w, 1);
        hints->min_height = hints->max_height = std::max(state_.h, 1);
    }
    XSetWMNormalHints(display_, window_, hints);
    XFree(hints);
}

void X11Window::send_wm_state(long action, Atom first, Atom second) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = window_;
    ev.xclient.message_type = atoms_[kNetWmState];
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = action;
    ev.xclient.data.l[1] = long(first);
    ev.xclient.data.l[2] = long(second);
    ev.xclient.data.l[3] = 1;  // from a normal application
    XSendEvent(display_, root_, False, SubstructureNotifyMask | SubstructureRedirectMask, &ev);
}

// ---- events -------------------------------------------------------------

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
    int32_t m = extended ? lichtbox::kModExtended : 0;
    if (state & ShiftMask) m |= lichtbox::kModShift;
    if (state & ControlMask) m |= down_[kRightCtrl] ? lichtbox::kModRightCtrl : lichtbox::kModLeftCtrl;
    if (state & Mod1Mask) m |= down_[kRightAlt] ? lichtbox::kModRightAlt : lichtbox::kModLeftAlt;
    if (state & Mod5Mask) m |= lichtbox::kModRightAlt | lichtbox::kModLeftCtrl;  // AltGr reads as Ctrl + right Alt
    return m;
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

// ---- what the core asks for --------------------------------------------

void X11Window::apply_requests() {
    Requests r;
    {
        std::lock_guard<std::mutex> guard(requests_mutex_);
        r = std::move(requests_);
        requests_ = Requests{};
    }
    if (r.title) apply_title(*r.title);
    if (r.cursor_visible) show_cursor(*r.cursor_visible);
    if (r.cursor_to) move_cursor(r.cursor_to->first, r.cursor_to->second);
    if (r.confine) confine_cursor(*r.confine);
    if (r.move_to) move_window(r.move_to->first, r.move_to->second);
}

void X11Window::confine_cursor(bool on) {
    if (!on_owner_thread()) {
        std::lock_guard<std::mutex> guard(requests_mutex_);
        requests_.confine = on;
        return;
    }
    if (on) {
        // A pointer grab confined to the window (fails while unmapped; the
        // next enter tries again).
        grabbed_ = XGrabPointer(display_, window_, True,
                                ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask |
                                    LeaveWindowMask,
                                GrabModeAsync, GrabModeAsync, window_,
                                state_.mouse.cursor_visible ? None : blank_cursor_, CurrentTime) == GrabSuccess;
    } else if (grabbed_) {
        XUngrabPointer(display_, CurrentTime);
        grabbed_ = false;
    }
    XFlush(display_);
}

void X11Window::show_cursor(bool visible) {
    if (!on_owner_thread()) {
        std::lock_guard<std::mutex> guard(requests_mutex_);
        requests_.cursor_visible = visible;
        return;
    }
    if (visible) XUndefineCursor(display_, window_);
    else XDefineCursor(display_, window_, blank_cursor_);
    if (grabbed_) XChangeActivePointerGrab(display_, ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                                                         EnterWindowMask | LeaveWindowMask,
                                           visible ? None : blank_cursor_, CurrentTime);
    XFlush(display_);
}

void X11Window::move_cursor(int32_t x, int32_t y) {
    if (!on_owner_thread()) {
        std::lock_guard<std::mutex> guard(requests_mutex_);
        requests_.cursor_to = {x, y};
        return;
    }
    const int32_t s = std::max(placement_.scale, 1);
    XWarpPointer(display_, None, window_, 0, 0, 0, 0, placement_.x + x * s + s / 2, placement_.y + y * s + s / 2);
    XFlush(display_);
}

bool X11Window::switch_fullscreen(bool on) {
    // Runs inside the event pump, on the owning thread.
    if (wm_supports(atoms_[kNetWmStateFullscreen])) {
        if (on) apply_size_hints(false);
        send_wm_state(on ? kStateAdd : kStateRemove, atoms_[kNetWmStateFullscreen], 0);
    } else if (on) {
        saved_x_ = pos_x_;
        saved_y_ = pos_y_;
        apply_size_hints(false);
        XMoveResizeWindow(display_, window_, 0, 0, unsigned(screen_width()), unsigned(screen_height()));
    } else {
        apply_size_hints(true);
        XMoveResizeWindow(display_, window_, saved_x_, saved_y_, unsigned(std::max(state_.w, 1)),
                          unsigned(std::max(state_.h, 1)));
    }
    XFlush(display_);
    return true;
}

void X11Window::window_position(int32_t* left, int32_t* top) const {
    *left = pos_x_;
    *top = pos_y_;
}

void X11Window::move_window(int32_t left, int32_t top) {
    if (!on_owner_thread()) {
        std::lock_guard<std::mutex> guard(requests_mutex_);
        requests_.move_to = {left, top};
        return;
    }
    XMoveWindow(display_, window_, left, top);
    XFlush(display_);
}

void X11Window::set_title(const char* title) {
    if (!on_owner_thread()) {
        std::lock_guard<std::mutex> guard(requests_mutex_);
        requests_.title = title;
        return;
    }
    apply_title(title);
    XFlush(display_);
}

void X11Window::paint() {
    if (hooks_.paint) hooks_.paint();
}

}  // namespace gfx::x11
