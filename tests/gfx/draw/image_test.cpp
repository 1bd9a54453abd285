// Image buffers: capture (gfx_get) and blitting (gfx_put), checked pixel by
// pixel against a model and read back through gfx_get.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "gfx/core/pixel_routines.h"
#include "gfx/gfx.h"

namespace {

constexpr int32_t kWhole = GFX_COORD_OMITTED;

uint32_t load(const uint8_t* p, int bpp) {
    uint32_t v = 0;
    std::memcpy(&v, p, std::size_t(bpp));
    return v;
}

void store(uint8_t* p, int bpp, uint32_t v) { std::memcpy(p, &v, std::size_t(bpp)); }

// An image buffer in the standard or the compact form.
struct Image {
    std::vector<uint8_t> bytes;
    int bpp, w, h, pitch, offset;
    uint32_t at(int x, int y) const { return load(bytes.data() + offset + y * pitch + x * bpp, bpp); }
};

Image make_image(bool standard, int bpp, int w, int h, const std::function<uint32_t(int, int)>& px,
                 int compact_bpp_bits = -1) {
    Image img{{}, bpp, w, h, standard ? (w * bpp + 15) & ~15 : w * bpp, standard ? 32 : 4};
    img.bytes.assign(std::size_t(img.offset + h * img.pitch), 0);
    if (standard) {
        const ImageHeader hd{7, bpp, w, h, img.pitch, {}};
        std::memcpy(img.bytes.data(), &hd, sizeof hd);
    } else {
        const uint16_t words[2] = {uint16_t((w << 3) | (compact_bpp_bits < 0 ? bpp : compact_bpp_bits)),
                                   uint16_t(h)};
        std::memcpy(img.bytes.data(), words, 4);
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) store(img.bytes.data() + img.offset + y * img.pitch + x * bpp, bpp, px(x, y));
    return img;
}

uint32_t mask_of(int bpp) { return bpp == 1 ? 0 : bpp == 2 ? 0xF81F : 0xFF00FF; }

class ImageTest : public ::testing::Test {
protected:
    void open(int w, int h, int depth) {
        setenv("ZRGFX", "null", 1);
        ASSERT_EQ(gfx_screen_set_size(w, h, depth, 2, -1, 0), 0);
        ctx = gfx_context();
        W = w;
        H = h;
        bpp = ctx->bpp;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) store(ctx->pages[0] + y * ctx->pitch + x * bpp, bpp, background(x, y));
    }
    void TearDown() override { gfx_screen_set(0, 0, 0, 0, 0); }
    static uint32_t background(int x, int y) { return 0x5A000000u + uint32_t(y * 1000 + x) * 7u; }

    // The rectangle (x, y, w, h) of source (null: work page), read through gfx_get.
    std::vector<uint32_t> grab(const void* source, int x, int y, int w, int h) {
        std::vector<uint8_t> buf(32 + std::size_t(h) * std::size_t((w * 4 + 15) & ~15));
        EXPECT_EQ(gfx_get(source, float(x), float(y), float(x + w - 1), float(y + h - 1), buf.data(), coord_abs_abs,
                          nullptr),
                  0);
        ImageHeader hd;
        std::memcpy(&hd, buf.data(), sizeof hd);
        std::vector<uint32_t> out;
        for (int r = 0; r < hd.height; ++r)
            for (int c = 0; c < hd.width; ++c) out.push_back(load(buf.data() + 32 + r * hd.pitch + c * hd.bpp, hd.bpp));
        return out;
    }
    std::vector<uint32_t> screen() { return grab(nullptr, 0, 0, W, H); }

