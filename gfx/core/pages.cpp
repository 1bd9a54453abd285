// Pages, the drawing target, the screen lock and dirty-row tracking.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "gfx/core/context_internal.h"
#include "gfx/core/pixel_routines.h"
#include "gfx/gfx.h"

namespace gfx {

void point_rows_at_page(GfxDrawState* state, int32_t page) {
    const GfxContext* ctx = context();
    uint8_t* base = ctx->pages[page];
    for (int32_t y = 0; y < ctx->h; ++y) state->line[y] = base + std::size_t(y) * std::size_t(ctx->pitch);
}

namespace {

uint32_t read_u32(const void* p, std::size_t offset) {
    uint32_t v;
    std::memcpy(&v, static_cast<const uint8_t*>(p) + offset, sizeof v);
    return v;
}

uint16_t read_u16(const void* p, std::size_t offset) {
    uint16_t v;
    std::memcpy(&v, static_cast<const uint8_t*>(p) + offset, sizeof v);
    return v;
}

// Header bytes of the image last selected: a buffer that reuses the address
// of an earlier one with another layout must not be drawn with the old rows.
uint8_t g_last_header[20];

std::size_t header_size(const void* target) { return read_u32(target, 0) == 7 ? 20 : 4; }

// The depth routines of the new target, and opaque pixel routines of that
// depth in the state: routines left from a target of another depth would
// write pixels of the wrong size (a primitive still picks its own after).
void select_routines_for_target(GfxDrawState* state) {
    gfx_select_depth_routines(state->target_bpp);
    gfx_select_pixel_routines(state, 0xFF000000u);
}

bool select_screen(GfxDrawState* state) {
    GfxContext* ctx = context();
    if (state->flags & (GFX_TARGET_RESET | GFX_TARGET_IMAGE)) {
        state->view_x = state->old_view_x;
        state->view_y = state->old_view_y;
        state->view_w = state->old_view_w;
        state->view_h = state->old_view_h;
        state->target_bpp = ctx->bpp;
        state->target_pitch = ctx->pitch;
        point_rows_at_page(state, state->work_page);
        select_routines_for_target(state);
        state->flags &= ~(GFX_TARGET_RESET | GFX_TARGET_IMAGE);
    }
    state->last_target = nullptr;
    return true;
}

}  // namespace

bool select_target(GfxDrawState* state, const void* target) {
    GfxContext* ctx = context();
    if (!ctx || !state || !state->line) return false;
    if (!target) return select_screen(state);
    if (target == state->last_target && std::memcmp(g_last_header, target, header_size(target)) == 0)
        return true;

    int32_t w, h, bpp, pitch;
    const uint8_t* pixels;
    if (read_u32(target, 0) == 7) {
        bpp = int32_t(read_u32(target, 4));
        w = int32_t(read_u32(target, 8));
        h = int32_t(read_u32(target, 12));
        pitch = int32_t(read_u32(target, 16));
        pixels = static_cast<const uint8_t*>(target) + 32;
        // A header whose rows cannot be addressed with 32-bit offsets, or
        // whose rows overlap, is refused rather than trusted.
        if ((bpp != 1 && bpp != 2 && bpp != 4) || w < 0 || h < 0 || pitch < 0 ||
            int64_t(w) * bpp > pitch || int64_t(pitch) * h > 0x7FFFFFFF) {
            select_screen(state);
            return false;
        }
    } else {
        w = read_u16(target, 0) >> 3;
        h = read_u16(target, 2);
        bpp = ctx->bpp;
        pitch = w * bpp;
        pixels = static_cast<const uint8_t*>(target) + 4;
    }
    if (h > state->max_h) {
        auto* grown = static_cast<uint8_t**>(std::realloc(state->line, sizeof(uint8_t*) * std::size_t(h)));
        if (!grown) {
            select_screen(state);
            return false;
        }
        state->line = grown;
        state->max_h = h;
    }
    if (!state->last_target) {
        state->old_view_x = state->view_x;
        state->old_view_y = state->view_y;
        state->old_view_w = state->view_w;
        state->old_view_h = state->view_h;
    }
    state->view_x = state->view_y = 0;
    state->view_w = w;
    state->view_h = h;
    state->target_bpp = bpp;
    state->target_pitch = pitch;
    select_routines_for_target(state);
    for (int32_t y = 0; y < h; ++y) state->line[y] = const_cast<uint8_t*>(pixels) + std::size_t(y) * std::size_t(pitch);
    state->flags |= GFX_TARGET_IMAGE;
    state->last_target = target;
    std::memcpy(g_last_header, target, header_size(target));
    return true;
}

namespace {
std::atomic<PresentHook> g_present_hook{nullptr};

void notify_present() {
    if (PresentHook hook = g_present_hook.load(std::memory_order_acquire)) hook();
}
}  // namespace

void set_present_hook(PresentHook hook) { g_present_hook.store(hook, std::memory_order_release); }

int32_t graphics_page_set(int32_t work, int32_t visible) {
    GfxDrawState* state = gfx_get_draw_state();
    GfxContext* ctx = context();
    if (!ctx || !state) return -1;
    const int32_t previous = ctx->visible_page * 256 + state->work_page;
    select_target(state, nullptr);
    gfx_select_pixel_routines(state, 0xFF000000u);
    if (work < 0 && visible < 0) work = visible = 0;
    if (work >= 0 && work < ctx->page_count) {
        point_rows_at_page(state, work);
        state->work_page = work;
    }
    if (visible >= 0 && visible < ctx->page_count && visible != ctx->visible_page) {
        gfx_lock();
        ctx->visible_page = visible;
        ctx->framebuffer = ctx->pages[visible];
        std::memset(ctx->dirty, 1, std::size_t(ctx->h));
        gfx_unlock();
        notify_present();
    }
    return previous;
}

int32_t graphics_page_copy(int32_t src, int32_t dst) {
    GfxDrawState* state = gfx_get_draw_state();
    GfxContext* ctx = context();
    if (!ctx || !state) return rt_set_error(RT_ERR_ARGUMENT);
    if (ctx->driver && ctx->driver->flip) {
        ctx->driver->flip();
        if (ctx->driver->poll_events) ctx->driver->poll_events();
        return rt_set_error(RT_ERR_ARGUMENT);
    }
    select_target(state, nullptr);
    gfx_select_pixel_routines(state, 0xFF000000u);

    if (src >= ctx->page_count || dst >= ctx->page_count) return rt_set_error(RT_ERR_ARGUMENT);
    const int32_t src_page = src < 0 ? state->work_page : src;
    const int32_t dst_page = dst < 0 ? ctx->visible_page : dst;
    if (ctx->pages[src_page] == ctx->pages[dst_page]) return rt_set_error(RT_OK);

    const bool updates_screen = dst_page == ctx->visible_page && !(ctx->flags & GFX_LOCK_HELD);
    const std::size_t offset = std::size_t(state->view_y) * std::size_t(ctx->pitch) +
                               std::size_t(state->view_x) * std::size_t(ctx->bpp);
    const uint8_t* s = ctx->pages[src_page] + offset;
    uint8_t* d = ctx->pages[dst_page] + offset;
    const std::size_t row_bytes = std::size_t(state->view_w) * std::size_t(ctx->bpp);

    if (updates_screen) gfx_lock();
    if (row_bytes == std::size_t(ctx->pitch)) {
        gfx_copy(d, s, row_bytes * std::size_t(state->view_h));  // whole rows: one run
    } else {
        for (int32_t y = 0; y < state->view_h; ++y)
            gfx_copy(d + std::size_t(y) * std::size_t(ctx->pitch), s + std::size_t(y) * std::size_t(ctx->pitch),
                     row_bytes);
    }
    if (ctx->text_cells && ctx->text_cells[src_page] && ctx->text_cells[dst_page])
        std::memcpy(ctx->text_cells[dst_page], ctx->text_cells[src_page],
                    sizeof(GfxTextCell) * std::size_t(ctx->text_w) * std::size_t(ctx->text_h));
    if (updates_screen) {
        std::memset(ctx->dirty + state->view_y, 1, std::size_t(state->view_h));
        gfx_unlock();
        notify_present();
    }
    return rt_set_error(RT_OK);
}

}  // namespace gfx

