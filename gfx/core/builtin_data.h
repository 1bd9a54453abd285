// Internal access to the built-in fonts and palettes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/gfx.h"

namespace gfx {

// The compressed block (generated into builtin_data_blob.cpp).
extern const uint8_t builtin_blob[];
extern const size_t builtin_blob_size;

// How many times the block has been decoded in this process (0 or 1).
int builtin_decode_runs();

}  // namespace gfx
