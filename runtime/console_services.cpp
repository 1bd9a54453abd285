// The console-service hook table and the public console services: each
// service reads its slot once and calls it, or runs the text-window version.
#include <atomic>
#include <cstdint>

#include "runtime/runtime.h"
#include "runtime/runtime_internal.h"
#include "runtime/tty_console.h"

static_assert(sizeof(ConsoleHooks) == RT_HOOK_COUNT * sizeof(void*),
              "the hook table is one block of 27 routine pointers");

namespace {

// Written only by the program's thread when a screen opens or closes.
constinit ConsoleHooks g_hooks = {};

std::atomic<int32_t> g_print_column{0};
std::atomic<int32_t> g_view_top{-1};
std::atomic<int32_t> g_view_bottom{-1};

// The routine that answers a service: the filled slot, else the console
// version. The slot is read exactly once; the caller keeps the copy.
template <typename Fn>
Fn pick(Fn ConsoleHooks::*slot) {
    const Fn hooked = g_hooks.*slot;
    return hooked != nullptr ? hooked : lichtbox::tty::console_hooks().*slot;
}

constexpr char kNewLine[2] = {13, 10};
constexpr char kBlanks[14] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
constexpr int32_t kZoneWidth = 14;

}  // namespace

namespace lichtbox {

void reset_console_state() {
    g_print_column.store(0);
    g_view_top.store(-1);
    g_view_bottom.store(-1);
}

}  // namespace lichtbox

