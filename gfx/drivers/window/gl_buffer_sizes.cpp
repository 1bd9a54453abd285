#include "gfx/drivers/window/gl_buffer_sizes.h"

#include <algorithm>

#include "gfx/drivers/window/window_state.h"

namespace gfx::window {

bool has_extension(std::string_view list, std::string_view word) {
    for (std::size_t at = list.find(word); at != std::string_view::npos; at = list.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if (end == list.size() || list[end] == ' ') return true;
    }
    return false;
}

void fill_unrequested(BufferSizes& s, int32_t screen_depth, uint32_t flags) {
    static constexpr int kRgb[4] = {0, 5, 8, 8}, kAlpha[4] = {0, 0, 0, 8};
    auto size_class = [](int bits) { return std::clamp((bits + 7) / 8 - 1, 0, 3); };
    if (s.colour == 0) s.colour = s.red + s.green + s.blue + s.alpha;
    if (s.colour == 0) s.colour = screen_depth;
    int c = size_class(s.colour);
    if (s.red == 0) s.red = kRgb[c];
    if (s.green == 0) s.green = kRgb[c];
    if (s.blue == 0) s.blue = kRgb[c];
    if (s.alpha == 0) s.alpha = kAlpha[c];
    if (s.accum == 0) s.accum = s.accum_red + s.accum_green + s.accum_blue + s.accum_alpha;
    bool fill_accum = s.accum >= 1;
    c = size_class(s.accum);
    if (!fill_accum && (flags & kWantAccum)) {
        s.accum = 32;
        c = 3;
        fill_accum = true;
    }
    if (fill_accum) {
        if (s.accum_red == 0) s.accum_red = kRgb[c];
        if (s.accum_green == 0) s.accum_green = kRgb[c];
        if (s.accum_blue == 0) s.accum_blue = kRgb[c];
        if (s.accum_alpha == 0) s.accum_alpha = kAlpha[c];
    }
    if (s.depth == 0) s.depth = 16;
    if (s.stencil == 0 && (flags & kWantStencil)) s.stencil = 8;
    if (s.samples == 0 && (flags & kWantMultisample)) s.samples = 4;
}

}  // namespace gfx::window
