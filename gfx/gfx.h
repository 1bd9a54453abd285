/* Lichtbox graphics runtime: the public interface.
 *
 * One graphics context with several full-screen pages, drawing primitives,
 * a text console on a page, keyboard/mouse/sleep services and display
 * drivers. Every operation is callable from C and C++. */
#ifndef LICHTBOX_GFX_GFX_H
#define LICHTBOX_GFX_GFX_H

#include <stddef.h>
#include <stdint.h>

#include "runtime/runtime.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ======================================================================
 * Records
 * ====================================================================== */

/* A built-in bitmap font: glyph c is h bytes from data + c * h, one byte
 * per row, bit 0 the leftmost pixel. */
typedef struct GfxFont {
    int32_t w;
    int32_t h;
    const uint8_t* data;
} GfxFont;

/* A built-in palette: count entries of (red, green, blue), 8 bits each. */
typedef struct GfxPaletteInfo {
    int32_t count;
    const uint8_t* entries;
} GfxPaletteInfo;

/* One row of the screen mode table; width 0 marks an unsupported mode. */
typedef struct GfxModeInfo {
    uint16_t w;
    uint16_t h;
    uint8_t depth;
    uint8_t scanline_size;
    const GfxPaletteInfo* palette;
    const GfxFont* font;
    uint8_t text_w;
    uint8_t text_h;
} GfxModeInfo;

/* Display driver operations. Every listed driver has init and exit; any
 * other slot may be null. */
typedef struct GfxDriver {
    const char* name;
    int32_t (*init)(const char* title, int32_t w, int32_t h, int32_t depth,
                    int32_t refresh, int32_t flags);
    void (*exit)(void);
    void (*lock)(void);
    void (*unlock)(void);
    void (*set_palette)(int32_t index, int32_t r, int32_t g, int32_t b);
    void (*wait_vsync)(void);
    int32_t (*get_mouse)(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons,
                         int32_t* clip);
    int32_t (*set_mouse)(int32_t x, int32_t y, int32_t cursor, int32_t clip);
    void (*set_window_title)(const char* title);
    int32_t (*set_window_pos)(int32_t x, int32_t y);
    int32_t* (*fetch_modes)(int32_t depth, int32_t* count);
    void (*flip)(void);
    void (*poll_events)(void);
} GfxDriver;

/* One record of the event queue (20 bytes). */
typedef struct GfxEvent {
    int32_t kind;
    int32_t field[4];
} GfxEvent;

enum GfxEventKind {
    GFX_EVENT_KEY_DOWN = 1,
    GFX_EVENT_KEY_UP = 2,
    GFX_EVENT_KEY_REPEAT = 3,
    GFX_EVENT_MOUSE_MOVE = 4,
    GFX_EVENT_BUTTON_DOWN = 5,
    GFX_EVENT_BUTTON_UP = 6,
    GFX_EVENT_DOUBLE_CLICK = 7,
    GFX_EVENT_WHEEL = 8,
    GFX_EVENT_MOUSE_ENTER = 9,
    GFX_EVENT_MOUSE_LEAVE = 10,
    GFX_EVENT_FOCUS_IN = 11,
    GFX_EVENT_FOCUS_OUT = 12,
    GFX_EVENT_CLOSE_REQUEST = 13,
    GFX_EVENT_HWHEEL = 14
};

/* One text cell of the console: the character sign-extended to 16 bits and
 * its colours in the page's pixel format. */
typedef struct GfxTextCell {
    int16_t ch;
    uint16_t reserved;
    uint32_t fg;
    uint32_t bg;
} GfxTextCell;

#define GFX_EVENT_QUEUE_SIZE 128

