// The Win32 window: class, creation, the window procedure that turns
// messages into calls of the window-event core, and what the core asks of
// the window system.
#include "gfx/drivers/win32/win32_window.h"

#include <algorithm>

#include "gfx/drivers/win32/win32_libs.h"
#include "gfx/drivers/window/window_host.h"
#include "runtime/code_page_437.h"
#include "runtime/keyboard_win32.h"
#include "runtime/keys.h"

namespace gfx::win32 {
namespace {

// Message numbers older headers may lack.
constexpr UINT kWmXButtonDown = 0x020B;
constexpr UINT kWmXButtonUp = 0x020C;
constexpr UINT kWmXButtonDblClk = 0x020D;
constexpr UINT kWmMouseHWheel = 0x020E;
constexpr UINT kWmMouseLeave = 0x02A3;

constexpr UINT_PTR kLeaveTimer = 2;  // the leave-tracking fallback's timer
constexpr UINT kLeaveTimerMs = 100;

using TrackMouseEventFn = BOOL(WINAPI*)(LPTRACKMOUSEEVENT);
using MonitorFromPointFn = HMONITOR(WINAPI*)(POINT, DWORD);
using MonitorFromWindowFn = HMONITOR(WINAPI*)(HWND, DWORD);

TrackMouseEventFn track_mouse_event() {
    static const auto fn = user32_proc<TrackMouseEventFn>("TrackMouseEvent");
    return fn;
}

// Page pixels are window pixels: the process asks not to be scaled, with
// the newest call the system has. Once per process.
void become_dpi_aware() {
    static const bool done = [] {
        using ContextFn = BOOL(WINAPI*)(HANDLE);
        using AwareFn = BOOL(WINAPI*)();
        if (auto set_context = user32_proc<ContextFn>("SetProcessDpiAwarenessContext")) {
            // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
            if (set_context(reinterpret_cast<HANDLE>(static_cast<intptr_t>(-4)))) return true;
        }
        if (auto set_aware = user32_proc<AwareFn>("SetProcessDPIAware")) set_aware();
        return true;
    }();
    (void)done;
}

// The client rectangle of hwnd in screen coordinates.
RECT client_on_screen(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    POINT tl{r.left, r.top}, br{r.right, r.bottom};
    ClientToScreen(hwnd, &tl);
    ClientToScreen(hwnd, &br);
    return RECT{tl.x, tl.y, br.x, br.y};
}

bool cursor_in(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

// Modifier bits of the key translation from the keyboard state.
int32_t modifiers_of(const BYTE* keys, bool extended) {
    auto down = [&](int vk) { return (keys[vk] & 0x80) != 0; };
    lichtbox::ModifierKeys k;
    k.shift = down(VK_SHIFT) || down(VK_LSHIFT) || down(VK_RSHIFT);
    k.left_ctrl = down(VK_CONTROL) || down(VK_LCONTROL);
    k.right_ctrl = down(VK_RCONTROL);
    k.left_alt = down(VK_MENU) || down(VK_LMENU);
    k.right_alt = down(VK_RMENU);
    k.extended = extended;
    return lichtbox::modifier_bits(k);
}

// A character of the system's ANSI code page as a code page 437 byte; -1
// when code page 437 has no such character.
int32_t ansi_to_cp437(WPARAM ch) {
    const char c = static_cast<char>(ch);
    wchar_t wide = 0;
    if (MultiByteToWideChar(CP_ACP, 0, &c, 1, &wide, 1) != 1) return -1;
    return lichtbox::unicode_to_cp437(static_cast<char32_t>(wide));
}

}  // namespace

Win32Window& Win32Window::instance() {
    static Win32Window window;
    return window;
}

bool Win32Window::setup(window::WindowState& state, WindowRoutines routines, bool driver_thread) {
    state_ = &state;
    routines_ = std::move(routines);
    driver_thread_ = driver_thread;
    hwnd_ = nullptr;
    lichtbox::win32::use_system_keyboard_layout();
    become_dpi_aware();

    const DWORD version = GetVersion();
    os_version_ = static_cast<int32_t>(((version & 0xFF) << 8) | ((version >> 8) & 0xFF));
    monitor_ = nullptr;
    static const auto monitor_from_point = user32_proc<MonitorFromPointFn>("MonitorFromPoint");
    POINT cursor{};
    if (monitor_from_point && GetCursorPos(&cursor)) monitor_ = monitor_from_point(cursor, MONITOR_DEFAULTTONEAREST);
    enter_message_ = RegisterWindowMessageA("ZR WM_MOUSEENTER emulation");

    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &saved_screen_saver_, 0);
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0);

