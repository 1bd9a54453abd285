// The graphics context and the screen set-up: opening, re-opening and
// closing a graphics screen, the driver search and the exit handler.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <semaphore>
#include <string>

#include "gfx/core/context_internal.h"
#include "gfx/core/page_memory.h"
#include "gfx/core/pixel_routines.h"
#include "gfx/gfx.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace gfx {
namespace {

GfxContext* g_ctx = nullptr;
int32_t g_mode_serial = 1;
char g_title_buf[128];
const char* g_title = nullptr;
void* g_blit_lookup = nullptr;
bool g_exit_handler_registered = false;
int g_alloc_fail_countdown = 0;

constexpr int32_t kMaxPageBytes = 0x7FFFFFFF;  // row offsets stay 32-bit

// Allocation used by the set-up; honours the failure countdown of tests.
void* alloc_zeroed(std::size_t bytes) {
    if (g_alloc_fail_countdown > 0 && --g_alloc_fail_countdown == 0) return nullptr;
    return std::calloc(1, bytes == 0 ? 1 : bytes);
}

using Semaphore = std::binary_semaphore;

std::size_t page_block_bytes(const GfxContext* ctx, int32_t pages) {
    return std::size_t(ctx->pitch) * std::size_t(ctx->h) * std::size_t(pages);
}

void close_context() {
    GfxContext* ctx = g_ctx;
    if (ctx) {
        if (ctx->driver && ctx->driver->exit) ctx->driver->exit();
        free_text_cells(ctx);
        if (ctx->pages) {
            // All pages live in one block that starts with page 0.
            if (ctx->page_count > 0) free_page_block(ctx->pages[0], page_block_bytes(ctx, ctx->page_count));
            std::free(ctx->pages);
        }
        std::free(ctx->device_palette);
        std::free(ctx->palette);
        std::free(ctx->color_association);
        std::free(ctx->dirty);
        std::free(ctx->key_state);
        std::free(ctx->event_queue);
        delete static_cast<Semaphore*>(ctx->event_lock);
        std::free(ctx);
        g_ctx = nullptr;
    }
    std::free(g_blit_lookup);
    g_blit_lookup = nullptr;
}

// Allocates pages and tables of a new context; false when memory ran out.
bool allocate_buffers(GfxContext* ctx, int32_t pages) {
    ctx->pages = static_cast<uint8_t**>(alloc_zeroed(sizeof(uint8_t*) * std::size_t(pages)));
    if (!ctx->pages) return false;
    if (g_alloc_fail_countdown > 0 && --g_alloc_fail_countdown == 0) return false;
    uint8_t* block = alloc_page_block(page_block_bytes(ctx, pages));
    if (!block) return false;
    const std::size_t page_bytes = std::size_t(ctx->pitch) * std::size_t(ctx->h);
    for (int32_t i = 0; i < pages; ++i) ctx->pages[i] = block + std::size_t(i) * page_bytes;
    ctx->page_count = pages;  // what close_context must free
    ctx->framebuffer = ctx->pages[0];
    ctx->dirty = static_cast<uint8_t*>(alloc_zeroed(std::size_t(ctx->h) * std::size_t(ctx->scanline_size)));
    ctx->device_palette = static_cast<uint32_t*>(alloc_zeroed(256 * sizeof(uint32_t)));
    ctx->palette = static_cast<uint32_t*>(alloc_zeroed(256 * sizeof(uint32_t)));
    ctx->key_state = static_cast<uint8_t*>(alloc_zeroed(128));
    ctx->color_association = static_cast<uint8_t*>(alloc_zeroed(16));
    ctx->event_queue = static_cast<GfxEvent*>(alloc_zeroed(GFX_EVENT_QUEUE_SIZE * sizeof(GfxEvent)));
    if (!ctx->dirty || !ctx->device_palette || !ctx->palette || !ctx->key_state ||
        !ctx->color_association || !ctx->event_queue)
        return false;
    if (g_alloc_fail_countdown > 0 && --g_alloc_fail_countdown == 0) return false;
    ctx->event_lock = new (std::nothrow) Semaphore(1);
    if (!ctx->event_lock) return false;
    g_blit_lookup = alloc_zeroed(2048);
    return g_blit_lookup != nullptr;
}

// The program's file name without directory and extension.
void set_title_from_program() {
    std::string path;
#if defined(_WIN32)
    char buf[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    path.assign(buf, n);
    std::size_t slash = path.find_last_of("\\/");
#else
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) path.assign(buf, std::size_t(n));
    // Without a program file (the browser): the name the program was
    // started by.
    if (path.empty() && program_invocation_short_name) path = program_invocation_short_name;
    std::size_t slash = path.find_last_of('/');
#endif
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() > 127) name.resize(127);
    std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.resize(dot);
    std::memcpy(g_title_buf, name.c_str(), name.size() + 1);
    g_title = g_title_buf;
}

