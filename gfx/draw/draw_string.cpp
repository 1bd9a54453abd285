// Text at pixel positions: the mode's built-in bitmap font, or a user font
// held in an image buffer whose first row lists the glyph widths.
#include <array>
#include <cmath>
#include <cstdint>
#include <utility>

#include "gfx/core/context_internal.h"
#include "gfx/draw/put_routines.h"
#include "gfx/gfx.h"

namespace {

// Releases a temporary text argument when the call ends, on every path.
class TextArgument {
public:
    explicit TextArgument(RuntimeString* s) : s_(s) {}
    ~TextArgument() { rt_str_release_temp(s_); }
    TextArgument(const TextArgument&) = delete;
    TextArgument& operator=(const TextArgument&) = delete;

private:
    RuntimeString* s_;
};

// The view port as 64-bit edges, so that far-off pen positions cannot wrap.
struct Clip {
    int64_t left, top, right, bottom;
};

enum class Outcome { Drawn, Outside, Invalid };

struct Pen {
    int64_t x, y;
};

// Rows [skip, skip + rows) of a glyph cell placed at y remain after cutting
// it to the view; y moves down to the first remaining row.
struct RowSpan {
    int64_t y, skip, rows;
};

RowSpan clip_rows(int64_t y, int64_t rows, const Clip& clip) {
    RowSpan span{y, 0, rows};
    if (span.y < clip.top) {
        span.skip = clip.top - span.y;
        span.rows -= span.skip;
        span.y = clip.top;
    }
    if (span.y + span.rows > clip.bottom) span.rows = clip.bottom - span.y;
    return span;
}

Outcome draw_builtin(GfxDrawState* state, const GfxFont* font, const uint8_t* text, int64_t n,
                     Pen pen, uint32_t color, const Clip& clip, RowSpan* marked) {
    if (!font || !font->data || font->w <= 0 || font->h <= 0) return Outcome::Outside;
    const int64_t gw = font->w;
    const int64_t row_bytes = (gw + 7) / 8;
    if (pen.x + n * gw <= clip.left || pen.x >= clip.right || pen.y + font->h <= clip.top ||
        pen.y >= clip.bottom)
        return Outcome::Outside;
    const RowSpan rows = clip_rows(pen.y, font->h, clip);

    // Whole characters left of the view are skipped and those wholly past
    // its right edge dropped; partly visible ones at either end stay.
    int64_t x = pen.x, first = 0, count = n;
    if (x < clip.left) {
        first = (clip.left - x) / gw;
        x += first * gw;
        count -= first;
    }
    if (x + count * gw > clip.right) count -= (x + count * gw - clip.right) / gw;

    for (int64_t i = first; i < first + count; ++i, x += gw) {
        if (x + gw <= clip.left) continue;
        if (x >= clip.right) break;
        const uint8_t* glyph = font->data + (int64_t(text[i]) * font->h + rows.skip) * row_bytes;
        for (int64_t r = 0; r < rows.rows; ++r, glyph += row_bytes) {
            for (int64_t c = 0; c < gw; ++c) {
                const int64_t px = x + c;
                if (((glyph[c >> 3] >> (c & 7)) & 1) && px >= clip.left && px < clip.right)
                    state->put_pixel(state, int32_t(px), int32_t(rows.y + r), color);
            }
        }
    }
    *marked = rows;
    return Outcome::Drawn;
}

struct Glyph {
    bool present = false;
    int32_t width = 0;
    int64_t column = 0;  // first column of the glyph in the font image
};

Outcome draw_user_font(GfxDrawState* state, const void* font, const uint8_t* text, int64_t n,
                       Pen pen, uint32_t color, const Clip& clip, PutRoutine routine,
                       GfxBlender blender, void* param, RowSpan* marked) {
    gfx::ImageView img;
    if (!gfx::read_image(font, state->target_bpp, &img)) return Outcome::Invalid;
    const int64_t gh = int64_t(img.height) - 1;
    if (pen.y + gh <= clip.top || pen.y >= clip.bottom) return Outcome::Outside;
    if (img.bpp != state->target_bpp || img.pitch <= 3 || gh <= 0 || img.pixels[0] != 0 ||
        !routine)
        return Outcome::Invalid;

    int32_t first = img.pixels[1], last = img.pixels[2];
    if (first > last) std::swap(first, last);
    // The width bytes start in the header row and may run on into the next
    // rows, but never past the image.
    if (3 + int64_t(last - first + 1) > int64_t(img.pitch) * img.height) return Outcome::Invalid;

    const RowSpan rows = clip_rows(pen.y, gh, clip);
    // An empty view (a target without rows) has no row to draw on.
    if (rows.rows <= 0 || clip.left >= clip.right) return Outcome::Outside;
    std::array<Glyph, 256> glyphs{};
    int64_t column = 0;
    for (int32_t c = first; c <= last; ++c) {
        const int32_t w = img.pixels[3 + c - first];
        glyphs[std::size_t(c)] = Glyph{true, w, column};
        column += w;
    }
    if (column > img.pitch / img.bpp) return Outcome::Invalid;

    // First drawn row of every glyph: one image row below the header row,
    // plus the rows cut above the view.
    const uint8_t* glyph_rows = img.pixels + (1 + rows.skip) * int64_t(img.pitch);
    uint8_t* dst_row = state->line[rows.y];
    const int32_t tbpp = state->target_bpp;
    int64_t x = pen.x;
    for (int64_t i = 0; i < n; ++i) {
        if (x >= clip.right) break;
        const Glyph& g = glyphs[text[i]];
        if (!g.present) {
            x += rows.rows;  // no glyph: advance by the (clipped) glyph height
            continue;
        }
        if (x + g.width < clip.left) {
            x += g.width;
            continue;
        }
        const int64_t skip = x < clip.left ? clip.left - x : 0;
        const int64_t col = x + skip;
        int64_t w = g.width - skip;
        if (col + w > clip.right) w = clip.right - col;
        if (w > 0)
            routine(glyph_rows + (g.column + skip) * img.bpp, dst_row + col * tbpp, int32_t(w),
                    int32_t(rows.rows), img.pitch, state->target_pitch, int32_t(color), blender,
                    param);
        x += g.width;
    }
    *marked = rows;
    return Outcome::Drawn;
}

}  // namespace

