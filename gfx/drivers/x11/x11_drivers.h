// The Linux display drivers: "X11" shows the visible page in an X11 window
// through a driver thread; "OpenGL" serves screens opened with the opengl
// flag through GLX.
#pragma once

#include <cstdint>

#include "gfx/gfx.h"

namespace gfx::x11 {

extern const GfxDriver display_driver;
extern const GfxDriver gl_driver;

// Counters of the "X11" driver thread, for tests and benchmarks.
struct DriverStats {
    uint64_t passes;         // passes run since the process started
    uint64_t shows;          // passes that put rows into the window
    int64_t last_show_ns;    // steady-clock time of the last such pass
    bool shared_memory;      // the open window's rows go through MIT-SHM
    unsigned long window;    // the open window's X id, 0 when none
};
DriverStats driver_stats();

// Test and benchmark hook: windows opened from now on put rows with
// XPutImage even where MIT-SHM is offered (false) or use it where it is
// (true, the default).
void set_shared_memory_allowed(bool allowed);
// Test and benchmark hook: full-screen pictures of windows opened from now
// on are scaled by the server through XRender (true, the default, where the
// server has it) or by the driver (false).
void set_server_scaling_allowed(bool allowed);

// The monitor's modes (height | width << 16) whose bits per pixel equal
// depth, or with partners also its partner (15/16, 24/32); malloc'ed, the
// caller frees it. Null with count 0 when there is no display or XRandR.
int32_t* fetch_modes(int32_t depth, int32_t* count, bool partners);

}  // namespace gfx::x11
