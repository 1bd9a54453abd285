// Read-back helpers for drawing tests: page contents and dirty rows.
#pragma once

#include <cstdint>
#include <vector>

#include "gfx/gfx.h"

namespace probe {

// The pixels of a 32-bit page, row after row.
inline std::vector<uint32_t> snapshot(const GfxContext* ctx, int page = 0) {
    const auto* p = reinterpret_cast<const uint32_t*>(ctx->pages[page]);
    return {p, p + ctx->w * ctx->h};
}

// The rows whose dirty flag is set, in order.
inline std::vector<int> dirty_rows(const GfxContext* ctx) {
    std::vector<int> rows;
    for (int y = 0; y < ctx->h; ++y)
        if (ctx->dirty[y]) rows.push_back(y);
    return rows;
}

// a, a + 1, ..., b.
inline std::vector<int> range(int a, int b) {
    std::vector<int> r;
    for (int i = a; i <= b; ++i) r.push_back(i);
    return r;
}

}  // namespace probe
