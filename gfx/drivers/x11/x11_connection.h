// A broken connection to the X server (the server ended, or dropped this
// client) under an open window. Xlib would print its own message and end the
// process from whatever thread noticed, running the exit handlers there. For
// the displays of windows, the handlers here report one line instead, make
// every later Xlib call on the display do nothing, and leave the end of the
// process to WindowHost::lose_connection. Other displays of the process keep
// the handlers they had.
#pragma once

#include <X11/Xlib.h>

namespace gfx::x11 {

class X11Window;

// The process's connection for its windows, opened with the first window
// and kept for the later ones (null when the display cannot be opened).
// The server hands the resource IDs of a closed connection to the next
// client in its place: a window on a new connection would get the ID of the
// window just destroyed, and a window manager still letting go of that one
// would clear the new window's state (full-screen among it) or move it. On
// one connection every window gets an ID of its own. A connection that
// broke meanwhile is kept (see keep_lost_display) and a new one opened; one
// that breaks while it is being opened is reported, and Xlib ends the
// process with status 1 on this thread.
Display* window_display();

// From now on (until unwatch) a broken connection of the window's display
// is reported once, marks the window lost and ends the process. Without a
// window the break is only noted, for the next window_display().
void watch_connection(X11Window& window);
void unwatch_connection(X11Window& window);

// Keeps a display whose connection broke for the rest of the process, not
// closed: closing it would still digest what Xlib had read before the break
// (printing about events of extensions already shut down). The process is
// ending anyway.
void keep_lost_display(Display* display);

}  // namespace gfx::x11
