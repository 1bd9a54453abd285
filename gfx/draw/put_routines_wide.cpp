// Wide image-put routines: 16 bytes per step with SSE2 where the build has
// it, scalar remainders. Memory results equal the plain routines.
#include <cstddef>
#include <cstring>

#include "gfx/core/pixel_routines.h"
#include "gfx/core/unaligned.h"
#include "gfx/draw/put_routines.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gfx {
namespace {


#if defined(__SSE2__)
inline __m128i loadu(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline void storeu(uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// keep ? d : s, per lane of the mask.
inline __m128i select(__m128i keep, __m128i d, __m128i s) {
    return _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, s));
}
#endif

void transparent8(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
                  int32_t src_pitch, int32_t dst_pitch, int32_t, GfxBlender, void*) {
    for (int32_t y = 0; y < height; ++y, src += src_pitch, dst += dst_pitch) {
        int32_t x = 0;
#if defined(__SSE2__)
        const __m128i mask = _mm_set1_epi8(static_cast<char>(kMask8));
        for (; x + 16 <= width; x += 16) {
            const __m128i s = loadu(src + x);
            storeu(dst + x, select(_mm_cmpeq_epi8(s, mask), loadu(dst + x), s));
        }
#endif
        for (; x < width; ++x) {
            if (src[x] != kMask8) dst[x] = src[x];
        }
    }
}

void transparent16(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
                   int32_t src_pitch, int32_t dst_pitch, int32_t, GfxBlender, void*) {
    for (int32_t y = 0; y < height; ++y, src += src_pitch, dst += dst_pitch) {
        int32_t x = 0;
#if defined(__SSE2__)
        const __m128i mask = _mm_set1_epi16(static_cast<int16_t>(kMask16));
        for (; x + 8 <= width; x += 8) {
            const __m128i s = loadu(src + 2 * std::ptrdiff_t(x));
            uint8_t* d = dst + 2 * std::ptrdiff_t(x);
            storeu(d, select(_mm_cmpeq_epi16(s, mask), loadu(d), s));
        }
#endif
        for (; x < width; ++x) {
            const auto v = load<uint16_t>(src + 2 * std::ptrdiff_t(x));
            if (v != kMask16) store<uint16_t>(dst + 2 * std::ptrdiff_t(x), v);
        }
    }
}

void transparent32(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
                   int32_t src_pitch, int32_t dst_pitch, int32_t, GfxBlender, void*) {
    for (int32_t y = 0; y < height; ++y, src += src_pitch, dst += dst_pitch) {
        int32_t x = 0;
#if defined(__SSE2__)
        const __m128i colour_bits = _mm_set1_epi32(static_cast<int>(kColourBits32));
        const __m128i mask = _mm_set1_epi32(static_cast<int>(kMask32));
        for (; x + 4 <= width; x += 4) {
            const __m128i s = _mm_and_si128(loadu(src + 4 * std::ptrdiff_t(x)), colour_bits);
            uint8_t* d = dst + 4 * std::ptrdiff_t(x);
            storeu(d, select(_mm_cmpeq_epi32(s, mask), loadu(d), s));
        }
#endif
        for (; x < width; ++x) {
            const uint32_t v = load<uint32_t>(src + 4 * std::ptrdiff_t(x)) & kColourBits32;
            if (v != kMask32) store<uint32_t>(dst + 4 * std::ptrdiff_t(x), v);
        }
    }
}

template <int Bpp>
void copy_rows(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
               int32_t src_pitch, int32_t dst_pitch, int32_t, GfxBlender, void*) {
    if (width <= 0) return;
    const size_t bytes = size_t(width) * Bpp;
    for (int32_t y = 0; y < height; ++y, src += src_pitch, dst += dst_pitch)
        wide_copy_bytes(dst, src, bytes);
}

}  // namespace

const PutTable kWideTransparentTable = {transparent8, transparent16, nullptr, transparent32};
const PutTable kWideCopyTable = {copy_rows<1>, copy_rows<2>, nullptr, copy_rows<4>};

void put_alpha_channel_wide(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
                            int32_t src_pitch, int32_t dst_pitch, int32_t, GfxBlender, void*) {
    for (int32_t y = 0; y < height; ++y, src += src_pitch, dst += dst_pitch) {
        int32_t x = 0;
#if defined(__SSE2__)
        // Sixteen source bytes spread to the top byte of sixteen 32-bit lanes.
        const __m128i zero = _mm_setzero_si128();
        const __m128i colour_bits = _mm_set1_epi32(static_cast<int>(kColourBits32));
        for (; x + 16 <= width; x += 16) {
            const __m128i s = loadu(src + x);
            const __m128i lo = _mm_unpacklo_epi8(zero, s);
            const __m128i hi = _mm_unpackhi_epi8(zero, s);
            const __m128i a[4] = {_mm_unpacklo_epi16(zero, lo), _mm_unpackhi_epi16(zero, lo),
                                  _mm_unpacklo_epi16(zero, hi), _mm_unpackhi_epi16(zero, hi)};
            uint8_t* d = dst + 4 * std::ptrdiff_t(x);
            for (int k = 0; k < 4; ++k) {
                const __m128i v = _mm_and_si128(loadu(d + 16 * k), colour_bits);
                storeu(d + 16 * k, _mm_or_si128(v, a[k]));
            }
        }
#endif
        for (; x < width; ++x) dst[4 * std::ptrdiff_t(x) + 3] = src[x];
    }
}

}  // namespace gfx
