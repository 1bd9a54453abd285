// Lines and boxes: pixels, clipping, dash patterns, dirty rows, locking and
// the last point, on the work page and on image buffers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <set>
#include <utility>
#include <vector>

#include "gfx/core/context_internal.h"
#include "gfx/gfx.h"
#include "page_probe.h"

namespace {

using Pixels = std::set<std::pair<int, int>>;
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr uint32_t kWhite = 0xFFFFFFFFu;

// A standard (type 7) or compact image buffer, zero-filled.
struct Image {
    int w, h, bpp, pitch;
    std::vector<uint8_t> buf;
    size_t offset;

    static Image standard(int w, int h, int bpp) {
        Image im{w, h, bpp, (w * bpp + 15) & ~15, {}, 32};
        im.buf.assign(32 + size_t(im.pitch) * h, 0);
        const ImageHeader hdr{7, bpp, w, h, im.pitch, {0, 0, 0}};
        std::memcpy(im.buf.data(), &hdr, sizeof hdr);
        return im;
    }
    static Image compact(int w, int h, int screen_bpp) {
        Image im{w, h, screen_bpp, w * screen_bpp, {}, 4};
        im.buf.assign(4 + size_t(im.pitch) * h, 0);
        const uint16_t words[2] = {uint16_t(w << 3 | screen_bpp), uint16_t(h)};
        std::memcpy(im.buf.data(), words, sizeof words);
        return im;
    }
    void* target() { return buf.data(); }
    uint32_t at(int x, int y) const {
        uint32_t v = 0;
        std::memcpy(&v, buf.data() + offset + size_t(y) * pitch + size_t(x) * bpp, size_t(bpp));
        return v;
    }
    Pixels lit() const {
        Pixels p;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (at(x, y)) p.insert({x, y});
        return p;
    }
};

class LineTest : public ::testing::Test {
protected:
    void SetUp() override { open(GFX_NULL_SCREEN); }
    void TearDown() override { gfx_screen_set(0, 0, 0, 0, 0); }

    void open(int32_t flags) {
        setenv("ZRGFX", "null", 1);
        ASSERT_EQ(gfx_screen_set(18, 32, 2, flags, 0), 0);
        ctx = gfx_context();
        clear();
    }
    void clear() {
        for (int p = 0; p < ctx->page_count; ++p) std::memset(ctx->pages[p], 0, size_t(ctx->pitch) * ctx->h);
        std::memset(ctx->dirty, 0, size_t(ctx->h));
    }
    uint32_t at(int x, int y, int page = 0) const {
        return reinterpret_cast<const uint32_t*>(ctx->pages[page])[y * ctx->w + x];
    }
    Pixels lit(int page = 0) const {
        Pixels p;
        for (int y = 0; y < ctx->h; ++y)
            for (int x = 0; x < ctx->w; ++x)
                if (at(x, y, page)) p.insert({x, y});
        return p;
    }
    std::vector<uint32_t> snapshot() const { return probe::snapshot(ctx); }
    std::vector<int> dirty_rows() const { return probe::dirty_rows(ctx); }
    static std::vector<int> range(int a, int b) { return probe::range(a, b); }
    void line(float x1, float y1, float x2, float y2, uint32_t style = 0xFFFF, uint32_t flags = 0) {
        gfx_line(nullptr, x1, y1, x2, y2, kWhite, 0, style, flags);
    }

