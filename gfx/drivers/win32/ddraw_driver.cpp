// The "DirectX" display driver: DirectDraw in a window (the page converted
// into an off-screen surface that is blitted to the client area through a
// clipper) or full-screen (an exclusive display mode, the page converted
// straight into the primary surface), and the key states from DirectInput.
// ddraw.dll and dinput.dll are loaded when the driver starts; without them
// the driver fails and the screen set-up tries the next one.
#define DIRECTINPUT_VERSION 0x0300
#include <windows.h>
// The interface and object GUIDs are defined here, so no import library
// of DirectX is linked.
#include <initguid.h>
#include <ddraw.h>
#include <dinput.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "gfx/drivers/convert/blitters.h"
#include "gfx/drivers/win32/display_mode.h"
#include "gfx/drivers/win32/win32_drivers.h"
#include "gfx/drivers/win32/win32_libs.h"
#include "gfx/drivers/win32/win32_window.h"
#include "gfx/drivers/window/dirty_rows.h"
#include "gfx/drivers/window/window_host.h"

namespace gfx::win32 {
namespace {

using DirectDrawCreateFn = HRESULT(WINAPI*)(GUID*, LPDIRECTDRAW*, IUnknown*);
using DirectInputCreateFn = HRESULT(WINAPI*)(HINSTANCE, DWORD, LPDIRECTINPUTA*, LPUNKNOWN);

constexpr DWORD kFullscreenLevel = DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE;
constexpr int kLostRetries = 3;  // restore-and-retry rounds for a lost surface in one pass

// The keyboard as DirectInput reports it: one optional button per key code.
struct KeyboardFormat {
    std::array<DIOBJECTDATAFORMAT, 256> objects{};
    DIDATAFORMAT format{};
    KeyboardFormat() {
        for (DWORD i = 0; i < 256; ++i) objects[i] = {&GUID_Key, i, (i << 8) | 0x8000000Cu, 0};
        format = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 256, 256, objects.data()};
    }
};

struct DxState {
    Library ddraw_lib, dinput_lib;
    IDirectDraw2* ddraw = nullptr;
    IDirectDrawSurface* primary = nullptr;
    IDirectDrawSurface* back = nullptr;  // the primary surface itself full-screen
    IDirectDrawClipper* clipper = nullptr;
    IDirectDrawPalette* palette = nullptr;
    IDirectInputA* dinput = nullptr;
    IDirectInputDeviceA* keyboard = nullptr;
    Blitter blitter = nullptr;
    int32_t vertical_offset = 0;
    HANDLE vsync_event = nullptr;
};
DxState g_dx;
bool g_vsync_pending = false;  // under the window lock
int32_t g_window_x = 0, g_window_y = 0;
const KeyboardFormat g_keyboard_format;

window::WindowState& state() { return window::WindowHost::instance().state(); }
bool fullscreen() { return (state().flags & window::kFullscreen) != 0; }

void dx_close() {
    Win32Window& win = Win32Window::instance();
    if (!fullscreen() && win.handle()) {
        RECT r{};
        GetWindowRect(win.handle(), &r);
        g_window_x = r.left;
        g_window_y = r.top;
    }
    if (g_dx.keyboard) g_dx.keyboard->Unacquire();
    release(g_dx.keyboard);
    release(g_dx.dinput);
    if (g_dx.ddraw) {
        if (fullscreen() && g_dx.primary) {
            DDBLTFX fx{};
            fx.dwSize = sizeof fx;
            fx.dwFillColor = 0;
            g_dx.primary->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
        }
        if (g_dx.back != g_dx.primary) release(g_dx.back);
        g_dx.back = nullptr;
        release(g_dx.primary);
        release(g_dx.clipper);
        release(g_dx.palette);
        if (fullscreen()) {
            restore_desktop_mode([] { g_dx.ddraw->RestoreDisplayMode(); });
            g_dx.ddraw->SetCooperativeLevel(win.handle(), DDSCL_NORMAL);
        }
        release(g_dx.ddraw);
    }
    win.destroy();
    g_dx.ddraw_lib.reset();
    g_dx.dinput_lib.reset();
    if (g_dx.vsync_event) CloseHandle(g_dx.vsync_event);
    g_dx.vsync_event = nullptr;
    g_dx.blitter = nullptr;
}

// The DirectDraw device of the monitor the full-screen mode belongs to.
struct DeviceSearch {
    HMONITOR monitor;
    GUID guid;
    bool found;
};

BOOL CALLBACK match_device(GUID* guid, LPSTR, LPSTR, LPVOID context, HMONITOR monitor) {
    auto* search = static_cast<DeviceSearch*>(context);
    if (guid && monitor == search->monitor) {
        search->guid = *guid;
        search->found = true;
        return FALSE;
    }
    return TRUE;
}

// DirectDraw for the device, queried as IDirectDraw2.
IDirectDraw2* create_ddraw(const Library& lib, GUID* device) {
    const auto create = lib.proc<DirectDrawCreateFn>("DirectDrawCreate");
    IDirectDraw* first = nullptr;
    if (!create || FAILED(create(device, &first, nullptr)) || !first) return nullptr;
    IDirectDraw2* dd = nullptr;
    const HRESULT r = first->QueryInterface(IID_IDirectDraw2, reinterpret_cast<void**>(&dd));
    first->Release();
    return SUCCEEDED(r) ? dd : nullptr;
}


// The exclusive mode for the page: the page size, or the partner depth,
// or the next taller standard height; the image is centred vertically.
bool set_fullscreen_mode(const window::WindowState& st) {
    remember_desktop_mode();
    for (int32_t height = st.h;;) {
        const DWORD vga = st.w == 320 && height == 200 && st.depth == 8 ? DDSDM_STANDARDVGAMODE : 0;
        for (const int32_t depth : {st.depth, window::partner_depth(st.depth)}) {
            if (SUCCEEDED(g_dx.ddraw->SetDisplayMode(DWORD(st.w), DWORD(height), DWORD(depth), DWORD(st.refresh_rate),
                                                     vga))) {
                g_dx.vertical_offset = (height - st.h) >> 1;
                return true;
            }
        }
        if (height >= 1024) return false;
        height = height <= 239 ? 240 : height <= 479 ? 480 : height <= 599 ? 600 : height <= 767 ? 768 : 1024;
    }
}

bool create_surfaces(const window::WindowState& st) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (FAILED(g_dx.ddraw->CreateSurface(&desc, &g_dx.primary, nullptr))) return false;
    if (fullscreen()) {
        g_dx.back = g_dx.primary;
        return true;
    }
    if (FAILED(g_dx.primary->SetClipper(g_dx.clipper))) return false;
    desc = DDSURFACEDESC{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    desc.dwWidth = DWORD(st.w);
    desc.dwHeight = DWORD(st.h);
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY;
    return SUCCEEDED(g_dx.ddraw->CreateSurface(&desc, &g_dx.back, nullptr));
}

// The converter for the primary surface's pixel format (and the palette of
// an 8-bit display).
bool choose_converter(window::WindowState& st) {
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    if (FAILED(g_dx.primary->GetPixelFormat(&pf)) || !(pf.dwFlags & DDPF_RGB)) return false;
    auto bits = int32_t(pf.dwRGBBitCount);
    if (bits == 8) {
        auto entries = system_palette(st);
        if (FAILED(g_dx.ddraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries.data(), &g_dx.palette, nullptr)) ||
            FAILED(g_dx.primary->SetPalette(g_dx.palette)))
            return false;
        st.palette_changed = false;
    }
    if (bits == 16 && pf.dwGBitMask == 0x3E0) bits = 15;
    const bool red_low = (bits > 23 && pf.dwRBitMask == 0xFF) || (bits >= 16 && pf.dwRBitMask == 0x1F);
    g_dx.blitter = gfx_blitter_select(bits, red_low);
    return g_dx.blitter != nullptr;
}

