// Conversion to integers: nearest with ties to even, saturating at the ends.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "runtime/runtime.h"

namespace {

TEST(RoundInt, NearestTiesToEven) {
    const struct {
        long double v;
        int64_t expect;
    } cases[] = {
        {2.5L, 2},        {3.5L, 4},         {-2.5L, -2},       {-3.5L, -4},
        {0.5L, 0},        {-0.5L, 0},        {1.5L, 2},         {-1.5L, -2},
        {2.4999L, 2},     {2.5001L, 3},      {-2.5001L, -3},    {0.0L, 0},
        {-0.0L, 0},       {7.0L, 7},         {639.5L, 640},     {640.5L, 640},
        {1e15L + 0.5L, 1000000000000000},
        // 2^62 + 0.5 is exact with a 64-bit mantissa: the tie goes to even.
        {4611686018427387904.5L, 4611686018427387904},
        {4611686018427387905.5L, 4611686018427387906},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<double>(c.v));
        EXPECT_EQ(rt_round_int(c.v), c.expect);
    }
}

TEST(RoundInt, OutOfRangeAndNaNAreClamped) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    EXPECT_EQ(rt_round_int(1e30L), kMax);
    EXPECT_EQ(rt_round_int(-1e30L), kMin);
    EXPECT_EQ(rt_round_int(9223372036854775808.0L), kMax);
    EXPECT_EQ(rt_round_int(-9223372036854775808.0L), kMin);
    EXPECT_EQ(rt_round_int(std::numeric_limits<long double>::infinity()), kMax);
    EXPECT_EQ(rt_round_int(-std::numeric_limits<long double>::infinity()), kMin);
    EXPECT_EQ(rt_round_int(std::numeric_limits<long double>::quiet_NaN()), 0);
    EXPECT_EQ(rt_round_int(9223372036854775807.0L), kMax);  // 2^63 - 1 fits exactly
}

TEST(RoundInt, CallerRoundingModeDoesNotMatterAndIsKept) {
    const int saved = std::fegetround();
    for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        ASSERT_EQ(std::fesetround(mode), 0);
        EXPECT_EQ(rt_round_int(2.5L), 2);
        EXPECT_EQ(rt_round_int(-3.5L), -4);
        EXPECT_EQ(rt_round_int(2.2L), 2);
        EXPECT_EQ(std::fegetround(), mode);
    }
    std::fesetround(saved);
}

}  // namespace
