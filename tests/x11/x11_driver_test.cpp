// The "X11" and "OpenGL" drivers against a real X server (run through
// with_xserver.sh): the window's pixels against the visible page, keys,
// mouse, full-screen and back, the close request, window flags, an OpenGL
// screen. The test reads the window through a connection of its own and
// sends input through the XTEST extension, as a user's server would see it.
#include <gtest/gtest.h>
// Xlib's macros (None, Bool, ...) must come after the test framework.
#include <GL/gl.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gfx/console/input_internal.h"
#include "gfx/drivers/x11/x11_connection.h"
#include "gfx/drivers/x11/x11_drivers.h"
#include "gfx/drivers/x11/x11_window.h"
#include "gfx/gfx.h"

namespace {

using Clock = std::chrono::steady_clock;

Display* g_dpy = nullptr;

bool wait_until(const std::function<bool()>& done, int timeout_ms = 10000) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (Clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

// Waits for a driver pass that shows rows after the count `shows` (read
// before the change), then for two more passes: the later one started after
// the change and its key-state round trip proves the server took its rows.
bool wait_shown(uint64_t shows) {
    if (!wait_until([&] { return gfx::x11::driver_stats().shows > shows; })) return false;
    const uint64_t passes = gfx::x11::driver_stats().passes;
    return wait_until([&] { return gfx::x11::driver_stats().passes > passes + 1; });
}

// The open screen's window: the set-up returns while the driver thread
// still creates it.
::Window our_window() {
    wait_until([] { return gfx::x11::driver_stats().window != 0; });
    return ::Window(gfx::x11::driver_stats().window);
}

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) { return os << c.r << "," << c.g << "," << c.b; }

// Channel value of pixel p under mask, widened to 8 bits (low bits 0).
int channel(unsigned long p, unsigned long mask) {
    if (!mask) return 0;
    int shift = 0, bits = 0;
    while (!((mask >> shift) & 1)) ++shift;
    while ((mask >> (shift + bits)) & 1) ++bits;
    return int(((p & mask) >> shift) << (8 - bits));
}

// The window's client area as colours, row after row.
std::vector<Rgb> window_pixels(::Window w, int* width, int* height) {
    XWindowAttributes a{};
    XGetWindowAttributes(g_dpy, w, &a);
    *width = a.width;
    *height = a.height;
    XImage* img = XGetImage(g_dpy, w, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
    std::vector<Rgb> out;
    if (!img) return out;
    out.reserve(std::size_t(a.width * a.height));
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const unsigned long p = XGetPixel(img, x, y);
            out.push_back({channel(p, img->red_mask), channel(p, img->green_mask), channel(p, img->blue_mask)});
        }
    XDestroyImage(img);
    return out;
}

// Colour of page pixel (x, y) of the visible page, widened to 8 bits.
Rgb page_color(const GfxContext* ctx, int x, int y) {
    const uint8_t* row = ctx->framebuffer + y * ctx->pitch;
    if (ctx->bpp == 4) {
        uint32_t c;
        std::memcpy(&c, row + 4 * x, 4);
        return {int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF)};
    }
    if (ctx->bpp == 2) {
        uint16_t s;
        std::memcpy(&s, row + 2 * x, 2);
        return {(s >> 11) << 3, ((s >> 5) & 0x3F) << 2, (s & 0x1F) << 3};
    }
    const uint32_t e = ctx->device_palette[row[x]];
    return {int(e & 0xFF), int((e >> 8) & 0xFF), int((e >> 16) & 0xFF)};
}

// The coarser of the page's and the server's precision: 5/6/5 bits when
// either is a 16-bit format.
Rgb reduce(Rgb c, bool to565) {
    if (!to565) return c;
    return {c.r & 0xF8, c.g & 0xFC, c.b & 0xF8};
}

