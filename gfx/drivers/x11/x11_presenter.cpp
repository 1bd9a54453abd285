// Putting page rows into the X11 window.
#include "gfx/drivers/x11/x11_presenter.h"

#include <X11/extensions/shape.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "gfx/core/unaligned.h"
#include "gfx/drivers/convert/scale.h"
#include "gfx/drivers/window/dirty_rows.h"
#include "gfx/drivers/x11/x11_libs.h"
#include "gfx/gfx.h"

namespace gfx::x11 {
namespace {

// Set by the error handler while an MIT-SHM attach is being tried.
bool g_attach_failed = false;

int trap_error(Display*, XErrorEvent*) {
    g_attach_failed = true;
    return 0;
}

// MIT-SHM only works when the server runs on this machine.
bool display_is_local(Display* d) {
    const std::string_view name = DisplayString(d);
    return name.empty() || name[0] == ':' || name.rfind("unix:", 0) == 0 || name[0] == '/';
}

int32_t row_pitch(int32_t w, int32_t bytes) { return (w * bytes + 3) & ~3; }

Bool is_completion(Display*, XEvent* ev, XPointer arg) { return ev->type == *reinterpret_cast<int*>(arg); }

}  // namespace

Presenter::~Presenter() {
    free_images();
    if (gc_) XFreeGC(window_.display(), gc_);
}

bool Presenter::choose_format() {
    Display* d = window_.display();
    const GfxContext* ctx = gfx_context();
    if (!ctx) return false;
    XVisualInfo tmpl{};
    tmpl.visualid = XVisualIDFromVisual(window_.visual());
    int count = 0;
    XVisualInfo* info = XGetVisualInfo(d, VisualIDMask, &tmpl, &count);
    if (!info) return false;
    const XVisualInfo vi = info[0];
    XFree(info);
    if (vi.c_class != TrueColor) return false;  // palette visuals are not offered

    int bits = 0;
    int formats = 0;
    if (XPixmapFormatValues* f = XListPixmapFormats(d, &formats)) {
        for (int i = 0; i < formats; ++i)
            if (f[i].depth == vi.depth) bits = f[i].bits_per_pixel;
        XFree(f);
    }
    red_low_ = vi.red_mask < vi.blue_mask;
    const unsigned long hi = red_low_ ? vi.blue_mask : vi.red_mask, lo = red_low_ ? vi.red_mask : vi.blue_mask;
    if ((bits == 32 || bits == 24) && hi == 0xFF0000 && vi.green_mask == 0xFF00 && lo == 0xFF)
        device_depth_ = bits;
    else if (bits == 16 && hi == 0xF800 && vi.green_mask == 0x7E0 && lo == 0x1F)
        device_depth_ = 16;
    else if (bits == 16 && hi == 0x7C00 && vi.green_mask == 0x3E0 && lo == 0x1F)
        device_depth_ = 15;
    else
        return false;
    device_bytes_ = device_depth_ == 15 ? 2 : device_depth_ / 8;

    // Shaped 32-bit pages go through the alpha-clearing copy; other pages
    // through the converter of their format.
    if (shaped_ && ctx->depth == 32 && device_depth_ == 32 && !red_low_)
        blitter_ = convert::shaped((ctx->flags & GFX_CPU_MMX) != 0 && ctx->w % 4 == 0 && ctx->scanline_size == 1);
    else
        blitter_ = gfx_blitter_select(device_depth_, red_low_);
    return blitter_ != nullptr;
}

bool Presenter::open() {
    const GfxContext* ctx = gfx_context();
    if (!ctx || !blitter_) return false;
    Display* d = window_.display();
    gc_ = XCreateGC(d, window_.handle(), 0, nullptr);
    XSetForeground(d, gc_, 0);  // black in every true-colour visual

    width_ = ctx->w;
    height_ = ctx->h * std::max(ctx->scanline_size, 1);
    valid_rows_.assign(std::size_t(ctx->h), 0);
    shape_runs_.assign(std::size_t(ctx->h), {});
    resize(window_.width(), window_.height());
    return image_ != nullptr;
}

void Presenter::start_shared_memory() {
    Display* d = window_.display();
    int major = 0, minor = 0;
    Bool pixmaps = False;
    if (!image_ || shm_active_ || !window_.connection_alive() || !display_is_local(d) ||
        !XShmQueryVersion(d, &major, &minor, &pixmaps))
        return;
    shm_completion_ = XShmGetEventBase(d) + ShmCompletion;
    shm_wanted_ = true;
    free_images();
    if (!create_images()) return;
    // The new image holds no converted rows yet.
    std::fill(valid_rows_.begin(), valid_rows_.end(), 0);
    valid_count_ = 0;
}

void Presenter::resize(int32_t client_w, int32_t client_h) {
    Placement p;
    p.scale = std::max(1, std::min(client_w / std::max(width_, 1), client_h / std::max(height_, 1)));
    p.x = std::max(0, (client_w - width_ * p.scale) / 2);
    p.y = std::max(0, (client_h - height_ * p.scale) / 2);
    const bool rescaled = p.scale != window_.placement().scale || !image_;
    window_.set_placement(p);
    if (rescaled) {
        free_images();
        create_images();
    }
    std::fill(valid_rows_.begin(), valid_rows_.end(), 0);
    valid_count_ = 0;
    for (auto& runs : shape_runs_) runs.assign(1, -1);  // force a new shape
    window::EventCore::mark_all_rows();
    fill_borders();
}

bool Presenter::attach_shm(int32_t w, int32_t h) {
    Display* d = window_.display();
    image_ = XShmCreateImage(d, window_.visual(), unsigned(window_.depth()), ZPixmap, nullptr, &shm_, unsigned(w),
                             unsigned(h));
    if (!image_) return false;
    shm_.shmid = shmget(IPC_PRIVATE, std::size_t(image_->bytes_per_line) * std::size_t(h), IPC_CREAT | 0600);
    if (shm_.shmid < 0) {
        XDestroyImage(image_);
        image_ = nullptr;
        return false;
    }
    shm_.shmaddr = image_->data = static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
    shm_.readOnly = False;
    bool ok = shm_.shmaddr != reinterpret_cast<char*>(-1);
    // Touched here, outside the window lock, rather than by the first put.
    if (ok) std::memset(shm_.shmaddr, 0, std::size_t(image_->bytes_per_line) * std::size_t(h));
    if (ok) {
        XSync(d, False);
        g_attach_failed = false;
        XErrorHandler previous = XSetErrorHandler(trap_error);
        ok = XShmAttach(d, &shm_) && (XSync(d, False), !g_attach_failed);
        XSetErrorHandler(previous);
    }
    shmctl(shm_.shmid, IPC_RMID, nullptr);  // gone once both sides detach
    if (!ok) {
        if (shm_.shmaddr != reinterpret_cast<char*>(-1)) shmdt(shm_.shmaddr);
        image_->data = nullptr;
        XDestroyImage(image_);
        image_ = nullptr;
        return false;
    }
    shm_active_ = true;
    return true;
}

bool Presenter::start_server_scaling(int32_t scale) {
    const RenderApi* render = render_api();
    int event_base = 0, error_base = 0;
    Display* d = window_.display();
    if (!render || !render->query_extension(d, &event_base, &error_base)) return false;
    XRenderPictFormat* format = render->find_visual_format(d, window_.visual());
    if (!format) return false;
    pixmap_ = XCreatePixmap(d, window_.handle(), unsigned(width_), unsigned(height_), unsigned(window_.depth()));
    source_ = render->create_picture(d, pixmap_, format, 0, nullptr);
    target_ = render->create_picture(d, window_.handle(), format, 0, nullptr);
    // Destination pixel (x, y) samples source pixel (x / scale, y / scale).
    XTransform t{};
    t.matrix[0][0] = t.matrix[1][1] = XDoubleToFixed(1.0 / scale);
    t.matrix[2][2] = XDoubleToFixed(1.0);
    render->set_transform(d, source_, &t);
    render->set_filter(d, source_, FilterNearest, nullptr, 0);
    server_scaling_ = true;
    return true;
}

bool Presenter::create_images() {
    const GfxContext* ctx = gfx_context();
    const int32_t s = window_.placement().scale;
    // Rows are scaled by the server when it can; the image then holds the
    // picture at its own size.
    const int32_t image_scale = s > 1 && server_scaling_allowed_ && start_server_scaling(s) ? 1 : s;
    const int32_t w = width_ * image_scale, h = height_ * image_scale;
    const bool same_format = ctx->scanline_size == 1 && !red_low_ &&
                             ((ctx->depth == 32 && device_depth_ == 32) || (ctx->depth == 16 && device_depth_ == 16));
    if (!(shm_wanted_ && attach_shm(w, h))) {
        shm_wanted_ = false;  // a failed attach is not tried again
        // Without MIT-SHM a page in the device's format is put as it is.
        const bool direct = same_format && image_scale == 1 && !shaped_;
        const int32_t pitch = direct ? ctx->pitch : row_pitch(w, device_bytes_);
        if (!direct) image_memory_.assign(std::size_t(pitch) * std::size_t(h), 0);
        image_ = XCreateImage(window_.display(), window_.visual(), unsigned(window_.depth()), ZPixmap, 0, nullptr,
                              unsigned(w), unsigned(h), 32, pitch);
        if (!image_) return false;
        image_->byte_order = LSBFirst;  // device pixels are stored least significant byte first
        image_->data = direct ? nullptr : reinterpret_cast<char*>(image_memory_.data());
    }
    if (image_scale > 1) {
        conversion_pitch_ = row_pitch(width_, device_bytes_);
        conversion_.assign(std::size_t(conversion_pitch_) * std::size_t(height_), 0);
    } else {
        conversion_.clear();
    }
    return true;
}

void Presenter::free_images() {
    if (!image_) return;
    finish();
    if (shm_active_) {
        XShmDetach(window_.display(), &shm_);
        if (!window_.lost()) XSync(window_.display(), False);
        shmdt(shm_.shmaddr);
        shm_active_ = false;
        shm_wanted_ = true;
    }
    image_->data = nullptr;  // the memory is not Xlib's
    XDestroyImage(image_);
    image_ = nullptr;
    image_memory_.clear();
    if (server_scaling_) {
        render_api()->free_picture(window_.display(), source_);
        render_api()->free_picture(window_.display(), target_);
        XFreePixmap(window_.display(), pixmap_);
        source_ = target_ = 0;
        pixmap_ = 0;
        server_scaling_ = false;
    }
}

void Presenter::finish() {
    // Not XIfEvent: on a lost connection it would wait for ever.
    constexpr int kPollMs = 100;
    XEvent ev;
    while (shm_busy_ && !window_.lost() &&
           !XCheckIfEvent(window_.display(), &ev, is_completion, reinterpret_cast<XPointer>(&shm_completion_)))
        window_.wait_readable(kPollMs);
    shm_busy_ = false;
}

bool Presenter::handle_event(const XEvent& ev) {
    if (ev.type != shm_completion_ || shm_completion_ < 0) return false;
    shm_busy_ = false;
    return true;
}

void Presenter::put(int32_t y, int32_t rows) {
    // y and rows count image rows; with server scaling they go into the
    // pixmap and are composited scaled into the window.
    Display* d = window_.display();
    const Placement& p = window_.placement();
    const int32_t image_w = server_scaling_ ? width_ : width_ * p.scale;
    const Drawable target = server_scaling_ ? Drawable(pixmap_) : Drawable(window_.handle());
    const int32_t tx = server_scaling_ ? 0 : p.x, ty = server_scaling_ ? y : p.y + y;
    if (shm_active_) {
        XShmPutImage(d, target, gc_, image_, 0, y, tx, ty, unsigned(image_w), unsigned(rows), True);
        shm_busy_ = true;
    } else {
        XPutImage(d, target, gc_, image_, 0, y, tx, ty, unsigned(image_w), unsigned(rows));
    }
    if (server_scaling_)
        render_api()->composite(d, PictOpSrc, source_, None, target_, 0, y * p.scale, 0, 0, p.x, p.y + y * p.scale,
                                unsigned(width_ * p.scale), unsigned(rows * p.scale));
    XFlush(d);
}

bool Presenter::show_changed() {
    GfxContext* ctx = gfx_context();
    if (!ctx || !image_) return false;
    const auto* dirty = ctx->dirty;
    window::RowBand band{};
    if (!window::dirty_band(&band)) return false;
    const int32_t y1 = band.first, y2 = band.last;
    if (shaped_) update_shape(y1, y2);

    const int32_t sl = std::max(ctx->scanline_size, 1), s = window_.placement().scale;
    if (!image_->data) {
        // Straight from the visible page.
        image_->data = reinterpret_cast<char*>(ctx->framebuffer);
        put(y1, y2 - y1 + 1);
        image_->data = nullptr;
        return true;
    }
    finish();
    auto* picture = reinterpret_cast<uint8_t*>(image_->data);
    const int32_t image_scale = server_scaling_ ? 1 : s;
    if (image_scale == 1) {
        blitter_(picture, image_->bytes_per_line);
    } else {
        blitter_(conversion_.data(), conversion_pitch_);
        convert::scale_rows(conversion_.data(), conversion_pitch_, picture, image_->bytes_per_line, width_, y1 * sl,
                            (y2 - y1 + 1) * sl, device_bytes_, s);
    }
    for (int32_t y = y1; y <= y2; ++y) {
        if (dirty[y] && !valid_rows_[std::size_t(y)]) {
            valid_rows_[std::size_t(y)] = 1;
            ++valid_count_;
        }
    }
    put(y1 * sl * image_scale, (y2 - y1 + 1) * sl * image_scale);
    return true;
}

void Presenter::paint() {
    fill_borders();
    const GfxContext* ctx = gfx_context();
    if (!ctx || !image_) return;
    if (!image_->data) {
        image_->data = reinterpret_cast<char*>(ctx->framebuffer);
        put(0, height_);
        image_->data = nullptr;
    } else if (valid_count_ == ctx->h) {
        finish();
        put(0, server_scaling_ ? height_ : height_ * window_.placement().scale);
    } else {
        window::EventCore::mark_all_rows();  // the next pass converts and shows them
    }
}

void Presenter::fill_borders() {
    const Placement& p = window_.placement();
    const int32_t cw = window_.width(), ch = window_.height();
    const int32_t pw = width_ * p.scale, ph = height_ * p.scale;
    XRectangle rects[4];
    int n = 0;
    auto add = [&](int32_t x, int32_t y, int32_t w, int32_t h) {
        if (w > 0 && h > 0) rects[n++] = XRectangle{short(x), short(y), (unsigned short)w, (unsigned short)h};
    };
    add(0, 0, cw, p.y);
    add(0, p.y + ph, cw, ch - p.y - ph);
    add(0, p.y, p.x, ph);
    add(p.x + pw, p.y, cw - p.x - pw, ph);
    if (n > 0) XFillRectangles(window_.display(), window_.handle(), gc_, rects, n);
}

void Presenter::update_shape(int32_t first, int32_t last) {
    // Transparent where the page holds the colour key: index 0, 5-6-5
    // magenta or 32-bit magenta (alpha ignored).
    const GfxContext* ctx = gfx_context();
    bool changed = false;
    for (int32_t y = first; y <= last; ++y) {
        if (!ctx->dirty[y]) continue;
        const uint8_t* row = ctx->framebuffer + std::size_t(y) * std::size_t(ctx->pitch);
        std::vector<int32_t> runs;
        int32_t start = -1;
        for (int32_t x = 0; x <= ctx->w; ++x) {
            bool key = true;
            if (x < ctx->w) {
                if (ctx->bpp == 1) key = row[x] == 0;
                else if (ctx->bpp == 2) key = load<uint16_t>(row + 2 * x) == 0xF81F;
                else key = (load<uint32_t>(row + 4 * x) & 0xFFFFFF) == 0xFF00FF;
            }
            if (!key && start < 0) start = x;
            if (key && start >= 0) {
                runs.push_back(start);
                runs.push_back(x - start);
                start = -1;
            }
        }
        if (runs != shape_runs_[std::size_t(y)]) {
            shape_runs_[std::size_t(y)] = std::move(runs);
            changed = true;
        }
    }
    if (!changed) return;
    const Placement& p = window_.placement();
    const int32_t sl = std::max(ctx->scanline_size, 1);
    std::vector<XRectangle> rects;
    for (int32_t y = 0; y < ctx->h; ++y) {
        const auto& runs = shape_runs_[std::size_t(y)];
        for (std::size_t i = 0; i + 1 < runs.size(); i += 2)
            rects.push_back(XRectangle{short(p.x + runs[i] * p.scale), short(p.y + y * sl * p.scale),
                                       (unsigned short)(runs[i + 1] * p.scale), (unsigned short)(sl * p.scale)});
    }
    XShapeCombineRectangles(window_.display(), window_.handle(), ShapeBounding, 0, 0, rects.data(), int(rects.size()),
                            ShapeSet, YXBanded);
}

}  // namespace gfx::x11
