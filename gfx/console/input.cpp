// The key queue and the event queue, and the graphics versions of the key,
// mouse and sleep services.
//
// Producers (the driver thread's window procedure) post keys while they hold
// the window lock; the program's thread reads them inside the screen lock.
// The ring has its own mutex as well, so it stays consistent when a driver
// without a real lock (the null driver) is paired with a posting thread.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <semaphore>

#include "gfx/console/input_internal.h"
#include "gfx/core/context_internal.h"

static_assert(sizeof(GfxEvent) == 20, "event records are 20 bytes");
static_assert((GFX_EVENT_QUEUE_SIZE & (GFX_EVENT_QUEUE_SIZE - 1)) == 0, "event ring wraps by mask");

namespace gfx {
namespace {

constexpr int32_t kKeyMask = 15;
constexpr int32_t kEventMask = GFX_EVENT_QUEUE_SIZE - 1;

std::mutex g_key_mutex;
GfxKeyQueue g_keys{};  // lives for the whole process, never reset

// Second byte of the text of codes 256..276 (older extended-key numbering);
// anything above reads as the last entry.
constexpr uint8_t kNumberedKeys[21] = {
    0x6B,                                            // 256 close
    0x48, 0x50, 0x4B, 0x4D,                          // up, down, left, right
    0x52, 0x53, 0x47, 0x4F, 0x49, 0x51,              // insert, delete, home, end, page up/down
    0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44,  // F1..F10
};

constexpr int32_t kKeySleepStep = 50;   // key-cut sleeps test for a key this often
constexpr int32_t kKeyCutMinimum = 100;  // shorter sleeps are never cut
constexpr int32_t kGetkeyPause = 20;

void os_sleep(int32_t ms) { wait_for(ms); }

// Holds the event ring's one-count semaphore.
class EventLockGuard {
public:
    explicit EventLockGuard(void* lock) : sem_(static_cast<std::binary_semaphore*>(lock)) { sem_->acquire(); }
    ~EventLockGuard() { sem_->release(); }
    EventLockGuard(const EventLockGuard&) = delete;
    EventLockGuard& operator=(const EventLockGuard&) = delete;

private:
    std::binary_semaphore* sem_;
};

bool has_event_queue(const GfxContext* ctx) {
    return ctx != nullptr && ctx->event_queue != nullptr && ctx->event_lock != nullptr;
}

}  // namespace

GfxKeyQueue key_queue_snapshot() {
    std::lock_guard<std::mutex> guard(g_key_mutex);
    return g_keys;
}

RuntimeString* graphics_inkey() {
    if (!context()) return rt_str_temp(nullptr, 0);
    poll_point();
    const int32_t code = gfx_take_key();
    if (code == 0) return rt_str_temp(nullptr, 0);
    if (code <= 255) {
        const char c = static_cast<char>(static_cast<uint8_t>(code));
        return rt_str_temp(&c, 1);
    }
    char text[2];
    text[0] = static_cast<char>(0xFF);
    if ((code & 0xFF) == 0xFF)
        text[1] = static_cast<char>(static_cast<uint8_t>(code >> 8));
    else
        text[1] = static_cast<char>(kNumberedKeys[std::min(code - 256, 20)]);
    return rt_str_temp(text, 2);
}

int32_t graphics_getkey() {
    if (!context()) return 0;
    int32_t code;
    do {
        code = gfx_take_key();
        gfx_sleep(kGetkeyPause);  // through the runtime's sleep service
    } while (code == 0);
    return code;
}

int32_t graphics_keyhit() {
    poll_point();
    gfx_lock();
    int32_t r;
    {
        std::lock_guard<std::mutex> guard(g_key_mutex);
        r = g_keys.head != g_keys.tail ? 1 : 0;
    }
    gfx_unlock();
    return r;
}

int32_t graphics_multikey(int32_t scancode) {
    GfxContext* ctx = context();
    if (!ctx || !ctx->key_state || scancode < 0 || scancode > 127) return 0;
    poll_point();
    gfx_lock();
    const int32_t r = ctx->key_state[scancode] != 0 ? -1 : 0;
    gfx_unlock();
    return r;
}

int32_t graphics_get_mouse(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons, int32_t* clip) {
    int32_t scratch[5];
    if (!x) x = &scratch[0];
    if (!y) y = &scratch[1];
    if (!wheel) wheel = &scratch[2];
    if (!buttons) buttons = &scratch[3];
    if (!clip) clip = &scratch[4];
    GfxContext* ctx = context();
    if (ctx && ctx->driver && ctx->driver->get_mouse) {
        poll_point();
        gfx_lock();
        const int32_t r = ctx->driver->get_mouse(x, y, wheel, buttons, clip);
        gfx_unlock();
        if (r == 0) return rt_set_error(RT_OK);
    }
    *x = *y = *wheel = *buttons = *clip = -1;
    return rt_set_error(RT_ERR_ARGUMENT);
}

int32_t graphics_set_mouse(int32_t x, int32_t y, int32_t cursor, int32_t clip) {
    GfxContext* ctx = context();
    if (!ctx || !ctx->driver || !ctx->driver->set_mouse) return rt_set_error(RT_ERR_ARGUMENT);
    gfx_lock();
    ctx->driver->set_mouse(x, y, cursor, clip);
    gfx_unlock();
    return rt_set_error(RT_OK);
}

void graphics_sleep(int32_t ms) {
    if (ms == -1) {
        for (;;) {
            if (gfx_key_pressed()) return;
            os_sleep(kKeySleepStep);
        }
    }
    if (ms >= kKeyCutMinimum) {
        while (ms > kKeySleepStep) {
            if (gfx_key_pressed()) return;
            ms -= kKeySleepStep;
            os_sleep(kKeySleepStep);
        }
    }
    if (ms > 0) os_sleep(ms);
}

}  // namespace gfx