/* The open graphics screen. Exactly one exists while a screen is open. */
typedef struct GfxContext {
    int32_t id;
    int32_t mode_num;
    uint8_t** pages;
    int32_t page_count;
    int32_t visible_page;
    uint8_t* framebuffer;
    int32_t w, h;
    int32_t depth;
    int32_t bpp;
    int32_t pitch;
    uint32_t* palette;         /* 256 entries, 0x00BBGGRR */
    uint32_t* device_palette;  /* 256 entries, 0x00BBGGRR */
    uint8_t* color_association; /* 16 entries */
    uint8_t* dirty;            /* h * scanline_size flags */
    const GfxDriver* driver;
    uint32_t color_mask;
    const GfxPaletteInfo* default_palette;
    int32_t scanline_size;
    int32_t cursor_x, cursor_y;
    const GfxFont* font;
    int32_t text_w, text_h;
    uint8_t* key_state;        /* 128 flags */
    int32_t refresh_rate;
    GfxTextCell** text_cells;  /* page_count buffers of text_w * text_h */
    GfxEvent* event_queue;     /* GFX_EVENT_QUEUE_SIZE records */
    int32_t event_head, event_tail;
    void* event_lock;          /* binary semaphore guarding the event ring */
    uint32_t flags;
} GfxContext;

/* GfxContext.flags */
#define GFX_LOCK_HELD 0x1u
#define GFX_LOCK_AUTO 0x2u
#define GFX_PRINT_WRAP_PENDING 0x4u
#define GFX_ALPHA_PRIMITIVES 0x8u
#define GFX_CPU_MMX 0x1000000u
#define GFX_OPENGL_REQUESTED 0x20000000u

struct GfxDrawState;

typedef void (*GfxPutPixel)(struct GfxDrawState* state, int32_t x, int32_t y, uint32_t color);
typedef uint32_t (*GfxGetPixel)(struct GfxDrawState* state, int32_t x, int32_t y);
typedef void* (*GfxPixelSet)(void* dst, uint32_t color, int32_t count);

/* A blending callback passed through the image-put routines. */
typedef uint32_t (*GfxBlender)(uint32_t src, uint32_t dst, void* param);

/* An image-put method routine: walks height rows of width pixels. */
typedef void (*PutRoutine)(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
                           int32_t src_pitch, int32_t dst_pitch, int32_t alpha,
                           GfxBlender blender, void* param);

/* How drawing is done right now: one record per process. */
typedef struct GfxDrawState {
    int32_t id;
    int32_t work_page;
    uint8_t** line;
    int32_t max_h;
    int32_t target_bpp;
    int32_t target_pitch;
    const void* last_target;
    float last_x, last_y;
    int32_t view_x, view_y, view_w, view_h;
    int32_t old_view_x, old_view_y, old_view_w, old_view_h;
    float win_x, win_y, win_w, win_h;
    uint32_t fg_color, bg_color;
    GfxPutPixel put_pixel;
    GfxGetPixel get_pixel;
    GfxPixelSet pixel_set;
    const PutRoutine* put_handlers[10];
    uint32_t flags;
} GfxDrawState;

/* GfxDrawState.flags */
#define GFX_TARGET_RESET 0x1u
#define GFX_TARGET_IMAGE 0x2u
#define GFX_WINDOW_ON 0x4u
#define GFX_WINDOW_KEEP_Y 0x8u
#define GFX_VIEW_SET 0x10u
#define GFX_VIEW_ABSOLUTE 0x20u

/* Screen flags (the flags argument of the screen set-up). */
#define GFX_FULLSCREEN 0x01
#define GFX_OPENGL 0x02
#define GFX_NO_SWITCH 0x04
#define GFX_NO_FRAME 0x08
#define GFX_SHAPED 0x10
#define GFX_ALWAYS_ON_TOP 0x20
#define GFX_ALPHA_BLEND 0x40
#define GFX_NULL_SCREEN (-1)
#define GFX_CLOSE_AT_EXIT ((int32_t)0x80000000)

/* Coordinate kinds: bits 0-2 of a primitive's flags. */
enum CoordKind {
    coord_abs_abs = 0,
    coord_abs_rel = 1,
    coord_rel_abs = 2,
    coord_rel_rel = 3,
    coord_abs = 4,
    coord_rel = 5
};
/* Bit 31 of a primitive's flags: the colour is omitted (use fg_color). */
#define GFX_COLOR_OMITTED 0x80000000u

