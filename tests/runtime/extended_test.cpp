// SoftExtended against the x87 unit at 64-bit precision: a table of edge
// cases and millions of random operations chosen to land near rounding
// boundaries, each result compared bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "runtime/extended.h"

namespace {

using lichtbox::round_half_even;
using lichtbox::SoftExtended;
using Kind = SoftExtended::Kind;

std::string describe(const SoftExtended& v) {
    char text[64];
    const char sign = v.negative() ? '-' : '+';
    switch (v.kind()) {
        case Kind::zero: std::snprintf(text, sizeof text, "%c0", sign); break;
        case Kind::infinite: std::snprintf(text, sizeof text, "%cinf", sign); break;
        case Kind::nan: std::snprintf(text, sizeof text, "nan"); break;
        case Kind::finite:
            std::snprintf(text, sizeof text, "%c0x%016llx*2^(%d-63)", sign,
                          static_cast<unsigned long long>(v.mantissa()), v.exponent());
            break;
    }
    return text;
}

bool same(const SoftExtended& a, const SoftExtended& b) {
    if (a.kind() != b.kind()) return false;
    if (a.kind() == Kind::nan) return true;
    return a.negative() == b.negative() && a.exponent() == b.exponent() && a.mantissa() == b.mantissa();
}

// Exact answers that hold on every target.
TEST(SoftExtended, KnownAnswers) {
    const SoftExtended one(1), two(2), three(3);
    const auto parts = [](int32_t exponent, uint64_t mantissa) {
        return SoftExtended::from_parts(false, exponent, mantissa);
    };
    // 1 + 2^-64 is a tie between 1 and 1 + 2^-63: the even one is 1.
    EXPECT_TRUE(same(one + parts(-64, 1), one));
    // 1 + 3 * 2^-64: a tie between odd 1 + 2^-63 and even 1 + 2^-62.
    EXPECT_TRUE(same(one + parts(-64, 3), one + parts(-62, 1)));
    // (2^64 - 1) + 1/2 carries into 2^64.
    EXPECT_TRUE(same(SoftExtended(UINT64_MAX) + SoftExtended(0.5), parts(64, 1)));
    EXPECT_EQ((one / three).mantissa(), 0xAAAAAAAAAAAAAAABu);
    EXPECT_EQ((two / three).mantissa(), 0xAAAAAAAAAAAAAAABu);
    EXPECT_EQ(double(one / three), 1.0 / 3.0);
    // The double 0.1 is 3602879701896397 * 2^-55; ten of it is 1 + 2^-54 exactly.
    EXPECT_TRUE(same(SoftExtended(0.1) * SoftExtended(10), one + parts(-54, 1)));
    EXPECT_TRUE(same(one - one, SoftExtended(0.0)));
    EXPECT_TRUE(same(-SoftExtended(0.0) + -SoftExtended(0.0), SoftExtended(-0.0)));
    EXPECT_TRUE(SoftExtended(0.0) == SoftExtended(-0.0));
    EXPECT_FALSE(SoftExtended::nan() == SoftExtended::nan());
    EXPECT_TRUE(SoftExtended(-3) < SoftExtended(-2.5));
    // Doubles: 1 + 2^-53 ties down to 1, 1 + 3 * 2^-53 up to 1 + 2^-51.
    EXPECT_EQ(double(one + parts(-53, 1)), 1.0);
    EXPECT_EQ(double(one + parts(-53, 3)), 1.0 + 0x1p-51);
    EXPECT_EQ(double(one + parts(-53, 1) + parts(-63, 1)), 1.0 + 0x1p-52);
    const struct {
        double v;
        int64_t expect;
    } rounds[] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {3.5, 4}, {0x1p63, INT64_MAX},
                  {-0x1p63, INT64_MIN}, {1e300, INT64_MAX}, {-1e300, INT64_MIN}};
    for (const auto& r : rounds) EXPECT_EQ(round_half_even(SoftExtended(r.v)), r.expect) << r.v;
    EXPECT_EQ(round_half_even(SoftExtended::nan()), 0);
    // 2^63 - 1/2 is a tie whose even neighbour, 2^63, is beyond the range.
    EXPECT_EQ(round_half_even(parts(-1, UINT64_MAX)), INT64_MAX);
}