bool dx_open() {
    Win32Window& win = Win32Window::instance();
    window::WindowState& st = state();
    g_dx.ddraw_lib = Library("ddraw.dll");
    g_dx.dinput_lib = Library("dinput.dll");
    if (!g_dx.ddraw_lib || !g_dx.dinput_lib) return false;

    GUID* device = nullptr;
    DeviceSearch search{win.monitor(), {}, false};
    using EnumerateExFn = HRESULT(WINAPI*)(LPDDENUMCALLBACKEXA, LPVOID, DWORD);
    const auto enumerate = g_dx.ddraw_lib.proc<EnumerateExFn>("DirectDrawEnumerateExA");
    if (fullscreen() && search.monitor && enumerate) {
        enumerate(match_device, &search, DDENUM_ATTACHEDSECONDARYDEVICES);
        if (search.found) device = &search.guid;
    }
    g_dx.ddraw = create_ddraw(g_dx.ddraw_lib, device);
    if (!g_dx.ddraw) return false;
    const auto di_create = g_dx.dinput_lib.proc<DirectInputCreateFn>("DirectInputCreateA");
    if (!di_create || FAILED(di_create(GetModuleHandleA(nullptr), 0x0300, &g_dx.dinput, nullptr))) return false;

    if (fullscreen()) {
        if (!win.create(WS_POPUP | WS_VISIBLE, 0, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)))
            return false;
        if (FAILED(g_dx.ddraw->SetCooperativeLevel(win.handle(), kFullscreenLevel))) return false;
        if (!set_fullscreen_mode(st)) return false;
    } else {
        const DWORD style = (st.flags & window::kNoFrame) ? (WS_POPUP | WS_VISIBLE)
                            : (st.flags & window::kNoSwitch)
                                ? (WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX)
                                : (WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
        const SIZE outer = Win32Window::outer_size(style, st.w, st.h);
        if (!win.create(style, 0, g_window_x, g_window_y, outer.cx, outer.cy)) return false;
        if (FAILED(g_dx.ddraw->SetCooperativeLevel(win.handle(), DDSCL_NORMAL)) ||
            FAILED(g_dx.ddraw->CreateClipper(0, &g_dx.clipper, nullptr)) ||
            FAILED(g_dx.clipper->SetHWnd(0, win.handle())))
            return false;
        g_dx.vertical_offset = 0;
    }
    if (!create_surfaces(st) || !choose_converter(st)) return false;

    DWORD hz = 0;
    if (GfxContext* ctx = gfx_context(); ctx && SUCCEEDED(g_dx.ddraw->GetMonitorFrequency(&hz))) ctx->refresh_rate = int32_t(hz);
    g_dx.vsync_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return SUCCEEDED(g_dx.dinput->CreateDevice(GUID_SysKeyboard, &g_dx.keyboard, nullptr)) &&
           SUCCEEDED(g_dx.keyboard->SetDataFormat(&g_keyboard_format.format)) && g_dx.keyboard->Acquire() == DI_OK;
}

