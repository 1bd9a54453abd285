// Converters from page pixels to device pixels: each writes the changed rows
// of the visible page into a device buffer in the device's format.
//
// A converter reads the open screen (framebuffer, w, h, pitch,
// device_palette, dirty, scanline_size); dest is the device row of page row
// 0 and dest_pitch the distance between device rows. A changed page row
// fills scanline_size device rows; unchanged rows are left alone; dirty
// flags are never cleared here.
#pragma once

#include <cstdint>

#include "gfx/drivers/convert/device_pixels.h"

namespace gfx {

using Blitter = void (*)(uint8_t* dest, int32_t dest_pitch);

// The converter for the open screen's page and a device of device_depth
// (8, 15, 16, 24, 32) with red in the low bits (red_low) or high bits;
// null when there is none. Rebuilds the 16-bit source tables for red_low.
// The wide variants are taken when the processor check chose the wide
// pixel routines, the scanline size is 1 and the width a multiple of 4.
Blitter gfx_blitter_select(int32_t device_depth, bool red_low);

namespace convert {

// One cell of the converter tables (device_depth 15, 16, 24 or 32).
Blitter cell(bool wide, bool red_low, PageFormat page, int32_t device_depth);
// Page of depth up to 8 onto an 8-bit device: the plain row copy.
Blitter row_copy(bool wide);
// 32-bit page, every pixel written with its top byte cleared.
Blitter shaped(bool wide);
// Fills the 16-bit source tables in the screen's converter work area.
void build_rgb16_tables(bool red_low);

// The wide cells (blitters_wide.cpp), indexed like cell().
Blitter wide_cell(bool red_low, PageFormat page, int32_t device_depth);
Blitter wide_row_copy();
Blitter wide_shaped();

}  // namespace convert
}  // namespace gfx
