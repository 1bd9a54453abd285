// Conversion of 0xAARRGGBB colour arguments to the pixel value of a target.
#include "gfx/gfx.h"

extern "C" uint32_t gfx_rgb_to_pixel(int32_t bpp, uint32_t color, uint32_t r, uint32_t g,
                                     uint32_t b) {
    if (bpp == 2) {
        // RGB 5-6-5: red in bits 11-15, green in bits 5-10, blue in bits 0-4.
        return ((r & 0xF8u) << 8) | ((g & 0xFCu) << 3) | (b >> 3);
    }
    return color;
}

extern "C" uint32_t gfx_color_to_pixel(int32_t target_bpp, uint32_t color) {
    const uint32_t r = (color >> 16) & 0xFFu;
    const uint32_t g = (color >> 8) & 0xFFu;
    const uint32_t b = color & 0xFFu;
    const uint32_t pixel = gfx_rgb_to_pixel(target_bpp, color, r, g, b);
    switch (target_bpp) {
    case 1:
        return pixel & 0xFFu;  // palette index
    case 2:
        return pixel & 0xFFFFu;
    default:
        return pixel;  // 32 bits, alpha included
    }
}
