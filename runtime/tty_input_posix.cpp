// The text-window console on a POSIX terminal: raw terminal mode, buffered
// stdin bytes, key decoding and line reading, and the output stream.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <string>

#include "runtime/input_buffer.h"
#include "runtime/runtime_internal.h"
#include "runtime/tty_console.h"

namespace lichtbox::tty {
namespace {

// The mode stdin's terminal had before raw input; valid while g_raw_on.
termios g_saved_mode{};
std::atomic<bool> g_raw_on{false};
std::mutex g_raw_mutex;

// Reads what stdin has within timeout_ms (-1: wait as long as it takes).
int fill_from_stdin(std::string& into, int timeout_ms) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, timeout_ms);
    } while (r < 0 && errno == EINTR);
    if (r < 0) return -1;
    if (r == 0) return 0;
    if ((p.revents & POLLNVAL) != 0) return -1;
    char buf[256];
    ssize_t n;
    do {
        n = ::read(STDIN_FILENO, buf, sizeof buf);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return -1;
    into.append(buf, static_cast<size_t>(n));
    return static_cast<int>(n);
}

// Bytes read from stdin and not yet taken.
std::mutex g_input_mutex;
InputBuffer g_input(fill_from_stdin);

}  // namespace

bool stdin_is_terminal() { return ::isatty(STDIN_FILENO) == 1; }

bool stdout_is_terminal() { return ::isatty(STDOUT_FILENO) == 1; }

void write_stdout(const std::string& bytes) {
    if (bytes.empty()) return;
    std::fflush(stdout);  // keep the order with anything printed through stdio
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;  // nowhere to report to; the text is lost
        }
        done += static_cast<size_t>(n);
    }
}

RawInput::RawInput() {
    if (!::isatty(STDIN_FILENO)) return;
    std::lock_guard<std::mutex> lock(g_raw_mutex);
    if (g_raw_on.load()) return;
    termios mode{};
    if (::tcgetattr(STDIN_FILENO, &mode) != 0) return;
    register_final_handler();
    g_saved_mode = mode;
    // Keys one by one without echo; Enter reads as 13 as on the graphics
    // screen. Signals stay on so that Ctrl+C still ends the program.
    mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    mode.c_iflag &= ~static_cast<tcflag_t>(ICRNL);
    mode.c_cc[VMIN] = 0;
    mode.c_cc[VTIME] = 0;
    g_raw_on.store(true);
    if (::tcsetattr(STDIN_FILENO, TCSANOW, &mode) != 0) {
        g_raw_on.store(false);
        return;
    }
    active_ = true;
}

RawInput::~RawInput() {
    if (!active_) return;
    std::lock_guard<std::mutex> lock(g_raw_mutex);
    if (g_raw_on.exchange(false)) ::tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_mode);
}

void restore_input_mode() {
    std::lock_guard<std::mutex> lock(g_raw_mutex);
    if (g_raw_on.exchange(false)) ::tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_mode);
}

int32_t take_key(bool wait) {
    std::lock_guard<std::mutex> lock(g_input_mutex);
    RawInput raw;
    return g_input.take_key(wait);
}

int32_t key_waiting() {
    std::lock_guard<std::mutex> lock(g_input_mutex);
    RawInput raw;
    return g_input.key_waiting();
}

void wait_for_input() {
    std::lock_guard<std::mutex> lock(g_input_mutex);
    RawInput raw;
    g_input.wait();
}

bool read_line(std::string& line) {
    std::lock_guard<std::mutex> lock(g_input_mutex);
    return g_input.read_line(line);
}

void reset_input() {
    std::lock_guard<std::mutex> lock(g_input_mutex);
    g_input.clear();
}

}  // namespace lichtbox::tty
