// Text cells of the console: a grid per page remembering character and
// colours at every row and column.
#include <algorithm>
#include <cstdlib>

#include "gfx/core/context_internal.h"

namespace gfx {

void free_text_cells(GfxContext* ctx) {
    if (!ctx->text_cells) return;
    for (int32_t i = 0; i < ctx->page_count; ++i) std::free(ctx->text_cells[i]);
    std::free(ctx->text_cells);
    ctx->text_cells = nullptr;
}

bool alloc_text_cells(GfxContext* ctx, int32_t work_page, uint32_t fg, uint32_t bg) {
    free_text_cells(ctx);
    const std::size_t cells = std::size_t(std::max(ctx->text_w, 0)) * std::size_t(std::max(ctx->text_h, 0));
    auto** table = static_cast<GfxTextCell**>(std::calloc(std::size_t(ctx->page_count), sizeof(GfxTextCell*)));
    if (!table) return false;
    ctx->text_cells = table;
    for (int32_t i = 0; i < ctx->page_count; ++i) {
        table[i] = static_cast<GfxTextCell*>(std::calloc(cells ? cells : 1, sizeof(GfxTextCell)));
        if (!table[i]) {
            free_text_cells(ctx);
            return false;
        }
    }
    fill_cells(ctx, work_page, 0, 0, ctx->text_w - 1, ctx->text_h - 1, 32, fg, bg);
    return true;
}

void fill_cells(GfxContext* ctx, int32_t page, int32_t col0, int32_t row0, int32_t col1, int32_t row1,
                int16_t ch, uint32_t fg, uint32_t bg) {
    if (!ctx->text_cells || page < 0 || page >= ctx->page_count) return;
    col0 = std::max(col0, 0);
    row0 = std::max(row0, 0);
    col1 = std::min(col1, ctx->text_w - 1);
    row1 = std::min(row1, ctx->text_h - 1);
    GfxTextCell* cells = ctx->text_cells[page];
    for (int32_t r = row0; r <= row1; ++r)
        for (int32_t c = col0; c <= col1; ++c) cells[std::size_t(r) * std::size_t(ctx->text_w) + std::size_t(c)] = GfxTextCell{ch, 0, fg, bg};
}

}  // namespace gfx
