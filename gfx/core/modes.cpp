// The screen mode table: modes 1 to 21, width 0 marking unsupported ones.
#include <array>

#include "gfx/gfx.h"

namespace {

enum Pal { P256 = 0, P64 = 1, P16 = 2, P2 = 3 };
enum Font { F16 = 0, F14 = 1, F8 = 2 };

struct ModeRow {
    uint16_t w, h;
    uint8_t depth, scanline_size;
    int palette, font;
    uint8_t text_w, text_h;
};

constexpr std::array<ModeRow, 22> kModes = {{
    {0, 0, 0, 0, 0, 0, 0, 0},                // 0: closes the screen
    {320, 200, 2, 1, P16, F8, 40, 25},       // 1
    {640, 200, 1, 2, P16, F8, 80, 25},       // 2
    {0, 0, 0, 0, 0, 0, 0, 0},                // 3
    {0, 0, 0, 0, 0, 0, 0, 0},                // 4
    {0, 0, 0, 0, 0, 0, 0, 0},                // 5
    {0, 0, 0, 0, 0, 0, 0, 0},                // 6
    {320, 200, 4, 1, P16, F8, 40, 25},       // 7
    {640, 200, 4, 2, P16, F8, 80, 25},       // 8
    {640, 350, 4, 1, P64, F14, 80, 25},      // 9
    {640, 350, 1, 1, P2, F14, 80, 25},       // 10
    {640, 480, 1, 1, P2, F16, 80, 30},       // 11
    {640, 480, 4, 1, P256, F16, 80, 30},     // 12
    {320, 200, 8, 1, P256, F8, 40, 25},      // 13
    {320, 240, 8, 1, P256, F8, 40, 30},      // 14
    {400, 300, 8, 1, P256, F8, 50, 37},      // 15
    {512, 384, 8, 1, P256, F16, 64, 24},     // 16
    {640, 400, 8, 1, P256, F16, 80, 25},     // 17
    {640, 480, 8, 1, P256, F16, 80, 30},     // 18
    {800, 600, 8, 1, P256, F16, 100, 37},    // 19
    {1024, 768, 8, 1, P256, F16, 128, 48},   // 20
    {1280, 1024, 8, 1, P256, F16, 160, 64},  // 21
}};

std::array<GfxModeInfo, 22> build_table() {
    std::array<GfxModeInfo, 22> t{};
    for (std::size_t i = 0; i < kModes.size(); ++i) {
        const ModeRow& r = kModes[i];
        if (r.w == 0) continue;
        t[i] = GfxModeInfo{r.w, r.h, r.depth, r.scanline_size, gfx_builtin_palette(r.palette),
                           gfx_builtin_font(r.font), r.text_w, r.text_h};
    }
    return t;
}

}  // namespace

extern "C" const GfxModeInfo* gfx_mode_info(int32_t mode) {
    static const std::array<GfxModeInfo, 22> table = build_table();
    if (mode < 1 || mode > 21 || table[std::size_t(mode)].w == 0) return nullptr;
    return &table[std::size_t(mode)];
}
