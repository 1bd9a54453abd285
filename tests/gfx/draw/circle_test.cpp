// Circles, ellipses and arcs: small pictures, an independent reference for
// integral semi-axes, single filling of rows, arcs and radii, aspect, dirty
// rows, image targets and extreme arguments.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gfx/draw/clip.h"
#include "gfx/draw/ellipse.h"
#include "gfx/gfx.h"
#include "page_probe.h"

namespace {

using Pixels = std::set<std::pair<int, int>>;
using Counts = std::map<std::pair<int, int>, int>;
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kHalfRed = 0x80FF0000u;
const float kFullEnd = std::bit_cast<float>(0x40C90FDCu);
const float kNearest2Pi = std::bit_cast<float>(0x40C90FDBu);

// Red byte after n blends of kHalfRed over black (each halves the gap).
uint32_t red_after(int n) {
    uint32_t r = 0;
    for (int i = 0; i < n; ++i) r += (255 - r) * 128 / 256;
    return r;
}

// Reference for integral semi-axes a (horizontal) and b (vertical), from
// the closed form of the midpoint loop: a pass on row k at half-width x
// steps down while b^2 (a^2 - x (x - 1)) > a^2 k (k + 1).
struct Reference {
    int64_t a, b;
    bool steps_down(int64_t x, int64_t k) const { return b * b * (a * a - x * (x - 1)) > a * a * k * (k + 1); }
    int64_t x_max(int64_t k) const {
        int64_t x = a;
        while (x >= 1 && !steps_down(x, k)) --x;
        return x;
    }
    // Filled: half-width of each row offset k >= 0 that is drawn.
    std::vector<int64_t> widths() const {
        std::vector<int64_t> w{a};
        for (int64_t k = 1; x_max(k - 1) >= 1; ++k) w.push_back(std::max(x_max(k), x_max(k - 1) - 1));
        return w;
    }
    // Outline: writes per pixel around (cx, cy).
    Counts outline(int cx, int cy) const {
        Counts c;
        auto pass = [&](int64_t k, int64_t x) {
            for (int y : {int(cy + k), int(cy - k)}) {
                ++c[{int(cx - x), y}];
                ++c[{int(cx + x), y}];
            }
        };
        ++c[{int(cx - a), cy}];
        ++c[{int(cx + a), cy}];
        for (int64_t k = 1; x_max(k - 1) >= 1; ++k) {
            const int64_t hi = std::max(x_max(k), x_max(k - 1) - 1), lo = std::max<int64_t>(x_max(k), 0);
            for (int64_t x = hi; x >= lo; --x) pass(k, x);
        }
        return c;
    }
};

class CircleTest : public ::testing::Test {
protected:
    void SetUp() override { open(GFX_NULL_SCREEN); }
    void TearDown() override {
        gfx::draw::set_force_row_formula(false);
        gfx::draw::set_row_table_alloc_failure(false);
        gfx_screen_set(0, 0, 0, 0, 0);
    }
    void open(int32_t flags) {
        setenv("ZRGFX", "null", 1);
        ASSERT_EQ(gfx_screen_set(18, 32, 2, flags, 0), 0);
        ctx = gfx_context();
        clear();
    }
    void blending() {
        gfx_screen_set(0, 0, 0, 0, 0);
        open(GFX_ALPHA_BLEND);
    }
    void clear() {
        for (int p = 0; p < ctx->page_count; ++p) std::memset(ctx->pages[p], 0, size_t(ctx->pitch) * ctx->h);
        std::memset(ctx->dirty, 0, size_t(ctx->h));
    }
    uint32_t at(int x, int y, int page = 0) const {
        return reinterpret_cast<const uint32_t*>(ctx->pages[page])[y * ctx->w + x];
    }
    size_t lit_count() const {
        size_t n = 0;
        for (int i = 0; i < ctx->w * ctx->h; ++i) n += reinterpret_cast<const uint32_t*>(ctx->pages[0])[i] != 0;
        return n;
    }
    Pixels lit() const {
        Pixels p;
        for (int y = 0; y < ctx->h; ++y)
            for (int x = 0; x < ctx->w; ++x)
                if (at(x, y)) p.insert({x, y});
        return p;
    }
    // Writes per pixel, read back from half-red blends over black, within
    // the given rows and columns (the whole screen by default).
    Counts writes(int x0 = 0, int y0 = 0, int x1 = 1 << 20, int y1 = 1 << 20) const {
        Counts c;
        for (int y = std::max(y0, 0); y <= std::min(y1, ctx->h - 1); ++y)
            for (int x = std::max(x0, 0); x <= std::min(x1, ctx->w - 1); ++x) {
                const uint32_t r = (at(x, y) >> 16) & 0xFF;
                if (!r) continue;
                int n = 1;
                while (n < 9 && red_after(n) != r) ++n;
                c[{x, y}] = n;
            }
        return c;
    }
    std::vector<uint32_t> snapshot() const { return probe::snapshot(ctx); }
    std::vector<int> dirty_rows() const { return probe::dirty_rows(ctx); }
    static std::vector<int> range(int a, int b) { return probe::range(a, b); }
    // The picture around (cx, cy) as text, '#' for lit pixels.
    std::string picture(int cx, int cy, int r) const {
        std::string s;
        for (int y = cy - r; y <= cy + r; ++y) {
            for (int x = cx - r; x <= cx + r; ++x) s += at(x, y) ? '#' : '.';
            s += '\n';
        }
        return s;
    }
    void full(float x, float y, float r, bool filled, uint32_t color = kWhite, float aspect = 0) {
        gfx_circle(nullptr, x, y, r, color, aspect, 0, kFullEnd, filled, coord_abs);
    }
    void arc(float x, float y, float r, float start, float end, uint32_t color = kWhite) {
        gfx_circle(nullptr, x, y, r, color, 0, start, end, 0, coord_abs);
    }
    // Pixels of a filled ellipse from the reference, clipped to the screen.
    Pixels reference_fill(int cx, int cy, int64_t a, int64_t b) const {
        Pixels p;
        const auto w = Reference{a, b}.widths();
        for (size_t k = 0; k < w.size(); ++k)
            for (int y : {cy + int(k), cy - int(k)})
                for (int64_t x = cx - w[k]; x <= cx + w[k]; ++x)
                    if (x >= 0 && x < ctx->w && y >= 0 && y < ctx->h) p.insert({int(x), y});
        return p;
    }

