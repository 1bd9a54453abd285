// Run-time loading of the optional X11 extension libraries.
#include "gfx/drivers/x11/x11_libs.h"

#include <dlfcn.h>

namespace gfx::x11 {

void* open_library(const char* const* names, int count) {
    for (int i = 0; i < count; ++i)
        if (void* lib = dlopen(names[i], RTLD_NOW | RTLD_LOCAL)) return lib;
    return nullptr;
}

namespace {

// Loads library and fills every member of api through `fill`; null when the
// library or any member is missing.
template <typename Api, typename Fill>
const Api* load_api(const char* const* names, int count, Fill fill) {
    static const Api* api = [&]() -> const Api* {
        void* lib = open_library(names, count);
        if (!lib) return nullptr;
        static Api loaded{};
        return fill(lib, loaded) ? &loaded : nullptr;
    }();
    return api;
}

template <typename T>
bool load(void* lib, T& member, const char* name) {
    member = reinterpret_cast<T>(dlsym(lib, name));
    return member != nullptr;
}

}  // namespace

const ScreenSaverApi* screen_saver_api() {
    static const char* const names[] = {"libXss.so.1", "libXss.so"};
    return load_api<ScreenSaverApi>(names, 2, [](void* lib, ScreenSaverApi& a) {
        return load(lib, a.query_extension, "XScreenSaverQueryExtension") &&
               load(lib, a.suspend, "XScreenSaverSuspend");
    });
}

const RandrApi* randr_api() {
    static const char* const names[] = {"libXrandr.so.2", "libXrandr.so"};
    return load_api<RandrApi>(names, 2, [](void* lib, RandrApi& a) {
        return load(lib, a.query_extension, "XRRQueryExtension") &&
               load(lib, a.get_resources, "XRRGetScreenResources") &&
               load(lib, a.get_current_resources, "XRRGetScreenResourcesCurrent") &&
               load(lib, a.get_crtc, "XRRGetCrtcInfo") && load(lib, a.free_crtc, "XRRFreeCrtcInfo") &&
               load(lib, a.free_resources, "XRRFreeScreenResources") && load(lib, a.get_output, "XRRGetOutputInfo") &&
               load(lib, a.free_output, "XRRFreeOutputInfo");
    });
}

const RenderApi* render_api() {
    static const char* const names[] = {"libXrender.so.1", "libXrender.so"};
    return load_api<RenderApi>(names, 2, [](void* lib, RenderApi& a) {
        return load(lib, a.query_extension, "XRenderQueryExtension") &&
               load(lib, a.find_visual_format, "XRenderFindVisualFormat") &&
               load(lib, a.create_picture, "XRenderCreatePicture") &&
               load(lib, a.free_picture, "XRenderFreePicture") &&
               load(lib, a.set_transform, "XRenderSetPictureTransform") &&
               load(lib, a.set_filter, "XRenderSetPictureFilter") && load(lib, a.composite, "XRenderComposite");
    });
}

int refresh_rate(Display* display, Window root) {
    const RandrApi* r = randr_api();
    int event_base = 0, error_base = 0;
    if (!r || !r->query_extension(display, &event_base, &error_base)) return 0;
    XRRScreenResources* res = r->get_current_resources(display, root);
    if (!res) return 0;
    int rate = 0;
    for (int c = 0; c < res->ncrtc && rate == 0; ++c) {
        XRRCrtcInfo* crtc = r->get_crtc(display, res, res->crtcs[c]);
        if (!crtc) continue;
        for (int m = 0; m < res->nmode && crtc->mode != None; ++m) {
            const XRRModeInfo& mode = res->modes[m];
            if (mode.id == crtc->mode && mode.hTotal && mode.vTotal)
                rate = int((double(mode.dotClock) / (double(mode.hTotal) * double(mode.vTotal))) + 0.5);
        }
        r->free_crtc(crtc);
    }
    r->free_resources(res);
    return rate;
}

}  // namespace gfx::x11
