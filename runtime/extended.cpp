// SoftExtended's arithmetic: each operation forms its exact result (or
// enough of it, with a bit telling whether anything non-zero was cut off)
// in 128-bit integers and rounds it once, to nearest with ties to even.
#include "runtime/extended.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace lichtbox {
namespace {

using u128 = unsigned __int128;

// A binary format: mantissa bits and the exponents of its smallest and
// largest normal values (the exponent of the leading bit).
struct Format {
    int32_t precision;
    int32_t min_exponent;
    int32_t max_exponent;
};
constexpr Format kExtended{64, -16382, 16383};
constexpr Format kDouble{53, -1022, 1023};

int32_t bit_length(u128 v) {
    const auto high = uint64_t(v >> 64);
    if (high != 0) return 128 - std::countl_zero(high);
    return 64 - std::countl_zero(uint64_t(v));
}

// v / 2^shift (shift >= 1) rounded to nearest, ties to even; `sticky` says
// that non-zero bits lie below v's last bit, which lifts an exact half.
u128 shift_right_rounded(u128 v, int32_t shift, bool sticky) {
    if (shift > 128) return 0;  // v < 2^128 <= half of the last place
    const u128 q = shift == 128 ? 0 : v >> shift;
    const u128 rest = shift == 128 ? v : v & ((u128(1) << shift) - 1);
    const u128 half = u128(1) << (shift - 1);
    const bool up = rest > half || (rest == half && (sticky || (q & 1) != 0));
    return q + (up ? 1 : 0);
}

// The value sig * 2^lsb (plus less than one unit of its last bit when
// sticky), rounded into a format: q * 2^exponent with q below 2^precision.
// Below the smallest normal value the last place stays that of the
// smallest denormal. q == 0 is zero; `overflow` a result beyond the largest
// normal exponent.
struct Rounded {
    uint64_t q = 0;
    int32_t exponent = 0;
    bool overflow = false;
};

Rounded round_into(u128 sig, int32_t lsb, bool sticky, const Format& f) {
    Rounded r;
    if (sig == 0) return r;
    const int32_t top = lsb + bit_length(sig) - 1;
    int32_t target = std::max(top, f.min_exponent) - (f.precision - 1);
    const int32_t shift = target - lsb;
    // With shift <= 0 the value fits exactly; callers only pass a sticky
    // bit together with bits below the last place that the result keeps.
    u128 q = shift <= 0 ? sig << -shift : shift_right_rounded(sig, shift, sticky);
    if (q >> f.precision) {  // rounding carried into a new leading bit
        q >>= 1;
        ++target;
    }
    if (q == 0) return r;
    r.q = uint64_t(q);
    r.exponent = target;
    r.overflow = target + bit_length(q) - 1 > f.max_exponent;
    return r;
}

}  // namespace

// The operations reach the representation through this helper, which packs
// a rounded result (or a special value) into a SoftExtended.
struct SoftExtendedAccess {
    static SoftExtended make(SoftExtended::Kind kind, bool negative, int32_t exponent = 0,
                             uint64_t mantissa = 0) {
        SoftExtended v;
        v.kind_ = kind;
        v.negative_ = negative;
        v.exponent_ = exponent;
        v.mantissa_ = mantissa;
        return v;
    }

    static SoftExtended zero(bool negative) { return make(SoftExtended::Kind::zero, negative); }

    static SoftExtended rounded(bool negative, u128 sig, int32_t lsb, bool sticky) {
        const Rounded r = round_into(sig, lsb, sticky, kExtended);
        if (r.overflow) return make(SoftExtended::Kind::infinite, negative);
        if (r.q == 0) return zero(negative);
        const int32_t n = bit_length(r.q);
        return make(SoftExtended::Kind::finite, negative, r.exponent + n - 1, r.q << (64 - n));
    }
};

using Access = SoftExtendedAccess;
using Kind = SoftExtended::Kind;