    GfxContext* ctx = nullptr;
};

// ---- full ellipses -----------------------------------------------------------

TEST_F(CircleTest, SmallCirclesMatchHandDrawnPictures) {
    struct Case {
        float r;
        bool filled;
        const char* want;
    };
    const Case cases[] = {
        {1, true, ".....\n..#..\n.###.\n..#..\n.....\n"},
        {1, false, ".....\n..#..\n.#.#.\n..#..\n.....\n"},
        {2, true, "..#..\n.###.\n#####\n.###.\n..#..\n"},
        {2, false, "..#..\n.#.#.\n#...#\n.#.#.\n..#..\n"},
        {3, true, "..###..\n.#####.\n#######\n#######\n#######\n.#####.\n..###..\n"},
        {3, false, "..###..\n.#...#.\n#.....#\n#.....#\n#.....#\n.#...#.\n..###..\n"},
    };
    for (const Case& c : cases) {
        clear();
        full(50, 40, c.r, c.filled);
        const int half = c.r < 2 ? 2 : int(c.r);
        EXPECT_EQ(picture(50, 40, half), c.want) << c.r << (c.filled ? " filled" : " outline");
        EXPECT_EQ(lit().size(), size_t(std::count(c.want, c.want + std::strlen(c.want), '#')));
    }
}

TEST_F(CircleTest, FractionalRadiusTruncatesTheOuterSpan) {
    full(100, 100, 10.5f, false);  // trunc(89.5) and trunc(110.5)
    EXPECT_NE(at(89, 100), 0u);
    EXPECT_NE(at(110, 100), 0u);
    EXPECT_EQ(at(111, 100), 0u);
    EXPECT_EQ(at(88, 100), 0u);
    clear();
    full(5, 100, 10.5f, true);  // trunc(-5.5) = -5, trunc(15.5) = 15
    EXPECT_NE(at(15, 100), 0u);
    EXPECT_EQ(at(16, 100), 0u);
}

TEST_F(CircleTest, OutlineOfRadiusTenReachesItsExtremes) {
    full(100, 100, 10, false);
    EXPECT_NE(at(90, 100), 0u);
    EXPECT_NE(at(110, 100), 0u);
    EXPECT_NE(at(100, 90), 0u);
    EXPECT_NE(at(100, 110), 0u);
    EXPECT_EQ(at(89, 100), 0u);
    EXPECT_EQ(at(100, 89), 0u);
    EXPECT_EQ(at(100, 100), 0u);
}

TEST_F(CircleTest, FilledCirclesMatchTheReferenceAndFillEachPixelOnce) {
    blending();
    for (int r = 1; r <= 150; r += r < 60 ? 1 : 9) {
        clear();
        full(320, 240, float(r), true, kHalfRed);
        const Counts got = writes(320 - r - 2, 240 - r - 2, 320 + r + 2, 240 + r + 2);
        const Pixels want = reference_fill(320, 240, r, r);
        ASSERT_EQ(got.size(), want.size()) << r;
        for (const auto& [p, n] : got) {
            ASSERT_TRUE(want.count(p)) << r << " at " << p.first << "," << p.second;
            ASSERT_EQ(n, 1) << r << " at " << p.first << "," << p.second;
        }
    }
}

TEST_F(CircleTest, OutlinesMatchTheReferenceWriteForWrite) {
    blending();
    for (int r = 1; r <= 120; r += 7) {
        clear();
        full(320, 240, float(r), false, kHalfRed);
        const Counts want = Reference{r, r}.outline(320, 240);
        EXPECT_EQ(writes(), want) << r;
    }
}

// The glow's large rings: the midpoint terms need an exact b2 * rx (a float
// product would misplace rows on several of these radii).
TEST_F(CircleTest, GlowRadiiAreExact) {
    constexpr int kSize = 1343, kC = 671;
    std::vector<uint8_t> image(32 + size_t(kSize) * kSize * 4);
    const ImageHeader hdr{7, 4, kSize, kSize, kSize * 4, {0, 0, 0}};
    std::memcpy(image.data(), &hdr, sizeof hdr);
    for (int r : {542, 558, 606, 614, 646, 670, 2, 100, 333}) {
        std::fill(image.begin() + 32, image.end(), 0);
        gfx_circle(image.data(), kC, kC, float(r), kWhite, 0, 0, kFullEnd, 0, coord_abs);
        Pixels got, want;
        for (const auto& [p, n] : Reference{r, r}.outline(kC, kC)) want.insert(p);
        const auto* px = reinterpret_cast<const uint32_t*>(image.data() + 32);
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                if (px[size_t(y) * kSize + x]) got.insert({x, y});
        EXPECT_EQ(got, want) << r;
    }
}

// The outline loop transcribed plainly: every pass of the midpoint loop
// runs to the end and every point is clipped on its own. Writes per pixel.
Counts plain_outline(const gfx::draw::ViewRect& v, int64_t cx, int64_t cy, float rx, float ry) {
    Counts c;
    auto put = [&](int64_t x, int64_t y) {
        if (y >= v.top && y <= v.bottom && x >= v.left && x <= v.right) ++c[{int(x), int(y)}];
    };
    int64_t xl = int64_t(std::trunc(double(cx) - double(rx))), xr = int64_t(std::trunc(double(cx) + double(rx)));
    int64_t yd = cy, yu = cy;
    put(xl, cy);
    put(xr, cy);
    const int64_t a2 = int64_t(double(rx) * double(rx)), b2 = int64_t(double(ry) * double(ry));
    const auto t = int64_t((long double)b2 * (long double)rx);  // exact for these radii
    int64_t e = t, d = 0, g = 2 * t, x = int64_t(rx);
    while (x > 0) {
        bool down_only = false;
        if (e > 0) {
            ++yd, --yu, d += 2 * a2, e -= d;
            down_only = e > 0;
        }
        if (!down_only) --x, ++xl, --xr, g -= 2 * b2, e += g;
        put(xl, yd);
        put(xr, yd);
        put(xl, yu);
        put(xr, yu);
    }
    return c;
}

// Outlines skip the passes and points that lie outside the view; what they
// draw must be what the whole loop draws, clipped point by point: glow rings
// much larger than the screen, centres inside and far outside the view on
// every side, fractional radii, ellipses and small views.
TEST_F(CircleTest, OutlineCutByTheViewEqualsTheWholeLoopClipped) {
    GfxDrawState* st = gfx_get_draw_state();
    auto semi_axes = [](float r, float aspect) {
        if (aspect == 0) aspect = 1;  // this 640 x 480 screen
        return aspect > 1 ? std::pair{r / aspect, r} : std::pair{r, r * aspect};
    };
    struct Case {
        float x, y, r, aspect;
        int view[4];  // x, y, w, h; w = 0 for the whole screen
    };
    std::vector<Case> cases;
    for (int r = 670; r > 0; r -= 2) cases.push_back({20, 220, float(r), 0, {}});
    for (int r = 671; r > 0; r -= 29) cases.push_back({20, 220, float(r), 0, {100, 50, 300, 200}});
    uint32_t seed = 12345;
    auto pick = [&](int lo, int hi) {
        seed = seed * 1103515245u + 12345u;
        return lo + int((seed >> 8) % uint32_t(hi - lo + 1));
    };
    const float aspects[] = {0, 0, 0.5f, 2, 0.3f, 1.7f, -0.5f};
    for (int i = 0; i < 400; ++i) {
        Case c{float(pick(-900, 1500)), float(pick(-800, 1300)), float(pick(1, 1000)), aspects[pick(0, 6)], {}};
        if (pick(0, 2) == 0) c.r += float(pick(1, 9)) / 10;
        if (pick(0, 2) == 0) {
            c.view[0] = pick(0, 600), c.view[1] = pick(0, 440);
            c.view[2] = pick(1, 640 - c.view[0]), c.view[3] = pick(1, 480 - c.view[1]);
        }
        cases.push_back(c);
    }
    std::vector<uint32_t> expected(size_t(ctx->w) * ctx->h);
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        clear();
        st->view_x = c.view[0], st->view_y = c.view[1];
        st->view_w = c.view[2] ? c.view[2] : 640, st->view_h = c.view[2] ? c.view[3] : 480;
        full(c.x, c.y, c.r, false, kWhite, c.aspect);
        const auto [rx, ry] = semi_axes(c.r, c.aspect);
        const Counts want = plain_outline(gfx::draw::view_rect(st), int64_t(gfx::draw::pixel_x(st, c.x)),
                                          int64_t(gfx::draw::pixel_y(st, c.y)), rx, ry);
        std::fill(expected.begin(), expected.end(), 0u);
        for (const auto& [p, n] : want) expected[size_t(p.second) * ctx->w + size_t(p.first)] = kWhite;
        ASSERT_TRUE(std::memcmp(ctx->pages[0], expected.data(), expected.size() * 4) == 0) << "case " << i << ": " << c.x << "," << c.y << " r " << c.r
                                            << " aspect " << c.aspect << " view " << st->view_x << ","
                                            << st->view_y << " " << st->view_w << "x" << st->view_h;
    }
    // Write for write with a blending colour, whose puts go through the
    // pixel routine instead of plain stores.
    blending();
    st = gfx_get_draw_state();
    for (size_t i = 0; i < cases.size(); i += 17) {
        const Case& c = cases[i];
        clear();
        st->view_x = c.view[0], st->view_y = c.view[1];
        st->view_w = c.view[2] ? c.view[2] : 640, st->view_h = c.view[2] ? c.view[3] : 480;
        full(c.x, c.y, c.r, false, kHalfRed, c.aspect);
        const auto [rx, ry] = semi_axes(c.r, c.aspect);
        EXPECT_EQ(writes(), plain_outline(gfx::draw::view_rect(st), int64_t(gfx::draw::pixel_x(st, c.x)),
                                          int64_t(gfx::draw::pixel_y(st, c.y)), rx, ry))
            << "case " << i;
    }
}

