// The hook table and the public console services: routing to a filled
// table, falling back to the console versions, gfx_locate's validation and
// gfx_print's line ends and print zones.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/runtime.h"
#include "runtime/tty_console.h"

namespace {

// ---- A fake table that records every call --------------------------------

std::vector<std::string> g_calls;
std::string g_printed;  // bytes given to print_buffer
int32_t g_fake_cols = 80;
int32_t g_fake_rows = 30;
RuntimeString g_fake_key = {const_cast<char*>("k"), 1, 2};
ConsoleHooks g_second = {};  // another table, installed by some fakes

std::string args(std::initializer_list<int64_t> values) {
    std::string s;
    for (int64_t v : values) {
        // Appended piecewise: GCC 12 at -O3 falsely reports -Wrestrict for
        // a literal plus a temporary string.
        if (!s.empty()) s += ',';
        s += std::to_string(v);
    }
    return s;
}
void record(const std::string& name, std::initializer_list<int64_t> values = {}) {
    g_calls.push_back(name + "(" + args(values) + ")");
}

RuntimeString* fake_inkey() { record("inkey"); return &g_fake_key; }
int32_t fake_getkey() { record("getkey"); return 0x3BFF; }
int32_t fake_keyhit() { record("keyhit"); return 7; }
void fake_cls(int32_t mode) { record("cls", {mode}); }
uint32_t fake_color(uint32_t fg, uint32_t bg, int32_t flags) {
    record("color", {fg, bg, flags});
    return 0xDEADBEEFu;
}
int32_t fake_locate(int32_t row, int32_t col, int32_t cursor) {
    record("locate", {row, col, cursor});
    return 0x1234;
}
int32_t fake_width(int32_t cols, int32_t rows) { record("width", {cols, rows}); return 0x1E0050; }
int32_t fake_get_x() { record("get_x"); return 11; }
int32_t fake_get_y() { record("get_y"); return 12; }
void fake_get_xy(int32_t* col, int32_t* row) {
    record("get_xy");
    *col = 3;
    *row = 4;
}
void fake_get_size(int32_t* cols, int32_t* rows) {
    if (cols) *cols = g_fake_cols;
    if (rows) *rows = g_fake_rows;
}
void fake_print_buffer(const char* bytes, int32_t len, int32_t mask) {
    record("print_buffer", {len, mask});
    g_printed.append(bytes, static_cast<size_t>(len));
}
void fake_print_buffer_wide(const uint16_t* units, int32_t len, int32_t mask) {
    record("print_buffer_wide", {units[0], len, mask});
}
char* fake_read_str(char* buffer, int32_t size) {
    record("read_str", {size});
    return buffer + 1;
}
int32_t fake_multikey(int32_t sc) { record("multikey", {sc}); return -1; }
int32_t fake_get_mouse(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons, int32_t* clip) {
    record("get_mouse");
    *x = 10;
    *y = 20;
    *wheel = 30;
    *buttons = 40;
    *clip = 50;
    return 0;
}
int32_t fake_set_mouse(int32_t x, int32_t y, int32_t cursor, int32_t clip) {
    record("set_mouse", {x, y, cursor, clip});
    return 5;
}
int32_t fake_port_in(int32_t port) { record("port_in", {port}); return port + 1; }
int32_t fake_port_out(int32_t port, int32_t value) {
    record("port_out", {port, value});
    return value * 2;
}
void fake_view_update() { record("view_update"); }
RuntimeString* g_seen_prompt = nullptr;
RuntimeString* g_seen_target = nullptr;
int32_t fake_line_input(RuntimeString* prompt, RuntimeString* target, int32_t flags) {
    record("line_input", {flags});
    g_seen_prompt = prompt;
    g_seen_target = target;
    return 9;
}
int32_t fake_line_input_wide(const uint16_t* prompt, int32_t prompt_len, uint16_t* buffer,
                             int32_t size, int32_t flags) {
    record("line_input_wide", {prompt[0], prompt_len, size, flags});
    buffer[0] = 'w';
    return 10;
}
int32_t fake_read_xy(int32_t col, int32_t row, int32_t flag) {
    record("read_xy", {col, row, flag});
    return 65;
}
void fake_sleep(int32_t ms) { record("sleep", {ms}); }
int32_t fake_is_redirected() { record("is_redirected"); return 0; }
int32_t fake_page_copy(int32_t src, int32_t dst) { record("page_copy", {src, dst}); return 3; }
int32_t fake_page_set(int32_t work, int32_t visible) {
    record("page_set", {work, visible});
    return 0x0102;
}

constexpr ConsoleHooks kFake = {
    fake_inkey,      fake_getkey,       fake_keyhit,       fake_cls,
    fake_color,      fake_locate,       fake_width,        fake_get_x,
    fake_get_y,      fake_get_xy,       fake_get_size,     fake_print_buffer,
    fake_print_buffer_wide, fake_read_str, fake_multikey,  fake_get_mouse,
    fake_set_mouse,  fake_port_in,      fake_port_out,     fake_view_update,
    fake_line_input, fake_line_input_wide, fake_read_xy,   fake_sleep,
    fake_is_redirected, fake_page_copy, fake_page_set,
};

class ConsoleServices : public ::testing::Test {
protected:
    void SetUp() override {
        g_calls.clear();
        g_printed.clear();
        g_fake_cols = 80;
        g_fake_rows = 30;
        rt_set_text_view(-1, -1);
        rt_set_print_column(0);
        rt_set_error(0);
        rt_hooks_install(&kFake);
    }
    void TearDown() override {
        rt_hooks_install(nullptr);
        rt_set_text_view(-1, -1);
        rt_set_print_column(0);
        lichtbox::tty::reset();
    }
};

bool all_slots_null(const ConsoleHooks* h) {
    const ConsoleHooks empty = {};
    return std::memcmp(h, &empty, sizeof empty) == 0;
}

// ---- The table ----------------------------------------------------------

TEST(HookTable, IsOneBlockOf27Pointers) {
    EXPECT_EQ(sizeof(ConsoleHooks), 27 * sizeof(void*));
    EXPECT_EQ(RT_HOOK_COUNT, 27);
}

TEST_F(ConsoleServices, InstallCopiesTheTableAndNullClearsIt) {
    ConsoleHooks local = kFake;
    rt_hooks_install(&local);
    local.sleep = nullptr;  // the runtime keeps its own copy
    EXPECT_EQ(rt_hooks()->sleep, fake_sleep);
    EXPECT_EQ(std::memcmp(rt_hooks(), &kFake, sizeof kFake), 0);
    rt_hooks_install(nullptr);
    EXPECT_TRUE(all_slots_null(rt_hooks()));
}

TEST_F(ConsoleServices, EveryServiceReachesItsSlotUnchanged) {
    EXPECT_EQ(gfx_inkey(), &g_fake_key);
    EXPECT_EQ(gfx_getkey(), 0x3BFF);
    EXPECT_EQ(gfx_keyhit(), 7);
    gfx_cls(RT_CLS_DEFAULT);
    EXPECT_EQ(gfx_color(0xFF000001u, 0xFFFF00FFu, 2), 0xDEADBEEFu);
    EXPECT_EQ(gfx_width(-5, 50), 0x1E0050);
    EXPECT_EQ(gfx_get_x(), 11);
    EXPECT_EQ(gfx_get_y(), 12);
    int32_t col = 0, row = 0;
    gfx_get_xy(&col, &row);
    EXPECT_EQ(col * 10 + row, 34);
    gfx_get_size(&col, &row);
    EXPECT_EQ(col, 80);
    EXPECT_EQ(row, 30);
    gfx_print_buffer("hello", 5, 0x8);
    const uint16_t wide[] = {0x263A};
    gfx_print_buffer_wide(wide, 1, 1);
    char buffer[8];
    EXPECT_EQ(gfx_read_str(buffer, 8), buffer + 1);
    EXPECT_EQ(gfx_multikey(72), -1);
    int32_t m[5] = {};
    EXPECT_EQ(gfx_get_mouse(&m[0], &m[1], &m[2], &m[3], &m[4]), 0);
    EXPECT_EQ(m[0] + m[1] + m[2] + m[3] + m[4], 150);
    EXPECT_EQ(gfx_set_mouse(-1, 2, 0, 1), 5);
    EXPECT_EQ(gfx_port_in(986), 987);
    EXPECT_EQ(gfx_port_out(969, 21), 42);
    gfx_view_update();
    RuntimeString target = {};
    RuntimeString* prompt = rt_str_temp_cstr("Name");
    EXPECT_EQ(gfx_line_input(prompt, &target, RT_INPUT_QUESTION), 9);
    EXPECT_EQ(g_seen_prompt, prompt);  // the hook owns the temporary now
    EXPECT_EQ(g_seen_target, &target);
    rt_str_release_temp(prompt);
    const uint16_t wprompt[] = {'P'};
    uint16_t wbuf[4] = {};
    EXPECT_EQ(gfx_line_input_wide(wprompt, 1, wbuf, 4, 3), 10);
    EXPECT_EQ(wbuf[0], 'w');
    EXPECT_EQ(gfx_read_xy(80, 30, 2), 65);
    gfx_sleep(-1);
    EXPECT_EQ(gfx_is_redirected(), 0);
    EXPECT_EQ(gfx_page_copy(2, 3), 3);
    EXPECT_EQ(gfx_page_set(1, -1), 0x0102);

    const std::vector<std::string> expected = {
        "inkey()", "getkey()", "keyhit()", "cls(-2147483648)",
        "color(4278190081,4294902015,2)", "width(-5,50)", "get_x()", "get_y()", "get_xy()",
        "print_buffer(5,8)", "print_buffer_wide(9786,1,1)", "read_str(8)", "multikey(72)",
        "get_mouse()", "set_mouse(-1,2,0,1)", "port_in(986)", "port_out(969,21)", "view_update()",
        "line_input(1)", "line_input_wide(80,1,4,3)", "read_xy(80,30,2)", "sleep(-1)",
        "is_redirected()", "page_copy(2,3)", "page_set(1,-1)",
    };
    EXPECT_EQ(g_calls, expected);
    EXPECT_EQ(g_printed, "hello");
}

// A hook that replaces the table while it runs still answers its own call.
int32_t mouse_that_clears_the_table(int32_t* x, int32_t* y, int32_t* wheel, int32_t* buttons,
                                    int32_t* clip) {
    record("clearing get_mouse");
    rt_hooks_install(nullptr);
    *x = *y = *wheel = *buttons = *clip = 7;
    return 0;
}
RuntimeString* inkey_that_swaps_the_table() {
    record("swapping inkey");
    g_second = kFake;
    rt_hooks_install(&g_second);
    return &g_fake_key;
}

TEST_F(ConsoleServices, SlotIsReadOncePerCall) {
    ConsoleHooks table = kFake;
    table.get_mouse = mouse_that_clears_the_table;
    rt_hooks_install(&table);
    int32_t m[5] = {};
    rt_set_error(0);
    EXPECT_EQ(gfx_get_mouse(&m[0], &m[1], &m[2], &m[3], &m[4]), 0);
    for (int32_t v : m) EXPECT_EQ(v, 7);  // the console version did not run after it
    EXPECT_EQ(rt_get_error(), 0);
    EXPECT_TRUE(all_slots_null(rt_hooks()));

    table = kFake;
    table.inkey = inkey_that_swaps_the_table;
    rt_hooks_install(&table);
    EXPECT_EQ(gfx_inkey(), &g_fake_key);
    EXPECT_EQ(gfx_inkey(), &g_fake_key);  // now the swapped-in table answers
    EXPECT_EQ(g_calls, (std::vector<std::string>{"clearing get_mouse()", "swapping inkey()", "inkey()"}));
}

TEST_F(ConsoleServices, ClearedTableRunsTheConsoleVersions) {
    rt_hooks_install(nullptr);
    lichtbox::tty::reset();
    int32_t cols = 0, rows = 0;
    gfx_get_size(&cols, &rows);
    EXPECT_EQ(cols, 80);
    EXPECT_EQ(rows, 25);
    EXPECT_EQ(gfx_multikey(30), 0);
    EXPECT_EQ(gfx_page_set(0, 1), -1);
    rt_set_error(0);
    EXPECT_EQ(gfx_page_copy(0, 1), RT_ERR_ARGUMENT);
    EXPECT_EQ(rt_get_error(), RT_ERR_ARGUMENT);
    EXPECT_EQ(gfx_port_in(969), 0);
    EXPECT_EQ(gfx_port_out(968, 1), 0);
    EXPECT_EQ(gfx_read_xy(1, 1, 0), 0);
    int32_t x = 0, y = 0, wheel = 0;
    rt_set_error(0);
    EXPECT_EQ(gfx_get_mouse(&x, &y, &wheel, nullptr, nullptr), RT_ERR_ARGUMENT);
    EXPECT_EQ(rt_get_error(), RT_ERR_ARGUMENT);
    EXPECT_EQ(x, -1);
    EXPECT_EQ(y, -1);
    EXPECT_EQ(wheel, -1);
    rt_set_error(0);
    EXPECT_EQ(gfx_set_mouse(1, 1, 1, 0), RT_ERR_ARGUMENT);
    EXPECT_EQ(gfx_width(0, 0), 80 | (25 << 16));
    EXPECT_EQ(gfx_width(40, 0), 80 | (25 << 16));
    EXPECT_EQ(gfx_width(0, 50), 40 | (25 << 16));
    EXPECT_EQ(gfx_width(-1, -1), 40 | (50 << 16));
    gfx_sleep(0);
    gfx_view_update();
    EXPECT_TRUE(g_calls.empty());
}

// ---- gfx_locate ----------------------------------------------------------

TEST_F(ConsoleServices, LocateValidatesAgainstViewAndWidth) {
    struct Case {
        const char* name;
        int32_t top, bottom;  // text view (-1: not set)
        int32_t rows;         // rows answered by get_size
        int32_t row, col;
        bool valid;
    };
    const Case cases[] = {
        {"top left", -1, -1, 30, 1, 1, true},
        {"bottom right", -1, -1, 30, 30, 80, true},
        {"row below the screen", -1, -1, 30, 31, 1, false},
        {"column past the width", -1, -1, 30, 1, 81, false},
        {"negative row", -1, -1, 30, -1, 0, false},
        {"negative column", -1, -1, 30, 0, -3, false},
        {"only a column", -1, -1, 30, 0, 5, true},
        {"only a row", -1, -1, 30, 7, 0, true},
        {"nothing given", -1, -1, 30, 0, 0, true},
        {"view top row", 4, 9, 30, 5, 1, true},
        {"view bottom row", 4, 9, 30, 10, 1, true},
        {"above the view", 4, 9, 30, 4, 1, false},
        {"below the view", 4, 9, 30, 11, 1, false},
        {"no row count: 25 rows", -1, -1, 0, 25, 1, true},
        {"no row count: row 26", -1, -1, 0, 26, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_calls.clear();
        g_fake_rows = c.rows;
        rt_set_text_view(c.top, c.bottom);
        rt_set_print_column(33);
        rt_set_error(0);
        const int32_t result = gfx_locate(c.row, c.col, 1);
        EXPECT_EQ(result, 0x1234);
        if (c.valid) {
            EXPECT_EQ(rt_get_error(), 0);
            EXPECT_EQ(g_calls, (std::vector<std::string>{"locate(" + args({c.row, c.col, 1}) + ")"}));
            EXPECT_EQ(rt_print_column(), c.col != 0 ? c.col - 1 : 33);
        } else {
            EXPECT_EQ(rt_get_error(), RT_ERR_ARGUMENT);
            EXPECT_EQ(g_calls, (std::vector<std::string>{"locate(0,0,1)"}));
            EXPECT_EQ(rt_print_column(), 33);
        }
    }
}

TEST_F(ConsoleServices, LocateKeepsTheCursorArgumentOnRetry) {
    EXPECT_EQ(gfx_locate(99, 99, -7), 0x1234);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"locate(0,0,-7)"}));
}

