// The text console on the graphics screen: printing with the terminal
// engine as opaque glyph cells on the work page, the text cells of every
// page, the text cursor, colours, clearing and the text size.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "gfx/console/console_internal.h"
#include "gfx/core/context_internal.h"
#include "gfx/core/pixel_routines.h"
#include "runtime/terminal_engine.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace gfx {
namespace {

void platform_beep() {
#if defined(_WIN32)
    MessageBeep(0xFFFFFFFFu);
#endif
}

void (*g_beep)() = platform_beep;
bool g_skip_hidden = true;

constexpr int32_t kPrintInput = 0x8;  // print mask: run even without bytes

// Text cell grid of the work page, or null.
GfxTextCell* work_cells(GfxContext* ctx, const GfxDrawState* state) {
    if (!ctx->text_cells || state->work_page < 0 || state->work_page >= ctx->page_count) return nullptr;
    return ctx->text_cells[state->work_page];
}

// Rows of the text view as the runtime keeps them, unset ones read as the
// whole console (row 24 as the bottom of a console without rows).
void text_view_rows(const GfxContext* ctx, int32_t* top, int32_t* bottom) {
    int32_t t = -1, b = -1;
    rt_text_view(&t, &b);
    *top = t == -1 ? 0 : t;
    *bottom = b == -1 ? (ctx->text_h > 0 ? ctx->text_h - 1 : 24) : b;
}

// Text rows and columns whose cells lie wholly inside the page and the cell
// grid.
int32_t usable_cols(const GfxContext* ctx) {
    const int32_t fw = ctx->font ? ctx->font->w : 0;
    return fw > 0 ? std::min(ctx->text_w, ctx->w / fw) : 0;
}

int32_t usable_rows(const GfxContext* ctx) {
    const int32_t fh = ctx->font ? ctx->font->h : 0;
    return fh > 0 ? std::min(ctx->text_h, ctx->h / fh) : 0;
}

// Work page as target with opaque pixel routines: text cells are opaque.
GfxDrawState* begin_console(GfxContext* ctx) {
    GfxDrawState* state = gfx_get_draw_state();
    if (!ctx || !state || !state->line) return nullptr;
    select_target(state, nullptr);
    gfx_select_pixel_routines(state, 0xFF000000u);
    return state;
}

void mark_touched(GfxDrawState* state, const TouchedRows& touched) {
    if (!touched.empty()) gfx_mark_dirty(state, touched.first, touched.last - touched.first + 1);
}

// Fills pixel rows y0..y1 (clipped to the page) with the background colour
// from column x over n pixels (clipped to the row).
void fill_rows(GfxContext* ctx, GfxDrawState* state, int32_t x, int32_t n, int32_t y0, int32_t y1,
               TouchedRows& touched) {
    x = std::max(x, 0);
    n = std::min<int64_t>(n, int64_t(ctx->w) - x);
    y0 = std::max(y0, 0);
    y1 = std::min(y1, ctx->h - 1);
    if (n <= 0 || y0 > y1) return;
    for (int32_t y = y0; y <= y1; ++y)
        state->pixel_set(state->line[y] + std::size_t(x) * std::size_t(ctx->bpp), state->bg_color, n);
    touched.add(y0, y1);
}

// Puts the graphics cursor (the last point) at the centre of the view.
void centre_last_point(GfxDrawState* state) {
    state->last_x = float(state->view_w / 2);
    state->last_y = float(state->view_h / 2);
}

void cls_locked(GfxContext* ctx, GfxDrawState* state, int32_t mode) {
    int32_t top, bottom;
    text_view_rows(ctx, &top, &bottom);
    if (mode == RT_CLS_DEFAULT) {
        if (state->flags & GFX_VIEW_SET)
            mode = 1;
        else
            mode = (top == 0 && bottom == ctx->text_h - 1) ? 0 : 2;
    }
    const int32_t fh = ctx->font ? ctx->font->h : 0;
    TouchedRows touched;
    if (mode == 0) {
        fill_rows(ctx, state, 0, ctx->w, 0, ctx->h - 1, touched);
        fill_cells(ctx, state->work_page, 0, 0, ctx->text_w - 1, ctx->text_h - 1, 32, state->fg_color,
                   state->bg_color);
        centre_last_point(state);
    } else if (mode == 2) {
        fill_rows(ctx, state, 0, ctx->w, int32_t(std::clamp<int64_t>(int64_t(top) * fh, 0, ctx->h)),
                  int32_t(std::clamp<int64_t>((int64_t(bottom) + 1) * fh - 1, -1, ctx->h - 1)), touched);
        fill_cells(ctx, state->work_page, 0, top, ctx->text_w - 1, bottom, 32, state->fg_color,
                   state->bg_color);
    } else {
        fill_rows(ctx, state, state->view_x, state->view_w, state->view_y,
                  int32_t(std::min<int64_t>(int64_t(state->view_y) + state->view_h - 1, ctx->h - 1)), touched);
        centre_last_point(state);
    }
    if (mode == 0 || mode == 2) {
        // The cursor leaves the bottom row, so no line end is owed any more.
        ctx->cursor_x = 0;
        ctx->cursor_y = top;
        ctx->flags &= ~GFX_PRINT_WRAP_PENDING;
        rt_set_print_column(0);
    }
    mark_touched(state, touched);
}

// The print proper over bytes that are valid for len bytes (len >= 0).
void print_bytes(GfxContext* ctx, GfxDrawState* state, const char* bytes, int32_t len) {
    using lichtbox::TerminalEngine;
    const int32_t cols = usable_cols(ctx);
    const int32_t rows = usable_rows(ctx);
    if (cols <= 0 || rows <= 0) return;  // no cell fits on this screen

    TerminalEngine::Region region;
    text_view_rows(ctx, &region.top, &region.bottom);
    region.left = 0;
    region.right = cols - 1;
    // A text view outside the rows that exist is pulled onto them.
    region.bottom = std::clamp(region.bottom, 0, rows - 1);
    region.top = std::clamp(region.top, 0, region.bottom);

    const bool pending = (ctx->flags & GFX_PRINT_WRAP_PENDING) != 0;
    const int32_t start_x = ctx->cursor_x;
    const int32_t start_y = ctx->cursor_y;

    // First pass: count the rows this print scrolls in total, so that the
    // second pass can leave out characters that end above the text view.
    int64_t total_scroll = 0;
    if (g_skip_hidden) {
        TerminalEngine::Callbacks count;
        count.write_run = [](int32_t, int32_t, const char*, int32_t) {};
        count.scroll = [&](int32_t n) { total_scroll += n; };
        TerminalEngine probe(std::move(count));
        probe.set_region(region);
        probe.set_cursor(start_x, start_y);
        probe.set_wrap_pending(pending);
        probe.print(bytes, len);
    }

    TouchedRows touched;
    int64_t scrolled = 0;       // rows scrolled so far in this print
    int64_t owed_scroll = 0;    // scrolls not yet applied to pixels and cells
    auto apply_scroll = [&] {
        if (owed_scroll > 0) {
            const int64_t height = int64_t(region.bottom) - region.top + 1;
            console_scroll(ctx, state, region.left, region.top, region.right, region.bottom,
                           int32_t(std::min(owed_scroll, height)), touched);
            owed_scroll = 0;
        }
    };

    TerminalEngine::Callbacks draw;
    draw.write_run = [&](int32_t x, int32_t y, const char* run, int32_t n) {
        if (g_skip_hidden && y >= region.top && y <= region.bottom &&
            total_scroll - scrolled > int64_t(y) - region.top) {
            // Scrolled out of the view before this print ends: the row is
            // touched by that scroll anyway.
            return;
        }
        apply_scroll();
        console_write(ctx, state, x, y, run, n, touched);
    };
    draw.scroll = [&](int32_t n) {
        scrolled += n;
        owed_scroll += n;
        if (!g_skip_hidden) apply_scroll();
    };
    draw.beep = [] {
        if (g_beep) g_beep();
    };
    TerminalEngine engine(std::move(draw));
    engine.set_region(region);
    engine.set_cursor(start_x, start_y);
    engine.set_wrap_pending(pending);
    engine.print(bytes, len);
    apply_scroll();

    ctx->cursor_x = engine.x();
    ctx->cursor_y = engine.y();
    if (engine.wrap_pending())
        ctx->flags |= GFX_PRINT_WRAP_PENDING;
    else
        ctx->flags &= ~GFX_PRINT_WRAP_PENDING;
    mark_touched(state, touched);
}

}  // namespace