    // What putting img (or its rectangle) at (x, y) should leave on the screen.
    void model_put(std::vector<uint32_t>& page, const Image& img, int x, int y, bool transparent, int sx = 0,
                   int sy = 0, int sw = -1, int sh = -1) const {
        if (sw < 0) sw = img.w, sh = img.h;
        for (int r = 0; r < sh; ++r)
            for (int c = 0; c < sw; ++c) {
                const int dx = x + c, dy = y + r;
                if (dx < 0 || dy < 0 || dx >= W || dy >= H) continue;
                uint32_t v = img.at(sx + c, sy + r);
                if (transparent) {
                    if (bpp == 4) v &= 0xFFFFFF;
                    if (v == mask_of(bpp)) continue;
                }
                page[std::size_t(dy * W + dx)] = v;
            }
    }

    GfxContext* ctx = nullptr;
    int W = 0, H = 0, bpp = 0;
};

// ---- capture -----------------------------------------------------------------

TEST_F(ImageTest, CaptureWritesHeaderAndPaddedRows) {
    setenv("ZRGFX", "null", 1);
    ASSERT_EQ(gfx_screen_set(18, 32, 2, 0, 0), 0);
    ctx = gfx_context();
    for (int i = 0; i < 640 * 480; ++i) reinterpret_cast<uint32_t*>(ctx->pages[0])[i] = uint32_t(i) * 2654435761u;

    std::vector<uint8_t> buf(32 + 16 * 96, 0xCD);
    ASSERT_EQ(gfx_get(nullptr, 5, 7, 28, 22, buf.data(), coord_abs_abs, nullptr), 0);
    ImageHeader hd;
    std::memcpy(&hd, buf.data(), sizeof hd);
    EXPECT_EQ(hd.type, 7);
    EXPECT_EQ(hd.bpp, 4);
    EXPECT_EQ(hd.width, 24);
    EXPECT_EQ(hd.height, 16);
    EXPECT_EQ(hd.pitch, 96);
    for (int i = 20; i < 32; ++i) EXPECT_EQ(buf[std::size_t(i)], 0xCD) << "reserved byte " << i;
    for (int r = 0; r < 16; ++r)
        EXPECT_EQ(std::memcmp(buf.data() + 32 + r * 96, ctx->pages[0] + (7 + r) * ctx->pitch + 5 * 4, 96), 0);

    // 3 x 1 from (10, 20) as the first corner plus a relative second corner.
    std::fill(buf.begin(), buf.end(), 0xCD);
    ASSERT_EQ(gfx_get(nullptr, 10, 20, 2, 0, buf.data(), coord_abs_rel, nullptr), 0);
    std::memcpy(&hd, buf.data(), sizeof hd);
    EXPECT_EQ(hd.width, 3);
    EXPECT_EQ(hd.pitch, 16);
    EXPECT_EQ(std::memcmp(buf.data() + 32, ctx->pages[0] + 20 * ctx->pitch + 40, 12), 0);
    for (int i = 44; i < 48; ++i) EXPECT_EQ(buf[std::size_t(i)], 0xCD);
    EXPECT_EQ(gfx_get_draw_state()->last_x, 12.0f);
    EXPECT_EQ(gfx_get_draw_state()->last_y, 20.0f);
}

TEST_F(ImageTest, CaptureRefusesRectanglesNotWhollyInsideTheView) {
    open(64, 40, 32);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float rects[][4] = {{0, 0, 64, 0},  {-1, 0, 5, 5},    {0, -1, 5, 5},  {0, 0, 5, 40},
                              {0, 0, -1, 14}, {3e9f, 0, 3, 3},   {nan, 0, 3, 3}, {0, 0, -3e9f, 3},
                              {0, 0, 3, std::numeric_limits<float>::infinity()}};
    for (const auto& r : rects) {
        std::vector<uint8_t> buf(4096, 0xCD);
        rt_set_error(0);
        EXPECT_EQ(gfx_get(nullptr, r[0], r[1], r[2], r[3], buf.data(), coord_abs_abs, nullptr), 1);
        EXPECT_EQ(rt_get_error(), 1);
        EXPECT_EQ(std::count(buf.begin(), buf.end(), 0xCD), 4096) << r[0] << " " << r[2];
    }
    EXPECT_EQ(gfx_get(nullptr, 0, 0, 63, 39, nullptr, coord_abs_abs, nullptr), 1);
    gfx_screen_set(0, 0, 0, 0, 0);
    std::vector<uint8_t> buf(64);
    EXPECT_EQ(gfx_get(nullptr, 0, 0, 1, 1, buf.data(), coord_abs_abs, nullptr), 1);
}

