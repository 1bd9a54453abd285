// The console-service table that an open graphics screen installs: the
// graphics console's routines and the page services. The console owns it;
// the screen set-up installs it through graphics_hooks().
#include "gfx/console/console_internal.h"
#include "gfx/console/input_internal.h"
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
    h.inkey = graphics_inkey;
    h.getkey = graphics_getkey;
    h.keyhit = graphics_keyhit;
    h.multikey = graphics_multikey;
    h.get_mouse = graphics_get_mouse;
    h.set_mouse = graphics_set_mouse;
    h.sleep = graphics_sleep;
    h.port_in = graphics_port_in;
    h.port_out = graphics_port_out;
    h.cls = graphics_cls;
    h.color = graphics_color;
    h.locate = graphics_locate;
    h.width = graphics_width;
    h.get_x = graphics_get_x;
    h.get_y = graphics_get_y;
    h.get_xy = graphics_get_xy;
    h.get_size = graphics_get_size;
    h.print_buffer = graphics_print_buffer;
    h.print_buffer_wide = graphics_print_buffer_wide;
    h.read_str = graphics_read_str;
    h.line_input = graphics_line_input;
    h.line_input_wide = graphics_line_input_wide;
    h.read_xy = graphics_read_xy;
    return h;
}

}  // namespace

const ConsoleHooks& graphics_hooks() {
    static const ConsoleHooks hooks = make_hooks();
    return hooks;
}

}  // namespace gfx
