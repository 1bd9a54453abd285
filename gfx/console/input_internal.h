// The key queue and the graphics versions of the keyboard, mouse, sleep and
// port services (the console-hook slots filled while a screen is open).
#pragma once

#include <cstdint>

#include "gfx/gfx.h"

extern "C" {

// The process-wide ring of key codes. It keeps one slot free, so it holds
// at most 15 codes; posting into a full ring drops the oldest code.
typedef struct GfxKeyQueue {
    int32_t codes[16];
    int32_t tail;         // next free slot (write index)
    int32_t head;         // oldest code (read index); head == tail: empty
    int32_t key_pressed;  // 1 when a code was posted since the last look
} GfxKeyQueue;

// Removes and returns the oldest code, 0 when the ring is empty; clears
// the key-pressed flag.
int32_t gfx_take_key(void);
// Returns the key-pressed flag and clears it.
int32_t gfx_key_pressed(void);

}

namespace gfx {

// A copy of the ring as it is now (for tests).
GfxKeyQueue key_queue_snapshot();

// Slot versions, with the signatures of the ConsoleHooks slots.
RuntimeString* graphics_inkey();
int32_t graphics_getkey();
int32_t graphics_keyhit();
int32_t graphics_multikey(int32_t scancode);
int32_t graphics_get_mouse(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons, int32_t* clip);
int32_t graphics_set_mouse(int32_t x, int32_t y, int32_t cursor, int32_t clip);
void graphics_sleep(int32_t ms);

// Emulated palette and retrace ports (palette modes only; ports.cpp).
int32_t graphics_port_in(int32_t port);
int32_t graphics_port_out(int32_t port, int32_t value);

}  // namespace gfx
