// Unaligned-safe pixel loads and stores: targets may be image buffers at any
// address (the compact form's pixels begin at byte 4 of the caller's buffer),
// so pixels are moved with memcpy, which compiles to one move each.
#pragma once

#include <cstdint>
#include <cstring>

namespace gfx {

template <typename T>
inline T load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
inline void store(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

}  // namespace gfx