uint32_t rgb565_to_argb(uint32_t pixel) {
    const uint32_t r = (pixel >> 11) & 0x1F;
    const uint32_t g = (pixel >> 5) & 0x3F;
    const uint32_t b = pixel & 0x1F;
    return 0xFF000000u | (((r << 3) | (r >> 2)) << 16) | (((g << 2) | (g >> 4)) << 8) | ((b << 3) | (b >> 2));
}

void set_console_beep(void (*beep)()) { g_beep = beep ? beep : platform_beep; }
void set_console_skip_hidden(bool skip) { g_skip_hidden = skip; }

void console_write(GfxContext* ctx, GfxDrawState* state, int32_t x, int32_t y, const char* bytes,
                   int32_t n, TouchedRows& touched) {
    const GfxFont* font = ctx->font;
    if (!font || !font->data || n <= 0 || font->w <= 0 || font->h <= 0) return;
    const int32_t fw = font->w, fh = font->h;
    const int32_t row_bytes = (fw + 7) / 8;
    const int64_t py0 = int64_t(y) * fh;
    const uint32_t fg = state->fg_color, bg = state->bg_color;

    if (n == 1 && static_cast<unsigned char>(bytes[0]) == 255) {
        // The text-cursor mark: only the bottom pixel row of the cell.
        const int64_t py = py0 + fh - 1;
        if (py >= 0 && py < ctx->h) {
            for (int32_t i = 0; i < fw; ++i) {
                const int64_t px = int64_t(x) * fw + i;
                if (px >= 0 && px < ctx->w) state->put_pixel(state, int32_t(px), int32_t(py), fg);
            }
            touched.add(int32_t(py), int32_t(py));
        }
    } else {
        // Glyph rows that fall on the page.
        const int32_t r0 = int32_t(std::clamp<int64_t>(-py0, 0, fh));
        const int32_t r1 = int32_t(std::clamp<int64_t>(int64_t(ctx->h) - py0, 0, fh));
        for (int32_t i = 0; i < n; ++i) {
            const int64_t px0 = (int64_t(x) + i) * fw;
            if (px0 >= ctx->w) break;
            if (px0 + fw <= 0) continue;
            const uint8_t* glyph = font->data + std::size_t(static_cast<unsigned char>(bytes[i])) *
                                                    std::size_t(fh) * std::size_t(row_bytes);
            for (int32_t r = r0; r < r1; ++r) {
                const uint8_t* bits = glyph + std::size_t(r) * std::size_t(row_bytes);
                const int32_t py = int32_t(py0 + r);
                for (int32_t c = 0; c < fw; ++c) {
                    const int64_t px = px0 + c;
                    if (px < 0 || px >= ctx->w) continue;
                    const bool set = (bits[c >> 3] >> (c & 7)) & 1;
                    state->put_pixel(state, int32_t(px), py, set ? fg : bg);
                }
            }
        }
        if (r0 < r1) touched.add(int32_t(py0 + r0), int32_t(py0 + r1 - 1));
    }

    // Record the characters, sign-extended, in the work page's cells.
    GfxTextCell* cells = work_cells(ctx, state);
    if (!cells || y < 0 || y >= ctx->text_h) return;
    const int32_t c0 = std::max(x, 0);
    const int32_t c1 = int32_t(std::min<int64_t>(int64_t(x) + n, ctx->text_w));
    GfxTextCell* row = cells + std::size_t(y) * std::size_t(ctx->text_w);
    for (int32_t c = c0; c < c1; ++c)
        row[c] = GfxTextCell{int16_t(static_cast<signed char>(bytes[c - x])), 0, fg, bg};
}

