// Output side of the text-window console and the console service table.
#include "runtime/tty_console.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "runtime/terminal_engine.h"

namespace lichtbox::tty {
namespace {

constexpr int32_t kDefaultCols = 80;
constexpr int32_t kDefaultRows = 25;
constexpr int32_t kMaxDimension = 0x7FFF;  // keeps cols | rows << 16 positive

// A 16-bit string as bytes: units below 256 stay, others become "?", and a
// leading surrogate also takes the unit after it.
std::string narrow(const uint16_t* units, int32_t len) {
    std::string out;
    if (units == nullptr || len <= 0) return out;
    out.reserve(static_cast<size_t>(len));
    for (int32_t i = 0; i < len; ++i) {
        const uint16_t u = units[i];
        if (u < 256) {
            out.push_back(static_cast<char>(u));
        } else {
            out.push_back('?');
            if (u >= 0xD800 && u <= 0xDBFF) ++i;
        }
    }
    return out;
}

// CGA colour order (black, blue, green, cyan, red, magenta, brown, grey)
// to the ANSI order (black, red, green, yellow, blue, magenta, cyan, white).
constexpr int kAnsiOf[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// The terminal the console writes to, with its cursor model.
class Screen {
public:
    Screen() : engine_(callbacks()) {}

    void print(const char* bytes, int32_t len, int32_t mask) {
        if (bytes == nullptr || len <= 0) {
            if ((mask & 0x8) == 0) return;
            bytes = nullptr;
            len = 0;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        begin();
        engine_.print(bytes, len);
        rt_set_print_column(engine_.x());
        flush();
    }

    int32_t locate(int32_t row, int32_t col, int32_t cursor) {
        std::lock_guard<std::mutex> lock(mutex_);
        begin();
        engine_.set_wrap_pending(false);
        owed_newline_ = false;
        int32_t x = engine_.x();
        int32_t y = engine_.y();
        if (col >= 1) x = col - 1;
        if (row >= 1) y = row - 1;
        engine_.set_cursor(x, y);
        if (terminal_) {
            out_ += "\x1b[" + std::to_string(y + 1) + ";" + std::to_string(x + 1) + "H";
            if (cursor == 0 && !cursor_hidden_) {
                out_ += "\x1b[?25l";
                cursor_hidden_ = true;
            } else if (cursor == 1 && cursor_hidden_) {
                out_ += "\x1b[?25h";
                cursor_hidden_ = false;
            }
        }
        rt_set_print_column(x);
        flush();
        return static_cast<int32_t>(static_cast<uint32_t>(x + 1) | (static_cast<uint32_t>(y + 1) << 8));
    }

    void cls(int32_t mode) {
        // Modes other than 0, 2 and "none" clear the graphics view only,
        // which a terminal does not have.
        if (mode != 0 && mode != 2 && mode != RT_CLS_DEFAULT) return;
        std::lock_guard<std::mutex> lock(mutex_);
        begin();
        const auto& r = engine_.region();
        const bool whole = r.top == 0 && r.bottom == rows_ - 1;
        if (mode == RT_CLS_DEFAULT) mode = whole ? 0 : 2;
        if (terminal_) {
            if (mode == 2 && !whole) {
                for (int32_t row = r.top; row <= r.bottom; ++row)
                    out_ += "\x1b[" + std::to_string(row + 1) + ";1H\x1b[2K";
            } else {
                out_ += "\x1b[2J";
            }
            out_ += "\x1b[" + std::to_string(r.top + 1) + ";1H";
        }
        engine_.set_cursor(r.left, r.top);
        engine_.set_wrap_pending(false);
        owed_newline_ = false;
        rt_set_print_column(0);
        flush();
    }

    uint32_t color(uint32_t fg, uint32_t bg, int32_t flags) {
        std::lock_guard<std::mutex> lock(mutex_);
        begin();
        const uint32_t previous = fg_ | (bg_ << 16);
        if ((flags & 1) == 0) fg_ = fg;
        if ((flags & 2) == 0) bg_ = bg;
        if (terminal_ && (flags & 3) != 3) {
            const uint32_t f = fg_ & 15;
            const uint32_t b = bg_ & 15;
            const int fcode = (f < 8 ? 30 : 90) + kAnsiOf[f & 7];
            const int bcode = (b < 8 ? 40 : 100) + kAnsiOf[b & 7];
            out_ += "\x1b[" + std::to_string(fcode) + ";" + std::to_string(bcode) + "m";
            colours_changed_ = true;
        }
        flush();
        return previous;
    }

    int32_t width(int32_t cols, int32_t rows) {
        std::lock_guard<std::mutex> lock(mutex_);
        const int32_t previous =
            static_cast<int32_t>(static_cast<uint32_t>(cols_) | (static_cast<uint32_t>(rows_) << 16));
        if (cols <= 0 && rows <= 0) return previous;
        if (cols > 0) cols_ = std::min(cols, kMaxDimension);
        if (rows > 0) rows_ = std::min(rows, kMaxDimension);
        rt_set_text_view(-1, -1);
        engine_.set_cursor(std::min(engine_.x(), cols_ - 1), std::min(engine_.y(), rows_ - 1));
        engine_.set_wrap_pending(false);
        return previous;
    }

    void size(int32_t* cols, int32_t* rows) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (cols) *cols = cols_;
        if (rows) *rows = rows_;
    }

    int32_t cursor_x() {
        std::lock_guard<std::mutex> lock(mutex_);
        return engine_.x() + 1;
    }

    int32_t cursor_y() {
        std::lock_guard<std::mutex> lock(mutex_);
        return engine_.y() + 1;
    }

    // After a line was read: on a terminal the echo of Enter has already
    // ended the line, so only the model follows; elsewhere the caller may
    // ask for the line end.
    void line_read(int32_t flags) {
        std::lock_guard<std::mutex> lock(mutex_);
        begin();
        const bool echoed = terminal_ && stdin_is_terminal();
        if (echoed) {
            mute_ = true;
            engine_.print("\n", 1);
            mute_ = false;
            owed_newline_ = false;
        } else if ((flags & RT_INPUT_NEWLINE) != 0) {
            engine_.print("\n", 1);
        }
        rt_set_print_column(engine_.x());
        flush();
    }

    void reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        cols_ = kDefaultCols;
        rows_ = kDefaultRows;
        fg_ = 7;
        bg_ = 0;
        owed_newline_ = false;
        mute_ = false;
        out_.clear();
        engine_.set_cursor(0, 0);
        engine_.set_wrap_pending(false);
    }

    // Undoes colour and cursor changes. Skipped when another thread is in
    // the middle of output, rather than waiting for it at exit.
    void restore() {
        std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
        if (!lock.owns_lock()) return;
        if (!stdout_is_terminal()) return;
        std::string seq;
        if (colours_changed_) seq += "\x1b[0m";
        if (cursor_hidden_) seq += "\x1b[?25h";
        colours_changed_ = false;
        cursor_hidden_ = false;
        write_stdout(seq);
    }

private:
    TerminalEngine::Callbacks callbacks() {
        TerminalEngine::Callbacks cb;
        cb.write_run = [this](int32_t x, int32_t, const char* bytes, int32_t n) {
            if (mute_) return;
            settle_owed_newline();
            out_.append(bytes, static_cast<size_t>(n));
            // A full row: the terminal may be wider than the model, so the
            // wrap is sent as a line end, but only once more text follows.
            if (terminal_ && x + n == engine_.region().right + 1) owed_newline_ = true;
        };
        cb.beep = [this] {
            if (!mute_) out_ += '\a';
        };
        cb.control = [this](unsigned char byte) {
            if (mute_) return;
            settle_owed_newline();
            if (byte == 8) out_ += '\b';
            if (byte == 13) out_ += '\r';
            // The engine's line feed also returns to the left edge; a
            // terminal may not add the return itself (raw output).
            if (byte == 10) {
                if (terminal_ && (out_.empty() || out_.back() != '\r')) out_ += '\r';
                out_ += '\n';
            }
        };
        // The terminal scrolls by itself when a line end reaches its bottom.
        cb.scroll = [](int32_t) {};
        return cb;
    }

    void settle_owed_newline() {
        if (owed_newline_) {
            out_ += "\r\n";
            owed_newline_ = false;
        }
    }

    // Start of an operation: look at stdout and take the text view.
    void begin() {
        terminal_ = stdout_is_terminal();
        if (!terminal_) owed_newline_ = false;
        int32_t top = -1;
        int32_t bottom = -1;
        rt_text_view(&top, &bottom);
        TerminalEngine::Region r;
        r.left = 0;
        r.right = cols_ - 1;
        r.top = top < 0 ? 0 : top;
        r.bottom = bottom < 0 ? (rows_ > 0 ? rows_ - 1 : 24) : bottom;
        engine_.set_region(r);
    }

    void flush() {
        write_stdout(out_);
        out_.clear();
    }

    std::mutex mutex_;
    int32_t cols_ = kDefaultCols;
    int32_t rows_ = kDefaultRows;
    uint32_t fg_ = 7;
    uint32_t bg_ = 0;
    bool terminal_ = false;
    bool owed_newline_ = false;
    bool mute_ = false;
    bool colours_changed_ = false;
    bool cursor_hidden_ = false;
    std::string out_;
    TerminalEngine engine_;
};

Screen& screen() {
    static Screen* s = new Screen;  // never destroyed: exit handlers still use it
    return *s;
}

// Prints the prompt (and "? ") of a line input.
void print_prompt(const std::string& prompt, int32_t flags) {
    screen().print(nullptr, 0, 0x8);  // settle a pending line end first
    if (!prompt.empty()) screen().print(prompt.data(), static_cast<int32_t>(prompt.size()), 0);
    if ((flags & RT_INPUT_QUESTION) != 0) screen().print("? ", 2, 0);
}

/* ---- The console services ---------------------------------------------- */

RuntimeString* tty_inkey() {
    const int32_t code = take_key(false);
    if (code == 0) return rt_str_temp(nullptr, 0);
    if (code < 256) {
        const char c = static_cast<char>(code);
        return rt_str_temp(&c, 1);
    }
    const char two[2] = {static_cast<char>(0xFF), static_cast<char>(code >> 8)};
    return rt_str_temp(two, 2);
}

int32_t tty_getkey() { return take_key(true); }
int32_t tty_keyhit() { return key_waiting(); }
void tty_cls(int32_t mode) { screen().cls(mode); }
uint32_t tty_color(uint32_t fg, uint32_t bg, int32_t flags) { return screen().color(fg, bg, flags); }
int32_t tty_locate(int32_t row, int32_t col, int32_t cursor) {
    return screen().locate(row, col, cursor);
}
int32_t tty_width(int32_t cols, int32_t rows) { return screen().width(cols, rows); }
int32_t tty_get_x() { return screen().cursor_x(); }
int32_t tty_get_y() { return screen().cursor_y(); }

void tty_get_xy(int32_t* col, int32_t* row) {
    if (col) *col = tty_get_x();
    if (row) *row = tty_get_y();
}

void tty_get_size(int32_t* cols, int32_t* rows) { screen().size(cols, rows); }

void tty_print_buffer(const char* bytes, int32_t len, int32_t mask) {
    screen().print(bytes, len, mask);
}

void tty_print_buffer_wide(const uint16_t* units, int32_t len, int32_t mask) {
    const std::string bytes = narrow(units, len);
    screen().print(bytes.data(), static_cast<int32_t>(bytes.size()), mask);
}

char* tty_read_str(char* buffer, int32_t size) {
    if (buffer == nullptr || size <= 0) return nullptr;
    std::string line;
    const bool ok = read_line(line);
    screen().line_read(0);
    if (!ok) {
        buffer[0] = '\0';
        return nullptr;
    }
    const size_t n = std::min(line.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, line.data(), n);
    buffer[n] = '\0';
    return buffer;
}

int32_t tty_multikey(int32_t) { return 0; }

int32_t tty_get_mouse(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons, int32_t* clip) {
    for (int32_t* p : {x, y, wheel, buttons, clip})
        if (p) *p = -1;
    return rt_set_error(RT_ERR_ARGUMENT);
}

int32_t tty_set_mouse(int32_t, int32_t, int32_t, int32_t) { return rt_set_error(RT_ERR_ARGUMENT); }
int32_t tty_port_in(int32_t) { return 0; }
int32_t tty_port_out(int32_t, int32_t) { return 0; }
void tty_view_update() {}

int32_t tty_line_input(RuntimeString* prompt, RuntimeString* target, int32_t flags) {
    std::string text;
    if (prompt != nullptr && prompt->data != nullptr)
        text.assign(prompt->data, static_cast<size_t>(rt_str_len(prompt)));
    rt_str_release_temp(prompt);
    print_prompt(text, flags);
    std::string line;
    const bool ok = read_line(line);
    screen().line_read(flags);
    if (!ok) return rt_set_error(RT_ERR_MEMORY);
    if (target != nullptr &&
        rt_str_assign(target, line.data(), static_cast<int32_t>(line.size())) != 0)
        return rt_set_error(RT_ERR_MEMORY);
    return rt_set_error(RT_OK);
}

int32_t tty_line_input_wide(const uint16_t* prompt, int32_t prompt_len, uint16_t* buffer,
                            int32_t size, int32_t flags) {
    print_prompt(narrow(prompt, prompt_len), flags);
    std::string line;
    const bool ok = read_line(line);
    screen().line_read(flags);
    if (buffer != nullptr && size > 0) {
        const size_t n = ok ? std::min(line.size(), static_cast<size_t>(size - 1)) : 0;
        for (size_t i = 0; i < n; ++i) buffer[i] = static_cast<unsigned char>(line[i]);
        buffer[n] = 0;
    }
    return rt_set_error(ok ? RT_OK : RT_ERR_MEMORY);
}

int32_t tty_read_xy(int32_t, int32_t, int32_t) { return 0; }

void tty_sleep(int32_t ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    else if (ms < 0)
        wait_for_input();
}

int32_t tty_is_redirected() {
    return (stdin_is_terminal() && stdout_is_terminal()) ? 0 : 1;
}

int32_t tty_page_copy(int32_t, int32_t) { return rt_set_error(RT_ERR_ARGUMENT); }
int32_t tty_page_set(int32_t, int32_t) { return -1; }

constexpr ConsoleHooks kConsole = {
    tty_inkey,      tty_getkey,        tty_keyhit,      tty_cls,
    tty_color,      tty_locate,        tty_width,       tty_get_x,
    tty_get_y,      tty_get_xy,        tty_get_size,    tty_print_buffer,
    tty_print_buffer_wide, tty_read_str, tty_multikey,  tty_get_mouse,
    tty_set_mouse,  tty_port_in,       tty_port_out,    tty_view_update,
    tty_line_input, tty_line_input_wide, tty_read_xy,   tty_sleep,
    tty_is_redirected, tty_page_copy,  tty_page_set,
};

}  // namespace

const ConsoleHooks& console_hooks() { return kConsole; }

void reset() {
    screen().reset();
    reset_input();
}

void restore_terminal() {
    restore_input_mode();
    screen().restore();
}

}  // namespace lichtbox::tty