TEST_F(ImageTest, ArraySizeIsCheckedBeforeWriting) {
    open(64, 40, 32);
    const int need = 32 + 15 * ((8 * 4 + 15) & ~15);  // 8 x 15 pixels
    std::vector<uint8_t> storage(std::size_t(need) + 16, 0xCD);
    uint8_t* buffer = storage.data() + 8;
    RuntimeArray array{storage.data(), storage.data(), need + 7, 1, 1, 0};
    EXPECT_EQ(gfx_get(nullptr, 0, 0, 7, 14, buffer, coord_abs_abs, &array), 1);
    EXPECT_EQ(std::count(storage.begin(), storage.end(), 0xCD), long(storage.size()));
    array.size_bytes = need + 8;
    EXPECT_EQ(gfx_get(nullptr, 0, 0, 7, 14, buffer, coord_abs_abs, &array), 0);
    EXPECT_EQ(storage[std::size_t(need) + 8], 0xCD);
    array.size_bytes = 0;  // size unknown: not checked
    EXPECT_EQ(gfx_get(nullptr, 0, 0, 7, 14, buffer, coord_abs_abs, &array), 0);
}

TEST_F(ImageTest, CaptureFromImageBuffersOfBothForms) {
    open(32, 16, 16);
    for (bool standard : {true, false}) {
        const Image img = make_image(standard, 2, 9, 5, [](int x, int y) { return uint32_t(x * 31 + y * 1000); });
        const auto got = grab(img.bytes.data(), 2, 1, 6, 4);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 6; ++c) EXPECT_EQ(got[std::size_t(r * 6 + c)], img.at(2 + c, 1 + r));
        // The image is the whole view: one pixel beyond it is refused.
        std::vector<uint8_t> buf(256);
        EXPECT_EQ(gfx_get(img.bytes.data(), 0, 0, 9, 4, buf.data(), coord_abs_abs, nullptr), 1);
    }
    EXPECT_EQ(screen().size(), 32u * 16u);  // the screen's view is back
}

// ---- blitting ---------------------------------------------------------------

struct Placement {
    int x, y;
};

class ImagePutDepthTest : public ImageTest, public ::testing::WithParamInterface<int> {};

