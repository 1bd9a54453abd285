// Converters from page pixels to device pixels on any pair of buffers: each
// writes the changed rows of a source page into a device buffer in the
// device's format. They need no open screen (the drivers reach them for the
// open screen through blitters.h).
#pragma once

#include <cstdint>

#include "gfx/drivers/convert/device_pixels.h"

namespace gfx::convert {

// The page a converter reads.
struct ConvertSource {
    const uint8_t* pixels;  // row 0 of the page
    int32_t w, h;           // in pixels
    int32_t pitch;          // bytes between page rows
    int32_t scanline;       // device rows per page row (below 1: one)
    const uint8_t* dirty;   // per page row, non-zero when changed; null: every row
    // Palette pages: 256 entries red | green << 8 | blue << 16; null reads
    // as black.
    const uint32_t* palette;
    // 16-bit pages on 24- and 32-bit devices: the two 256-entry tables of
    // rgb16_tables(); null: those of the converter's own red position.
    const uint32_t* rgb16_low;
    const uint32_t* rgb16_high;
};

// Writes every changed row of the source into dest, the device row of page
// row 0, dest_pitch bytes between device rows: w device pixels a row, or,
// where page and device pixels have the same format, possibly the whole
// page row (pitch bytes). A changed page row fills scanline device rows;
// unchanged rows are left alone; dirty flags are not cleared.
using Converter = void (*)(const ConvertSource& source, uint8_t* dest, int32_t dest_pitch);

// The converter for a page of page_depth (up to 8: palette, 15 or 16:
// 5-6-5, 32: 0xAARRGGBB) onto a device of device_depth (8, 15, 16, 24,
// 32) with red in the low bits (red_low) or the high bits; null when there
// is none. wide takes the vector variants, which give the same pixels.
Converter select(int32_t page_depth, int32_t device_depth, bool red_low, bool wide);

// One cell of the converter tables (device_depth 15, 16, 24 or 32).
Converter cell(bool wide, bool red_low, PageFormat page, int32_t device_depth);
// Page of depth up to 8 onto an 8-bit device: the plain row copy.
Converter row_copy(bool wide);
// 32-bit page, every pixel written with its top byte cleared.
Converter shaped(bool wide);

// The 16-bit source tables for a red position: the 24-bit colour of a
// 5-6-5 pixel s is low[s & 0xFF] | high[s >> 8].
struct Rgb16Tables {
    const uint32_t* low;
    const uint32_t* high;
};
Rgb16Tables rgb16_tables(bool red_low);

// The wide cells (converters_wide.cpp), indexed like cell().
Converter wide_cell(bool red_low, PageFormat page, int32_t device_depth);
Converter wide_row_copy();
Converter wide_shaped();

}  // namespace gfx::convert
