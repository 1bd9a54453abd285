// The LZW decoder with any stream and any output capacity: it reports 0 or
// -1, never counts past the capacity and never writes past it.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "gfx/gfx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t capacity = (size_t(data[0]) | size_t(data[1]) << 8) % 20000;
    // Exactly the capacity, so that a write past it is caught.
    std::vector<uint8_t> out(capacity);
    size_t n = capacity;
    const int32_t r = gfx_lzw_decode(data + 2, size - 2, capacity ? out.data() : nullptr, &n);
    if ((r != 0 && r != -1) || n > capacity) std::abort();
    return 0;
}
