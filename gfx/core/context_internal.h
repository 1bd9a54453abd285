// Internal view of the graphics context, the drawing state and the screen
// set-up, shared by the graphics runtime's own sources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "gfx/gfx.h"

namespace gfx {

// The open screen, or null (same as gfx_context()).
GfxContext* context();

// The display drivers the set-up searches, in order. Empty until a
// platform binding registers its drivers.
std::span<const GfxDriver* const> driver_list();
// Replaces the driver list (tests install fake drivers); an empty span
// restores the platform's list.
void set_driver_list(std::span<const GfxDriver* const> drivers);

// The 2048-byte work area of the display converters, allocated by each
// screen set-up; null while no screen is open.
void* blit_lookup();

// The null driver: lock and unlock do nothing, every other slot is empty.
extern const GfxDriver null_driver;

// Test hook: the n-th allocation of the next screen set-ups fails (1 = the
// first); 0 disables. Lets tests walk every allocation-failure path.
void set_alloc_failure_countdown(int n);

// The console-service table a screen installs while it is open. Defined by
// the graphics console (gfx/console/console_hooks.cpp), which owns it: the
// screen set-up knows only this declaration.
const ConsoleHooks& graphics_hooks();

// Selects target (an image buffer or null for the work page). Returns
// false, with the work page selected, when an image header is unusable
// (bad bytes per pixel, sizes whose rows would overflow 32-bit offsets)
// or the row table cannot grow.
bool select_target(GfxDrawState* state, const void* target);

// Rebuilds state->line for the h rows of page `page`.
void point_rows_at_page(GfxDrawState* state, int32_t page);

// Called on the program's thread when a new picture reached the visible
// page (a page copy onto it, or another page made visible). A display
// driver installs it to show the picture without waiting for its next
// pass; null removes it.
using PresentHook = void (*)();
void set_present_hook(PresentHook hook);

// How the program's thread waits. A display binding without a thread of
// its own (the browser's) installs a hook that runs its due passes and
// hands control to its host for ms milliseconds, or, with 0, only when the
// program has not let it run for a while (a poll); null removes it.
using WaitHook = void (*)(int32_t ms);
void set_wait_hook(WaitHook hook);
// Sleeps ms milliseconds: through the hook, or the thread sleeps.
void wait_for(int32_t ms);
// Where the program polls (reads keys or the mouse): the hook with 0.
void poll_point();

// Graphics versions of the page services (slots page_copy and page_set).
int32_t graphics_page_copy(int32_t src, int32_t dst);
int32_t graphics_page_set(int32_t work, int32_t visible);

// Allocates zero-filled text cells for every page (replacing old ones) and
// fills the work page's with blanks in the state's colours. False when
// memory ran out (the context then has no cells).
bool alloc_text_cells(GfxContext* ctx, int32_t work_page, uint32_t fg, uint32_t bg);
void free_text_cells(GfxContext* ctx);
// Sets cells (col0..col1, row0..row1), inclusive and clipped, to ch/fg/bg.
void fill_cells(GfxContext* ctx, int32_t page, int32_t col0, int32_t row0, int32_t col1,
                int32_t row1, int16_t ch, uint32_t fg, uint32_t bg);

}  // namespace gfx