extern "C" int32_t gfx_draw_string(void* target, float x, float y, uint32_t flags,
                                   RuntimeString* text, uint32_t color, const void* font,
                                   int32_t method, PutRoutine routine, GfxBlender blender,
                                   void* param) {
    GfxDrawState* state = gfx_get_draw_state();
    rt_set_error(RT_OK);
    if (!text) return rt_set_error(RT_ERR_ARGUMENT);
    const TextArgument release(text);

    GfxContext* ctx = gfx_context();
    const int64_t n = rt_str_len(text);
    if (!ctx || !state || n <= 0 || !text->data) return RT_OK;
    if (!gfx::select_target(state, target)) return rt_set_error(RT_ERR_ARGUMENT);

    // Method 6 takes the colour as it stands.
    uint32_t pixel = color;
    if (method != int32_t(PutMethod::Alpha))
        pixel = (flags & GFX_COLOR_OMITTED) ? state->fg_color
                                            : gfx_color_to_pixel(state->target_bpp, color);
    gfx_select_pixel_routines(state, pixel);

    gfx_resolve_relative(state, int32_t(flags & 7u), &x, &y, nullptr, nullptr);
    if (std::isnan(x) || std::isnan(y)) return RT_OK;
    int32_t px, py;
    gfx_translate_coords(state, x, y, &px, &py);

    const Clip clip{state->view_x, state->view_y, int64_t(state->view_x) + state->view_w,
                    int64_t(state->view_y) + state->view_h};
    const auto* bytes = reinterpret_cast<const uint8_t*>(text->data);
    RowSpan marked{};

    gfx_lock();
    const Outcome outcome =
        font ? draw_user_font(state, font, bytes, n, Pen{px, py}, pixel, clip, routine, blender,
                              param, &marked)
             : draw_builtin(state, ctx->font, bytes, n, Pen{px, py}, pixel, clip, &marked);
    if (outcome == Outcome::Drawn) gfx_mark_dirty(state, int32_t(marked.y), int32_t(marked.rows));
    gfx_unlock();
    return outcome == Outcome::Invalid ? rt_set_error(RT_ERR_ARGUMENT) : RT_OK;
}