#if LICHTBOX_EXTENDED_IS_LONG_DOUBLE

// The same value, read from the x87 format's bytes: the 64-bit mantissa
// with its explicit leading bit, then sign and biased exponent.
SoftExtended soft(long double x) {
    uint64_t mantissa;
    uint16_t sign_exponent;
    std::memcpy(&mantissa, &x, 8);
    std::memcpy(&sign_exponent, reinterpret_cast<const char*>(&x) + 8, 2);
    const bool negative = (sign_exponent >> 15) != 0;
    const int32_t biased = sign_exponent & 0x7FFF;
    if (biased == 0x7FFF) return mantissa << 1 == 0 ? SoftExtended::infinity(negative) : SoftExtended::nan();
    if (mantissa == 0) return negative ? -SoftExtended(0) : SoftExtended(0);
    // Denormals share the smallest normal exponent.
    return SoftExtended::from_parts(negative, std::max(biased, 1) - 16383 - 63, mantissa);
}

uint16_t x87_control_word() {
    uint16_t cw;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    return cw;
}
void set_x87_control_word(uint16_t cw) { __asm__ volatile("fldcw %0" : : "m"(cw)); }

// The reference: the x87 unit with a 64-bit mantissa, rounding to nearest.
class ExtendedVsX87 : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = x87_control_word();
        set_x87_control_word(static_cast<uint16_t>((saved_ & ~0xF00u) | 0x300u));
    }
    void TearDown() override { set_x87_control_word(saved_); }

    uint16_t saved_ = 0;
};

enum class Op : char { add = '+', sub = '-', mul = '*', div = '/' };

long double native(Op op, long double a, long double b) {
    switch (op) {
        case Op::add: return a + b;
        case Op::sub: return a - b;
        case Op::mul: return a * b;
        case Op::div: return a / b;
    }
    return 0;
}

SoftExtended emulated(Op op, SoftExtended a, SoftExtended b) {
    switch (op) {
        case Op::add: return a + b;
        case Op::sub: return a - b;
        case Op::mul: return a * b;
        case Op::div: return a / b;
    }
    return {};
}

// Counts disagreements and reports the first few.
struct Tally {
    int64_t compared = 0;
    int64_t wrong = 0;
    // `what` describes the case: a text, or a function that makes it,
    // called only for a failure.
    template <class What>
    void check(bool ok, const What& what) {
        ++compared;
        if (ok || ++wrong > 10) return;
        if constexpr (std::is_invocable_v<What>)
            ADD_FAILURE() << what();
        else
            ADD_FAILURE() << what;
    }
    void op(Op op, long double a, long double b) {
        const long double want = native(op, a, b);
        const SoftExtended got = emulated(op, soft(a), soft(b));
        check(same(got, soft(want)), [&] {
            return describe(soft(a)) + " " + char(op) + " " + describe(soft(b)) + " = " + describe(soft(want)) +
                   ", got " + describe(got);
        });
    }
    void to_double(long double x) {
        const double want = static_cast<double>(x), got = double(soft(x));
        check(std::memcmp(&want, &got, sizeof want) == 0 || (std::isnan(want) && std::isnan(got)),
              [&] { return "double(" + describe(soft(x)) + ")"; });
    }
    void round(long double x) {
        check(rt_round_int(x) == round_half_even(soft(x)),
              [&] { return "round_half_even(" + describe(soft(x)) + ")"; });
    }
};