    GfxContext* ctx = nullptr;
};

// ---- plain lines -------------------------------------------------------------

TEST_F(LineTest, BresenhamTiesStepTheMinorAxis) {
    line(0, 0, 4, 2);
    EXPECT_EQ(lit(), (Pixels{{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}}));
    clear();
    line(4, 2, 0, 0);  // walked from point 1: the ties fall the other way
    EXPECT_EQ(lit(), (Pixels{{4, 2}, {3, 1}, {2, 1}, {1, 0}, {0, 0}}));
    clear();
    line(0, 0, 2, 4);  // y-major
    EXPECT_EQ(lit(), (Pixels{{0, 0}, {1, 1}, {1, 2}, {2, 3}, {2, 4}}));
}

TEST_F(LineTest, ShapesOfSimpleLines) {
    struct Case {
        float x1, y1, x2, y2;
        Pixels want;
    };
    const Case cases[] = {
        {10, 5, 10, 5, {{10, 5}}},
        {3, 7, 6, 7, {{3, 7}, {4, 7}, {5, 7}, {6, 7}}},
        {6, 7, 3, 7, {{3, 7}, {4, 7}, {5, 7}, {6, 7}}},
        {2, 9, 2, 6, {{2, 6}, {2, 7}, {2, 8}, {2, 9}}},
        {0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
        {3, 0, 0, 3, {{3, 0}, {2, 1}, {1, 2}, {0, 3}}},
        {0, 0, 5, 1, {{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 1}, {5, 1}}},
        // Points round half away from zero before drawing.
        {10.5f, 20.49f, 12.5f, 20.5f, {{11, 20}, {12, 21}, {13, 21}}},
    };
    for (const Case& c : cases) {
        clear();
        line(c.x1, c.y1, c.x2, c.y2);
        EXPECT_EQ(lit(), c.want) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
    }
}

TEST_F(LineTest, SolidHorizontalAndVerticalRunsMatch) {
    line(100, 50, 300, 50);
    line(50, 100, 50, 300);
    for (int i = 0; i <= 200; ++i) {
        ASSERT_EQ(at(100 + i, 50), kWhite);
        ASSERT_EQ(at(50, 100 + i), kWhite);
    }
    EXPECT_EQ(lit().size(), 402u);
}

TEST_F(LineTest, ColourConversionAndOmittedColour) {
    gfx_get_draw_state()->fg_color = 0x12345678u;
    gfx_line(nullptr, 1, 1, 3, 1, 0xFF00FF00u, 0, 0xFFFF, GFX_COLOR_OMITTED);
    EXPECT_EQ(at(2, 1), 0x12345678u);
    gfx_line(nullptr, 1, 2, 3, 2, 0xFF00FF00u, 0, 0xFFFF, 0);
    EXPECT_EQ(at(2, 2), 0xFF00FF00u);
}

// ---- clipping --------------------------------------------------------------

// A clipped line draws exactly what the line from its cut points draws,
// walked from the point the clipping leaves as point 1.
TEST_F(LineTest, ClipsAtEveryEdgeFromTheCutPoint) {
    struct Case {
        float x1, y1, x2, y2;  // as given
        float cx1, cy1, cx2, cy2;  // expected walk after clipping
    };
    const Case cases[] = {
        {-7, 3, 13, 10, 0, 5, 13, 10},           // left: 3 + 0.35 * 7 = 5.45
        {-10, -3, 30, 7, 0, 0, 30, 7},           // left: -0.5 truncates toward zero to 0
        {630, 0, 650, 10, 639, 4, 630, 0},       // right, points exchanged: 4.5 -> 4
        {10, -5, 20, 15, 12, 0, 20, 15},         // top: 12.5 -> 12
        {10, 470, 20, 490, 14, 479, 10, 470},    // bottom, exchanged: 14.5 -> 14
        {4, 2, -4, -2, 0, 0, 4, 2},              // exchanged point stays point 1
        {-10, 490, 650, -10, 637, 0, 3, 479},    // two cuts per end
        {100, -50, 100, 50, 100, 0, 100, 50},    // vertical keeps its column
        {-20, 479, 700, 479, 0, 479, 639, 479},  // along the bottom row
    };
    for (const Case& c : cases) {
        clear();
        line(c.x1, c.y1, c.x2, c.y2);
        const auto got = snapshot();
        const auto rows = dirty_rows();
        clear();
        line(c.cx1, c.cy1, c.cx2, c.cy2);
        EXPECT_EQ(got, snapshot()) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
        EXPECT_EQ(rows, range(int(std::fmin(c.cy1, c.cy2)), int(std::fmax(c.cy1, c.cy2))));
    }
}

TEST_F(LineTest, RejectedLinesDrawNothingAndKeepTheLastPoint) {
    const float cases[][4] = {{-10, 5, -1, 100}, {5, -10, 100, -1}, {640, 0, 700, 479},
                              {0, 480, 639, 600}, {-10, 5, 5, -10}, {-10, 470, 20, 500}};
    for (const auto& c : cases) {
        line(c[0], c[1], c[2], c[3]);
        EXPECT_TRUE(lit().empty()) << c[0] << "," << c[1];
        EXPECT_TRUE(dirty_rows().empty());
        EXPECT_EQ(gfx_get_draw_state()->last_x, c[2]);
        EXPECT_EQ(gfx_get_draw_state()->last_y, c[3]);
    }
}

// ---- styles -------------------------------------------------------------------

TEST_F(LineTest, DashPatternsStartAtTheFirstPointGiven) {
    struct Case {
        float x1, y1, x2, y2;
        uint32_t style;
        Pixels want;
    };
    const Case cases[] = {
        {20, 5, 10, 5, 0xF000, {{17, 5}, {18, 5}, {19, 5}, {20, 5}}},
        {10, 5, 20, 5, 0xF000, {{10, 5}, {11, 5}, {12, 5}, {13, 5}}},
        {5, 20, 5, 10, 0xF000, {{5, 17}, {5, 18}, {5, 19}, {5, 20}}},
        {5, 10, 5, 20, 0xF000, {{5, 10}, {5, 11}, {5, 12}, {5, 13}}},
        {10, 5, 10, 5, 0x8000, {{10, 5}}},
        {10, 5, 10, 5, 0x7FFF, {}},
        {0, 0, 7, 7, 0xAAAA, {{0, 0}, {2, 2}, {4, 4}, {6, 6}}},
        {7, 7, 0, 0, 0xAAAA, {{7, 7}, {5, 5}, {3, 3}, {1, 1}}},
        {0, 0, 20, 0, 0x0001, {{15, 0}}},
        {0, 0, 20, 0, 0x10001 | 0x8000, {{0, 0}, {15, 0}, {16, 0}}},  // bits above 15 ignored
        {-5, 5, 10, 5, 0xF000, {{0, 5}, {1, 5}, {2, 5}, {3, 5}}},  // restarts at the cut
        {10, 5, -5, 5, 0xF000, {{0, 5}, {1, 5}, {2, 5}, {3, 5}}},  // cut point became point 1
    };
    for (const Case& c : cases) {
        clear();
        line(c.x1, c.y1, c.x2, c.y2, c.style);
        EXPECT_EQ(lit(), c.want) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2 << " " << std::hex
                                 << c.style;
    }
}

// Position i from the first point given is drawn iff style bit 15 - i % 16
// is set, whichever way the run is walked.
TEST_F(LineTest, RunPatternDoesNotDependOnDirection) {
    for (uint32_t style : {0xF000u, 0x1234u, 0xACE1u, 0x8001u}) {
        for (int n : {1, 2, 15, 16, 17, 31, 40}) {
            for (bool vertical : {false, true}) {
                for (bool backwards : {false, true}) {
                    clear();
                    const int a = 50, b = 50 + n;
                    const int from = backwards ? b : a, to = backwards ? a : b;
                    if (vertical) line(30, float(from), 30, float(to), style);
                    else line(float(from), 30, float(to), 30, style);
                    for (int i = 0; i <= n; ++i) {
                        const int p = backwards ? b - i : a + i;
                        const bool want = (style >> (15 - i % 16)) & 1u;
                        const uint32_t got = vertical ? at(30, p) : at(p, 30);
                        ASSERT_EQ(got != 0, want) << std::hex << style << std::dec << " n=" << n
                                                  << " i=" << i << " v=" << vertical << " back=" << backwards;
                    }
                }
            }
        }
    }
}

// ---- boxes ---------------------------------------------------------------------

TEST_F(LineTest, FilledBoxFillsTheClampedRectangleWhateverTheStyle) {
    gfx_line(nullptr, -10, 470, 5, 500, kWhite, 2, 0x1234, 0);
    Pixels want;
    for (int y = 470; y < 480; ++y)
        for (int x = 0; x <= 5; ++x) want.insert({x, y});
    EXPECT_EQ(lit(), want);
    EXPECT_EQ(dirty_rows(), range(470, 479));
}

TEST_F(LineTest, BoxCornersAreOrderedAndKindsSelectTheShape) {
    gfx_line(nullptr, 13, 12, 10, 10, kWhite, 1, 0xFFFF, 0);
    Pixels outline;
    for (int x = 10; x <= 13; ++x) outline.insert({x, 10}), outline.insert({x, 12});
    outline.insert({10, 11});
    outline.insert({13, 11});
    EXPECT_EQ(lit(), outline);
    clear();
    gfx_line(nullptr, 10, 10, 13, 12, kWhite, 7, 0xFFFF, 0);  // any kind but 0 and 2
    EXPECT_EQ(lit(), outline);
    clear();
    gfx_line(nullptr, 10, 10, 13, 12, kWhite, -1, 0xFFFF, 0);
    EXPECT_EQ(lit(), outline);
}

// The outline pattern runs over bottom, top, right and left edges in turn.
TEST_F(LineTest, BoxOutlinePatternOrder) {
    gfx_line(nullptr, 0, 0, 3, 2, kWhite, 1, 0x8421, 0);
    // bottom (y 2, x 0..3): positions 0-3 -> bits 15..12 of 0x8421: x=0
    // top (y 0): positions 4-7 -> bits 11..8: x=1
    // right (x 3, y 0..2): positions 8-10 -> bits 7..5: y=2 (bit 5)
    // left (x 0): positions 11-13 -> bits 4..2: none
    EXPECT_EQ(lit(), (Pixels{{0, 2}, {1, 0}, {3, 2}}));
}

// Every clipped box outline shows, inside the view, exactly the pixels of
// the same box drawn whole on a larger image.
TEST_F(LineTest, BoxOutlineDashesRunOnOverClippedEdges) {
    Image big = Image::standard(200, 200, 4);
    const int bx1 = 80, by1 = 90, bx2 = 116, by2 = 112;  // 37 x 23
    const struct {
        int ox, oy;
    } views[] = {{85, 80},  {60, 80},   {100, 80}, {60, 95},  {60, 70}, {85, 95},  {95, 100},
                 {70, 100}, {100, 95},  {85, 70},  {60, 60},  {110, 110}, {50, 50}};
    for (uint32_t style : {0xF0F0u, 0xAAAAu, 0x8001u, 0x1234u, 0xC3A5u, 0xFFFEu, 0x0000u}) {
        std::fill(big.buf.begin() + 32, big.buf.end(), 0);
        gfx_line(big.target(), bx1, by1, bx2, by2, kWhite, 1, style, 0);
        for (auto v : views) {
            gfx_select_target(gfx_get_draw_state(), nullptr);
            Image small = Image::standard(30, 20, 4);
            gfx_line(small.target(), float(bx1 - v.ox), float(by1 - v.oy), float(bx2 - v.ox),
                     float(by2 - v.oy), kWhite, 1, style, 0);
            for (int y = 0; y < small.h; ++y)
                for (int x = 0; x < small.w; ++x)
                    ASSERT_EQ(small.at(x, y), big.at(x + v.ox, y + v.oy))
                        << std::hex << style << std::dec << " view " << v.ox << "," << v.oy << " at " << x << ","
                        << y;
        }
    }
}

// Half-transparent red over black: each write moves red halfway up, so
// the red byte counts the writes (0x7F once, 0xBF twice, 0xDF three times).
uint32_t red(uint32_t pixel) { return (pixel >> 16) & 0xFFu; }

TEST_F(LineTest, BoxCornersBelongToTwoEdges) {
    TearDown();
    open(GFX_ALPHA_BLEND);
    gfx_line(nullptr, 10, 10, 20, 15, 0x80FF0000u, 1, 0xFFFF, 0);
    EXPECT_EQ(red(at(15, 10)), 0x7Fu);  // top edge only
    EXPECT_EQ(red(at(10, 12)), 0x7Fu);  // left edge only
    EXPECT_EQ(red(at(10, 10)), 0xBFu);  // top and left
    EXPECT_EQ(red(at(20, 15)), 0xBFu);  // bottom and right
    EXPECT_EQ(at(15, 12), 0u);
    clear();
    // Width 1: the column is both the right and the left edge.
    gfx_line(nullptr, 30, 10, 30, 14, 0x80FF0000u, 1, 0xFFFF, 0);
    EXPECT_EQ(red(at(30, 12)), 0xBFu);
    EXPECT_EQ(red(at(30, 10)), 0xDFu);  // and the top edge
    EXPECT_EQ(red(at(30, 14)), 0xDFu);  // and the bottom edge
    // A solid line writes each pixel once, its single point too.
    gfx_line(nullptr, 40, 40, 60, 47, 0x80FF0000u, 0, 0xFFFF, 0);
    gfx_line(nullptr, 40, 50, 60, 50, 0x80FF0000u, 0, 0xFFFF, 0);
    gfx_line(nullptr, 40, 60, 40, 60, 0x80FF0000u, 0, 0xFFFF, 0);
    EXPECT_EQ(red(at(40, 40)), 0x7Fu);
    EXPECT_EQ(red(at(60, 47)), 0x7Fu);
    EXPECT_EQ(red(at(50, 50)), 0x7Fu);
    EXPECT_EQ(red(at(40, 60)), 0x7Fu);
}

TEST_F(LineTest, GfxBoxUsesPixelCoordinatesAndPixelColours) {
    gfx_box(5, 6, 7, 8, 0x00ABCDEFu, 1, 0);
    EXPECT_EQ(at(5, 6), 0x00ABCDEFu);
    EXPECT_EQ(at(7, 8), 0x00ABCDEFu);
    EXPECT_EQ(lit().size(), 9u);
    EXPECT_EQ(dirty_rows(), range(6, 8));
    clear();
    gfx_box(-5, -5, 700, 600, kWhite, 0, 0xFFFF);  // every edge outside
    EXPECT_TRUE(lit().empty());
    gfx_box(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, kWhite, 1, 0xFFFF);
    EXPECT_EQ(lit().size(), size_t(640 * 480));
}

// gfx_box on a target chosen with gfx_select_target alone: the state's
// pixel routines follow the target's depth, so a 1-byte image on a 4-byte
// screen gets 1-byte pixels and its row padding stays as it was.
TEST_F(LineTest, GfxBoxOnASelectedTargetOfAnotherDepth) {
    std::vector<uint8_t> image(32 + 2 * 16, 0xEE);
    const ImageHeader header{7, 1, 3, 2, 16, {}};
    std::memcpy(image.data(), &header, sizeof header);
    gfx_select_target(gfx_get_draw_state(), image.data());
    gfx_box(0, 0, 2, 1, 0x5A, 1, 0xFFFF);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 16; ++x) EXPECT_EQ(image[std::size_t(32 + y * 16 + x)], x < 3 ? 0x5A : 0xEE) << x << "," << y;
    gfx_select_target(gfx_get_draw_state(), nullptr);
    gfx_box(0, 0, 1, 0, 0x00123456u, 1, 0xFFFF);
    EXPECT_EQ(at(1, 0), 0x00123456u);  // back on the screen with 4-byte pixels
}

// ---- extreme coordinates ----------------------------------------------------

TEST_F(LineTest, FarAndInfiniteLinesDrawTheirVisiblePart) {
    Pixels row100, col100, diagonal;
    for (int x = 0; x < 640; ++x) row100.insert({x, 100});
    for (int y = 0; y < 480; ++y) col100.insert({100, y}), diagonal.insert({y, y});
    struct Case {
        float x1, y1, x2, y2;
        const Pixels* want;
    };
    const Case cases[] = {
        {-1e9f, 100, 1e9f, 100, &row100},    {1e9f, 100, -1e9f, 100, &row100},
        {-kInf, 100, kInf, 100, &row100},    {kInf, 100, -1e30f, 100, &row100},
        {100, -1e9f, 100, 1e9f, &col100},    {100, kInf, 100, -kInf, &col100},
        {-1e9f, -1e9f, 1e9f, 1e9f, &diagonal}, {-3e38f, -3e38f, 3e38f, 3e38f, &diagonal},
        {0, 0, 1e30f, 1e30f, &diagonal},     {0, 0, kInf, kInf, &diagonal},
        {-1e20f, 100, 0, 100, nullptr},
    };
    for (const Case& c : cases) {
        clear();
        line(c.x1, c.y1, c.x2, c.y2);
        if (c.want) EXPECT_EQ(lit(), *c.want) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
        else EXPECT_EQ(lit(), (Pixels{{0, 100}}));
    }
}

TEST_F(LineTest, FarEndKeepsTheSlope) {
    // Slope 2 toward a far point: cut at the right edge (y 1278), then at
    // the bottom (x 239.5 -> 239); the walk starts at the cut point.
    line(239, 479, 0, 0);
    const auto want = snapshot();
    for (float scale : {1e9f, 1e20f, 1e30f}) {
        clear();
        line(0, 0, scale, 2 * scale);
        EXPECT_EQ(want, snapshot()) << scale;
        clear();
        line(scale, 2 * scale, 0, 0);
        EXPECT_EQ(want, snapshot()) << scale;
    }
}

TEST_F(LineTest, NotANumberDrawsNothing) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int kind : {0, 1, 2}) {
        gfx_line(nullptr, nan, 10, 20, 30, kWhite, kind, 0xFFFF, 0);
        gfx_line(nullptr, 10, 10, 20, nan, kWhite, kind, 0xFFFF, 0);
        gfx_line(nullptr, 10, nan, nan, 30, kWhite, kind, 0xFFFF, 0);
    }
    EXPECT_TRUE(lit().empty());
    EXPECT_TRUE(dirty_rows().empty());
}

