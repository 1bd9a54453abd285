// Internals of the flood fill shared with its tests and benchmark.
#pragma once

#include <cstdint>

namespace gfx::paint_detail {

// Test hook: frees the fill's reusable buffers and makes the n-th buffer
// allocation from now on fail (1 = the next one); 0 disables. Lets tests
// walk every out-of-memory path of the search.
void set_alloc_failure_after(int n);

// Test hook: sets the stamp of the last search, so that the next one
// starts from stamp + 1 (0xFFFFFFFF makes the stamps wrap around).
void set_search_stamp(std::uint32_t stamp);

// Number of runs the last completed search found (0 when it painted
// nothing).
std::int64_t last_run_count();

}  // namespace gfx::paint_detail