    instance_ = GetModuleHandleA(nullptr);
    class_name_ = window::window_class_name(state.title);
    WNDCLASSA wc{};
    wc.style = (state.flags & window::kOpenGL) ? CS_DBLCLKS : (CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS);
    wc.lpfnWndProc = window_proc;
    wc.hInstance = instance_;
    wc.hIcon = LoadIconA(instance_, "ZR_PROGRAM_ICON");
    if (!wc.hIcon) wc.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.lpszClassName = class_name_.c_str();
    set_up_ = true;
    if (!RegisterClassA(&wc)) {
        teardown();
        return false;
    }
    return true;
}

void Win32Window::teardown() {
    if (!set_up_) return;
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, saved_screen_saver_, nullptr, 0);
    UnregisterClassA(class_name_.c_str(), instance_);
    if (state_ && state_->mouse_clip) {
        ClipCursor(nullptr);
        state_->mouse_clip = false;
    }
    set_up_ = false;
    hwnd_ = nullptr;
}

bool Win32Window::create(DWORD style, DWORD ex_style, int x, int y, int width, int height) {
    hwnd_ = CreateWindowExA(ex_style, class_name_.c_str(), state_->title.c_str(), style, x, y, width, height,
                            nullptr, nullptr, instance_, nullptr);
    if (!hwnd_) return false;
    if (state_->flags & window::kAlwaysOnTop)
        SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOSENDCHANGING);
    SetForegroundWindow(hwnd_);
    return true;
}

HWND Win32Window::create_other(const char* title, DWORD style, int x, int y, int width, int height) const {
    return CreateWindowExA(0, class_name_.c_str(), title, style, x, y, width, height, nullptr, nullptr, instance_,
                           nullptr);
}

void Win32Window::destroy() {
    if (hwnd_) DestroyWindow(hwnd_);
    hwnd_ = nullptr;
}

