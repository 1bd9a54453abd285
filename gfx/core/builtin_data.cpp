// The built-in fonts and palettes: one compressed block expanded once per
// process into a fixed area that the font and palette records point into.

#include "gfx/core/builtin_data.h"

#include <atomic>
#include <iterator>
#include <mutex>

namespace {

// Parts of the decoded block.
constexpr size_t kFont8x8 = 0;
constexpr size_t kFont8x14 = 2048;
constexpr size_t kFont8x16 = 5632;
constexpr size_t kPalette2 = 9728;
constexpr size_t kPalette16 = 9734;
constexpr size_t kPalette64 = 9782;
constexpr size_t kPalette256 = 9974;
static_assert(kPalette256 + 256 * 3 == GFX_BUILTIN_DECODED_SIZE);

// Zero until decoded; read-only afterwards and never freed.
uint8_t g_decoded[GFX_BUILTIN_DECODED_SIZE];
std::once_flag g_decode_once;
std::atomic<int> g_decode_runs{0};

const GfxFont kFonts[] = {
    {8, 16, g_decoded + kFont8x16},
    {8, 14, g_decoded + kFont8x14},
    {8, 8, g_decoded + kFont8x8},
};

const GfxPaletteInfo kPalettes[] = {
    {256, g_decoded + kPalette256},
    {64, g_decoded + kPalette64},
    {16, g_decoded + kPalette16},
    {2, g_decoded + kPalette2},
};

}  // namespace

namespace gfx {

int builtin_decode_runs() { return g_decode_runs.load(); }

}  // namespace gfx

extern "C" {

void gfx_decode_builtin_data(void) {
    std::call_once(g_decode_once, [] {
        size_t count = sizeof g_decoded;
        // The committed stream is checked by the tests; a short result would
        // leave the rest of the area zero.
        (void)gfx_lzw_decode(gfx::builtin_blob, gfx::builtin_blob_size, g_decoded, &count);
        g_decode_runs.fetch_add(1);
    });
}

const uint8_t* gfx_builtin_data(void) { return g_decoded; }

const GfxFont* gfx_builtin_font(int32_t index) {
    if (index < 0 || index >= static_cast<int32_t>(std::size(kFonts))) return nullptr;
    return &kFonts[index];
}

const GfxPaletteInfo* gfx_builtin_palette(int32_t index) {
    if (index < 0 || index >= static_cast<int32_t>(std::size(kPalettes))) return nullptr;
    return &kPalettes[index];
}

}  // extern "C"
