// Row scanning for the flood fill: find the first or last pixel of a column
// range that equals (or differs from) a pixel value. Pixels are 1, 2 or 4
// bytes; rows may lie at any address. SSE2 compares 16 bytes at a time; the
// plain versions walk pixel by pixel. Nothing outside [from, to] is read.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define LICHTBOX_SCAN_AVX2 1
#include <immintrin.h>
#endif
#endif

namespace gfx::paint_scan {

template <int Bpp>
inline uint32_t pixel_at(const uint8_t* row, int32_t x) {
    if constexpr (Bpp == 1) {
        return row[x];
    } else if constexpr (Bpp == 2) {
        uint16_t v;
        std::memcpy(&v, row + 2 * static_cast<std::ptrdiff_t>(x), 2);
        return v;
    } else {
        uint32_t v;
        std::memcpy(&v, row + 4 * static_cast<std::ptrdiff_t>(x), 4);
        return v;
    }
}

#if defined(__SSE2__)

template <int Bpp>
inline __m128i splat(uint32_t v) {
    if constexpr (Bpp == 1) return _mm_set1_epi8(static_cast<char>(v));
    else if constexpr (Bpp == 2) return _mm_set1_epi16(static_cast<short>(v));
    else return _mm_set1_epi32(static_cast<int>(v));
}

template <int Bpp>
inline __m128i equal(__m128i a, __m128i b) {
    if constexpr (Bpp == 1) return _mm_cmpeq_epi8(a, b);
    else if constexpr (Bpp == 2) return _mm_cmpeq_epi16(a, b);
    else return _mm_cmpeq_epi32(a, b);
}

// Byte mask (one bit per byte) of the pixels of the 16 bytes at p that
// equal v (Equal) or differ from it (!Equal).
template <int Bpp, bool Equal>
inline unsigned match_mask(const uint8_t* p, __m128i v) {
    const auto m = static_cast<unsigned>(
        _mm_movemask_epi8(equal<Bpp>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), v)));
    return Equal ? m : m ^ 0xFFFFu;
}

// The same for the 64 bytes at p, one bit per byte.
template <int Bpp, bool Equal>
inline uint64_t match_mask64(const uint8_t* p, __m128i v) {
    const uint64_t m = uint64_t(match_mask<Bpp, true>(p, v)) | uint64_t(match_mask<Bpp, true>(p + 16, v)) << 16 |
                       uint64_t(match_mask<Bpp, true>(p + 32, v)) << 32 |
                       uint64_t(match_mask<Bpp, true>(p + 48, v)) << 48;
    return Equal ? m : ~m;
}

// Whether any pixel of the 64 bytes at p equals v (Equal) or differs from
// it: the quick test of the long loops.
template <int Bpp, bool Equal>
inline bool any_match64(const uint8_t* p, __m128i v) {
    const __m128i a = equal<Bpp>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), v);
    const __m128i b = equal<Bpp>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), v);
    const __m128i c = equal<Bpp>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)), v);
    const __m128i d = equal<Bpp>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)), v);
    if constexpr (Equal) return _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) != 0;
    else return _mm_movemask_epi8(_mm_and_si128(_mm_and_si128(a, b), _mm_and_si128(c, d))) != 0xFFFF;
}

// First x in [from, to] whose pixel equals v (Equal) or differs from it,
// else to + 1.
template <int Bpp, bool Equal>
inline int32_t find_first(const uint8_t* row, int32_t from, int32_t to, uint32_t value) {
    constexpr int32_t kLanes = 16 / Bpp, kBlock = 64 / Bpp;
    const int32_t n = to - from + 1;
    if (n < kLanes) {
        for (int32_t x = from; x <= to; ++x)
            if ((pixel_at<Bpp>(row, x) == value) == Equal) return x;
        return to + 1;
    }
    const __m128i v = splat<Bpp>(value);
    if (n < kBlock) {
        int32_t x = from;
        for (; to - x + 1 >= kLanes; x += kLanes) {
            const unsigned m = match_mask<Bpp, Equal>(row + static_cast<std::ptrdiff_t>(x) * Bpp, v);
            if (m) return x + static_cast<int32_t>(__builtin_ctz(m)) / Bpp;
        }
        if (x > to) return to + 1;
        // Last, overlapping vector: the pixels before x are known not to match.
        const int32_t last = to - kLanes + 1;
        const unsigned m = match_mask<Bpp, Equal>(row + static_cast<std::ptrdiff_t>(last) * Bpp, v);
        return m ? last + static_cast<int32_t>(__builtin_ctz(m)) / Bpp : to + 1;
    }
    // Blocks of 64 bytes; the last one overlaps its predecessor, whose
    // pixels are known not to match.
    int32_t x = from;
    for (;;) {
        if (to - x + 1 < kBlock) x = to - kBlock + 1;
        const uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * Bpp;
        if (any_match64<Bpp, Equal>(p, v))
            return x + static_cast<int32_t>(__builtin_ctzll(match_mask64<Bpp, Equal>(p, v))) / Bpp;
        x += kBlock;
        if (x > to) return to + 1;
    }
}