extern "C" {

void rt_hooks_install(const ConsoleHooks* hooks) {
    if (hooks != nullptr)
        g_hooks = *hooks;
    else
        g_hooks = ConsoleHooks{};
}

const ConsoleHooks* rt_hooks(void) { return &g_hooks; }

int32_t rt_print_column(void) { return g_print_column.load(std::memory_order_relaxed); }
void rt_set_print_column(int32_t column) {
    g_print_column.store(column, std::memory_order_relaxed);
}

void rt_text_view(int32_t* top, int32_t* bottom) {
    if (top) *top = g_view_top.load(std::memory_order_relaxed);
    if (bottom) *bottom = g_view_bottom.load(std::memory_order_relaxed);
}

void rt_set_text_view(int32_t top, int32_t bottom) {
    g_view_top.store(top, std::memory_order_relaxed);
    g_view_bottom.store(bottom, std::memory_order_relaxed);
}

/* ---- Services that pass straight through ------------------------------- */

RuntimeString* gfx_inkey(void) { return pick(&ConsoleHooks::inkey)(); }
int32_t gfx_getkey(void) { return pick(&ConsoleHooks::getkey)(); }
int32_t gfx_keyhit(void) { return pick(&ConsoleHooks::keyhit)(); }
void gfx_cls(int32_t mode) { pick(&ConsoleHooks::cls)(mode); }
uint32_t gfx_color(uint32_t fg, uint32_t bg, int32_t flags) {
    return pick(&ConsoleHooks::color)(fg, bg, flags);
}
int32_t gfx_width(int32_t cols, int32_t rows) { return pick(&ConsoleHooks::width)(cols, rows); }
int32_t gfx_get_x(void) { return pick(&ConsoleHooks::get_x)(); }
int32_t gfx_get_y(void) { return pick(&ConsoleHooks::get_y)(); }
void gfx_get_xy(int32_t* col, int32_t* row) { pick(&ConsoleHooks::get_xy)(col, row); }
void gfx_get_size(int32_t* cols, int32_t* rows) { pick(&ConsoleHooks::get_size)(cols, rows); }
void gfx_print_buffer(const char* bytes, int32_t len, int32_t mask) {
    pick(&ConsoleHooks::print_buffer)(bytes, len, mask);
}
void gfx_print_buffer_wide(const uint16_t* units, int32_t len, int32_t mask) {
    pick(&ConsoleHooks::print_buffer_wide)(units, len, mask);
}
char* gfx_read_str(char* buffer, int32_t size) {
    return pick(&ConsoleHooks::read_str)(buffer, size);
}
int32_t gfx_multikey(int32_t scancode) { return pick(&ConsoleHooks::multikey)(scancode); }
int32_t gfx_get_mouse(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons, int32_t* clip) {
    return pick(&ConsoleHooks::get_mouse)(x, y, wheel, buttons, clip);
}
int32_t gfx_set_mouse(int32_t x, int32_t y, int32_t cursor, int32_t clip) {
    return pick(&ConsoleHooks::set_mouse)(x, y, cursor, clip);
}
int32_t gfx_port_in(int32_t port) { return pick(&ConsoleHooks::port_in)(port); }
int32_t gfx_port_out(int32_t port, int32_t value) {
    return pick(&ConsoleHooks::port_out)(port, value);
}
void gfx_view_update(void) { pick(&ConsoleHooks::view_update)(); }
int32_t gfx_line_input(RuntimeString* prompt, RuntimeString* target, int32_t flags) {
    return pick(&ConsoleHooks::line_input)(prompt, target, flags);
}
int32_t gfx_line_input_wide(const uint16_t* prompt, int32_t prompt_len, uint16_t* buffer,
                            int32_t size, int32_t flags) {
    return pick(&ConsoleHooks::line_input_wide)(prompt, prompt_len, buffer, size, flags);
}
int32_t gfx_read_xy(int32_t col, int32_t row, int32_t color_flag) {
    return pick(&ConsoleHooks::read_xy)(col, row, color_flag);
}
void gfx_sleep(int32_t ms) { pick(&ConsoleHooks::sleep)(ms); }
int32_t gfx_is_redirected(void) { return pick(&ConsoleHooks::is_redirected)(); }
int32_t gfx_page_copy(int32_t src, int32_t dst) {
    return pick(&ConsoleHooks::page_copy)(src, dst);
}
int32_t gfx_page_set(int32_t work, int32_t visible) {
    return pick(&ConsoleHooks::page_set)(work, visible);
}

/* ---- Services with their own rules -------------------------------------- */

int32_t gfx_locate(int32_t row, int32_t col, int32_t cursor) {
    if (row != 0 || col != 0) {
        int32_t cols = 0;
        int32_t rows = 0;
        gfx_get_size(&cols, &rows);
        int32_t top = -1;
        int32_t bottom = -1;
        rt_text_view(&top, &bottom);
        if (top < 0) top = 0;
        if (bottom < 0) bottom = rows > 0 ? rows - 1 : 24;
        const bool row_ok = row == 0 || (row >= top + 1 && row <= bottom + 1);
        const bool col_ok = col == 0 || (col >= 1 && col <= cols);
        if (!row_ok || !col_ok) {
            rt_set_error(RT_ERR_ARGUMENT);
            return gfx_locate(0, 0, cursor);
        }
    }
    const int32_t result = pick(&ConsoleHooks::locate)(row, col, cursor);
    if (col != 0) rt_set_print_column(col - 1);
    return result;
}

int32_t gfx_print(int32_t file, RuntimeString* text, int32_t mask) {
    if (file != 0) {
        // Only the screen is open for printing.
        rt_str_release_temp(text);
        return rt_set_error(RT_ERR_ARGUMENT);
    }
    const int32_t len = rt_str_len(text);
    if (len > 0 && text->data != nullptr) gfx_print_buffer(text->data, len, 0);
    if ((mask & (RT_PRINT_NEWLINE | RT_PRINT_NEWLINE2)) != 0) {
        gfx_print_buffer(kNewLine, 2, 0);
    } else if ((mask & RT_PRINT_ZONE) != 0) {
        // Next print zone: zones are 14 columns wide; a zone that would not
        // leave a full one before the line end starts a new line.
        // (64-bit so that no print column can overflow the sums.)
        const int64_t a = rt_print_column();
        int32_t b = 0;
        gfx_get_size(&b, nullptr);
        int64_t c = ((a + kZoneWidth) / kZoneWidth) * kZoneWidth + 1;
        if (b >= kZoneWidth && c > b - kZoneWidth) c = 1;
        if (a + 1 >= c) {
            gfx_print_buffer(kNewLine, 2, 0);
        } else {
            // At most 14 blanks unless the print column was set below 0.
            for (int64_t n = c - a - 1; n > 0; n -= kZoneWidth)
                gfx_print_buffer(kBlanks, static_cast<int32_t>(n < kZoneWidth ? n : kZoneWidth), 0);
        }
    }
    rt_str_release_temp(text);
    return 0;
}

}  // extern "C"

