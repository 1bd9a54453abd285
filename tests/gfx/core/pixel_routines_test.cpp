// Pixel routines: plain and wide fills, copies and pixel copies byte for byte
// over odd/even lengths and unaligned starts, the blend formulas against a
// per-channel reference, routine selection and colour conversion.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ostream>
#include <random>
#include <vector>

#include "gfx/core/cpu_features.h"
#include "gfx/core/pixel_routines.h"
#include "gfx/gfx.h"

namespace {

constexpr size_t kGuard = 32;
constexpr int kMaxOffset = 15;
constexpr int kMaxCount = 67;

// A byte buffer with a recognisable filler around the area a routine may
// touch; region(offset) is the start of the writable area at that offset.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t payload, uint32_t seed = 1)
        : bytes_(kGuard + kMaxOffset + payload + kGuard) {
        std::mt19937 rng(seed);
        for (auto& b : bytes_) b = static_cast<uint8_t>(rng());
    }
    uint8_t* region(int offset) { return bytes_.data() + kGuard + offset; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    std::vector<uint8_t>& bytes() { return bytes_; }
    size_t index_of(const uint8_t* p) const { return static_cast<size_t>(p - bytes_.data()); }

private:
    std::vector<uint8_t> bytes_;
};

// What a fill of count pixels of `bpp` bytes at region(offset) must leave.
std::vector<uint8_t> expected_fill(const GuardedBuffer& before, size_t start, int bpp,
                                   uint32_t color, int count) {
    std::vector<uint8_t> want = before.bytes();
    for (int i = 0; i < count; ++i)
        for (int k = 0; k < bpp; ++k)
            want[start + size_t(i) * bpp + k] = static_cast<uint8_t>(color >> (8 * k));
    return want;
}

// ---- fills -----------------------------------------------------------------

struct FillCase {
    int bpp;
    uint32_t color;
    friend std::ostream& operator<<(std::ostream& os, const FillCase& c) {
        return os << "bpp " << c.bpp << " colour 0x" << std::hex << c.color << std::dec;
    }
};

class PixelSetTest : public ::testing::TestWithParam<FillCase> {};

TEST_P(PixelSetTest, PlainAndWideWriteExactlyTheSpan) {
    const auto [bpp, color] = GetParam();
    const auto& plain = gfx::pixel_routines(bpp, false);
    const auto& wide = gfx::pixel_routines(bpp, true);
    const uint32_t pixel = bpp == 4 ? color : color & ((1u << (8 * bpp)) - 1);
    for (int offset = 0; offset <= kMaxOffset; ++offset) {
        for (int count = -2; count <= kMaxCount; ++count) {
            GuardedBuffer a(kMaxCount * 4), b(kMaxCount * 4);
            const auto want = expected_fill(a, a.index_of(a.region(offset)), bpp, pixel,
                                            count < 0 ? 0 : count);
            EXPECT_EQ(plain.pixel_set(a.region(offset), color, count), a.region(offset));
            EXPECT_EQ(wide.pixel_set(b.region(offset), color, count), b.region(offset));
            ASSERT_EQ(a.bytes(), want) << "plain bpp " << bpp << " offset " << offset << " count " << count;
            ASSERT_EQ(b.bytes(), want) << "wide bpp " << bpp << " offset " << offset << " count " << count;
        }
    }
}

TEST_P(PixelSetTest, LongSpansAtEveryAlignment) {
    // Long enough for the unrolled aligned body and its remainder steps.
    const auto [bpp, color] = GetParam();
    const auto& wide = gfx::pixel_routines(bpp, true);
    const uint32_t pixel = bpp == 4 ? color : color & ((1u << (8 * bpp)) - 1);
    for (int offset = 0; offset <= kMaxOffset; ++offset) {
        for (int count : {68, 100, 127, 128, 129, 255, 640, 1001}) {
            GuardedBuffer b(1001 * 4);
            const auto want = expected_fill(b, b.index_of(b.region(offset)), bpp, pixel, count);
            wide.pixel_set(b.region(offset), color, count);
            ASSERT_EQ(b.bytes(), want) << "bpp " << bpp << " offset " << offset << " count " << count;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, PixelSetTest,
                         ::testing::Values(FillCase{1, 0x12345678u}, FillCase{1, 0xA5u},
                                           FillCase{2, 0x12345678u}, FillCase{2, 0x00FFFC08u},
                                           FillCase{4, 0x12345678u}, FillCase{4, 0xFF000000u},
                                           FillCase{4, 0x80FF0001u}));

TEST(ByteFillTest, WideMatchesMemset) {
    for (int value : {0, 0x5A, 0xFF, 0x1234, -1}) {
        for (int offset = 0; offset <= kMaxOffset; ++offset) {
            for (size_t count : {0, 1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 67,
                                 100, 1000, 4099}) {
                GuardedBuffer a(count), b(count);
                std::memset(a.region(offset), value, count);
                EXPECT_EQ(gfx::wide_fill_bytes(b.region(offset), value, count), b.region(offset));
                ASSERT_EQ(a.bytes(), b.bytes()) << value << " " << offset << " " << count;
            }
        }
    }
}

// ---- copies ------------------------------------------------------------------

TEST(ByteCopyTest, WideMatchesMemcpyForEveryAlignmentPair) {
    std::vector<size_t> counts;
    for (size_t n = 0; n <= kMaxCount; ++n) counts.push_back(n);
    for (size_t n : {100, 255, 256, 1000, 2560, 8191, 8192, 8193, 20000}) counts.push_back(n);
    GuardedBuffer src(20000, 99);
    for (int soff = 0; soff <= kMaxOffset; soff += 1) {
        for (int doff = 0; doff <= kMaxOffset; ++doff) {
            for (size_t count : counts) {
                if (count > 1000 && (soff % 5 != 0 || doff % 3 != 0)) continue;  // keep it quick
                GuardedBuffer a(count, 7), b(count, 7);
                std::memcpy(a.region(doff), src.region(soff), count);
                EXPECT_EQ(gfx::wide_copy_bytes(b.region(doff), src.region(soff), count),
                          b.region(doff));
                ASSERT_EQ(a.bytes(), b.bytes()) << soff << " " << doff << " " << count;
            }
        }
    }
}

TEST(PixelCopyTest, PlainAndWideCopyCountPixels) {
    GuardedBuffer src(kMaxCount * 4, 3);
    for (int bpp : {1, 2, 4}) {
        const auto& plain = gfx::pixel_routines(bpp, false);
        const auto& wide = gfx::pixel_routines(bpp, true);
        for (int offset = 0; offset <= kMaxOffset; ++offset) {
            for (int count = -1; count <= kMaxCount; ++count) {
                GuardedBuffer want(kMaxCount * 4), a(kMaxCount * 4), b(kMaxCount * 4);
                if (count > 0) std::memcpy(want.region(offset), src.region(15 - offset), size_t(count) * bpp);
                plain.pixel_copy(a.region(offset), src.region(15 - offset), count);
                wide.pixel_copy(b.region(offset), src.region(15 - offset), count);
                ASSERT_EQ(a.bytes(), want.bytes()) << bpp << " " << offset << " " << count;
                ASSERT_EQ(b.bytes(), want.bytes()) << bpp << " " << offset << " " << count;
            }
        }
    }
}

// ---- single pixels -------------------------------------------------------------

TEST(PutGetPixelTest, AddressRowsThroughLineAndTouchOnlyThePixel) {
    for (int bpp : {1, 2, 4}) {
        for (bool wide : {false, true}) {
            const auto& set = gfx::pixel_routines(bpp, wide);
            GuardedBuffer buf(3 * 16 * 4);
            // Three rows of 16 pixels, deliberately starting at odd addresses.
            uint8_t* rows[3] = {buf.region(1), buf.region(1) + 16 * bpp + 3, buf.region(1) + 32 * bpp + 6};
            GfxDrawState state{};
            state.line = rows;
            state.target_bpp = bpp;
            auto before = buf.bytes();
            set.put_pixel(&state, 5, 2, 0xDEADBEEFu);
            const uint32_t mask = bpp == 4 ? 0xFFFFFFFFu : (1u << (8 * bpp)) - 1;
            EXPECT_EQ(set.get_pixel(&state, 5, 2), 0xDEADBEEFu & mask);
            for (int k = 0; k < bpp; ++k) before[buf.index_of(rows[2] + 5 * bpp + k)] = uint8_t(0xDEADBEEFu >> (8 * k));
            EXPECT_EQ(buf.bytes(), before) << bpp << " " << wide;
            set.put_pixel(&state, 0, 0, 0x1u);
            EXPECT_EQ(set.get_pixel(&state, 0, 0), 1u);  // zero-extended
        }
    }
}

// ---- blending --------------------------------------------------------------------

int floor_div256(int v) {
    return v >= 0 ? v / 256 : -((-v + 255) / 256);
}

uint32_t channel(uint32_t v, int c) {
    return (v >> (8 * c)) & 0xFFu;
}

// Per-channel reference: c = d + floor((s - d) * a / 256) for the blended
// channels; plain keeps s's alpha, wide blends it too.
uint32_t reference_blend(uint32_t s, uint32_t d, bool blend_alpha) {
    const int a = int(s >> 24);
    uint32_t out = 0;
    for (int c = 0; c < 4; ++c) {
        const int sc = int(channel(s, c)), dc = int(channel(d, c));
        const int v = (c == 3 && !blend_alpha) ? sc : dc + floor_div256((sc - dc) * a);
        EXPECT_GE(v, 0);
        EXPECT_LE(v, 255);
        out |= uint32_t(v) << (8 * c);
    }
    return out;
}

TEST(BlendTest, FloorOfNegativeDifferences) {
    // d + floor((s - d) * a / 256): 0 + floor(-1 * 1 / 256) is -1 only when
    // d > s, so a tiny alpha still moves the destination one step down.
    EXPECT_EQ(reference_blend(0x01000000u, 0x000000FFu, false) & 0xFFu, 0xFEu);
    EXPECT_EQ(gfx::blend_plain(0x01000000u, 0x000000FFu) & 0xFFu, 0xFEu);
    EXPECT_EQ(gfx::blend_wide(0x01000000u, 0x000000FFu) & 0xFFu, 0xFEu);
    EXPECT_EQ(gfx::blend_plain(0x010000FFu, 0x00000000u) & 0xFFu, 0x00u);
    // a = 0 leaves the destination; a = 255 lands within one step of s.
    EXPECT_EQ(gfx::blend_wide(0x00123456u, 0xAB987654u), 0xAB987654u);
    EXPECT_EQ(gfx::blend_plain(0x00123456u, 0xAB987654u), 0x00987654u);
}

TEST(BlendTest, StatedExample) {
    EXPECT_EQ(gfx::blend_plain(0x80FF0000u, 0xFF000000u), 0x807F0000u);
    EXPECT_EQ(gfx::blend_wide(0x80FF0000u, 0xFF000000u), 0xBF7F0000u);
}

// Every (s, d) pair of one channel against the reference, for several
// alphas, while the other channels hold pairs that produce carries and
// borrows between the packed lanes (zero, positive and negative differences).
TEST(BlendTest, EveryChannelPairMatchesReference) {
    const uint8_t others[][2] = {{0, 0}, {255, 0}, {0, 255}, {17, 200}, {200, 17}, {128, 128}, {255, 255}, {1, 2}};
    for (int a : {0, 1, 2, 63, 127, 128, 129, 200, 254, 255}) {
        for (int c = 0; c < 4; ++c) {  // channel under test: blue, green, red, alpha
            for (const auto& o : others) {
                uint32_t s_rest = 0, d_rest = 0;
                for (int k = 0; k < 4; ++k) {
                    if (k == c) continue;
                    s_rest |= uint32_t(k == 3 ? a : o[0]) << (8 * k);
                    d_rest |= uint32_t(o[1]) << (8 * k);
                }
                for (int sc = 0; sc < 256; ++sc) {
                    if (c == 3 && sc != a) continue;  // s's alpha is the blend factor
                    for (int dc = 0; dc < 256; ++dc) {
                        const uint32_t s = s_rest | uint32_t(sc) << (8 * c);
                        const uint32_t d = d_rest | uint32_t(dc) << (8 * c);
                        ASSERT_EQ(gfx::blend_plain(s, d), reference_blend(s, d, false)) << std::hex << s << " " << d;
                        ASSERT_EQ(gfx::blend_wide(s, d), reference_blend(s, d, true)) << std::hex << s << " " << d;
                    }
                }
            }
        }
    }
}

TEST(BlendTest, EveryAlphaPairMatchesReference) {
    // The wide routines blend alpha with itself as the factor.
    for (uint32_t rest : {0x00000000u, 0x00FFFFFFu, 0x00FF00FFu, 0x0012C800u}) {
        for (uint32_t a = 0; a < 256; ++a) {
            for (uint32_t da = 0; da < 256; ++da) {
                const uint32_t s = a << 24 | (rest ^ 0x00FFFFFFu), d = da << 24 | rest;
                ASSERT_EQ(gfx::blend_plain(s, d), reference_blend(s, d, false)) << std::hex << s << " " << d;
                ASSERT_EQ(gfx::blend_wide(s, d), reference_blend(s, d, true)) << std::hex << s << " " << d;
            }
        }
    }
}

TEST(BlendTest, RandomPixelsMatchReference) {
    std::mt19937 rng(12345);
    for (int i = 0; i < 1000000; ++i) {
        const uint32_t s = rng(), d = rng();
        ASSERT_EQ(gfx::blend_plain(s, d), reference_blend(s, d, false)) << std::hex << s << " " << d;
        ASSERT_EQ(gfx::blend_wide(s, d), reference_blend(s, d, true)) << std::hex << s << " " << d;
    }
}

TEST(BlendTest, SpansBlendEveryPixelAlike) {
    // Odd lengths included: the first (or last) pixel outside the vector
    // steps must get the same per-channel result as the others.
    const auto& plain = gfx::pixel_routines(4, false);
    const auto& wide = gfx::pixel_routines(4, true);
    for (uint32_t color : {0x80FF0000u, 0x01FFFFFFu, 0xFE000000u, 0x7F1280F0u, 0x00ABCDEFu}) {
        for (int offset = 0; offset <= kMaxOffset; ++offset) {
            for (int count = -1; count <= kMaxCount; ++count) {
                GuardedBuffer a(kMaxCount * 4, uint32_t(count + 5)), b(kMaxCount * 4, uint32_t(count + 5));
                auto want_plain = a.bytes();
                auto want_wide = b.bytes();
                for (int i = 0; i < count; ++i) {
                    const size_t at = a.index_of(a.region(offset)) + size_t(i) * 4;
                    uint32_t d;
                    std::memcpy(&d, &want_plain[at], 4);
                    const uint32_t p = reference_blend(color, d, false), w = reference_blend(color, d, true);
                    std::memcpy(&want_plain[at], &p, 4);
                    std::memcpy(&want_wide[at], &w, 4);
                }
                plain.blend_pixel_set(a.region(offset), color, count);
                wide.blend_pixel_set(b.region(offset), color, count);
                ASSERT_EQ(a.bytes(), want_plain) << std::hex << color << std::dec << " " << offset << " " << count;
                ASSERT_EQ(b.bytes(), want_wide) << std::hex << color << std::dec << " " << offset << " " << count;
            }
        }
    }
}

// ---- selection with an open screen ---------------------------------------------------

class SelectionTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("ZRGFX", "null", 1); }
    void TearDown() override {
        gfx_screen_set(0, 0, 0, 0, 0);
        gfx::set_wide_override(-1);
    }
    static uint32_t pixel(int x, int y) {
        const GfxContext* ctx = gfx_context();
        uint32_t v;
        std::memcpy(&v, ctx->pages[0] + y * ctx->pitch + x * 4, 4);
        return v;
    }
    // Draws one pixel and a 3-pixel span the way a primitive does.
    static void draw(uint32_t color) {
        GfxDrawState* s = gfx_get_draw_state();
        gfx_select_target(s, nullptr);
        gfx_select_pixel_routines(s, color);
        s->put_pixel(s, 1, 1, color);
        s->pixel_set(s->line[2], color, 3);
    }
};

TEST_F(SelectionTest, ProcessorCheck) {
#if defined(__x86_64__)
    EXPECT_TRUE(gfx::cpu_has_mmx());
#endif
    EXPECT_EQ(gfx::cpu_has_mmx(), gfx::cpu_query_mmx());
    ASSERT_EQ(gfx_screen_set(18, 32, 1, 0, 0), 0);
    EXPECT_EQ(gfx::wide_routines_active(), gfx::cpu_has_mmx());
    EXPECT_EQ((gfx_context()->flags & GFX_CPU_MMX) != 0, gfx::cpu_has_mmx());
}

TEST_F(SelectionTest, OverrideChoosesTheVariant) {
    for (int mode : {0, 1}) {
        gfx::set_wide_override(mode);
        ASSERT_EQ(gfx_screen_set(18, 32, 1, 0, 0), 0);
        const bool wide = mode == 1;
        EXPECT_EQ(gfx::wide_routines_active(), wide);
        EXPECT_EQ((gfx_context()->flags & GFX_CPU_MMX) != 0, wide);
        EXPECT_EQ(gfx_fill, wide ? gfx::wide_fill_bytes : static_cast<GfxFillFn>(std::memset));
        EXPECT_EQ(gfx_copy, wide ? gfx::wide_copy_bytes : static_cast<GfxCopyFn>(std::memcpy));
        for (int bpp : {1, 2, 4}) {
            gfx_select_depth_routines(bpp);
            const auto& set = gfx::pixel_routines(bpp, wide);
            EXPECT_EQ(gfx_pixel_copy, set.pixel_copy);
            EXPECT_EQ(gfx_driver_span_fill, set.pixel_set);
        }
        gfx_select_depth_routines(4);
        const GfxDrawState* s = gfx_get_draw_state();
        EXPECT_EQ(s->pixel_set, gfx::pixel_routines(4, wide).pixel_set);
    }
}

TEST_F(SelectionTest, BlendingNeedsAlphaPrimitivesAndATranslucentColour) {
    for (int mode : {0, 1}) {
        gfx::set_wide_override(mode);
        ASSERT_EQ(gfx_screen_set(18, 32, 1, GFX_ALPHA_BLEND, 0), 0);
        ASSERT_NE(gfx_context()->flags & GFX_ALPHA_PRIMITIVES, 0u);
        draw(0x80FF0000u);
        const uint32_t want = mode == 1 ? 0xBF7F0000u : 0x807F0000u;
        EXPECT_EQ(pixel(1, 1), want);
        for (int x = 0; x < 3; ++x) EXPECT_EQ(pixel(x, 2), want);
        EXPECT_EQ(pixel(3, 2), 0xFF000000u);
        draw(0xFF00FF00u);  // opaque colour: plain overwrite
        EXPECT_EQ(pixel(1, 1), 0xFF00FF00u);
        EXPECT_EQ(pixel(2, 2), 0xFF00FF00u);
        GfxDrawState* s = gfx_get_draw_state();
        EXPECT_EQ(s->get_pixel, gfx::pixel_routines(4, mode == 1).get_pixel);
        // Another target depth never blends.
        gfx_select_depth_routines(2);
        s->target_bpp = 2;
        gfx_select_pixel_routines(s, 0x80FF0000u);
        EXPECT_EQ(s->pixel_set, gfx::pixel_routines(2, mode == 1).pixel_set);
        s->target_bpp = 4;
        gfx_select_depth_routines(4);
    }
}

TEST_F(SelectionTest, WithoutAlphaPrimitivesTheColourIsStored) {
    ASSERT_EQ(gfx_screen_set(18, 32, 1, 0, 0), 0);
    draw(0x80FF0000u);
    EXPECT_EQ(pixel(1, 1), 0x80FF0000u);
    EXPECT_EQ(pixel(0, 2), 0x80FF0000u);
}

TEST_F(SelectionTest, StateDepthDecidesTheRoutines) {
    // A state whose target depth differs from the last depth selection
    // still gets routines for its own depth.
    ASSERT_EQ(gfx_screen_set(18, 32, 1, 0, 0), 0);
    GfxDrawState state{};
    state.target_bpp = 1;
    gfx_select_pixel_routines(&state, 0xFF000000u);
    EXPECT_EQ(state.put_pixel, gfx::pixel_routines(1, gfx::wide_routines_active()).put_pixel);
    EXPECT_EQ(state.pixel_set, gfx::pixel_routines(1, gfx::wide_routines_active()).pixel_set);
}

// ---- colours ----------------------------------------------------------------------

TEST(ColorTest, ColorToPixel) {
    struct Case {
        int32_t bpp;
        uint32_t color, want;
    };
    const Case cases[] = {
        {4, 0x00FF0000u, 0x00FF0000u}, {2, 0xFFFF8040u, 0xFC08u}, {1, 0x12345678u, 0x78u},
        {4, 0x80FF0000u, 0x80FF0000u}, {2, 0x00FFFFFFu, 0xFFFFu}, {2, 0xFF070307u, 0x0000u},
        {2, 0x00080408u, 0x0821u},     {1, 0xFFFFFFFFu, 0xFFu},   {3, 0x12345678u, 0x12345678u},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gfx_color_to_pixel(c.bpp, c.color), c.want) << c.bpp << " " << std::hex << c.color;
}

TEST(ColorTest, RgbToPixel) {
    EXPECT_EQ(gfx_rgb_to_pixel(2, 0, 0xFF, 0x80, 0x40), 0xFC08u);
    EXPECT_EQ(gfx_rgb_to_pixel(2, 0xDEADBEEFu, 0xF8, 0, 0), 0xF800u);
    EXPECT_EQ(gfx_rgb_to_pixel(2, 0, 0, 0xFC, 0), 0x07E0u);
    EXPECT_EQ(gfx_rgb_to_pixel(2, 0, 0, 0, 0xF8), 0x001Fu);
    EXPECT_EQ(gfx_rgb_to_pixel(4, 0xDEADBEEFu, 1, 2, 3), 0xDEADBEEFu);
    EXPECT_EQ(gfx_rgb_to_pixel(1, 0xDEADBEEFu, 1, 2, 3), 0xDEADBEEFu);
}

TEST(RectFillTest, MatchesTheSpanRoutineRowByRow) {
    struct Depth {
        int bpp;
        GfxPixelSet span;
    };
    const Depth depths[] = {{1, gfx::wide_fill8}, {2, gfx::wide_fill16}, {4, gfx::wide_fill32}};
    std::mt19937 rng(7);
    for (const Depth& d : depths) {
        const gfx::RectFill rect = gfx::rect_fill_for(d.span);
        ASSERT_NE(rect, nullptr) << d.bpp;
        for (int offset = 0; offset < 16; ++offset)
            for (int count : {-1, 0, 1, 3, 4, 5, 15, 16, 17, 31, 64, 65, 130}) {
                const int pitch = 300 * d.bpp + (offset & 3);
                const int rows = 1 + offset % 4;
                const std::size_t size = std::size_t(pitch) * 6 + 64;
                std::vector<uint8_t> a(size), b(size);
                for (std::size_t i = 0; i < size; ++i) a[i] = b[i] = uint8_t(rng());
                const uint32_t color = uint32_t(rng());
                rect(a.data() + 16 + offset, pitch, color, count, rows);
                for (int r = 0; r < rows; ++r) d.span(b.data() + 16 + offset + r * pitch, color, count);
                ASSERT_EQ(a, b) << "bpp " << d.bpp << " offset " << offset << " count " << count;
            }
    }
    // Blending spans have no rectangle form: callers fall back to rows.
    EXPECT_EQ(gfx::rect_fill_for(gfx::wide_blend_span), nullptr);
}

}  // namespace
