// Screen set-up: modes, sizes, depths, the driver search, allocation
// failures and the drawing-state reset.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/core/context_internal.h"
#include "gfx/gfx.h"

namespace {

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("ZRGFX", "null", 1); }
    void TearDown() override {
        gfx_screen_set(0, 0, 0, 0, 0);
        gfx::set_driver_list({});
        gfx::set_alloc_failure_countdown(0);
    }
};

uint32_t pixel32(const GfxContext* ctx, int page, int x, int y) {
    uint32_t v;
    std::memcpy(&v, ctx->pages[page] + y * ctx->pitch + x * 4, 4);
    return v;
}

TEST_F(ScreenTest, Mode18At32BitsWithFourPages) {
    ASSERT_EQ(gfx_screen_set(18, 32, 4, 0, 0), 0);
    const GfxContext* ctx = gfx_context();
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(ctx->mode_num, 18);
    EXPECT_EQ(ctx->w, 640);
    EXPECT_EQ(ctx->h, 480);
    EXPECT_EQ(ctx->depth, 32);
    EXPECT_EQ(ctx->bpp, 4);
    EXPECT_EQ(ctx->pitch, 2560);
    EXPECT_EQ(ctx->page_count, 4);
    EXPECT_EQ(ctx->scanline_size, 1);
    EXPECT_EQ(ctx->color_mask, 0xFFFFFFFFu);
    EXPECT_EQ(ctx->text_w, 80);
    EXPECT_EQ(ctx->text_h, 30);
    ASSERT_NE(ctx->font, nullptr);
    EXPECT_EQ(ctx->font->w, 8);
    EXPECT_EQ(ctx->font->h, 16);
    EXPECT_STREQ(ctx->driver->name, "Null");
    EXPECT_EQ(ctx->framebuffer, ctx->pages[0]);
    for (int p = 0; p < 4; ++p)
        for (int y : {0, 239, 479})
            for (int x : {0, 320, 639}) EXPECT_EQ(pixel32(ctx, p, x, y), 0xFF000000u) << p << " " << x << " " << y;
    const GfxDrawState* s = gfx_get_draw_state();
    EXPECT_EQ(s->fg_color, 0xFFFFFFFFu);
    EXPECT_EQ(s->bg_color, 0xFF000000u);
    EXPECT_EQ(s->view_w, 640);
    EXPECT_EQ(s->view_h, 480);
    // Every console slot is taken over by the screen.
    const void* const* slots = reinterpret_cast<const void* const*>(rt_hooks());
    for (int i = 0; i < RT_HOOK_COUNT; ++i) EXPECT_NE(slots[i], nullptr) << "slot " << i;
    // Text cells of the work page are blanks in the state's colours.
    ASSERT_NE(ctx->text_cells, nullptr);
    EXPECT_EQ(ctx->text_cells[0][0].ch, 32);
    EXPECT_EQ(ctx->text_cells[0][80 * 30 - 1].fg, 0xFFFFFFFFu);
    EXPECT_EQ(ctx->text_cells[0][0].bg, 0xFF000000u);
}

TEST_F(ScreenTest, DepthRules) {
    struct Case {
        int mode, depth;
        int want_depth, want_bpp;
        uint32_t want_mask;
    };
    const Case cases[] = {
        {18, 0, 8, 1, 0xFF},       {12, 32, 4, 1, 0xF},        {13, 32, 8, 1, 0xFF},
        {14, 32, 32, 4, 0xFFFFFFFF}, {18, 24, 32, 4, 0xFFFFFFFF}, {18, 15, 16, 2, 0xFFFF},
        {18, 16, 16, 2, 0xFFFF},   {18, 12, 8, 1, 0xFF},       {2, 0, 1, 1, 0x1},
        {1, 0, 2, 1, 0x3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " depth " << c.depth);
        ASSERT_EQ(gfx_screen_set(c.mode, c.depth, 1, 0, 0), 0);
        const GfxContext* ctx = gfx_context();
        EXPECT_EQ(ctx->depth, c.want_depth);
        EXPECT_EQ(ctx->bpp, c.want_bpp);
        EXPECT_EQ(ctx->color_mask, c.want_mask);
        EXPECT_EQ(ctx->pitch, ctx->w * c.want_bpp);
    }
    // Mode 2 shows each row twice.
    ASSERT_EQ(gfx_screen_set(2, 0, 1, 0, 0), 0);
    EXPECT_EQ(gfx_context()->scanline_size, 2);
    // A screen for OpenGL drawing is at least 16 bits deep.
    ASSERT_EQ(gfx_screen_set(13, 0, 1, GFX_OPENGL, 0), 0);
    EXPECT_EQ(gfx_context()->depth, 16);
    EXPECT_NE(gfx_context()->flags & GFX_OPENGL_REQUESTED, 0u);
}

