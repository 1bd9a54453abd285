// The simulation driven without a window: keys are posted into the key
// queue, the mouse comes from a scripted test driver, and pictures are read
// back from the pages.
#include <gtest/gtest.h>

#if !defined(LICHTBOX_TESTS_WITHOUT_FORK)
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/simulation.h"
#include "gfx/core/context_internal.h"
#include "gfx/gfx.h"
#if !defined(LICHTBOX_TESTS_WITHOUT_FORK)
#include "runtime/child_process.h"
#endif

namespace {

using lichtbox::scene;

struct MouseStep {
    int32_t x, y, buttons;
};
struct Seen {
    uint64_t page_hash;   // the shown page when the main loop read the mouse
    uint32_t box_corner;  // its pixel (100, 100)
};

std::vector<MouseStep> g_script;
std::size_t g_next = 0;
std::vector<Seen> g_seen;

uint32_t pixel(int page, int x, int y) {
    uint32_t v;
    const GfxContext* ctx = gfx_context();
    std::memcpy(&v, ctx->pages[page] + y * ctx->pitch + x * 4, 4);
    return v;
}

uint64_t page_hash(int page) {
    const GfxContext* ctx = gfx_context();
    uint64_t h = 1469598103934665603ull;
    for (int i = 0; i < ctx->pitch * ctx->h; ++i) h = (h ^ ctx->pages[page][i]) * 1099511628211ull;
    return h;
}

// Answers each mouse read with the next scripted step; once the script is
// used up, reports the mouse outside the window and posts "e".
int32_t scripted_mouse(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons, int32_t* clip) {
    g_seen.push_back({page_hash(lichtbox::PAGE_SHOWN), pixel(lichtbox::PAGE_SHOWN, 100, 100)});
    MouseStep step{-1, -1, -1};
    if (g_next < g_script.size())
        step = g_script[g_next++];
    else
        gfx_post_key('e');
    *x = step.x, *y = step.y, *buttons = step.buttons, *wheel = 0, *clip = 0;
    return 0;
}

// At screen close (program end) prints what the shown page holds.
bool g_report_at_exit = false;
void report_at_exit() {
    if (!g_report_at_exit) return;
    std::printf("object pixel %08x\n", pixel(lichtbox::PAGE_SHOWN, 236, 200));
    std::fflush(stdout);
}

const GfxDriver kScriptedDriver = {
    "Scripted", [](const char*, int32_t, int32_t, int32_t, int32_t, int32_t) { return 0; },
    report_at_exit, nullptr, nullptr, nullptr, nullptr, scripted_mouse,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};
const GfxDriver kFailingDriver = {
    "Failing", [](const char*, int32_t, int32_t, int32_t, int32_t, int32_t) { return -1; },
    [] {}, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};
const GfxDriver* const kScripted[] = {&kScriptedDriver};
const GfxDriver* const kFailing[] = {&kFailingDriver};

void drain_keys() {
    while (gfx_keyhit()) rt_str_release_temp(gfx_inkey());
}

void post_keys(const std::string& keys) {
    for (unsigned char c : keys) gfx_post_key(c);
}

class SimulationTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ZRGFX", "Scripted", 1);
        gfx::set_driver_list(kScripted);
        ASSERT_EQ(gfx_screen_set(18, 32, 4, 0, 0), 0);
        drain_keys();
        lichtbox::show_start_picture();
        start_hash_ = page_hash(lichtbox::PAGE_SHOWN);
        g_script.clear(), g_next = 0, g_seen.clear();
    }
    void TearDown() override {
        drain_keys();  // the screen's key queue: only while it is open
        gfx_screen_set(0, 0, 0, 0, 0);
        gfx::set_driver_list({});
        setenv("ZRGFX", "null", 1);
    }
    // Runs the main loop over keys and scripted mouse reads; the driver
    // posts "e" once the script is used up.
    static void run(const std::string& keys, std::vector<MouseStep> clicks = {}) {
        g_script = std::move(clicks);
        post_keys(keys);
        lichtbox::main_loop();
    }
    // Every pixel that text at (x, y) sets in the built-in font has colour
    // `color` on `page`, so the text sits exactly there.
    static void expect_text_at(int page, int x, int y, const std::string& text, uint32_t color) {
        std::vector<uint32_t> image(8 + 640 * 480, 0);
        auto* header = reinterpret_cast<ImageHeader*>(image.data());
        *header = {GFX_IMAGE_TYPE_STANDARD, 4, 640, 480, 640 * 4, {}};
        gfx_draw_string(image.data(), float(x), float(y), coord_abs, rt_str_temp_cstr(text.c_str()),
                        0xFFFFFFFF, nullptr, 0, nullptr, nullptr, nullptr);
        int glyph_pixels = 0, wrong = 0;
        for (int py = 0; py < 480; ++py)
            for (int px = 0; px < 640; ++px)
                if (image[8 + py * 640 + px]) ++glyph_pixels, wrong += pixel(page, px, py) != color;
        EXPECT_GT(glyph_pixels, 0) << text;
        EXPECT_EQ(wrong, 0) << '"' << text << "\" at " << x << ", " << y;
    }
    uint64_t start_hash_ = 0;
};

