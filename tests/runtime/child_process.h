// Runs test code in a forked child whose stdin and stdout are a
// pseudo-terminal or pipes, and collects what it printed and reported.
#ifndef LICHTBOX_TESTS_RUNTIME_CHILD_PROCESS_H
#define LICHTBOX_TESTS_RUNTIME_CHILD_PROCESS_H

#include <termios.h>

#include <functional>
#include <string>

namespace lichtbox::test {

struct ChildOptions {
    bool stdin_terminal = true;   // else a pipe holding `input`, then closed
    bool stdout_terminal = true;  // else a pipe
    std::string input;            // bytes typed before the child starts
    bool echo = false;            // terminal echo (kept off so output stays exact)
    // The parent keeps the terminal open and reads its mode after the child
    // has ended (the output is not collected then).
    bool keep_terminal = false;
    // Typed on the terminal only once the child has called signal_ready().
    std::string late_input;
};

struct ChildResult {
    std::string report;  // what the child's body returned
    std::string output;  // what the child wrote to stdout
    int exit_code = -1;
    termios mode_after{};  // with keep_terminal
    termios mode_before{};
};

// body runs in the child; its result is sent back as the report. The child
// ends with status 0 after the body, or however the body ends it.
ChildResult run_child(const ChildOptions& options, const std::function<std::string()>& body);

// In the child: lets the parent type late_input now.
void signal_ready();

// Hex text of bytes ("ff3b").
std::string hex(const std::string& bytes);

}  // namespace lichtbox::test

#endif
