// The desktop's display mode comes back after a full-screen mode, also when
// the system's own restore does not bring it back (run under Wine in an X
// server that offers a 640 x 480 mode beside its own, see run_wine.sh).
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <ostream>
#include <string>

#include "gfx/drivers/win32/display_mode.h"

namespace {

using gfx::win32::current_display_mode;

std::string size_of(const DEVMODEA& m) { return std::to_string(m.dmPelsWidth) + "x" + std::to_string(m.dmPelsHeight); }

struct RestoreCase {
    const char* name;
    bool switched_twice;        // a second full-screen switch before the way back
    bool saved_mode_overwritten;  // the registry's desktop mode replaced by the full-screen one
    bool system_restore_does_nothing;
};

void PrintTo(const RestoreCase& c, std::ostream* os) { *os << c.name; }

class DesktopModeTest : public testing::TestWithParam<RestoreCase> {};

TEST_P(DesktopModeTest, ComesBackAfterFullScreen) {
    const RestoreCase& c = GetParam();
    const DEVMODEA desktop = current_display_mode();
    ASSERT_NE(size_of(desktop), "640x480") << "the test needs a desktop mode other than 640 x 480";
    gfx::window::WindowState st{};
    st.w = 640;
    st.h = 480;
    st.depth = int32_t(desktop.dmBitsPerPel);
    ASSERT_TRUE(gfx::win32::set_display_mode(st)) << "the display offers no 640 x 480 mode";
    if (c.switched_twice) {
        ASSERT_TRUE(gfx::win32::set_display_mode(st));
    }
    EXPECT_EQ(size_of(current_display_mode()), "640x480");
    DEVMODEA full = desktop;
    full.dmPelsWidth = 640;
    full.dmPelsHeight = 480;
    full.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    if (c.saved_mode_overwritten) {
        ASSERT_EQ(ChangeDisplaySettingsA(&full, CDS_UPDATEREGISTRY | CDS_NORESET), DISP_CHANGE_SUCCESSFUL);
    }

    gfx::win32::restore_desktop_mode(c.system_restore_does_nothing ? std::function<void()>([] {}) : nullptr);
    EXPECT_EQ(size_of(current_display_mode()), size_of(desktop));

    // The registry's mode as it was, and the display in it, for what follows.
    // Not by the system's restore: Wine's desktop process may have
    // overwritten the saved mode during the switch in any of the cases.
    DEVMODEA saved = desktop;
    saved.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    ChangeDisplaySettingsA(&saved, CDS_UPDATEREGISTRY | CDS_NORESET);
    if (size_of(current_display_mode()) != size_of(desktop)) ChangeDisplaySettingsA(&saved, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DesktopModeTest,
    testing::Values(RestoreCase{"SystemRestore", false, false, false},
                    RestoreCase{"SavedModeOverwritten", false, true, false},
                    RestoreCase{"RestoreDoesNothing", false, false, true},
                    RestoreCase{"SwitchedTwiceAndOverwritten", true, true, true}),
    [](const testing::TestParamInfo<RestoreCase>& info) { return std::string(info.param.name); });

}  // namespace
