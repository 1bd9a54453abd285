/* Runtime internals shared between the runtime's own source files. */
#ifndef LICHTBOX_RUNTIME_RUNTIME_INTERNAL_H
#define LICHTBOX_RUNTIME_RUNTIME_INTERNAL_H

namespace lichtbox {

/* Registers the runtime's final exit handler with atexit, once per process.
 * The handler puts the terminal back into the mode it had (raw input off,
 * colours and cursor restored) and flushes the standard streams. */
void register_final_handler();

/* Puts the shared console state (print column, text view) back to its
 * start values. */
void reset_console_state();

}  // namespace lichtbox

#endif
