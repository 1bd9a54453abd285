/* Double buffering: every frame is drawn on a hidden page (page 0) while
 * page 1 is shown, then copied onto the shown page in one step, so the
 * viewer never sees a half-drawn frame. Balls bounce in a box and a wedge
 * turns like a radar beam. Space pauses; Esc or the window's close button
 * (key code 0x6BFF, which gfx_inkey gives as character 255 and "k") ends.
 *
 * Usage: animation [FRAMES]. With a count the program also ends by itself
 * after that many frames: that is how it runs with ZRGFX=null, where no
 * key can arrive. */
#include <stdio.h>
#include <stdlib.h>

#include "gfx/gfx.h"
#include "read_key.h"

#define W 640
#define H 480
#define LEFT 20
#define TOP 20
#define RIGHT (W - 21)
#define BOTTOM (H - 61)
#define FULL_TURN 6.283186f

typedef struct Ball {
    float x, y, dx, dy, r;
    uint32_t color;
} Ball;

static void move_ball(Ball* b) {
    b->x += b->dx;
    b->y += b->dy;
    if (b->x - b->r < LEFT || b->x + b->r > RIGHT) b->dx = -b->dx;
    if (b->y - b->r < TOP || b->y + b->r > BOTTOM) b->dy = -b->dy;
}

static void draw_frame(const Ball* balls, int count, long tick) {
    gfx_line(NULL, 0, 0, W - 1, H - 1, 0xFF101828u, 2, 0xFFFF, coord_abs_abs); /* clear */
    gfx_line(NULL, LEFT, TOP, RIGHT, BOTTOM, 0xFF8090A0u, 1, 0xFFFF, coord_abs_abs);

    /* The beam: an arc from start to end; negative angles add the radii. */
    float start = 0.05f * (float)(1 + tick % 120);
    float end = start + 0.8f;
    if (end >= FULL_TURN) end -= FULL_TURN;
    gfx_circle(NULL, W / 2, (TOP + BOTTOM) / 2, 150, 0xFF205030u, 0, 0, FULL_TURN, 0, coord_abs);
    gfx_circle(NULL, W / 2, (TOP + BOTTOM) / 2, 150, 0xFF40C050u, 0, -start, -end, 0, coord_abs);

    for (int i = 0; i < count; ++i)
        gfx_circle(NULL, balls[i].x, balls[i].y, balls[i].r, balls[i].color, 0, 0, FULL_TURN, 1,
                   coord_abs);

    char status[80];
    snprintf(status, sizeof status, "step %ld   Space: pause   Esc: end", tick);
    gfx_draw_string(NULL, LEFT, BOTTOM + 20, coord_abs, rt_str_temp_cstr(status), 0xFFE0E0E0u, NULL,
                    PUT_METHOD_TRANSPARENT, NULL, NULL, NULL);
}

int main(int argc, char** argv) {
    long frames = -1; /* until a key ends it */
    if (argc > 1) {
        char* end;
        frames = strtol(argv[1], &end, 10);
        if (argc > 2 || *end != 0 || frames <= 0) {
            fprintf(stderr, "usage: animation [FRAMES]\n");
            return 2;
        }
    }
    Ball balls[] = {
        {100, 100, 3.0f, 2.0f, 24, 0xFFE04030u}, {300, 200, -2.5f, 3.5f, 18, 0xFFF0C020u},
        {500, 300, 4.0f, -2.0f, 30, 0xFF3080F0u}, {200, 350, -3.5f, -3.0f, 14, 0xFFF060D0u},
    };
    const int count = (int)(sizeof balls / sizeof balls[0]);

    rt_init();
    if (gfx_screen_set(18, 32, 2, 0, 0) != 0) {
        fprintf(stderr, "animation: cannot open a graphics screen\n");
        return 1;
    }
    gfx_page_set(0, 1); /* draw on page 0, show page 1 */

    int paused = 0;
    long tick = 0; /* steps of the motion; they stop while paused */
    for (long frame = 0; frames < 0 || frame < frames; ++frame) {
        const int key = read_key();
        if (key == KEY_ESC || key == KEY_CLOSE) break;
        if (key == ' ') paused = !paused;
        if (!paused) {
            for (int i = 0; i < count; ++i) move_ball(&balls[i]);
            ++tick;
        }
        draw_frame(balls, count, tick);
        gfx_page_copy(0, 1); /* present the finished frame */
        gfx_sleep(16);
    }
    rt_end(0);
    return 0;
}
