// The buffer sizes an OpenGL screen asks for, shared by the GLX and WGL
// drivers: what was not requested is filled in from the screen depth and
// the driver flags.
#pragma once

#include <cstdint>
#include <string_view>

namespace gfx::window {

// Requested buffer sizes in bits; 0 means not requested.
struct BufferSizes {
    int colour, red, green, blue, alpha, depth, stencil, accum, accum_red, accum_green, accum_blue, accum_alpha,
        samples;
};

// Fills the sizes that were not requested: colour channels from the colour
// (or screen) depth, accumulation channels from their total or the
// kWantAccum flag, depth 16, stencil 8 with kWantStencil, 4 samples with
// kWantMultisample.
void fill_unrequested(BufferSizes& s, int32_t screen_depth, uint32_t flags);

// Whether word occurs in the extension list followed by a space or the end.
bool has_extension(std::string_view list, std::string_view word);

}  // namespace gfx::window