TEST_P(ImagePutDepthTest, ClipsAtEveryEdgeInBothFormsAndMethods) {
    open(48, 30, GetParam());
    const Placement places[] = {{10, 10}, {-5, 3}, {3, -4}, {42, 5},   {5, 26},  {-3, -3},
                                {44, 27}, {-13, 0}, {48, 0}, {0, 30},  {-40, -40}};
    for (bool standard : {true, false}) {
        for (bool transparent : {false, true}) {
            const Image img = make_image(standard, bpp, 13, 7, [this](int x, int y) {
                return (x + y) % 4 == 0 ? mask_of(bpp) | 0x12000000u : uint32_t(0xA1B2C3D4u * (x * 16 + y + 1));
            });
            for (const Placement& p : places) {
                auto expected = screen();
                model_put(expected, img, p.x, p.y, transparent);
                EXPECT_EQ(gfx_put(nullptr, float(p.x), float(p.y), img.bytes.data(), kWhole, kWhole, kWhole, kWhole, 0,
                                  transparent ? 0 : 1, transparent ? put_transparent : put_copy, -1, nullptr, nullptr),
                          0);
                ASSERT_EQ(screen(), expected) << "at " << p.x << "," << p.y << " standard " << standard
                                              << " transparent " << transparent;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, ImagePutDepthTest, ::testing::Values(8, 16, 32));

TEST_F(ImageTest, TransparentThirtyTwoBitRules) {
    open(16, 4, 32);
    const uint32_t src[] = {0xFFFF00FF, 0x00FF00FF, 0xFF123456};
    const Image img = make_image(true, 4, 3, 1, [&](int x, int) { return src[x]; });
    const auto before = grab(nullptr, 2, 1, 3, 1);
    ASSERT_EQ(gfx_put(nullptr, 2, 1, img.bytes.data(), kWhole, 0, 0, 0, 0, 0, put_transparent, -1, nullptr, nullptr), 0);
    const auto after = grab(nullptr, 2, 1, 3, 1);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1], before[1]);
    EXPECT_EQ(after[2], 0x00123456u);
}

TEST_F(ImageTest, SourceRectangles) {
    open(64, 40, 32);
    const Image img = make_image(true, 4, 20, 10, [](int x, int y) { return uint32_t(0x01000000 + y * 100 + x); });
    struct Case {
        int32_t sx1, sy1, sx2, sy2, coord;
        int x, y, w, h;  // expected piece
    };
    const Case cases[] = {
        {2, 3, 5, 4, 0, 2, 3, 4, 2},    {5, 4, 2, 3, 0, 2, 3, 4, 2},       {2, 3, 3, 1, 1, 2, 3, 4, 2},
        {-10, -10, 100, 100, 0, 0, 0, 20, 10}, {30, 0, 40, 5, 0, 19, 0, 1, 6}, {0, 9, 0, 9, 0, 0, 9, 1, 1},
    };
    for (const Case& c : cases) {
        auto expected = screen();
        model_put(expected, img, 7, 11, false, c.x, c.y, c.w, c.h);
        ASSERT_EQ(gfx_put(nullptr, 7, 11, img.bytes.data(), c.sx1, c.sy1, c.sx2, c.sy2, c.coord, 1, put_copy, -1,
                          nullptr, nullptr),
                  0);
        EXPECT_EQ(screen(), expected) << c.sx1 << "," << c.sy1 << "-" << c.sx2 << "," << c.sy2;
    }
}

TEST_F(ImageTest, RelativeDestinationUsesAndSetsTheLastPoint) {
    open(64, 40, 32);
    const Image img = make_image(false, 4, 2, 2, [](int x, int y) { return uint32_t(0x77000000 + x + 2 * y); });
    auto expected = screen();  // (capturing moves the last point: read first)
    model_put(expected, img, 10, 10, false);
    model_put(expected, img, 15, 16, false);
    ASSERT_EQ(gfx_put(nullptr, 10, 10, img.bytes.data(), kWhole, 0, 0, 0, 0, 1, put_copy, -1, nullptr, nullptr), 0);
    ASSERT_EQ(gfx_put(nullptr, 5, 6, img.bytes.data(), kWhole, 0, 0, 0, 2, 1, put_copy, -1, nullptr, nullptr), 0);
    EXPECT_EQ(gfx_get_draw_state()->last_x, 15.0f);
    EXPECT_EQ(gfx_get_draw_state()->last_y, 16.0f);
    EXPECT_EQ(screen(), expected);
}

TEST_F(ImageTest, RefusedAndEmptyPuts) {
    open(32, 16, 32);
    const auto before = screen();
    const Image img16 = make_image(true, 2, 4, 4, [](int, int) { return 0x1234u; });
    const Image compact2 = make_image(false, 2, 4, 4, [](int, int) { return 0x1234u; }, 2);
    const Image bad_bits = make_image(false, 4, 4, 4, [](int, int) { return 0x1234u; }, 3);
    ImageHeader narrow{7, 4, 8, 2, 16, {}};           // rows wider than the pitch
    ImageHeader huge{7, 4, 16, 0x10000, 0x10000, {}};  // pitch x height beyond 32 bits
    ImageHeader negative{7, 4, 2, -1, 16, {}};
    ImageHeader three{7, 3, 2, 2, 16, {}};
    const void* refused[] = {img16.bytes.data(), compact2.bytes.data(), bad_bits.bytes.data(), &narrow, &huge,
                             &negative, &three, nullptr};
    for (const void* image : refused) {
        rt_set_error(0);
        EXPECT_EQ(gfx_put(nullptr, 1, 1, image, kWhole, 0, 0, 0, 0, 1, put_copy, -1, nullptr, nullptr), 1);
        EXPECT_EQ(rt_get_error(), 1);
    }
    // A zero-filled buffer is an empty compact image; a width-0 header is empty too.
    std::vector<uint8_t> zeros(64, 0);
    ImageHeader empty{7, 4, 0, 5, 0, {}};
    EXPECT_EQ(gfx_put(nullptr, 1, 1, zeros.data(), kWhole, 0, 0, 0, 0, 0, put_transparent, -1, nullptr, nullptr), 0);
    EXPECT_EQ(gfx_put(nullptr, 1, 1, &empty, kWhole, 0, 0, 0, 0, 1, put_copy, -1, nullptr, nullptr), 0);
    // Without a routine: fine while nothing is drawn, an error otherwise.
    EXPECT_EQ(gfx_put(nullptr, 1, 1, zeros.data(), kWhole, 0, 0, 0, 0, 1, nullptr, -1, nullptr, nullptr), 0);
    const Image visible = make_image(true, 4, 2, 2, [](int, int) { return 0x00ABCDEFu; });
    EXPECT_EQ(gfx_put(nullptr, 1, 1, visible.bytes.data(), kWhole, 0, 0, 0, 0, 1, nullptr, -1, nullptr, nullptr), 1);
    EXPECT_EQ(gfx_put(nullptr, 100, 1, visible.bytes.data(), kWhole, 0, 0, 0, 0, 1, nullptr, -1, nullptr, nullptr), 0);
    // Far-off and unplaced positions draw nothing and convert no overflowing value.
    const Image img = make_image(true, 4, 3, 3, [](int, int) { return 0xFFFFFFFFu; });
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const float far[][2] = {{3e9f, 1}, {-3e9f, 1}, {1, 3e9f}, {1, -3e9f}, {inf, 1}, {-inf, -inf}, {nan, 1}, {1, nan}};
    for (const auto& p : far)
        EXPECT_EQ(gfx_put(nullptr, p[0], p[1], img.bytes.data(), kWhole, 0, 0, 0, 0, 1, put_copy, -1, nullptr, nullptr),
                  0);
    EXPECT_EQ(screen(), before);
    gfx_screen_set(0, 0, 0, 0, 0);
    EXPECT_EQ(gfx_put(nullptr, 0, 0, img.bytes.data(), kWhole, 0, 0, 0, 0, 1, put_copy, -1, nullptr, nullptr), 1);
}

TEST_F(ImageTest, AlphaMethodWritesOnlyAlphaBytesInBothVariants) {
    for (int wide : {0, 1}) {
        gfx::set_wide_override(wide);
        open(40, 8, 32);
        const Image a = make_image(true, 1, 21, 3, [](int x, int y) { return uint32_t(x * 11 + y * 3 + 1); });
        auto expected = screen();
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 21; ++c) {
                uint32_t& v = expected[std::size_t((2 + r) * W + 25 + c)];
                if (25 + c < W) v = (v & 0xFFFFFF) | (a.at(c, r) << 24);
            }
        EXPECT_EQ(gfx_put(nullptr, 25, 2, a.bytes.data(), kWhole, 0, 0, 0, 0, 6, put_copy, -1, nullptr, nullptr), 0);
        EXPECT_EQ(screen(), expected) << "wide " << wide;
        // Any other method with that depth pair is refused.
        EXPECT_EQ(gfx_put(nullptr, 25, 2, a.bytes.data(), kWhole, 0, 0, 0, 0, 1, put_copy, -1, nullptr, nullptr), 1);
        gfx::set_wide_override(-1);
    }
}

