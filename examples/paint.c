/* A small paint program on the screen page. The mouse draws freehand lines,
 * circles (press at the centre, release on the rim) and flood fills (click
 * inside a shape outlined in the current colour: the fill stops at that
 * colour). Keys: l line, c circle, f fill, 1-8 colour, x clear; Esc or the
 * window's close button ends. A click on the bar at the top picks a colour.
 *
 * Usage: paint [demo]. "demo" plays a short recorded session through the
 * same input handling instead of reading the mouse and keyboard, then ends:
 * that is how it runs with ZRGFX=null, where there is no mouse. */
#include <stdio.h>
#include <string.h>

#include "gfx/gfx.h"
#include "read_key.h"

#define W 640
#define H 480
#define BAR_H 32 /* rows 0..BAR_H belong to the bar, the canvas lies below */
#define SWATCH_X 8
#define SWATCH_STEP 34
#define FULL_TURN 6.283186f
#define WHITE 0xFFFFFFFFu

enum { TOOL_LINE, TOOL_CIRCLE, TOOL_FILL };
static const char* const tool_names[] = {"Line", "Circle", "Fill"};
static const uint32_t colors[8] = {0xFF000000u, 0xFF808080u, 0xFFE02020u, 0xFFF08020u,
                                   0xFFF0E020u, 0xFF20A040u, 0xFF2050E0u, 0xFF9030C0u};

/* One pass of input: the mouse (buttons bit 0 is the left one) and a key. */
typedef struct Input {
    int x, y, buttons, key;
} Input;

typedef struct Painter {
    int tool, color_index, down, x0, y0;
} Painter;

static void box(int x1, int y1, int x2, int y2, uint32_t color, int kind) {
    gfx_line(NULL, (float)x1, (float)y1, (float)x2, (float)y2, color, kind, 0xFFFF, coord_abs_abs);
}

static void draw_bar(const Painter* p) {
    box(0, 0, W - 1, BAR_H, 0xFF303438u, 2);
    for (int i = 0; i < 8; ++i) {
        const int x = SWATCH_X + i * SWATCH_STEP;
        box(x, 5, x + 25, 26, colors[i], 2);
        if (i == p->color_index) box(x - 3, 2, x + 28, 29, WHITE, 1);
    }
    char text[64];
    snprintf(text, sizeof text, "%-6s  l c f  1-8  x: clear  Esc: end", tool_names[p->tool]);
    gfx_draw_string(NULL, 290, 8, coord_abs, rt_str_temp_cstr(text), WHITE, NULL,
                    PUT_METHOD_TRANSPARENT, NULL, NULL, NULL);
}

static int distance(int dx, int dy) {
    const int d2 = dx * dx + dy * dy;
    int r = 0;
    while ((r + 1) * (r + 1) <= d2) ++r;
    return r;
}

static void press(Painter* p, int x, int y) {
    const uint32_t color = colors[p->color_index];
    if (y <= BAR_H) {
        const int i = (x - SWATCH_X) / SWATCH_STEP;
        if (x >= SWATCH_X && i < 8) p->color_index = i;
        return;
    }
    p->down = 1;
    p->x0 = x;
    p->y0 = y;
    if (p->tool == TOOL_LINE) {
        box(x, y, x, y, color, 0); /* a dot where the stroke starts */
    } else if (p->tool == TOOL_FILL) {
        /* A fence of the fill colour along the bar's lowest row keeps the
         * fill out of the bar; the bar is drawn over it afterwards. */
        box(0, BAR_H, W - 1, BAR_H, color, 0);
        gfx_paint(NULL, (float)x, (float)y, color, 0, NULL, 0, coord_abs | GFX_BORDER_OMITTED);
    }
}

/* Handles one pass; 0 when the program should end. */
static int handle(Painter* p, const Input* in) {
    if (in->key == KEY_ESC || in->key == KEY_CLOSE) return 0;
    if (in->key == 'l') p->tool = TOOL_LINE;
    if (in->key == 'c') p->tool = TOOL_CIRCLE;
    if (in->key == 'f') p->tool = TOOL_FILL;
    if (in->key == 'x') box(0, BAR_H + 1, W - 1, H - 1, WHITE, 2);
    if (in->key >= '1' && in->key <= '8') p->color_index = in->key - '1';

    const int left = in->buttons > 0 && (in->buttons & 1); /* -1: outside the window */
    const uint32_t color = colors[p->color_index];
    int changed = in->key != 0;
    if (left && !p->down) {
        press(p, in->x, in->y);
        changed = 1;
    } else if (left && p->tool == TOOL_LINE && in->y > BAR_H) {
        box(p->x0, p->y0, in->x, in->y, color, 0);
        p->x0 = in->x;
        p->y0 = in->y;
    } else if (!left && p->down) {
        p->down = 0;
        if (p->tool == TOOL_CIRCLE)
            gfx_circle(NULL, (float)p->x0, (float)p->y0, (float)distance(in->x - p->x0, in->y - p->y0),
                       color, 0, 0, FULL_TURN, 0, coord_abs);
        changed = 1;
    }
    if (changed) draw_bar(p); /* also covers what a circle drew over the bar */
    return 1;
}

/* The recorded session: a green filled circle, a red filled triangle. */
static const Input demo[] = {
    {0, 0, 0, '6'},   {0, 0, 0, 'c'},   {400, 250, 1, 0}, {480, 250, 0, 0}, /* circle */
    {0, 0, 0, 'f'},   {400, 250, 1, 0}, {400, 250, 0, 0},                   /* fill it */
    {0, 0, 0, '3'},   {0, 0, 0, 'l'},   {100, 400, 1, 0}, {180, 300, 1, 0}, /* triangle */
    {260, 400, 1, 0}, {100, 400, 1, 0}, {100, 400, 0, 0},
    {0, 0, 0, 'f'},   {180, 370, 1, 0}, {180, 370, 0, 0},                   /* fill it */
    {SWATCH_X + 6 * SWATCH_STEP + 10, 15, 1, 0}, {0, 0, 0, 0},              /* pick blue */
    {0, 0, 0, KEY_ESC},
};

int main(int argc, char** argv) {
    const int playing_demo = argc > 1 && strcmp(argv[1], "demo") == 0;
    if (argc > 2 || (argc == 2 && !playing_demo)) {
        fprintf(stderr, "usage: paint [demo]\n");
        return 2;
    }
    rt_init();
    if (gfx_screen_set(18, 32, 1, 0, 0) != 0) {
        fprintf(stderr, "paint: cannot open a graphics screen\n");
        return 1;
    }
    Painter painter = {TOOL_LINE, 0, 0, 0, 0};
    box(0, BAR_H + 1, W - 1, H - 1, WHITE, 2);
    draw_bar(&painter);

    for (size_t step = 0;; ++step) {
        Input in = {0, 0, 0, 0};
        if (playing_demo) {
            if (step == sizeof demo / sizeof demo[0]) break;
            in = demo[step];
            gfx_sleep(80); /* slow enough to watch */
        } else {
            if (gfx_get_mouse(&in.x, &in.y, NULL, &in.buttons, NULL) != 0) in.buttons = 0;
            in.key = read_key();
            gfx_sleep(10);
        }
        if (!handle(&painter, &in)) break;
    }
    rt_end(0);
    return 0;
}