// Last x in [from, to] whose pixel equals v, else from - 1.
template <int Bpp>
inline int32_t find_last_equal(const uint8_t* row, int32_t from, int32_t to, uint32_t value) {
    constexpr int32_t kLanes = 16 / Bpp, kBlock = 64 / Bpp;
    const int32_t n = to - from + 1;
    if (n < kLanes) {
        for (int32_t x = to; x >= from; --x)
            if (pixel_at<Bpp>(row, x) == value) return x;
        return from - 1;
    }
    const __m128i v = splat<Bpp>(value);
    if (n < kBlock) {
        int32_t x = to;  // pixels after x are known not to match
        for (; x - from + 1 >= kLanes; x -= kLanes) {
            const int32_t first = x - kLanes + 1;
            const unsigned m = match_mask<Bpp, true>(row + static_cast<std::ptrdiff_t>(first) * Bpp, v);
            if (m) return first + (31 - static_cast<int32_t>(__builtin_clz(m))) / Bpp;
        }
        if (x < from) return from - 1;
        const unsigned m = match_mask<Bpp, true>(row + static_cast<std::ptrdiff_t>(from) * Bpp, v);
        return m ? from + (31 - static_cast<int32_t>(__builtin_clz(m))) / Bpp : from - 1;
    }
    // Blocks of 64 bytes ending at x; the first one overlaps its successor.
    int32_t x = to;
    for (;;) {
        if (x - from + 1 < kBlock) x = from + kBlock - 1;
        const int32_t first = x - kBlock + 1;
        const uint8_t* p = row + static_cast<std::ptrdiff_t>(first) * Bpp;
        if (any_match64<Bpp, true>(p, v))
            return first + (63 - static_cast<int32_t>(__builtin_clzll(match_mask64<Bpp, true>(p, v)))) / Bpp;
        x -= kBlock;
        if (x < from) return from - 1;
    }
}

// First x in [from, to] whose pixel equals v, like find_first_equal, for a
// caller that expects it near `hint`. The pixels up to a block before the
// hint are checked without an exit per block, so the processor need not
// wait for each block's result before reading on; if a match lies among
// them after all, they are searched again.
template <int Bpp>
inline int32_t find_first_equal_near(const uint8_t* row, int32_t from, int32_t to, uint32_t value, int32_t hint) {
    constexpr int32_t kBlock = 64 / Bpp;
    const int64_t stop = std::min<int64_t>(hint, int64_t(to) + 1) - kBlock;
    if (stop - from >= kBlock) {
        const __m128i v = splat<Bpp>(value);
        const uint8_t* p = row + static_cast<std::ptrdiff_t>(from) * Bpp;
        const uint8_t* const end = row + static_cast<std::ptrdiff_t>(stop) * Bpp;
        // One unaligned vector, then 16-byte aligned ones (no load spans
        // two cache lines) when the pixels sit on their natural alignment;
        // overlapping an already checked vector does no harm here.
        __m128i seen = equal<Bpp>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), v);
        if (reinterpret_cast<uintptr_t>(p) % Bpp == 0)
            p = reinterpret_cast<const uint8_t*>((reinterpret_cast<uintptr_t>(p) + 16) & ~uintptr_t{15});
        else
            p += 16;
        for (; end - p >= 64; p += 64) {
            const __m128i a = equal<Bpp>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), v);
            const __m128i b = equal<Bpp>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), v);
            const __m128i c = equal<Bpp>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)), v);
            const __m128i d = equal<Bpp>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)), v);
            seen = _mm_or_si128(seen, _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)));
        }
        // Checked: the pixels before `checked`, and the first vector's.
        const auto checked = static_cast<int32_t>((p - row) / Bpp);
        if (_mm_movemask_epi8(seen) != 0)
            return find_first<Bpp, true>(row, from, std::max(checked, from + 16 / Bpp) - 1, value);
        from = checked;
    }
    return find_first<Bpp, true>(row, from, to, value);
}

