// Memory for the pages of a screen: one zero-filled block for all pages.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gfx {

// A zero-filled block of `bytes`, or null when memory ran out. Large blocks
// are aligned for huge pages where the system offers them, so that first
// touching a screen's pages costs a few page faults instead of thousands.
uint8_t* alloc_page_block(std::size_t bytes);
// Frees a block from alloc_page_block; bytes as it was asked for.
void free_page_block(uint8_t* block, std::size_t bytes);

}  // namespace gfx
