// Puts the visible page into an X11 window: the device format of the
// window's visual, the converter, the image the rows go through (a MIT-SHM
// segment when the server offers one and is local, else XPutImage), integer
// scaling for full-screen display (by the server through XRender when it
// has it, else here), and the window shape of shaped windows.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrender.h>

#include <cstdint>
#include <vector>

#include "gfx/drivers/convert/blitters.h"
#include "gfx/drivers/x11/x11_window.h"

namespace gfx::x11 {

class Presenter {
public:
    // server_scaling: full-screen pictures may be scaled by the server.
    Presenter(X11Window& window, bool shaped, bool server_scaling = true)
        : window_(window), shaped_(shaped), server_scaling_allowed_(server_scaling) {}
    ~Presenter();
    Presenter(const Presenter&) = delete;
    Presenter& operator=(const Presenter&) = delete;

    // Chooses the device format and converter for the window's visual;
    // false when the visual cannot show the page. Needs no window yet.
    bool choose_format();
    // Sets up the images for the created window's size, for XPutImage.
    bool open();
    // Moves the images into MIT-SHM segments when the server offers them
    // and is local. Kept out of open(), which runs under the window lock:
    // its round trip and page faults would hold up the program's drawing.
    void start_shared_memory();
    // The window's client size changed: new scale, placement and images.
    void resize(int32_t client_w, int32_t client_h);
    // Shows the band from the first to the last changed row (flags are
    // left set); false when no row changed.
    bool show_changed();
    // Redraws the whole window (borders and picture).
    void paint();
    // Takes the MIT-SHM completion events.
    bool handle_event(const XEvent& ev);
    // Waits until the server has read the shared image.
    void finish();

    bool uses_shm() const { return shm_active_; }
    bool scales_on_server() const { return server_scaling_; }
    int32_t device_depth() const { return device_depth_; }
    bool red_low() const { return red_low_; }
    const Placement& placement() const { return window_.placement(); }

private:
    bool create_images();
    void free_images();
    bool attach_shm(int32_t w, int32_t h);
    bool start_server_scaling(int32_t scale);
    void put(int32_t y, int32_t rows);
    void fill_borders();
    void update_shape(int32_t first, int32_t last);

    X11Window& window_;
    bool shaped_;
    bool server_scaling_allowed_;
    GC gc_ = nullptr;
    int32_t device_depth_ = 0;  // 15, 16, 24 or 32
    int32_t device_bytes_ = 0;
    bool red_low_ = false;
    Blitter blitter_ = nullptr;  // null: rows go straight from the page
    bool shm_wanted_ = false;
    bool shm_active_ = false;
    int shm_completion_ = -1;
    bool shm_busy_ = false;
    XShmSegmentInfo shm_{};
    XImage* image_ = nullptr;             // scaled picture (or the page itself)
    std::vector<uint8_t> image_memory_;  // its pixels without MIT-SHM
    bool server_scaling_ = false;        // rows go to a pixmap, XRender scales them
    Pixmap pixmap_ = 0;
    Picture source_ = 0, target_ = 0;
    std::vector<uint8_t> conversion_;    // converted rows before scaling here
    int32_t conversion_pitch_ = 0;
    int32_t width_ = 0, height_ = 0;     // picture size in device pixels
    std::vector<uint8_t> valid_rows_;    // converted at least once
    int32_t valid_count_ = 0;
    std::vector<std::vector<int32_t>> shape_runs_;  // opaque runs per page row
};

}  // namespace gfx::x11
