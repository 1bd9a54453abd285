// Emulated palette and retrace ports of the palette modes: 967 and 968 set
// the palette read and write index, 969 reads or writes red, green and blue
// (6 bits each) in turn, 986 reports the vertical-retrace bit. Screens of 16
// and 32 bits have no palette: there every port reads 0 and ignores writes.
#include "gfx/console/input_internal.h"
#include "gfx/core/context_internal.h"

namespace gfx {
namespace {

constexpr int32_t kPortReadIndex = 967;
constexpr int32_t kPortWriteIndex = 968;
constexpr int32_t kPortData = 969;
constexpr int32_t kPortStatus = 986;
constexpr int32_t kRetraceBit = 0x08;

// The palette port state. Like the hardware it imitates, the index moves on
// to the next entry after its blue component.
struct PalettePorts {
    int32_t read_index = 0;
    int32_t read_component = 0;
    int32_t write_index = 0;
    int32_t write_component = 0;
    int32_t pending[3] = {0, 0, 0};
    bool retrace = false;
};

PalettePorts g_ports;

GfxContext* palette_screen() {
    GfxContext* ctx = context();
    return ctx && ctx->depth <= 8 && ctx->device_palette ? ctx : nullptr;
}

}  // namespace

int32_t graphics_port_in(int32_t port) {
    GfxContext* ctx = palette_screen();
    if (!ctx) return 0;
    switch (port) {
    case kPortData: {
        // The shown colour, 8-bit components back to 6 bits.
        const uint32_t color = ctx->device_palette[g_ports.read_index];
        const int32_t v = int32_t((color >> (8 * g_ports.read_component)) & 0xFFu) >> 2;
        if (++g_ports.read_component == 3) {
            g_ports.read_component = 0;
            g_ports.read_index = (g_ports.read_index + 1) & 0xFF;
        }
        return v;
    }
    case kPortStatus:
        g_ports.retrace = !g_ports.retrace;
        return g_ports.retrace ? kRetraceBit : 0;
    default:
        return 0;
    }
}

int32_t graphics_port_out(int32_t port, int32_t value) {
    if (!palette_screen()) return 0;
    switch (port) {
    case kPortReadIndex:
        g_ports.read_index = value & 0xFF;
        g_ports.read_component = 0;
        break;
    case kPortWriteIndex:
        g_ports.write_index = value & 0xFF;
        g_ports.write_component = 0;
        break;
    case kPortData:
        g_ports.pending[g_ports.write_component] = value & 0x3F;
        if (++g_ports.write_component == 3) {
            g_ports.write_component = 0;
            // Scaled to 8 bits: the palette reduces them to 6 again, and a
            // 6-bit 63 shows as 255.
            gfx_palette_set(g_ports.write_index, g_ports.pending[0] << 2, g_ports.pending[1] << 2,
                            g_ports.pending[2] << 2);
            g_ports.write_index = (g_ports.write_index + 1) & 0xFF;
        }
        break;
    default:
        break;
    }
    return 0;
}

}  // namespace gfx
