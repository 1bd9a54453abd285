// Palettes of the 1- to 8-bit modes: setting entries, restoring the mode's
// default palette and the colour associations of the emulated 2-, 4- and
// 16-colour modes.
#include <algorithm>
#include <cstring>
#include <span>

#include "gfx/gfx.h"

namespace {

constexpr int32_t kAssociationSize = 16;  // entries of color_association

// Shown palette entry i takes built-in colour table[i].
constexpr uint8_t kMode1Sets[4][4] = {
    {0, 11, 13, 15},  // index -1 (the set-up's default)
    {0, 10, 12, 14},  // index -2
    {0, 3, 5, 7},     // index -3
    {0, 2, 4, 6},     // index -4 and below
};
constexpr uint8_t kMode2[2] = {0, 15};
constexpr uint8_t kMode7And8[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
constexpr uint8_t kMode9[16] = {0, 1, 2, 3, 4, 5, 20, 7, 56, 57, 58, 59, 60, 61, 62, 63};

// The association table for a restore, empty when the mode has none.
std::span<const uint8_t> association_for(int32_t mode_num, int32_t index) {
    switch (mode_num) {
    case 1: {
        const int32_t set = index <= -4 ? 3 : -index - 1;  // index is negative here
        return kMode1Sets[set];
    }
    case 2:
        return kMode2;
    case 7:
    case 8:
        return kMode7And8;
    case 9:
        return kMode9;
    default:
        return {};
    }
}

// Colour 0x00BBGGRR of entry i of a built-in palette.
uint32_t builtin_color(const GfxPaletteInfo& info, int32_t i) {
    const uint8_t* e = info.entries + 3 * i;
    return static_cast<uint32_t>(e[0]) | (static_cast<uint32_t>(e[1]) << 8) |
           (static_cast<uint32_t>(e[2]) << 16);
}

// Makes pixel value index show in colour and tells the driver.
void show_entry(GfxContext* ctx, int32_t index, uint32_t color) {
    ctx->device_palette[index] = color;
    if (ctx->driver != nullptr && ctx->driver->set_palette != nullptr) {
        ctx->driver->set_palette(index, static_cast<int32_t>(color & 0xFFu),
                                 static_cast<int32_t>((color >> 8) & 0xFFu),
                                 static_cast<int32_t>((color >> 16) & 0xFFu));
    }
}

// Number of pixel values of the screen's depth (depth <= 8).
int32_t pixel_value_count(const GfxContext* ctx) {
    return 1 << ctx->depth;
}

void restore_default_palette(GfxContext* ctx, int32_t index) {
    const GfxPaletteInfo* info = ctx->default_palette;
    if (info == nullptr) {
        return;
    }
    const int32_t n = std::min(info->count, 256);
    for (int32_t i = 0; i < n; ++i) {
        ctx->palette[i] = builtin_color(*info, i);
    }
    const std::span<const uint8_t> association = association_for(ctx->mode_num, index);
    const int32_t shown = std::min(pixel_value_count(ctx), n);
    for (int32_t i = 0; i < shown; ++i) {
        uint32_t color;
        if (!association.empty()) {
            if (static_cast<size_t>(i) >= association.size()) {
                break;
            }
            const uint8_t builtin = association[static_cast<size_t>(i)];
            ctx->color_association[i] = builtin;
            color = ctx->palette[builtin];
        } else {
            color = ctx->palette[i];
        }
        show_entry(ctx, i, color);
    }
}

void mark_all_rows_dirty(GfxContext* ctx) {
    if (ctx->dirty != nullptr && ctx->h > 0) {
        std::memset(ctx->dirty, 1, static_cast<size_t>(ctx->h));
    }
}

bool has_palette(const GfxContext* ctx) {
    return ctx != nullptr && ctx->depth <= 8;
}

}  // namespace

extern "C" void gfx_palette_apply(int32_t index, int32_t value) {
    GfxContext* ctx = gfx_context();
    if (ctx == nullptr || ctx->default_palette == nullptr) {
        return;
    }
    const int32_t n = ctx->default_palette->count;
    if (n <= 0) {
        return;
    }
    index &= n - 1;
    uint32_t color;
    if (n == 256) {
        // 6-bit components, red in bits 0-5, green 8-13, blue 16-21.
        const auto v = static_cast<uint32_t>(value);
        const uint32_t r = (v & 0x3Fu) * 255u / 63u;
        const uint32_t g = ((v >> 8) & 0x3Fu) * 255u / 63u;
        const uint32_t b = ((v >> 16) & 0x3Fu) * 255u / 63u;
        color = r | (g << 8) | (b << 16);
    } else {
        // A colour number of the built-in palette.
        const int32_t builtin = value & (n - 1);
        color = ctx->palette[builtin];
        // The 64-colour palette of mode 9 lets index reach 63, but only the
        // 16 pixel values of its depth have an association entry.
        if (index < kAssociationSize) {
            ctx->color_association[index] = static_cast<uint8_t>(builtin);
        }
    }
    show_entry(ctx, index, color);
}

extern "C" void gfx_palette_set(int32_t index, int32_t color, int32_t g, int32_t b) {
    GfxContext* ctx = gfx_context();
    if (!has_palette(ctx)) {
        return;
    }
    gfx_lock();
    if (index < 0) {
        restore_default_palette(ctx, index);
    } else {
        int32_t value = color;
        if (g >= 0 && b >= 0) {
            // 8-bit components given separately: reduce to 6 bits.
            value = (color >> 2) | ((g >> 2) << 8) | ((b >> 2) << 16);
        }
        gfx_palette_apply(index, value);
    }
    mark_all_rows_dirty(ctx);
    gfx_unlock();
}

extern "C" void gfx_palette_set_all(const int32_t* values) {
    GfxContext* ctx = gfx_context();
    if (!has_palette(ctx) || values == nullptr) {
        return;
    }
    gfx_lock();
    const int32_t count = pixel_value_count(ctx);
    for (int32_t i = 0; i < count; ++i) {
        if (values[i] >= 0) {
            gfx_palette_apply(i, values[i]);
        }
    }
    mark_all_rows_dirty(ctx);
    gfx_unlock();
}