void console_scroll(GfxContext* ctx, GfxDrawState* state, int32_t left, int32_t top, int32_t right,
                    int32_t bottom, int32_t n, TouchedRows& touched) {
    const GfxFont* font = ctx->font;
    if (!font || font->w <= 0 || font->h <= 0 || n == 0 || top > bottom || left > right) return;
    const int32_t fw = font->w, fh = font->h;
    const int32_t height = bottom - top + 1;
    if (n < 0 || n > height) n = height;

    // Pixels: whole cell rows, (right - left + 1) cells wide from the
    // region's left edge, clipped to the page.
    const int64_t px = int64_t(left) * fw;
    const int64_t width = std::min<int64_t>((int64_t(right) - left + 1) * fw, int64_t(ctx->w) - px);
    const int64_t y_top = int64_t(top) * fh;
    const int64_t y_end = std::min<int64_t>((int64_t(bottom) + 1) * fh, ctx->h);  // exclusive
    const int64_t shift = int64_t(n) * fh;
    if (px >= 0 && width > 0 && y_top >= 0 && y_top < y_end) {
        const std::size_t offset = std::size_t(px) * std::size_t(ctx->bpp);
        const std::size_t bytes = std::size_t(width) * std::size_t(ctx->bpp);
        int64_t y = y_top;
        for (; y + shift < y_end; ++y) gfx_copy(state->line[y] + offset, state->line[y + shift] + offset, bytes);
        for (; y < y_end; ++y) state->pixel_set(state->line[y] + offset, state->bg_color, int32_t(width));
        touched.add(int32_t(y_top), int32_t(y_end - 1));
    }

    // Cells: the same rows move up, the freed rows get blanks.
    GfxTextCell* cells = work_cells(ctx, state);
    const int32_t c0 = std::max(left, 0);
    const int32_t c1 = std::min(right, ctx->text_w - 1);
    const int32_t r0 = std::max(top, 0);
    const int32_t r1 = std::min(bottom, ctx->text_h - 1);
    if (cells && c0 <= c1 && r0 <= r1) {
        const std::size_t tw = std::size_t(ctx->text_w);
        int32_t r = r0;
        for (; r + n <= r1; ++r)
            std::memmove(cells + std::size_t(r) * tw + std::size_t(c0),
                         cells + std::size_t(r + n) * tw + std::size_t(c0),
                         sizeof(GfxTextCell) * std::size_t(c1 - c0 + 1));
        fill_cells(ctx, state->work_page, c0, r, c1, r1, 32, state->fg_color, state->bg_color);
    }
}

