// The background (waiting notice, the lamp's glow, lamp, floor line, panel)
// and the scene drawn over it for every picture (object, wall, the two rays
// grazing the object's corners, and the shadow between them).
#include <cstdint>

#include "app/draw_calls.h"
#include "app/simulation.h"

namespace lichtbox {
namespace {

constexpr uint32_t kBulb = 0xFFFFFF96u;
constexpr uint32_t kObject = 0xFF0000FFu;
constexpr uint32_t kWall = 0xFF963232u;
constexpr uint32_t kShadow = 0xFF404040u;

uint32_t opaque_rgb(int64_t r, int64_t g, int64_t b) {
    return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

// The glow: filled disks from the rim inwards, each a little brighter and
// more yellow, so the colour changes every two pixels of radius.
void draw_glow() {
    const double dr = (150.0 - 255.0) / scene.glow_radius;
    const double dg = (150.0 - 255.0) / scene.glow_radius;
    const double db = (150.0 - 50.0) / scene.glow_radius;
    const auto x = float(scene.lamp_x), y = float(scene.lamp_y);
    for (int64_t n = rt_round_int(scene.glow_radius); n >= 0; n -= 2) {
        const long double ln = n;
        // Red stays one below green: the −1 is part of the gradient.
        const uint32_t color = opaque_rgb(rt_round_int(255.0L + dr * ln - 1.0L),
                                          rt_round_int(255.0L + dg * ln),
                                          rt_round_int(50.0L + db * ln));
        circle(x, y, float(n), color);
        flood(x, y, color, color);
    }
}

}  // namespace

void draw_background() {
    gfx_page_set(PAGE_SHOWN, PAGE_SHOWN);
    gfx_locate(13, 30, kCursorUnchanged);
    print_line("Bitte kurz warten!");

    gfx_page_set(PAGE_BACKGROUND, PAGE_SHOWN);
    draw_glow();

    const auto lx = float(scene.lamp_x), ly = float(scene.lamp_y);
    circle(lx, ly, 8.0f, kBlack);
    flood(lx, ly, kBulb, kBlack);
    line_by(lx - 5, ly - 5, 10, 10, kBlack);
    line_by(lx - 5, ly + 5, 10, -10, kBlack);
    line_by(0.0f, 479.0f, 640.0f, 0.0f, kBlack);  // floor; clipped at the right edge

    gfx_page_copy(PAGE_BACKGROUND, PAGE_COMPOSE);
    draw_panel();
    gfx_page_copy(PAGE_COMPOSE, PAGE_BACKGROUND);
}

void draw_scene() {
    const Scene& s = scene;
    gfx_page_copy(PAGE_BACKGROUND, PAGE_COMPOSE);
    gfx_page_set(PAGE_COMPOSE, PAGE_SHOWN);

    // The box's top may end in .5; the primitive rounds it away from zero.
    const auto box_top = float(s.lamp_y - s.object_h / 2.0);
    line_by(float(s.object_x), box_top, float(s.object_w), float(s.object_h), kObject, kFilled);
    line_by(float(s.object_x), box_top, float(s.object_w), float(s.object_h), kBlack, kOutline);
    line_by(float(s.wall_x), 0.0f, float(s.wall_t), float(s.wall_h), kWall, kFilled);
    line_by(float(s.wall_x), 0.0f, float(s.wall_t), float(s.wall_h), kBlack, kOutline);

    // The rays start at the rounded top (ties to even), which can sit one row
    // above the box's edge for odd heights.
    const int64_t top = rt_round_int(s.lamp_y - s.object_h / 2.0L);
    const auto slope = double(s.object_h / static_cast<long double>(s.object_x - s.lamp_x) / 2.0L);
    const int64_t yt = rt_round_int(top - static_cast<long double>(s.wall_x - s.object_x) * slope);
    line_to(float(s.object_x), float(top), float(s.wall_x), float(yt), kBlack);
    line_to(float(s.object_x), float(top + s.object_h), float(s.wall_x), float(2 * s.lamp_y - yt),
            kBlack);

    flood(float(s.object_x + s.object_w + 2), float(s.lamp_y), kShadow, kBlack);
}

}  // namespace lichtbox
