// The display drivers' converters: a Blitter runs a converter on the open
// screen's visible page (framebuffer, w, h, pitch, device_palette, dirty,
// scanline_size and the 16-bit source tables in the screen's work area).
// dest is the device row of page row 0 and dest_pitch the distance between
// device rows; see converters.h for what is written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/drivers/convert/converters.h"

namespace gfx {

// A converter bound to the open screen; does nothing while no screen is
// open. Compares equal to the converter it runs; null when there is none.
class Blitter {
public:
    constexpr Blitter() = default;
    constexpr Blitter(std::nullptr_t) {}
    constexpr Blitter(convert::Converter converter) : converter_(converter) {}

    void operator()(uint8_t* dest, int32_t dest_pitch) const;
    explicit operator bool() const { return converter_ != nullptr; }
    friend bool operator==(const Blitter&, const Blitter&) = default;

private:
    convert::Converter converter_ = nullptr;
};

// The converter for the open screen's page and a device of device_depth
// (8, 15, 16, 24, 32) with red in the low bits (red_low) or high bits;
// null when there is none. Rebuilds the 16-bit source tables for red_low.
// The wide variants are taken when the processor check chose the wide
// pixel routines, the scanline size is 1 and the width a multiple of 4.
Blitter gfx_blitter_select(int32_t device_depth, bool red_low);

namespace convert {

// Fills the 16-bit source tables in the screen's converter work area.
void build_rgb16_tables(bool red_low);

}  // namespace convert
}  // namespace gfx
