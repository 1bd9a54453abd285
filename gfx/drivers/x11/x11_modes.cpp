// The monitor's display modes through XRandR, on a connection of its own
// (the caller's thread is not the one that owns the window).
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gfx/drivers/window/window_state.h"
#include "gfx/drivers/x11/x11_drivers.h"
#include "gfx/drivers/x11/x11_libs.h"
#include "gfx/drivers/x11/x11_window.h"

namespace gfx::x11 {
namespace {


// Bits per pixel of the screen's depth.
int32_t screen_bits(Display* d) {
    int32_t bits = DefaultDepth(d, DefaultScreen(d));
    int n = 0;
    if (XPixmapFormatValues* f = XListPixmapFormats(d, &n)) {
        for (int i = 0; i < n; ++i)
            if (f[i].depth == DefaultDepth(d, DefaultScreen(d))) bits = f[i].bits_per_pixel;
        XFree(f);
    }
    return bits;
}

std::vector<int32_t> list_modes(Display* d, const RandrApi& r) {
    std::vector<int32_t> modes;
    XRRScreenResources* res = r.get_resources(d, DefaultRootWindow(d));
    if (!res) return modes;
    for (int o = 0; o < res->noutput; ++o) {
        XRROutputInfo* out = r.get_output(d, res, res->outputs[o]);
        if (!out) continue;
        if (out->connection == RR_Connected) {
            for (int m = 0; m < out->nmode; ++m) {
                for (int k = 0; k < res->nmode; ++k) {
                    if (res->modes[k].id != out->modes[m]) continue;
                    const auto entry = int32_t(res->modes[k].height | (res->modes[k].width << 16));
                    if (std::find(modes.begin(), modes.end(), entry) == modes.end()) modes.push_back(entry);
                }
            }
        }
        r.free_output(out);
    }
    r.free_resources(res);
    return modes;
}

}  // namespace

int32_t* fetch_modes(int32_t depth, int32_t* count, bool partners) {
    int32_t scratch = 0;
    if (!count) count = &scratch;
    *count = 0;
    const RandrApi* r = randr_api();
    if (!r) return nullptr;
    init_xlib_threads();
    Display* d = XOpenDisplay(nullptr);
    if (!d) return nullptr;
    std::vector<int32_t> modes;
    int event_base = 0, error_base = 0;
    const int32_t bits = screen_bits(d);
    if (r->query_extension(d, &event_base, &error_base) &&
        (depth == bits || (partners && window::partner_depth(depth) == bits)))
        modes = list_modes(d, *r);
    XCloseDisplay(d);
    if (modes.empty()) return nullptr;
    auto* out = static_cast<int32_t*>(std::malloc(modes.size() * sizeof(int32_t)));
    if (!out) return nullptr;
    std::memcpy(out, modes.data(), modes.size() * sizeof(int32_t));
    *count = int32_t(modes.size());
    return out;
}

}  // namespace gfx::x11
