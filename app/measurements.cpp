// The measured quantities written into the picture: the three distances
// with their dimension lines, the object's and the shadow's height, and the
// names of lamp, object and wall. One pixel is one centimetre.
#include <cstdint>
#include <string>

#include "app/draw_calls.h"
#include "app/scene_math.h"
#include "app/simulation.h"

namespace lichtbox {
namespace {

constexpr uint32_t kGrey = 0xFF808080u;

void label(double x, double y, const std::string& text) { text_at(float(x), float(y), text.c_str(), kGrey); }

std::string distance_text(int32_t cm) { return "a    = " + std::to_string(cm) + " cm"; }
std::string height_text(int64_t cm) { return "h  = " + std::to_string(cm) + " cm"; }

}  // namespace

void draw_dimension_line(int32_t x1, int32_t x2, int32_t y) {
    const auto yy = float(y + 14);
    line_to(float(x1 + 1), yy, float(x2 - 1), yy, kGrey);
    line_to(float(x1 + 1), yy - 4, float(x1 + 1), yy + 4, kGrey);
    line_to(float(x2 - 1), yy - 4, float(x2 - 1), yy + 4, kGrey);
}

void draw_measurements() {
    const Scene& s = scene;
    constexpr int32_t row1 = 380, row2 = 400;
    const Measurements m = measurements_of(s);

    // Under each distance label a subscript line that starts with a blank.
    label(m.x1, row1 - 4, distance_text(m.lamp_object));
    label(m.x1, row1 + 1, " L-G");
    draw_dimension_line(s.lamp_x, s.object_x, row1);

    label(m.x2, row1 - 4, distance_text(m.object_wall));
    label(m.x2, row1 + 1, " G-W ");
    draw_dimension_line(s.object_x, s.wall_x, row1);

    label(m.x3, row2, distance_text(m.lamp_wall));
    label(m.x3, row2 + 6, " L-W");
    draw_dimension_line(s.lamp_x, s.wall_x, row2 + 5);

    label(s.object_x + 20, s.lamp_y - 8, height_text(s.object_h));
    label(s.object_x + 20, s.lamp_y - 3, " G");
    label(s.wall_x - 90, s.lamp_y + 4, height_text(m.shadow_h));
    label(s.wall_x - 90, s.lamp_y + 9, " S");

    label(s.lamp_x - 17, s.lamp_y - 7, "L");
    label(s.object_x - 85, s.lamp_y - 30, "Gegenstand");
    label(s.wall_x - 35, s.lamp_y - 60, "Wand");

    gfx_page_copy(PAGE_COMPOSE, PAGE_SHOWN);
}

}  // namespace lichtbox
