// Integer scaling: one row is widened pixel by pixel (vector shuffles for
// 32-bit pixels and factors 2 to 4), the further rows of its block are
// copies of the first.
#include "gfx/drivers/convert/scale.h"

#include <cstddef>
#include <cstring>

#include "gfx/core/unaligned.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gfx::convert {
namespace {

void widen_generic(const uint8_t* s, uint8_t* d, int32_t w, int32_t bpp, int32_t factor) {
    for (int32_t x = 0; x < w; ++x, s += bpp)
        for (int32_t k = 0; k < factor; ++k, d += bpp) std::memcpy(d, s, std::size_t(bpp));
}

void widen32(const uint8_t* s, uint8_t* d, int32_t w, int32_t factor) {
    int32_t x = 0;
#if defined(__SSE2__)
    auto out = [&](int32_t i, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16 * i), v); };
    for (; x + 4 <= w; x += 4, s += 16) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        if (factor == 2) {
            out(0, _mm_unpacklo_epi32(p, p));
            out(1, _mm_unpackhi_epi32(p, p));
            d += 32;
        } else if (factor == 4) {
            out(0, _mm_shuffle_epi32(p, 0x00));
            out(1, _mm_shuffle_epi32(p, 0x55));
            out(2, _mm_shuffle_epi32(p, 0xAA));
            out(3, _mm_shuffle_epi32(p, 0xFF));
            d += 64;
        } else if (factor == 3) {
            out(0, _mm_shuffle_epi32(p, 0x40));  // 0 0 0 1
            out(1, _mm_shuffle_epi32(p, 0xA5));  // 1 1 2 2
            out(2, _mm_shuffle_epi32(p, 0xFE));  // 2 3 3 3
            d += 48;
        } else {
            break;
        }
    }
#endif
    for (; x < w; ++x, s += 4) {
        const uint32_t v = load<uint32_t>(s);
        for (int32_t k = 0; k < factor; ++k, d += 4) store<uint32_t>(d, v);
    }
}

}  // namespace

void scale_rows(const uint8_t* src, int32_t src_pitch, uint8_t* dst, int32_t dst_pitch, int32_t w,
                int32_t first, int32_t count, int32_t bytes_per_pixel, int32_t factor) {
    const std::size_t row_bytes = std::size_t(w) * std::size_t(bytes_per_pixel) * std::size_t(factor);
    for (int32_t r = first; r < first + count; ++r) {
        const uint8_t* s = src + std::ptrdiff_t(r) * src_pitch;
        uint8_t* d = dst + std::ptrdiff_t(r) * factor * dst_pitch;
        if (bytes_per_pixel == 4)
            widen32(s, d, w, factor);
        else
            widen_generic(s, d, w, bytes_per_pixel, factor);
        for (int32_t k = 1; k < factor; ++k) std::memcpy(d + std::ptrdiff_t(k) * dst_pitch, d, row_bytes);
    }
}

}  // namespace gfx::convert
