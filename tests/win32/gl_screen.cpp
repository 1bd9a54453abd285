// An OpenGL screen for the Windows end-to-end test: opens a 96 x 64 screen
// with the opengl flag, clears it to one colour, flips, and then handles
// its window until a key comes (status 0) or 60 s have passed (status 1).
// Status 2: the screen did not open with the "OpenGL" driver.
#include <windows.h>
#include <GL/gl.h>

#include <cstring>

#include "gfx/gfx.h"

int main() {
    rt_init();
    if (gfx_screen_set_size(96, 64, 32, 1, GFX_OPENGL, 0) != 0) return 2;
    if (std::strcmp(gfx_context()->driver->name, "OpenGL") != 0) return 2;
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    for (int i = 0; i < 6000; ++i) {
        glClear(GL_COLOR_BUFFER_BIT);
        gfx_page_copy(-1, -1);  // flips and handles the window's messages
        if (gfx_keyhit()) return 0;
        Sleep(10);
    }
    return 1;
}