// Restores lost surfaces; a display mode changed under the program makes
// everything open again. The answer of the last IsLost (a few rounds at
// most, so that a surface that stays lost cannot hold the lock for good).
HRESULT dx_restore() {
    for (int round = 0; round < kLostRetries; ++round) {
        if (!g_dx.primary) return DDERR_SURFACELOST;
        const HRESULT lost = g_dx.primary->IsLost();
        if (lost != DDERR_SURFACELOST) return lost;
        if (g_dx.back && g_dx.back != g_dx.primary) g_dx.back->Restore();
        if (g_dx.primary->Restore() == DDERR_WRONGMODE) {
            dx_close();
            while (!dx_open()) {
                dx_close();
                if (!window::WindowHost::instance().running()) return DDERR_SURFACELOST;
                Sleep(300);
            }
            window::EventCore::mark_all_rows();
            using FlashFn = BOOL(WINAPI*)(PFLASHWINFO);
            static const auto flash = user32_proc<FlashFn>("FlashWindowEx");
            if (flash) {
                FLASHWINFO f{sizeof f, Win32Window::instance().handle(), FLASHW_STOP, 0, 0};
                flash(&f);
            }
        }
    }
    return DDERR_SURFACELOST;
}

void dx_present() {
    HWND hwnd = Win32Window::instance().handle();
    if (fullscreen() || !hwnd || !g_dx.back) return;
    RECT target{};
    GetClientRect(hwnd, &target);
    MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&target), 2);
    RECT source{0, 0, state().w, state().h};
    for (int i = 0; i < kLostRetries; ++i) {
        dx_restore();
        if (!g_dx.back || g_dx.primary->Blt(&target, g_dx.back, &source, DDBLT_WAIT, nullptr) != DDERR_SURFACELOST)
            return;
    }
}

// The key-state table from DirectInput; extended keys share the entry of
// their base scancode.
void read_key_states() {
    BYTE keys[256];
    const HRESULT r = g_dx.keyboard ? g_dx.keyboard->GetDeviceState(sizeof keys, keys) : DIERR_NOTACQUIRED;
    if (r == DIERR_NOTACQUIRED || r == DIERR_INPUTLOST) {
        if (g_dx.keyboard) g_dx.keyboard->Acquire();
        return;
    }
    GfxContext* ctx = gfx_context();
    if (FAILED(r) || !ctx || !ctx->key_state) return;
    for (int i = 0; i < 128; ++i) ctx->key_state[i] = ((keys[i] | keys[i + 128]) & 0x80) ? 1 : 0;
}

