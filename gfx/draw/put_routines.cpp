// Plain image-put routines, the table choice behind put_transparent and
// put_copy, and put_alpha_channel.
#include "gfx/draw/put_routines.h"

#include <cstddef>
#include <cstring>
#include <cstdint>

#include "gfx/core/pixel_routines.h"
#include "gfx/core/unaligned.h"

namespace gfx {
namespace {


void transparent8(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
                  int32_t src_pitch, int32_t dst_pitch, int32_t, GfxBlender, void*) {
    for (int32_t y = 0; y < height; ++y, src += src_pitch, dst += dst_pitch) {
        for (int32_t x = 0; x < width; ++x) {
            if (src[x] != kMask8) dst[x] = src[x];
        }
    }
}

void transparent16(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
                   int32_t src_pitch, int32_t dst_pitch, int32_t, GfxBlender, void*) {
    for (int32_t y = 0; y < height; ++y, src += src_pitch, dst += dst_pitch) {
        for (int32_t x = 0; x < width; ++x) {
            const auto v = load<uint16_t>(src + 2 * std::ptrdiff_t(x));
            if (v != kMask16) store<uint16_t>(dst + 2 * std::ptrdiff_t(x), v);
        }
    }
}

void transparent32(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
                   int32_t src_pitch, int32_t dst_pitch, int32_t, GfxBlender, void*) {
    for (int32_t y = 0; y < height; ++y, src += src_pitch, dst += dst_pitch) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t v = load<uint32_t>(src + 4 * std::ptrdiff_t(x)) & kColourBits32;
            if (v != kMask32) store<uint32_t>(dst + 4 * std::ptrdiff_t(x), v);
        }
    }
}

// Copy: the depth's plain pixel_copy for each row.
template <int Bpp>
void copy_rows(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
               int32_t src_pitch, int32_t dst_pitch, int32_t, GfxBlender, void*) {
    if (width <= 0) return;
    const GfxPixelCopyFn copy = pixel_routines(Bpp, false).pixel_copy;
    for (int32_t y = 0; y < height; ++y, src += src_pitch, dst += dst_pitch) copy(dst, src, width);
}

constexpr PutTable kPlainTransparentTable = {transparent8, transparent16, nullptr, transparent32};
constexpr PutTable kPlainCopyTable = {copy_rows<1>, copy_rows<2>, nullptr, copy_rows<4>};

}  // namespace

const PutTable& put_transparent_table(bool wide) {
    return wide ? kWideTransparentTable : kPlainTransparentTable;
}

const PutTable& put_copy_table(bool wide) {
    return wide ? kWideCopyTable : kPlainCopyTable;
}

bool read_image(const void* image, int32_t compact_default_bpp, ImageView* out) {
    const auto* p = static_cast<const uint8_t*>(image);
    if (load<int32_t>(p) == GFX_IMAGE_TYPE_STANDARD) {
        ImageHeader h;
        std::memcpy(&h, p, sizeof h);
        if ((h.bpp != 1 && h.bpp != 2 && h.bpp != 4) || h.width < 0 || h.height < 0 ||
            h.pitch < 0 || int64_t(h.width) * h.bpp > h.pitch ||
            int64_t(h.pitch) * h.height > INT32_MAX)
            return false;
        *out = {p + sizeof(ImageHeader), h.bpp, h.width, h.height, h.pitch};
        return true;
    }
    const uint16_t word0 = load<uint16_t>(p);
    const int32_t bpp = (word0 & 7) ? int32_t(word0 & 7) : compact_default_bpp;
    const int32_t width = word0 >> 3;
    *out = {p + 4, bpp, width, int32_t(load<uint16_t>(p + 2)), width * bpp};
    return true;
}

bool put_wide_active() {
    const GfxContext* ctx = gfx_context();
    return ctx ? (ctx->flags & GFX_CPU_MMX) != 0 : wide_routines_active();
}

void put_alpha_channel_plain(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
                             int32_t src_pitch, int32_t dst_pitch, int32_t, GfxBlender, void*) {
    for (int32_t y = 0; y < height; ++y, src += src_pitch, dst += dst_pitch) {
        for (int32_t x = 0; x < width; ++x) dst[4 * std::ptrdiff_t(x) + 3] = src[x];
    }
}

}  // namespace gfx

namespace {

// The routine of the current target depth from the table cached in slot;
// the slot is (re)filled when empty or when the variant in use changed.
PutRoutine handler(int slot, const gfx::PutTable& (*table_of)(bool)) {
    GfxDrawState* state = gfx_get_draw_state();
    if (!state || state->target_bpp < 1 || state->target_bpp > 4) return nullptr;
    const PutRoutine* table = table_of(gfx::put_wide_active());
    state->put_handlers[slot] = table;
    return table[state->target_bpp - 1];
}

}  // namespace

extern "C" {

void put_transparent(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
                     int32_t src_pitch, int32_t dst_pitch, int32_t alpha, GfxBlender blender,
                     void* param) {
    if (PutRoutine r = handler(gfx::kSlotTransparent, gfx::put_transparent_table))
        r(src, dst, width, height, src_pitch, dst_pitch, alpha, blender, param);
}

void put_copy(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height, int32_t src_pitch,
              int32_t dst_pitch, int32_t alpha, GfxBlender blender, void* param) {
    if (PutRoutine r = handler(gfx::kSlotCopy, gfx::put_copy_table))
        r(src, dst, width, height, src_pitch, dst_pitch, alpha, blender, param);
}

void put_alpha_channel(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
                       int32_t src_pitch, int32_t dst_pitch, int32_t alpha, GfxBlender blender,
                       void* param) {
    // Only 4-byte pixels have an alpha byte; the rows of any other target
    // are too narrow for one, so nothing is written there.
    const GfxDrawState* state = gfx_get_draw_state();
    if (!state || state->target_bpp != 4) return;
    auto r = gfx::put_wide_active() ? gfx::put_alpha_channel_wide : gfx::put_alpha_channel_plain;
    r(src, dst, width, height, src_pitch, dst_pitch, alpha, blender, param);
}

}  // extern "C"
