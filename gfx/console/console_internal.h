// The text console on the graphics screen: the graphics versions of the
// console services (installed in the console-service table while a screen
// is open) and the cell routines they share.
#pragma once

#include <cstdint>

#include "gfx/gfx.h"

namespace gfx {

// ---- graphics versions of the console slots ------------------------------
void graphics_print_buffer(const char* bytes, int32_t len, int32_t mask);
void graphics_print_buffer_wide(const uint16_t* units, int32_t len, int32_t mask);
int32_t graphics_locate(int32_t row, int32_t col, int32_t cursor);
int32_t graphics_get_x();
int32_t graphics_get_y();
void graphics_get_xy(int32_t* col, int32_t* row);
void graphics_get_size(int32_t* cols, int32_t* rows);
uint32_t graphics_color(uint32_t fg, uint32_t bg, int32_t flags);
void graphics_cls(int32_t mode);
int32_t graphics_width(int32_t cols, int32_t rows);
int32_t graphics_read_xy(int32_t col, int32_t row, int32_t color_flag);
char* graphics_read_str(char* buffer, int32_t size);
int32_t graphics_line_input(RuntimeString* prompt, RuntimeString* target, int32_t flags);
int32_t graphics_line_input_wide(const uint16_t* prompt, int32_t prompt_len, uint16_t* buffer,
                                 int32_t size, int32_t flags);

// ---- shared console routines ---------------------------------------------

// Pixel rows changed by a console operation: [first, last], empty while
// first > last.
struct TouchedRows {
    int32_t first = INT32_MAX;
    int32_t last = INT32_MIN;
    void add(int32_t y0, int32_t y1) {
        if (y0 > y1) return;
        if (y0 < first) first = y0;
        if (y1 > last) last = y1;
    }
    bool empty() const { return first > last; }
};

// Draws n characters as opaque cells at text column x, row y of the work
// page and records them in its text cells. A run of exactly one byte 255
// only paints the bottom pixel row of its cell in the foreground colour
// (the text-cursor mark). The caller has selected the work page, opaque
// pixel routines and holds the screen lock. Pixels and cells outside the
// page are skipped.
void console_write(GfxContext* ctx, GfxDrawState* state, int32_t x, int32_t y, const char* bytes,
                   int32_t n, TouchedRows& touched);

// Moves text rows top..bottom (columns left..right) up by n rows; the
// freed rows (all of them when n covers the rows or is negative) become
// blanks in the current colours. Same preconditions as console_write.
void console_scroll(GfxContext* ctx, GfxDrawState* state, int32_t left, int32_t top, int32_t right,
                    int32_t bottom, int32_t n, TouchedRows& touched);

// Converts a 5-6-5 pixel to 0xAARRGGBB, repeating each channel's high bits
// into its low bits, alpha 0xFF.
uint32_t rgb565_to_argb(uint32_t pixel);

// Moves the text cursor one cell left: a pending line end is dropped (the
// cursor already stands on the last cell), column 0 goes to the last column
// of the previous row, row 1 column 1 stays.
void console_cursor_left(GfxContext* ctx);

// ---- test hooks ------------------------------------------------------------

// Called for byte 7; null restores the platform beep.
void set_console_beep(void (*beep)());
// When true (the default) a print skips drawing characters that a later
// scroll of the same print pushes out of the text view, and merges the
// scrolls between them; false draws and scrolls every step as it comes.
// Both give the same pixels and cells.
void set_console_skip_hidden(bool skip);

}  // namespace gfx
