// The line editor with arbitrary key sequences: keys go through the key
// queue and the getkey service, the sleeps between polls are skipped. A
// key may close the screen while the editor waits.
#include "gfx/console/input_internal.h"
#include "gfx/core/context_internal.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

FuzzedDataProvider* g_in = nullptr;
constexpr uint8_t kCloseScreen = 0xFE;

// Next key of the input (Enter once it is used up), posted and read back
// through the queue as the driver thread and the program would.
int32_t next_key() {
    int32_t code = 13;
    if (g_in->remaining_bytes() > 0) {
        const uint8_t b = g_in->ConsumeIntegral<uint8_t>();
        if (b == kCloseScreen) {
            gfx_screen_set(0, 0, 0, 0, 0);
            return 'x';
        }
        code = b == 0xFF ? int32_t(g_in->ConsumeIntegral<uint8_t>()) << 8 | 0xFF
               : b == 0  ? g_in->ConsumeIntegral<int32_t>()
                         : b;
    }
    if (code == 0) code = 13;  // 0 means "no key" to the queue
    gfx_post_key(code);
    return gfx::graphics_getkey();
}

void no_sleep(int32_t) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    g_in = &in;
    fuzz::open_screen(in, 96, 72);
    ConsoleHooks hooks = gfx::graphics_hooks();
    hooks.getkey = next_key;
    hooks.sleep = no_sleep;
    rt_hooks_install(&hooks);
    rt_set_text_view(in.ConsumeIntegralInRange<int32_t>(-1, 6), in.ConsumeIntegralInRange<int32_t>(-1, 8));
    gfx_locate(in.ConsumeIntegralInRange<int32_t>(0, 9), in.ConsumeIntegralInRange<int32_t>(0, 12), 0);
    const std::string prompt = in.ConsumeRandomLengthString(40);
    const int32_t flags = in.ConsumeIntegralInRange<int32_t>(0, 3);
    const int32_t limit = in.ConsumeIntegralInRange<int32_t>(-1, 24);

    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0: {
            std::vector<char> buffer(std::size_t(limit > 0 ? limit : 1));
            char* got = gfx_read_str(limit >= 0 ? buffer.data() : nullptr, limit);
            if (got && limit > 0 && std::strlen(got) >= std::size_t(limit)) std::abort();
            break;
        }
        case 1: {
            RuntimeString line{};
            gfx_line_input(rt_str_temp(prompt.data(), int32_t(prompt.size())), &line, flags);
            rt_str_free(&line);
            break;
        }
        default: {
            std::vector<uint16_t> wide_prompt(prompt.begin(), prompt.end());
            std::vector<uint16_t> buffer(std::size_t(limit > 0 ? limit : 1));
            gfx_line_input_wide(wide_prompt.data(), int32_t(wide_prompt.size()),
                                limit >= 0 ? buffer.data() : nullptr, limit, flags);
            break;
        }
    }
    if (rt_str_temps_in_use() != 0) std::abort();
    rt_set_text_view(-1, -1);
    g_in = nullptr;
    return 0;
}