TEST_F(LineTest, FarBoxesKeepTheirVisiblePartAndDashPhase) {
    for (int kind : {1, 2}) {
        for (uint32_t style : {0xFFFFu, 0xF0F0u, 0x8421u}) {
            clear();
            // -1e9 and 1e9 are multiples of 16, like -160 and 800.
            gfx_line(nullptr, -1e9f, 20, 300, 1e9f, kWhite, kind, style, 0);
            const auto far = snapshot();
            clear();
            gfx_line(nullptr, -160, 20, 300, 800, kWhite, kind, style, 0);
            EXPECT_EQ(far, snapshot()) << kind << " " << std::hex << style;
            clear();
            gfx_line(nullptr, -kInf, 20, 300, kInf, kWhite, kind, style, 0);
            const auto inf = snapshot();
            clear();
            gfx_line(nullptr, -160, 20, 300, 800, kWhite, kind, style, 0);
            EXPECT_EQ(inf, snapshot()) << kind << " " << std::hex << style;
        }
    }
    clear();
    gfx_line(nullptr, -kInf, -kInf, kInf, kInf, kWhite, 2, 0xFFFF, 0);
    EXPECT_EQ(lit().size(), size_t(640 * 480));
    clear();
    gfx_line(nullptr, -kInf, -kInf, kInf, kInf, kWhite, 1, 0xFFFF, 0);
    EXPECT_TRUE(lit().empty());
}

