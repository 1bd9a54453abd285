// One page pixel in a device's format: the per-pixel rules the plain and
// the wide converters share, so that both give the same bytes.
#pragma once

#include <cstdint>

namespace gfx::convert {

// Pixel formats of a page.
enum class PageFormat { palette, rgb16, rgb32 };

// The device pixel of a palette entry (red | green << 8 | blue << 16).
template <int Depth, bool RedLow>
constexpr uint32_t from_palette(uint32_t e) {
    const uint32_t r = e & 0xFF, g = (e >> 8) & 0xFF, b = (e >> 16) & 0xFF;
    const uint32_t hi = RedLow ? b : r, lo = RedLow ? r : b;
    if constexpr (Depth == 15) return (hi >> 3) << 10 | (g >> 3) << 5 | (lo >> 3);
    else if constexpr (Depth == 16) return (hi >> 3) << 11 | (g >> 2) << 5 | (lo >> 3);
    else if constexpr (RedLow) return e;  // 24 and 32 bits: the entry's own byte order
    else return r << 16 | g << 8 | b;
}

// The 24-bit colour of a 5-6-5 pixel through the byte-indexed tables.
inline uint32_t rgb16_color(uint32_t s, const uint32_t* low, const uint32_t* high) {
    return low[s & 0xFF] | high[(s >> 8) & 0xFF];
}

// A 5-6-5 pixel on a 15- or 16-bit device (24 and 32 use rgb16_color).
template <int Depth, bool RedLow>
constexpr uint32_t from_rgb16(uint32_t s) {
    if constexpr (Depth == 15 && !RedLow) return (s & 0x1F) | ((s >> 1) & 0x7FE0);
    else if constexpr (Depth == 15) return ((s << 10) & 0x7C00) | ((s >> 1) & 0x3E0) | (s >> 11);
    else if constexpr (!RedLow) return s;
    else return ((s << 11) & 0xF800) | (s & 0x7E0) | (s >> 11);
}

// A 0xAARRGGBB pixel on a device. On a 32-bit red-low device the alpha
// byte is kept.
template <int Depth, bool RedLow>
constexpr uint32_t from_rgb32(uint32_t c) {
    if constexpr (Depth == 15 && !RedLow) return ((c >> 3) & 0x1F) | ((c >> 6) & 0x3E0) | ((c >> 9) & 0x7C00);
    else if constexpr (Depth == 15) return ((c >> 19) & 0x1F) | ((c >> 6) & 0x3E0) | ((c << 7) & 0x7C00);
    else if constexpr (Depth == 16 && !RedLow) return ((c >> 3) & 0x1F) | ((c >> 5) & 0x7E0) | ((c >> 8) & 0xF800);
    else if constexpr (Depth == 16) return ((c >> 19) & 0x1F) | ((c >> 5) & 0x7E0) | ((c << 8) & 0xF800);
    else if constexpr (!RedLow) return c;
    else return (c & 0xFF00FF00u) | ((c >> 16) & 0xFF) | ((c & 0xFF) << 16);
}

}  // namespace gfx::convert
