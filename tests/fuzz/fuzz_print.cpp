// The text console with arbitrary bytes: prints (control bytes, long runs),
// cursor moves, text views, colours, clears and text-size changes on small
// screens; and the bare terminal engine with any region and cursor.
#include "gfx/console/console_internal.h"
#include "runtime/terminal_engine.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// The engine alone, as the text-window console drives it: every run it
// hands out lies inside its region's columns, and it ends inside the rows.
void run_engine(FuzzedDataProvider& in) {
    using lichtbox::TerminalEngine;
    TerminalEngine::Region r;
    r.left = in.ConsumeIntegralInRange<int32_t>(0, 20);
    r.right = in.ConsumeIntegralInRange<int32_t>(r.left, 24);
    r.top = in.ConsumeIntegralInRange<int32_t>(0, 10);
    r.bottom = in.ConsumeBool() ? -1 : in.ConsumeIntegralInRange<int32_t>(0, 12);  // may lie above top
    TerminalEngine::Callbacks cb;
    cb.write_run = [&r](int32_t x, int32_t, const char*, int32_t n) {
        check(n >= 1 && x >= r.left && x + n - 1 <= r.right);
    };
    cb.scroll = [](int32_t n) { check(n >= 1); };
    TerminalEngine engine(std::move(cb));
    engine.set_region(r);
    engine.set_cursor(in.ConsumeIntegralInRange<int32_t>(-3, 30), in.ConsumeIntegralInRange<int32_t>(-3, 16));
    engine.set_wrap_pending(in.ConsumeBool());
    const std::string text = in.ConsumeRandomLengthString(3000);
    engine.print(text.data(), int32_t(text.size()));
    check(r.bottom == -1 || engine.y() <= r.bottom);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    gfx::set_console_beep([] {});
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
        run_engine(in);
        return 0;
    }
    fuzz::open_screen(in, 96, 72);
    gfx::set_console_skip_hidden(in.ConsumeBool());
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange<int>(0, 9)) {
            case 0:
                rt_set_text_view(in.ConsumeIntegralInRange<int32_t>(-2, 12),
                                 in.ConsumeIntegralInRange<int32_t>(-2, 12));
                break;
            case 1:  // unchecked cursor, as the slot itself takes it
                gfx::graphics_locate(in.ConsumeIntegralInRange<int32_t>(-1, 14),
                                     in.ConsumeIntegralInRange<int32_t>(-1, 14), 0);
                break;
            case 2:
                gfx_locate(in.ConsumeIntegralInRange<int32_t>(-1, 14), in.ConsumeIntegralInRange<int32_t>(-1, 14),
                           0);
                break;
            case 3:
                gfx_color(in.ConsumeIntegral<uint32_t>(), in.ConsumeIntegral<uint32_t>(),
                          in.ConsumeIntegralInRange<int32_t>(0, 3));
                break;
            case 4:
                gfx_cls(in.ConsumeBool() ? RT_CLS_DEFAULT : in.ConsumeIntegralInRange<int32_t>(-1, 3));
                break;
            case 5:
                gfx_width(in.ConsumeIntegralInRange<int32_t>(0, 13), in.ConsumeIntegralInRange<int32_t>(0, 10));
                break;
            case 6: {  // a long run
                const std::string fill(in.ConsumeIntegralInRange<size_t>(0, 2500), char(in.ConsumeIntegral<uint8_t>()));
                gfx_print_buffer(fill.data(), int32_t(fill.size()), in.ConsumeIntegralInRange<int32_t>(0, 15));
                break;
            }
            case 7: {
                std::vector<uint16_t> units(in.ConsumeIntegralInRange<size_t>(0, 16));
                for (uint16_t& u : units) u = in.ConsumeIntegral<uint16_t>();
                gfx_print_buffer_wide(units.data(), int32_t(units.size()), 0);
                break;
            }
            default: {
                const std::string text = in.ConsumeRandomLengthString(200);
                gfx_print(0, rt_str_temp(text.data(), int32_t(text.size())), in.ConsumeIntegralInRange<int32_t>(0, 7));
                break;
            }
        }
        gfx_read_xy(in.ConsumeIntegralInRange<int32_t>(0, 14), in.ConsumeIntegralInRange<int32_t>(0, 14),
                    in.ConsumeIntegralInRange<int32_t>(0, 2));
    }
    check(rt_str_temps_in_use() == 0);
    rt_set_text_view(-1, -1);
    return 0;
}
