// The text-window console on Windows. A console window is driven through
// the console API: code page 437 both ways, ANSI sequences switched on for
// output, and keys read as key records that go through the same key
// translation as the graphics window's (so both give the same key texts).
// Redirected stdin (a pipe or a file) is read as bytes like a terminal's.
#include <windows.h>

#include <cstdio>
#include <deque>
#include <mutex>
#include <string>

#include "runtime/input_buffer.h"
#include "runtime/keyboard_win32.h"
#include "runtime/runtime_internal.h"
#include "runtime/tty_console.h"

namespace lichtbox::tty {
namespace {

HANDLE std_handle(DWORD which) { return GetStdHandle(which); }

bool is_console(HANDLE h, DWORD* mode = nullptr) {
    DWORD m = 0;
    if (h == nullptr || h == INVALID_HANDLE_VALUE || !GetConsoleMode(h, &m)) return false;
    if (mode) *mode = m;
    return true;
}

// What the console looked like before the runtime changed it.
struct SavedConsole {
    bool code_pages = false;
    UINT input_cp = 0;
    UINT output_cp = 0;
    bool output_mode = false;
    DWORD out_mode = 0;
    bool raw = false;
    DWORD in_mode = 0;
};

std::mutex g_console_mutex;
SavedConsole g_saved;
bool g_ansi_output = false;

// Code page 437 in and out, and ANSI sequences on the output console. Once.
void set_up_console() {
    std::lock_guard<std::mutex> lock(g_console_mutex);
    win32::use_system_keyboard_layout();
    if (g_saved.code_pages) return;
    if (is_console(std_handle(STD_INPUT_HANDLE)) || is_console(std_handle(STD_OUTPUT_HANDLE))) {
        g_saved.input_cp = GetConsoleCP();
        g_saved.output_cp = GetConsoleOutputCP();
        g_saved.code_pages = true;
        SetConsoleCP(437);
        SetConsoleOutputCP(437);
        register_final_handler();
    }
    DWORD mode = 0;
    HANDLE out = std_handle(STD_OUTPUT_HANDLE);
    if (is_console(out, &mode)) {
        g_saved.out_mode = mode;
        g_saved.output_mode = true;
        g_ansi_output = SetConsoleMode(out, mode | ENABLE_PROCESSED_OUTPUT |
                                                ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
    }
}

// Reads bytes from redirected stdin within timeout_ms (-1: as long as it
// takes). Pipes are peeked so that a short wait does not block.
int fill_from_stdin(std::string& into, int timeout_ms) {
    HANDLE in = std_handle(STD_INPUT_HANDLE);
    if (in == nullptr || in == INVALID_HANDLE_VALUE) return -1;
    if (GetFileType(in) == FILE_TYPE_PIPE && timeout_ms >= 0) {
        const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
        for (;;) {
            DWORD available = 0;
            if (!PeekNamedPipe(in, nullptr, 0, nullptr, &available, nullptr)) return -1;
            if (available > 0) break;
            if (GetTickCount64() >= until) return 0;
            Sleep(1);
        }
    }
    char buf[256];
    DWORD n = 0;
    if (!ReadFile(in, buf, sizeof buf, &n, nullptr) || n == 0) return -1;
    into.append(buf, n);
    return static_cast<int>(n);
}

std::mutex g_input_mutex;
InputBuffer g_input(fill_from_stdin);
std::deque<int32_t> g_keys;  // key codes from console key records

// Console: turns the key records that arrive within timeout_ms (-1: as
// long as it takes) into key codes. Returns the number of codes added, 0
// when none came, -1 when the console fails.
int fill_keys(HANDLE in, int timeout_ms) {
    const DWORD r = WaitForSingleObject(in, timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms));
    if (r == WAIT_TIMEOUT) return 0;
    if (r != WAIT_OBJECT_0) return -1;
    INPUT_RECORD records[32];
    DWORD count = 0;
    if (!ReadConsoleInputA(in, records, 32, &count)) return -1;
    int added = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (records[i].EventType != KEY_EVENT) continue;
        const KEY_EVENT_RECORD& k = records[i].Event.KeyEvent;
        if (!k.bKeyDown) continue;
        const int32_t code = win32::console_key_code(static_cast<uint8_t>(k.uChar.AsciiChar),
                                                     k.wVirtualScanCode, k.wVirtualKeyCode,
                                                     k.dwControlKeyState);
        if (code <= 0) continue;  // modifier keys and keys without a code
        for (WORD n = 0; n < (k.wRepeatCount > 0 ? k.wRepeatCount : 1); ++n) g_keys.push_back(code);
        added += k.wRepeatCount > 0 ? k.wRepeatCount : 1;
    }
    return added;
}

// Takes a console key; waits for one when asked.
int32_t take_console_key(HANDLE in, bool wait) {
    for (;;) {
        if (!g_keys.empty()) {
            const int32_t code = g_keys.front();
            g_keys.pop_front();
            return code;
        }
        const int r = fill_keys(in, wait ? -1 : 0);
        if (r < 0 || (r == 0 && !wait)) return 0;
    }
}

}  // namespace

