// The "GDI" display driver: the visible page goes to an ordinary window (or,
// full-screen, to a borderless window after a display-mode change) as a
// device-independent bitmap. Every 10 ms the driver thread applies palette
// changes, copies the band from the first to the last changed row in one
// call, refreshes the key states and handles the window's messages.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gfx/drivers/convert/blitters.h"
#include "gfx/drivers/win32/display_mode.h"
#include "gfx/drivers/win32/win32_drivers.h"
#include "gfx/drivers/win32/win32_libs.h"
#include "gfx/drivers/win32/win32_window.h"
#include "gfx/drivers/window/dirty_rows.h"
#include "gfx/drivers/window/window_host.h"

namespace gfx::win32 {
namespace {

// A BITMAPINFO with its full 256-entry colour table.
struct BitmapInfo256 {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
};

struct GdiState {
    BitmapInfo256 info{};
    HPALETTE palette = nullptr;
    Blitter blitter = nullptr;
    std::vector<uint8_t> conversion;  // rows in the bitmap's format
    int32_t conversion_pitch = 0;
};
GdiState g_gdi;

window::WindowState& state() { return window::WindowHost::instance().state(); }

void select_palette(HDC dc) {
    if (!g_gdi.palette) return;
    SelectPalette(dc, g_gdi.palette, FALSE);
    RealizePalette(dc);
}

// Copies window rows [first, first + count) from the conversion buffer or
// the visible page.
void copy_rows(HDC dc, int32_t first, int32_t count) {
    const GfxContext* ctx = gfx_context();
    if (!ctx || count <= 0) return;
    const uint8_t* rows = g_gdi.blitter ? g_gdi.conversion.data() + std::size_t(first) * std::size_t(g_gdi.conversion_pitch)
                                        : ctx->framebuffer + std::size_t(first) * std::size_t(ctx->pitch);
    SetDIBitsToDevice(dc, 0, first, DWORD(state().w), DWORD(count), 0, 0, 0, UINT(count), rows,
                      reinterpret_cast<const BITMAPINFO*>(&g_gdi.info), DIB_RGB_COLORS);
}

void gdi_paint() {
    HWND hwnd = Win32Window::instance().handle();
    if (!hwnd || !gfx_context()) return;
    HDC dc = GetDC(hwnd);
    select_palette(dc);
    copy_rows(dc, 0, state().h);
    ReleaseDC(hwnd, dc);
}

void gdi_close() {
    Win32Window& win = Win32Window::instance();
    g_gdi.conversion = {};
    g_gdi.blitter = nullptr;
    if (win.handle()) {
        if (state().flags & window::kFullscreen) restore_desktop_mode();
        win.destroy();
    }
    if (g_gdi.palette) DeleteObject(g_gdi.palette);
    g_gdi.palette = nullptr;
}

// The converter the bitmap needs, or null when the page rows fit as they
// are; false when there is none for the page.
bool choose_converter(const GfxContext* ctx, const window::WindowState& st) {
    const bool row_aligned = ctx->w % 4 == 0 && ctx->scanline_size == 1;
    if ((st.flags & window::kShaped) && ctx->depth == 32) {
        g_gdi.blitter = convert::shaped((ctx->flags & GFX_CPU_MMX) != 0 && row_aligned);
    } else if (st.depth == 16) {
        g_gdi.blitter = gfx_blitter_select(15, false);  // a 16-bit bitmap is read as 5-5-5
        if (!g_gdi.blitter) return false;
    } else if (!row_aligned) {
        // Rows padded to 4 bytes, and doubled rows for two scanlines a row.
        g_gdi.blitter = gfx_blitter_select(st.depth, false);
        if (!g_gdi.blitter) return false;
    }
    if (g_gdi.blitter) {
        g_gdi.conversion_pitch = (ctx->pitch + 3) & ~3;
        g_gdi.conversion.assign(std::size_t(g_gdi.conversion_pitch) * std::size_t(st.h), 0);
    }
    return true;
}

bool gdi_open() {
    Win32Window& win = Win32Window::instance();
    window::WindowState& st = state();
    const GfxContext* ctx = gfx_context();
    g_gdi = GdiState{};
    if (!ctx) return false;
    DWORD ex_style = 0, style;
    int x = 0, y = 0;
    SIZE outer{st.w, st.h};
    if (st.flags & window::kFullscreen) {
        if (!set_display_mode(st)) return false;
        style = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    } else {
        style = (st.flags & window::kNoFrame)    ? WS_POPUP
                : (st.flags & window::kNoSwitch) ? (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX)
                                                  : (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
        if (st.flags & window::kShaped) {
            if (win.os_version() < 0x0500) return false;
            ex_style = WS_EX_LAYERED;
        }
        outer = Win32Window::outer_size(style, st.w, st.h);
        const auto centre = [](int screen, int size) { return (screen - size) >> 1; };  // halves towards -inf
        x = centre(GetSystemMetrics(SM_CXSCREEN), outer.cx);
        y = centre(GetSystemMetrics(SM_CYSCREEN), outer.cy);
    }
    if (!win.create(style | WS_VISIBLE, ex_style, x, y, outer.cx, outer.cy)) return false;
    if (st.flags & window::kShaped) {
        using LayeredFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
        static const auto set_layered = user32_proc<LayeredFn>("SetLayeredWindowAttributes");
        if (!set_layered) return false;
        set_layered(win.handle(), st.depth <= 8 ? 0 : RGB(0xFF, 0, 0xFF), 0, LWA_COLORKEY);
    }

    BITMAPINFOHEADER& h = g_gdi.info.header;
    h.biSize = sizeof h;
    h.biWidth = st.w;
    h.biHeight = -st.h;  // rows top-down
    h.biPlanes = 1;
    h.biBitCount = WORD(st.depth);
    h.biCompression = BI_RGB;
    h.biClrUsed = 256;
    if (!choose_converter(ctx, st)) return false;

    HDC dc = GetDC(win.handle());
    if (GfxContext* c = gfx_context()) c->refresh_rate = GetDeviceCaps(dc, VREFRESH);
    struct {
        WORD version, count;
        std::array<PALETTEENTRY, 256> entries;
    } logical{0x300, 256, system_palette(st)};
    g_gdi.palette = CreatePalette(reinterpret_cast<const LOGPALETTE*>(&logical));
    ReleaseDC(win.handle(), dc);
    return true;
}

// One pass's drawing: palette changes, then the band of changed rows; true
// when rows were shown.
bool gdi_show() {
    window::WindowState& st = state();
    GfxContext* ctx = gfx_context();
    HWND hwnd = Win32Window::instance().handle();
    if (!ctx || !hwnd) return false;
    HDC dc = GetDC(hwnd);
    if (st.palette_changed) {
        const auto entries = system_palette(st);
        for (std::size_t i = 0; i < entries.size(); ++i)
            g_gdi.info.colors[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
        if (g_gdi.palette) SetPaletteEntries(g_gdi.palette, 0, 256, entries.data());
        select_palette(dc);
        st.palette_changed = false;
    }
    window::RowBand band{};
    const bool shown = window::dirty_band(&band);
    if (shown) {
        const int32_t y1 = band.first, y2 = band.last;
        if (g_gdi.blitter) g_gdi.blitter(g_gdi.conversion.data(), g_gdi.conversion_pitch);
        const int32_t s = ctx->scanline_size;
        copy_rows(dc, y1 * s, (y2 - y1 + 1) * s);
        if (Win32Window::instance().os_version() < 0x0500) {
            RECT band{0, y1 * s, st.w, (y2 + 1) * s};
            InvalidateRect(hwnd, &band, FALSE);
        }
    }
    ReleaseDC(hwnd, dc);
    window::clear_dirty_rows();
    if (st.active) Win32Window::instance().refresh_key_states();
    return shown;
}

void gdi_thread(std::promise<bool>& started) { run_window_thread(started, gdi_show); }

int32_t gdi_init(const char* title, int32_t w, int32_t h, int32_t depth, int32_t refresh, int32_t flags) {
    return start_window_driver(title, w, h, depth, refresh, flags, {gdi_open, gdi_close, gdi_paint}, gdi_thread);
}

// Display modes of the primary display with depth bits per pixel or its
// partner (15/16, 24/32).
int32_t* gdi_fetch_modes(int32_t depth, int32_t* count) { return display_modes(depth, count, true); }

}  // namespace

const GfxDriver gdi_driver = {
    "GDI",
    gdi_init,
    window_driver_exit,
    window::shared_lock,
    window::shared_unlock,
    window::shared_set_palette,
    window::shared_wait_vsync,
    window::shared_get_mouse,
    window::shared_set_mouse,
    window::shared_set_title,
    window::shared_set_pos,
    gdi_fetch_modes,
    nullptr,
    nullptr,
};

}  // namespace gfx::win32
