// Plain pixel routines, the per-depth routine tables and the choice of the
// process-wide routines for a target depth.
#include "gfx/core/pixel_routines.h"

#include <atomic>
#include <cstring>

#include "gfx/core/cpu_features.h"
#include "gfx/core/unaligned.h"

namespace {

using gfx::PixelRoutineSet;

using gfx::load;
using gfx::store;

inline uint8_t* pixel_address(const GfxDrawState* state, int32_t x, int32_t y, int32_t bpp) {
    return state->line[y] + static_cast<ptrdiff_t>(x) * bpp;
}

// ---- single pixels (no clipping: callers clip) ----------------------------

void put_pixel8(GfxDrawState* state, int32_t x, int32_t y, uint32_t color) {
    *pixel_address(state, x, y, 1) = static_cast<uint8_t>(color);
}

uint32_t get_pixel8(GfxDrawState* state, int32_t x, int32_t y) {
    return *pixel_address(state, x, y, 1);
}

void put_pixel16(GfxDrawState* state, int32_t x, int32_t y, uint32_t color) {
    store<uint16_t>(pixel_address(state, x, y, 2), static_cast<uint16_t>(color));
}

uint32_t get_pixel16(GfxDrawState* state, int32_t x, int32_t y) {
    return load<uint16_t>(pixel_address(state, x, y, 2));
}

void put_pixel32(GfxDrawState* state, int32_t x, int32_t y, uint32_t color) {
    store<uint32_t>(pixel_address(state, x, y, 4), color);
}

uint32_t get_pixel32(GfxDrawState* state, int32_t x, int32_t y) {
    return load<uint32_t>(pixel_address(state, x, y, 4));
}

void blend_put_pixel_plain(GfxDrawState* state, int32_t x, int32_t y, uint32_t color) {
    uint8_t* p = pixel_address(state, x, y, 4);
    store<uint32_t>(p, gfx::blend_plain(color, load<uint32_t>(p)));
}

void blend_put_pixel_wide(GfxDrawState* state, int32_t x, int32_t y, uint32_t color) {
    uint8_t* p = pixel_address(state, x, y, 4);
    store<uint32_t>(p, gfx::blend_wide(color, load<uint32_t>(p)));
}

// ---- plain spans -----------------------------------------------------------

void* fill8_plain(void* dst, uint32_t color, int32_t count) {
    if (count > 0) {
        std::memset(dst, static_cast<int>(color & 0xFFu), static_cast<size_t>(count));
    }
    return dst;
}

void* fill16_plain(void* dst, uint32_t color, int32_t count) {
    auto* p = static_cast<uint8_t*>(dst);
    const auto c = static_cast<uint16_t>(color);
    for (int32_t i = 0; i < count; ++i) {
        store<uint16_t>(p + 2 * static_cast<ptrdiff_t>(i), c);
    }
    return dst;
}

void* fill32_plain(void* dst, uint32_t color, int32_t count) {
    auto* p = static_cast<uint8_t*>(dst);
    for (int32_t i = 0; i < count; ++i) {
        store<uint32_t>(p + 4 * static_cast<ptrdiff_t>(i), color);
    }
    return dst;
}

void* blend_span_plain(void* dst, uint32_t color, int32_t count) {
    auto* p = static_cast<uint8_t*>(dst);
    for (int32_t i = 0; i < count; ++i) {
        uint8_t* q = p + 4 * static_cast<ptrdiff_t>(i);
        store<uint32_t>(q, gfx::blend_plain(color, load<uint32_t>(q)));
    }
    return dst;
}

template <int Bpp>
void* pixel_copy_plain(void* dst, const void* src, int32_t count) {
    if (count > 0) {
        std::memcpy(dst, src, static_cast<size_t>(count) * Bpp);
    }
    return dst;
}

// ---- wide spans --------------------------------------------------------------

template <int Bpp>
void* pixel_copy_wide(void* dst, const void* src, int32_t count) {
    if (count > 0) {
        gfx::wide_copy_bytes(dst, src, static_cast<size_t>(count) * Bpp);
    }
    return dst;
}

// ---- tables ------------------------------------------------------------------

constexpr PixelRoutineSet kPlain8{put_pixel8,  get_pixel8,  fill8_plain,
                                  put_pixel8,  fill8_plain, pixel_copy_plain<1>};
constexpr PixelRoutineSet kPlain16{put_pixel16,  get_pixel16,  fill16_plain,
                                   put_pixel16,  fill16_plain, pixel_copy_plain<2>};
constexpr PixelRoutineSet kPlain32{put_pixel32,           get_pixel32,      fill32_plain,
                                   blend_put_pixel_plain, blend_span_plain, pixel_copy_plain<4>};

constexpr PixelRoutineSet kWide8{put_pixel8,  get_pixel8,      gfx::wide_fill8,
                                 put_pixel8,  gfx::wide_fill8, pixel_copy_wide<1>};
constexpr PixelRoutineSet kWide16{put_pixel16,  get_pixel16,      gfx::wide_fill16,
                                  put_pixel16,  gfx::wide_fill16, pixel_copy_wide<2>};
constexpr PixelRoutineSet kWide32{put_pixel32,          get_pixel32,          gfx::wide_fill32,
                                  blend_put_pixel_wide, gfx::wide_blend_span, pixel_copy_wide<4>};

// ---- selection state -----------------------------------------------------------

std::atomic<int> g_wide_override{-1};
bool g_wide_active = false;

// The routines of the depth chosen last: the opaque set and the pair given
// to a state when blending applies (equal to the opaque pair unless
// alpha_primitives is on and the depth is 32 bits).
int32_t g_current_bpp = 4;
const PixelRoutineSet* g_current = &kPlain32;
GfxPutPixel g_current_blend_put = put_pixel32;
GfxPixelSet g_current_blend_set = fill32_plain;

}  // namespace

