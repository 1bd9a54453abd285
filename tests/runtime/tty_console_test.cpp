// The text-window console on a real pseudo-terminal and on pipes: printed
// bytes and escape sequences, key decoding, line input and the terminal
// mode being put back.
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "child_process.h"
#include "runtime/runtime.h"
#include "runtime/tty_console.h"

namespace {

using lichtbox::test::ChildOptions;
using lichtbox::test::hex;
using lichtbox::test::run_child;

ChildOptions on_terminal(const std::string& input = "") {
    ChildOptions o;
    o.input = input;
    return o;
}

ChildOptions on_pipes(const std::string& input = "") {
    ChildOptions o;
    o.stdin_terminal = false;
    o.stdout_terminal = false;
    o.input = input;
    return o;
}

std::string take_inkey() {
    RuntimeString* s = gfx_inkey();
    const std::string bytes = s->data ? std::string(s->data, static_cast<size_t>(rt_str_len(s))) : "";
    rt_str_release_temp(s);
    // Built by appending: GCC 12 at -O3 falsely reports -Wrestrict for
    // "literal" + temporary string.
    std::string text = "[";
    text += hex(bytes);
    text += ']';
    return text;
}

std::string num(int64_t v) { return std::to_string(v); }

bool same_mode(const termios& a, const termios& b) {
    return a.c_lflag == b.c_lflag && a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag &&
           a.c_cc[VMIN] == b.c_cc[VMIN] && a.c_cc[VTIME] == b.c_cc[VTIME];
}

// ---- Output ------------------------------------------------------------------

TEST(TtyConsoleOutput, PrintAndLineEndOnATerminal) {
    const auto r = run_child(on_terminal(), [] {
        gfx_print(0, rt_str_temp_cstr("AB"), RT_PRINT_NEWLINE);
        return num(gfx_get_x()) + "," + num(gfx_get_y()) + "," + num(rt_print_column());
    });
    EXPECT_EQ(r.output, "AB\r\n");
    EXPECT_EQ(r.report, "1,2,0");
}

TEST(TtyConsoleOutput, LocateColorAndClsSendEscapeSequencesToATerminal) {
    const auto r = run_child(on_terminal(), [] {
        std::string rep;
        rep += num(gfx_locate(3, 5, -1)) + ",";
        gfx_print(0, rt_str_temp_cstr("X"), 0);
        rep += num(gfx_get_x()) + "," + num(gfx_get_y()) + ",";
        rep += num(static_cast<int64_t>(gfx_color(14, 1, 0))) + ",";
        rep += num(static_cast<int64_t>(gfx_color(0, 12, 1))) + ",";  // background only
        gfx_cls(0);
        rep += num(gfx_get_x()) + "," + num(gfx_get_y());
        return rep;
    });
    EXPECT_EQ(r.output, "\x1b[3;5HX\x1b[93;44m\x1b[93;101m\x1b[2J\x1b[1;1H");
    EXPECT_EQ(r.report, num(5 | (3 << 8)) + ",6,3,7," + num(14 | (1 << 16)) + ",1,1");
}

TEST(TtyConsoleOutput, APipeGetsOnlyTheText) {
    const auto r = run_child(on_pipes(), [] {
        gfx_locate(3, 5, 0);
        gfx_color(14, 1, 0);
        gfx_cls(RT_CLS_DEFAULT);
        gfx_print(0, rt_str_temp_cstr("AB"), RT_PRINT_NEWLINE);
        gfx_print(0, rt_str_temp_cstr(std::string(80, 'x').c_str()), 0);
        gfx_print(0, rt_str_temp_cstr("y"), 0);
        return num(gfx_get_x()) + "," + num(gfx_get_y()) + "," + num(gfx_is_redirected());
    });
    EXPECT_EQ(r.output, "AB\r\n" + std::string(80, 'x') + "y");
    EXPECT_EQ(r.report, "2,3,1");
}

TEST(TtyConsoleOutput, FullRowWrapsOnATerminalOnlyWhenMoreTextFollows) {
    const auto r = run_child(on_terminal(), [] {
        gfx_print_buffer(std::string(80, 'x').c_str(), 80, 0);
        std::string rep = num(gfx_get_x()) + "," + num(gfx_get_y()) + ";";
        gfx_print_buffer("y\a\t|", 4, 0);
        rep += num(gfx_get_x()) + "," + num(gfx_get_y()) + "," + num(gfx_is_redirected());
        return rep;
    });
    EXPECT_EQ(r.output, std::string(80, 'x') + "\r\ny\a       |");
    EXPECT_EQ(r.report, "1,2;10,2,0");
}

TEST(TtyConsoleOutput, BottomRowScrollsLikeTheScreen) {
    const auto r = run_child(on_pipes(), [] {
        gfx_locate(25, 1, -1);
        gfx_print(0, rt_str_temp_cstr(std::string(80, 'b').c_str()), 0);
        std::string rep = num(gfx_get_x()) + "," + num(gfx_get_y()) + ";";  // parked
        gfx_print(0, rt_str_temp_cstr("c"), RT_PRINT_NEWLINE);
        rep += num(gfx_get_x()) + "," + num(gfx_get_y());
        return rep;
    });
    EXPECT_EQ(r.report, "80,25;1,25");
}

TEST(TtyConsoleOutput, PrintZonesFollowTheTrackedColumn) {
    const auto r = run_child(on_pipes(), [] {
        const int32_t temps = rt_str_temps_in_use();
        gfx_print(0, rt_str_temp_cstr("ab"), RT_PRINT_ZONE);
        gfx_print(0, rt_str_temp_cstr("c"), RT_PRINT_ZONE);
        gfx_locate(0, 70, -1);
        gfx_print(0, rt_str_temp_cstr("d"), RT_PRINT_ZONE);
        gfx_print(0, rt_str_temp_cstr("e"), RT_PRINT_NEWLINE);
        return num(rt_print_column()) + "," + num(rt_str_temps_in_use() - temps);
    });
    EXPECT_EQ(r.output, "ab" + std::string(12, ' ') + "c" + std::string(13, ' ') + "d\r\ne\r\n");
    EXPECT_EQ(r.report, "0,0");
}

TEST(TtyConsoleOutput, WidePrintNarrowsUnits) {
    const auto r = run_child(on_pipes(), [] {
        const uint16_t units[] = {'A', 0x00E4, 0x263A, 0xD83D, 0xDE00, 'Z'};
        gfx_print_buffer_wide(units, 6, 0);
        return std::string();
    });
    EXPECT_EQ(hex(r.output), "41e43f3f5a");
}

TEST(TtyConsoleOutput, LocateOutsideTheViewIsRetriedInPlace) {
    const auto r = run_child(on_terminal(), [] {
        gfx_locate(2, 2, -1);
        const int32_t at = gfx_locate(26, 1, -1);
        return num(at) + "," + num(rt_get_error());
    });
    EXPECT_EQ(r.output, "\x1b[2;2H\x1b[2;2H");
    EXPECT_EQ(r.report, num(2 | (2 << 8)) + ",1");
}

// ---- Keys --------------------------------------------------------------------

TEST(TtyConsoleKeys, EscapeSequencesBecomeExtendedKeys) {
    const std::string typed = std::string("a") + "\x1bOP" + "\x1b[A" + "\x1b[15~" + "\x1b[3~" +
                              "\x1b[[A" + "\x1b" + "x" + "\x1b[6~" + "\x1bOH";
    const auto r = run_child(on_terminal(typed), [] {
        termios before{};
        ::tcgetattr(STDIN_FILENO, &before);
        gfx_sleep(-1);  // returns once the typed keys have arrived
        std::string rep = num(gfx_keyhit()) + ";";
        rep += take_inkey();                  // a
        rep += take_inkey();                  // F1
        rep += num(gfx_getkey()) + ";";       // Up
        rep += take_inkey();                  // F5
        rep += num(gfx_getkey()) + ";";       // Delete
        rep += take_inkey();                  // F1, Linux console form
        rep += num(gfx_getkey()) + ";";       // a lone Escape...
        rep += take_inkey();                  // ...and the x after it
        rep += take_inkey();                  // PageDown
        rep += num(gfx_getkey()) + ";";       // Home
        rep += num(gfx_keyhit()) + ";";
        rep += take_inkey();                  // nothing left
        termios after{};
        ::tcgetattr(STDIN_FILENO, &after);
        rep += same_mode(before, after) ? "restored" : "changed";
        return rep;
    });
    EXPECT_EQ(r.report, "1;[61][ff3b]" + num(0x48FF) + ";[ff3f]" + num(0x53FF) + ";[ff3b]27;[78][ff51]" +
                            num(0x47FF) + ";0;[]restored");
    EXPECT_EQ(r.exit_code, 0);
}

TEST(TtyConsoleKeys, PipedInputAndItsEnd) {
    const auto r = run_child(on_pipes(std::string("\x1b[A") + "z" + "\r"), [] {
        std::string rep = num(gfx_getkey()) + ";";
        rep += take_inkey();
        rep += take_inkey();
        rep += num(gfx_getkey()) + ";";  // the input has ended
        rep += num(gfx_keyhit()) + ";";
        rep += take_inkey();
        gfx_sleep(-1);  // ends at once at the end of the input
        return rep;
    });
    EXPECT_EQ(r.report, num(0x48FF) + ";[7a][0d]0;0;[]");
}

TEST(TtyConsoleKeys, EnterReadsAs13AndKeyhitDoesNotTakeTheKey) {
    ChildOptions o = on_terminal();
    o.late_input = "\r";  // typed while raw input is on, as a user would
    const auto r = run_child(o, [] {
        lichtbox::tty::RawInput raw;
        lichtbox::test::signal_ready();
        gfx_sleep(-1);
        std::string rep = num(gfx_keyhit()) + num(gfx_keyhit()) + ";";
        rep += num(gfx_getkey());
        return rep;
    });
    EXPECT_EQ(r.report, "11;13");
}

// ---- Terminal mode -------------------------------------------------------------

TEST(TtyConsoleMode, RawInputIsUndoneByTheGuard) {
    const auto r = run_child(on_terminal(), [] {
        termios before{}, during{}, after{};
        ::tcgetattr(STDIN_FILENO, &before);
        {
            lichtbox::tty::RawInput raw;
            ::tcgetattr(STDIN_FILENO, &during);
            lichtbox::tty::RawInput nested;  // already raw: does nothing
            if (nested.active()) return std::string("nested");
            if (!raw.active()) return std::string("inactive");
        }
        ::tcgetattr(STDIN_FILENO, &after);
        std::string rep = (during.c_lflag & ICANON) ? "canonical;" : "raw;";
        rep += same_mode(before, after) ? "restored" : "changed";
        return rep;
    });
    EXPECT_EQ(r.report, "raw;restored");
}

TEST(TtyConsoleMode, ExitWhileRawRestoresTheTerminal) {
    ChildOptions o = on_terminal();
    o.echo = true;
    o.keep_terminal = true;
    const auto r = run_child(o, []() -> std::string {
        rt_init();
        static lichtbox::tty::RawInput* raw = new lichtbox::tty::RawInput;  // never undone by hand
        if (!raw->active()) return "inactive";
        rt_end(3);
        return "not reached";
    });
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.report, "");
    EXPECT_TRUE(same_mode(r.mode_before, r.mode_after));
    EXPECT_NE(r.mode_after.c_lflag & ECHO, 0u);
    EXPECT_NE(r.mode_after.c_lflag & ICANON, 0u);
}

