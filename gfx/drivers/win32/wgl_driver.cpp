// The "OpenGL" driver on WGL: for screens opened with the opengl flag only.
// The program draws with OpenGL itself; the driver creates the window,
// chooses a pixel format with the requested buffer sizes, creates and binds
// the rendering context, swaps buffers on flip and handles the window's
// messages on the program's thread in poll_events. opengl32.dll is loaded
// when such a screen opens.
#include <windows.h>
#include <GL/gl.h>
#include <GL/wglext.h>

#include <algorithm>
#include <string>
#include <vector>

#include "gfx/drivers/win32/display_mode.h"
#include "gfx/drivers/win32/win32_drivers.h"
#include "gfx/drivers/win32/win32_libs.h"
#include "gfx/drivers/win32/win32_window.h"
#include "gfx/drivers/window/gl_buffer_sizes.h"
#include "gfx/drivers/window/window_host.h"

namespace gfx::win32 {
namespace {

#ifndef GL_MULTISAMPLE
#define GL_MULTISAMPLE 0x809D
#endif

struct WglApi {
    decltype(&wglCreateContext) create_context = nullptr;
    decltype(&wglMakeCurrent) make_current = nullptr;
    decltype(&wglDeleteContext) delete_context = nullptr;
    decltype(&wglGetProcAddress) get_proc_address = nullptr;
    PFNWGLCHOOSEPIXELFORMATARBPROC choose_pixel_format = nullptr;
};

// The OpenGL functions the driver loads by name; all must be there.
struct GlFunctions {
    decltype(&glEnable) enable;
    decltype(&glDisable) disable;
    decltype(&glGetString) get_string;
    decltype(&glViewport) viewport;
    decltype(&glMatrixMode) matrix_mode;
    decltype(&glLoadIdentity) load_identity;
    decltype(&glOrtho) ortho;
    decltype(&glShadeModel) shade_model;
    decltype(&glDepthMask) depth_mask;
    decltype(&glClearColor) clear_color;
    decltype(&glClear) clear;
    decltype(&glGenTextures) gen_textures;
    decltype(&glDeleteTextures) delete_textures;
    decltype(&glBindTexture) bind_texture;
    decltype(&glTexImage2D) tex_image_2d;
};

struct GlState {
    Library lib;
    WglApi wgl;
    GlFunctions gl{};
    HDC dc = nullptr;
    HGLRC context = nullptr;
};
GlState g_gl;
// Requested buffer sizes: nothing in the program sets them, so the defaults
// the first start fills in stay for later ones.
window::BufferSizes g_sizes{};

window::WindowState& state() { return window::WindowHost::instance().state(); }

bool load_gl_functions(GlFunctions& gl) {
    auto get = [](auto& member, const char* name) {
        member = g_gl.lib.proc<std::remove_reference_t<decltype(member)>>(name);
        return member != nullptr;
    };
    return get(gl.enable, "glEnable") && get(gl.disable, "glDisable") && get(gl.get_string, "glGetString") &&
           get(gl.viewport, "glViewport") && get(gl.matrix_mode, "glMatrixMode") &&
           get(gl.load_identity, "glLoadIdentity") && get(gl.ortho, "glOrtho") &&
           get(gl.shade_model, "glShadeModel") && get(gl.depth_mask, "glDepthMask") &&
           get(gl.clear_color, "glClearColor") && get(gl.clear, "glClear") &&
           get(gl.gen_textures, "glGenTextures") && get(gl.delete_textures, "glDeleteTextures") &&
           get(gl.bind_texture, "glBindTexture") && get(gl.tex_image_2d, "glTexImage2D");
}

PIXELFORMATDESCRIPTOR basic_descriptor() {
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cDepthBits = 32;
    return pfd;
}

// Probes the implementation with a context on a small temporary window:
// loads the OpenGL functions, reads the GL and WGL extension lists (which
// must name GL_EXT_bgra) and looks up wglChoosePixelFormatARB.
bool probe(Win32Window& win) {
    HWND probe_window = win.create_other("OpenGL setup", WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 8, 8);
    if (!probe_window) return false;
    HDC dc = GetDC(probe_window);
    const PIXELFORMATDESCRIPTOR pfd = basic_descriptor();
    const int format = ChoosePixelFormat(dc, &pfd);
    HGLRC context = nullptr;
    bool ok = format != 0 && SetPixelFormat(dc, format, &pfd) && (context = g_gl.wgl.create_context(dc)) != nullptr &&
              g_gl.wgl.make_current(dc, context);
    if (ok) {
        using ExtArb = const char*(WINAPI*)(HDC);
        using ExtExt = const char*(WINAPI*)();
        auto wgl_proc = [](const char* name) {
            return reinterpret_cast<void (*)()>(g_gl.wgl.get_proc_address(name));
        };
        const char* wgl_ext = nullptr;
        if (auto arb = reinterpret_cast<ExtArb>(wgl_proc("wglGetExtensionsStringARB")))
            wgl_ext = arb(dc);
        else if (auto ext = reinterpret_cast<ExtExt>(wgl_proc("wglGetExtensionsStringEXT")))
            wgl_ext = ext();
        ok = load_gl_functions(g_gl.gl);
        if (ok) {
            // The GL list directly followed by the WGL list, at most 0x3FFF
            // characters in all.
            const auto* gl_ext = reinterpret_cast<const char*>(g_gl.gl.get_string(GL_EXTENSIONS));
            std::string list = std::string(gl_ext ? gl_ext : "") + (wgl_ext ? wgl_ext : "");
            if (list.size() > 0x3FFF) list.resize(0x3FFF);
            ok = window::has_extension(list, "GL_EXT_bgra");
            if (ok && window::has_extension(list, "WGL_ARB_pixel_format"))
                g_gl.wgl.choose_pixel_format =
                    reinterpret_cast<PFNWGLCHOOSEPIXELFORMATARBPROC>(wgl_proc("wglChoosePixelFormatARB"));
        }
    }
    if (context) {
        g_gl.wgl.make_current(nullptr, nullptr);
        g_gl.wgl.delete_context(context);
    }
    ReleaseDC(probe_window, dc);
    DestroyWindow(probe_window);
    return ok;
}

// The attribute list for wglChoosePixelFormatARB with the given samples.
std::vector<int> attributes(const window::BufferSizes& s, int samples) {
    std::vector<int> a = {WGL_DRAW_TO_WINDOW_ARB, 1, WGL_ACCELERATION_ARB, WGL_FULL_ACCELERATION_ARB,
                          WGL_DOUBLE_BUFFER_ARB, 1,
                          WGL_COLOR_BITS_ARB, s.colour, WGL_RED_BITS_ARB, s.red, WGL_GREEN_BITS_ARB, s.green,
                          WGL_BLUE_BITS_ARB, s.blue, WGL_ALPHA_BITS_ARB, s.alpha, WGL_DEPTH_BITS_ARB, s.depth};
    if (s.accum)
        a.insert(a.end(), {WGL_ACCUM_BITS_ARB, s.accum, WGL_ACCUM_RED_BITS_ARB, s.accum_red, WGL_ACCUM_GREEN_BITS_ARB,
                           s.accum_green, WGL_ACCUM_BLUE_BITS_ARB, s.accum_blue, WGL_ACCUM_ALPHA_BITS_ARB,
                           s.accum_alpha});
    if (s.stencil) a.insert(a.end(), {WGL_STENCIL_BITS_ARB, s.stencil});
    if (samples) a.insert(a.end(), {WGL_SAMPLE_BUFFERS_ARB, 1, WGL_SAMPLES_ARB, samples});
    a.push_back(0);
    return a;
}

// The pixel format for the window: through the extension with the samples
// stepping down by 2 while none fits, else the plain choice.
int choose_format(HDC dc, PIXELFORMATDESCRIPTOR& pfd) {
    window::BufferSizes& s = g_sizes;
    pfd.cColorBits = BYTE(s.colour);
    pfd.cRedBits = BYTE(s.red);
    pfd.cGreenBits = BYTE(s.green);
    pfd.cBlueBits = BYTE(s.blue);
    pfd.cAlphaBits = BYTE(s.alpha);
    pfd.cDepthBits = BYTE(s.depth);
    pfd.cAccumBits = BYTE(s.accum);
    pfd.cAccumRedBits = BYTE(s.accum_red);
    pfd.cAccumGreenBits = BYTE(s.accum_green);
    pfd.cAccumBlueBits = BYTE(s.accum_blue);
    pfd.cAccumAlphaBits = BYTE(s.accum_alpha);
    pfd.cStencilBits = BYTE(s.stencil);
    if (g_gl.wgl.choose_pixel_format) {
        for (int samples = s.samples; samples >= 0; samples -= 2) {
            int format = 0;
            UINT found = 0;
            if (g_gl.wgl.choose_pixel_format(dc, attributes(s, samples).data(), nullptr, 1, &format, &found) &&
                found > 0) {
                s.samples = samples;
                return format;
            }
            if (s.samples == 0) break;
        }
    }
    s.samples = 0;
    return ChoosePixelFormat(dc, &pfd);
}

// The window-level init: the window's style, size and place for the
// current flags (display mode changed full-screen), shown and active.
bool gl_window_style() {
    Win32Window& win = Win32Window::instance();
    window::WindowState& st = state();
    HWND hwnd = win.handle();
    const DWORD frame = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    auto style = DWORD(GetWindowLongA(hwnd, GWL_STYLE));
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED | SWP_NOOWNERZORDER | SWP_NOSENDCHANGING;
    const bool full = (st.flags & window::kFullscreen) != 0;
    if (full) {
        if (!set_display_mode(st)) return false;
        style = (style & ~frame) | WS_POPUP;
        flags = SWP_FRAMECHANGED;
    } else if (st.flags & window::kNoFrame) {
        style = (style & ~frame) | WS_POPUP;
    } else {
        style = (style & ~(WS_POPUP | WS_THICKFRAME)) | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
        if (!(st.flags & window::kNoSwitch)) style |= WS_MAXIMIZEBOX;
    }
    SetWindowLongA(hwnd, GWL_STYLE, LONG(style));
    int x = 0, y = 0;
    SIZE size{st.w, st.h};
    if (!full) {
        size = Win32Window::outer_size(style, st.w, st.h);
        x = (GetSystemMetrics(SM_CXSCREEN) - size.cx) >> 1;
        y = (GetSystemMetrics(SM_CYSCREEN) - size.cy) >> 1;
    }
    SetWindowPos(hwnd, nullptr, x, y, size.cx, size.cy, flags);
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    st.active = true;
    if (GfxContext* ctx = gfx_context()) {
        HDC dc = GetDC(hwnd);
        ctx->refresh_rate = GetDeviceCaps(dc, VREFRESH);
        ReleaseDC(hwnd, dc);
    }
    return true;
}

// The window-level exit: the display mode back, the window hidden.
void gl_window_hide() {
    if (state().flags & window::kFullscreen) restore_desktop_mode();
    ShowWindow(Win32Window::instance().handle(), SW_HIDE);
}

void gl_exit() {
    Win32Window& win = Win32Window::instance();
    if (g_gl.lib) {
        if (g_gl.context) {
            g_gl.wgl.make_current(nullptr, nullptr);
            g_gl.wgl.delete_context(g_gl.context);
        }
        if (g_gl.dc) ReleaseDC(win.handle(), g_gl.dc);
        if (win.handle() && (state().flags & window::kFullscreen)) restore_desktop_mode();
        window::WindowHost::instance().attach(nullptr);
        win.destroy();
    }
    g_gl = GlState{};
    window_driver_exit();
}

int32_t gl_init(const char* title, int32_t w, int32_t h, int32_t depth, int32_t refresh, int32_t flags) {
    window::WindowHost& host = window::WindowHost::instance();
    host.reset(title, w, h, std::max(depth, 8), refresh, uint32_t(flags));
    g_gl = GlState{};
    if (!(flags & window::kOpenGL)) return -1;
    g_gl.lib = Library("opengl32.dll");
    g_gl.wgl.create_context = g_gl.lib.proc<decltype(&wglCreateContext)>("wglCreateContext");
    g_gl.wgl.make_current = g_gl.lib.proc<decltype(&wglMakeCurrent)>("wglMakeCurrent");
    g_gl.wgl.delete_context = g_gl.lib.proc<decltype(&wglDeleteContext)>("wglDeleteContext");
    g_gl.wgl.get_proc_address = g_gl.lib.proc<decltype(&wglGetProcAddress)>("wglGetProcAddress");
    if (!g_gl.wgl.create_context || !g_gl.wgl.make_current || !g_gl.wgl.delete_context || !g_gl.wgl.get_proc_address) {
        g_gl = GlState{};
        return -1;
    }
    Win32Window& win = Win32Window::instance();
    window::WindowState& st = host.state();
    if (!win.setup(st, {gl_window_style, gl_window_hide, [] {}}, false) || host.start({}) != 0) return -1;
    // From here on gl_exit undoes whatever was done.
    auto fail = [] {
        gl_exit();
        return -1;
    };
    if (!probe(win)) return fail();
    if (!win.create(WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 0, 8, 8) || !gl_window_style()) return fail();
    const GfxContext* ctx = gfx_context();
    window::fill_unrequested(g_sizes, ctx ? ctx->depth : 32, st.flags);
    g_gl.dc = GetDC(win.handle());
    PIXELFORMATDESCRIPTOR pfd = basic_descriptor();
    const int format = choose_format(g_gl.dc, pfd);
    if (format == 0 || !SetPixelFormat(g_gl.dc, format, &pfd)) return fail();
    g_gl.context = g_gl.wgl.create_context(g_gl.dc);
    if (!g_gl.context || !g_gl.wgl.make_current(g_gl.dc, g_gl.context)) return fail();
    if (g_sizes.samples > 0) g_gl.gl.enable(GL_MULTISAMPLE);
    host.attach(&win);
    return 0;
}

void gl_flip() {
    if (g_gl.dc) SwapBuffers(g_gl.dc);
}

void gl_poll_events() {
    Win32Window& win = Win32Window::instance();
    if (!win.handle()) return;
    if (state().active) win.refresh_key_states();
    win.pump();
}

int32_t* gl_fetch_modes(int32_t depth, int32_t* count) { return display_modes(depth, count, false); }

}  // namespace

const GfxDriver gl_driver = {
    "OpenGL",
    gl_init,
    gl_exit,
    nullptr,
    nullptr,
    nullptr,
    window::shared_wait_vsync,
    window::shared_get_mouse,
    window::shared_set_mouse,
    window::shared_set_title,
    window::shared_set_pos,
    gl_fetch_modes,
    gl_flip,
    gl_poll_events,
};

}  // namespace gfx::win32
