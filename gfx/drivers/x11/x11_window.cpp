// The X11 window: the connection and visual, creation with its
// window-manager hints, and what the window-event core asks of the window
// system (cursor, confinement, full-screen, position, title).
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

}  // namespace

void init_xlib_threads() {
    static std::once_flag once;
    std::call_once(once, [] { XInitThreads(); });
}

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
    XFlush(d);

    // What the window manager offers (none under a bare X server), asked
    // while it maps the window.
    const std::vector<Atom> supported = read_atoms(d, root_, atoms_[kNetSupported]);
    has_wm_ = !supported.empty();
    for (int i = 0; i < kAtomCount; ++i)
        wm_has_[std::size_t(i)] = std::find(supported.begin(), supported.end(), atoms_[std::size_t(i)]) != supported.end();
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

// ---- what the core asks for --------------------------------------------

void X11Window::apply_requests() { mailbox_.deliver(*this); }

void X11Window::confine_cursor(bool on) {
    if (!on_owner_thread()) return mailbox_.post_confine(on);
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
    if (!on_owner_thread()) return mailbox_.post_cursor_visible(visible);
    if (visible) XUndefineCursor(display_, window_);
    else XDefineCursor(display_, window_, blank_cursor_);
    if (grabbed_) XChangeActivePointerGrab(display_, ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                                                         EnterWindowMask | LeaveWindowMask,
                                           visible ? None : blank_cursor_, CurrentTime);
    XFlush(display_);
}

void X11Window::move_cursor(int32_t x, int32_t y) {
    if (!on_owner_thread()) return mailbox_.post_cursor_to(x, y);
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
    if (!on_owner_thread()) return mailbox_.post_move_to(left, top);
    XMoveWindow(display_, window_, left, top);
    XFlush(display_);
}

void X11Window::set_title(const char* title) {
    if (!on_owner_thread()) return mailbox_.post_title(title);
    apply_title(title);
    XFlush(display_);
}

void X11Window::paint() {
    if (hooks_.paint) hooks_.paint();
}

}  // namespace gfx::x11