TEST_F(CircleTest, PartlyVisibleFilledCircleFillsEachVisibleRowOnce) {
    blending();
    struct Case {
        float x, y, r;
    };
    for (Case c : {Case{5, 5, 300}, Case{630, 470, 40}, Case{320, -100, 150}, Case{-100, 240, 400}}) {
        clear();
        full(c.x, c.y, c.r, true, kHalfRed);
        const Counts got = writes();
        const Pixels want = reference_fill(int(c.x), int(c.y), int64_t(c.r), int64_t(c.r));
        ASSERT_EQ(got.size(), want.size()) << c.x << "," << c.y;
        for (const auto& [p, n] : got) {
            ASSERT_EQ(n, 1);
            ASSERT_TRUE(want.count(p));
        }
    }
}

// The per-row formula that serves ellipses too large for the 64-bit loop
// gives the loop's pixels, write for write, where both apply.
TEST_F(CircleTest, RowFormulaMatchesTheLoop) {
    blending();
    struct Case {
        float r, aspect;
    };
    std::vector<Case> cases;
    for (int r = 1; r <= 60; ++r) cases.push_back({float(r), 0});
    // Integral semi-axes only: r / 2, r / 3, r * 0.5 and r * 0.25 are exact.
    for (int r = 2; r <= 80; r += 6) cases.push_back({float(r), 0.5f}), cases.push_back({float(r), 2});
    for (int r = 3; r <= 90; r += 9) cases.push_back({float(r), 3});
    for (int r = 4; r <= 96; r += 12) cases.push_back({float(r), 0.25f});
    // On a 200 x 150 image: centred, near corners, left of it, below it.
    const int w = 200, h = 150;
    std::vector<uint8_t> image(32 + size_t(w) * h * 4);
    const ImageHeader hdr{7, 4, w, h, w * 4, {0, 0, 0}};
    std::memcpy(image.data(), &hdr, sizeof hdr);
    const float centres[][2] = {{100, 75}, {3, 4}, {196, 147}, {-20, 75}, {100.4f, 170}};
    auto draw = [&](const Case& c, const float* ctr, bool filled, bool formula) {
        std::fill(image.begin() + 32, image.end(), 0);
        gfx::draw::set_force_row_formula(formula);
        gfx_circle(image.data(), ctr[0], ctr[1], c.r, kHalfRed, c.aspect, 0, kFullEnd, filled, coord_abs);
        gfx::draw::set_force_row_formula(false);
        return image;
    };
    for (const Case& c : cases)
        for (const auto& ctr : centres)
            for (bool filled : {true, false})
                ASSERT_EQ(draw(c, ctr, filled, false), draw(c, ctr, filled, true))
                    << c.r << " aspect " << c.aspect << " at " << ctr[0] << "," << ctr[1]
                    << (filled ? " filled" : " outline");
    // Dirty rows are the same on the screen.
    for (bool formula : {false, true}) {
        clear();
        gfx::draw::set_force_row_formula(formula);
        full(320, 470, 40, true, kHalfRed);
        gfx::draw::set_force_row_formula(false);
        EXPECT_EQ(dirty_rows(), range(430, 479));
    }
}