TEST_F(ExtendedVsX87, EdgeCases) {
    constexpr long double inf = std::numeric_limits<long double>::infinity();
    constexpr long double nan = std::numeric_limits<long double>::quiet_NaN();
    constexpr long double min_normal = std::numeric_limits<long double>::min();
    constexpr long double max = std::numeric_limits<long double>::max();
    const struct {
        Op op;
        long double a, b;
    } cases[] = {
        // Ties and near-ties at the 64th bit, carries into a new exponent.
        {Op::add, 1, 0x1p-64L}, {Op::add, 1, 0x3p-64L}, {Op::add, 1, 0x1.0000000000000002p-64L},
        {Op::add, 1, 0x1.fffffffffffffffep-65L}, {Op::add, 0x1.fffffffffffffffep0L, 0x1p-63L},
        {Op::add, 0x1.fffffffffffffffep0L, 0x1p-64L}, {Op::add, 0xffffffffffffffffp0L, 0.5L},
        {Op::add, -0x1.fffffffffffffffep0L, -0x1p-64L}, {Op::add, 1, 0x1p-200L}, {Op::add, 0x1p100L, 0x1p-100L},
        // Subtraction: cancellation, borrows, bits cut off below the last place.
        {Op::sub, 1, 0x1p-65L}, {Op::sub, 1, 0x1.0000000000000002p-65L}, {Op::sub, 1, 0x1p-70L},
        {Op::sub, 1, 0x1p-200L}, {Op::sub, 1, 0x1.fffffffffffffffep-1L}, {Op::sub, 0x1p64L, 1},
        {Op::sub, 0x1p64L, 0x1.8p0L}, {Op::sub, 2, 0x1.0000000000000002p-64L}, {Op::sub, 1.5L, 1.5L},
        {Op::sub, -1.5L, -1.5L}, {Op::add, -2.25L, 2.25L}, {Op::add, 0.0L, -0.0L}, {Op::add, -0.0L, -0.0L},
        {Op::sub, -0.0L, 0.0L}, {Op::sub, 0.0L, 0.0L}, {Op::add, -0.0L, 3}, {Op::sub, 5, 0.0L},
        // Products: ties up and down, full 128-bit products, signs.
        {Op::mul, 0x1.0000000000000002p0L, 1.5L}, {Op::mul, 0x1.0000000000000006p0L, 1.5L},
        {Op::mul, 0x1.0000000000000002p0L, 0x1.0000000000000002p0L},
        {Op::mul, 0xffffffffffffffffp0L, 0xffffffffffffffffp0L}, {Op::mul, -3, 0x1.5555555555555556p-2L},
        {Op::mul, 0.1L, 10}, {Op::mul, -0.0L, 7}, {Op::mul, -2, 0.0L}, {Op::mul, 0.7, 205},
        // Quotients.
        {Op::div, 1, 3}, {Op::div, 2, 3}, {Op::div, -1, 3}, {Op::div, 1, 0xffffffffffffffffp-64L},
        {Op::div, 0xffffffffffffffffp0L, 0x1.0000000000000002p0L}, {Op::div, 7, 7}, {Op::div, 1e6L, 999},
        {Op::div, 80, 200}, {Op::div, 0.0L, -5}, {Op::div, 1, -0.0L}, {Op::div, 0.0L, 0.0L},
        // Far ends: denormals with their own last place, overflow, specials.
        {Op::mul, 0x1p-16000L, 0x1p-400L}, {Op::div, 0x1.0000000000000002p-16382L, 2},
        {Op::div, 0x1.0000000000000006p-16382L, 4}, {Op::div, min_normal, 0x1p63L},
        {Op::div, min_normal, 0x1p64L}, {Op::div, min_normal, 0x1.8p63L}, {Op::mul, min_normal, 0x1p-70L},
        {Op::sub, min_normal, 0x1.0000000000000002p-16382L}, {Op::add, 0x1p-16440L, 0x1p-16444L},
        {Op::mul, 0x1p16000L, 0x1p400L}, {Op::add, max, max}, {Op::sub, -max, max},
        {Op::mul, max, 0x1.0000000000000002p0L}, {Op::add, max, 0x1p16319L}, {Op::add, max, 0x1p16320L},
        {Op::add, inf, 1}, {Op::add, inf, -inf}, {Op::mul, inf, 0.0L}, {Op::div, inf, inf}, {Op::div, 3, inf},
        {Op::add, nan, 1}, {Op::mul, -inf, -2},
    };
    Tally t;
    for (const auto& c : cases) t.op(c.op, c.a, c.b);

    const long double doubles[] = {
        1 + 0x1p-53L, 1 + 0x3p-53L, 1 + 0x1p-53L + 0x1p-63L, 1 + 0x1p-53L - 0x1p-63L, -(1 + 0x1p-53L),
        -(1 + 0x3p-53L), 0x1.fffffffffffff8p0L, 0x1.fffffffffffffffep1023L, 0x1.fffffffffffff7fep1023L,
        0x1p1024L, -0x1p1030L, 0x1.8p-1074L, 0x1p-1075L, 0x1.0000000000000002p-1075L, 0x1p-1080L,
        0x1.fffffffffffffp-1023L, 0x1.fffffffffffff8p-1023L, 0x1p-1022L - 0x1p-1076L, 0.1L, -0.0L, inf, nan,
        min_normal};
    for (long double x : doubles) t.to_double(x);

    const long double rounds[] = {
        0.5L, 1.5L, 2.5L, -0.5L, -1.5L, -2.5L, 0.5L + 0x1p-64L, 0.5L - 0x1p-65L, 2.5L + 0x1p-62L,
        2.5L - 0x1p-62L, -2.5L - 0x1p-62L, 0x1p-70L, -0x1p-70L, 0.0L, -0.0L, 0x1p52L + 0.5L, 0x1p62L + 0.5L,
        0x1p62L + 1.5L, 0x1p63L - 0.5L, 0x1p63L - 1, 0x1p63L, -0x1p63L, -0x1p63L + 0.5L, -0x1p63L + 1.5L,
        -0x1p63L - 1, 1e30L, -1e30L, inf, -inf, nan, 639.5L, 640.5L};
    for (long double x : rounds) t.round(x);

    // Exact constructions.
    const int64_t ints[] = {0, 1, -1, 7, INT32_MIN, INT32_MAX, INT64_MIN, INT64_MAX, INT64_MIN + 1};
    for (int64_t i : ints) t.check(same(SoftExtended(i), soft(static_cast<long double>(i))), std::to_string(i));
    t.check(same(SoftExtended(UINT64_MAX), soft(static_cast<long double>(UINT64_MAX))), "UINT64_MAX");
    t.check(same(SoftExtended(int32_t(-5)), soft(-5.0L)), "int32 -5");
    const double exact[] = {0.1, -0.0, 0.0, 4.9e-324, -2.2250738585072009e-308, 1.7976931348623157e308,
                            std::numeric_limits<double>::infinity(), 670.0};
    for (double d : exact) t.check(same(SoftExtended(d), soft(static_cast<long double>(d))), std::to_string(d));

    // Comparisons, zeros of both signs and NaN included.
    const long double ordered[] = {-inf, -3, -2.5L, -0x1p-16445L, -0.0L, 0.0L, 0x1p-16445L, 1,
                                   1 + 0x1p-63L, 2.5L, max, inf, nan};
    for (long double a : ordered)
        for (long double b : ordered) {
            const SoftExtended sa = soft(a), sb = soft(b);
            const bool ok = (a < b) == (sa < sb) && (a <= b) == (sa <= sb) && (a == b) == (sa == sb) &&
                            (a != b) == (sa != sb) && (a > b) == (sa > sb) && (a >= b) == (sa >= sb);
            t.check(ok, describe(sa) + " <=> " + describe(sb));
        }
    EXPECT_EQ(t.wrong, 0) << "of " << t.compared;
}

