// Shared pieces of the fuzz targets: a small null screen, views, image
// buffers and coordinates taken from the input.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "gfx/gfx.h"

// Every target that includes this draws without a window.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("ZRGFX", "null", 1);
    return 0;
}

namespace fuzz {

// Opens a null screen of at most max_w x max_h pixels in a depth from the
// input; the set-up must not refuse any of these.
inline void open_screen(FuzzedDataProvider& in, int32_t max_w = 40, int32_t max_h = 32) {
    static constexpr int32_t kDepths[] = {1, 2, 4, 8, 15, 16, 24, 32};
    const int32_t w = in.ConsumeIntegralInRange<int32_t>(1, max_w);
    const int32_t h = in.ConsumeIntegralInRange<int32_t>(1, max_h);
    const int32_t depth = in.PickValueInArray(kDepths);
    const int32_t pages = in.ConsumeIntegralInRange<int32_t>(1, 3);
    if (gfx_screen_set_size(w, h, depth, pages, 0, 0) != 0) std::abort();
}

// Some view port inside the page (maybe empty), or the whole page.
inline void pick_view(FuzzedDataProvider& in) {
    GfxDrawState* s = gfx_get_draw_state();
    const GfxContext* ctx = gfx_context();
    if (!in.ConsumeBool()) return;
    s->view_x = in.ConsumeIntegralInRange<int32_t>(0, ctx->w);
    s->view_y = in.ConsumeIntegralInRange<int32_t>(0, ctx->h);
    s->view_w = in.ConsumeIntegralInRange<int32_t>(0, ctx->w - s->view_x);
    s->view_h = in.ConsumeIntegralInRange<int32_t>(0, ctx->h - s->view_y);
    s->old_view_x = s->view_x;
    s->old_view_y = s->view_y;
    s->old_view_w = s->view_w;
    s->old_view_h = s->view_h;
}

// A coordinate: near the page, a value at some edge of the float or
// 32-bit range, or any bit pattern.
inline float any_float(FuzzedDataProvider& in) {
    static constexpr float kEdges[] = {
        0.0f, -0.0f, 0.5f, -0.5f, 1.5f, -1.5f, 1e-40f, 6.283186f, -6.283186f, 16777216.0f,
        2147483520.0f, 2147483648.0f, -2147483648.0f, -2147483904.0f, 4294967296.0f, 1e20f,
        -1e20f, std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
        std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
        std::numeric_limits<float>::quiet_NaN()};
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: return in.PickValueInArray(kEdges);
        case 1: return float(in.ConsumeIntegralInRange<int32_t>(-80, 120));
        case 2: return float(in.ConsumeIntegralInRange<int32_t>(-320, 480)) / 4.0f;
        default: {
            const uint32_t bits = in.ConsumeIntegral<uint32_t>();
            float f;
            std::memcpy(&f, &bits, sizeof f);
            return f;
        }
    }
}

inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline uint16_t load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Bytes an image buffer's header claims: the header and `rows` rows of
// `pitch` bytes. A standard header the runtime refuses claims its 32 bytes.
// target: compact rows are in the screen's depth (as a drawing target);
// otherwise compact bytes per pixel 0 stand for default_bpp.
struct Extent {
    std::size_t header;
    int64_t pitch;
    int64_t rows;
    bool standard;
};

inline Extent image_extent(const uint8_t* p, int32_t default_bpp, bool target) {
    if (load32(p) == GFX_IMAGE_TYPE_STANDARD) {
        ImageHeader h;
        std::memcpy(&h, p, sizeof h);
        const bool usable = (h.bpp == 1 || h.bpp == 2 || h.bpp == 4) && h.width >= 0 && h.height >= 0 &&
                            h.pitch >= 0 && int64_t(h.width) * h.bpp <= h.pitch &&
                            int64_t(h.pitch) * h.height <= INT32_MAX;
        return {sizeof(ImageHeader), usable ? h.pitch : 0, usable ? h.height : 0, true};
    }
    const uint16_t word0 = load16(p);
    const int32_t bpp = target ? gfx_context()->bpp : ((word0 & 7) ? int32_t(word0 & 7) : default_bpp);
    return {4, int64_t(word0 >> 3) * bpp, load16(p + 2), false};
}

// The rest of the input as an image buffer of exactly its size, its height
// cut so that the rows it claims lie inside. Empty when even the header
// does not fit.
inline std::vector<uint8_t> image_from_rest(FuzzedDataProvider& in, int32_t default_bpp) {
    std::vector<uint8_t> b = in.ConsumeRemainingBytes<uint8_t>();
    if (b.size() < 4 || (load32(b.data()) == GFX_IMAGE_TYPE_STANDARD && b.size() < sizeof(ImageHeader))) return {};
    const Extent e = image_extent(b.data(), default_bpp, false);
    if (b.size() < e.header) return {};
    const int64_t room = int64_t(b.size() - e.header);
    if (e.pitch * e.rows > room) {
        const int64_t rows = room / e.pitch;
        if (e.standard) {
            const int32_t h = int32_t(rows);
            std::memcpy(b.data() + offsetof(ImageHeader, height), &h, sizeof h);
        } else {
            const uint16_t h = uint16_t(rows);
            std::memcpy(b.data() + 2, &h, sizeof h);
        }
    }
    return b;
}

// An image buffer to draw on: a standard or compact header with small
// sizes from the input (a standard one possibly unusable), in a buffer of
// exactly the bytes the header claims, its pixels from the input.
inline std::vector<uint8_t> make_target(FuzzedDataProvider& in) {
    uint8_t head[32] = {};
    if (in.ConsumeBool()) {
        static constexpr int32_t kBpp[] = {1, 2, 4, 1, 2, 4, 0, 3, -4};
        ImageHeader h{};
        h.type = GFX_IMAGE_TYPE_STANDARD;
        h.bpp = in.PickValueInArray(kBpp);
        h.width = in.ConsumeIntegralInRange<int32_t>(-1, 40);
        h.height = in.ConsumeIntegralInRange<int32_t>(-1, 32);
        h.pitch = h.width * h.bpp + in.ConsumeIntegralInRange<int32_t>(-2, 17);
        std::memcpy(head, &h, sizeof h);
    } else {
        const uint16_t word0 = uint16_t(in.ConsumeIntegralInRange<uint16_t>(0, 40) << 3 |
                                        in.ConsumeIntegralInRange<uint16_t>(0, 7));
        const uint16_t word1 = in.ConsumeIntegralInRange<uint16_t>(0, 32);
        std::memcpy(head, &word0, 2);
        std::memcpy(head + 2, &word1, 2);
    }
    const Extent e = image_extent(head, 0, true);
    std::vector<uint8_t> b(e.header + std::size_t(e.pitch * e.rows));
    std::memcpy(b.data(), head, e.header);
    const std::vector<uint8_t> pixels = in.ConsumeBytes<uint8_t>(b.size() - e.header);
    if (!pixels.empty()) std::memcpy(b.data() + e.header, pixels.data(), pixels.size());
    return b;
}

}  // namespace fuzz