TEST_F(CircleTest, AspectSelectsTheSemiAxes) {
    full(100, 100, 40, false, kWhite, 2);  // rx 20, ry 40
    EXPECT_NE(at(80, 100), 0u);
    EXPECT_NE(at(120, 100), 0u);
    EXPECT_NE(at(100, 60), 0u);
    EXPECT_NE(at(100, 140), 0u);
    clear();
    full(100, 100, 40, false, kWhite, 0.5f);  // rx 40, ry 20
    EXPECT_NE(at(60, 100), 0u);
    EXPECT_NE(at(140, 100), 0u);
    EXPECT_NE(at(100, 80), 0u);
    EXPECT_NE(at(100, 120), 0u);
    clear();
    full(200, 200, 37, true, kWhite, 0);  // the default is exactly 1 on 640 x 480
    const auto by_default = snapshot();
    clear();
    full(200, 200, 37, true, kWhite, 1);
    EXPECT_EQ(by_default, snapshot());
}

TEST(CircleAspectTest, DefaultAspectFollowsTheScreenShape) {
    setenv("ZRGFX", "null", 1);
    ASSERT_EQ(gfx_screen_set_size(320, 200, 32, 1, GFX_NULL_SCREEN, 0), 0);
    GfxContext* ctx = gfx_context();
    auto page = [&] {
        const auto* p = reinterpret_cast<const uint32_t*>(ctx->pages[0]);
        std::vector<uint32_t> v(p, p + ctx->w * ctx->h);
        std::memset(ctx->pages[0], 0, size_t(ctx->pitch) * ctx->h);
        return v;
    };
    std::memset(ctx->pages[0], 0, size_t(ctx->pitch) * ctx->h);
    gfx_circle(nullptr, 160, 100, 60, kWhite, 0, 0, kFullEnd, 0, coord_abs);
    const auto by_default = page();
    gfx_circle(nullptr, 160, 100, 60, kWhite, 200.0f / 320.0f * 4.0f / 3.0f, 0, kFullEnd, 0, coord_abs);
    EXPECT_EQ(by_default, page());
    // ry = 60 * 0.8333333 = 50: the ring reaches rows 50 and 150.
    EXPECT_NE(by_default[50 * 320 + 160], 0u);
    EXPECT_NE(by_default[150 * 320 + 160], 0u);
    EXPECT_NE(by_default[100 * 320 + 100], 0u);
    gfx_screen_set(0, 0, 0, 0, 0);
}

