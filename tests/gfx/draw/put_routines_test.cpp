// Image-put routines: per-depth rules, plain and wide variants giving the
// same memory, and the table cache in the drawing state.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "gfx/core/pixel_routines.h"
#include "gfx/draw/put_routines.h"
#include "gfx/gfx.h"

namespace {

uint32_t read_px(const std::vector<uint8_t>& b, std::size_t at, int bpp) {
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, std::size_t(bpp));
    return v;
}

void write_px(std::vector<uint8_t>& b, std::size_t at, int bpp, uint32_t v) {
    std::memcpy(b.data() + at, &v, std::size_t(bpp));
}

// A pixel that is the mask colour about a third of the time.
uint32_t random_pixel(std::mt19937& rng, int bpp) {
    const uint32_t r = rng();
    if (r % 3 == 0) {
        if (bpp == 1) return 0;
        if (bpp == 2) return 0xF81F;
        return 0x00FF00FFu | (r & 0xFF000000u);  // any alpha
    }
    return r;
}

TEST(PutRoutineRules, TransparentMaskPerDepth) {
    struct Case {
        int bpp;
        uint32_t src, expected;  // expected destination, which starts as 0xAAAAAAAA
    };
    const Case cases[] = {
        {1, 0x00, 0xAA},           {1, 0x01, 0x01},
        {2, 0xF81F, 0xAAAA},       {2, 0xF81E, 0xF81E},       {2, 0x001F, 0x001F},
        {4, 0xFFFF00FF, 0xAAAAAAAA}, {4, 0x00FF00FF, 0xAAAAAAAA}, {4, 0xFF123456, 0x00123456},
        {4, 0x12FF00FE, 0x00FF00FE}, {4, 0x00000000, 0x00000000},
    };
    for (bool wide : {false, true}) {
        for (const Case& c : cases) {
            std::vector<uint8_t> src(4), dst(4, 0xAA);
            write_px(src, 0, c.bpp, c.src);
            gfx::put_transparent_table(wide)[c.bpp - 1](src.data(), dst.data(), 1, 1, 4, 4, -1,
                                                        nullptr, nullptr);
            EXPECT_EQ(read_px(dst, 0, c.bpp), c.expected)
                << "bpp " << c.bpp << " src " << std::hex << c.src << " wide " << wide;
        }
    }
}

TEST(PutRoutineRules, ThreeByteEntriesAreEmpty) {
    for (bool wide : {false, true}) {
        EXPECT_EQ(gfx::put_transparent_table(wide)[2], nullptr);
        EXPECT_EQ(gfx::put_copy_table(wide)[2], nullptr);
    }
}

// Runs one routine on a copy of dst and returns the result.
std::vector<uint8_t> run(PutRoutine r, const std::vector<uint8_t>& src, std::size_t src_off,
                         std::vector<uint8_t> dst, std::size_t dst_off, int w, int h,
                         int src_pitch, int dst_pitch) {
    r(src.data() + src_off, dst.data() + dst_off, w, h, src_pitch, dst_pitch, -1, nullptr,
      nullptr);
    return dst;
}

TEST(PutRoutineVariants, PlainAndWideGiveIdenticalMemory) {
    std::mt19937 rng(1234);
    for (int bpp : {1, 2, 4}) {
        for (int method = 0; method < 2; ++method) {
            const auto& plain = method ? gfx::put_copy_table(false) : gfx::put_transparent_table(false);
            const auto& wide = method ? gfx::put_copy_table(true) : gfx::put_transparent_table(true);
            for (int w = 0; w <= 41; ++w) {
                for (std::size_t off : {0u, 1u, 3u, 7u}) {  // byte offsets: unaligned starts
                    const int h = 1 + w % 3;
                    const int src_pitch = w * bpp + int(off) + (w & 1);
                    const int dst_pitch = w * bpp + 5;
                    std::vector<uint8_t> src(std::size_t(src_pitch) * h + 16), dst(std::size_t(dst_pitch) * h + 16);
                    for (std::size_t i = 0; i + bpp <= src.size(); i += std::size_t(bpp))
                        write_px(src, i, bpp, random_pixel(rng, bpp));
                    for (auto& b : dst) b = uint8_t(rng());
                    const auto a = run(plain[bpp - 1], src, off, dst, 3 - off % 3, w, h, src_pitch, dst_pitch);
                    const auto b = run(wide[bpp - 1], src, off, dst, 3 - off % 3, w, h, src_pitch, dst_pitch);
                    ASSERT_EQ(a, b) << "bpp " << bpp << " method " << method << " w " << w << " off " << off;
                }
            }
        }
    }
}