// A caller may hand put_alpha_channel over for images of the target's own
// depth; targets without an alpha byte (1 and 2 bytes) stay untouched rather
// than being written four bytes per pixel.
TEST_F(ImageTest, AlphaRoutineLeavesTargetsWithoutAlphaBytesAlone) {
    for (int depth : {8, 16}) {
        open(12, 4, depth);
        const Image a = make_image(true, bpp, 6, 2, [](int x, int) { return uint32_t(x + 1); });
        const auto before = screen();
        EXPECT_EQ(gfx_put(nullptr, 6, 2, a.bytes.data(), kWhole, 0, 0, 0, 0, 6, put_alpha_channel, -1, nullptr,
                          nullptr),
                  0);
        EXPECT_EQ(screen(), before) << "depth " << depth;
    }
}

TEST_F(ImageTest, PutIntoImageTargetsClipsToTheImage) {
    open(32, 16, 32);
    const Image src = make_image(true, 4, 5, 5, [](int x, int y) { return uint32_t(0x10000 * y + x + 1); });
    for (bool standard : {true, false}) {
        Image dst = make_image(standard, 4, 7, 6, [](int, int) { return 0xEEu; });
        ASSERT_EQ(gfx_put(dst.bytes.data(), 4, -2, src.bytes.data(), kWhole, 0, 0, 0, 0, 1, put_copy, -1, nullptr,
                          nullptr),
                  0);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 7; ++x) {
                const bool in = x >= 4 && y < 3;
                EXPECT_EQ(dst.at(x, y), in ? src.at(x - 4, y + 2) : 0xEEu) << x << "," << y;
            }
    }
    EXPECT_EQ(screen().size(), 32u * 16u);
    EXPECT_EQ(gfx_get_draw_state()->view_w, 32);
}

