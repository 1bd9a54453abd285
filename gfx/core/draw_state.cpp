// The drawing state: one per process, reset for every new screen.
#include <cstdlib>
#include <cstring>

#include "gfx/core/context_internal.h"
#include "gfx/gfx.h"

namespace {

// Owns the one drawing state and its row table for the life of the process.
struct DrawStateHolder {
    GfxDrawState* state = nullptr;
    ~DrawStateHolder() {
        if (state) {
            std::free(state->line);
            std::free(state);
        }
    }
};

DrawStateHolder g_holder;

// Ties the state to the open screen: defaults, work page, opaque routines.
void reset(GfxDrawState* s, const GfxContext* ctx) {
    std::free(s->line);
    std::memset(s, 0, sizeof *s);
    s->id = ctx->id;
    s->old_view_w = ctx->w;
    s->old_view_h = ctx->h;
    s->line = static_cast<uint8_t**>(std::calloc(std::size_t(ctx->h) + 1, sizeof(uint8_t*)));
    if (!s->line) {  // retried at the next fetch; the set-up sees the missing table
        s->id = 0;
        return;
    }
    s->max_h = ctx->h;
    s->fg_color = ctx->depth == 8 ? 15u : ctx->color_mask;
    s->bg_color = ctx->color_mask & 0xFF000000u;
    s->flags = GFX_TARGET_RESET;
    gfx_select_target(s, nullptr);
    gfx_select_pixel_routines(s, 0xFF000000u);
}

}  // namespace

extern "C" GfxDrawState* gfx_get_draw_state(void) {
    if (!g_holder.state) {
        g_holder.state = static_cast<GfxDrawState*>(std::calloc(1, sizeof(GfxDrawState)));
        if (!g_holder.state) return nullptr;
    }
    const GfxContext* ctx = gfx_context();
    if (ctx && g_holder.state->id != ctx->id) reset(g_holder.state, ctx);
    return g_holder.state;
}
