// The X11 binding of the graphics window: creates the window from the
// driver flags, translates X events into calls of the window-event core and
// carries out what the core asks of the window system. All Xlib calls are
// made on the thread that opened the window; requests from other threads
// (title, cursor, confinement, position) are queued for it.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <array>
#include <atomic>
#include <bitset>
#include <vector>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "gfx/drivers/window/event_core.h"
#include "gfx/drivers/window/request_mailbox.h"
#include "gfx/drivers/x11/x11_keys.h"

namespace gfx::x11 {

// Where the picture sits in the window: scaled by an integer factor and
// centred (full-screen), or at (0, 0) at its own size.
struct Placement {
    int32_t scale = 1;
    int32_t x = 0;
    int32_t y = 0;
};

class X11Window final : public window::WindowPlatform {
public:
    struct Hooks {
        std::function<void()> paint;                    // redraw everything
        std::function<void(int32_t, int32_t)> resized;  // new client size
        std::function<bool(const XEvent&)> other_event;  // extension events; true when taken
    };

    // Picks the visual for a window on the display just opened; false when
    // none fits.
    using VisualChooser = std::function<bool(Display*, XVisualInfo*)>;

    // Takes the process's window connection (window_display()) for a window
    // of state (w x h, flags, title) and picks its visual: the screen's
    // default or the chooser's. Null when the display cannot be opened, the
    // chooser finds nothing or a flag cannot be met. The window itself is
    // made by create(), on the same thread; until then requests from other
    // threads wait in the mailbox.
    static std::unique_ptr<X11Window> connect(window::WindowState& state, const VisualChooser& choose = {});
    // Creates, maps and asks focus for the window.
    void create();
    // connect() and create() in one.
    static std::unique_ptr<X11Window> open(window::WindowState& state, const VisualChooser& choose = {});
    ~X11Window() override;
    X11Window(const X11Window&) = delete;
    X11Window& operator=(const X11Window&) = delete;

    Display* display() const { return display_; }
    ::Window handle() const { return window_; }
    Visual* visual() const { return visual_; }
    int depth() const { return depth_; }
    int32_t width() const { return client_w_; }
    int32_t height() const { return client_h_; }
    int32_t screen_width() const;
    int32_t screen_height() const;

    void set_hooks(Hooks hooks) { hooks_ = std::move(hooks); }
    void set_placement(const Placement& p) { placement_ = p; }
    const Placement& placement() const { return placement_; }

    // What the window does not need to be shown: the keyboard mapping and
    // auto-repeat detection (loaded earlier when a key comes first), the
    // screen saver's suspension. Called once the first picture is out.
    void finish_setup();

    // Handles every event that has arrived: collect() then dispatch().
    void pump();
    // Takes the events that have arrived from the server, with what their
    // handling must ask the server, so that dispatch() (under the window
    // lock) makes no round trip for them.
    void collect();
    // Handles the collected events.
    void dispatch();
    // Waits at most timeout_ms for events, or until wake_fd (when not -1)
    // becomes readable.
    enum class Woken { timeout, events, wake_fd };
    Woken wait(int timeout_ms, int wake_fd = -1);
    // Waits at most timeout_ms for bytes from the server that are not read
    // yet (events already queued do not count).
    void wait_readable(int timeout_ms);
    // The window is mapped (pictures put before are not kept by the server).
    bool mapped() const { return mapped_; }
    // True once after the window was mapped or exposed: a pass is due.
    bool take_show_request() { return std::exchange(show_requested_, false); }
    // The connection to the server broke (the server ended or dropped this
    // client). Xlib calls then do nothing; the window is only to be closed.
    bool lost() const { return lost_.load(std::memory_order_acquire); }
    // Flushes and reads what has arrived, so that a connection that broke
    // unnoticed is noticed now; false when it is lost. Xlib's extension
    // queries read uninitialised replies on a broken connection (and print
    // about them): they are asked only after this.
    bool connection_alive();
    // Called by the handler of a broken connection: true the first time.
    bool mark_lost() { return !lost_.exchange(true, std::memory_order_acq_rel); }
    // Carries out what other threads asked for since the last call.
    void apply_requests();
    // The virtual keys held down now.
    std::bitset<256> keys_down();