int g_routine_calls = 0;
void count_call(const uint8_t*, uint8_t*, int32_t, int32_t, int32_t, int32_t, int32_t, GfxBlender, void*) {
    ++g_routine_calls;
}

// Targets without rows or columns have an empty view: an image straddling
// its edge draws nothing, and the routine never gets a row that is not the
// target's.
TEST_F(ImageTest, EmptyTargetsNeverReachTheRoutine) {
    open(16, 8, 32);
    const Image img = make_image(true, 4, 4, 4, [](int, int) { return 1u; });
    const Image no_rows = make_image(true, 4, 6, 0, [](int, int) { return 0u; });
    const Image no_columns = make_image(false, 4, 0, 6, [](int, int) { return 0u; });
    for (const Image* target : {&no_rows, &no_columns}) {
        g_routine_calls = 0;
        EXPECT_EQ(gfx_put(const_cast<uint8_t*>(target->bytes.data()), -1, -1, img.bytes.data(), kWhole, 0, 0, 0, 0, 1,
                          count_call, -1, nullptr, nullptr),
                  0);
        EXPECT_EQ(g_routine_calls, 0);
    }
}

TEST_F(ImageTest, MarksOnlyTheClippedRowsOfTheVisiblePage) {
    open(32, 16, 32);
    std::memset(ctx->dirty, 0, 16);
    const Image img = make_image(true, 4, 4, 10, [](int, int) { return 1u; });
    ASSERT_EQ(gfx_put(nullptr, 3, -3, img.bytes.data(), kWhole, 0, 0, 0, 0, 1, put_copy, -1, nullptr, nullptr), 0);
    for (int y = 0; y < 16; ++y) EXPECT_EQ(ctx->dirty[y], y < 7 ? 1 : 0) << y;
}

}  // namespace