// One pass: the changed rows converted into the back surface (the primary
// one full-screen) and the back surface shown; true when rows changed.
bool dx_show() {
    window::WindowState& st = state();
    GfxContext* ctx = gfx_context();
    if (!ctx || !g_dx.ddraw) return false;
    if (g_vsync_pending) {
        WaitForSingleObject(g_dx.vsync_event, 20);
        g_vsync_pending = false;
    }
    if (!st.active && fullscreen()) return false;
    if (st.palette_changed && g_dx.palette) {
        auto entries = system_palette(st);
        g_dx.palette->SetEntries(0, 0, 256, entries.data());
        st.palette_changed = false;
    }
    // Unchanged pages are not shown again: a blit of the whole surface can
    // take longer than the pass interval (under Wine, about 11 ms), and
    // what the window lost is brought back by its paint message.
    window::RowBand band{};
    bool shown = false;
    if (window::dirty_band(&band)) {
        DDSURFACEDESC desc{};
        desc.dwSize = sizeof desc;
        HRESULT locked = DDERR_SURFACELOST;
        for (int i = 0; i < kLostRetries && locked == DDERR_SURFACELOST; ++i) {
            dx_restore();
            locked = g_dx.back ? g_dx.back->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) : DDERR_GENERIC;
        }
        if (SUCCEEDED(locked)) {
            auto* surface = static_cast<uint8_t*>(desc.lpSurface);
            g_dx.blitter(surface + std::ptrdiff_t(g_dx.vertical_offset) * desc.lPitch, int32_t(desc.lPitch));
            g_dx.back->Unlock(nullptr);
            window::clear_dirty_rows();
            dx_present();
            shown = true;
        }
    }
    if (st.active) read_key_states();
    return shown;
}

void dx_thread(std::promise<bool>& started) { run_window_thread(started, dx_show); }

int32_t dx_init(const char* title, int32_t w, int32_t h, int32_t depth, int32_t refresh, int32_t flags) {
    if (flags & (window::kOpenGL | window::kShaped)) return -1;
    g_window_x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    g_window_y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    return start_window_driver(title, w, h, depth, refresh, flags, {dx_open, dx_close, dx_present}, dx_thread);
}

// Waits for the display's vertical blank; the driver's next pass waits for
// it too (at most 20 ms), so that it follows the blank.
void dx_wait_vsync() {
    window::WindowHost& host = window::WindowHost::instance();
    host.lock();
    IDirectDraw2* dd = g_dx.ddraw;
    HANDLE event = g_dx.vsync_event;
    if (dd) dd->AddRef();  // the driver thread may reopen everything meanwhile
    if (event) ResetEvent(event);
    g_vsync_pending = dd != nullptr;
    host.unlock();
    if (!dd) return;
    dd->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
    host.lock();
    if (g_dx.vsync_event) SetEvent(g_dx.vsync_event);
    host.unlock();
    dd->Release();
}

struct ModeList {
    int32_t depth;
    int32_t* modes;
    int32_t count;
    bool full;
};

HRESULT CALLBACK collect_mode(LPDDSURFACEDESC desc, LPVOID context) {
    auto* list = static_cast<ModeList*>(context);
    int32_t bits = int32_t(desc->ddpfPixelFormat.dwRGBBitCount);
    if (bits == 16 && desc->ddpfPixelFormat.dwGBitMask == 0x3E0) bits = 15;
    if (bits != list->depth || list->full) return DDENUMRET_OK;
    auto* grown = static_cast<int32_t*>(std::realloc(list->modes, sizeof(int32_t) * std::size_t(list->count + 1)));
    if (!grown) {
        list->full = true;
        return DDENUMRET_OK;
    }
    list->modes = grown;
    list->modes[list->count++] = int32_t(desc->dwHeight | (desc->dwWidth << 16));
    return DDENUMRET_OK;
}

// The display modes with depth bits per pixel, through a DirectDraw object
// of its own (the driver's belongs to the driver thread).
int32_t* dx_fetch_modes(int32_t depth, int32_t* count) {
    if (count) *count = 0;
    Library lib("ddraw.dll");
    IDirectDraw2* dd = lib ? create_ddraw(lib, nullptr) : nullptr;
    if (!dd) return nullptr;
    ModeList list{depth, nullptr, 0, false};
    dd->EnumDisplayModes(DDEDM_STANDARDVGAMODES, nullptr, &list, collect_mode);
    dd->Release();
    if (count) *count = list.count;
    return list.modes;
}

}  // namespace

const GfxDriver directx_driver = {
    "DirectX",
    dx_init,
    window_driver_exit,
    window::shared_lock,
    window::shared_unlock,
    window::shared_set_palette,
    dx_wait_vsync,
    window::shared_get_mouse,
    window::shared_set_mouse,
    window::shared_set_title,
    window::shared_set_pos,
    dx_fetch_modes,
    nullptr,
    nullptr,
};

}  // namespace gfx::win32
