// The window-based drivers' thread and start: the Win32 window in the
// shared driver loop, the driver's init and exit, the system palette.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>

#include "gfx/drivers/win32/win32_window.h"
#include "gfx/drivers/window/driver_loop.h"
#include "gfx/drivers/window/window_host.h"

namespace gfx::win32 {
namespace {

std::atomic<HWND> g_window{nullptr};

// The window in the driver loop: a pass runs the driver's show routine,
// then handles the window's messages.
class Win32Binding final : public window::DriverBinding {
public:
    explicit Win32Binding(std::function<bool()> show) : show_(std::move(show)) {}

    bool open() override {
        Win32Window& win = Win32Window::instance();
        if (!win.open()) return false;
        g_window = win.handle();
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
        return true;
    }
    window::WindowPlatform& platform() override { return Win32Window::instance(); }

    bool show() override { return show_(); }
    void handle_input() override {
        Win32Window& win = Win32Window::instance();
        win.pump();
        g_window = win.handle();
    }

    Woken wait(int32_t timeout_ms, const window::WakeSignal& wake) override {
        HANDLE signal = wake.handle();
        const DWORD count = signal ? 1 : 0;
        const DWORD r = MsgWaitForMultipleObjects(count, signal ? &signal : nullptr, FALSE, DWORD(timeout_ms),
                                                  QS_ALLINPUT);
        if (r == WAIT_OBJECT_0 + count) return Woken::input;
        if (count && r == WAIT_OBJECT_0) return Woken::wake;
        return Woken::timeout;
    }

    void close() override {
        Win32Window::instance().close();
        g_window = nullptr;
    }

private:
    std::function<bool()> show_;
};

}  // namespace

DriverStats driver_stats() {
    const window::LoopStats loop = window::loop_stats();
    return {loop.passes, loop.shows, loop.show_ns, g_window.load()};
}

void run_window_thread(std::promise<bool>& started, const std::function<bool()>& show) {
    Win32Binding binding(show);
    window::run_driver(started, binding);
}

std::array<PALETTEENTRY, 256> system_palette(const window::WindowState& st) {
    std::array<PALETTEENTRY, 256> entries;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const uint32_t e = st.palette_entries[i];
        entries[i] = PALETTEENTRY{BYTE(e), BYTE(e >> 8), BYTE(e >> 16), PC_NOCOLLAPSE};
    }
    return entries;
}

int32_t start_window_driver(const char* title, int32_t w, int32_t h, int32_t depth, int32_t refresh, int32_t flags,
                            WindowRoutines routines, std::function<void(std::promise<bool>&)> body) {
    window::WindowHost& host = window::WindowHost::instance();
    host.reset(title, w, h, std::max(depth, 8), refresh, uint32_t(flags));
    if (flags & window::kOpenGL) return -1;
    Win32Window& win = Win32Window::instance();
    if (!win.setup(host.state(), std::move(routines), true)) return -1;
    if (host.start(std::move(body)) != 0) {
        win.teardown();
        return -1;
    }
    return 0;
}

void window_driver_exit() {
    window::WindowHost::instance().exit();
    Win32Window::instance().teardown();
}

int32_t* display_modes(int32_t depth, int32_t* count, bool partners) {
    int32_t* modes = nullptr;
    int32_t n = 0;
    bool full = false;
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    for (DWORD i = 0; !full && EnumDisplaySettingsA(nullptr, i, &mode); ++i) {
        const auto bits = int32_t(mode.dmBitsPerPel);
        if (bits != depth && !(partners && bits == window::partner_depth(depth))) continue;
        auto* grown = static_cast<int32_t*>(std::realloc(modes, sizeof(int32_t) * std::size_t(n + 1)));
        if (!grown) {
            full = true;
            continue;
        }
        modes = grown;
        modes[n++] = int32_t(mode.dmPelsHeight | (mode.dmPelsWidth << 16));
    }
    if (count) *count = n;
    return modes;
}

}  // namespace gfx::win32
