// The wide converters: 16-byte vector steps (SSE2) for the 15-, 16- and
// 32-bit devices, four pixels per three 32-bit stores for 24-bit devices.
// The drivers take them for widths that are a multiple of 4 and scanline
// size 1; at any size their pixels equal the plain converters' byte for
// byte. Palette pages on 15-,
// 16- and 32-bit devices are a table look-up per pixel either way and use
// the plain converters.
#include "gfx/drivers/convert/blit_walk.h"
#include "gfx/drivers/convert/converters.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gfx::convert {
namespace {

// Four 24-bit pixels in three 32-bit stores.
template <typename Px>
inline void store24_wide(uint8_t* d, int32_t n, Px&& px) {
    int32_t i = 0;
    for (; i + 4 <= n; i += 4, d += 12) {
        const uint32_t p0 = px(i), p1 = px(i + 1), p2 = px(i + 2), p3 = px(i + 3);
        store<uint32_t>(d, (p0 & 0xFFFFFF) | p1 << 24);
        store<uint32_t>(d + 4, ((p1 >> 8) & 0xFFFF) | p2 << 16);
        store<uint32_t>(d + 8, ((p2 >> 16) & 0xFF) | p3 << 8);
    }
    store24_row(d, n - i, [&](int32_t k) { return px(i + k); });
}

template <bool RedLow, PageFormat Page>
void blit24(const ConvertSource& s, uint8_t* dest, int32_t dest_pitch) {
    const std::size_t row_bytes = std::size_t(s.w) * 3;
    if constexpr (Page == PageFormat::palette) {
        uint32_t lut[256];
        palette_lut(s, lut, from_palette<24, RedLow>);
        walk(s, dest, dest_pitch, row_bytes, [&](const uint8_t* src, uint8_t* d) {
            store24_wide(d, s.w, [&](int32_t i) { return lut[src[i]]; });
        });
    } else if constexpr (Page == PageFormat::rgb16) {
        const Rgb16Tables t = source_tables<RedLow>(s);
        walk(s, dest, dest_pitch, row_bytes, [&](const uint8_t* src, uint8_t* d) {
            store24_wide(d, s.w, [&](int32_t i) { return rgb16_color(load<uint16_t>(src + 2 * i), t.low, t.high); });
        });
    } else {
        walk(s, dest, dest_pitch, row_bytes, [&](const uint8_t* src, uint8_t* d) {
            store24_wide(d, s.w, [&](int32_t i) { return from_rgb32<24, RedLow>(load<uint32_t>(src + 4 * i)); });
        });
    }
}

void copy_rows(const ConvertSource& s, uint8_t* dest, int32_t dest_pitch) {
    walk(s, dest, dest_pitch, std::size_t(s.pitch),
         [&](const uint8_t* src, uint8_t* d) { std::memcpy(d, src, std::size_t(s.pitch)); });
}

#if defined(__SSE2__)

inline __m128i load128(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store128(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline __m128i mask32(uint32_t m) { return _mm_set1_epi32(static_cast<int>(m)); }
inline __m128i mask16(uint16_t m) { return _mm_set1_epi16(static_cast<short>(m)); }

// Four 0xAARRGGBB pixels as 15/16-bit values in 32-bit lanes.
template <int Depth, bool RedLow>
inline __m128i rgb32_to_16_lanes(__m128i c) {
    if constexpr (Depth == 16 && !RedLow)
        return _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(c, 3), mask32(0x1F)),
                                         _mm_and_si128(_mm_srli_epi32(c, 5), mask32(0x7E0))),
                            _mm_and_si128(_mm_srli_epi32(c, 8), mask32(0xF800)));
    else if constexpr (Depth == 16)
        return _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(c, 19), mask32(0x1F)),
                                         _mm_and_si128(_mm_srli_epi32(c, 5), mask32(0x7E0))),
                            _mm_and_si128(_mm_slli_epi32(c, 8), mask32(0xF800)));
    else if constexpr (!RedLow)
        return _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(c, 3), mask32(0x1F)),
                                         _mm_and_si128(_mm_srli_epi32(c, 6), mask32(0x3E0))),
                            _mm_and_si128(_mm_srli_epi32(c, 9), mask32(0x7C00)));
    else
        return _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(c, 19), mask32(0x1F)),
                                         _mm_and_si128(_mm_srli_epi32(c, 6), mask32(0x3E0))),
                            _mm_and_si128(_mm_slli_epi32(c, 7), mask32(0x7C00)));
}