// ---- state: last point, dirty rows, lock ----------------------------------------

TEST_F(LineTest, RelativeSecondPointAndLastPoint) {
    line(10, 10, 5, -5, 0xFFFF, coord_abs_rel);
    EXPECT_EQ(at(10, 10), kWhite);
    EXPECT_EQ(at(15, 5), kWhite);
    EXPECT_EQ(gfx_get_draw_state()->last_x, 15.0f);
    EXPECT_EQ(gfx_get_draw_state()->last_y, 5.0f);
    line(2, 0, 0, 3, 0xFFFF, coord_rel_abs);  // from (17, 5) to (0, 3)
    EXPECT_EQ(at(17, 5), kWhite);
    EXPECT_EQ(at(0, 3), kWhite);
    gfx_line(nullptr, 1, 1, 2.5f, 3.25f, kWhite, 2, 0xFFFF, 0);
    EXPECT_EQ(gfx_get_draw_state()->last_x, 2.5f);
    EXPECT_EQ(gfx_get_draw_state()->last_y, 3.25f);
}

TEST_F(LineTest, DirtyRowsOnlyOnTheVisiblePage) {
    line(10, 100, 200, 150);
    EXPECT_EQ(dirty_rows(), range(100, 150));
    clear();
    line(200, 150, 10, 100);
    EXPECT_EQ(dirty_rows(), range(100, 150));
    clear();
    ASSERT_EQ(gfx_page_set(1, 0), 0);
    line(10, 100, 200, 150);
    gfx_line(nullptr, 10, 10, 50, 50, kWhite, 2, 0xFFFF, 0);
    EXPECT_TRUE(dirty_rows().empty());
    EXPECT_EQ(at(10, 100, 1), kWhite);
    EXPECT_EQ(at(10, 100, 0), 0u);
    Image im = Image::standard(8, 8, 4);
    gfx_page_set(0, 0);
    clear();
    gfx_line(im.target(), 0, 0, 7, 7, kWhite, 0, 0xFFFF, 0);
    EXPECT_TRUE(dirty_rows().empty());
}