TEST(PutRoutineVariants, AlphaChannelPlainAndWideAgree) {
    std::mt19937 rng(99);
    for (int w : {0, 1, 15, 16, 17, 33, 64}) {
        const int h = 3, src_pitch = w + 1, dst_pitch = 4 * w + 4;
        std::vector<uint8_t> src(std::size_t(src_pitch) * h + 1), dst(std::size_t(dst_pitch) * h + 4);
        for (auto& b : src) b = uint8_t(rng());
        for (auto& b : dst) b = uint8_t(rng());
        const auto a = run(gfx::put_alpha_channel_plain, src, 1, dst, 2, w, h, src_pitch, dst_pitch);
        const auto b = run(gfx::put_alpha_channel_wide, src, 1, dst, 2, w, h, src_pitch, dst_pitch);
        ASSERT_EQ(a, b) << "w " << w;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const std::size_t d = 2 + std::size_t(y * dst_pitch + 4 * x);
                EXPECT_EQ(a[d + 3], src[1 + std::size_t(y * src_pitch + x)]);
                EXPECT_EQ(a[d], dst[d]);  // colour bytes unchanged
                EXPECT_EQ(a[d + 2], dst[d + 2]);
            }
        }
    }
}

class PutDispatchTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        setenv("ZRGFX", "null", 1);
        gfx::set_wide_override(GetParam());
        ASSERT_EQ(gfx_screen_set_size(64, 32, 32, 1, -1, 0), 0);
    }
    void TearDown() override {
        gfx_screen_set(0, 0, 0, 0, 0);
        gfx::set_wide_override(-1);
    }
};

TEST_P(PutDispatchTest, SlotsCacheTheTableOfTheVariantInUse) {
    const bool wide = GetParam() == 1;
    GfxDrawState* state = gfx_get_draw_state();
    EXPECT_EQ((gfx_context()->flags & GFX_CPU_MMX) != 0, wide);
    for (const auto* slot : state->put_handlers) EXPECT_EQ(slot, nullptr);

    uint32_t src[2] = {0x00FF00FF, 0x11223344}, dst[2] = {7, 7};
    const auto* s = reinterpret_cast<const uint8_t*>(src);
    put_transparent(s, reinterpret_cast<uint8_t*>(dst), 2, 1, 8, 8, -1, nullptr, nullptr);
    EXPECT_EQ(dst[0], 7u);
    EXPECT_EQ(dst[1], 0x00223344u);
    put_copy(s, reinterpret_cast<uint8_t*>(dst), 2, 1, 8, 8, -1, nullptr, nullptr);
    EXPECT_EQ(dst[0], 0x00FF00FFu);
    EXPECT_EQ(dst[1], 0x11223344u);
    EXPECT_EQ(state->put_handlers[0], gfx::put_transparent_table(wide));
    EXPECT_EQ(state->put_handlers[1], gfx::put_copy_table(wide));
    for (int i = 2; i < 10; ++i) EXPECT_EQ(state->put_handlers[i], nullptr);

    // A new screen clears the slots with the rest of the drawing state.
    ASSERT_EQ(gfx_screen_set_size(64, 32, 32, 1, -1, 0), 0);
    EXPECT_EQ(gfx_get_draw_state()->put_handlers[0], nullptr);
}

INSTANTIATE_TEST_SUITE_P(PlainAndWide, PutDispatchTest, ::testing::Values(0, 1));

}  // namespace
