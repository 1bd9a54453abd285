// Extended: floating arithmetic with a 64-bit mantissa that rounds to
// nearest, ties to even, after every operation, as the x87 unit does at
// 64-bit precision. It is long double where that is the x87 format and
// SoftExtended, the same arithmetic in software, everywhere else.
#pragma once

#include <cfloat>
#include <compare>
#include <concepts>
#include <cstdint>
#include <type_traits>

#include "runtime/runtime.h"

namespace lichtbox {

// A binary floating value with a 64-bit mantissa and the x87 exponent range:
// each operation gives the exact result rounded once to 64 bits, ties to
// even, whatever the FPU's rounding mode. Results below 2^-16382 become
// denormals rounded at their own last place (2^-16445) or zero, results
// beyond the largest finite value infinity, as on the x87 unit. Zeros are
// signed; infinities and not-a-number follow IEEE 754 (a NaN's sign and
// payload are not kept).
class SoftExtended {
public:
    // Exact: every int64 and uint64 has at most 64 significant bits.
    template <std::integral I>
    explicit SoftExtended(I v) {
        if constexpr (std::is_signed_v<I>)
            set_integer(v < 0, v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v));
        else
            set_integer(false, static_cast<uint64_t>(v));
    }
    // Exact for every double, denormals included.
    explicit SoftExtended(double v);
    SoftExtended() = default;  // +0

    // mantissa * 2^exponent, rounded to 64 bits like an operation result.
    static SoftExtended from_parts(bool negative, int32_t exponent, uint64_t mantissa);
    static SoftExtended infinity(bool negative);
    static SoftExtended nan();

    // Correctly rounded to 53 bits, ties to even, with double's denormals
    // and overflow to infinity.
    explicit operator double() const;

    friend SoftExtended operator+(SoftExtended a, SoftExtended b);
    friend SoftExtended operator-(SoftExtended a, SoftExtended b);
    friend SoftExtended operator*(SoftExtended a, SoftExtended b);
    friend SoftExtended operator/(SoftExtended a, SoftExtended b);
    friend SoftExtended operator-(SoftExtended a) {
        a.negative_ = !a.negative_;
        return a;
    }
    SoftExtended& operator+=(SoftExtended b) { return *this = *this + b; }
    SoftExtended& operator-=(SoftExtended b) { return *this = *this - b; }
    SoftExtended& operator*=(SoftExtended b) { return *this = *this * b; }
    SoftExtended& operator/=(SoftExtended b) { return *this = *this / b; }

    // IEEE comparisons: -0 == +0, a NaN is unordered with everything.
    friend std::partial_ordering operator<=>(SoftExtended a, SoftExtended b);
    friend bool operator==(SoftExtended a, SoftExtended b) { return (a <=> b) == 0; }

    enum class Kind : uint8_t { zero, finite, infinite, nan };
    Kind kind() const { return kind_; }
    bool negative() const { return negative_; }
    // For finite non-zero values: value = mantissa * 2^(exponent - 63) with
    // bit 63 of the mantissa set (denormals are kept in this form too).
    int32_t exponent() const { return exponent_; }
    uint64_t mantissa() const { return mantissa_; }

private:
    friend struct SoftExtendedAccess;
    void set_integer(bool negative, uint64_t magnitude);

    Kind kind_ = Kind::zero;
    bool negative_ = false;
    int32_t exponent_ = 0;
    uint64_t mantissa_ = 0;
};

// Nearest integer, ties to even; NaN gives 0, values at or beyond the int64
// range the nearer end of it (rt_round_int's rules).
int64_t round_half_even(SoftExtended v);

#if LDBL_MANT_DIG == 64 && (defined(__i386__) || defined(__x86_64__)) && !defined(__EMSCRIPTEN__)
#define LICHTBOX_EXTENDED_IS_LONG_DOUBLE 1
using Extended = long double;
inline int64_t round_half_even(long double v) { return rt_round_int(v); }
#else
#define LICHTBOX_EXTENDED_IS_LONG_DOUBLE 0
using Extended = SoftExtended;
#endif

}  // namespace lichtbox