// Random operands built to put results on or next to rounding boundaries.
class Operands {
public:
    explicit Operands(uint64_t seed) : rng_(seed) {}

    uint64_t bits() { return rng_(); }
    int32_t below(int32_t n) { return int32_t(rng_() % uint64_t(n)); }
    bool coin() { return (rng_() & 1) != 0; }

    // A 64-bit mantissa: random, or with few bits set, or with a run of
    // ones or zeros at its end, so that sums and products hit ties.
    uint64_t mantissa() {
        uint64_t m = bits();
        switch (below(4)) {
            case 0: break;
            case 1: m &= ~((uint64_t(1) << below(64)) - 1); break;
            case 2: m |= (uint64_t(1) << below(64)) - 1; break;
            case 3: m = (uint64_t(1) << below(64)) | (uint64_t(1) << below(64)); break;
        }
        return m | uint64_t(1) << 63;
    }
    long double value(int32_t exponent_range) {
        const long double m = std::ldexp(static_cast<long double>(mantissa()), below(2 * exponent_range + 1) -
                                                                                 exponent_range - 63);
        return coin() ? -m : m;
    }

private:
    std::mt19937_64 rng_;
};

// How many of each kind; smaller under the sanitizers, whose checks make
// every operation many times slower.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int64_t kRounds = 250000;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr int64_t kRounds = 250000;
#else
constexpr int64_t kRounds = 1000000;
#endif
#else
constexpr int64_t kRounds = 1000000;
#endif

