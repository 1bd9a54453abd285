/* Bytes read from the console's input stream and not yet taken, with the
 * key decoding and line splitting that every platform's text-window console
 * shares: NUL bytes stand for no key, terminal escape sequences of the
 * extended keys become (code << 8) | 0xFF, lines end at CR, LF or CR LF. */
#ifndef LICHTBOX_RUNTIME_INPUT_BUFFER_H
#define LICHTBOX_RUNTIME_INPUT_BUFFER_H

#include <cstdint>
#include <functional>
#include <string>

namespace lichtbox::tty {

class InputBuffer {
public:
    /* Appends what the stream has within timeout_ms (-1: as long as it
     * takes) to into. Returns the number of bytes added, 0 when none came in
     * time, -1 when the input has ended or fails. */
    using Fill = std::function<int(std::string& into, int timeout_ms)>;

    explicit InputBuffer(Fill fill) : fill_(std::move(fill)) {}

    /* Next key code; 0 when none is waiting (wait = false) or the input has
     * ended. */
    int32_t take_key(bool wait);
    /* 1 when a key is waiting, without taking it. */
    int32_t key_waiting();
    /* Waits until more input arrives (or the input ends). */
    void wait() { fill(-1); }
    /* One line without its line end; false at the end of input with nothing
     * read. */
    bool read_line(std::string& line);
    /* Puts bytes in front of what is buffered. */
    void push_front(const std::string& bytes) { pending_.insert(0, bytes); }
    void clear() { pending_.clear(); }

private:
    int fill(int timeout_ms) { return fill_(pending_, timeout_ms); }
    void skip_nul();

    Fill fill_;
    std::string pending_;
};

}  // namespace lichtbox::tty

#endif
