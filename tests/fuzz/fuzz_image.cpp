// gfx_put and gfx_draw_string with an image or user font taken from the
// input (standard or compact header, pixels in a buffer of exactly the
// input's remaining size), drawn on a small page and on an image target;
// gfx_get into a buffer whose array descriptor gives its true size.
#include "tests/fuzz/fuzz_common.h"

namespace {

constexpr PutRoutine kRoutines[] = {put_transparent, put_copy, put_alpha_channel, nullptr};
constexpr int32_t kMethods[] = {PUT_METHOD_TRANSPARENT, PUT_METHOD_COPY, PUT_METHOD_ALPHA, 3};

uint32_t blend(uint32_t src, uint32_t dst, void*) { return src ^ dst; }

int32_t source_coord(FuzzedDataProvider& in) {
    return in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-4, 44) : in.ConsumeIntegral<int32_t>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::open_screen(in);
    std::vector<uint8_t> target = fuzz::make_target(in);
    const bool on_target = in.ConsumeBool();
    if (!on_target) fuzz::pick_view(in);
    void* dst = on_target ? target.data() : nullptr;

    const float x = fuzz::any_float(in), y = fuzz::any_float(in);
    const int32_t sx1 = in.ConsumeBool() ? GFX_COORD_OMITTED : source_coord(in);
    const int32_t sy1 = source_coord(in), sx2 = source_coord(in), sy2 = source_coord(in);
    const int32_t coord = in.ConsumeIntegralInRange<int32_t>(0, 3);
    const int32_t method = in.PickValueInArray(kMethods);
    const PutRoutine routine = in.PickValueInArray(kRoutines);
    const uint32_t color = in.ConsumeIntegral<uint32_t>();
    const uint32_t flags = in.ConsumeIntegral<uint32_t>() & (GFX_COLOR_OMITTED | 7u);
    const bool user_font = in.ConsumeBool();
    const std::vector<uint8_t> text = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 24));

    // Capture a rectangle into a buffer of a size from the input.
    std::vector<uint8_t> captured(in.ConsumeIntegralInRange<size_t>(1, 600));
    const RuntimeArray array{captured.data(), captured.data(), int32_t(captured.size()), 1, 1, 0};
    gfx_get(dst, fuzz::any_float(in), fuzz::any_float(in), fuzz::any_float(in), fuzz::any_float(in),
            captured.data(), in.ConsumeIntegralInRange<int32_t>(0, 7), &array);

    // The target's depth decides what compact bytes per pixel 0 mean.
    GfxDrawState* s = gfx_get_draw_state();
    gfx_select_target(s, dst);
    const std::vector<uint8_t> image = fuzz::image_from_rest(in, s->target_bpp);
    if (image.empty()) return 0;

    gfx_put(dst, x, y, image.data(), sx1, sy1, sx2, sy2, coord, method, routine, int32_t(color), blend,
            nullptr);
    RuntimeString* t = rt_str_temp(reinterpret_cast<const char*>(text.data()), int32_t(text.size()));
    gfx_draw_string(dst, x, y, flags, t, color, user_font ? image.data() : nullptr, method, routine, blend,
                    nullptr);
    if (rt_str_temps_in_use() != 0) std::abort();  // the text was not released
    return 0;
}