SIZE Win32Window::outer_size(DWORD style, int32_t w, int32_t h) {
    RECT r{0, 0, w, h};
    AdjustWindowRect(&r, style, FALSE);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void Win32Window::pump() {
    MSG msg;
    while (hwnd_ && PeekMessageA(&msg, hwnd_, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

std::bitset<256> Win32Window::keys_down() const {
    BYTE keys[256];
    std::bitset<256> down;
    if (!GetKeyboardState(keys)) return down;
    for (int i = 0; i < 256; ++i) down[std::size_t(i)] = (keys[i] & 0x80) != 0;
    return down;
}

LRESULT CALLBACK Win32Window::window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    Win32Window& w = instance();
    if (!w.state_) return DefWindowProcA(hwnd, msg, wparam, lparam);
    return w.handle(hwnd, msg, wparam, lparam);
}

LRESULT Win32Window::handle(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    window::WindowState& st = *state_;
    POINT cursor{};
    GetCursorPos(&cursor);
    core().set_in_client(cursor_in(client_on_screen(hwnd), cursor));

    if (msg == enter_message_ && msg != 0) {
        core().enter();
        return 0;
    }
    switch (msg) {
    case WM_SIZE:
        if (wparam == SIZE_MAXIMIZED && st.active) {
            core().maximize();
            return 0;
        }
        break;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
        if (!key_message(msg, wparam, lparam)) return 0;
        break;
    case WM_ACTIVATE:
        activation(hwnd, wparam);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        core().expose();
        EndPaint(hwnd, &ps);
        break;
    }
    case WM_CLOSE:
        core().close();
        return 0;
    case WM_SETCURSOR:
        SetCursor(st.mouse.in_client && !st.mouse.cursor_visible
                      ? nullptr
                      : LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
        return TRUE;
    case WM_DISPLAYCHANGE:
        core().display_changed();
        break;
    case WM_CHAR:
        if (wparam <= 255) {
            const int32_t c = ansi_to_cp437(wparam);
            if (c > 0) core().character(c, static_cast<int32_t>(lparam & 0xFFFF));
        }
        break;
    case WM_MOUSEMOVE:
        core().mouse_move(static_cast<int32_t>(lparam & 0xFFFF), static_cast<int32_t>((lparam >> 16) & 0xFFFF),
                          cursor.x, cursor.y);
        break;
    case WM_LBUTTONDOWN: core().button(window::kButtonLeft, window::ButtonAction::down); break;
    case WM_LBUTTONDBLCLK: core().button(window::kButtonLeft, window::ButtonAction::double_click); break;
    case WM_LBUTTONUP: core().button(window::kButtonLeft, window::ButtonAction::up); break;
    case WM_RBUTTONDOWN: core().button(window::kButtonRight, window::ButtonAction::down); break;
    case WM_RBUTTONDBLCLK: core().button(window::kButtonRight, window::ButtonAction::double_click); break;
    case WM_RBUTTONUP: core().button(window::kButtonRight, window::ButtonAction::up); break;
    case WM_MBUTTONDOWN: core().button(window::kButtonMiddle, window::ButtonAction::down); break;
    case WM_MBUTTONDBLCLK: core().button(window::kButtonMiddle, window::ButtonAction::double_click); break;
    case WM_MBUTTONUP: core().button(window::kButtonMiddle, window::ButtonAction::up); break;
    case kWmXButtonDown:
    case kWmXButtonDblClk:
    case kWmXButtonUp:
        if (os_version_ >= 0x0500) {
            const int32_t bit = HIWORD(wparam) == XBUTTON2 ? window::kButtonExtra2 : window::kButtonExtra1;
            core().button(bit, msg == kWmXButtonDown     ? window::ButtonAction::down
                               : msg == kWmXButtonUp     ? window::ButtonAction::up
                                                         : window::ButtonAction::double_click);
        }
        break;
    case WM_MOUSEWHEEL:
        if (os_version_ >= 0x040A) core().wheel(static_cast<int32_t>(wparam) > 0 ? 1 : -1);
        break;
    case kWmMouseHWheel:
        if (os_version_ >= 0x0500) core().hwheel(static_cast<int32_t>(wparam) > 0 ? 1 : -1);
        break;
    case WM_MOVING:
        if (st.mouse_clip) ClipCursor(nullptr);
        break;
    case kWmMouseLeave:
        if (st.active) {
            core().leave();
            return 0;
        }
        break;
    case WM_TIMER:
        if (wparam == kLeaveTimer) {
            leave_timer(hwnd);
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

// The key path; false when the system must not see the key.
bool Win32Window::key_message(UINT msg, WPARAM wparam, LPARAM lparam) {
    window::KeyInput k;
    k.down = msg != WM_KEYUP;
    k.system = msg == WM_SYSKEYDOWN;
    k.alt = (lparam & (1 << 29)) != 0;
    k.previously_down = (lparam & (1 << 30)) != 0;
    k.vk = static_cast<int32_t>(wparam & 0xFFFF);
    k.repeat_count = static_cast<int32_t>(lparam & 0xFFFF);
    k.scancode = static_cast<int32_t>((lparam >> 16) & 0xFF);
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    k.modifiers = modifiers_of(keys, (lparam & (1 << 24)) != 0);
    // Dead keys (top bit of the mapping set) produce no character here.
    if (static_cast<int32_t>(MapVirtualKeyA(static_cast<UINT>(k.vk), MAPVK_VK_TO_CHAR)) >= 0) {
        WORD out = 0;
        if (ToAscii(static_cast<UINT>(k.vk), static_cast<UINT>(k.scancode), keys, &out, 0) == 1) k.character = out & 0xFF;
    }
    return core().key(k);
}

void Win32Window::activation(HWND hwnd, WPARAM wparam) {
    const bool activated = LOWORD(wparam) != WA_INACTIVE;
    const bool minimized = HIWORD(wparam) != 0;
    const bool was_inside = state_->mouse.inside;
    if (driver_thread_)
        SetThreadPriority(GetCurrentThread(),
                          activated && !minimized ? THREAD_PRIORITY_ABOVE_NORMAL : THREAD_PRIORITY_NORMAL);
    // The keyboard focus comes with activation, as the default handling
    // would give it; without it every key would arrive as a system key.
    if (activated && !minimized) SetFocus(hwnd);
    core().activate(activated, minimized);
    if (!state_->active && was_inside) KillTimer(hwnd, kLeaveTimer);
}

void Win32Window::leave_timer(HWND hwnd) {
    POINT p{};
    GetCursorPos(&p);
    if (cursor_in(client_on_screen(hwnd), p) && WindowFromPoint(p) == hwnd) return;
    KillTimer(hwnd, kLeaveTimer);
    PostMessageA(hwnd, kWmMouseLeave, 0, 0);
}

void Win32Window::capture_mouse() {
    if (hwnd_) SetCapture(hwnd_);
}

void Win32Window::release_mouse() { ReleaseCapture(); }

bool Win32Window::has_capture() const { return hwnd_ && GetCapture() == hwnd_; }

void Win32Window::track_leave() {
    if (!hwnd_) return;
    if (auto track = track_mouse_event()) {
        TRACKMOUSEEVENT t{};
        t.cbSize = sizeof t;
        t.dwFlags = TME_LEAVE;
        t.hwndTrack = hwnd_;
        track(&t);
        return;
    }
    SetTimer(hwnd_, kLeaveTimer, kLeaveTimerMs, nullptr);
}

void Win32Window::confine_cursor(bool on) {
    if (!on || !hwnd_) {
        ClipCursor(nullptr);
        return;
    }
    const RECT r = client_on_screen(hwnd_);
    ClipCursor(&r);
}

void Win32Window::show_cursor(bool) {
    // The window answers WM_SETCURSOR from the new state.
    if (hwnd_) PostMessageA(hwnd_, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd_), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

void Win32Window::move_cursor(int32_t x, int32_t y) {
    POINT p{x, y};
    if (!(state_->flags & window::kFullscreen) && hwnd_) ClientToScreen(hwnd_, &p);
    SetCursorPos(p.x, p.y);
}

bool Win32Window::switch_fullscreen(bool) {
    static const auto monitor_from_window = user32_proc<MonitorFromWindowFn>("MonitorFromWindow");
    monitor_ = monitor_from_window && hwnd_ ? monitor_from_window(hwnd_, MONITOR_DEFAULTTONEAREST) : nullptr;
    // The flags already name the new mode; the old one is closed as what it
    // was (a full-screen close gives the display mode back).
    state_->flags ^= window::kFullscreen;
    close();
    state_->flags ^= window::kFullscreen;
    return open();
}

void Win32Window::window_position(int32_t* left, int32_t* top) const {
    RECT r{};
    if (hwnd_) GetWindowRect(hwnd_, &r);
    *left = r.left;
    *top = r.top;
}

void Win32Window::move_window(int32_t left, int32_t top) {
    if (hwnd_)
        SetWindowPos(hwnd_, nullptr, left, top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_ASYNCWINDOWPOS);
}

void Win32Window::set_title(const char* title) {
    if (!hwnd_) return;
    // The window's thread handles the title message, and it may be waiting
    // for the lock the program holds.
    GfxContext* ctx = gfx_context();
    const bool held = driver_thread_ && ctx && (ctx->flags & GFX_LOCK_HELD);
    if (held) window::WindowHost::instance().unlock();
    SetWindowTextA(hwnd_, title);
    if (held) window::WindowHost::instance().lock();
}

void Win32Window::paint() {
    if (routines_.paint) routines_.paint();
}

}  // namespace gfx::win32