TEST_F(ScreenTest, DefaultColoursPerDepth) {
    struct Case {
        int mode, depth;
        uint32_t fg, bg;
    };
    for (const Case& c : {Case{18, 32, 0xFFFFFFFF, 0xFF000000}, Case{18, 16, 0xFFFF, 0}, Case{18, 8, 15, 0},
                          Case{12, 0, 0xF, 0}, Case{11, 0, 1, 0}}) {
        ASSERT_EQ(gfx_screen_set(c.mode, c.depth, 1, 0, 0), 0);
        const GfxDrawState* s = gfx_get_draw_state();
        EXPECT_EQ(s->fg_color, c.fg) << c.mode << "/" << c.depth;
        EXPECT_EQ(s->bg_color, c.bg) << c.mode << "/" << c.depth;
    }
}

TEST_F(ScreenTest, InvalidModesChangeNothing) {
    ASSERT_EQ(gfx_screen_set(18, 32, 2, 0, 0), 0);
    const GfxContext* before = gfx_context();
    const int32_t id = before->id;
    for (int mode : {3, 4, 5, 6, 22, 100, -1, -18}) {
        rt_set_error(0);
        EXPECT_EQ(gfx_screen_set(mode, 32, 2, 0, 0), 1) << mode;
        EXPECT_EQ(gfx_get_error(), 1);
        ASSERT_EQ(gfx_context(), before);
        EXPECT_EQ(gfx_context()->id, id);
    }
    struct Size {
        int w, h, depth;
    };
    for (Size s : {Size{0, 10, 32}, Size{10, 0, 32}, Size{-5, 10, 8}, Size{10, 10, 3}, Size{10, 10, 12},
                   Size{10, 10, 0}, Size{10, 10, 64}, Size{100000, 100000, 32}}) {
        EXPECT_EQ(gfx_screen_set_size(s.w, s.h, s.depth, 1, 0, 0), 1) << s.w << "x" << s.h << "x" << s.depth;
        EXPECT_EQ(gfx_context()->id, id);
    }
}

TEST_F(ScreenTest, HugeSizeLeavesNoScreenOpen) {
    EXPECT_EQ(gfx_screen_set_size(100000, 100000, 32, 4, 0, 0), 1);
    EXPECT_EQ(gfx_context(), nullptr);
    // Within the record's range but far beyond what a page may hold: the
    // old screen is closed first, the new one fails cleanly.
    ASSERT_EQ(gfx_screen_set(18, 32, 4, 0, 0), 0);
    EXPECT_EQ(gfx_screen_set_size(65535, 65535, 32, 4, 0, 0), 1);
    EXPECT_EQ(gfx_get_error(), 1);
    EXPECT_EQ(gfx_context(), nullptr);
    EXPECT_EQ(rt_hooks()->page_set, nullptr);
}

TEST_F(ScreenTest, EveryAllocationFailureLeavesNoScreenAndNoLeak) {
    bool opened = false;
    for (int n = 1; n < 100 && !opened; ++n) {
        gfx::set_alloc_failure_countdown(n);
        int32_t r = gfx_screen_set(18, 32, 4, 0, 0);
        if (r == 0) {
            opened = true;
            EXPECT_NE(gfx_context(), nullptr);
        } else {
            EXPECT_EQ(r, 1) << n;
            EXPECT_EQ(gfx_context(), nullptr) << n;
            EXPECT_EQ(rt_hooks()->page_set, nullptr) << n;
        }
    }
    EXPECT_TRUE(opened);
    gfx::set_alloc_failure_countdown(0);
    // A screen opens normally afterwards.
    EXPECT_EQ(gfx_screen_set(13, 0, 2, 0, 0), 0);
}