TEST_F(CircleTest, TinySemiAxesDrawOnlyTheCentreRow) {
    full(100, 100, 10, true, kWhite, 20);  // rx 0.5, ry 10
    EXPECT_EQ(lit(), (Pixels{{99, 100}, {100, 100}}));
    clear();
    full(100, 100, 10, false, kWhite, 20);
    EXPECT_EQ(lit(), (Pixels{{99, 100}, {100, 100}}));
    clear();
    // ry 0 (the product underflows): the row is drawn as a filled one.
    full(100, 100, 0.25f, false, kWhite, 1e-45f);
    EXPECT_EQ(lit(), (Pixels{{99, 100}, {100, 100}}));
    clear();
    // |ry| below 1 with a long rx: passes walk the centre row inwards.
    blending();
    full(100, 100, 4, false, kHalfRed, 0.1f);  // rx 4, ry 0.4
    const Counts got = writes();
    EXPECT_EQ(got.at({96, 100}), 1);
    EXPECT_EQ(got.at({104, 100}), 1);
    EXPECT_EQ(got.at({97, 100}), 2);
    EXPECT_EQ(got.at({100, 100}), 4);  // x = 0 from both sides, two rows
    EXPECT_EQ(got.size(), 9u);
}

TEST_F(CircleTest, NonPositiveOrInvalidArgumentsDrawNothing) {
    GfxDrawState* s = gfx_get_draw_state();
    s->last_x = 7;
    s->last_y = 9;
    for (float r : {0.0f, -5.0f, kNaN, -kInf}) full(100, 100, r, true);
    EXPECT_EQ(s->last_x, 7.0f);
    EXPECT_EQ(s->last_y, 9.0f);
    full(kNaN, 100, 10, true);
    full(100, kNaN, 10, false);
    full(100, 100, 10, true, kWhite, kNaN);
    arc(kNaN, 100, 10, 0, 1);
    arc(100, 100, 10, kNaN, 1);
    arc(100, 100, 10, 0, kNaN);
    arc(100, 100, 10, -kNaN, -kInf);
    arc(100, 100, 10, 0, kInf);
    EXPECT_TRUE(lit().empty());
    EXPECT_TRUE(dirty_rows().empty());
}

