// Integer scaling of device rows, for pictures shown larger than the page
// (full-screen display): every pixel becomes a factor x factor block.
#pragma once

#include <cstdint>

namespace gfx::convert {

// Scales rows [first, first + count) of src (width w, bytes_per_pixel 2, 3
// or 4) into dst: source row r fills dst rows r * factor .. r * factor +
// factor - 1, source pixel x the dst pixels x * factor .. x * factor +
// factor - 1. dst points at the destination of source pixel (0, 0).
void scale_rows(const uint8_t* src, int32_t src_pitch, uint8_t* dst, int32_t dst_pitch, int32_t w,
                int32_t first, int32_t count, int32_t bytes_per_pixel, int32_t factor);

}  // namespace gfx::convert