    // WindowPlatform. From any thread: called elsewhere than on the
    // window's thread, these wait in the mailbox for the next pass.
    void set_title(const char* title) override;
    void show_cursor(bool visible) override;
    void move_cursor(int32_t x, int32_t y) override;
    void confine_cursor(bool on) override;
    void move_window(int32_t left, int32_t top) override;
    // On the window's thread (the event core's calls).
    bool switch_fullscreen(bool on) override;
    void window_position(int32_t* left, int32_t* top) const override;
    void paint() override;

private:
    X11Window(window::WindowState& state, Display* display);
    // Opens the input method for typed characters when the first key comes
    // (it takes milliseconds that the start-up need not wait for).
    void open_input_method();
    void load_keyboard();
    window::EventCore core() { return window::EventCore(state_, *this); }
    bool on_owner_thread() const { return std::this_thread::get_id() == owner_; }

    void handle(XEvent& ev);
    void handle_key(XKeyEvent& ev, bool filtered);
    void handle_button(const XButtonEvent& ev, bool down);
    void pointer_moved(int32_t wx, int32_t wy, int32_t root_x, int32_t root_y);
    void handle_configure(const XConfigureEvent& ev);
    void handle_state_change(const std::vector<Atom>& state);
    void update_activation(bool focused, bool mapped);
    // The pointer position in page pixels and whether it is on the picture.
    void to_page(int32_t wx, int32_t wy, int32_t* px, int32_t* py, bool* on_picture) const;
    int32_t modifiers(unsigned state, bool extended) const;
    void apply_title(const std::string& title);
    void apply_size_hints(bool fixed);
    void send_wm_state(long action, Atom first, Atom second);
    bool wm_supports(Atom atom) const;

    static constexpr long kEventMask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                                       PointerMotionMask | EnterWindowMask | LeaveWindowMask | FocusChangeMask |
                                       StructureNotifyMask | ExposureMask | PropertyChangeMask;
    // _NET_WM_STATE actions.
    static constexpr long kStateRemove = 0;
    static constexpr long kStateAdd = 1;

    enum AtomIndex {
        kWmProtocols, kWmDeleteWindow, kNetWmState, kNetWmStateFullscreen, kNetWmStateAbove,
        kNetWmStateMaxVert, kNetWmStateMaxHorz, kNetWmName, kUtf8String, kNetActiveWindow, kNetSupported,
        kNetWmPid, kMotifWmHints, kAtomCount
    };

    window::WindowState& state_;
    Display* display_ = nullptr;
    ::Window window_ = 0;
    ::Window root_ = 0;
    int screen_ = 0;
    Visual* visual_ = nullptr;
    int depth_ = 0;
    Colormap colormap_ = 0;
    bool own_colormap_ = false;  // a chosen visual gets a colormap of its own
    std::array<Atom, kAtomCount> atoms_{};
    std::array<bool, kAtomCount> wm_has_{};  // what the window manager announces
    bool has_wm_ = false;
    XIM im_ = nullptr;
    XIC ic_ = nullptr;
    bool im_tried_ = false;
    bool keyboard_loaded_ = false;
    // The last key-state snapshot, taken again only after key, focus or
    // mapping events: an idle window makes no round trip per pass.
    std::bitset<256> key_snapshot_;
    // Events taken by collect(); a _NET_WM_STATE change carries the state
    // read then.
    struct Collected {
        XEvent event;
        std::vector<Atom> wm_state;
    };
    std::vector<Collected> inbox_;
    bool key_snapshot_stale_ = true;
    Cursor blank_cursor_ = 0;
    bool detectable_repeat_ = false;
    X11KeyboardLayout layouts_[2];
    int layout_index_ = 0;
    bool screen_saver_suspended_ = false;
    std::atomic<bool> lost_{false};
    std::thread::id owner_;
    Hooks hooks_;
    Placement placement_;
    int32_t client_w_ = 0, client_h_ = 0;
    int32_t pos_x_ = 0, pos_y_ = 0;
    int32_t saved_x_ = 0, saved_y_ = 0;  // windowed position (no window manager)
    bool focused_ = true;
    bool mapped_ = false;
    bool show_requested_ = false;
    bool activation_requested_ = false;
    bool grabbed_ = false;
    bool fullscreen_shown_ = false;  // the window manager reports full-screen
    std::bitset<256> down_;          // key codes held, for the auto-repeat mark
    std::array<uint8_t, 256> press_char_{};  // character of each held key
    Time last_press_time_ = 0;
    unsigned last_press_button_ = 0;
    int32_t last_press_x_ = 0, last_press_y_ = 0;

    window::RequestMailbox mailbox_;
};

// Calls XInitThreads once per process, before any other Xlib call of the
// drivers.
void init_xlib_threads();

// Reads a window property of atoms; empty when missing.
std::vector<Atom> read_atoms(Display* d, ::Window w, Atom property);

// a / b rounded towards minus infinity (b > 0).
constexpr int32_t floor_div(int32_t a, int32_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace gfx::x11
