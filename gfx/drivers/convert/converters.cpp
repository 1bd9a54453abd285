// The plain converters, the 16-bit source tables and the selection.
#include "gfx/drivers/convert/converters.h"

#include <array>

#include "gfx/drivers/convert/blit_walk.h"

namespace gfx::convert {
namespace {

template <int Depth, bool RedLow, PageFormat Page>
void blit_plain(const ConvertSource& s, uint8_t* dest, int32_t dest_pitch) {
    const std::size_t row_bytes = std::size_t(s.w) * std::size_t(device_bytes(Depth));
    if constexpr (Page == PageFormat::palette) {
        uint32_t lut[256];
        palette_lut(s, lut, from_palette<Depth, RedLow>);
        walk(s, dest, dest_pitch, row_bytes, [&](const uint8_t* src, uint8_t* d) {
            store_row<Depth>(d, s.w, [&](int32_t i) { return lut[src[i]]; });
        });
    } else if constexpr (Page == PageFormat::rgb16) {
        const Rgb16Tables t = source_tables<RedLow>(s);
        walk(s, dest, dest_pitch, row_bytes, [&](const uint8_t* src, uint8_t* d) {
            store_row<Depth>(d, s.w, [&](int32_t i) {
                const uint32_t px = load<uint16_t>(src + 2 * i);
                if constexpr (Depth <= 16) return from_rgb16<Depth, RedLow>(px);
                else return rgb16_color(px, t.low, t.high);
            });
        });
    } else if constexpr (Depth == 32 && !RedLow) {
        walk(s, dest, dest_pitch, row_bytes,
             [&](const uint8_t* src, uint8_t* d) { std::memcpy(d, src, std::size_t(s.pitch)); });
    } else {
        walk(s, dest, dest_pitch, row_bytes, [&](const uint8_t* src, uint8_t* d) {
            store_row<Depth>(d, s.w, [&](int32_t i) { return from_rgb32<Depth, RedLow>(load<uint32_t>(src + 4 * i)); });
        });
    }
}

void blit_row_copy(const ConvertSource& s, uint8_t* dest, int32_t dest_pitch) {
    walk(s, dest, dest_pitch, std::size_t(s.pitch),
         [&](const uint8_t* src, uint8_t* d) { std::memcpy(d, src, std::size_t(s.pitch)); });
}

void blit_shaped(const ConvertSource& s, uint8_t* dest, int32_t dest_pitch) {
    walk(s, dest, dest_pitch, std::size_t(s.w) * 4, [&](const uint8_t* src, uint8_t* d) {
        store32_row(d, s.w, [&](int32_t i) { return load<uint32_t>(src + 4 * i) & 0x00FFFFFFu; });
    });
}

template <bool RedLow, PageFormat Page>
constexpr std::array<Converter, 4> row_of_cells() {
    return {blit_plain<15, RedLow, Page>, blit_plain<16, RedLow, Page>, blit_plain<24, RedLow, Page>,
            blit_plain<32, RedLow, Page>};
}

// [red_low][page format][device 15, 16, 24, 32]
constexpr std::array<std::array<std::array<Converter, 4>, 3>, 2> kPlain = {{
    {{row_of_cells<false, PageFormat::palette>(), row_of_cells<false, PageFormat::rgb16>(),
      row_of_cells<false, PageFormat::rgb32>()}},
    {{row_of_cells<true, PageFormat::palette>(), row_of_cells<true, PageFormat::rgb16>(),
      row_of_cells<true, PageFormat::rgb32>()}},
}};

// The 16-bit source tables of both red positions, built at compile time.
struct Rgb16TableSet {
    std::array<uint32_t, 256> low, high;
};

constexpr Rgb16TableSet make_rgb16_tables(bool red_low) {
    Rgb16TableSet t{};
    for (uint32_t i = 0; i < 256; ++i) {
        if (red_low) {
            t.low[i] = (i & 0x1F) << 19 | (i & 0xE0) << 5;
            t.high[i] = (i & 0x07) << 13 | (i & 0xF8);
        } else {
            t.low[i] = (i & 0x1F) << 3 | (i & 0xE0) << 5;
            t.high[i] = (i & 0x07) << 13 | (i & 0xF8) << 16;
        }
    }
    return t;
}

// [red_low]
constexpr Rgb16TableSet kRgb16[2] = {make_rgb16_tables(false), make_rgb16_tables(true)};

int device_index(int32_t depth) {
    switch (depth) {
        case 15: return 0;
        case 16: return 1;
        case 24: return 2;
        case 32: return 3;
        default: return -1;
    }
}

}  // namespace

Converter cell(bool wide, bool red_low, PageFormat page, int32_t device_depth) {
    const int d = device_index(device_depth);
    if (d < 0) return nullptr;
    if (wide) return wide_cell(red_low, page, device_depth);
    return kPlain[red_low ? 1 : 0][std::size_t(page)][std::size_t(d)];
}

Converter row_copy(bool wide) { return wide ? wide_row_copy() : blit_row_copy; }

Converter shaped(bool wide) { return wide ? wide_shaped() : blit_shaped; }

Converter select(int32_t page_depth, int32_t device_depth, bool red_low, bool wide) {
    if (page_depth <= 8) {
        if (device_depth == 8) return row_copy(wide);
        return cell(wide, red_low, PageFormat::palette, device_depth);
    }
    if (device_depth == 8) return nullptr;
    const auto page = page_depth <= 16 ? PageFormat::rgb16 : PageFormat::rgb32;
    return cell(wide, red_low, page, device_depth);
}

Rgb16Tables rgb16_tables(bool red_low) {
    const Rgb16TableSet& t = kRgb16[red_low ? 1 : 0];
    return {t.low.data(), t.high.data()};
}

}  // namespace gfx::convert
