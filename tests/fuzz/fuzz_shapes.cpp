// Lines, boxes, circles, ellipses and arcs with any arguments (huge and
// non-finite ones included) on a small page or an image target.
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::open_screen(in);
    std::vector<uint8_t> target = fuzz::make_target(in);
    fuzz::pick_view(in);
    for (int op = 0; op < 8 && in.remaining_bytes() > 0; ++op) {
        void* dst = in.ConsumeBool() ? target.data() : nullptr;
        const uint32_t color = in.ConsumeIntegral<uint32_t>();
        const uint32_t flags = in.ConsumeIntegral<uint32_t>() & (GFX_COLOR_OMITTED | 7u);
        switch (in.ConsumeIntegralInRange<int>(0, 2)) {
            case 0: {
                const float x1 = fuzz::any_float(in), y1 = fuzz::any_float(in);
                const float x2 = fuzz::any_float(in), y2 = fuzz::any_float(in);
                gfx_line(dst, x1, y1, x2, y2, color, in.ConsumeIntegralInRange<int32_t>(0, 3),
                         in.ConsumeIntegral<uint32_t>(), flags);
                break;
            }
            case 1: {
                const float x = fuzz::any_float(in), y = fuzz::any_float(in), r = fuzz::any_float(in);
                const float aspect = fuzz::any_float(in), start = fuzz::any_float(in);
                const float end = in.ConsumeBool() ? 6.283186f : fuzz::any_float(in);
                gfx_circle(dst, x, y, r, color, aspect, start, end, in.ConsumeIntegralInRange<int32_t>(0, 1), flags);
                break;
            }
            default: {
                gfx_select_target(gfx_get_draw_state(), dst);
                const int32_t x1 = in.ConsumeIntegral<int32_t>(), y1 = in.ConsumeIntegral<int32_t>();
                gfx_box(x1, y1, in.ConsumeIntegral<int32_t>(), in.ConsumeIntegral<int32_t>(), color,
                        in.ConsumeBool(), in.ConsumeIntegral<uint32_t>());
                break;
            }
        }
    }
    return 0;
}
