// The console-service table that an open graphics screen installs.
#include "gfx/core/context_internal.h"

namespace gfx {
namespace {

void view_update_none() {}
int32_t not_redirected() { return 0; }

ConsoleHooks make_hooks() {
    ConsoleHooks h{};
    h.view_update = view_update_none;
    h.is_redirected = not_redirected;
    h.page_copy = graphics_page_copy;
    h.page_set = graphics_page_set;
    return h;
}

}  // namespace

const ConsoleHooks& graphics_hooks() {
    static const ConsoleHooks hooks = make_hooks();
    return hooks;
}

}  // namespace gfx
