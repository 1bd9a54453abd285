// CPUID-based feature check, cached for the life of the process.
#include "gfx/core/cpu_features.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace gfx {

bool cpu_query_mmx() {
#if defined(__i386__) || defined(__x86_64__)
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    // __get_cpuid returns 0 when leaf 1 is not available (or, on 32-bit
    // builds, when the processor has no CPUID instruction at all).
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
        return false;
    }
    return (edx & (1u << 23)) != 0;
#else
    return false;
#endif
}

bool cpu_has_mmx() {
    static const bool has_mmx = cpu_query_mmx();
    return has_mmx;
}

}  // namespace gfx
