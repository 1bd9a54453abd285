// Handling of broken X connections for the displays of windows.
#include "gfx/drivers/x11/x11_connection.h"

#include <X11/extensions/Xext.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <vector>

#include "gfx/drivers/window/window_host.h"
#include "gfx/drivers/x11/x11_window.h"

namespace gfx::x11 {
namespace {

std::mutex g_mutex;
std::vector<X11Window*> g_windows;  // watched
std::vector<Display*> g_lost;       // kept, not closed
Display* g_held = nullptr;          // the windows' connection
bool g_held_broken = false;         // it broke while no window watched it
XIOErrorHandler g_previous_io_handler = nullptr;
XextErrorHandler g_previous_extension_handler = nullptr;
// Set while this thread opens a window's display.
thread_local bool t_opening = false;

X11Window* window_of(Display* d) {
    std::lock_guard<std::mutex> guard(g_mutex);
    auto it = std::find_if(g_windows.begin(), g_windows.end(), [d](X11Window* w) { return w->display() == d; });
    return it == g_windows.end() ? nullptr : *it;
}

void report(Display* d) {
    std::fprintf(stderr, "%s: lost the connection to the X display \"%s\"; the program ends\n",
                 program_invocation_short_name, DisplayString(d));
}

// Process-wide, first of the two handlers Xlib calls: the exit handler of
// a watched display reports.
int on_io_error(Display* d) {
    if (window_of(d)) return 0;
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        if (d == g_held) return 0;
    }
    if (t_opening) {
        // Before an exit handler could be set: Xlib's own ends the process
        // with status 1 on this thread, which holds no lock, and the exit
        // handlers do not wait for it.
        report(d);
        return 0;
    }
    return g_previous_io_handler ? g_previous_io_handler(d) : 0;
}

// Per held display, second: under a window it reports and ends the
// process; without one it notes the break. Either way it returns, so that
// Xlib returns to its caller with the display marked unusable.
void on_connection_lost(Display* d, void*) {
    X11Window* window = window_of(d);
    if (!window) {
        std::lock_guard<std::mutex> guard(g_mutex);
        if (d == g_held) g_held_broken = true;
        return;
    }
    if (!window->mark_lost()) return;
    report(d);
    window::WindowHost::instance().lose_connection(1);
}

// Extension calls on a lost display fail as if the extension were missing;
// that is not worth a message.
int on_missing_extension(Display* d, const char* name, const char* reason) {
    if (X11Window* w = window_of(d); w && w->lost()) return 0;
    return g_previous_extension_handler ? g_previous_extension_handler(d, name, reason) : 0;
}

void install_handlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        g_previous_io_handler = XSetIOErrorHandler(on_io_error);
        g_previous_extension_handler = XSetExtensionErrorHandler(on_missing_extension);
    });
}

}  // namespace

Display* window_display() {
    install_handlers();
    Display* held = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        held = g_held;
    }
    // A server that went away while no window was open is noticed here.
    if (held) XEventsQueued(held, QueuedAfterFlush);
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        if (g_held && g_held_broken) {
            g_lost.push_back(g_held);
            g_held = nullptr;
        }
        g_held_broken = false;
        if (g_held) return g_held;
    }
    t_opening = true;
    Display* d = XOpenDisplay(nullptr);
    t_opening = false;
    if (!d) return nullptr;
    XSetIOErrorExitHandler(d, on_connection_lost, nullptr);
    std::lock_guard<std::mutex> guard(g_mutex);
    g_held = d;
    return d;
}

void watch_connection(X11Window& window) {
    install_handlers();
    std::lock_guard<std::mutex> guard(g_mutex);
    g_windows.push_back(&window);
}

void unwatch_connection(X11Window& window) {
    std::lock_guard<std::mutex> guard(g_mutex);
    std::erase(g_windows, &window);
}

void keep_lost_display(Display* display) {
    std::lock_guard<std::mutex> guard(g_mutex);
    if (display == g_held) g_held = nullptr;
    g_lost.push_back(display);
}

}  // namespace gfx::x11