int g_locks = 0, g_unlocks = 0;
const GfxDriver kCountingDriver = {
    "Counting", [](const char*, int32_t, int32_t, int32_t, int32_t, int32_t) -> int32_t { return 0; },
    [] {}, [] { ++g_locks; }, [] { ++g_unlocks; }, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr};

TEST(LineLockTest, LocksOnlyAroundDrawing) {
    unsetenv("ZRGFX");
    static const GfxDriver* list[] = {&kCountingDriver};
    gfx::set_driver_list(list);
    ASSERT_EQ(gfx_screen_set(18, 32, 1, 0, 0), 0);
    g_locks = g_unlocks = 0;
    gfx_line(nullptr, 1, 1, 50, 20, kWhite, 0, 0xFFFF, 0);
    EXPECT_EQ(g_locks, 1);
    EXPECT_EQ(g_unlocks, 1);
    gfx_line(nullptr, -10, 1, -5, 20, kWhite, 0, 0xFFFF, 0);  // rejected
    gfx_line(nullptr, -10, 1, -5, 20, kWhite, 2, 0xFFFF, 0);  // box outside
    EXPECT_EQ(g_locks, 1);
    gfx_line(nullptr, 1, 1, 5, 20, kWhite, 1, 0xFFFF, 0);
    EXPECT_EQ(g_locks, 2);
    EXPECT_EQ(g_unlocks, 2);
    // A lock the caller holds (held without the automatic bit) is neither
    // taken nor released by the primitive.
    gfx_context()->flags |= GFX_LOCK_HELD;
    gfx_line(nullptr, 1, 1, 50, 20, kWhite, 0, 0xFFFF, 0);
    gfx_line(nullptr, 1, 1, 50, 20, kWhite, 2, 0xFFFF, 0);
    EXPECT_EQ(g_locks, 2);
    EXPECT_EQ(g_unlocks, 2);
    EXPECT_TRUE(gfx_context()->flags & GFX_LOCK_HELD);
    gfx_context()->flags &= ~GFX_LOCK_HELD;
    gfx_screen_set(0, 0, 0, 0, 0);
    gfx::set_driver_list({});
}

