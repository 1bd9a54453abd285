// The "OpenGL" driver on GLX: for screens opened with the opengl flag only.
// The program draws with OpenGL itself; the driver opens the window with a
// frame-buffer configuration of the requested buffer sizes, creates and
// binds the context, swaps buffers on flip and handles the window's events
// on the program's thread in poll_events. libGL is loaded when the first
// such screen opens.
#include <GL/glx.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gfx/drivers/window/gl_buffer_sizes.h"
#include "gfx/drivers/window/window_host.h"
#include "gfx/drivers/x11/x11_drivers.h"
#include "gfx/drivers/x11/x11_libs.h"
#include "gfx/drivers/x11/x11_window.h"

namespace gfx::x11 {
namespace {

#ifndef GL_MULTISAMPLE
#define GL_MULTISAMPLE 0x809D
#endif

struct GlxApi {
    decltype(&glXQueryExtension) query_extension;
    decltype(&glXChooseFBConfig) choose_fb_config;
    decltype(&glXGetVisualFromFBConfig) visual_from_config;
    decltype(&glXCreateNewContext) create_context;
    decltype(&glXMakeContextCurrent) make_current;
    decltype(&glXDestroyContext) destroy_context;
    decltype(&glXSwapBuffers) swap_buffers;
    decltype(&glXQueryExtensionsString) extensions_string;
    decltype(&glXGetProcAddressARB) get_proc_address;
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

template <typename T>
bool load(void* lib, T& member, const char* name) {
    member = reinterpret_cast<T>(dlsym(lib, name));
    return member != nullptr;
}

const GlxApi* glx_api() {
    static const GlxApi* api = []() -> const GlxApi* {
        static const char* const names[] = {"libGL.so.1", "libGL.so"};
        void* lib = open_library(names, 2);
        if (!lib) return nullptr;
        static GlxApi a{};
        const bool ok = load(lib, a.query_extension, "glXQueryExtension") &&
                        load(lib, a.choose_fb_config, "glXChooseFBConfig") &&
                        load(lib, a.visual_from_config, "glXGetVisualFromFBConfig") &&
                        load(lib, a.create_context, "glXCreateNewContext") &&
                        load(lib, a.make_current, "glXMakeContextCurrent") &&
                        load(lib, a.destroy_context, "glXDestroyContext") &&
                        load(lib, a.swap_buffers, "glXSwapBuffers") &&
                        load(lib, a.extensions_string, "glXQueryExtensionsString") &&
                        load(lib, a.get_proc_address, "glXGetProcAddressARB");
        return ok ? &a : nullptr;
    }();
    return api;
}

// Requested buffer sizes: nothing in the program sets them, so the
// defaults the first start fills in stay for later ones.
window::BufferSizes g_sizes{};

// The open screen's GLX objects.
struct GlState {
    std::unique_ptr<X11Window> window;
    GLXFBConfig config = nullptr;
    GLXContext context = nullptr;
    GlFunctions gl{};
};
GlState g_gl;

// The attribute list for glXChooseFBConfig: window, double-buffered,
// accelerated (no caveat) RGBA with the sizes, samples when not 0.
std::vector<int> attributes(const window::BufferSizes& s, int samples, bool accelerated) {
    std::vector<int> a = {GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT, GLX_RENDER_TYPE, GLX_RGBA_BIT,
                          GLX_X_RENDERABLE,  True,           GLX_DOUBLEBUFFER, True};
    if (accelerated) a.insert(a.end(), {GLX_CONFIG_CAVEAT, GLX_NONE});
    a.insert(a.end(), {GLX_BUFFER_SIZE, s.colour, GLX_RED_SIZE, s.red, GLX_GREEN_SIZE, s.green, GLX_BLUE_SIZE, s.blue,
                       GLX_ALPHA_SIZE, s.alpha, GLX_DEPTH_SIZE, s.depth});
    if (s.accum) a.insert(a.end(), {GLX_ACCUM_RED_SIZE, s.accum_red, GLX_ACCUM_GREEN_SIZE, s.accum_green,
                                    GLX_ACCUM_BLUE_SIZE, s.accum_blue, GLX_ACCUM_ALPHA_SIZE, s.accum_alpha});
    if (s.stencil) a.insert(a.end(), {GLX_STENCIL_SIZE, s.stencil});
    if (samples) a.insert(a.end(), {GLX_SAMPLE_BUFFERS, 1, GLX_SAMPLES, samples});
    a.push_back(None);
    return a;
}

GLXFBConfig first_config(Display* d, const std::vector<int>& attrs) {
    int n = 0;
    GLXFBConfig* configs = glx_api()->choose_fb_config(d, DefaultScreen(d), attrs.data(), &n);
    GLXFBConfig c = configs && n > 0 ? configs[0] : nullptr;
    if (configs) XFree(configs);
    return c;
}

// Probes the OpenGL implementation with a small context on a temporary
// window: loads the OpenGL functions and reads the extension list, which
// must name GL_EXT_bgra.
bool probe(Display* d, GlFunctions& gl) {
    const GlxApi& glx = *glx_api();
    const int basic[] = {GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT, GLX_RENDER_TYPE, GLX_RGBA_BIT, GLX_DOUBLEBUFFER, True,
                         None};
    GLXFBConfig config = first_config(d, std::vector<int>(std::begin(basic), std::end(basic)));
    if (!config) return false;
    XVisualInfo* vi = glx.visual_from_config(d, config);
    if (!vi) return false;
    XSetWindowAttributes attrs{};
    attrs.colormap = XCreateColormap(d, DefaultRootWindow(d), vi->visual, AllocNone);
    ::Window probe_window = XCreateWindow(d, DefaultRootWindow(d), 0, 0, 8, 8, 0, vi->depth, InputOutput,
                                          vi->visual, CWColormap, &attrs);
    XFree(vi);
    GLXContext context = glx.create_context(d, config, GLX_RGBA_TYPE, nullptr, True);
    bool ok = context && glx.make_current(d, probe_window, probe_window, context);
    if (ok) {
        auto proc = [&](const char* name) { return glx.get_proc_address(reinterpret_cast<const GLubyte*>(name)); };
        auto get = [&](auto& member, const char* name) {
            member = reinterpret_cast<std::remove_reference_t<decltype(member)>>(proc(name));
            return member != nullptr;
        };
        ok = get(gl.enable, "glEnable") && get(gl.disable, "glDisable") && get(gl.get_string, "glGetString") &&
             get(gl.viewport, "glViewport") && get(gl.matrix_mode, "glMatrixMode") &&
             get(gl.load_identity, "glLoadIdentity") && get(gl.ortho, "glOrtho") &&
             get(gl.shade_model, "glShadeModel") && get(gl.depth_mask, "glDepthMask") &&
             get(gl.clear_color, "glClearColor") && get(gl.clear, "glClear") &&
             get(gl.gen_textures, "glGenTextures") && get(gl.delete_textures, "glDeleteTextures") &&
             get(gl.bind_texture, "glBindTexture") && get(gl.tex_image_2d, "glTexImage2D");
        if (ok) {
            // The GL list directly followed by the GLX list, at most 0x3FFF
            // characters in all.
            const auto* gl_ext = reinterpret_cast<const char*>(gl.get_string(GL_EXTENSIONS));
            const char* glx_ext = glx.extensions_string(d, DefaultScreen(d));
            std::string list = std::string(gl_ext ? gl_ext : "") + (glx_ext ? glx_ext : "");
            if (list.size() > 0x3FFF) list.resize(0x3FFF);
            ok = window::has_extension(list, "GL_EXT_bgra");
        }
        glx.make_current(d, None, None, nullptr);
    }
    if (context) glx.destroy_context(d, context);
    XDestroyWindow(d, probe_window);
    XFreeColormap(d, attrs.colormap);
    return ok;
}

// Chooses the frame-buffer configuration for the screen: samples step down
// by 2 while none fits; then a plain request without acceleration and
// samples.
bool choose_config(Display* d, XVisualInfo* out, uint32_t flags) {
    int glx_error = 0, glx_event = 0;
    if (!glx_api()->query_extension(d, &glx_error, &glx_event)) return false;
    if (!probe(d, g_gl.gl)) return false;
    const GfxContext* ctx = gfx_context();
    window::fill_unrequested(g_sizes, ctx ? ctx->depth : 32, flags);
    GLXFBConfig config = nullptr;
    int samples = g_sizes.samples;
    for (; samples >= 0 && !config; samples -= 2) {
        config = first_config(d, attributes(g_sizes, samples, true));
        if (config || g_sizes.samples == 0) break;
    }
    if (!config) {
        samples = 0;
        config = first_config(d, attributes(g_sizes, 0, false));
    }
    if (!config) return false;
    g_sizes.samples = std::max(samples, 0);
    XVisualInfo* vi = glx_api()->visual_from_config(d, config);
    if (!vi) return false;
    *out = *vi;
    XFree(vi);
    g_gl.config = config;
    return true;
}

void gl_exit() {
    if (g_gl.window) {
        Display* d = g_gl.window->display();
        if (g_gl.context) {
            glx_api()->make_current(d, None, None, nullptr);
            glx_api()->destroy_context(d, g_gl.context);
        }
        window::WindowHost::instance().attach(nullptr);
        g_gl.window.reset();
    }
    g_gl.context = nullptr;
    g_gl.config = nullptr;
    window::shared_exit();
}

int32_t gl_init(const char* title, int32_t w, int32_t h, int32_t depth, int32_t refresh, int32_t flags) {
    window::WindowHost& host = window::WindowHost::instance();
    host.reset(title, w, h, depth < 8 ? 8 : depth, refresh, uint32_t(flags));
    g_gl = GlState{};
    if (!(flags & window::kOpenGL) || !glx_api()) return -1;
    init_xlib_threads();
    if (host.start({}) != 0) return -1;
    window::WindowState& st = host.state();
    g_gl.window = X11Window::open(st, [&](Display* d, XVisualInfo* vi) { return choose_config(d, vi, st.flags); });
    if (!g_gl.window) return -1;
    Display* d = g_gl.window->display();
    g_gl.context = glx_api()->create_context(d, g_gl.config, GLX_RGBA_TYPE, nullptr, True);
    if (!g_gl.context || !glx_api()->make_current(d, g_gl.window->handle(), g_gl.window->handle(), g_gl.context))
        return -1;
    if (g_sizes.samples > 0) g_gl.gl.enable(GL_MULTISAMPLE);
    if (GfxContext* ctx = gfx_context()) ctx->refresh_rate = refresh_rate(d, DefaultRootWindow(d));
    g_gl.window->finish_setup();
    host.attach(g_gl.window.get());
    st.active = true;
    return 0;
}

void gl_flip() {
    window::WindowHost::instance().end_if_connection_lost();
    if (g_gl.window) glx_api()->swap_buffers(g_gl.window->display(), g_gl.window->handle());
}

void gl_poll_events() {
    window::WindowHost& host = window::WindowHost::instance();
    host.end_if_connection_lost();
    if (!g_gl.window) return;
    if (host.state().active) host.core().refresh_key_states(g_gl.window->keys_down());
    g_gl.window->apply_requests();
    g_gl.window->pump();
}

int32_t* gl_fetch_modes(int32_t depth, int32_t* count) { return fetch_modes(depth, count, false); }

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

}  // namespace gfx::x11