TEST(TtyConsoleMode, RawInputOnAPipeDoesNothing) {
    const auto r = run_child(on_pipes(), [] {
        lichtbox::tty::RawInput raw;
        return std::string(raw.active() ? "active" : "inactive");
    });
    EXPECT_EQ(r.report, "inactive");
}

// ---- Line input ----------------------------------------------------------------

TEST(TtyConsoleLineInput, PromptQuestionMarkAndTarget) {
    const auto r = run_child(on_terminal("hello\n"), [] {
        RuntimeString target = {};
        const int32_t before = rt_str_temps_in_use();
        const int32_t rc = gfx_line_input(rt_str_temp_cstr("Name"), &target, RT_INPUT_QUESTION);
        std::string rep = num(rc) + "," + num(rt_get_error()) + "," +
                          num(rt_str_temps_in_use() - before) + "," +
                          std::string(target.data ? target.data : "(null)") + ",";
        rep += num(gfx_get_x()) + "," + num(gfx_get_y());
        rt_str_free(&target);
        return rep;
    });
    EXPECT_EQ(r.output, "Name? ");
    EXPECT_EQ(r.report, "0,0,0,hello,1,2");
}

TEST(TtyConsoleLineInput, PipedLinesAndEndOfInput) {
    const auto r = run_child(on_pipes("abc\r\nsecond\nlast"), [] {
        RuntimeString target = {};
        std::string rep;
        const int32_t first = gfx_line_input(rt_str_temp_cstr("Q"), &target,
                                             RT_INPUT_QUESTION | RT_INPUT_NEWLINE);
        rep += num(first);
        rep += std::string(",") + target.data + ";";
        char buf[4];
        rep += std::string(gfx_read_str(buf, 4) ? buf : "(null)") + ";";  // cut to 3 bytes
        uint16_t wide[8] = {};
        const uint16_t prompt[] = {'>'};
        rep += num(gfx_line_input_wide(prompt, 1, wide, 8, 0)) + ",";
        for (uint16_t u : wide) if (u) rep += static_cast<char>(u);
        rep += ";";
        rt_set_error(0);
        const int32_t rc = gfx_line_input(nullptr, &target, 0);
        rep += num(rc) + "," + num(rt_get_error()) + ",";
        rep += target.data;  // unchanged after the failed read
        rep += std::string(";") + (gfx_read_str(buf, 4) ? "line" : "null");
        rt_str_free(&target);
        return rep;
    });
    EXPECT_EQ(r.output, "Q? \n>");
    EXPECT_EQ(r.report, "0,abc;sec;0,last;4,4,abc;null");
}

}  // namespace