void SoftExtended::set_integer(bool negative, uint64_t magnitude) {
    negative_ = negative && magnitude != 0;
    if (magnitude == 0) return;
    const int n = 64 - std::countl_zero(magnitude);
    kind_ = Kind::finite;
    exponent_ = n - 1;
    mantissa_ = magnitude << (64 - n);
}

SoftExtended::SoftExtended(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    negative_ = (bits >> 63) != 0;
    const auto biased = int32_t((bits >> 52) & 0x7FF);
    const uint64_t fraction = bits & ((uint64_t(1) << 52) - 1);
    if (biased == 0x7FF) {
        kind_ = fraction == 0 ? Kind::infinite : Kind::nan;
        return;
    }
    if (biased == 0 && fraction == 0) return;  // signed zero
    const uint64_t m = biased == 0 ? fraction : fraction | uint64_t(1) << 52;
    const int32_t lsb = biased == 0 ? -1074 : biased - 1075;
    const int n = 64 - std::countl_zero(m);
    kind_ = Kind::finite;
    exponent_ = lsb + n - 1;
    mantissa_ = m << (64 - n);
}

SoftExtended SoftExtended::from_parts(bool negative, int32_t exponent, uint64_t mantissa) {
    return Access::rounded(negative, mantissa, exponent, false);
}

SoftExtended SoftExtended::infinity(bool negative) { return Access::make(Kind::infinite, negative); }

SoftExtended SoftExtended::nan() { return Access::make(Kind::nan, false); }

