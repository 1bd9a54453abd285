// The Lichtbox simulation: a point lamp, an object and a wall seen from the
// side, with the shadow the object casts on the wall. One pixel stands for
// one centimetre. The routines draw with the public graphics runtime only.
#pragma once

#include <cstdint>

namespace lichtbox {

// Roles of the four pages of the 640 x 480 screen.
enum Page : int32_t {
    PAGE_BACKGROUND = 0,  // glow, lamp, floor line and panel, built once
    PAGE_SCRATCH = 1,     // texts are printed here and captured as sprites
    PAGE_COMPOSE = 2,     // each new picture is composed here
    PAGE_SHOWN = 3,       // the visible page
};

constexpr int32_t kButtonCount = 8;
// Height of a button's hit area below button_row_y.
constexpr int32_t kButtonHitH = 20;

// The scene. Members start at the values of a fresh program; the panel
// fills in the button row and rectangles when it is first drawn.
struct Scene {
    double glow_radius = 670.0;
    int32_t lamp_x = 20;
    int32_t lamp_y = 220;  // the optical axis
    int32_t object_x = 220;
    int32_t object_w = 15;
    int32_t object_h = 80;
    int32_t wall_x = 620;
    int32_t wall_h = 480;
    int32_t wall_t = 20;
    int32_t button_row_y = 0;
    int32_t button_x[kButtonCount + 1] = {};  // index 1..8
    int32_t button_w[kButtonCount + 1] = {};
};

extern Scene scene;

// Program entry: opens the screen, shows the first picture, runs the main
// loop and ends the program (status 0; 1 when no screen could be opened).
int program_main(int argc, char** argv);
// Reads keys and the mouse until "e" (returns) or the close button (ends
// the program at once).
void main_loop();
// Start-up steps after the screen is open: initial scene, background,
// scene and labels; leaves the first complete picture on the shown page.
void show_start_picture();
// The scene values that button 7 restores.
void restart_scene();

void draw_background();
void draw_scene();
void draw_measurements();
void draw_dimension_line(int32_t x1, int32_t x2, int32_t y);
void draw_panel();
void draw_text_sprite(int32_t x, int32_t y, const char* text);
void draw_button(int32_t x, int32_t y, int32_t w, int32_t red, int32_t green, int32_t blue,
                 const char* label);
void show_info_screen();

}  // namespace lichtbox
