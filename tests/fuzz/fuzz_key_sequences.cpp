// The terminal key decoder: the sequence matcher on the raw bytes, then the
// text-window console's key reader over the bytes arriving on stdin.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "runtime/key_sequences.h"
#include "runtime/tty_console.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

bool known_code(int32_t code) { return code >= 0x3B && code <= 0x53; }

// Makes the bytes the whole of stdin.
bool feed_stdin(const uint8_t* data, size_t size) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    // A pipe takes 64 KiB without a reader; longer inputs are cut there.
    const ssize_t n = size > 0 ? write(fds[1], data, size < 65536 ? size : 65536) : 0;
    close(fds[1]);
    const bool ok = n >= 0 && dup2(fds[0], STDIN_FILENO) == STDIN_FILENO;
    close(fds[0]);
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using lichtbox::SequenceMatch;
    const char* bytes = reinterpret_cast<const char*>(data);
    for (size_t start = 0; start < size; ++start) {
        uint8_t code = 0;
        size_t used = 0;
        const SequenceMatch m = lichtbox::match_key_sequence(bytes + start, size - start, &code, &used);
        if (m == SequenceMatch::full) check(used >= 2 && used <= size - start && known_code(code));
    }

    if (!feed_stdin(data, size)) std::abort();
    lichtbox::tty::reset_input();
    size_t keys = 0;
    for (int32_t key; (key = lichtbox::tty::take_key(false)) != 0; ++keys) {
        check((key >= 1 && key <= 255) || ((key & 0xFF) == 0xFF && known_code(key >> 8)));
        check(keys < size);  // every key takes at least one byte
    }
    check(lichtbox::tty::key_waiting() == 0);
    return 0;
}