TEST_F(ScreenTest, PagesBelowOneGiveOnePage) {
    for (int pages : {0, -3}) {
        ASSERT_EQ(gfx_screen_set(13, 0, pages, 0, 0), 0);
        EXPECT_EQ(gfx_context()->page_count, 1);
    }
}

TEST_F(ScreenTest, ScreenBySize) {
    ASSERT_EQ(gfx_screen_set_size(800, 600, 24, 2, 0, 0), 0);
    const GfxContext* ctx = gfx_context();
    EXPECT_EQ(ctx->mode_num, -1);
    EXPECT_EQ(ctx->w, 800);
    EXPECT_EQ(ctx->h, 600);
    EXPECT_EQ(ctx->depth, 32);
    EXPECT_EQ(ctx->page_count, 2);
    EXPECT_EQ(ctx->text_w, 100);
    EXPECT_EQ(ctx->text_h, 75);
    EXPECT_EQ(ctx->font->h, 8);
    EXPECT_EQ(ctx->default_palette->count, 256);
    // Text sizes beyond 8 bits keep the largest count they can hold.
    ASSERT_EQ(gfx_screen_set_size(4000, 16, 8, 1, 0, 0), 0);
    EXPECT_EQ(gfx_context()->text_w, 255);
    EXPECT_EQ(gfx_context()->text_h, 2);
}

TEST_F(ScreenTest, CloseEmptiesHooksAndIsHarmlessWithoutScreen) {
    ASSERT_EQ(gfx_screen_set(18, 32, 1, 0, 0), 0);
    EXPECT_NE(rt_hooks()->page_copy, nullptr);
    EXPECT_EQ(gfx_screen_set(0, 0, 0, 0, 0), 0);
    EXPECT_EQ(gfx_context(), nullptr);
    const ConsoleHooks* h = rt_hooks();
    const void* const* slots = reinterpret_cast<const void* const*>(h);
    for (int i = 0; i < RT_HOOK_COUNT; ++i) EXPECT_EQ(slots[i], nullptr) << i;
    EXPECT_EQ(gfx_screen_set(0, 0, 0, 0, 0), 0);
    // Page services answer as without a screen.
    EXPECT_EQ(gfx_page_set(0, 0), -1);
    EXPECT_EQ(gfx_page_copy(0, 0), 1);
}

TEST_F(ScreenTest, ExitHandlerClosesTheScreen) {
    ASSERT_EQ(gfx_screen_set(18, 32, 1, 0, 0), 0);
    gfx_screen_exit_handler();
    EXPECT_EQ(gfx_context(), nullptr);
    gfx_screen_exit_handler();  // nothing open: nothing happens
    EXPECT_EQ(gfx_context(), nullptr);
}

TEST_F(ScreenTest, ReopeningResetsTheDrawingState) {
    ASSERT_EQ(gfx_screen_set(18, 32, 2, 0, 0), 0);
    GfxDrawState* s = gfx_get_draw_state();
    const int32_t first = s->id;
    s->last_x = 12.5f;
    s->fg_color = 0x123456;
    ASSERT_EQ(gfx_page_set(1, 1), 0);
    ASSERT_EQ(gfx_screen_set(13, 0, 1, 0, 0), 0);
    s = gfx_get_draw_state();
    EXPECT_GT(s->id, first);
    EXPECT_EQ(s->last_x, 0.0f);
    EXPECT_EQ(s->fg_color, 15u);
    EXPECT_EQ(s->work_page, 0);
    EXPECT_EQ(s->view_w, 320);
    EXPECT_EQ(s->max_h, 200);
    EXPECT_EQ(s->line[199], gfx_context()->pages[0] + 199 * 320);
}

