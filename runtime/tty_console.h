/* The text-window console: the versions of the 27 console services that run
 * on the terminal (stdin/stdout) while no graphics screen fills the hooks.
 *
 * Output keeps an 80 x 25 cursor model through the terminal engine; cursor
 * moves, colours and clearing are sent as ANSI sequences only when stdout is
 * a terminal, otherwise just the text is written. Keys are read from stdin
 * without blocking (inkey, keyhit) or blocking (getkey); terminal escape
 * sequences of the extended keys become the key codes of the graphics
 * screen. */
#ifndef LICHTBOX_RUNTIME_TTY_CONSOLE_H
#define LICHTBOX_RUNTIME_TTY_CONSOLE_H

#include <cstdint>
#include <string>

#include "runtime/runtime.h"

namespace lichtbox::tty {

/* The console versions in slot order, as one table. */
const ConsoleHooks& console_hooks();

/* Back to the start state: 80 x 25, cursor at the top left, grey on black,
 * no buffered input. */
void reset();

/* Puts stdin's terminal back into the mode it had before raw input was
 * switched on, and undoes colour and cursor changes on stdout. For the
 * runtime's exit handler; harmless when nothing was changed. */
void restore_terminal();

/* Raw (non-canonical, no echo) input on stdin for the guard's lifetime when
 * stdin is a terminal; does nothing otherwise or when already raw. The old
 * mode is always put back, by the destructor or by the exit handler. */
class RawInput {
public:
    RawInput();
    ~RawInput();
    RawInput(const RawInput&) = delete;
    RawInput& operator=(const RawInput&) = delete;
    bool active() const { return active_; }

private:
    bool active_ = false;
};

/* ---- Platform layer (tty_input_posix.cpp, tty_input_win32.cpp) --------- */
/* Whether stdin / stdout is an interactive terminal; for stdout, one that
 * takes the ANSI cursor and colour sequences. */
bool stdin_is_terminal();
bool stdout_is_terminal();
/* Writes bytes to stdout after flushing stdio; errors lose the text. */
void write_stdout(const std::string& bytes);

/* Next key code: 1..255 a byte, (code << 8) | 0xFF an extended key; 0 when
 * no key is waiting (wait = false) or the input has ended. */
int32_t take_key(bool wait);
/* 1 when a key is waiting, without taking it. */
int32_t key_waiting();
/* Waits until new input arrives (or the input ends). */
void wait_for_input();
/* Reads one line (without its line end); false at end of input with
 * nothing read. */
bool read_line(std::string& line);
/* Drops buffered input. */
void reset_input();
/* Leaves raw input if it is on (part of restore_terminal). */
void restore_input_mode();

}  // namespace lichtbox::tty

#endif
