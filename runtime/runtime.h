/* Runtime support: error numbers, runtime strings, console-service hooks,
 * the public console services and program lifetime. C-callable. */
#ifndef LICHTBOX_RUNTIME_RUNTIME_H
#define LICHTBOX_RUNTIME_RUNTIME_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Error numbers (per thread) ---------------------------------------- */
enum {
    RT_OK = 0,
    RT_ERR_ARGUMENT = 1, /* bad argument or no screen open */
    RT_ERR_MEMORY = 4    /* out of memory (line input) */
};
int32_t rt_set_error(int32_t err); /* stores err for this thread, returns it */
int32_t rt_get_error(void);

/* ---- Runtime strings ------------------------------------------------------
 * data: the bytes followed by a zero byte, or null for an empty string.
 * length: bits 0-30 the length; bit 31 marks a temporary string, which the
 * operation receiving it as an argument releases after use.
 * capacity: bytes allocated for data. */
typedef struct RuntimeString {
    char* data;
    uint32_t length;
    int32_t capacity;
} RuntimeString;

#define RT_STR_TEMP 0x80000000u
#define RT_STR_LEN_MASK 0x7FFFFFFFu

/* Number of bytes of s (without the temporary mark); 0 for null. */
int32_t rt_str_len(const RuntimeString* s);
/* A temporary string from the pool of 256 descriptors holding a copy of the
 * bytes. When the pool is exhausted (or memory runs out) the shared empty
 * string is returned; releasing it is harmless. */
RuntimeString* rt_str_temp(const char* bytes, int32_t len);
/* Temporary string of a zero-terminated text. */
RuntimeString* rt_str_temp_cstr(const char* text);
/* Releases s if it carries the temporary mark (frees its data and returns
 * the descriptor to the pool); does nothing for other strings and null. */
void rt_str_release_temp(RuntimeString* s);
/* Replaces dst's content by a copy of the bytes (dst is a caller-owned,
 * non-temporary descriptor, zero-initialised before first use).
 * Returns 0, or RT_ERR_MEMORY with dst left unchanged. */
int32_t rt_str_assign(RuntimeString* dst, const char* bytes, int32_t len);
/* Frees a caller-owned string's data and empties it. */
void rt_str_free(RuntimeString* s);
/* Byte-wise comparison: <0, 0, >0. Temporary arguments are released. */
int32_t rt_str_compare(RuntimeString* a, RuntimeString* b);
/* Decimal text of v as a temporary string ("-12", "0", "345"). */
RuntimeString* rt_str_from_int(int64_t v);
/* Number of temporary descriptors in use (for leak checks in tests). */
int32_t rt_str_temps_in_use(void);

/* Rounds to the nearest integer with ties to even, at 64-bit mantissa
 * precision where the processor has it (2.5 -> 2, 3.5 -> 4). */
int64_t rt_round_int(long double v);

/* ---- Console-service hooks ---------------------------------------------- */
/* Flags of line_input / line_input_wide. */
#define RT_INPUT_QUESTION 0x1 /* print "? " after the prompt */
#define RT_INPUT_NEWLINE 0x2  /* end with a new line */

/* The "no mode given" value of cls. */
#define RT_CLS_DEFAULT ((int32_t)0x80000000)

typedef struct ConsoleHooks {
    RuntimeString* (*inkey)(void);           /* 0: temporary string, maybe empty */
    int32_t (*getkey)(void);                 /* 1 */
    int32_t (*keyhit)(void);                 /* 2 */
    void (*cls)(int32_t mode);               /* 3 */
    uint32_t (*color)(uint32_t fg, uint32_t bg, int32_t flags); /* 4 */
    int32_t (*locate)(int32_t row, int32_t col, int32_t cursor); /* 5 */
    int32_t (*width)(int32_t cols, int32_t rows);                 /* 6 */
    int32_t (*get_x)(void);                  /* 7 */
    int32_t (*get_y)(void);                  /* 8 */
    void (*get_xy)(int32_t* col, int32_t* row);        /* 9 */
    void (*get_size)(int32_t* cols, int32_t* rows);    /* 10 */
    void (*print_buffer)(const char* bytes, int32_t len, int32_t mask); /* 11 */
    void (*print_buffer_wide)(const uint16_t* units, int32_t len, int32_t mask); /* 12 */
    char* (*read_str)(char* buffer, int32_t size);     /* 13 */
    int32_t (*multikey)(int32_t scancode);             /* 14 */
    int32_t (*get_mouse)(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons,
                         int32_t* clip);               /* 15 */
    int32_t (*set_mouse)(int32_t x, int32_t y, int32_t cursor, int32_t clip); /* 16 */
    int32_t (*port_in)(int32_t port);                  /* 17 */
    int32_t (*port_out)(int32_t port, int32_t value);  /* 18 */
    void (*view_update)(void);                         /* 19 */
    int32_t (*line_input)(RuntimeString* prompt, RuntimeString* target,
                          int32_t flags);              /* 20 */
    int32_t (*line_input_wide)(const uint16_t* prompt, int32_t prompt_len,
                               uint16_t* buffer, int32_t size,
                               int32_t flags);         /* 21 */
    int32_t (*read_xy)(int32_t col, int32_t row, int32_t color_flag); /* 22 */
    void (*sleep)(int32_t ms);                         /* 23 */
    int32_t (*is_redirected)(void);                    /* 24 */
    int32_t (*page_copy)(int32_t src, int32_t dst);    /* 25 */
    int32_t (*page_set)(int32_t work, int32_t visible); /* 26 */
} ConsoleHooks;

