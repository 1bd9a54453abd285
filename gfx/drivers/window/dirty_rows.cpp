// Reading and clearing the open screen's dirty-row flags.
#include "gfx/drivers/window/dirty_rows.h"

#include <algorithm>
#include <cstring>

#include "gfx/gfx.h"

namespace gfx::window {
namespace {

// The flags allocated: one per device row.
int32_t flag_count(const GfxContext* ctx) { return ctx->h * std::max(ctx->scanline_size, 1); }

}  // namespace

bool dirty_band(RowBand* band) {
    const GfxContext* ctx = gfx_context();
    if (!ctx || !ctx->dirty) return false;
    const uint8_t* dirty = ctx->dirty;
    const int32_t n = ctx->h;  // one flag per page row
    const uint8_t* first = std::find_if(dirty, dirty + n, [](uint8_t d) { return d != 0; });
    if (first == dirty + n) return false;
    int32_t last = n - 1;
    while (!dirty[last]) --last;
    *band = RowBand{int32_t(first - dirty), last};
    return true;
}

void clear_dirty_rows() {
    GfxContext* ctx = gfx_context();
    if (ctx && ctx->dirty) std::memset(ctx->dirty, 0, std::size_t(flag_count(ctx)));
}

}  // namespace gfx::window
