// Image-put method routines: per-depth tables (plain and wide) behind
// put_transparent and put_copy, and the alpha-channel routine.
#ifndef LICHTBOX_GFX_DRAW_PUT_ROUTINES_H
#define LICHTBOX_GFX_DRAW_PUT_ROUTINES_H

#include <cstdint>

#include "gfx/gfx.h"

namespace gfx {

// Mask colours of the transparent method, by bytes per pixel.
inline constexpr uint8_t kMask8 = 0;
inline constexpr uint16_t kMask16 = 0xF81F;
inline constexpr uint32_t kMask32 = 0x00FF00FF;  // compared on the low 24 bits
inline constexpr uint32_t kColourBits32 = 0x00FFFFFF;

// put_handlers slots of the drawing state.
inline constexpr int kSlotTransparent = 0;
inline constexpr int kSlotCopy = 1;

// A per-depth table: entry bpp - 1 serves targets of bpp bytes per pixel
// (the 3-byte entry is empty).
using PutTable = PutRoutine[4];

// The four tables: method x variant.
const PutTable& put_transparent_table(bool wide);
const PutTable& put_copy_table(bool wide);

// The wide variants (put_routines_wide.cpp).
extern const PutTable kWideTransparentTable;
extern const PutTable kWideCopyTable;
void put_alpha_channel_wide(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
                            int32_t src_pitch, int32_t dst_pitch, int32_t alpha,
                            GfxBlender blender, void* param);
void put_alpha_channel_plain(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
                             int32_t src_pitch, int32_t dst_pitch, int32_t alpha,
                             GfxBlender blender, void* param);

// An image buffer of either form, as read from its header.
struct ImageView {
    const uint8_t* pixels;  // row 0
    int32_t bpp;
    int32_t width;
    int32_t height;
    int32_t pitch;
};

// Reads the header of image: the standard form (type 7) or the compact form,
// whose bytes per pixel 0 stand for compact_default_bpp. False for a
// standard header that is not self-consistent (bytes per pixel other than
// 1, 2 or 4, negative sizes, rows wider than the pitch, or pitch x height
// beyond 32-bit offsets).
bool read_image(const void* image, int32_t compact_default_bpp, ImageView* out);

// Whether the wide variants are in use: cpu_mmx of the open screen, or the
// processor check (as overridden for tests) while no screen is open.
bool put_wide_active();

}  // namespace gfx

#endif