// Counts pixels where the window differs from the page shown at scale s
// from (ox, oy); everything outside the picture must be black.
int count_mismatches(const GfxContext* ctx, const std::vector<Rgb>& win, int ww, int wh, int s, int ox, int oy,
                     std::string* first) {
    if (win.size() != std::size_t(ww) * std::size_t(wh)) {
        if (first) *first = "the window could not be read (not mapped yet?)";
        return ww * wh + 1;
    }
    const bool to565 = ctx->bpp == 2 || DefaultDepth(g_dpy, DefaultScreen(g_dpy)) == 16;
    int bad = 0;
    for (int y = 0; y < wh; ++y)
        for (int x = 0; x < ww; ++x) {
            const int px = (x - ox) / s, py = (y - oy) / s;
            const bool on = x >= ox && y >= oy && px < ctx->w && py < ctx->h;
            const Rgb want = on ? reduce(page_color(ctx, px, py), to565) : Rgb{0, 0, 0};
            const Rgb got = reduce(win[std::size_t(y * ww + x)], to565);
            if (!(got == want)) {
                if (bad++ == 0 && first) {
                    std::ostringstream os;
                    os << "at " << x << "," << y << " window " << got << " page " << want;
                    *first = os.str();
                }
            }
        }
    return bad;
}

// Waits until the window shows the page at scale s from (ox, oy); the
// number of differing pixels then (0 when it matched).
int wait_matches(::Window w, int s, int ox, int oy, std::string* first) {
    int bad = -1;
    wait_until([&] {
        int ww = 0, wh = 0;
        const auto pixels = window_pixels(w, &ww, &wh);
        bad = count_mismatches(gfx_context(), pixels, ww, wh, s, ox, oy, first);
        return bad == 0;
    }, 15000);  // a loaded machine's window manager may take seconds to map it
    return bad;
}

void drain() {
    GfxEvent ev;
    while (gfx_take_event(&ev)) {
    }
    while (gfx_take_key() != 0) {
    }
}

std::vector<GfxEvent> take_events() {
    std::vector<GfxEvent> out;
    GfxEvent ev;
    while (gfx_take_event(&ev)) out.push_back(ev);
    return out;
}

bool has_event(const std::vector<GfxEvent>& evs, int32_t kind) {
    for (const GfxEvent& e : evs)
        if (e.kind == kind) return true;
    return false;
}

void key(KeySym ks, bool down) {
    XTestFakeKeyEvent(g_dpy, XKeysymToKeycode(g_dpy, ks), down, 0);
    XFlush(g_dpy);
}

void tap(KeySym ks, KeySym modifier = NoSymbol) {
    if (modifier != NoSymbol) key(modifier, true);
    key(ks, true);
    key(ks, false);
    if (modifier != NoSymbol) key(modifier, false);
}

// Waits for the next key code in the queue (0 when none comes).
int32_t next_key() {
    int32_t code = 0;
    wait_until([&] { return (code = gfx_take_key()) != 0; });
    return code;
}

std::vector<Atom> atoms_of(::Window w, const char* property) {
    Atom type;
    int format;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<Atom> out;
    if (XGetWindowProperty(g_dpy, w, XInternAtom(g_dpy, property, False), 0, 64, False, AnyPropertyType, &type,
                           &format, &n, &after, &data) == Success &&
        data) {
        if (format == 32) out.assign(reinterpret_cast<Atom*>(data), reinterpret_cast<Atom*>(data) + n);
        XFree(data);
    }
    return out;
}

bool in_state(::Window w, const char* state) {
    const auto st = atoms_of(w, "_NET_WM_STATE");
    const Atom a = XInternAtom(g_dpy, state, False);
    return std::find(st.begin(), st.end(), a) != st.end();
}

void root_position(::Window w, int* x, int* y) {
    ::Window child;
    XTranslateCoordinates(g_dpy, w, DefaultRootWindow(g_dpy), 0, 0, x, y, &child);
}

