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
#ifdef __cplusplus
static_assert(sizeof(GfxEvent) == 20, "GfxEvent must be 20 bytes");
#else
_Static_assert(sizeof(GfxEvent) == 20, "GfxEvent must be 20 bytes");
#endif

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

/* ======================================================================
 * Drawing primitives
 * ====================================================================== */

/* -- lines, boxes, circles -- */

/* Draws on target (null: work page) a line (kind 0), a filled box (kind 2)
 * or a box outline (any other kind) between (x1, y1) and (x2, y2). style:
 * 16-bit dash pattern, 0xFFFF solid, first position tested with bit 15.
 * flags: CoordKind in bits 0-2, GFX_COLOR_OMITTED. The last point becomes
 * the second point. */
void gfx_line(void* target, float x1, float y1, float x2, float y2, uint32_t color,
              int32_t kind, uint32_t style, uint32_t flags);
/* Box in pixels of the current target, x1 <= x2 and y1 <= y2, colour in the
 * target's pixel format; clipped to the view. */
void gfx_box(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color, int32_t filled,
             uint32_t style);
/* Draws an ellipse of semi-axes derived from radius and aspect (0: the
 * screen's default) around (x, y) on target (null: work page): the full
 * ellipse, filled when fill is non-zero, for start 0 and end 6.283186f;
 * otherwise the arc from start to end (radians, counter-clockwise), with a
 * radius to the centre for each negative angle. flags: CoordKind in bits
 * 0-2, GFX_COLOR_OMITTED. */
void gfx_circle(void* target, float x, float y, float radius, uint32_t color, float aspect,
                float start, float end, int32_t fill, uint32_t flags);

/* -- flood fill -- */

/* Bit 30 of gfx_paint's flags: the border colour is omitted (the fill
 * colour, after the GFX_COLOR_OMITTED substitution, bounds the region). */
#define GFX_BORDER_OMITTED 0x40000000u
/* Fills the 4-connected region around (x, y) of target (null: work page)
 * that is bounded by border. mode 0: solid fill; 1: 8x8 tile of raw pixels
 * from tile (row after row, missing bytes 0); other: all-zero tile. Tiles
 * are anchored at the target's (0, 0). flags: CoordKind in bits 0-2,
 * GFX_COLOR_OMITTED, GFX_BORDER_OMITTED. A temporary tile is released. */
void gfx_paint(void* target, float x, float y, uint32_t fill, uint32_t border,
               RuntimeString* tile, int32_t mode, uint32_t flags);

/* -- image buffers, capture and blitting -- */

/* Header of the standard image buffer form (type 7); pixel rows follow it,
 * row r at byte 32 + r * pitch. The compact form instead starts with two
 * 16-bit words: bytes per pixel in bits 0-2 and width in bits 3-15, then
 * the height; its rows follow at byte 4 without gaps. */
typedef struct ImageHeader {
    int32_t type;  /* 7 */
    int32_t bpp;   /* bytes per pixel: 1, 2 or 4 */
    int32_t width;
    int32_t height;
    int32_t pitch; /* (width * bpp + 15) & ~15 when written by gfx_get */
    int32_t reserved[3];
} ImageHeader;
#ifdef __cplusplus
static_assert(sizeof(ImageHeader) == 32, "ImageHeader must be 32 bytes");
#else
_Static_assert(sizeof(ImageHeader) == 32, "ImageHeader must be 32 bytes");
#endif
#define GFX_IMAGE_TYPE_STANDARD 7
/* sx1 value meaning "whole image" for gfx_put (the omitted coordinate). */
#define GFX_COORD_OMITTED ((int32_t)0xFFFF0000)

/* Put method codes passed to gfx_put and gfx_draw_string. */
enum {
    PUT_METHOD_TRANSPARENT = 0,
    PUT_METHOD_COPY = 1,
    PUT_METHOD_ALPHA = 6
};
#ifdef __cplusplus
enum class PutMethod : int32_t { Transparent = 0, Copy = 1, Alpha = 6 };
#endif

/* Descriptor of a runtime array that holds an image buffer; gfx_get checks
 * the capture against data + size_bytes when size_bytes > 0. */
typedef struct RuntimeArray {
    void* data;          /* first byte of the element storage */
    void* origin;        /* address of the element with all indices 0 */
    int32_t size_bytes;  /* bytes of storage from data; <= 0: unknown */
    int32_t element_len; /* bytes per element */
    int32_t dimensions;
    int32_t reserved;
} RuntimeArray;

/* Captures the rectangle (x1, y1)-(x2, y2) of source (null: work page) into
 * buffer as a standard image. 0, or error 1 with nothing written. */
int32_t gfx_get(const void* source, float x1, float y1, float x2, float y2, void* buffer,
                int32_t flags, const RuntimeArray* array);
/* Draws image (or its rectangle sx1..sy2; sx1 == GFX_COORD_OMITTED for the
 * whole image) at (x, y) of target (null: work page) through routine.
 * coord bit 0: (sx2, sy2) relative to (sx1, sy1); bit 1: (x, y) relative
 * to the last point. 0, or error 1. */
int32_t gfx_put(void* target, float x, float y, const void* image, int32_t sx1, int32_t sy1,
                int32_t sx2, int32_t sy2, int32_t coord, int32_t method, PutRoutine routine,
                int32_t alpha, GfxBlender blender, void* param);
/* Method routines: copy all but the mask colour (0, 0xF81F, 0xFF00FF in the
 * low 24 bits; 32-bit pixels are written with alpha 0) / copy every pixel /
 * write a 1-byte source into the alpha bytes of a 4-byte target. */
void put_transparent(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
                     int32_t src_pitch, int32_t dst_pitch, int32_t alpha, GfxBlender blender,
                     void* param);
void put_copy(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
              int32_t src_pitch, int32_t dst_pitch, int32_t alpha, GfxBlender blender,
              void* param);
void put_alpha_channel(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
                       int32_t src_pitch, int32_t dst_pitch, int32_t alpha,
                       GfxBlender blender, void* param);

/* -- text drawing at pixel positions -- */

/* Draws text with its top-left corner at (x, y) of target (null: work
 * page), in the mode's built-in font (font null) or a user font image.
 * flags: CoordKind in bits 0-2, GFX_COLOR_OMITTED. A temporary text is
 * released. 0, or error 1 for a null text or an invalid user font. */
int32_t gfx_draw_string(void* target, float x, float y, uint32_t flags, RuntimeString* text,
                        uint32_t color, const void* font, int32_t method, PutRoutine routine,
                        GfxBlender blender, void* param);

/* ======================================================================
 * Keyboard, mouse and events (the console services are in runtime.h)
 * ====================================================================== */

/* Key and event queues. gfx_post_key appends a key code (1..255 a code
 * page 437 character, (code byte << 8) | 0xFF an extended key, 0x6BFF the
 * close button) to the process-wide ring of 15 codes, dropping the oldest
 * when full; returns 1. gfx_post_event appends one record to the open
 * screen's event queue (127 records, oldest dropped); nothing without a
 * screen. gfx_take_event removes the oldest record into *event: 1, or 0
 * when the queue is empty or no screen is open. Drivers post from their
 * thread; programs and tests may inject input the same way. */
int32_t gfx_post_key(int32_t code);
void gfx_post_event(const GfxEvent* event);
int32_t gfx_take_event(GfxEvent* event);

#ifdef __cplusplus
}
#endif

#endif