TEST_F(ExtendedVsX87, RandomOperations) {
    Operands r(0x11C47B0C5ull);
    Tally t;
    constexpr Op kOps[] = {Op::add, Op::sub, Op::mul, Op::div};
    for (int64_t i = 0; i < kRounds; ++i) {
        // Any two values of nearby exponents (cancellation when close).
        const long double a = r.value(40);
        const long double b = r.coin() ? std::ldexp(a, r.below(5) - 2) * (1 + std::ldexp(1.0L, -r.below(64)))
                                       : r.value(40);
        t.op(kOps[i & 3], a, r.coin() ? b : -b);

        // Sums whose smaller term reaches a few bits below the larger's
        // last place: the bits cut off decide ties.
        const int32_t e = r.below(81) - 40;
        const uint64_t low = r.coin() ? uint64_t(r.below(4)) : r.bits() >> r.below(64);
        t.op(r.coin() ? Op::add : Op::sub, std::ldexp(static_cast<long double>(r.mantissa()), e),
             std::ldexp(static_cast<long double>(uint64_t(1) << 63 | low), e - 62 - r.below(8)));

        // The program's quotients: integers up to 1e6 over integers up to
        // 1e3, as doubles after a halving, and rounded to integers.
        const long double n = r.below(1000001), d = 1 + r.below(1000);
        const long double q = n / d;
        t.op(Op::div, n, d);
        t.op(Op::div, q, 2);
        t.to_double(q / 2);
        t.round(q);

        // A double times a small integer, taken from an integer (the ray's
        // end and the glow's channels), then rounded.
        const double x = std::ldexp(double(r.bits() >> 11), -r.below(70));
        const long double k = r.below(1001);
        const long double product = static_cast<long double>(x) * k;
        t.op(Op::mul, x, k);
        t.op(Op::sub, r.below(500), product);
        t.round(r.below(500) - product);

        // To double next to its ties; round_half_even next to halves.
        const uint64_t m = (r.mantissa() & ~uint64_t(0x7FF)) | (0x400 + r.below(3) - 1);
        t.to_double(std::ldexp(static_cast<long double>(m), r.below(200) - 100 - 63));
        const long double half = r.below(2000001) - 1000000 + 0.5L;
        t.round(half + std::ldexp(1.0L, -r.below(50) - 20) * (r.below(3) - 1));
    }
    // Denormals and overflow: products and quotients at the ends of the range.
    for (int64_t i = 0; i < kRounds / 10; ++i) {
        const long double a = std::ldexp(r.value(0), -16382 + r.below(40) - 20);
        t.op(Op::mul, a, std::ldexp(r.value(0), -r.below(70)));
        t.op(Op::div, a, std::ldexp(r.value(0), r.below(70)));
        t.op(Op::add, a, std::ldexp(r.value(0), -16382 - r.below(64)));
        t.op(Op::mul, std::ldexp(r.value(0), 16383 - r.below(4)), std::ldexp(r.value(0), r.below(3)));
    }
    std::printf("[ compared ] %lld random results\n", static_cast<long long>(t.compared));
    EXPECT_EQ(t.wrong, 0) << "of " << t.compared;
}

TEST(Extended, NativeRoundingIsTheRuntimes) {
    static_assert(std::is_same_v<lichtbox::Extended, long double>);
    for (long double v : {0.5L, 1.5L, 2.5L, -0.5L, -2.5L, 1e30L, 639.5L})
        EXPECT_EQ(round_half_even(v), rt_round_int(v));
}

#endif  // LICHTBOX_EXTENDED_IS_LONG_DOUBLE

}  // namespace
