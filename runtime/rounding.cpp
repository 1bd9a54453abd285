// Conversion of floating values to integers: nearest, ties to even.
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "runtime/runtime.h"

namespace {

// Keeps the compiler from moving the rounding across a change of the
// rounding mode: it treats nearbyintl as a plain function of its argument.
inline void fence(long double& value) {
#if defined(__GNUC__)
    asm volatile("" : "+m"(value) : : "memory");
#else
    (void)value;
#endif
}

// nearbyintl at round-to-nearest, whatever mode the caller runs in; the
// caller's mode is put back.
long double nearest(long double v) {
    const int saved = std::fegetround();
    if (saved == FE_TONEAREST) return std::nearbyintl(v);
    std::fesetround(FE_TONEAREST);
    fence(v);
    long double r = std::nearbyintl(v);
    fence(r);
    if (saved >= 0) std::fesetround(saved);
    return r;
}

}  // namespace

extern "C" int64_t rt_round_int(long double v) {
    // Not a number has no nearest integer; 0 keeps the result harmless.
    if (std::isnan(v)) return 0;
    // 2^63 is exact in every floating format; anything at or beyond the
    // int64 range saturates instead of overflowing the conversion.
    constexpr long double kLimit = 9223372036854775808.0L;
    if (v >= kLimit) return std::numeric_limits<int64_t>::max();
    if (v < -kLimit) return std::numeric_limits<int64_t>::min();
    const long double r = nearest(v);
    // Rounding can only reach 2^63 from below it when the format lacks the
    // bits for values that large; saturate there too.
    if (r >= kLimit) return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(r);
}