void console_cursor_left(GfxContext* ctx) {
    if (ctx->flags & GFX_PRINT_WRAP_PENDING) {
        ctx->flags &= ~GFX_PRINT_WRAP_PENDING;
    } else if (ctx->cursor_x > 0) {
        --ctx->cursor_x;
    } else if (ctx->cursor_y > 0) {
        ctx->cursor_x = std::max(ctx->text_w - 1, 0);
        --ctx->cursor_y;
    }
    rt_set_print_column(ctx->cursor_x);
}

void graphics_print_buffer(const char* bytes, int32_t len, int32_t mask) {
    if (!bytes || len < 0) len = 0;
    if (len == 0 && !(mask & kPrintInput)) return;
    GfxContext* ctx = context();
    GfxDrawState* state = begin_console(ctx);
    if (!state) return;
    gfx_lock();
    print_bytes(ctx, state, bytes, len);
    gfx_unlock();
    rt_set_print_column(ctx->cursor_x);
}

void graphics_print_buffer_wide(const uint16_t* units, int32_t len, int32_t mask) {
    if (!units || len < 0) len = 0;
    std::unique_ptr<char[]> bytes(new (std::nothrow) char[std::size_t(len) + 1]);
    if (!bytes) return;  // out of memory: nothing printed
    int32_t n = 0;
    for (int32_t i = 0; i < len; ++i) {
        const uint16_t u = units[i];
        if (u < 256) {
            bytes[std::size_t(n++)] = static_cast<char>(u);
        } else {
            bytes[std::size_t(n++)] = '?';
            if (u >= 0xD800 && u <= 0xDBFF) ++i;  // the unit after a high surrogate goes with it
        }
    }
    graphics_print_buffer(bytes.get(), n, mask);
}

int32_t graphics_locate(int32_t row, int32_t col, int32_t) {
    GfxContext* ctx = context();
    if (!ctx) return 0;
    ctx->flags &= ~GFX_PRINT_WRAP_PENDING;
    if (col >= 1) ctx->cursor_x = col - 1;
    if (row >= 1) ctx->cursor_y = row - 1;
    rt_set_print_column(ctx->cursor_x);
    return (ctx->cursor_x + 1) | ((ctx->cursor_y + 1) << 8);
}

int32_t graphics_get_x() {
    const GfxContext* ctx = context();
    return ctx ? ctx->cursor_x + 1 : 0;
}