// ---- arcs ---------------------------------------------------------------------

TEST_F(CircleTest, OnlyTheExactEndAngleSelectsTheFullEllipse) {
    gfx_circle(nullptr, 100, 100, 10, kWhite, 0, -0.0f, kFullEnd, 1, coord_abs);
    EXPECT_NE(at(100, 100), 0u);
    clear();
    gfx_circle(nullptr, 100, 100, 10, kWhite, 0, 0, 6.28f, 1, coord_abs);
    EXPECT_EQ(at(100, 100), 0u);  // an arc, never filled
    EXPECT_NE(at(110, 100), 0u);
    EXPECT_NE(at(90, 100), 0u);
    EXPECT_NE(at(100, 90), 0u);
    clear();
    // The float nearest to 2 pi exceeds the double 2 pi, so normalising
    // moves start a turn on, onto end: the arc is its one point at angle 0.
    gfx_circle(nullptr, 100, 100, 10, kWhite, 0, 0, kNearest2Pi, 1, coord_abs);
    EXPECT_EQ(lit(), (Pixels{{110, 100}}));
}

TEST_F(CircleTest, QuarterArcRunsCounterClockwise) {
    arc(100, 100, 10, 0, 1.5707964f);
    const Pixels got = lit();
    EXPECT_TRUE(got.count({110, 100}));
    EXPECT_TRUE(got.count({100, 90}));
    EXPECT_GE(got.size(), 12u);
    for (const auto& [x, y] : got) {
        EXPECT_GE(x, 100);
        EXPECT_LE(y, 100);
        const double d = std::hypot(x - 100.0, y - 100.0);
        EXPECT_TRUE(d > 9.2 && d < 10.8) << x << "," << y;
    }
    EXPECT_EQ(dirty_rows(), range(90, 100));
}

TEST_F(CircleTest, ArcWrapsThroughZero) {
    arc(200, 200, 30, 5, 1);
    EXPECT_NE(at(230, 200), 0u);  // angle 0 lies on the arc
    EXPECT_EQ(at(170, 200), 0u);  // angle pi does not
    const auto wrapped = snapshot();
    clear();
    arc(200, 200, 30, 5, float(1.0 + 6.283185307179586));
    EXPECT_EQ(wrapped, snapshot());
}

TEST_F(CircleTest, NegativeAnglesDrawRadiiFirst) {
    gfx_circle(nullptr, 100, 100, 50, kWhite, 0, -0.5f, -1.0f, 0, coord_abs);
    const auto got = snapshot();
    // Radius ends: (100 + round(43.88), 100 - round(23.97)) and (127, 58).
    EXPECT_EQ(gfx_get_draw_state()->last_x, 127.0f);
    EXPECT_EQ(gfx_get_draw_state()->last_y, 58.0f);
    EXPECT_NE(at(100, 100), 0u);
    EXPECT_NE(at(137, 66), 0u);   // on the arc at 0.75 rad
    EXPECT_EQ(at(104, 50), 0u);   // 1.5 rad is outside the arc
    clear();
    gfx_line(nullptr, 100, 100, 144, 76, kWhite, 0, 0xFFFF, 0);
    gfx_line(nullptr, 100, 100, 127, 58, kWhite, 0, 0xFFFF, 0);
    arc(100, 100, 50, 0.5f, 1.0f);
    EXPECT_EQ(got, snapshot());
}

TEST_F(CircleTest, RadiiUseTheCentreAsPassedAndTheColourFlag) {
    GfxDrawState* s = gfx_get_draw_state();
    s->fg_color = 0x00C0FFEEu;
    s->last_x = 10;
    s->last_y = 20;
    // Relative centre: the arc is drawn around (110, 120), the radius at
    // 0.25 rad runs from (100, 100) as passed to (100 + 19, 100 - 5).
    gfx_circle(nullptr, 100, 100, 20, kWhite, 0, -0.25f, 1, 0, coord_rel | GFX_COLOR_OMITTED);
    EXPECT_EQ(at(100, 100), 0x00C0FFEEu);
    EXPECT_EQ(at(119, 95), 0x00C0FFEEu);
    EXPECT_EQ(at(129, 115), 0x00C0FFEEu);  // arc start around the resolved centre
    EXPECT_EQ(at(110, 120), 0u);
    EXPECT_EQ(s->last_x, 119.0f);  // the end of the radius
    EXPECT_EQ(s->last_y, 95.0f);
    clear();
    gfx_circle(nullptr, 100, 100, 20, kWhite, 0, -0.0f, 1, 0, coord_abs);  // -0 is no radius
    EXPECT_EQ(at(100, 100), 0u);
    EXPECT_EQ(s->last_x, 100.0f);
}

