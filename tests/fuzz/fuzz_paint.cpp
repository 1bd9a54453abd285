// gfx_paint on pages and image targets whose pixels come from the input,
// with any work page, view, seed, colours, flags, tile and mode.
#include "tests/fuzz/fuzz_common.h"

namespace {

// Pixels of one of four values, one of them the border, so that the input
// shapes regions rather than noise.
void paint_pixels(FuzzedDataProvider& in, uint8_t* const* rows, int32_t w, int32_t h, int32_t bpp,
                  const uint32_t (&values)[4]) {
    for (int32_t y = 0; y < h && in.remaining_bytes() > 0; ++y) {
        for (int32_t x = 0; x < w; x += 4) {
            const uint8_t b = in.ConsumeIntegral<uint8_t>();
            for (int32_t i = 0; i < 4 && x + i < w; ++i)
                std::memcpy(rows[y] + std::size_t(x + i) * std::size_t(bpp), &values[(b >> (2 * i)) & 3],
                            std::size_t(bpp));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::open_screen(in, 64, 48);
    GfxContext* ctx = gfx_context();
    gfx_page_set(in.ConsumeIntegralInRange<int32_t>(-1, 3), in.ConsumeIntegralInRange<int32_t>(-1, 3));
    std::vector<uint8_t> target = fuzz::make_target(in);
    const bool on_target = in.ConsumeBool();
    if (!on_target) fuzz::pick_view(in);

    const uint32_t fill = in.ConsumeIntegral<uint32_t>(), border = in.ConsumeIntegral<uint32_t>();
    const uint32_t flags = in.ConsumeIntegral<uint32_t>() & (GFX_COLOR_OMITTED | GFX_BORDER_OMITTED | 7u);
    const int32_t mode = in.ConsumeIntegralInRange<int32_t>(0, 2);
    const std::string tile = in.ConsumeRandomLengthString(80);
    const float x = fuzz::any_float(in), y = fuzz::any_float(in);

    GfxDrawState* s = gfx_get_draw_state();
    gfx_select_target(s, on_target ? target.data() : nullptr);
    const int32_t bpp = s->target_bpp;
    const uint32_t values[4] = {0, gfx_color_to_pixel(bpp, border), gfx_color_to_pixel(bpp, fill),
                                in.ConsumeIntegral<uint32_t>()};
    if (bpp == 1 || bpp == 2 || bpp == 4) {
        const int32_t w = on_target ? s->view_w : ctx->w, h = on_target ? s->view_h : ctx->h;
        paint_pixels(in, s->line, w, h, bpp, values);
    }

    gfx_paint(on_target ? target.data() : nullptr, x, y, fill, border,
              rt_str_temp(tile.data(), int32_t(tile.size())), mode, flags);
    if (rt_str_temps_in_use() != 0) std::abort();
    return 0;
}
