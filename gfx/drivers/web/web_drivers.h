// The browser's display driver: "Canvas" shows the visible page on the web
// page's canvas.
#pragma once

#include "gfx/gfx.h"

namespace gfx::web {

extern const GfxDriver canvas_driver;

}  // namespace gfx::web
