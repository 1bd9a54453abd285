// Image buffers: capture of a rectangle (gfx_get) and blitting (gfx_put).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "gfx/core/context_internal.h"
#include "gfx/core/pixel_routines.h"
#include "gfx/draw/put_routines.h"
#include "gfx/gfx.h"

namespace {

int32_t fail() { return rt_set_error(RT_ERR_ARGUMENT); }
int32_t ok() { return rt_set_error(RT_OK); }

int64_t clamp64(int64_t v, int64_t lo, int64_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

extern "C" int32_t gfx_get(const void* source, float x1, float y1, float x2, float y2, void* buffer,
                           int32_t flags, const RuntimeArray* array) {
    GfxDrawState* state = gfx_get_draw_state();
    GfxContext* ctx = gfx_context();
    if (!ctx || !state || !buffer) return fail();
    if (!gfx::select_target(state, source)) return fail();
    gfx_select_pixel_routines(state, 0xFF000000u);

    gfx_resolve_relative(state, flags, &x1, &y1, &x2, &y2);
    if (std::isnan(x1) || std::isnan(y1) || std::isnan(x2) || std::isnan(y2)) return fail();
    int32_t ix1, iy1, ix2, iy2;
    gfx_translate_coords(state, x1, y1, &ix1, &iy1);
    gfx_translate_coords(state, x2, y2, &ix2, &iy2);
    gfx_order_corners(&ix1, &iy1, &ix2, &iy2);

    // The whole rectangle must lie inside the view: nothing is clipped.
    if (ix1 < state->view_x || iy1 < state->view_y ||
        ix2 >= int64_t(state->view_x) + state->view_w ||
        iy2 >= int64_t(state->view_y) + state->view_h)
        return fail();

    const int32_t bpp = state->target_bpp;
    const int64_t w = int64_t(ix2) - ix1 + 1;
    const int64_t h = int64_t(iy2) - iy1 + 1;
    const int64_t pitch = (w * bpp + 15) & ~int64_t{15};
    const int64_t total = int64_t(sizeof(ImageHeader)) + h * pitch;
    if (total > INT32_MAX) return fail();

    // The array must hold the header and every row, before anything is written.
    if (array && array->size_bytes > 0) {
        const uintptr_t end = reinterpret_cast<uintptr_t>(buffer) + uintptr_t(total);
        const uintptr_t limit = reinterpret_cast<uintptr_t>(array->data) + uintptr_t(array->size_bytes);
        if (end > limit) return fail();
    }

    ImageHeader header{};
    header.type = GFX_IMAGE_TYPE_STANDARD;
    header.bpp = bpp;
    header.width = int32_t(w);
    header.height = int32_t(h);
    header.pitch = int32_t(pitch);
    // The reserved bytes are left as they are.
    std::memcpy(buffer, &header, offsetof(ImageHeader, reserved));

    const GfxPixelCopyFn copy =
        gfx::pixel_routines(bpp, (ctx->flags & GFX_CPU_MMX) != 0).pixel_copy;
    auto* row = static_cast<uint8_t*>(buffer) + sizeof(ImageHeader);
    gfx_lock();
    for (int32_t y = iy1; y <= iy2; ++y, row += pitch)
        copy(row, state->line[y] + std::ptrdiff_t(ix1) * bpp, int32_t(w));
    gfx_unlock();
    return ok();
}

extern "C" int32_t gfx_put(void* target, float x, float y, const void* image, int32_t sx1,
                           int32_t sy1, int32_t sx2, int32_t sy2, int32_t coord, int32_t method,
                           PutRoutine routine, int32_t alpha, GfxBlender blender, void* param) {
    GfxDrawState* state = gfx_get_draw_state();
    GfxContext* ctx = gfx_context();
    if (!ctx || !state || !image) return fail();
    if (!gfx::select_target(state, target)) return fail();
    gfx_select_pixel_routines(state, 0xFF000000u);

    gfx_resolve_relative(state, (coord & 2) ? coord_rel : coord_abs, &x, &y, nullptr, nullptr);
    int64_t rx1 = sx1, ry1 = sy1, rx2 = sx2, ry2 = sy2;
    if (coord & 1) {
        rx2 += rx1;
        ry2 += ry1;
    }
    const bool unplaced = std::isnan(x) || std::isnan(y);
    int32_t px32, py32;
    gfx_translate_coords(state, x, y, &px32, &py32);

    gfx::ImageView img;
    if (!gfx::read_image(image, state->target_bpp, &img)) return fail();

    // Depth: equal, or the alpha channel of a 4-byte target from a 1-byte image.
    if (img.bpp != state->target_bpp) {
        if (method != int32_t(PutMethod::Alpha) || img.bpp != 1 || state->target_bpp != 4)
            return fail();
        routine = put_alpha_channel;
    }
    if (img.width == 0 || img.height == 0) return ok();

    const uint8_t* src = img.pixels;
    int64_t width = img.width, height = img.height;
    if (sx1 != GFX_COORD_OMITTED) {
        if (rx2 < rx1) std::swap(rx1, rx2);
        if (ry2 < ry1) std::swap(ry1, ry2);
        rx1 = clamp64(rx1, 0, img.width - 1);
        rx2 = clamp64(rx2, 0, img.width - 1);
        ry1 = clamp64(ry1, 0, img.height - 1);
        ry2 = clamp64(ry2, 0, img.height - 1);
        width = rx2 - rx1 + 1;
        height = ry2 - ry1 + 1;
        src += ry1 * img.pitch + rx1 * img.bpp;
    }

    // Clip to the view; all sums in 64 bits so that far-off points stay far off.
    const int64_t vx = state->view_x, vy = state->view_y;
    const int64_t right = vx + state->view_w, bottom = vy + state->view_h;
    int64_t px = px32, py = py32;
    if (unplaced || px + width <= vx || px >= right || py + height <= vy || py >= bottom)
        return ok();
    if (!routine) return fail();  // something would be drawn, but with nothing
    if (py < vy) {
        src += (vy - py) * img.pitch;
        height -= vy - py;
        py = vy;
    }
    if (py + height > bottom) height = bottom - py;
    if (px < vx) {
        src += (vx - px) * img.bpp;
        width -= vx - px;
        px = vx;
    }
    if (px + width > right) width = right - px;
    // An empty view (a target without rows or columns) leaves nothing, and
    // line[py] would not be one of its rows.
    if (width <= 0 || height <= 0) return ok();

    gfx_lock();
    routine(src, state->line[py] + px * state->target_bpp, int32_t(width), int32_t(height),
            img.pitch, state->target_pitch, alpha, blender, param);
    gfx_mark_dirty(state, int32_t(py), int32_t(height));
    gfx_unlock();
    return ok();
}