TEST_F(SimulationTest, StartPicture) {
    constexpr uint32_t kBlack = 0xFF000000, kBlue = 0xFF0000FF, kShadow = 0xFF404040;
    struct Probe {
        int page, x, y;
        uint32_t color;
    };
    const Probe probes[] = {
        // object box (220, 180)-(235, 260): black outline, blue inside
        {3, 220, 180, kBlack}, {3, 235, 260, kBlack}, {3, 221, 181, kBlue}, {3, 234, 259, kBlue},
        // rays to (620, 100) and (620, 340), the shadow between them from the seed (237, 220)
        {3, 420, 140, kBlack}, {3, 420, 300, kBlack}, {3, 237, 220, kShadow}, {3, 420, 141, kShadow},
        {3, 420, 299, kShadow}, {3, 610, 103, kShadow},
        // glow: bulb, the ring next to it, rim and the one pixel beyond it (page 0)
        {0, 20, 223, 0xFFFFFF96}, {0, 30, 220, 0xFFFCFD33}, {0, 638, 478, 0xFF959696},
        {0, 639, 478, kBlack}, {0, 639, 477, 0xFF959696},
        // bevels: grey button 1 and green button 7 (left, top, right, bottom)
        {3, 174, 460, 0xFFEAEAEA}, {3, 180, 456, 0xFFF4F4F4}, {3, 194, 460, 0xFF9A9A9A},
        {3, 180, 474, 0xFF6E6E6E}, {3, 340, 460, 0xFF84FF84}, {3, 350, 456, 0xFFC1FFC1},
        {3, 416, 460, 0xFF23B223}, {3, 350, 474, 0xFF198019},
        // info button: yellow paper inside its ring
        {3, 150, 465, 0xFFFFAA}, {3, 148, 465, 0},
    };
    for (const Probe& p : probes)
        EXPECT_EQ(pixel(p.page, p.x, p.y), p.color) << "page " << p.page << " (" << p.x << ", " << p.y << ")";
    EXPECT_NE(pixel(3, 420, 139), kShadow);  // above the upper ray: glow
    // Height ramp: bar i at x = 228 + 5i covers rows 465 - i to 466 + i.
    for (int i = 0; i < 7; ++i) {
        const int x = 228 + 5 * i;
        EXPECT_EQ(pixel(3, x + 1, 465 - i), kBlack) << i;
        EXPECT_EQ(pixel(3, x, 466 + i), kBlack) << i;
        EXPECT_NE(pixel(3, x, 464 - i), kBlack) << i;
    }
    const struct {
        int x, y;
        const char* text;
    } labels[] = {{70, 376, "a    = 200 cm"}, {70, 381, " L-G"},   {370, 376, "a    = 400 cm"},
                  {370, 381, " G-W"},          {270, 400, "a    = 600 cm"}, {270, 406, " L-W"},
                  {240, 212, "h  = 80 cm"},    {240, 217, " G"},    {530, 224, "h  = 240 cm"},
                  {530, 229, " S"},            {3, 213, "L"},       {135, 190, "Gegenstand"},
                  {585, 160, "Wand"}};
    for (const auto& l : labels) expect_text_at(3, l.x, l.y, l.text, 0xFF808080);
    expect_text_at(3, 250, 10, "L I C H T B O X", 0x00000001);  // sprite ink, alpha cleared
    expect_text_at(3, 179, 438, "Gegenstand", 0x00000001);
    expect_text_at(3, 346, 458, "Neustart", kBlack);  // centred: x + 6
    expect_text_at(3, 176, 458, "<-", kBlack);        // x + 2
    // Dimension lines at rows 394 and 419, one pixel inside their ends.
    EXPECT_EQ(pixel(3, 21, 394), 0xFF808080u);
    EXPECT_EQ(pixel(3, 619, 419), 0xFF808080u);
    EXPECT_EQ(pixel(3, 619, 423), 0xFF808080u);
    // Regression guard over the whole picture.
    EXPECT_EQ(start_hash_, 0x3d943c127f38544bull);
}