extern "C" {

void gfx_select_target(GfxDrawState* state, const void* target) { gfx::select_target(state, target); }

void gfx_lock(void) {
    GfxContext* ctx = gfx_context();
    if (!ctx || (ctx->flags & (GFX_LOCK_HELD | GFX_LOCK_AUTO))) return;
    if (ctx->driver && ctx->driver->lock) ctx->driver->lock();
    ctx->flags |= GFX_LOCK_HELD | GFX_LOCK_AUTO;
}

void gfx_unlock(void) {
    GfxContext* ctx = gfx_context();
    if (!ctx || !(ctx->flags & GFX_LOCK_AUTO)) return;
    if (ctx->driver && ctx->driver->unlock) ctx->driver->unlock();
    ctx->flags &= ~(GFX_LOCK_HELD | GFX_LOCK_AUTO);
}

void gfx_mark_dirty(GfxDrawState* state, int32_t y, int32_t n) {
    const GfxContext* ctx = gfx_context();
    if (!ctx || !state || !state->line || state->line[0] != ctx->framebuffer) return;
    // Rows are clipped by the caller; stay inside the table regardless.
    int32_t y0 = y < 0 ? 0 : y;
    int64_t y1 = int64_t(y) + n;
    if (y1 > ctx->h) y1 = ctx->h;
    if (y1 > y0) std::memset(ctx->dirty + y0, 1, std::size_t(y1 - y0));
}

}  // extern "C"