TEST(LineNoScreenTest, DoesNothingWithoutAScreen) {
    gfx_screen_set(0, 0, 0, 0, 0);
    gfx_line(nullptr, 1, 1, 5, 5, kWhite, 0, 0xFFFF, 0);
    gfx_box(1, 1, 5, 5, kWhite, 1, 0xFFFF);
    SUCCEED();
}

// ---- depths and image forms ------------------------------------------------------

TEST_F(LineTest, ImageBuffersAtEveryDepth) {
    struct Case {
        int bpp;
        uint32_t want;
    };
    for (Case c : {Case{1, 0x56u}, Case{2, 0x07EAu}, Case{4, 0xFF00FF56u}}) {
        gfx_select_target(gfx_get_draw_state(), nullptr);  // the address may be reused
        Image im = Image::standard(33, 9, c.bpp);
        gfx_line(im.target(), 2, 1, 30, 1, 0xFF00FF56u, 0, 0xFFFF, 0);       // span
        gfx_line(im.target(), 0, 8, 4, 4, 0xFF00FF56u, 0, 0xFFFF, 0);        // diagonal
        gfx_line(im.target(), 20, 3, 40, 20, 0xFF00FF56u, 2, 0xFFFF, 0);     // clipped filled box
        gfx_line(im.target(), 5, 3, 9, 7, 0xFF00FF56u, 1, 0xF0F0, 0);        // dashed outline
        EXPECT_EQ(im.at(2, 1), c.want) << c.bpp;
        EXPECT_EQ(im.at(30, 1), c.want);
        EXPECT_EQ(im.at(31, 1), 0u);
        EXPECT_EQ(im.at(2, 6), c.want);
        EXPECT_EQ(im.at(32, 8), c.want);
        EXPECT_EQ(im.at(19, 8), 0u);
        EXPECT_EQ(im.at(5, 7), c.want);   // bottom edge starts the pattern
        EXPECT_EQ(im.at(9, 7), 0u);       // fifth position: bit 11 clear
        // span, diagonal, 13 x 6 box, outline bottom 4 + top 2 + right 2 +
        // left 4 less the two shared corners
        EXPECT_EQ(im.lit().size(), size_t(29 + 5 + 78 + 10));
    }
    gfx_select_target(gfx_get_draw_state(), nullptr);
    Image compact = Image::compact(12, 6, 4);
    gfx_line(compact.target(), -3, 2, 20, 2, 0xFF123456u, 0, 0xFFFF, 0);
    for (int x = 0; x < 12; ++x) EXPECT_EQ(compact.at(x, 2), 0xFF123456u);
    EXPECT_EQ(compact.lit().size(), 12u);
}

