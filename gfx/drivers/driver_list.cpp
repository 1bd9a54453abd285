// The display drivers the screen set-up tries, in order. Platform bindings
// add theirs here; with none, only the null screen can be opened.
#include <array>
#include <vector>

#include "gfx/core/context_internal.h"

#if defined(LICHTBOX_HAVE_X11)
#include "gfx/drivers/x11/x11_drivers.h"
#elif defined(LICHTBOX_HAVE_WIN32)
#include "gfx/drivers/win32/win32_drivers.h"
#elif defined(LICHTBOX_HAVE_WEB)
#include "gfx/drivers/web/web_drivers.h"
#endif

namespace gfx {
namespace {

std::span<const GfxDriver* const> platform_drivers() {
#if defined(LICHTBOX_HAVE_X11)
    static const std::array<const GfxDriver*, 2> drivers = {&x11::display_driver, &x11::gl_driver};
    return drivers;
#elif defined(LICHTBOX_HAVE_WIN32)
    static const std::array<const GfxDriver*, 3> drivers = {&win32::directx_driver, &win32::gdi_driver,
                                                            &win32::gl_driver};
    return drivers;
#elif defined(LICHTBOX_HAVE_WEB)
    static const std::array<const GfxDriver*, 1> drivers = {&web::canvas_driver};
    return drivers;
#else
    return {};
#endif
}

std::vector<const GfxDriver*>& override_list() {
    static std::vector<const GfxDriver*> list;
    return list;
}

}  // namespace

std::span<const GfxDriver* const> driver_list() {
    const auto& o = override_list();
    if (!o.empty()) return {o.data(), o.size()};
    return platform_drivers();
}

void set_driver_list(std::span<const GfxDriver* const> drivers) {
    override_list().assign(drivers.begin(), drivers.end());
}

}  // namespace gfx