int32_t graphics_get_y() {
    const GfxContext* ctx = context();
    return ctx ? ctx->cursor_y + 1 : 0;
}

void graphics_get_xy(int32_t* col, int32_t* row) {
    if (col) *col = graphics_get_x();
    if (row) *row = graphics_get_y();
}

void graphics_get_size(int32_t* cols, int32_t* rows) {
    const GfxContext* ctx = context();
    if (cols) *cols = ctx ? ctx->text_w : 0;
    if (rows) *rows = ctx ? ctx->text_h : 0;
}

uint32_t graphics_color(uint32_t fg, uint32_t bg, int32_t flags) {
    GfxContext* ctx = context();
    GfxDrawState* state = begin_console(ctx);
    if (!state) return 0;
    uint32_t previous;
    if (ctx->depth > 8)
        previous = ctx->bpp == 2 ? rgb565_to_argb(state->fg_color) : state->fg_color;
    else
        previous = state->fg_color | (state->bg_color << 16);
    if (!(flags & 1)) state->fg_color = gfx_color_to_pixel(state->target_bpp, fg);
    if (!(flags & 2)) state->bg_color = gfx_color_to_pixel(state->target_bpp, bg);
    return previous;
}

void graphics_cls(int32_t mode) {
    GfxContext* ctx = context();
    GfxDrawState* state = begin_console(ctx);
    if (!state) return;
    gfx_lock();
    cls_locked(ctx, state, mode);
    gfx_unlock();
}

int32_t graphics_width(int32_t cols, int32_t rows) {
    GfxContext* ctx = context();
    if (!ctx) return 0;
    const int32_t previous = ctx->text_w | (ctx->text_h << 16);
    if (cols <= 0 && rows <= 0) return previous;
    const GfxFont* old_font = ctx->font;
    const int32_t fw = cols > 0 ? ctx->w / cols : (old_font ? old_font->w : 0);
    const int32_t fh = rows > 0 ? ctx->h / rows : (old_font ? old_font->h : 0);
    int32_t index;
    if (fw != 8) return previous;
    if (fh == 16)
        index = 0;
    else if (fh == 14)
        index = 1;
    else if (fh == 8)
        index = 2;
    else
        return previous;
    const GfxFont* font = gfx_builtin_font(index);
    GfxDrawState* state = gfx_get_draw_state();
    if (!font || !state || !state->line) return previous;

    const int32_t old_w = ctx->text_w, old_h = ctx->text_h;
    ctx->font = font;
    if (cols > 0) ctx->text_w = cols;
    if (rows > 0) ctx->text_h = rows;
    if (!alloc_text_cells(ctx, state->work_page, state->fg_color, state->bg_color)) {
        // Out of memory: keep the old size (whose cells are blanked anew).
        ctx->font = old_font;
        ctx->text_w = old_w;
        ctx->text_h = old_h;
        alloc_text_cells(ctx, state->work_page, state->fg_color, state->bg_color);
        return previous;
    }
    for (int32_t p = 0; p < ctx->page_count; ++p)
        fill_cells(ctx, p, 0, 0, ctx->text_w - 1, ctx->text_h - 1, 32, state->fg_color, state->bg_color);
    gfx_view_set(-32768, -32768, -32768, -32768, 0, 0, 0);
    rt_set_text_view(-1, -1);
    graphics_cls(0);
    return previous;
}

int32_t graphics_read_xy(int32_t col, int32_t row, int32_t color_flag) {
    GfxContext* ctx = context();
    GfxDrawState* state = gfx_get_draw_state();
    if (!ctx || !state || col < 1 || row < 1 || col > ctx->text_w || row > ctx->text_h) return 0;
    const GfxTextCell* cells = work_cells(ctx, state);
    if (!cells) return 0;
    const GfxTextCell& cell = cells[std::size_t(row - 1) * std::size_t(ctx->text_w) + std::size_t(col - 1)];
    if (color_flag == 0) return cell.ch;
    if (ctx->depth > 8) {
        const uint32_t c = color_flag == 2 ? cell.bg : cell.fg;
        return int32_t(ctx->bpp == 2 ? rgb565_to_argb(c) : c);
    }
    return int32_t(cell.fg + cell.bg * (ctx->depth <= 4 ? 16u : 256u));
}

}  // namespace gfx
