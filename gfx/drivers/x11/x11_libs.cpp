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
               load(lib, a.get_screen_info, "XRRGetScreenInfo") && load(lib, a.current_rate, "XRRConfigCurrentRate") &&
               load(lib, a.free_screen_info, "XRRFreeScreenConfigInfo") &&
               load(lib, a.get_resources, "XRRGetScreenResources") &&
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
    XRRScreenConfiguration* config = r->get_screen_info(display, root);
    if (!config) return 0;
    const int rate = r->current_rate(config);
    r->free_screen_info(config);
    return rate > 0 ? rate : 0;
}

}  // namespace gfx::x11