/* ======================================================================
 * Graphics context and screen modes
 * ====================================================================== */

/* The open screen, or null. */
GfxContext* gfx_context(void);
/* Row of the screen mode table for modes 1-21 (null otherwise). */
const GfxModeInfo* gfx_mode_info(int32_t mode);

int32_t gfx_screen_set(int32_t mode, int32_t depth, int32_t pages, int32_t flags, int32_t refresh);
int32_t gfx_screen_set_size(int32_t w, int32_t h, int32_t depth, int32_t pages, int32_t flags,
                            int32_t refresh);
int32_t gfx_screen_set_pages(int32_t mode, int32_t work, int32_t visible);
int32_t gfx_set_mode(const GfxModeInfo* info, int32_t mode_num, int32_t depth, int32_t pages,
                     int32_t refresh, int32_t flags);
void gfx_screen_exit_handler(void);
/* Copies at most 127 bytes of title; a temporary string is released. */
void gfx_set_window_title(RuntimeString* title);
/* The title in use, or null before any was set. */
const char* gfx_window_title(void);
GfxDrawState* gfx_get_draw_state(void);
/* The runtime error number of the calling thread. */
int32_t gfx_get_error(void);

/* ======================================================================
 * Pages, drawing target, locking and update tracking
 * ====================================================================== */

/* gfx_page_set and gfx_page_copy are console services (runtime.h). */
void gfx_select_target(GfxDrawState* state, const void* target);
void gfx_lock(void);
void gfx_unlock(void);
void gfx_mark_dirty(GfxDrawState* state, int32_t y, int32_t n);

/* ======================================================================
 * Pixel formats, colours and palettes
 * ====================================================================== */

uint32_t gfx_color_to_pixel(int32_t target_bpp, uint32_t color);
uint32_t gfx_rgb_to_pixel(int32_t bpp, uint32_t color, uint32_t r, uint32_t g, uint32_t b);
void gfx_select_pixel_routines(GfxDrawState* state, uint32_t color);
void gfx_select_depth_routines(int32_t bpp);
void gfx_palette_set(int32_t index, int32_t color, int32_t g, int32_t b);
void gfx_palette_set_all(const int32_t* values);
void gfx_palette_apply(int32_t index, int32_t value);

/* ======================================================================
 * Coordinates and view port
 * ====================================================================== */

/* x2 and y2 may both be null for single-point primitives. */
void gfx_resolve_relative(GfxDrawState* state, int32_t flags, float* x1, float* y1, float* x2,
                          float* y2);
void gfx_translate_coords(const GfxDrawState* state, float x, float y, int32_t* out_x,
                          int32_t* out_y);
void gfx_order_corners(int32_t* x1, int32_t* y1, int32_t* x2, int32_t* y2);
void gfx_view_set(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t fill, uint32_t border,
                  int32_t flags);

/* ======================================================================
 * Built-in fonts and palettes
 * ====================================================================== */

#define GFX_BUILTIN_DECODED_SIZE 10742
void gfx_decode_builtin_data(void);
/* The decoded block (10742 bytes). */
const uint8_t* gfx_builtin_data(void);
/* Font table in the order 8x16, 8x14, 8x8. */
const GfxFont* gfx_builtin_font(int32_t index);
/* Palette table in the order 256, 64, 16, 2 entries. */
const GfxPaletteInfo* gfx_builtin_palette(int32_t index);
int32_t gfx_lzw_decode(const uint8_t* input, size_t input_len, uint8_t* output,
                       size_t* output_count);

/* ---- drawing primitives (begin) ---- */
/* ---- drawing primitives (end) ---- */

/* ---- console and input (begin) ---- */
/* ---- console and input (end) ---- */

#ifdef __cplusplus
}
#endif

#endif
