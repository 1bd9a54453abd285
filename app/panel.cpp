// The heading and the control panel: group labels, bevelled buttons, the
// height ramp and the round info button. Texts are text sprites: printed
// with the console onto the scratch page, captured, and put onto the
// composition page at an exact pixel position.
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/draw_calls.h"
#include "app/scene_math.h"
#include "app/simulation.h"

namespace lichtbox {
namespace {

constexpr int32_t BUTTON_FACE_H = 18;
constexpr int32_t BUTTON_BEVEL = 3;
constexpr int32_t kSpriteRows = 15;  // the 16-row cells without their bottom row

constexpr uint32_t kSpriteInk = 0xFF000001u;  // not black: the shadow fill runs over it
constexpr uint32_t kMagenta = 0xFFFF00FFu;    // the transparent method's mask colour
constexpr uint32_t kInfoPaper = 0x00FFFFAAu;
constexpr uint32_t kInfoRing = 0x00000000u;

// A zero-filled image buffer big enough for the capture of n characters.
std::vector<uint32_t> sprite_buffer(int32_t n) {
    return std::vector<uint32_t>(std::size_t(kGlyphW * n + 1) * kSpriteRows, 0u);
}

// Prints text at the top-left of the scratch page in the current colours
// and captures its cells; an empty text captures nothing (the rectangle
// reaches left of the page) and leaves the buffer empty.
void capture_text(const char* text, std::vector<uint32_t>& buffer) {
    const auto n = int32_t(std::strlen(text));
    gfx_page_set(PAGE_SCRATCH, PAGE_SHOWN);
    gfx_locate(1, 1, kCursorUnchanged);
    print_line(text);
    RuntimeArray array{buffer.data(), buffer.data(), int32_t(buffer.size() * sizeof(uint32_t)),
                       int32_t(sizeof(uint32_t)), 1, 0};
    gfx_get(nullptr, 0, 0, float(kGlyphW * n - 1), float(kSpriteRows - 1), buffer.data(),
            coord_abs_rel, &array);
}

void put_sprite(float x, float y, const std::vector<uint32_t>& buffer, int32_t method, PutRoutine routine) {
    gfx_put(nullptr, x, y, buffer.data(), GFX_COORD_OMITTED, GFX_COORD_OMITTED, GFX_COORD_OMITTED,
            GFX_COORD_OMITTED, 0, method, routine, -1, nullptr, nullptr);
}

void draw_panel_button(int32_t index) {
    const PanelButton& b = kPanelButtons[index];
    draw_button(b.x, scene.button_row_y, b.w, b.red, b.green, b.blue, b.label);
}

}  // namespace

void draw_text_sprite(int32_t x, int32_t y, const char* text) {
    std::vector<uint32_t> buffer = sprite_buffer(int32_t(std::strlen(text)));
    gfx_color(kSpriteInk, kMagenta, 0);
    capture_text(text, buffer);
    gfx_page_set(PAGE_COMPOSE, PAGE_SHOWN);
    put_sprite(float(x), float(y), buffer, PUT_METHOD_TRANSPARENT, put_transparent);
}

void draw_button(int32_t x, int32_t y, int32_t w, int32_t red, int32_t green, int32_t blue,
                 const char* label) {
    const uint32_t face = 0xFF000000u | uint32_t(red) << 16 | uint32_t(green) << 8 | uint32_t(blue);
    gfx_page_set(PAGE_COMPOSE, PAGE_SHOWN);
    line_by(float(x), float(y), float(w), float(BUTTON_FACE_H), face, kFilled);

    const auto n = int32_t(std::strlen(label));
    std::vector<uint32_t> buffer = sprite_buffer(n);
    gfx_color(kBlack, face, 0);
    capture_text(label, buffer);
    const int64_t offset = label_offset(w, label);
    gfx_page_set(PAGE_COMPOSE, PAGE_SHOWN);
    put_sprite(float(x + offset), float(y + 2), buffer, PUT_METHOD_COPY, put_copy);

    // Three one-pixel bands per side on and outside the face's border; the
    // later sides overwrite the earlier ones where they cross.
    const Bevel bevel = bevel_of(red, green, blue);
    for (int32_t i = 0; i < BUTTON_BEVEL; ++i)
        line_by(float(x - i), float(y - i), 0, float(BUTTON_FACE_H + 2 * i), bevel.left, kFilled);
    for (int32_t i = 0; i < BUTTON_BEVEL; ++i)
        line_by(float(x - i), float(y - i), float(w + 2 * i), 0, bevel.top, kFilled);
    for (int32_t i = 0; i < BUTTON_BEVEL; ++i)
        line_by(float(x + w + i), float(y - i), 0, float(BUTTON_FACE_H + 2 * i), bevel.right, kFilled);
    for (int32_t i = 0; i < BUTTON_BEVEL; ++i)
        line_by(float(x - i), float(y + BUTTON_FACE_H + i), float(w + 2 * i), 0, bevel.bottom, kFilled);
}

void draw_panel() {
    draw_text_sprite(179, 438, "Gegenstand");
    draw_text_sprite(286, 438, "Wand");
    draw_text_sprite(250, 10, "L I C H T B O X");

    scene.button_row_y = 456;
    for (int32_t i = 1; i <= kButtonCount; ++i) {
        scene.button_x[i] = kPanelButtons[i].x;
        scene.button_w[i] = kPanelButtons[i].w;
    }
    const int32_t row = scene.button_row_y;

    for (int32_t i = 1; i <= 4; ++i) draw_panel_button(i);
    // Height ramp: seven bars growing from 2 to 14 pixels around row 465.5,
    // short ones on the "lower" button, tall ones on the "higher" one.
    for (int32_t i = 0; i < 7; ++i)
        line_by(float(scene.button_x[3] + 4 + 5 * i), float(row + 9 - i), 1.0f, float(2 * i + 1), kBlack,
                kFilled);
    for (int32_t i = 5; i <= 7; ++i) draw_panel_button(i);

    const auto cx = float(scene.button_x[8] + 6), cy = float(row + 9);
    circle(cx, cy, 8.0f, kInfoRing);
    flood(cx, cy, kInfoPaper, kInfoRing);
    draw_text_sprite(scene.button_x[8] + 2, row + 3, "i");
}

}  // namespace lichtbox