#define RT_HOOK_COUNT 27

/* Fills all 27 slots in one step (screen open) or clears them (null). */
void rt_hooks_install(const ConsoleHooks* hooks);
/* The table in use; all slots null while no graphics screen is open. */
const ConsoleHooks* rt_hooks(void);

/* Runtime console state shared with the graphics console. */
int32_t rt_print_column(void);           /* 0-based current print column */
void rt_set_print_column(int32_t column);
/* Text view rows, 0-based; -1 when not set. */
void rt_text_view(int32_t* top, int32_t* bottom);
void rt_set_text_view(int32_t top, int32_t bottom);

/* ---- Public console services ---------------------------------------------
 * Each reads its hook slot once per call: a filled slot answers, otherwise
 * the text-window version runs on the terminal (stdout/stdin). */
RuntimeString* gfx_inkey(void);
int32_t gfx_getkey(void);
int32_t gfx_keyhit(void);
void gfx_cls(int32_t mode);
uint32_t gfx_color(uint32_t fg, uint32_t bg, int32_t flags);
/* Validates row and column against the text view and width; on a bad one
 * sets error 1 and retries once with 0, 0. Returns the slot's answer. */
int32_t gfx_locate(int32_t row, int32_t col, int32_t cursor);
int32_t gfx_width(int32_t cols, int32_t rows);
int32_t gfx_get_x(void);
int32_t gfx_get_y(void);
void gfx_get_xy(int32_t* col, int32_t* row);
void gfx_get_size(int32_t* cols, int32_t* rows);
void gfx_print_buffer(const char* bytes, int32_t len, int32_t mask);
void gfx_print_buffer_wide(const uint16_t* units, int32_t len, int32_t mask);
char* gfx_read_str(char* buffer, int32_t size);
int32_t gfx_multikey(int32_t scancode);
int32_t gfx_get_mouse(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons,
                      int32_t* clip);
int32_t gfx_set_mouse(int32_t x, int32_t y, int32_t cursor, int32_t clip);
int32_t gfx_port_in(int32_t port);
int32_t gfx_port_out(int32_t port, int32_t value);
void gfx_view_update(void);
int32_t gfx_line_input(RuntimeString* prompt, RuntimeString* target, int32_t flags);
int32_t gfx_line_input_wide(const uint16_t* prompt, int32_t prompt_len,
                            uint16_t* buffer, int32_t size, int32_t flags);
int32_t gfx_read_xy(int32_t col, int32_t row, int32_t color_flag);
void gfx_sleep(int32_t ms);
int32_t gfx_is_redirected(void);
int32_t gfx_page_copy(int32_t src, int32_t dst);
int32_t gfx_page_set(int32_t work, int32_t visible);

/* Print mask bits of gfx_print. */
#define RT_PRINT_NEWLINE 0x1
#define RT_PRINT_ZONE 0x2
#define RT_PRINT_NEWLINE2 0x4
/* Prints a runtime string on file 0 (the screen), then a new line or the
 * next print zone as the mask says. A temporary string is released. */
int32_t gfx_print(int32_t file, RuntimeString* text, int32_t mask);

/* ---- Program lifetime ---------------------------------------------------- */
/* One-time initialisation (counted): 64-bit x87 precision, round to
 * nearest, cleared error state. */
void rt_init(void);
/* Ends the program through the C library's exit (handlers run in reverse
 * order of registration). */
void rt_end(int32_t status);

#ifdef __cplusplus
}
#endif

#endif
