// Keyboard input of the text-window console: raw terminal mode, buffered
// stdin bytes, key decoding and line reading.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <string>

#include "runtime/key_sequences.h"
#include "runtime/runtime_internal.h"
#include "runtime/tty_console.h"

namespace lichtbox::tty {
namespace {

// How long the rest of a started escape sequence may take to arrive.
constexpr int kEscapeWaitMs = 30;
constexpr unsigned char kEsc = 0x1B;

// The mode stdin's terminal had before raw input; valid while g_raw_on.
termios g_saved_mode{};
std::atomic<bool> g_raw_on{false};
std::mutex g_raw_mutex;

// Bytes read from stdin and not yet taken.
std::mutex g_input_mutex;
std::string g_pending;

// Reads what stdin has within timeout_ms (-1: wait as long as it takes)
// into g_pending. Returns the number of bytes added, 0 when none came in
// time, -1 when the input has ended or fails.
int fill_pending(int timeout_ms) {
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
    g_pending.append(buf, static_cast<size_t>(n));
    return static_cast<int>(n);
}

// Drops NUL bytes at the front: they stand for no key.
void skip_nul() {
    size_t i = 0;
    while (i < g_pending.size() && g_pending[i] == '\0') ++i;
    g_pending.erase(0, i);
}

}  // namespace

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
    for (;;) {
        skip_nul();
        if (g_pending.empty()) {
            if (fill_pending(wait ? -1 : 0) <= 0) return 0;
            continue;
        }
        const auto first = static_cast<unsigned char>(g_pending[0]);
        if (first != kEsc) {
            g_pending.erase(0, 1);
            return first;
        }
        uint8_t code = 0;
        size_t used = 0;
        SequenceMatch m = match_key_sequence(g_pending.data(), g_pending.size(), &code, &used);
        // A sequence cut short by the read: give its rest a moment.
        while (m == SequenceMatch::partial && fill_pending(kEscapeWaitMs) > 0)
            m = match_key_sequence(g_pending.data(), g_pending.size(), &code, &used);
        if (m == SequenceMatch::full) {
            g_pending.erase(0, used);
            return (static_cast<int32_t>(code) << 8) | 0xFF;
        }
        g_pending.erase(0, 1);
        return kEsc;
    }
}

int32_t key_waiting() {
    std::lock_guard<std::mutex> lock(g_input_mutex);
    RawInput raw;
    skip_nul();
    while (g_pending.empty()) {
        if (fill_pending(0) <= 0) return 0;
        skip_nul();
    }
    return 1;
}

void wait_for_input() {
    std::lock_guard<std::mutex> lock(g_input_mutex);
    RawInput raw;
    fill_pending(-1);
}

bool read_line(std::string& line) {
    std::lock_guard<std::mutex> lock(g_input_mutex);
    for (;;) {
        const size_t end = g_pending.find_first_of("\r\n");
        if (end != std::string::npos) {
            line.assign(g_pending, 0, end);
            size_t used = end + 1;
            if (g_pending[end] == '\r' && used < g_pending.size() && g_pending[used] == '\n')
                ++used;
            g_pending.erase(0, used);
            return true;
        }
        if (fill_pending(-1) < 0) {
            if (g_pending.empty()) return false;
            line = std::move(g_pending);
            g_pending.clear();
            return true;
        }
    }
}

void reset_input() {
    std::lock_guard<std::mutex> lock(g_input_mutex);
    g_pending.clear();
}

}  // namespace lichtbox::tty