// Packs two vectors of 16-bit values in 32-bit lanes into one of eight
// 16-bit lanes (sign-extended first, so that the saturating pack is exact).
inline __m128i pack_lanes(__m128i a, __m128i b) {
    a = _mm_srai_epi32(_mm_slli_epi32(a, 16), 16);
    b = _mm_srai_epi32(_mm_slli_epi32(b, 16), 16);
    return _mm_packs_epi32(a, b);
}

template <int Depth, bool RedLow>
void blit_rgb32_to_16(const ConvertSource& s, uint8_t* dest, int32_t dest_pitch) {
    walk(s, dest, dest_pitch, std::size_t(s.w) * 2, [&](const uint8_t* src, uint8_t* d) {
        int32_t i = 0;
        for (; i + 8 <= s.w; i += 8) {
            const __m128i a = rgb32_to_16_lanes<Depth, RedLow>(load128(src + 4 * i));
            const __m128i b = rgb32_to_16_lanes<Depth, RedLow>(load128(src + 4 * i + 16));
            store128(d + 2 * i, pack_lanes(a, b));
        }
        store16_row(d + 2 * i, s.w - i,
                    [&](int32_t k) { return from_rgb32<Depth, RedLow>(load<uint32_t>(src + 4 * (i + k))); });
    });
}

void blit_rgb32_red_low(const ConvertSource& s, uint8_t* dest, int32_t dest_pitch) {
    walk(s, dest, dest_pitch, std::size_t(s.w) * 4, [&](const uint8_t* src, uint8_t* d) {
        int32_t i = 0;
        for (; i + 4 <= s.w; i += 4) {
            const __m128i c = load128(src + 4 * i);
            const __m128i v = _mm_or_si128(_mm_and_si128(c, mask32(0xFF00FF00u)),
                                           _mm_or_si128(_mm_and_si128(_mm_srli_epi32(c, 16), mask32(0xFF)),
                                                        _mm_slli_epi32(_mm_and_si128(c, mask32(0xFF)), 16)));
            store128(d + 4 * i, v);
        }
        store32_row(d + 4 * i, s.w - i,
                    [&](int32_t k) { return from_rgb32<32, true>(load<uint32_t>(src + 4 * (i + k))); });
    });
}

// Eight 5-6-5 pixels on a 15-bit or red-low 16-bit device.
template <int Depth, bool RedLow>
inline __m128i rgb16_lanes(__m128i p) {
    if constexpr (Depth == 15 && !RedLow)
        return _mm_or_si128(_mm_and_si128(p, mask16(0x1F)), _mm_and_si128(_mm_srli_epi16(p, 1), mask16(0x7FE0)));
    else if constexpr (Depth == 15)
        return _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_slli_epi16(p, 10), mask16(0x7C00)),
                                         _mm_and_si128(_mm_srli_epi16(p, 1), mask16(0x3E0))),
                            _mm_srli_epi16(p, 11));
    else
        return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(p, 11), _mm_and_si128(p, mask16(0x7E0))),
                            _mm_srli_epi16(p, 11));
}

template <int Depth, bool RedLow>
void blit_rgb16_to_16(const ConvertSource& s, uint8_t* dest, int32_t dest_pitch) {
    walk(s, dest, dest_pitch, std::size_t(s.w) * 2, [&](const uint8_t* src, uint8_t* d) {
        int32_t i = 0;
        for (; i + 8 <= s.w; i += 8) store128(d + 2 * i, rgb16_lanes<Depth, RedLow>(load128(src + 2 * i)));
        store16_row(d + 2 * i, s.w - i,
                    [&](int32_t k) { return from_rgb16<Depth, RedLow>(load<uint16_t>(src + 2 * (i + k))); });
    });
}