TEST_F(CircleTest, CircleSetsTheLastPointToTheCentre) {
    GfxDrawState* s = gfx_get_draw_state();
    full(33.5f, 44.25f, 5, false);
    EXPECT_EQ(s->last_x, 33.5f);
    EXPECT_EQ(s->last_y, 44.25f);
    gfx_circle(nullptr, 1, 1, 5, kWhite, 0, 0, kFullEnd, 0, coord_rel);
    EXPECT_EQ(s->last_x, 34.5f);
    EXPECT_EQ(s->last_y, 45.25f);
}

// ---- dirty rows and targets ---------------------------------------------------

TEST_F(CircleTest, DirtyRowsFollowTheClampedExtent) {
    full(100, 100, 10, true);
    EXPECT_EQ(dirty_rows(), range(90, 110));
    clear();
    full(100, 5, 10, false);
    EXPECT_EQ(dirty_rows(), range(0, 15));
    clear();
    full(100, 470, 20, true, kWhite, 0.5f);  // ry 10
    EXPECT_EQ(dirty_rows(), range(460, 479));
    clear();
    gfx_page_set(1, 0);
    full(100, 100, 10, true);
    arc(100, 100, 10, 0, 3);
    EXPECT_TRUE(dirty_rows().empty());
    EXPECT_NE(at(100, 100, 1), 0u);
}

TEST_F(CircleTest, ImageTargetsAtEveryDepth) {
    struct Case {
        int bpp;
        uint32_t want;
    };
    for (Case c : {Case{1, 0x34u}, Case{2, 0xF806u}, Case{4, 0xFFFF0034u}}) {
        // A new buffer may reuse the last one's address: start afresh.
        gfx_select_target(gfx_get_draw_state(), nullptr);
        const int w = 40, h = 30, pitch = (w * c.bpp + 15) & ~15;
        std::vector<uint8_t> im(32 + size_t(pitch) * h);
        const ImageHeader hdr{7, c.bpp, w, h, pitch, {0, 0, 0}};
        std::memcpy(im.data(), &hdr, sizeof hdr);
        gfx_circle(im.data(), 35, 15, 10, 0xFFFF0034u, 0, 0, kFullEnd, 1, coord_abs);
        auto px = [&](int x, int y) {
            uint32_t v = 0;
            std::memcpy(&v, im.data() + 32 + size_t(y) * pitch + size_t(x) * c.bpp, size_t(c.bpp));
            return v;
        };
        for (int x = 25; x < 40; ++x) EXPECT_EQ(px(x, 15), c.want) << c.bpp << " x " << x;
        EXPECT_EQ(px(24, 15), 0u);
        EXPECT_EQ(px(35, 5), c.want);
        EXPECT_EQ(px(35, 4), 0u);
        EXPECT_TRUE(lit().empty());
    }
    gfx_select_target(gfx_get_draw_state(), nullptr);
    std::vector<uint8_t> compact(4 + 16 * 16 * 4);
    const uint16_t words[2] = {16 << 3 | 4, 16};
    std::memcpy(compact.data(), words, sizeof words);
    gfx_circle(compact.data(), 8, 8, 3, kWhite, 0, 0, kFullEnd, 0, coord_abs);
    uint32_t v = 0;
    std::memcpy(&v, compact.data() + 4 + (8 * 16 + 11) * 4, 4);
    EXPECT_EQ(v, kWhite);
}

// Filled ellipses on views taller than the stack table need a heap table;
// if it cannot be had, nothing is drawn.
TEST_F(CircleTest, RowTableAllocationFailureDrawsNothing) {
    const int w = 4, h = 5000, pitch = 16;
    std::vector<uint8_t> im(32 + size_t(pitch) * h);
    const ImageHeader hdr{7, 1, w, h, pitch, {0, 0, 0}};
    std::memcpy(im.data(), &hdr, sizeof hdr);
    auto count = [&] {
        size_t n = 0;
        for (size_t i = 32; i < im.size(); ++i) n += im[i] != 0;
        return n;
    };
    gfx::draw::set_row_table_alloc_failure(true);
    gfx_circle(im.data(), 2, 2500, 2400, 0xFF000001u, 0, 0, kFullEnd, 1, coord_abs);
    EXPECT_EQ(count(), 0u);
    gfx::draw::set_row_table_alloc_failure(false);
    gfx_circle(im.data(), 2, 2500, 2400, 0xFF000001u, 0, 0, kFullEnd, 1, coord_abs);
    EXPECT_EQ(count(), size_t(4 * 4801));
}