#if defined(LICHTBOX_SCAN_AVX2)

// Whether the processor has the 32-byte compares of the wide scan.
inline bool has_wide_scan() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}

template <int Bpp>
__attribute__((target("avx2"))) inline __m256i equal256(__m256i a, __m256i b) {
    if constexpr (Bpp == 1) return _mm256_cmpeq_epi8(a, b);
    else if constexpr (Bpp == 2) return _mm256_cmpeq_epi16(a, b);
    else return _mm256_cmpeq_epi32(a, b);
}

// find_first_equal_near with 32-byte compares for the long stretch before
// the hint; only for processors that have them (has_wide_scan).
template <int Bpp>
__attribute__((target("avx2"))) int32_t find_first_equal_near_wide(const uint8_t* row, int32_t from, int32_t to,
                                                                  uint32_t value, int32_t hint) {
    constexpr int32_t kBlock = 128 / Bpp;
    const int64_t stop = std::min<int64_t>(hint, int64_t(to) + 1) - kBlock;
    if (stop - from >= kBlock) {
        __m256i v;
        if constexpr (Bpp == 1) v = _mm256_set1_epi8(static_cast<char>(value));
        else if constexpr (Bpp == 2) v = _mm256_set1_epi16(static_cast<short>(value));
        else v = _mm256_set1_epi32(static_cast<int>(value));
        const uint8_t* p = row + static_cast<std::ptrdiff_t>(from) * Bpp;
        const uint8_t* const end = row + static_cast<std::ptrdiff_t>(stop) * Bpp;
        __m256i seen = equal256<Bpp>(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), v);
        if (reinterpret_cast<uintptr_t>(p) % Bpp == 0)
            p = reinterpret_cast<const uint8_t*>((reinterpret_cast<uintptr_t>(p) + 32) & ~uintptr_t{31});
        else
            p += 32;
        for (; end - p >= 128; p += 128) {
            const __m256i a = equal256<Bpp>(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), v);
            const __m256i b = equal256<Bpp>(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)), v);
            const __m256i c = equal256<Bpp>(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 64)), v);
            const __m256i d = equal256<Bpp>(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 96)), v);
            seen = _mm256_or_si256(seen, _mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d)));
        }
        const auto checked = static_cast<int32_t>((p - row) / Bpp);
        if (!_mm256_testz_si256(seen, seen))
            return find_first<Bpp, true>(row, from, std::max(checked, from + 32 / Bpp) - 1, value);
        from = checked;
    }
    return find_first_equal_near<Bpp>(row, from, to, value, hint);
}

#else

inline bool has_wide_scan() { return false; }

#endif

#else  // plain fallback

inline bool has_wide_scan() { return false; }

template <int Bpp, bool Equal>
inline int32_t find_first(const uint8_t* row, int32_t from, int32_t to, uint32_t value) {
    for (int32_t x = from; x <= to; ++x)
        if ((pixel_at<Bpp>(row, x) == value) == Equal) return x;
    return to + 1;
}

template <int Bpp>
inline int32_t find_last_equal(const uint8_t* row, int32_t from, int32_t to, uint32_t value) {
    for (int32_t x = to; x >= from; --x)
        if (pixel_at<Bpp>(row, x) == value) return x;
    return from - 1;
}

template <int Bpp>
inline int32_t find_first_equal_near(const uint8_t* row, int32_t from, int32_t to, uint32_t value, int32_t) {
    return find_first<Bpp, true>(row, from, to, value);
}

#endif

template <int Bpp>
inline int32_t find_first_equal(const uint8_t* row, int32_t from, int32_t to, uint32_t value) {
    return find_first<Bpp, true>(row, from, to, value);
}

template <int Bpp>
inline int32_t find_first_not_equal(const uint8_t* row, int32_t from, int32_t to, uint32_t value) {
    return find_first<Bpp, false>(row, from, to, value);
}

}  // namespace gfx::paint_scan
