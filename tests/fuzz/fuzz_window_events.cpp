// The window-event core with arbitrary sequences of native events, as a
// binding would feed them: keys with any fields, characters, moves to any
// position, buttons with any bits, wheels, activation, maximising, close,
// expose, key-state snapshots and the shared mouse operations, on a null
// screen whose queues fill up and overflow.
#include <bitset>

#include "gfx/console/input_internal.h"
#include "gfx/drivers/window/event_core.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

using gfx::window::ButtonAction;
using gfx::window::EventCore;
using gfx::window::KeyInput;
using gfx::window::WindowState;

// A window system that does what it is asked, answering from the input
// where it has a say.
class FuzzPlatform : public gfx::window::WindowPlatform {
public:
    explicit FuzzPlatform(FuzzedDataProvider& in) : in_(in) {}
    void capture_mouse() override { captured_ = true; }
    void release_mouse() override { captured_ = false; }
    bool has_capture() const override { return captured_; }
    void track_leave() override {}
    void confine_cursor(bool) override {}
    void show_cursor(bool) override {}
    void move_cursor(int32_t, int32_t) override {}
    bool switch_fullscreen(bool) override { return in_.ConsumeBool(); }
    void window_position(int32_t* left, int32_t* top) const override { *left = left_, *top = top_; }
    void move_window(int32_t left, int32_t top) override { left_ = left, top_ = top; }
    void set_title(const char*) override {}
    void paint() override {}

private:
    FuzzedDataProvider& in_;
    bool captured_ = false;
    int32_t left_ = 0, top_ = 0;
};

int32_t any_int(FuzzedDataProvider& in) {
    static constexpr int32_t kEdges[] = {0, -1, 1, 639, 640, 479, 480, 65535, -32768, INT32_MIN, INT32_MAX};
    return in.ConsumeBool() ? in.PickValueInArray(kEdges) : in.ConsumeIntegral<int32_t>();
}

KeyInput any_key(FuzzedDataProvider& in) {
    KeyInput k;
    k.down = in.ConsumeBool();
    k.previously_down = in.ConsumeBool();
    k.system = in.ConsumeBool();
    k.alt = in.ConsumeBool();
    k.vk = in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(0, 255) : any_int(in);
    k.scancode = in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(0, 127) : any_int(in);
    k.character = in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(0, 255) : any_int(in);
    k.modifiers = any_int(in);
    k.repeat_count = in.ConsumeIntegralInRange<int32_t>(-2, 40);
    return k;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::open_screen(in, 64, 48);
    const GfxContext* ctx = gfx_context();
    WindowState st;
    st.w = ctx->w;
    st.h = ctx->h * ctx->scanline_size;
    st.depth = ctx->depth;
    st.flags = in.ConsumeIntegral<uint32_t>();
    st.active = in.ConsumeBool();
    FuzzPlatform platform(in);
    EventCore core(st, platform);

    while (in.remaining_bytes() > 0) {
        core.set_in_client(in.ConsumeBool());
        switch (in.ConsumeIntegralInRange<int>(0, 16)) {
            case 0: core.key(any_key(in)); break;
            case 1: core.character(any_int(in), in.ConsumeIntegralInRange<int32_t>(-2, 40)); break;
            case 2: core.mouse_move(any_int(in), any_int(in), any_int(in), any_int(in)); break;
            case 3: core.enter(); break;
            case 4: core.leave(); break;
            case 5: {
                const int32_t bit = in.ConsumeBool() ? 1 << in.ConsumeIntegralInRange<int>(0, 4) : any_int(in);
                core.button(bit, in.PickValueInArray({ButtonAction::down, ButtonAction::up, ButtonAction::double_click}));
                break;
            }
            case 6: core.wheel(any_int(in)); break;
            case 7: core.hwheel(any_int(in)); break;
            case 8: core.activate(in.ConsumeBool(), in.ConsumeBool()); break;
            case 9: core.maximize(); break;
            case 10: core.close(); break;
            case 11: core.expose(); break;
            case 12: core.display_changed(); break;
            case 13: {
                std::bitset<256> down;
                for (int i = 0; i < 4; ++i) down[in.ConsumeIntegralInRange<std::size_t>(0, 255)] = true;
                core.refresh_key_states(down);
                break;
            }
            case 14: {
                int32_t v[5];
                core.get_mouse(&v[0], &v[1], &v[2], &v[3], &v[4]);
                break;
            }
            case 15: core.set_mouse(any_int(in), any_int(in), any_int(in), any_int(in)); break;
            case 16: core.set_position(any_int(in), any_int(in)); break;
        }
    }

    // What the program would read, then a clean slate for the next input.
    GfxEvent ev;
    while (gfx_take_event(&ev)) {
    }
    while (gfx_take_key() != 0) {
    }
    gfx_screen_set(0, 0, 0, 0, 0);
    return 0;
}