struct State {
    int32_t object_x, object_h, wall_x;
    bool operator==(const State&) const = default;
};
State state() { return {scene.object_x, scene.object_h, scene.wall_x}; }
void set_state(State s) { scene.object_x = s.object_x, scene.object_h = s.object_h, scene.wall_x = s.wall_x; }

TEST_F(SimulationTest, KeysAndClicksWithinTheirLimits) {
    const MouseStep up{0, 0, 0};
    struct Case {
        const char* name;
        State before;
        std::string keys;
        std::vector<MouseStep> clicks;
        State after;
    } cases[] = {
        {"k stops at 0", {220, 1, 620}, "kk", {}, {220, 0, 620}},
        {"g stops at 200", {220, 198, 620}, "gg", {}, {220, 200, 620}},
        {"g from 199", {220, 199, 620}, "g", {}, {220, 201, 620}},
        {"l stops at 40", {44, 80, 620}, "lll", {}, {40, 80, 620}},
        {"r stops at wall - 40", {578, 80, 620}, "rr", {}, {580, 80, 620}},
        {"n stops at object + 30", {220, 80, 254}, "nnn", {}, {220, 80, 250}},
        {"w stops at 620", {220, 80, 618}, "ww", {}, {220, 80, 620}},
        {"upper-case R", {220, 80, 620}, "RLx", {}, {220, 80, 620}},
        {"button 2", {220, 80, 620}, "", {{200, 457, 1}, {218, 475, 1}}, {224, 80, 620}},
        {"row edges", {220, 80, 620}, "", {{205, 456, 1}, {205, 476, 1}}, {220, 80, 620}},
        {"column edges", {220, 80, 620}, "", {{199, 466, 1}, {219, 466, 1}}, {220, 80, 620}},
        {"left with right", {220, 80, 620}, "", {{205, 466, 3}}, {220, 80, 620}},
        {"button 1 stops at 40", {42, 80, 620}, "", {{180, 466, 1}, {180, 466, 1}}, {40, 80, 620}},
        {"button 3 stops at 0", {220, 1, 620}, "", {{230, 466, 1}, {230, 466, 1}}, {220, 0, 620}},
        {"button 4 stops at 160", {220, 159, 620}, "", {{250, 466, 1}, {250, 466, 1}}, {220, 160, 620}},
        {"buttons 5 and 6", {220, 80, 600}, "", {{290, 466, 1}, {310, 466, 1}, {310, 466, 1}}, {220, 80, 602}},
        {"button without left", {220, 80, 620}, "", {{205, 466, 2}, up}, {220, 80, 620}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        set_state(c.before);
        g_next = 0;
        run(c.keys, c.clicks);
        EXPECT_EQ(state(), c.after);
        drain_keys();
    }
}

TEST_F(SimulationTest, EveryKeyRedrawsAndRestartRestoresTheStartPicture) {
    scene.object_x = 230;  // changed but not drawn: only a redraw shows it
    run("R");
    EXPECT_EQ(pixel(3, 236, 200), 0xFF0000FFu);
    EXPECT_NE(page_hash(3), start_hash_);

    scene.object_h = 0;
    run("x");
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) ASSERT_NE(pixel(3, x, y), 0xFF404040u) << "shadow at " << x << ", " << y;
    expect_text_at(3, 250, 212, "h  = 0 cm", 0xFF808080);
    expect_text_at(3, 530, 224, "h  = 0 cm", 0xFF808080);

    run("", {{345, 466, 1}});  // "Neustart"
    EXPECT_EQ(state(), (State{220, 80, 620}));
    EXPECT_EQ(page_hash(3), start_hash_);
}