TEST_F(ScreenTest, ScreenSetPages) {
    EXPECT_EQ(gfx_screen_set_pages(18, 0, 0), 0);
    EXPECT_EQ(gfx_context()->page_count, 1);
    // Only one page: page set ignores the numbers and reports the old ones.
    EXPECT_EQ(gfx_screen_set_pages(18, 1, 0), 0);
    EXPECT_EQ(gfx_screen_set_pages(18, 5, 0), -1);
    EXPECT_EQ(gfx_screen_set_pages(3, 0, 0), 1);
}

// ---- The driver search ------------------------------------------------

struct Try {
    std::string name;
    int refresh;
    int flags;
};
std::vector<Try> g_tries;
std::vector<std::string> g_exits;
std::string g_accept;  // name of the driver whose init succeeds
int g_accept_flags = -2;  // if not -2, init succeeds only with these flags
std::string g_title_seen;

template <int N>
struct FakeDriver {
    static const char* name() {
        static const char* names[] = {"DirectX", "GDI", "OpenGL"};
        return names[N];
    }
    static int32_t init(const char* title, int32_t, int32_t, int32_t, int32_t refresh, int32_t flags) {
        g_title_seen = title;
        g_tries.push_back({name(), refresh, flags});
        bool ok = g_accept == name() && (g_accept_flags == -2 || g_accept_flags == flags);
        return ok ? 0 : -1;
    }
    static void exit() { g_exits.push_back(name()); }
    static void set_title(const char* t) { g_title_seen = std::string("set:") + t; }
    static const GfxDriver driver;
};
template <int N>
const GfxDriver FakeDriver<N>::driver = {
    FakeDriver<N>::name(), init, exit, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, set_title, nullptr, nullptr, nullptr, nullptr};

class DriverSearchTest : public ScreenTest {
protected:
    void SetUp() override {
        unsetenv("ZRGFX");
        static const GfxDriver* list[] = {&FakeDriver<0>::driver, &FakeDriver<1>::driver, &FakeDriver<2>::driver};
        gfx::set_driver_list(list);
        g_tries.clear();
        g_exits.clear();
        g_accept.clear();
        g_accept_flags = -2;
    }
};

std::string describe(const std::vector<Try>& tries) {
    std::string s;
    for (const Try& t : tries) s += t.name + "/" + std::to_string(t.refresh) + "/" + std::to_string(t.flags) + " ";
    return s;
}

TEST_F(DriverSearchTest, WithoutNameTwoPassesTogglingFullscreen) {
    EXPECT_EQ(gfx_screen_set(18, 32, 1, 0, 60), 1);
    EXPECT_EQ(gfx_context(), nullptr);
    EXPECT_EQ(rt_hooks()->page_set, nullptr);
    EXPECT_EQ(describe(g_tries),
              "DirectX/60/0 DirectX/0/0 GDI/60/0 GDI/0/0 OpenGL/60/0 OpenGL/0/0 "
              "DirectX/60/1 DirectX/0/1 GDI/60/1 GDI/0/1 OpenGL/60/1 OpenGL/0/1 ");
    EXPECT_EQ(g_exits.size(), 12u);  // every failed init is followed by exit
}

TEST_F(DriverSearchTest, FirstWorkingDriverIsTaken) {
    g_accept = "GDI";
    ASSERT_EQ(gfx_screen_set(18, 32, 1, 0, 0), 0);
    EXPECT_STREQ(gfx_context()->driver->name, "GDI");
    EXPECT_EQ(describe(g_tries), "DirectX/0/0 DirectX/0/0 GDI/0/0 ");
    // Closing calls the driver's exit.
    g_exits.clear();
    gfx_screen_set(0, 0, 0, 0, 0);
    EXPECT_EQ(g_exits, std::vector<std::string>{"GDI"});
}

TEST_F(DriverSearchTest, NamedDriverFourPasses) {
    setenv("ZRGFX", "opengl", 1);
    EXPECT_EQ(gfx_screen_set(18, 32, 1, GFX_FULLSCREEN, 0), 1);
    EXPECT_EQ(describe(g_tries),
              "OpenGL/0/1 OpenGL/0/1 "
              "DirectX/0/1 DirectX/0/1 GDI/0/1 GDI/0/1 OpenGL/0/1 OpenGL/0/1 "
              "OpenGL/0/1 OpenGL/0/1 "
              "DirectX/0/0 DirectX/0/0 GDI/0/0 GDI/0/0 OpenGL/0/0 OpenGL/0/0 ");
}