extern "C" {

int32_t gfx_post_key(int32_t code) {
    using gfx::g_keys;
    std::lock_guard<std::mutex> guard(gfx::g_key_mutex);
    g_keys.codes[g_keys.tail] = code;
    const int32_t t = (g_keys.tail + 1) & gfx::kKeyMask;
    if (t == g_keys.head) g_keys.head = (t + 1) & gfx::kKeyMask;  // full: the oldest is lost
    g_keys.tail = t;
    g_keys.key_pressed = 1;
    return 1;
}

int32_t gfx_take_key(void) {
    using gfx::g_keys;
    gfx_lock();
    int32_t code = 0;
    {
        // Taking the code and clearing the flag in one step, so that a key
        // posted right after is not forgotten by the next key-cut sleep.
        std::lock_guard<std::mutex> guard(gfx::g_key_mutex);
        if (g_keys.head != g_keys.tail) {
            code = g_keys.codes[g_keys.head];
            g_keys.head = (g_keys.head + 1) & gfx::kKeyMask;
        }
        g_keys.key_pressed = 0;
    }
    gfx_unlock();
    return code;
}

int32_t gfx_key_pressed(void) {
    gfx_lock();
    int32_t f;
    {
        std::lock_guard<std::mutex> guard(gfx::g_key_mutex);
        f = gfx::g_keys.key_pressed;
        gfx::g_keys.key_pressed = 0;
    }
    gfx_unlock();
    return f;
}

void gfx_post_event(const GfxEvent* event) {
    GfxContext* ctx = gfx_context();
    if (!event || !gfx::has_event_queue(ctx)) return;
    gfx::EventLockGuard guard(ctx->event_lock);
    std::memcpy(&ctx->event_queue[ctx->event_tail], event, sizeof(GfxEvent));
    const int32_t t = (ctx->event_tail + 1) & gfx::kEventMask;
    if (t == ctx->event_head) ctx->event_head = (t + 1) & gfx::kEventMask;  // full: drop the oldest
    ctx->event_tail = t;
}

int32_t gfx_take_event(GfxEvent* event) {
    GfxContext* ctx = gfx_context();
    if (!event || !gfx::has_event_queue(ctx)) return 0;
    gfx::EventLockGuard guard(ctx->event_lock);
    if (ctx->event_head == ctx->event_tail) return 0;
    std::memcpy(event, &ctx->event_queue[ctx->event_head], sizeof(GfxEvent));
    ctx->event_head = (ctx->event_head + 1) & gfx::kEventMask;
    return 1;
}

}  // extern "C"
