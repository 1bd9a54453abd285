// Computes, without a window, the pictures the simulation shows for the
// steps the end-to-end test takes with the real program, and writes them as
// PPM files (640 x 480, the colours of the shown page) into OUTDIR:
//   start.ppm   the start picture
//   r.ppm       after "r"; rg.ppm after "g"; rgR.ppm after "R" (a redraw)
//   b2.ppm      after a click on panel button 2 (object right)
//   info.ppm    after a click on button 8 (the info box)
//   b2n.ppm     then, the info box gone, after "n"
//   h0.ppm      then, after "k" until the object's height is 0
//   h0b2.ppm    then, after a click on button 2
// and buttons.txt with one line "B X Y" per button: a point inside it, and
// panel.txt with one line "B LEFT TOP WIDTH HEIGHT" per button: its hit
// area, whose edges do not count.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/simulation.h"
#include "gfx/core/context_internal.h"
#include "gfx/gfx.h"

namespace {

struct Step {
    int32_t x, y, buttons;
    std::string capture;  // the shown page is written here at this read
};
std::vector<Step> g_mouse;  // one entry per mouse read of the main loop
std::size_t g_next = 0;
bool g_captured = true;

bool write_ppm(const std::string& path) {
    const GfxContext* ctx = gfx_context();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", ctx->w, ctx->h);
    const uint8_t* page = ctx->pages[lichtbox::PAGE_SHOWN];
    for (int32_t i = 0; i < ctx->w * ctx->h; ++i) {
        const uint8_t rgb[3] = {page[4 * i + 2], page[4 * i + 1], page[4 * i]};
        std::fwrite(rgb, 1, 3, f);
    }
    return std::fclose(f) == 0;
}

// The main loop's mouse: the scripted steps, then "e" to end the loop.
int32_t scripted_mouse(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons, int32_t* clip) {
    Step s{-1, -1, 0, {}};
    if (g_next < g_mouse.size())
        s = g_mouse[g_next++];
    else
        gfx_post_key('e');
    if (!s.capture.empty()) g_captured = write_ppm(s.capture);
    *x = s.x, *y = s.y, *buttons = s.buttons, *wheel = 0, *clip = 0;
    return 0;
}

const GfxDriver kScripted = {
    "Scripted", [](const char*, int32_t, int32_t, int32_t, int32_t, int32_t) { return 0; },
    [] {}, nullptr, nullptr, nullptr, nullptr, scripted_mouse, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};
const GfxDriver* const kDrivers[] = {&kScripted};

void run(const std::string& keys, std::vector<Step> mouse = {}) {
    // The "e" that ended the last run may have been posted twice.
    while (gfx_keyhit()) rt_str_release_temp(gfx_inkey());
    g_mouse = std::move(mouse);
    g_next = 0;
    for (unsigned char c : keys) gfx_post_key(c);
    lichtbox::main_loop();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lichtbox_pictures OUTDIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    rt_init();
    setenv("ZRGFX", "Scripted", 1);
    gfx::set_driver_list(kDrivers);
    if (gfx_screen_set(18, 32, 4, 0, 0) != 0) return 1;
    lichtbox::show_start_picture();
    bool ok = write_ppm(dir + "/start.ppm");
    run("r");
    ok = ok && write_ppm(dir + "/r.ppm");
    run("g");
    ok = ok && write_ppm(dir + "/rg.ppm");
    run("R");
    ok = ok && write_ppm(dir + "/rgR.ppm");

    const lichtbox::Scene& s = lichtbox::scene;
    auto centre = [&](int b) {
        return Step{s.button_x[b] + s.button_w[b] / 2, s.button_row_y + lichtbox::kButtonHitH / 2, 1, {}};
    };
    FILE* f = std::fopen((dir + "/buttons.txt").c_str(), "w");
    if (!f) return 1;
    for (int b = 1; b <= lichtbox::kButtonCount; ++b) std::fprintf(f, "%d %d %d\n", b, centre(b).x, centre(b).y);
    std::fclose(f);
    f = std::fopen((dir + "/panel.txt").c_str(), "w");
    if (!f) return 1;
    for (int b = 1; b <= lichtbox::kButtonCount; ++b)
        std::fprintf(f, "%d %d %d %d %d\n", b, s.button_x[b], s.button_row_y, s.button_w[b], lichtbox::kButtonHitH);
    std::fclose(f);

    run("", {centre(2), {0, 0, 0, {}}});
    ok = ok && write_ppm(dir + "/b2.ppm");
    g_captured = false;
    run("", {centre(8), {0, 0, 0, dir + "/info.ppm"}});
    run("n");
    ok = ok && write_ppm(dir + "/b2n.ppm");
    while (s.object_h > 0) run("k");
    ok = ok && write_ppm(dir + "/h0.ppm");
    run("", {centre(2), {0, 0, 0, {}}});
    ok = ok && write_ppm(dir + "/h0b2.ppm");
    gfx_screen_set(0, 0, 0, 0, 0);
    return ok && g_captured ? 0 : 1;
}
