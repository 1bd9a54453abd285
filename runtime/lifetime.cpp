// Error numbers and program lifetime: start-up, exit and the final handler.
#include <atomic>
#include <cfenv>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#if defined(_WIN32)
#include <float.h>
#elif defined(__i386__) || defined(__x86_64__)
#include <fpu_control.h>
#endif

#include "runtime/runtime.h"
#include "runtime/runtime_internal.h"
#include "runtime/tty_console.h"

namespace {

thread_local int32_t t_error = 0;
std::atomic<int32_t> g_init_count{0};
std::once_flag g_final_handler_once;

void final_handler() {
    lichtbox::tty::restore_terminal();
    std::fflush(nullptr);
}

// 64-bit mantissa and round-to-nearest on the x87 unit; round-to-nearest for
// every other floating-point unit the C library knows about.
void set_up_floating_point() {
#if defined(_WIN32) && defined(__i386__)
    _controlfp(_PC_64 | _RC_NEAR, _MCW_PC | _MCW_RC);
#elif defined(_WIN32) && defined(__x86_64__)
    // The 64-bit C library rounds through _controlfp but leaves the x87
    // precision field alone, so that field is written directly.
    _controlfp(_RC_NEAR, _MCW_RC);
    uint16_t cw;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    cw = static_cast<uint16_t>((cw & ~(0x300u | 0xC00u)) | 0x300u);
    __asm__ volatile("fldcw %0" : : "m"(cw));
#elif defined(__i386__) || defined(__x86_64__)
    fpu_control_t cw;
    _FPU_GETCW(cw);
    cw = static_cast<fpu_control_t>((cw & ~(0x300u | 0xC00u)) | 0x300u);
    _FPU_SETCW(cw);
#endif
    std::fesetround(FE_TONEAREST);
}

}  // namespace

namespace lichtbox {

void register_final_handler() {
    std::call_once(g_final_handler_once, [] { std::atexit(final_handler); });
}

}  // namespace lichtbox

extern "C" {

int32_t rt_set_error(int32_t err) {
    t_error = err;
    return err;
}

int32_t rt_get_error(void) { return t_error; }

void rt_init(void) {
    if (g_init_count.fetch_add(1) != 0) return;
    lichtbox::reset_console_state();
    lichtbox::tty::reset();
    set_up_floating_point();
    t_error = 0;
    lichtbox::register_final_handler();
}

void rt_end(int32_t status) { std::exit(status); }

}  // extern "C"
