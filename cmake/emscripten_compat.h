/* Included first into every C++ source of the browser build: what the C++
 * library of the Emscripten release Debian ships lacks. */
#pragma once
#if defined(__cplusplus)
#include <version>
#if !defined(__cpp_lib_bit_cast)
namespace std {
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
    return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif
#endif
