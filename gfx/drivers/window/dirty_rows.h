// The open screen's dirty-row flags as the display drivers read them: the
// band of rows to show (from the first to the last changed row) and the
// clearing after a pass. Called with the window lock held.
#pragma once

#include <cstdint>

namespace gfx::window {

struct RowBand {
    int32_t first;
    int32_t last;
};

// The band of changed page rows (one flag per row of the visible page);
// false when no row changed or no screen is open.
bool dirty_band(RowBand* band);

// Clears every flag of the open screen.
void clear_dirty_rows();

}  // namespace gfx::window
