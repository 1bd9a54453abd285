// The pictures the Windows program must show in its end-to-end test,
// computed by the Linux build without a window:
//   lichtbox_picture OUT.ppm [KEYS]  the shown page after the start and the
//                                    keys KEYS (binary PPM, 640 x 480)
//   lichtbox_picture --button N      the centre of panel button N as "x y"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/simulation.h"
#include "gfx/core/context_internal.h"
#include "gfx/gfx.h"

namespace {

// Reads no mouse button, and once the keys are used up asks the main loop
// to end with "e" (which only redraws).
int32_t quiet_mouse(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons, int32_t* clip) {
    if (!gfx_keyhit()) gfx_post_key('e');
    *x = -1, *y = -1, *wheel = 0, *buttons = 0, *clip = 0;
    return 0;
}

const GfxDriver kWindowless = {
    "Windowless", [](const char*, int32_t, int32_t, int32_t, int32_t, int32_t) { return 0; },
    [] {}, nullptr, nullptr, nullptr, nullptr, quiet_mouse,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};
const GfxDriver* const kDrivers[] = {&kWindowless};

bool write_ppm(const char* path) {
    const GfxContext* ctx = gfx_context();
    std::vector<unsigned char> rgb;
    rgb.reserve(std::size_t(ctx->w) * std::size_t(ctx->h) * 3);
    for (int y = 0; y < ctx->h; ++y)
        for (int x = 0; x < ctx->w; ++x) {
            uint32_t c;
            std::memcpy(&c, ctx->pages[lichtbox::PAGE_SHOWN] + y * ctx->pitch + x * 4, 4);
            rgb.insert(rgb.end(), {static_cast<unsigned char>(c >> 16), static_cast<unsigned char>(c >> 8),
                                   static_cast<unsigned char>(c)});
        }
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", ctx->w, ctx->h);
    const bool ok = std::fwrite(rgb.data(), 1, rgb.size(), f) == rgb.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: lichtbox_picture OUT.ppm [KEYS] | --button N\n");
        return 2;
    }
    rt_init();
    gfx::set_driver_list(kDrivers);
    setenv("ZRGFX", "Windowless", 1);
    if (gfx_screen_set(18, 32, 4, 0, 0) != 0) return 1;
    lichtbox::show_start_picture();
    if (std::strcmp(argv[1], "--button") == 0) {
        const int b = argc == 3 ? std::atoi(argv[2]) : 0;
        if (b < 1 || b > lichtbox::kButtonCount) return 2;
        const lichtbox::Scene& s = lichtbox::scene;
        std::printf("%d %d\n", s.button_x[b] + s.button_w[b] / 2, s.button_row_y + lichtbox::kButtonHitH / 2);
        return 0;
    }
    if (argc == 3) {
        for (const char* k = argv[2]; *k; ++k) gfx_post_key(static_cast<unsigned char>(*k));
        lichtbox::main_loop();
    }
    return write_ppm(argv[1]) ? 0 : 1;
}