// ---- extreme arguments ------------------------------------------------------------

TEST_F(CircleTest, FarCentresWithRadiiReachingIntoTheView) {
    // 1e9 + 100 is 1000000128 as a float: the boundary crosses column 128.
    Pixels band, column;
    for (int y = 0; y < 480; ++y) {
        column.insert({128, y});
        for (int x = 0; x <= 128; ++x) band.insert({x, y});
    }
    full(-1e9f, 240, 1e9f + 100, true);
    EXPECT_EQ(lit(), band);
    clear();
    full(-1e9f, 240, 1e9f + 100, false);
    EXPECT_EQ(lit(), column);
    clear();
    // Within the 64-bit loop's range: same answer from loop and formula.
    full(-1e6f, 240, 1e6f + 50, true);
    const auto loop = snapshot();
    EXPECT_EQ(at(50, 0), kWhite);
    EXPECT_EQ(at(51, 479), 0u);
    clear();
    gfx::draw::set_force_row_formula(true);
    full(-1e6f, 240, 1e6f + 50, true);
    gfx::draw::set_force_row_formula(false);
    EXPECT_EQ(loop, snapshot());
    clear();
    // A huge circle seen from above: its top row is 128.
    full(320, 1e9f + 128, 1e9f, true);
    EXPECT_EQ(at(320, 127), 0u);
    EXPECT_EQ(at(320, 128), kWhite);
    EXPECT_EQ(at(0, 479), kWhite);
}

TEST_F(CircleTest, HugeAndInfiniteRadiiCoverOrMissTheView) {
    const size_t all = 640 * 480;
    struct Case {
        float x, y, r;
        bool filled;
        size_t want;
    };
    const Case cases[] = {
        {320, 240, kInf, true, all},      {320, 240, kInf, false, 0},
        {320, 240, 1e30f, true, all},     {320, 240, 1e30f, false, 0},
        {320, 240, 3e38f, true, all},     {1e20f, 240, 1e21f, true, all},
        {1e20f, 240, 1e19f, true, 0},     {1e30f, 1e30f, 1e30f, true, 0},
        {kInf, 240, 10, true, 0},         {-kInf, 240, kInf, true, 0},
        {1e30f, 240, 10, true, 0},        {-3e9f, 240, 1e6f, false, 0},
    };
    for (const Case& c : cases) {
        clear();
        full(c.x, c.y, c.r, c.filled);
        EXPECT_EQ(lit_count(), c.want) << c.x << "," << c.y << " r " << c.r << (c.filled ? " filled" : "");
    }
    clear();
    full(320, 240, 1e30f, true, kWhite, 1e-20f);  // ry 1e10: a band over the whole view
    EXPECT_EQ(lit_count(), all);
    clear();
    full(320, 240, 100, true, kWhite, -kInf);  // ry -inf: an endless vertical band
    EXPECT_EQ(lit_count(), size_t(201 * 480));
}

TEST_F(CircleTest, ArcsWithExtremeRadiiOrAnglesEnd) {
    arc(320, 240, kInf, 0, 1);
    arc(320, 240, 1e30f, 0, 1);
    EXPECT_TRUE(lit().empty());
    // Through angle 0 of a huge circle whose right edge is column 128: the
    // float step stalls right away, the walk goes on in double.
    arc(-1e8f, 240, 1e8f + 128, 6.2821856f, 0.001f);
    EXPECT_GE(lit().size(), 400u);
    for (const auto& [x, y] : lit()) EXPECT_TRUE(x == 127 || x == 128) << x << "," << y;
    clear();
    arc(320, 240, 100, 1e6f, 1e6f + 0.5f);  // the float step stalls at this angle
    EXPECT_FALSE(lit().empty());
    for (const auto& [x, y] : lit()) {
        const double d = std::hypot(x - 320.0, y - 240.0);
        EXPECT_TRUE(d > 98.5 && d < 101.5) << x << "," << y;
    }
    clear();
    arc(320, 240, 100, 1e10f, 0);    // the angles cannot be normalised
    arc(320, 240, 100, 1e30f, 1e30f);
    arc(320, 240, 100, -3e38f, -1);  // a radius at an absurd angle, then nothing
    for (const auto& [x, y] : lit()) {
        const double d = std::hypot(x - 320.0, y - 240.0);
        EXPECT_LE(d, 101.0);
    }
}

}  // namespace