bool stdin_is_terminal() { return is_console(std_handle(STD_INPUT_HANDLE)); }

bool stdout_is_terminal() {
    set_up_console();
    std::lock_guard<std::mutex> lock(g_console_mutex);
    return g_ansi_output && is_console(std_handle(STD_OUTPUT_HANDLE));
}

void write_stdout(const std::string& bytes) {
    if (bytes.empty()) return;
    std::fflush(stdout);  // keep the order with anything printed through stdio
    HANDLE out = std_handle(STD_OUTPUT_HANDLE);
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        if (!WriteFile(out, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n, nullptr) || n == 0)
            return;  // nowhere to report to; the text is lost
        done += n;
    }
}

// Keys one by one without echo; Ctrl+C still ends the program.
RawInput::RawInput() {
    HANDLE in = std_handle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!is_console(in, &mode)) return;
    std::lock_guard<std::mutex> lock(g_console_mutex);
    if (g_saved.raw) return;
    register_final_handler();
    g_saved.in_mode = mode;
    g_saved.raw = true;
    if (!SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT))) {
        g_saved.raw = false;
        return;
    }
    active_ = true;
}

RawInput::~RawInput() {
    if (!active_) return;
    std::lock_guard<std::mutex> lock(g_console_mutex);
    if (g_saved.raw) SetConsoleMode(std_handle(STD_INPUT_HANDLE), g_saved.in_mode);
    g_saved.raw = false;
}

void restore_input_mode() {
    std::lock_guard<std::mutex> lock(g_console_mutex);
    if (g_saved.raw) SetConsoleMode(std_handle(STD_INPUT_HANDLE), g_saved.in_mode);
    g_saved.raw = false;
    if (g_saved.output_mode) SetConsoleMode(std_handle(STD_OUTPUT_HANDLE), g_saved.out_mode);
    g_saved.output_mode = false;
    g_ansi_output = false;
    if (g_saved.code_pages) {
        SetConsoleCP(g_saved.input_cp);
        SetConsoleOutputCP(g_saved.output_cp);
    }
    g_saved.code_pages = false;
}

int32_t take_key(bool wait) {
    set_up_console();
    std::lock_guard<std::mutex> lock(g_input_mutex);
    HANDLE in = std_handle(STD_INPUT_HANDLE);
    if (!is_console(in)) return g_input.take_key(wait);
    RawInput raw;
    return take_console_key(in, wait);
}

int32_t key_waiting() {
    set_up_console();
    std::lock_guard<std::mutex> lock(g_input_mutex);
    HANDLE in = std_handle(STD_INPUT_HANDLE);
    if (!is_console(in)) return g_input.key_waiting();
    RawInput raw;
    if (g_keys.empty()) fill_keys(in, 0);
    return g_keys.empty() ? 0 : 1;
}

void wait_for_input() {
    std::lock_guard<std::mutex> lock(g_input_mutex);
    HANDLE in = std_handle(STD_INPUT_HANDLE);
    if (!is_console(in)) {
        g_input.wait();
        return;
    }
    RawInput raw;
    WaitForSingleObject(in, INFINITE);
}

bool read_line(std::string& line) {
    set_up_console();
    std::lock_guard<std::mutex> lock(g_input_mutex);
    // Characters typed before the line read start the line.
    std::string typed;
    for (const int32_t code : g_keys)
        if (code < 256) typed.push_back(static_cast<char>(code));
    g_keys.clear();
    g_input.push_front(typed);
    return g_input.read_line(line);
}

void reset_input() {
    set_up_console();
    std::lock_guard<std::mutex> lock(g_input_mutex);
    g_input.clear();
    g_keys.clear();
}

}  // namespace lichtbox::tty
