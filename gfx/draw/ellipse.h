// The full ellipse of gfx_circle, and the switches tests use to reach its
// rarer paths (heap rows-done tables, the per-row formula).
#pragma once

#include "gfx/gfx.h"

namespace gfx::draw {

// Draws the full ellipse of centre (cx, cy) (target pixels) and semi-axes
// rx, ry (ry may be negative or 0) with pixel, outlined or filled, into the
// view of s, and marks its rows dirty.
void full_ellipse(GfxDrawState* s, uint32_t pixel, double cx, double cy, float rx, float ry, bool filled);

// Test hooks.
// Makes the heap allocation of the rows-done table fail (tables for views
// of more than 4096 rows live on the heap).
void set_row_table_alloc_failure(bool fail);
// Sends every full ellipse through the per-row formula used for radii or
// centres too large for the 64-bit midpoint loop.
void set_force_row_formula(bool force);

}  // namespace gfx::draw
