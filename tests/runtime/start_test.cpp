// The runtime's start-up in a fresh process: the x87 unit computes with a
// 64-bit mantissa and every unit rounds to nearest.
#include <gtest/gtest.h>

#include <cfenv>
#include <cstdint>
#include <cstdlib>

#include "runtime/runtime.h"

namespace {

#if defined(__i386__) || defined(__x86_64__)
uint16_t x87_control_word() {
    uint16_t cw;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    return cw;
}

void set_x87_control_word(uint16_t cw) { __asm__ volatile("fldcw %0" : : "m"(cw)); }

// True when long double arithmetic keeps 64 mantissa bits.
bool keeps_64_bits() {
    volatile long double one = 1.0L;
    volatile long double tiny = 0x1p-62L;
    return (one + tiny) - one != 0.0L;
}

TEST(RuntimeStartDeathTest, SetsTheX87UnitTo64BitsAndNearest) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            set_x87_control_word(static_cast<uint16_t>((x87_control_word() & ~0xF00u) | 0x200u | 0x800u));
            std::fesetround(FE_DOWNWARD);
            rt_init();
            const bool ok = (x87_control_word() & 0xF00u) == 0x300u && keeps_64_bits() &&
                            std::fegetround() == FE_TONEAREST && rt_round_int(2.5L) == 2 &&
                            rt_round_int(3.5L) == 4;
            std::_Exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
