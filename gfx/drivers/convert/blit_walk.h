// What every converter shares: the row walk (which page rows changed, where
// their device rows are, the repeat of rows for scanline sizes above 1),
// the 16-bit tables it reads and the stores of device rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "gfx/core/unaligned.h"
#include "gfx/drivers/convert/converters.h"

namespace gfx::convert {

// The 16-bit source tables a converter for red position RedLow reads: the
// source's own, else the static ones.
template <bool RedLow>
inline Rgb16Tables source_tables(const ConvertSource& s) {
    if (s.rgb16_low && s.rgb16_high) return {s.rgb16_low, s.rgb16_high};
    return rgb16_tables(RedLow);
}

// Converts every changed page row with row(src, dst) into its device row(s);
// row_bytes is what row writes, copied into the further rows of a doubled
// scanline.
template <typename Row>
void walk(const ConvertSource& s, uint8_t* dest, int32_t dest_pitch, std::size_t row_bytes, Row&& row) {
    const int32_t scanline = s.scanline < 1 ? 1 : s.scanline;
    for (int32_t y = 0; y < s.h; ++y) {
        if (s.dirty && !s.dirty[y]) continue;
        uint8_t* d = dest + std::ptrdiff_t(y) * scanline * dest_pitch;
        row(s.pixels + std::size_t(y) * std::size_t(s.pitch), d);
        for (int32_t k = 1; k < scanline; ++k) std::memcpy(d + std::ptrdiff_t(k) * dest_pitch, d, row_bytes);
    }
}

// Device pixels of the 256 palette entries, for the palette cells.
template <typename Fn>
void palette_lut(const ConvertSource& s, uint32_t* lut, Fn&& fn) {
    for (int i = 0; i < 256; ++i) lut[i] = fn(s.palette ? s.palette[i] : 0u);
}

// Device bytes per pixel of a device depth.
constexpr int32_t device_bytes(int32_t depth) { return depth <= 8 ? 1 : depth <= 16 ? 2 : depth == 24 ? 3 : 4; }

// Stores n device pixels px(i) of 15/16 bits: two pixels per 32-bit store,
// an odd last pixel as a 16-bit store.
template <typename Px>
inline void store16_row(uint8_t* d, int32_t n, Px&& px) {
    int32_t i = 0;
    for (; i + 1 < n; i += 2) store<uint32_t>(d + 2 * i, (px(i) & 0xFFFFu) | (px(i + 1) << 16));
    if (i < n) store<uint16_t>(d + 2 * i, static_cast<uint16_t>(px(i)));
}

// Stores n 24-bit device pixels, least significant byte first.
template <typename Px>
inline void store24_row(uint8_t* d, int32_t n, Px&& px) {
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t v = px(i);
        d[3 * i] = uint8_t(v);
        d[3 * i + 1] = uint8_t(v >> 8);
        d[3 * i + 2] = uint8_t(v >> 16);
    }
}

template <typename Px>
inline void store32_row(uint8_t* d, int32_t n, Px&& px) {
    for (int32_t i = 0; i < n; ++i) store<uint32_t>(d + 4 * i, px(i));
}

template <int Depth, typename Px>
inline void store_row(uint8_t* d, int32_t n, Px&& px) {
    if constexpr (Depth <= 16) store16_row(d, n, px);
    else if constexpr (Depth == 24) store24_row(d, n, px);
    else store32_row(d, n, px);
}

}  // namespace gfx::convert