// ---- gfx_print ------------------------------------------------------------

TEST_F(ConsoleServices, PrintTextAndLineEnds) {
    const struct {
        int32_t mask;
        const char* out;
    } cases[] = {
        {0, "Hi"},
        {RT_PRINT_NEWLINE, "Hi\r\n"},
        {RT_PRINT_NEWLINE2, "Hi\r\n"},
        {RT_PRINT_NEWLINE | RT_PRINT_ZONE, "Hi\r\n"},  // the line end wins
    };
    const int32_t before = rt_str_temps_in_use();
    for (const auto& c : cases) {
        g_printed.clear();
        EXPECT_EQ(gfx_print(0, rt_str_temp_cstr("Hi"), c.mask), 0);
        EXPECT_EQ(g_printed, c.out);
        EXPECT_EQ(rt_str_temps_in_use(), before);
    }
    // An empty string prints only the line end; its bytes never reach the
    // print service as an empty call.
    g_calls.clear();
    g_printed.clear();
    gfx_print(0, rt_str_temp_cstr(""), RT_PRINT_NEWLINE);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"print_buffer(2,0)"}));
    g_calls.clear();
    gfx_print(0, nullptr, 0);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(ConsoleServices, PrintZones) {
    const struct {
        int32_t column;  // print column before (0-based)
        int32_t width;
        std::string out;
    } cases[] = {
        {0, 80, std::string(14, ' ')},
        {13, 80, " "},
        {14, 80, std::string(14, ' ')},
        {52, 80, std::string(4, ' ')},
        {60, 80, "\r\n"},  // zone 71 would not leave 14 columns
        {65, 80, "\r\n"},
        {66, 80, "\r\n"},
        {0, 10, std::string(14, ' ')},  // narrower than a zone: no wrap rule
        {27, 40, "\r\n"},
        {13, 40, " "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.column) + " of " + std::to_string(c.width));
        g_printed.clear();
        g_fake_cols = c.width;
        rt_set_print_column(c.column);
        EXPECT_EQ(gfx_print(0, nullptr, RT_PRINT_ZONE), 0);
        EXPECT_EQ(g_printed, c.out);
    }
}

TEST_F(ConsoleServices, PrintToAFileIsRefused) {
    const int32_t before = rt_str_temps_in_use();
    EXPECT_EQ(gfx_print(1, rt_str_temp_cstr("lost"), RT_PRINT_NEWLINE), RT_ERR_ARGUMENT);
    EXPECT_EQ(rt_get_error(), RT_ERR_ARGUMENT);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(rt_str_temps_in_use(), before);
}

TEST_F(ConsoleServices, PrintKeepsCallerOwnedStrings) {
    RuntimeString owned = {};
    ASSERT_EQ(rt_str_assign(&owned, "own", 3), 0);
    gfx_print(0, &owned, 0);
    EXPECT_EQ(g_printed, "own");
    EXPECT_STREQ(owned.data, "own");
    rt_str_free(&owned);
}

}  // namespace