GfxFillFn gfx_fill = std::memset;
GfxCopyFn gfx_copy = std::memcpy;
GfxPixelCopyFn gfx_pixel_copy = pixel_copy_plain<4>;
GfxPixelSet gfx_driver_span_fill = fill32_plain;

namespace gfx {

uint32_t blend_plain(uint32_t src, uint32_t dst) {
    // Red and blue share one 32-bit lane pair, green has its own; the
    // wrap-around multiply and logical shift give the floored per-channel
    // result once masked.
    const uint32_t a = src >> 24;
    uint32_t rb = dst & 0x00FF00FFu;
    uint32_t g = dst & 0x0000FF00u;
    rb = (rb + (((src & 0x00FF00FFu) - rb) * a >> 8)) & 0x00FF00FFu;
    g = (g + (((src & 0x0000FF00u) - g) * a >> 8)) & 0x0000FF00u;
    return (src & 0xFF000000u) | rb | g;
}

uint32_t blend_wide(uint32_t src, uint32_t dst) {
    // Same lane trick, with alpha and green sharing the second lane pair so
    // that the alpha channel is blended too.
    const uint32_t a = src >> 24;
    uint32_t rb = dst & 0x00FF00FFu;
    uint32_t ag = (dst >> 8) & 0x00FF00FFu;
    rb = (rb + (((src & 0x00FF00FFu) - rb) * a >> 8)) & 0x00FF00FFu;
    ag = (ag + ((((src >> 8) & 0x00FF00FFu) - ag) * a >> 8)) & 0x00FF00FFu;
    return rb | (ag << 8);
}

const PixelRoutineSet& pixel_routines(int32_t bpp, bool wide) {
    switch (bpp) {
    case 1:
        return wide ? kWide8 : kPlain8;
    case 2:
        return wide ? kWide16 : kPlain16;
    default:
        return wide ? kWide32 : kPlain32;
    }
}

RectFill rect_fill_for(GfxPixelSet span) {
    // Only the wide fills have one: the plain fills store pixel by pixel
    // anyway, and a blending span reads what it writes.
    if (span == wide_fill32) return wide_fill32_rect;
    if (span == wide_fill16) return wide_fill16_rect;
    if (span == wide_fill8) return wide_fill8_rect;
    return nullptr;
}

void set_wide_override(int mode) {
    g_wide_override.store(mode < 0 ? -1 : (mode > 0 ? 1 : 0), std::memory_order_relaxed);
}

bool wide_routines_active() {
    return g_wide_active;
}

}  // namespace gfx

extern "C" void gfx_select_depth_routines(int32_t bpp) {
    const int override_mode = g_wide_override.load(std::memory_order_relaxed);
    const bool wide = override_mode < 0 ? gfx::cpu_has_mmx() : override_mode > 0;
    g_wide_active = wide;

    GfxContext* ctx = gfx_context();
    if (ctx != nullptr) {
        // The flag records which variant the screen uses, so that the
        // image-put routines follow the same choice.
        if (wide) {
            ctx->flags |= GFX_CPU_MMX;
        } else {
            ctx->flags &= ~GFX_CPU_MMX;
        }
    }

    gfx_fill = wide ? gfx::wide_fill_bytes : static_cast<GfxFillFn>(std::memset);
    gfx_copy = wide ? gfx::wide_copy_bytes : static_cast<GfxCopyFn>(std::memcpy);

    const PixelRoutineSet& set = gfx::pixel_routines(bpp, wide);
    g_current = &set;
    g_current_bpp = bpp;
    gfx_pixel_copy = set.pixel_copy;
    gfx_driver_span_fill = set.pixel_set;

    const bool blending = ctx != nullptr && (ctx->flags & GFX_ALPHA_PRIMITIVES) != 0 && bpp == 4;
    g_current_blend_put = blending ? set.blend_put_pixel : set.put_pixel;
    g_current_blend_set = blending ? set.blend_pixel_set : set.pixel_set;
}

extern "C" void gfx_select_pixel_routines(GfxDrawState* state, uint32_t color) {
    if (state == nullptr) {
        return;
    }
    const GfxContext* ctx = gfx_context();
    const bool blending = ctx != nullptr && (ctx->flags & GFX_ALPHA_PRIMITIVES) != 0 &&
                          state->target_bpp == 4 && (color >> 24) != 0xFFu;
    if (state->target_bpp == g_current_bpp) {
        // The normal flow: the depth routines were chosen for this target.
        state->put_pixel = blending ? g_current_blend_put : g_current->put_pixel;
        state->pixel_set = blending ? g_current_blend_set : g_current->pixel_set;
        state->get_pixel = g_current->get_pixel;
        return;
    }
    const PixelRoutineSet& set = gfx::pixel_routines(state->target_bpp, g_wide_active);
    state->put_pixel = blending ? set.blend_put_pixel : set.put_pixel;
    state->pixel_set = blending ? set.blend_pixel_set : set.pixel_set;
    state->get_pixel = set.get_pixel;
}