class X11DriverTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gfx::x11::init_xlib_threads();
        // Reading a window the window manager has not mapped yet fails;
        // the reads are retried instead of ending the program.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        g_dpy = XOpenDisplay(nullptr);
        ASSERT_NE(g_dpy, nullptr) << "no X server (run through tests/x11/with_xserver.sh)";
    }
    static void TearDownTestSuite() {
        if (g_dpy) XCloseDisplay(g_dpy);
        g_dpy = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(g_dpy, nullptr);
        unsetenv("ZRGFX");
        gfx::x11::set_shared_memory_allowed(true);
    }
    void TearDown() override {
        gfx_screen_set(0, 0, 0, 0, 0);
        drain();
    }

    // Fills the visible page with random pixels and waits until shown.
    static void show_random_page(unsigned seed) {
        GfxContext* ctx = gfx_context();
        std::mt19937 rng(seed);
        const uint64_t shows = gfx::x11::driver_stats().shows;
        gfx_lock();
        for (int i = 0; i < ctx->pitch * ctx->h; ++i) ctx->framebuffer[i] = uint8_t(rng());
        std::memset(ctx->dirty, 1, std::size_t(ctx->h));
        gfx_unlock();
        ASSERT_TRUE(wait_shown(shows));
    }
};

TEST_F(X11DriverTest, WindowShowsThePageExactlyAtEveryDepth) {
    struct Case {
        int depth;
        bool shm;
    } const cases[] = {{32, true}, {32, false}, {16, true}, {16, false}, {8, true}, {8, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE("page depth " + std::to_string(c.depth) + (c.shm ? " MIT-SHM" : " XPutImage"));
        gfx::x11::set_shared_memory_allowed(c.shm);
        ASSERT_EQ(gfx_screen_set_size(200, 150, c.depth, 2, 0, 0), 0);
        GfxContext* ctx = gfx_context();
        ASSERT_STREQ(ctx->driver->name, "X11");
        show_random_page(unsigned(c.depth));
        // Shared memory is taken once the start's pictures have settled.
        if (c.shm) {
            EXPECT_TRUE(wait_until([] { return gfx::x11::driver_stats().shared_memory; }));
        }
        EXPECT_EQ(gfx::x11::driver_stats().shared_memory, c.shm);
        int ww = 0, wh = 0;
        window_pixels(our_window(), &ww, &wh);
        ASSERT_EQ(ww, 200);
        ASSERT_EQ(wh, 150);
        std::string first;
        EXPECT_EQ(wait_matches(our_window(), 1, 0, 0, &first), 0) << first;

        // A palette change alone reaches the window.
        if (c.depth == 8) {
            const uint64_t shows = gfx::x11::driver_stats().shows;
            gfx_palette_set(ctx->framebuffer[0], 0x3F, 0, 0);
            ASSERT_TRUE(wait_shown(shows));
            EXPECT_EQ(wait_matches(our_window(), 1, 0, 0, &first), 0) << first;
        }
        gfx_screen_set(0, 0, 0, 0, 0);
    }
}

TEST_F(X11DriverTest, RealWindowKeysMouseFullScreenAndClose) {
    // The pointer starts outside the window.
    XTestFakeMotionEvent(g_dpy, DefaultScreen(g_dpy), 0, 0, 0);
    XSync(g_dpy, False);
    gfx_set_window_title(rt_str_temp_cstr("Fenster \x84"));  // "ä" in code page 437
    ASSERT_EQ(gfx_screen_set_size(320, 240, 32, 2, 0, 0), 0);
    GfxContext* ctx = gfx_context();
    const ::Window w = our_window();
    ASSERT_NE(w, 0u);

    // Title and class, as the window manager sees them.
    char* name = nullptr;
    ASSERT_TRUE(XFetchName(g_dpy, w, &name));
    EXPECT_STREQ(name, "Fenster ?");
    XFree(name);
    XClassHint hint{};
    ASSERT_TRUE(XGetClassHint(g_dpy, w, &hint));
    EXPECT_STREQ(hint.res_class, "zrgfxclass_Fenster \x84");
    XFree(hint.res_name);
    XFree(hint.res_class);

    // The window manager gives the new window the focus.
    ASSERT_TRUE(wait_until([&] {
        ::Window focus;
        int revert;
        XGetInputFocus(g_dpy, &focus, &revert);
        return focus == w;
    }));

    // Drawing shows exactly.
    const uint64_t shows = gfx::x11::driver_stats().shows;
    gfx_line(nullptr, 10, 10, 300, 200, 0xFFFF8000u, 2, 0xFFFF, 0);
    gfx_circle(nullptr, 160, 120, 50, 0xFF2040FFu, 0, 0, 6.283186f, 1, 0);
    ASSERT_TRUE(wait_shown(shows));
    std::string first;
    EXPECT_EQ(wait_matches(w, 1, 0, 0, &first), 0) << first;

    // Keys: a character, shift, an extended key, a character remapped to
    // "ä" (code page 437 0x84), a held key in the key-state table.
    drain();
    tap(XK_r);
    EXPECT_EQ(next_key(), 'r');
    tap(XK_r, XK_Shift_L);
    EXPECT_EQ(next_key(), 'R');
    tap(XK_F1);
    EXPECT_EQ(next_key(), 0x3BFF);
    tap(XK_Up);
    EXPECT_EQ(next_key(), 0x48FF);
    int min_kc = 0, max_kc = 0, per = 0;
    XDisplayKeycodes(g_dpy, &min_kc, &max_kc);
    KeySym* map = XGetKeyboardMapping(g_dpy, KeyCode(min_kc), max_kc - min_kc + 1, &per);
    int spare = 0;
    for (int kc = max_kc; kc >= min_kc && !spare; --kc) {
        bool empty = true;
        for (int i = 0; i < per; ++i) empty = empty && map[(kc - min_kc) * per + i] == NoSymbol;
        if (empty) spare = kc;
    }
    XFree(map);
    ASSERT_NE(spare, 0);
    KeySym umlaut = XK_adiaeresis;
    XChangeKeyboardMapping(g_dpy, spare, 1, &umlaut, 1);
    XSync(g_dpy, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    XTestFakeKeyEvent(g_dpy, unsigned(spare), True, 0);
    XTestFakeKeyEvent(g_dpy, unsigned(spare), False, 0);
    XFlush(g_dpy);
    EXPECT_EQ(next_key(), 0x84);
    KeySym none = NoSymbol;
    XChangeKeyboardMapping(g_dpy, spare, 1, &none, 1);
    key(XK_g, true);
    EXPECT_TRUE(wait_until([] { return gfx_multikey(34) != 0; }));
    key(XK_g, false);
    EXPECT_TRUE(wait_until([] { return gfx_multikey(34) == 0; }));
    auto evs = take_events();
    ASSERT_FALSE(evs.empty());
    EXPECT_EQ(evs[0].kind, GFX_EVENT_KEY_DOWN);
    EXPECT_EQ(evs[0].field[0], 19);  // "r"
    EXPECT_EQ(evs[0].field[1], 'r');
    drain();

    // Mouse: the move into the window enters, the next moves; positions and
    // buttons through get_mouse.
    int wx = 0, wy = 0;
    root_position(w, &wx, &wy);
    XTestFakeMotionEvent(g_dpy, DefaultScreen(g_dpy), wx + 40, wy + 30, 0);
    XFlush(g_dpy);
    int32_t mx = -1, my = -1, wheel = 0, buttons = 0, clip = 0;
    EXPECT_TRUE(wait_until([&] { return gfx_get_mouse(&mx, &my, &wheel, &buttons, &clip) == 0 && mx == 40; }));
    XTestFakeMotionEvent(g_dpy, DefaultScreen(g_dpy), wx + 45, wy + 32, 0);
    XTestFakeButtonEvent(g_dpy, 1, True, 0);
    XTestFakeButtonEvent(g_dpy, 4, True, 0);
    XTestFakeButtonEvent(g_dpy, 4, False, 0);
    XFlush(g_dpy);
    EXPECT_TRUE(wait_until([&] { return gfx_get_mouse(&mx, &my, &wheel, &buttons, &clip) == 0 && wheel == 1; }));
    EXPECT_EQ(mx, 45);
    EXPECT_EQ(my, 32);
    EXPECT_EQ(buttons, 1);
    XTestFakeButtonEvent(g_dpy, 1, False, 0);
    XFlush(g_dpy);
    EXPECT_TRUE(wait_until([&] { return gfx_get_mouse(&mx, &my, &wheel, &buttons, &clip) == 0 && buttons == 0; }));
    evs = take_events();
    ASSERT_GE(evs.size(), 5u);
    EXPECT_EQ(evs[0].kind, GFX_EVENT_MOUSE_ENTER);
    EXPECT_EQ(evs[1].kind, GFX_EVENT_MOUSE_MOVE);
    EXPECT_EQ(evs[1].field[2], 5);
    EXPECT_TRUE(has_event(evs, GFX_EVENT_BUTTON_DOWN));
    EXPECT_TRUE(has_event(evs, GFX_EVENT_WHEEL));
    EXPECT_TRUE(has_event(evs, GFX_EVENT_BUTTON_UP));

    // Alt+Enter: the window manager's full-screen state, the picture scaled
    // by the largest integer factor (3 for 320 x 240 on 1024 x 768) and
    // centred on black, pointer positions mapped back to page pixels.
    const int sw = DisplayWidth(g_dpy, DefaultScreen(g_dpy)), sh = DisplayHeight(g_dpy, DefaultScreen(g_dpy));
    const int s = std::min(sw / 320, sh / 240), ox = (sw - 320 * s) / 2, oy = (sh - 240 * s) / 2;
    tap(XK_Return, XK_Alt_L);
    ASSERT_TRUE(wait_until([&] {
        XWindowAttributes a{};
        XGetWindowAttributes(g_dpy, w, &a);
        return in_state(w, "_NET_WM_STATE_FULLSCREEN") && a.width == sw && a.height == sh;
    }));
    EXPECT_EQ(wait_matches(w, s, ox, oy, &first), 0) << first;
    root_position(w, &wx, &wy);
    XTestFakeMotionEvent(g_dpy, DefaultScreen(g_dpy), wx + ox + s * 100 + 1, wy + oy + s * 50 + 2, 0);
    XFlush(g_dpy);
    EXPECT_TRUE(wait_until([&] { return gfx_get_mouse(&mx, &my, &wheel, &buttons, &clip) == 0 && mx == 100; }));
    EXPECT_EQ(my, 50);
    XTestFakeMotionEvent(g_dpy, DefaultScreen(g_dpy), wx + 1, wy + 1, 0);  // on the black border
    XFlush(g_dpy);
    EXPECT_TRUE(wait_until([&] { return gfx_get_mouse(&mx, &my, &wheel, &buttons, &clip) != 0; }))
        << mx << "," << my << " window at " << wx << "," << wy;

    // And back.
    tap(XK_Return, XK_Alt_L);
    ASSERT_TRUE(wait_until([&] {
        XWindowAttributes a{};
        XGetWindowAttributes(g_dpy, w, &a);
        return !in_state(w, "_NET_WM_STATE_FULLSCREEN") && a.width == 320 && a.height == 240;
    }));
    EXPECT_EQ(wait_matches(w, 1, 0, 0, &first), 0) << first;

    // The window manager's close request (what the close button and
    // "wmctrl -c" send): the close code once, a close_request event, and
    // the window stays.
    drain();
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = w;
    close.xclient.message_type = XInternAtom(g_dpy, "_NET_CLOSE_WINDOW", False);
    close.xclient.format = 32;
    close.xclient.data.l[1] = 2;
    XSendEvent(g_dpy, DefaultRootWindow(g_dpy), False, SubstructureNotifyMask | SubstructureRedirectMask, &close);
    XFlush(g_dpy);
    EXPECT_EQ(next_key(), 0x6BFF);
    EXPECT_TRUE(has_event(take_events(), GFX_EVENT_CLOSE_REQUEST));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(gfx_take_key(), 0);
    XWindowAttributes a{};
    ASSERT_TRUE(XGetWindowAttributes(g_dpy, w, &a));
    EXPECT_EQ(a.map_state, IsViewable);

    // The monitor's modes of the screen's pixel size include the screen's
    // size; there are none of 8 bits.
    int32_t count = 0;
    EXPECT_EQ(ctx->driver->fetch_modes(8, &count), nullptr);
    EXPECT_EQ(count, 0);
    int32_t* modes = ctx->driver->fetch_modes(DefaultDepth(g_dpy, DefaultScreen(g_dpy)) == 16 ? 16 : 32, &count);
    ASSERT_NE(modes, nullptr);
    EXPECT_NE(std::find(modes, modes + count, sh | (sw << 16)), modes + count);
    std::free(modes);

    // Closing the screen destroys the window.
    gfx_screen_set(0, 0, 0, 0, 0);
    EXPECT_EQ(gfx::x11::driver_stats().window, 0u);
    XSync(g_dpy, False);
    ::Window root, parent, *children = nullptr;
    unsigned n = 0;
    XQueryTree(g_dpy, DefaultRootWindow(g_dpy), &root, &parent, &children, &n);
    bool found = false;
    for (unsigned i = 0; i < n; ++i) {
        ::Window r2, p2, *kids = nullptr;
        unsigned k = 0;
        if (children[i] == w) found = true;
        if (XQueryTree(g_dpy, children[i], &r2, &p2, &kids, &k) && kids) {
            for (unsigned j = 0; j < k; ++j) found = found || kids[j] == w;
            XFree(kids);
        }
    }
    if (children) XFree(children);
    EXPECT_FALSE(found);
}

TEST_F(X11DriverTest, FullScreenFromTheStartScaledByTheDriver) {
    // Without the server's scaling the driver scales the picture itself.
    gfx::x11::set_server_scaling_allowed(false);
    ASSERT_EQ(gfx_screen_set_size(320, 240, 32, 1, GFX_FULLSCREEN, 0), 0);
    gfx::x11::set_server_scaling_allowed(true);
    const ::Window w = our_window();
    const int sw = DisplayWidth(g_dpy, DefaultScreen(g_dpy)), sh = DisplayHeight(g_dpy, DefaultScreen(g_dpy));
    const int s = std::min(sw / 320, sh / 240);
    ASSERT_TRUE(wait_until([&] { return in_state(w, "_NET_WM_STATE_FULLSCREEN"); }));
    gfx_circle(nullptr, 160, 120, 90, 0xFFC08040u, 0, 0, 6.283186f, 1, 0);
    std::string first;
    EXPECT_EQ(wait_matches(w, s, (sw - 320 * s) / 2, (sh - 240 * s) / 2, &first), 0) << first;
}

// A window manager that lags behind: it is still to let go of the closed
// screen's window when the next screen opens full-screen. The new window
// must not be taken for the old one (its state cleared, or moved back).
TEST_F(X11DriverTest, NextScreenKeepsItsStateWhileTheWindowManagerLags) {
    const char* wm = std::getenv("XWM_PID");
    if (!wm) GTEST_SKIP() << "XWM_PID not set (run through tests/x11/with_xserver.sh)";
    ASSERT_EQ(gfx_screen_set_size(320, 240, 32, 1, 0, 0), 0);
    const ::Window first = our_window();
    ASSERT_TRUE(wait_until([&] { return !atoms_of(first, "_NET_FRAME_EXTENTS").empty(); }));  // managed
    // Stopped while it holds no grab of the server: stopped during one, it
    // would stop every client with it.
    struct Paused {
        pid_t pid;
        explicit Paused(pid_t p) : pid(p) {
            for (int i = 0; i < 100; ++i) {
                kill(pid, SIGSTOP);
                wait_until([&] { return process_state(pid) == 'T'; });
                if (std::system("timeout 2 xdpyinfo >/dev/null 2>&1") == 0) return;
                kill(pid, SIGCONT);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            ADD_FAILURE() << "the window manager never let go of the server";
        }
        ~Paused() { kill(pid, SIGCONT); }
        static char process_state(pid_t p) {
            std::ifstream stat("/proc/" + std::to_string(p) + "/stat");
            std::string line;
            std::getline(stat, line);
            const std::size_t close = line.rfind(')');
            return close == std::string::npos || close + 2 >= line.size() ? '?' : line[close + 2];
        }
    };
    ::Window second = 0;
    {
        Paused paused(pid_t(std::atoi(wm)));
        gfx_screen_set(0, 0, 0, 0, 0);
        ASSERT_EQ(gfx_screen_set_size(320, 240, 32, 1, GFX_FULLSCREEN, 0), 0);
        second = our_window();
        XSync(g_dpy, False);
    }
    EXPECT_NE(second, first);
    const int sw = DisplayWidth(g_dpy, DefaultScreen(g_dpy)), sh = DisplayHeight(g_dpy, DefaultScreen(g_dpy));
    EXPECT_TRUE(wait_until([&] {
        XWindowAttributes a{};
        return in_state(second, "_NET_WM_STATE_FULLSCREEN") && XGetWindowAttributes(g_dpy, second, &a) &&
               a.width == sw && a.height == sh;
    }));
}

// The set-up returns while the window is still being made: what the
// program asks of the window at once is carried out when it exists. An
// unmapped window gets no pictures; mapped again, it shows the page as it
// is.
TEST_F(X11DriverTest, EarlyRequestsWaitForTheWindowAndUnmappedWindowsGetNoPictures) {
    ASSERT_EQ(gfx_screen_set_size(160, 120, 32, 1, 0, 0), 0);
    gfx_set_window_title(rt_str_temp_cstr("Gleich"));
    const ::Window w = our_window();
    EXPECT_TRUE(wait_until([&] {
        char* name = nullptr;
        const bool same = XFetchName(g_dpy, w, &name) && std::strcmp(name, "Gleich") == 0;
        if (name) XFree(name);
        return same;
    }));
    std::string first;
    ASSERT_EQ(wait_matches(w, 1, 0, 0, &first), 0) << first;

    // Withdrawn (unmapped, and so let go by the window manager, which
    // cannot give it back on its own meanwhile).
    XWithdrawWindow(g_dpy, w, DefaultScreen(g_dpy));
    XFlush(g_dpy);
    ASSERT_TRUE(wait_until([&] {
        XWindowAttributes a{};
        return XGetWindowAttributes(g_dpy, w, &a) && a.map_state == IsUnmapped;
    }));
    // The unmap reached the driver's connection before this test saw it;
    // the driver has taken it after two more passes.
    const uint64_t passes = gfx::x11::driver_stats().passes;
    ASSERT_TRUE(wait_until([&] { return gfx::x11::driver_stats().passes > passes + 2; }));
    const gfx::x11::DriverStats before = gfx::x11::driver_stats();
    gfx_line(nullptr, 0, 0, 159, 119, 0xFFE0C020u, 2, 0xFFFF, 0);
    ASSERT_TRUE(wait_until([&] { return gfx::x11::driver_stats().passes > before.passes + 3; }));
    EXPECT_EQ(gfx::x11::driver_stats().shows, before.shows);
    XMapWindow(g_dpy, w);
    XFlush(g_dpy);
    EXPECT_EQ(wait_matches(w, 1, 0, 0, &first), 0) << first;
}

// The windows' connection outlives its screens; when the server drops it
// while no screen is open, the next screen opens a new one.
TEST_F(X11DriverTest, ConnectionDroppedBetweenScreensIsReplaced) {
    ASSERT_EQ(gfx_screen_set_size(64, 48, 32, 1, 0, 0), 0);
    gfx_screen_set(0, 0, 0, 0, 0);
    Display* held = gfx::x11::window_display();
    const Pixmap mark = XCreatePixmap(held, DefaultRootWindow(held), 1, 1, unsigned(DefaultDepth(held, 0)));
    XSync(held, False);
    XKillClient(g_dpy, mark);
    XSync(g_dpy, False);
    ASSERT_EQ(gfx_screen_set_size(64, 48, 32, 1, 0, 0), 0);
    EXPECT_NE(gfx::x11::window_display(), held);
    const uint64_t shows = gfx::x11::driver_stats().shows;
    gfx_line(nullptr, 4, 4, 40, 30, 0xFF30A060u, 2, 0xFFFF, 0);
    ASSERT_TRUE(wait_shown(shows));
    std::string first;
    EXPECT_EQ(wait_matches(our_window(), 1, 0, 0, &first), 0) << first;
}

TEST_F(X11DriverTest, WindowFlagsFrameTopAndShape) {
    ASSERT_EQ(gfx_screen_set_size(64, 48, 32, 1, GFX_SHAPED | GFX_ALWAYS_ON_TOP, 0), 0);
    const ::Window w = our_window();
    // Shaped screens are frameless and cannot switch.
    const auto motif = atoms_of(w, "_MOTIF_WM_HINTS");
    ASSERT_EQ(motif.size(), 5u);
    EXPECT_EQ(motif[2], 0u);  // no decorations
    EXPECT_TRUE(wait_until([&] { return in_state(w, "_NET_WM_STATE_ABOVE"); }));
    // Magenta is see-through: only the box drawn over it stays.
    const uint64_t shows = gfx::x11::driver_stats().shows;
    gfx_line(nullptr, 0, 0, 63, 47, 0xFFFF00FFu, 2, 0xFFFF, 0);
    gfx_line(nullptr, 8, 4, 23, 11, 0xFF00FF00u, 2, 0xFFFF, 0);
    ASSERT_TRUE(wait_shown(shows));
    int count = 0, ordering = 0;
    XRectangle* rects = XShapeGetRectangles(g_dpy, w, ShapeBounding, &count, &ordering);
    ASSERT_NE(rects, nullptr);
    int area = 0;
    for (int i = 0; i < count; ++i) {
        area += rects[i].width * rects[i].height;
        EXPECT_GE(rects[i].x, 8);
        EXPECT_LE(rects[i].x + rects[i].width, 24);
    }
    XFree(rects);
    EXPECT_EQ(area, 16 * 8);
}

TEST_F(X11DriverTest, OpenGLScreenClearsAndFlips) {
    // Only the OpenGL driver takes an opengl screen; the X11 driver, tried
    // first, refuses it.
    ASSERT_EQ(gfx_screen_set_size(96, 64, 32, 1, GFX_OPENGL, 0), 0);
    GfxContext* ctx = gfx_context();
    ASSERT_STREQ(ctx->driver->name, "OpenGL");
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    gfx_page_copy(-1, -1);  // flips and handles the window's events
    std::vector<Rgb> pixels;
    int ww = 0, wh = 0;
    // Find the window by its size among the top-level clients.
    ::Window gl_window = 0;
    ASSERT_TRUE(wait_until([&] {
        const auto clients = atoms_of(DefaultRootWindow(g_dpy), "_NET_CLIENT_LIST");
        for (Atom c : clients) {
            XWindowAttributes a{};
            if (XGetWindowAttributes(g_dpy, ::Window(c), &a) && a.width == 96 && a.height == 64) gl_window = ::Window(c);
        }
        return gl_window != 0;
    }));
    ASSERT_TRUE(wait_until([&] {
        glClear(GL_COLOR_BUFFER_BIT);
        gfx_page_copy(-1, -1);
        pixels = window_pixels(gl_window, &ww, &wh);
        return !pixels.empty() && pixels[0] == Rgb{51, 102, 153} && pixels.back() == Rgb{51, 102, 153};
    }));
    EXPECT_EQ(ww, 96);
    EXPECT_EQ(wh, 64);
}

}  // namespace
