// Pixel routines: the process-wide fill and copy routines and the per-depth
// routine sets (plain and wide) handed to drawing states.
#ifndef LICHTBOX_GFX_CORE_PIXEL_ROUTINES_H
#define LICHTBOX_GFX_CORE_PIXEL_ROUTINES_H

#include <cstddef>
#include <cstdint>

#include "gfx/gfx.h"

using GfxFillFn = void* (*)(void* dst, int value, size_t count);
using GfxCopyFn = void* (*)(void* dst, const void* src, size_t count);
// Copies count pixels of the current target depth (nothing for count <= 0).
using GfxPixelCopyFn = void* (*)(void* dst, const void* src, int32_t count);

// Chosen by gfx_select_depth_routines.
extern GfxFillFn gfx_fill;
extern GfxCopyFn gfx_copy;
extern GfxPixelCopyFn gfx_pixel_copy;
// Opaque pixel_set of the current depth (used to fill texture buffers).
extern GfxPixelSet gfx_driver_span_fill;

namespace gfx {

struct PixelRoutineSet {
    GfxPutPixel put_pixel;
    GfxGetPixel get_pixel;
    GfxPixelSet pixel_set;
    GfxPutPixel blend_put_pixel;
    GfxPixelSet blend_pixel_set;
    GfxPixelCopyFn pixel_copy;
};

// The routines for bpp (1, 2, anything else = 4) in the plain or wide
// variant. For bpp 4 the blend entries are always the blending routines;
// for 1 and 2 they equal the opaque ones.
const PixelRoutineSet& pixel_routines(int32_t bpp, bool wide);

// CPUID leaf 1, EDX bit 23; checked once per process. False without CPUID.
bool cpu_has_mmx();

// Test hook: -1 = follow the processor check (default), 0 = force the plain
// routines, 1 = force the wide ones. Takes effect at the next
// gfx_select_depth_routines.
void set_wide_override(int mode);

// Whether the last gfx_select_depth_routines chose the wide variants.
bool wide_routines_active();

// ---- building blocks shared by the plain and wide sets -------------------

// Blend of one pixel as the plain routines do it: red, green and blue become
// d + floor((s - d) * a / 256), the alpha byte is s's.
uint32_t blend_plain(uint32_t src, uint32_t dst);
// Blend of one pixel as the wide routines do it: all four channels, alpha
// included, become d + floor((s - d) * a / 256).
uint32_t blend_wide(uint32_t src, uint32_t dst);

// The wide variants (pixel_routines_wide.cpp). Counts <= 0 write nothing.
void* wide_fill_bytes(void* dst, int value, size_t count);
void* wide_copy_bytes(void* dst, const void* src, size_t count);
void* wide_fill8(void* dst, uint32_t color, int32_t count);
void* wide_fill16(void* dst, uint32_t color, int32_t count);
void* wide_fill32(void* dst, uint32_t color, int32_t count);
void* wide_blend_span(void* dst, uint32_t color, int32_t count);

// ---- rectangles -------------------------------------------------------------

// Fills `rows` spans of count pixels whose first pixels lie `pitch` bytes
// apart, starting at `first`: the same bytes as calling the span routine it
// belongs to once per row, without the per-row call. Counts <= 0 and rows
// <= 0 write nothing.
using RectFill = void (*)(uint8_t* first, std::ptrdiff_t pitch, uint32_t color, int32_t count,
                          int64_t rows);

// The rectangle form of a span routine, or null when it has none (the
// blending spans, or any routine a caller installed): such a routine is then
// called once per row.
RectFill rect_fill_for(GfxPixelSet span);

void wide_fill8_rect(uint8_t* first, std::ptrdiff_t pitch, uint32_t color, int32_t count, int64_t rows);
void wide_fill16_rect(uint8_t* first, std::ptrdiff_t pitch, uint32_t color, int32_t count, int64_t rows);
void wide_fill32_rect(uint8_t* first, std::ptrdiff_t pitch, uint32_t color, int32_t count, int64_t rows);

}  // namespace gfx

#endif
