// The background (waiting notice, the lamp's glow, lamp, floor line, panel)
// and the scene drawn over it for every picture (object, wall, the two rays
// grazing the object's corners, and the shadow between them).
#include <cstdint>

#include "app/draw_calls.h"
#include "app/scene_math.h"
#include "app/simulation.h"

namespace lichtbox {
namespace {

constexpr uint32_t kBulb = 0xFFFFFF96u;
constexpr uint32_t kObject = 0xFF0000FFu;
constexpr uint32_t kWall = 0xFF963232u;
constexpr uint32_t kShadow = 0xFF404040u;

// The glow: filled disks from the rim inwards, each a little brighter and
// more yellow, so the colour changes every two pixels of radius.
void draw_glow() {
    const Glow glow = glow_of(scene);
    const auto x = float(scene.lamp_x), y = float(scene.lamp_y);
    for (int64_t n = glow.outer_radius; n >= 0; n -= 2) {
        const uint32_t color = glow_color(glow, n);
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

    const Rays rays = rays_of(s);
    const auto box_top = float(rays.box_top);
    line_by(float(s.object_x), box_top, float(s.object_w), float(s.object_h), kObject, kFilled);
    line_by(float(s.object_x), box_top, float(s.object_w), float(s.object_h), kBlack, kOutline);
    line_by(float(s.wall_x), 0.0f, float(s.wall_t), float(s.wall_h), kWall, kFilled);
    line_by(float(s.wall_x), 0.0f, float(s.wall_t), float(s.wall_h), kBlack, kOutline);

    line_to(float(s.object_x), float(rays.top), float(s.wall_x), float(rays.yt), kBlack);
    line_to(float(s.object_x), float(rays.bottom), float(s.wall_x), float(rays.yb), kBlack);

    flood(float(s.object_x + s.object_w + 2), float(s.lamp_y), kShadow, kBlack);
}

}  // namespace lichtbox
