// Layout of the built-in data block and the rules for its palettes. Used by
// the generator that writes gfx/core/builtin_data_blob.cpp and by the tests
// that check the committed blob against these rules.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace builtin {

// Offsets and sizes of the parts of the decoded block.
inline constexpr size_t kFont8x8Offset = 0;
inline constexpr size_t kFont8x8Size = 256 * 8;
inline constexpr size_t kFont8x14Offset = kFont8x8Offset + kFont8x8Size;
inline constexpr size_t kFont8x14Size = 256 * 14;
inline constexpr size_t kFont8x16Offset = kFont8x14Offset + kFont8x14Size;
inline constexpr size_t kFont8x16Size = 256 * 16;
inline constexpr size_t kPalette2Offset = kFont8x16Offset + kFont8x16Size;
inline constexpr size_t kPalette16Offset = kPalette2Offset + 2 * 3;
inline constexpr size_t kPalette64Offset = kPalette16Offset + 16 * 3;
inline constexpr size_t kPalette256Offset = kPalette64Offset + 64 * 3;
inline constexpr size_t kDecodedSize = kPalette256Offset + 256 * 3;
static_assert(kFont8x14Offset == 2048 && kFont8x16Offset == 5632);
static_assert(kPalette2Offset == 9728 && kPalette16Offset == 9734);
static_assert(kPalette64Offset == 9782 && kPalette256Offset == 9974);
static_assert(kDecodedSize == 10742);

struct Rgb {
    uint8_t r, g, b;
    friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

// A 6-bit VGA DAC level (0-63) as an 8-bit value, rounded down.
constexpr uint8_t vga_level(int v) { return static_cast<uint8_t>(v * 255 / 63); }
static_assert(vga_level(0) == 0 && vga_level(21) == 85 && vga_level(42) == 170 &&
              vga_level(63) == 255);

// The 16 text-mode colours in 6-bit levels; dark yellow (6) has a half
// green so it shows brown.
inline constexpr std::array<std::array<int, 3>, 16> kColors16Levels = {{
    {0, 0, 0},    {0, 0, 42},   {0, 42, 0},   {0, 42, 42},
    {42, 0, 0},   {42, 0, 42},  {42, 21, 0},  {42, 42, 42},
    {21, 21, 21}, {21, 21, 63}, {21, 63, 21}, {21, 63, 63},
    {63, 21, 21}, {63, 21, 63}, {63, 63, 21}, {63, 63, 63},
}};

inline std::vector<Rgb> palette2() { return {{0, 0, 0}, {255, 255, 255}}; }

inline std::vector<Rgb> palette16() {
    std::vector<Rgb> p;
    for (const auto& c : kColors16Levels) p.push_back({vga_level(c[0]), vga_level(c[1]), vga_level(c[2])});
    return p;
}

// Index bits from bit 0 up: b, g, r, B, G, R; low bits weigh 170, high 85.
inline std::vector<Rgb> palette64() {
    std::vector<Rgb> p;
    for (int i = 0; i < 64; ++i) {
        const auto bit = [i](int n) { return (i >> n) & 1; };
        p.push_back({static_cast<uint8_t>(170 * bit(2) + 85 * bit(5)),
                     static_cast<uint8_t>(170 * bit(1) + 85 * bit(4)),
                     static_cast<uint8_t>(170 * bit(0) + 85 * bit(3))});
    }
    return p;
}

// The VGA default 256-colour palette.
inline std::vector<Rgb> palette256() {
    std::vector<std::array<int, 3>> levels(kColors16Levels.begin(), kColors16Levels.end());
    // Grey ramp.
    for (int v : {0, 5, 8, 11, 14, 17, 20, 24, 28, 32, 36, 40, 45, 50, 56, 63})
        levels.push_back({v, v, v});
    // Nine hue circles: three brightnesses, each at high, medium and low
    // saturation. L4 is the full level, L0 the floor.
    constexpr int kRuns[9][5] = {
        {0, 16, 31, 47, 63},  {31, 39, 47, 55, 63}, {45, 49, 54, 58, 63},
        {0, 7, 14, 21, 28},   {14, 17, 21, 24, 28}, {20, 22, 24, 26, 28},
        {0, 4, 8, 12, 16},    {8, 10, 12, 14, 16},  {11, 12, 13, 15, 16},
    };
    // Level indices (red, green, blue) of the 24 steps around the circle:
    // blue -> magenta -> red -> yellow -> green -> cyan -> blue.
    constexpr int kSteps[24][3] = {
        {0, 0, 4}, {1, 0, 4}, {2, 0, 4}, {3, 0, 4}, {4, 0, 4}, {4, 0, 3}, {4, 0, 2}, {4, 0, 1},
        {4, 0, 0}, {4, 1, 0}, {4, 2, 0}, {4, 3, 0}, {4, 4, 0}, {3, 4, 0}, {2, 4, 0}, {1, 4, 0},
        {0, 4, 0}, {0, 4, 1}, {0, 4, 2}, {0, 4, 3}, {0, 4, 4}, {0, 3, 4}, {0, 2, 4}, {0, 1, 4},
    };
    for (const auto& run : kRuns)
        for (const auto& s : kSteps) levels.push_back({run[s[0]], run[s[1]], run[s[2]]});
    while (levels.size() < 256) levels.push_back({0, 0, 0});

    std::vector<Rgb> p;
    for (const auto& l : levels) p.push_back({vga_level(l[0]), vga_level(l[1]), vga_level(l[2])});
    return p;
}

// The decoded block: the three fonts (glyph rows with bit 0 the leftmost
// pixel) followed by the four palettes.
inline std::vector<uint8_t> build_block(std::span<const uint8_t> font8x8,
                                        std::span<const uint8_t> font8x14,
                                        std::span<const uint8_t> font8x16) {
    if (font8x8.size() != kFont8x8Size || font8x14.size() != kFont8x14Size ||
        font8x16.size() != kFont8x16Size)
        throw std::invalid_argument("font of the wrong size");
    std::vector<uint8_t> block;
    block.reserve(kDecodedSize);
    block.insert(block.end(), font8x8.begin(), font8x8.end());
    block.insert(block.end(), font8x14.begin(), font8x14.end());
    block.insert(block.end(), font8x16.begin(), font8x16.end());
    for (const auto& palette : {palette2(), palette16(), palette64(), palette256()})
        for (const Rgb& c : palette) block.insert(block.end(), {c.r, c.g, c.b});
    return block;
}

}  // namespace builtin