bool equals_ignore_case(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

// The driver search: passes over the list, each driver twice (caller's
// refresh, then 0). Returns the driver whose init succeeded, or null.
const GfxDriver* choose_driver(GfxContext* ctx, const char* name, int32_t refresh, int32_t flags) {
    auto drivers = driver_list();
    const int passes = name ? 4 : 2;
    for (int pass = 0; pass < passes; ++pass) {
        const bool named_only = name && (pass == 0 || pass == 2);
        for (const GfxDriver* d : drivers) {
            if (!d || !d->init) continue;
            if (named_only && !(d->name && equals_ignore_case(d->name, name))) continue;
            for (int attempt = 0; attempt < 2; ++attempt) {
                int32_t r = attempt == 0 ? refresh : 0;
                if (d->init(g_title ? g_title : "", ctx->w, ctx->h * ctx->scanline_size, ctx->depth, r,
                            flags) == 0)
                    return d;
                if (d->exit) d->exit();
            }
        }
        // Without a name the second pass tries the other of windowed and
        // full-screen; with a name only the fourth does.
        if (name ? pass == 2 : true) flags ^= GFX_FULLSCREEN;
    }
    return nullptr;
}

void exit_handler_trampoline() { gfx_screen_exit_handler(); }

}  // namespace

GfxContext* context() { return g_ctx; }

void* blit_lookup() { return g_blit_lookup; }

const GfxDriver null_driver = {
    "Null",  nullptr,
    nullptr, [] {},
    [] {},   nullptr,
    nullptr, nullptr,
    nullptr, nullptr,
    nullptr, nullptr,
    nullptr, nullptr,
};

void set_alloc_failure_countdown(int n) { g_alloc_fail_countdown = n; }

}  // namespace gfx

using gfx::g_ctx;

