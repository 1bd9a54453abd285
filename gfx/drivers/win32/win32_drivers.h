// The Windows display drivers, in the order the screen set-up tries them:
// "DirectX" (DirectDraw, with DirectInput for the key states), "GDI" (a
// device-independent bitmap) and "OpenGL" (WGL, only for screens opened
// with the opengl flag).
#pragma once

#include <cstdint>

#include "gfx/gfx.h"

namespace gfx::win32 {

extern const GfxDriver directx_driver;
extern const GfxDriver gdi_driver;
extern const GfxDriver gl_driver;

// The primary display's modes (height | width << 16) with depth bits per
// pixel, and with partners also those of the partner depth (15/16, 24/32);
// malloc'ed, the caller frees it. The list keeps what it has when memory
// runs out.
int32_t* display_modes(int32_t depth, int32_t* count, bool partners);

}  // namespace gfx::win32