TEST_F(SimulationTest, ShadowHeightTiesRoundToEven) {
    // a(L-W) * h / a(L-G) = 430 * 14 / 40 = 150.5 and 404 * 15 / 40 = 151.5
    const struct {
        State s;
        const char* label;
    } cases[] = {{{60, 14, 450}, "h  = 150 cm"}, {{60, 15, 424}, "h  = 152 cm"}};
    for (const auto& c : cases) {
        set_state(c.s);
        lichtbox::draw_scene();
        lichtbox::draw_measurements();
        expect_text_at(3, c.s.wall_x - 90, 224, c.label, 0xFF808080);
    }
}

TEST_F(SimulationTest, InfoScreenStaysUntilTheNextLeftClick) {
    run("", {{156, 465, 1}, {10, 10, 3}, {10, 10, 1}});
    ASSERT_GE(g_seen.size(), 4u);
    EXPECT_EQ(g_seen[0].page_hash, start_hash_);
    EXPECT_EQ(g_seen[1].box_corner, 0x000000FFu);  // the box's blue outline
    EXPECT_EQ(g_seen[2].page_hash, g_seen[1].page_hash);  // both buttons: nothing at all
    EXPECT_EQ(g_seen[3].page_hash, start_hash_);
}

#if !defined(LICHTBOX_TESTS_WITHOUT_FORK)
// The program's ends, in child processes: the exit status and what the
// shown page held when the screen closed.
TEST(ProgramTest, EndsWithStatusZeroOrReportsAMissingScreen) {
    using lichtbox::test::run_child;
    const lichtbox::test::ChildOptions pipes{false, false, "", false, false, ""};
    auto with_driver = [](const GfxDriver* const (&list)[1], const char* zrgfx) {
        gfx::set_driver_list(list);
        if (zrgfx) setenv("ZRGFX", zrgfx, 1); else unsetenv("ZRGFX");
        ::dup2(STDOUT_FILENO, STDERR_FILENO);
        g_script.clear(), g_next = 0;
        g_report_at_exit = true;
    };
    // "e" ends after the pass's redraw: the object moved by "r" is shown.
    auto r = run_child(pipes, [&] {
        with_driver(kScripted, "Scripted");
        post_keys("re");
        lichtbox::program_main(0, nullptr);
        return std::string("returned");
    });
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.output, "object pixel ff0000ff\n");
    // The close code ends at once: a pending change is never drawn.
    r = run_child(pipes, [&] {
        with_driver(kScripted, "Scripted");
        gfx_screen_set(18, 32, 4, 0, 0);
        lichtbox::show_start_picture();
        scene.object_x = 222;
        gfx_post_key(0x6BFF);
        lichtbox::main_loop();
        return std::string("returned");
    });
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.output, "object pixel ff404040\n");
    // No driver opens a screen: one line on standard error, status 1.
    for (const char* zrgfx : {(const char*)nullptr, "X11"}) {
        r = run_child(pipes, [&] {
            with_driver(kFailing, zrgfx);
            lichtbox::program_main(0, nullptr);
            return std::string("returned");
        });
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.output.find("ZRGFX=null runs without a window"), std::string::npos) << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    }
    // Arguments: --version and --help answer; anything else is an error.
    const struct {
        std::vector<std::string> args;
        int status, lines;
        const char* says;
    } args_cases[] = {{{"--version"}, 0, 1, "lichtbox 0."},
                      {{"--help"}, 0, 2, "Keys: r/l"},
                      {{"-x"}, 2, 1, "unknown argument \"-x\""},
                      {{"--help", "more"}, 2, 1, "unknown argument \"more\""}};
    for (const auto& c : args_cases) {
        r = run_child(pipes, [&] {
            with_driver(kScripted, "Scripted");
            std::vector<char*> argv{const_cast<char*>("lichtbox")};
            for (const std::string& a : c.args) argv.push_back(const_cast<char*>(a.c_str()));
            lichtbox::program_main(int(argv.size()), argv.data());
            return std::string("returned");
        });
        EXPECT_EQ(r.exit_code, c.status) << c.args[0];
        EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), c.lines) << r.output;
    }
}

#endif

}  // namespace