extern "C" {

GfxContext* gfx_context(void) { return gfx::g_ctx; }

int32_t gfx_get_error(void) { return rt_get_error(); }

int32_t gfx_set_mode(const GfxModeInfo* info, int32_t mode_num, int32_t depth, int32_t pages,
                     int32_t refresh, int32_t flags) {
    using namespace gfx;
    if (pages < 1) pages = 1;
    if (flags >= 0 && (flags & GFX_SHAPED)) flags |= GFX_NO_FRAME | GFX_NO_SWITCH;

    close_context();

    const bool opening = mode_num != 0 && info && info->w != 0;
    if (opening) {
        g_ctx = static_cast<GfxContext*>(alloc_zeroed(sizeof(GfxContext)));
    }
    if (!opening || !g_ctx) {
        rt_hooks_install(nullptr);
        if (flags != GFX_CLOSE_AT_EXIT) {
            gfx_width(80, 25);
            gfx_cls(RT_CLS_DEFAULT);
        }
        rt_set_text_view(-1, -1);
        if (opening) return rt_set_error(RT_ERR_ARGUMENT);  // the record itself could not be had
    }

    if (GfxContext* ctx = g_ctx) {
        auto fail = [&] {
            close_context();
            rt_hooks_install(nullptr);
            return rt_set_error(RT_ERR_ARGUMENT);
        };
        rt_hooks_install(&graphics_hooks());
        ctx->id = g_mode_serial++;
        ctx->mode_num = mode_num;
        ctx->w = info->w;
        ctx->h = info->h;

        int32_t d = info->depth;
        if (mode_num > 13 && (depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32))
            d = depth;
        if (flags >= 0 && (flags & GFX_OPENGL) && d < 16) d = 16;
        ctx->default_palette = info->palette;
        ctx->scanline_size = info->scanline_size ? info->scanline_size : 1;
        ctx->font = info->font;
        if (d == 15 || d == 16) {
            d = 16;
            ctx->color_mask = 0xFFFF;
        } else if (d == 24 || d == 32) {
            d = 32;
            ctx->color_mask = 0xFFFFFFFF;
        } else {
            ctx->color_mask = (1u << d) - 1;
        }
        ctx->depth = d;
        ctx->bpp = (d + 7) / 8;
        const int64_t pitch = int64_t(ctx->w) * ctx->bpp;
        if (pitch * ctx->h > kMaxPageBytes) return fail();
        ctx->pitch = int32_t(pitch);

        if (!allocate_buffers(ctx, pages)) return fail();

        if (flags != -1) {
            if (flags & GFX_ALPHA_BLEND) ctx->flags |= GFX_ALPHA_PRIMITIVES;
            if (flags & GFX_OPENGL) ctx->flags |= GFX_OPENGL_REQUESTED;
        }
        gfx_select_depth_routines(ctx->bpp);
        gfx_decode_builtin_data();

        if (!g_title) set_title_from_program();

        const char* name = std::getenv("ZRGFX");
        const GfxDriver* driver = nullptr;
        if (flags == -1 || (name && equals_ignore_case(name, "null"))) {
            driver = &null_driver;
        } else {
            driver = choose_driver(ctx, name, refresh, flags);
            if (!driver) {
                gfx_set_mode(nullptr, 0, 0, 0, 0, GFX_CLOSE_AT_EXIT);
                return rt_set_error(RT_ERR_ARGUMENT);
            }
        }
        ctx->driver = driver;
        gfx_palette_set(-1, 0, 0, 0);
        ctx->text_w = info->text_w;
        ctx->text_h = info->text_h;

        GfxDrawState* state = gfx_get_draw_state();
        if (!state || !state->line) return fail();
        if (!alloc_text_cells(ctx, state->work_page, state->fg_color, state->bg_color)) return fail();

        // A driver thread may already be showing the visible page: clear
        // the pages under the screen lock and show the result.
        gfx_lock();
        for (int32_t p = 0; p < ctx->page_count; ++p)
            for (int32_t y = 0; y < ctx->h; ++y)
                state->pixel_set(ctx->pages[p] + std::size_t(y) * std::size_t(ctx->pitch), state->bg_color,
                                 state->view_w);
        std::memset(ctx->dirty, 1, std::size_t(ctx->h) * std::size_t(ctx->scanline_size));
        gfx_unlock();

        if (!g_exit_handler_registered) {
            std::atexit(exit_handler_trampoline);
            g_exit_handler_registered = true;
        }
    }

    if (flags != GFX_CLOSE_AT_EXIT) {
        rt_set_text_view(-1, -1);
        if (g_ctx) {
            g_ctx->cursor_x = 0;
            g_ctx->cursor_y = 0;
            g_ctx->flags &= ~GFX_PRINT_WRAP_PENDING;
            rt_set_print_column(0);
        }
    }
    return rt_set_error(RT_OK);
}

int32_t gfx_screen_set(int32_t mode, int32_t depth, int32_t pages, int32_t flags, int32_t refresh) {
    const GfxModeInfo* info = nullptr;
    if (mode != 0) {
        info = gfx_mode_info(mode);
        if (!info) return rt_set_error(RT_ERR_ARGUMENT);
    }
    int32_t r = gfx_set_mode(info, mode, depth, pages, refresh, flags);
    if (r == 0) rt_set_print_column(0);
    return r;
}

int32_t gfx_screen_set_size(int32_t w, int32_t h, int32_t depth, int32_t pages, int32_t flags,
                            int32_t refresh) {
    // The mode record holds 16-bit sizes: larger ones cannot be described.
    if (w <= 0 || h <= 0 || w > 0xFFFF || h > 0xFFFF) return rt_set_error(RT_ERR_ARGUMENT);
    switch (depth) {
        case 1: case 2: case 4: case 8: case 15: case 16: case 24: case 32: break;
        default: return rt_set_error(RT_ERR_ARGUMENT);
    }
    gfx_decode_builtin_data();
    GfxModeInfo info{};
    info.w = uint16_t(w);
    info.h = uint16_t(h);
    info.depth = uint8_t(depth);
    info.scanline_size = 1;
    info.palette = gfx_builtin_palette(0);
    info.font = gfx_builtin_font(2);
    // Text sizes are 8-bit: wider screens keep 255 columns or rows.
    info.text_w = uint8_t(std::min(w / 8, 255));
    info.text_h = uint8_t(std::min(h / 8, 255));
    int32_t r = gfx_set_mode(&info, -1, depth, pages, refresh, flags);
    if (r == 0) rt_set_print_column(0);
    return r;
}

int32_t gfx_screen_set_pages(int32_t mode, int32_t work, int32_t visible) {
    int32_t r = gfx_screen_set(mode, 0, 0, 0, 0);
    if (r != 0) return r;
    if (work == 0 && visible == 0) return 0;
    if (work > 4 || visible > 4) return -1;
    return gfx_page_set(work, visible);
}

void gfx_screen_exit_handler(void) {
    if (g_ctx) gfx_set_mode(nullptr, 0, 0, 0, 0, GFX_CLOSE_AT_EXIT);
}

void gfx_set_window_title(RuntimeString* title) {
    int32_t n = std::min(rt_str_len(title), 127);
    if (n > 0) std::memcpy(gfx::g_title_buf, title->data, std::size_t(n));
    gfx::g_title_buf[n] = 0;
    gfx::g_title = gfx::g_title_buf;
    if (g_ctx && g_ctx->driver && g_ctx->driver->set_window_title)
        g_ctx->driver->set_window_title(gfx::g_title);
    rt_str_release_temp(title);
}

const char* gfx_window_title(void) { return gfx::g_title; }

}  // extern "C"
