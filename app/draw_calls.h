// Short forms of the runtime's drawing calls as the simulation uses them:
// absolute points, solid lines, built-in font, no target image.
#pragma once

#include <bit>
#include <cstdint>

#include "gfx/gfx.h"

namespace lichtbox {

// 6.283186 as a 32-bit float: the arc end that asks for a full circle.
inline const float kFullCircle = std::bit_cast<float>(0x40C90FDCu);

constexpr uint32_t kBlack = 0xFF000000u;
constexpr uint32_t kSolid = 0xFFFF;

enum BoxKind : int32_t { kLine = 0, kOutline = 1, kFilled = 2 };

// A line or box from (x, y) to the absolute point (x2, y2).
inline void line_to(float x, float y, float x2, float y2, uint32_t color, BoxKind kind = kLine) {
    gfx_line(nullptr, x, y, x2, y2, color, kind, kSolid, coord_abs_abs);
}

// A line or box from (x, y) to the point (x + dx, y + dy).
inline void line_by(float x, float y, float dx, float dy, uint32_t color, BoxKind kind = kLine) {
    gfx_line(nullptr, x, y, dx, dy, color, kind, kSolid, coord_abs_rel);
}

// The outline of a round circle.
inline void circle(float x, float y, float radius, uint32_t color) {
    gfx_circle(nullptr, x, y, radius, color, 0.0f, 0.0f, kFullCircle, 0, coord_abs);
}

// Solid flood fill from (x, y) up to the border colour.
inline void flood(float x, float y, uint32_t fill, uint32_t border) {
    gfx_paint(nullptr, x, y, fill, border, nullptr, 0, coord_abs);
}

// Prints text and a new line at the console cursor.
inline void print_line(const char* text) { gfx_print(0, rt_str_temp_cstr(text), RT_PRINT_NEWLINE); }

// Draws the glyph pixels of text with (x, y) the top-left of its first cell.
inline void text_at(float x, float y, const char* text, uint32_t color) {
    gfx_draw_string(nullptr, x, y, coord_abs, rt_str_temp_cstr(text), color, nullptr,
                    PUT_METHOD_TRANSPARENT, nullptr, nullptr, nullptr);
}

// The same in the console's foreground colour.
inline void text_at_fg(float x, float y, const char* text) {
    gfx_draw_string(nullptr, x, y, GFX_COLOR_OMITTED | coord_abs, rt_str_temp_cstr(text), 0,
                    nullptr, PUT_METHOD_TRANSPARENT, nullptr, nullptr, nullptr);
}

// Cursor argument of gfx_locate that leaves the cursor's visibility alone.
constexpr int32_t kCursorUnchanged = -1;

}  // namespace lichtbox