SoftExtended::operator double() const {
    const uint64_t sign = uint64_t(negative_) << 63;
    uint64_t bits = sign;
    if (kind_ == Kind::nan) {
        bits = 0x7FF8000000000000u;
    } else if (kind_ == Kind::infinite) {
        bits |= 0x7FF0000000000000u;
    } else if (kind_ == Kind::finite) {
        const Rounded r = round_into(mantissa_, exponent_ - 63, false, kDouble);
        if (r.overflow) {
            bits |= 0x7FF0000000000000u;
        } else if (r.q != 0) {
            const int32_t top = r.exponent + bit_length(r.q) - 1;
            if (top < kDouble.min_exponent)
                bits |= r.q;  // denormal: its last place is 2^-1074
            else
                bits |= uint64_t(top + 1023) << 52 | (r.q & ((uint64_t(1) << 52) - 1));
        }
    }
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

SoftExtended operator+(SoftExtended a, SoftExtended b) {
    if (a.kind_ == Kind::nan || b.kind_ == Kind::nan) return SoftExtended::nan();
    if (a.kind_ == Kind::infinite) {
        if (b.kind_ == Kind::infinite && b.negative_ != a.negative_) return SoftExtended::nan();
        return a;
    }
    if (b.kind_ == Kind::infinite) return b;
    if (a.kind_ == Kind::zero) return b.kind_ == Kind::zero ? Access::zero(a.negative_ && b.negative_) : b;
    if (b.kind_ == Kind::zero) return a;

    // a gets the larger magnitude; b's mantissa is aligned to a's, 63 bits
    // below a's last bit so that nothing it contributes near the rounding
    // place is lost, and bit 127 stays free for a carry.
    if (b.exponent_ > a.exponent_ || (b.exponent_ == a.exponent_ && b.mantissa_ > a.mantissa_))
        std::swap(a, b);
    const int32_t d = a.exponent_ - b.exponent_;
    const u128 big = u128(a.mantissa_) << 63;
    const u128 small = u128(b.mantissa_) << 63;
    u128 aligned = 0;
    bool sticky = true;
    if (d < 127) {
        aligned = small >> d;
        sticky = d > 0 && (small & ((u128(1) << d) - 1)) != 0;
    }
    const int32_t lsb = a.exponent_ - 126;
    if (a.negative_ == b.negative_) return Access::rounded(a.negative_, big + aligned, lsb, sticky);
    if (big == aligned && !sticky) return Access::zero(false);  // x - x is +0
    // With bits cut off, big - (aligned + e) for some 0 < e < 1 equals
    // (big - aligned - 1) + (1 - e): one less and still something below.
    return Access::rounded(a.negative_, big - aligned - (sticky ? 1 : 0), lsb, sticky);
}

SoftExtended operator-(SoftExtended a, SoftExtended b) { return a + -b; }

SoftExtended operator*(SoftExtended a, SoftExtended b) {
    const bool negative = a.negative_ != b.negative_;
    if (a.kind_ == Kind::nan || b.kind_ == Kind::nan) return SoftExtended::nan();
    if (a.kind_ == Kind::infinite || b.kind_ == Kind::infinite) {
        if (a.kind_ == Kind::zero || b.kind_ == Kind::zero) return SoftExtended::nan();
        return SoftExtended::infinity(negative);
    }
    if (a.kind_ == Kind::zero || b.kind_ == Kind::zero) return Access::zero(negative);
    return Access::rounded(negative, u128(a.mantissa_) * b.mantissa_, a.exponent_ - 63 + b.exponent_ - 63,
                           false);
}

SoftExtended operator/(SoftExtended a, SoftExtended b) {
    const bool negative = a.negative_ != b.negative_;
    if (a.kind_ == Kind::nan || b.kind_ == Kind::nan) return SoftExtended::nan();
    if (a.kind_ == Kind::infinite)
        return b.kind_ == Kind::infinite ? SoftExtended::nan() : SoftExtended::infinity(negative);
    if (b.kind_ == Kind::infinite) return Access::zero(negative);
    if (b.kind_ == Kind::zero)
        return a.kind_ == Kind::zero ? SoftExtended::nan() : SoftExtended::infinity(negative);
    if (a.kind_ == Kind::zero) return Access::zero(negative);

    // 2^64 * ma / mb lies in (2^63, 2^65); two more quotient bits give the
    // rounding bit in every case, and the remainder tells whether the
    // quotient is exact.
    const u128 dividend = u128(a.mantissa_) << 64;
    const u128 q1 = dividend / b.mantissa_;
    const u128 r1 = dividend % b.mantissa_;
    const u128 q2 = (r1 << 2) / b.mantissa_;
    const u128 r2 = (r1 << 2) % b.mantissa_;
    return Access::rounded(negative, q1 << 2 | q2, a.exponent_ - b.exponent_ - 66, r2 != 0);
}

std::partial_ordering operator<=>(SoftExtended a, SoftExtended b) {
    if (a.kind_ == Kind::nan || b.kind_ == Kind::nan) return std::partial_ordering::unordered;
    const auto signum = [](const SoftExtended& v) { return v.kind_ == Kind::zero ? 0 : v.negative_ ? -1 : 1; };
    const int sa = signum(a), sb = signum(b);
    if (sa != sb || sa == 0) return sa <=> sb;
    // Same sign, neither zero: compare magnitudes, then flip for negatives.
    std::strong_ordering m = std::strong_ordering::equal;
    if (a.kind_ == Kind::infinite || b.kind_ == Kind::infinite)
        m = (a.kind_ == Kind::infinite) <=> (b.kind_ == Kind::infinite);
    else if (a.exponent_ != b.exponent_)
        m = a.exponent_ <=> b.exponent_;
    else
        m = a.mantissa_ <=> b.mantissa_;
    return sa < 0 ? 0 <=> m : m;
}

int64_t round_half_even(SoftExtended v) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    switch (v.kind()) {
        case Kind::nan: return 0;
        case Kind::zero: return 0;
        case Kind::infinite: return v.negative() ? kMin : kMax;
        case Kind::finite: break;
    }
    const bool negative = v.negative();
    // Magnitudes of 2^63 and more: the ends of the range (-2^63 is kMin
    // itself).
    if (v.exponent() >= 63) return negative ? kMin : kMax;
    const u128 q = shift_right_rounded(v.mantissa(), 63 - v.exponent(), false);
    // 2^63 - 1/2 rounds to 2^63, beyond the range on the positive side.
    if (!negative && q > uint64_t(kMax)) return kMax;
    return negative ? int64_t(0 - uint64_t(q)) : int64_t(q);
}

}  // namespace lichtbox
