// The full-screen display mode and the desktop's mode given back after it.
#include "gfx/drivers/win32/display_mode.h"

#include <optional>

namespace gfx::win32 {
namespace {

// The desktop's mode while a full-screen mode of ours is in effect.
std::optional<DEVMODEA> g_desktop;

bool same_mode(const DEVMODEA& a, const DEVMODEA& b) {
    return a.dmPelsWidth == b.dmPelsWidth && a.dmPelsHeight == b.dmPelsHeight && a.dmBitsPerPel == b.dmBitsPerPel;
}

}  // namespace

DEVMODEA current_display_mode() {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) {
        mode.dmPelsWidth = DWORD(GetSystemMetrics(SM_CXSCREEN));
        mode.dmPelsHeight = DWORD(GetSystemMetrics(SM_CYSCREEN));
    }
    return mode;
}

void remember_desktop_mode() {
    if (!g_desktop) g_desktop = current_display_mode();
}

bool set_display_mode(const window::WindowState& st) {
    remember_desktop_mode();
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = DWORD(st.w);
    mode.dmPelsHeight = DWORD(st.h);
    mode.dmBitsPerPel = DWORD(st.depth);
    mode.dmDisplayFrequency = DWORD(st.refresh_rate);
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    return ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
}

void restore_desktop_mode(const std::function<void()>& system_restore) {
    if (system_restore)
        system_restore();
    else
        ChangeDisplaySettingsA(nullptr, 0);
    if (!g_desktop) return;
    DEVMODEA desktop = *g_desktop;
    g_desktop.reset();
    if (same_mode(current_display_mode(), desktop)) return;
    desktop.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    ChangeDisplaySettingsA(&desktop, 0);
}

}  // namespace gfx::win32
