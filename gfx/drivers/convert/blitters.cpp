// The converters bound to the open screen: its page as a converter's
// source, the 16-bit source tables in its work area, and the selection the
// drivers use.
#include "gfx/drivers/convert/blitters.h"

#include <cstring>

#include "gfx/core/context_internal.h"

namespace gfx::convert {
namespace {

// What a converter reads of the open screen; false while none is open.
bool screen_source(ConvertSource& source) {
    const GfxContext* ctx = gfx_context();
    const auto* tables = static_cast<const uint32_t*>(blit_lookup());
    if (!ctx || !ctx->framebuffer || !ctx->dirty || !tables) return false;
    source = {.pixels = ctx->framebuffer,
              .w = ctx->w,
              .h = ctx->h,
              .pitch = ctx->pitch,
              .scanline = ctx->scanline_size < 1 ? 1 : ctx->scanline_size,
              .dirty = ctx->dirty,
              .palette = ctx->device_palette,
              .rgb16_low = tables,
              .rgb16_high = tables + 256};
    return true;
}

}  // namespace

void build_rgb16_tables(bool red_low) {
    auto* tables = static_cast<uint32_t*>(blit_lookup());
    if (!tables) return;
    const Rgb16Tables t = rgb16_tables(red_low);
    std::memcpy(tables, t.low, 256 * sizeof(uint32_t));
    std::memcpy(tables + 256, t.high, 256 * sizeof(uint32_t));
}

}  // namespace gfx::convert

namespace gfx {

void Blitter::operator()(uint8_t* dest, int32_t dest_pitch) const {
    convert::ConvertSource source{};
    if (converter_ && convert::screen_source(source)) converter_(source, dest, dest_pitch);
}

Blitter gfx_blitter_select(int32_t device_depth, bool red_low) {
    const GfxContext* ctx = gfx_context();
    if (!ctx) return nullptr;
    convert::build_rgb16_tables(red_low);
    const bool wide = (ctx->flags & GFX_CPU_MMX) != 0 && ctx->scanline_size == 1 && ctx->w % 4 == 0;
    return convert::select(ctx->depth, device_depth, red_low, wide);
}

}  // namespace gfx