// Four 5-6-5 pixels (zero-extended to 32-bit lanes) as 24-bit colours, the
// same values the byte-indexed tables give.
template <bool RedLow>
inline __m128i rgb16_to_color(__m128i p) {
    const __m128i g = _mm_slli_epi32(_mm_and_si128(p, mask32(0x7E0)), 5);
    if constexpr (!RedLow)
        return _mm_or_si128(_mm_or_si128(_mm_slli_epi32(_mm_and_si128(p, mask32(0xF800)), 8), g),
                            _mm_slli_epi32(_mm_and_si128(p, mask32(0x1F)), 3));
    else
        return _mm_or_si128(_mm_or_si128(_mm_srli_epi32(_mm_and_si128(p, mask32(0xF800)), 8), g),
                            _mm_slli_epi32(_mm_and_si128(p, mask32(0x1F)), 19));
}

template <bool RedLow>
void blit_rgb16_to_32(const ConvertSource& s, uint8_t* dest, int32_t dest_pitch) {
    const __m128i zero = _mm_setzero_si128();
    const Rgb16Tables t = source_tables<RedLow>(s);
    walk(s, dest, dest_pitch, std::size_t(s.w) * 4, [&](const uint8_t* src, uint8_t* d) {
        int32_t i = 0;
        for (; i + 8 <= s.w; i += 8) {
            const __m128i p = load128(src + 2 * i);
            store128(d + 4 * i, rgb16_to_color<RedLow>(_mm_unpacklo_epi16(p, zero)));
            store128(d + 4 * i + 16, rgb16_to_color<RedLow>(_mm_unpackhi_epi16(p, zero)));
        }
        store32_row(d + 4 * i, s.w - i,
                    [&](int32_t k) { return rgb16_color(load<uint16_t>(src + 2 * (i + k)), t.low, t.high); });
    });
}

void blit_shaped_wide(const ConvertSource& s, uint8_t* dest, int32_t dest_pitch) {
    walk(s, dest, dest_pitch, std::size_t(s.w) * 4, [&](const uint8_t* src, uint8_t* d) {
        int32_t i = 0;
        for (; i + 4 <= s.w; i += 4) store128(d + 4 * i, _mm_and_si128(load128(src + 4 * i), mask32(0x00FFFFFF)));
        store32_row(d + 4 * i, s.w - i, [&](int32_t k) { return load<uint32_t>(src + 4 * (i + k)) & 0x00FFFFFFu; });
    });
}

#endif  // __SSE2__

template <bool RedLow, PageFormat Page>
Converter wide_for(int32_t device_depth) {
    if (device_depth == 24) return blit24<RedLow, Page>;
#if defined(__SSE2__)
    if constexpr (Page == PageFormat::rgb32) {
        if (device_depth == 15) return blit_rgb32_to_16<15, RedLow>;
        if (device_depth == 16) return blit_rgb32_to_16<16, RedLow>;
        return RedLow ? blit_rgb32_red_low : copy_rows;
    } else if constexpr (Page == PageFormat::rgb16) {
        if (device_depth == 15) return blit_rgb16_to_16<15, RedLow>;
        if (device_depth == 16) return RedLow ? blit_rgb16_to_16<16, true> : copy_rows;
        return blit_rgb16_to_32<RedLow>;
    }
#endif
    return cell(false, RedLow, Page, device_depth);
}

}  // namespace

Converter wide_cell(bool red_low, PageFormat page, int32_t device_depth) {
    if (device_depth != 15 && device_depth != 16 && device_depth != 24 && device_depth != 32) return nullptr;
    switch (page) {
        case PageFormat::palette: return red_low ? wide_for<true, PageFormat::palette>(device_depth)
                                                 : wide_for<false, PageFormat::palette>(device_depth);
        case PageFormat::rgb16: return red_low ? wide_for<true, PageFormat::rgb16>(device_depth)
                                               : wide_for<false, PageFormat::rgb16>(device_depth);
        case PageFormat::rgb32: return red_low ? wide_for<true, PageFormat::rgb32>(device_depth)
                                               : wide_for<false, PageFormat::rgb32>(device_depth);
    }
    return nullptr;
}

Converter wide_row_copy() { return copy_rows; }

Converter wide_shaped() {
#if defined(__SSE2__)
    return blit_shaped_wide;
#else
    return shaped(false);
#endif
}

}  // namespace gfx::convert