TEST(LineDepthTest, WorkPagesOfEightAndSixteenBits) {
    struct Case {
        int depth;
        uint32_t color, want;
    };
    for (Case c : {Case{8, 0xFF0000C3u, 0xC3u}, Case{16, 0xFFFF0000u, 0xF800u}}) {
        ASSERT_EQ(gfx_screen_set_size(64, 32, c.depth, 1, GFX_NULL_SCREEN, 0), 0);
        GfxContext* ctx = gfx_context();
        std::memset(ctx->pages[0], 0, size_t(ctx->pitch) * ctx->h);
        auto at = [&](int x, int y) {
            uint32_t v = 0;
            std::memcpy(&v, ctx->pages[0] + y * ctx->pitch + x * ctx->bpp, size_t(ctx->bpp));
            return v;
        };
        gfx_line(nullptr, -5, 3, 100, 3, c.color, 0, 0xFFFF, 0);
        gfx_line(nullptr, 1, 10, 5, 14, c.color, 2, 0xFFFF, 0);
        gfx_line(nullptr, 10, 20, 14, 24, c.color, 0, 0xFFFF, 0);
        EXPECT_EQ(at(0, 3), c.want) << c.depth;
        EXPECT_EQ(at(63, 3), c.want);
        EXPECT_EQ(at(3, 12), c.want);
        EXPECT_EQ(at(12, 22), c.want);
        EXPECT_EQ(at(13, 22), 0u);
        gfx_screen_set(0, 0, 0, 0, 0);
    }
}

}  // namespace
