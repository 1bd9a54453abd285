// X11 extension libraries that are loaded by name when first needed (and
// kept for the rest of the process): the screen saver extension and XRandR.
// A missing library is not an error; the feature is then left out.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/Xrender.h>
#include <X11/extensions/scrnsaver.h>

namespace gfx::x11 {

// The first of the names that dlopen finds, or null.
void* open_library(const char* const* names, int count);

struct ScreenSaverApi {
    decltype(&XScreenSaverQueryExtension) query_extension;
    decltype(&XScreenSaverSuspend) suspend;
};
// Null when the library is missing.
const ScreenSaverApi* screen_saver_api();

struct RandrApi {
    decltype(&XRRQueryExtension) query_extension;
    decltype(&XRRGetScreenResources) get_resources;
    decltype(&XRRGetScreenResourcesCurrent) get_current_resources;
    decltype(&XRRGetCrtcInfo) get_crtc;
    decltype(&XRRFreeCrtcInfo) free_crtc;
    decltype(&XRRFreeScreenResources) free_resources;
    decltype(&XRRGetOutputInfo) get_output;
    decltype(&XRRFreeOutputInfo) free_output;
};
// Null when the library is missing.
const RandrApi* randr_api();

struct RenderApi {
    decltype(&XRenderQueryExtension) query_extension;
    decltype(&XRenderFindVisualFormat) find_visual_format;
    decltype(&XRenderCreatePicture) create_picture;
    decltype(&XRenderFreePicture) free_picture;
    decltype(&XRenderSetPictureTransform) set_transform;
    decltype(&XRenderSetPictureFilter) set_filter;
    decltype(&XRenderComposite) composite;
};
// Null when the library is missing.
const RenderApi* render_api();

// The refresh rate in Hz of the first active monitor through XRandR (from
// the server's current state, without probing outputs), 0 when unknown.
int refresh_rate(Display* display, Window root);

}  // namespace gfx::x11
