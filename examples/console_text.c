/* Text on the graphics screen. The console prints in colour on a page and
 * scrolls inside a text view below a banner; gfx_draw_string puts text at
 * any pixel; the line editor (gfx_line_input) reads what the user types,
 * with Backspace, until Enter. An empty line ends the program.
 *
 * Usage: console_text [LINE...]. With arguments the program types each LINE
 * itself (it posts the keys to the key queue before the editor reads them)
 * and then an empty line, so it also runs and ends with ZRGFX=null, where
 * no keyboard exists. */
#include <stdio.h>
#include <string.h>

#include "gfx/gfx.h"

#define BANNER_H 64 /* pixels: the top four text rows */
#define WHITE 0xFFFFFFFFu
#define YELLOW 0xFFFFE060u
#define CYAN 0xFF70E0FFu
#define NAVY 0xFF102050u
#define DARK 0xFF000818u

/* Types text and Enter as if on the keyboard. The key queue holds 15 codes,
 * so at most 14 characters are typed. */
static void type_line(const char* text) {
    size_t n = strlen(text);
    if (n > 14) n = 14;
    for (size_t i = 0; i < n; ++i) gfx_post_key((unsigned char)text[i]);
    gfx_post_key('\r');
}

static void draw_text(float x, float y, const char* text, uint32_t color) {
    gfx_draw_string(NULL, x, y, coord_abs, rt_str_temp_cstr(text), color, NULL,
                    PUT_METHOD_TRANSPARENT, NULL, NULL, NULL);
}

/* The banner: a title and the last line typed, drawn at pixel positions with
 * a drop shadow (the same text twice, two pixels apart). */
static void draw_banner(const char* last) {
    gfx_line(NULL, 0, 0, 639, BANNER_H - 1, NAVY, 2, 0xFFFF, coord_abs_abs);
    gfx_line(NULL, 0, BANNER_H - 2, 639, BANNER_H - 2, YELLOW, 0, 0xF0F0, coord_abs_abs);
    draw_text(14, 10, "Lichtbox console example", DARK);
    draw_text(12, 8, "Lichtbox console example", YELLOW);
    if (last[0]) {
        char text[96];
        snprintf(text, sizeof text, "Last line: %.80s", last);
        draw_text(12 + 2, 34 + 2, text, DARK);
        draw_text(12, 34, text, WHITE);
    }
}

int main(int argc, char** argv) {
    rt_init();
    if (gfx_screen_set(18, 32, 1, 0, 0) != 0) { /* 640 x 480, 80 x 30 text cells */
        fprintf(stderr, "console_text: cannot open a graphics screen\n");
        return 1;
    }
    gfx_color(WHITE, DARK, 0);
    gfx_cls(0);
    draw_banner("");
    rt_set_text_view(BANNER_H / 16, 29); /* the console scrolls below the banner */
    gfx_locate(BANNER_H / 16 + 2, 1, 0);

    RuntimeString line = {0};
    int next = 1;
    for (;;) {
        if (argc > 1) type_line(next < argc ? argv[next++] : "");
        gfx_color(CYAN, DARK, 0);
        if (gfx_line_input(rt_str_temp_cstr("Type a line (an empty one ends)"), &line,
                           RT_INPUT_QUESTION | RT_INPUT_NEWLINE) != 0 ||
            rt_str_len(&line) == 0)
            break;
        char reply[120];
        snprintf(reply, sizeof reply, "%d characters: \"%.80s\"", rt_str_len(&line), line.data);
        gfx_color(YELLOW, DARK, 0);
        gfx_print(0, rt_str_temp_cstr(reply), RT_PRINT_NEWLINE);
        draw_banner(line.data);
    }
    rt_str_free(&line);
    rt_end(0); /* closes the screen through the runtime's exit handlers */
    return 0;
}