TEST_F(DriverSearchTest, UnknownNameStillFindsAWorkingDriver) {
    setenv("ZRGFX", "nonesuch", 1);
    g_accept = "OpenGL";
    g_accept_flags = 0;
    ASSERT_EQ(gfx_screen_set(18, 32, 1, 0, 0), 0);
    EXPECT_STREQ(gfx_context()->driver->name, "OpenGL");
}

// ZRGFX values that name no driver: an unknown name, an empty value and a
// 10,000-character one (also one that starts with a driver's name). Each
// gives the tries of the search without a name, and a working driver is
// still found in its pass.
struct BadName {
    const char* label;
    std::string value;
};

class BadDriverNameTest : public DriverSearchTest, public ::testing::WithParamInterface<BadName> {};

TEST_P(BadDriverNameTest, RunsTheSearchWithoutANameAndDoesNotCrash) {
    EXPECT_EQ(gfx_screen_set(18, 32, 1, 0, 60), 1);
    const std::string unnamed = describe(g_tries);

    setenv("ZRGFX", GetParam().value.c_str(), 1);
    g_tries.clear();
    EXPECT_EQ(gfx_screen_set(18, 32, 1, 0, 60), 1);
    EXPECT_EQ(gfx_context(), nullptr);
    EXPECT_EQ(describe(g_tries), unnamed);

    g_accept = "OpenGL";
    g_accept_flags = GFX_FULLSCREEN;  // only the last pass can succeed
    ASSERT_EQ(gfx_screen_set(18, 32, 1, 0, 60), 0);
    EXPECT_STREQ(gfx_context()->driver->name, "OpenGL");
}

INSTANTIATE_TEST_SUITE_P(
    Values, BadDriverNameTest,
    ::testing::Values(BadName{"Unknown", "Vulkan"}, BadName{"Empty", ""},
                      BadName{"TenThousandCharacters", std::string(10000, 'x')},
                      BadName{"DriverNameAndMore", "GDI" + std::string(9997, 'i')}),
    [](const ::testing::TestParamInfo<BadName>& info) { return std::string(info.param.label); });

TEST_F(DriverSearchTest, NullNameCallsNoDriver) {
    for (const char* v : {"null", "NULL", "Null"}) {
        setenv("ZRGFX", v, 1);
        ASSERT_EQ(gfx_screen_set(18, 32, 1, 0, 0), 0);
        EXPECT_STREQ(gfx_context()->driver->name, "Null");
    }
    unsetenv("ZRGFX");
    ASSERT_EQ(gfx_screen_set(18, 32, 1, GFX_NULL_SCREEN, 0), 0);
    EXPECT_TRUE(g_tries.empty());
}

TEST_F(DriverSearchTest, TitleIsProgramNameAndCanBeSet) {
    g_accept = "DirectX";
    ASSERT_EQ(gfx_screen_set(18, 32, 1, 0, 0), 0);
    EXPECT_EQ(g_title_seen, "test_gfx_core");
    std::string long_title(200, 'x');
    gfx_set_window_title(rt_str_temp(long_title.data(), int32_t(long_title.size())));
    EXPECT_EQ(g_title_seen, "set:" + std::string(127, 'x'));
    EXPECT_EQ(rt_str_temps_in_use(), 0);
    EXPECT_STREQ(gfx_window_title(), std::string(127, 'x').c_str());
}

TEST_F(DriverSearchTest, ShapedAddsNoFrameAndNoSwitch) {
    g_accept = "DirectX";
    ASSERT_EQ(gfx_screen_set(18, 32, 1, GFX_SHAPED, 0), 0);
    EXPECT_EQ(g_tries[0].flags, GFX_SHAPED | GFX_NO_FRAME | GFX_NO_SWITCH);
}

}  // namespace
