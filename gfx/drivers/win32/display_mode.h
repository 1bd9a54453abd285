// The display mode of full-screen windows: switching to the page's mode and
// giving the desktop its own mode back afterwards.
//
// The desktop's mode is remembered when a full-screen mode first replaces
// it. Giving it back uses the system's own restore first (the mode saved in
// the registry); when the screen is not in the remembered mode afterwards,
// the remembered mode is set explicitly. Wine's desktop process can
// overwrite the saved mode with the full-screen one while modes change (seen
// when full-screen is switched on and off in quick succession and under
// load), and its restore then leaves the screen in the full-screen mode.
//
// Called on the thread that owns the window.
#pragma once

#include <windows.h>

#include <functional>

#include "gfx/drivers/window/window_state.h"

namespace gfx::win32 {

// Switches the display to st.w x st.h at st.depth bits (the refresh rate is
// passed along but not required) for a full-screen window; false when the
// system refuses the mode.
bool set_display_mode(const window::WindowState& st);

// Remembers the current mode as the desktop's, unless a full-screen mode is
// in effect already; for drivers that change the mode through another
// interface (DirectDraw), before they change it.
void remember_desktop_mode();

// Gives the desktop its mode back: system_restore is the interface's own
// restore (by default ChangeDisplaySettings without a mode); then, when a
// desktop mode was remembered and the screen is not in it, that mode is set.
void restore_desktop_mode(const std::function<void()>& system_restore = {});

// The display's current mode (width, height and bits per pixel are what
// count here).
DEVMODEA current_display_mode();

}  // namespace gfx::win32
