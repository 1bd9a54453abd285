// The line editor of the graphics console (read_str) and the prompting
// line readers (line_input, line_input_wide).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "gfx/console/console_internal.h"
#include "gfx/core/context_internal.h"
#include "gfx/gfx.h"

namespace {

constexpr int32_t kMark = 219;

// Keys served through the getkey slot; Enter once the script runs out.
std::deque<int32_t> g_keys;
int g_keys_read = 0;

int32_t scripted_getkey() {
    ++g_keys_read;
    if (g_keys.empty()) return 13;
    const int32_t k = g_keys.front();
    g_keys.pop_front();
    return k;
}

class LineEditor : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ZRGFX", "null", 1);
        rt_set_text_view(-1, -1);
        ASSERT_EQ(gfx_screen_set(18, 32, 2, 0, 0), 0);
        ctx = gfx_context();
        ConsoleHooks hooks = gfx::graphics_hooks();
        hooks.getkey = scripted_getkey;
        rt_hooks_install(&hooks);
        g_keys.clear();
        g_keys_read = 0;
    }
    void TearDown() override { gfx_screen_set(0, 0, 0, 0, 0); }

    static void keys(const std::string& typed) {
        for (unsigned char c : typed) g_keys.push_back(c);
    }
    // Characters of row (1-based) from column 1 on.
    static std::string row_text(int32_t row, int32_t n) {
        std::string s;
        for (int32_t c = 1; c <= n; ++c) s += char(gfx_read_xy(c, row, 0));
        return s;
    }

    GfxContext* ctx = nullptr;
};

TEST_F(LineEditor, ReadsLineWithEchoAndStoresEnter) {
    gfx_locate(3, 5, 0);
    keys("abc\r");
    char buf[16];
    std::memset(buf, 0x55, sizeof buf);
    EXPECT_EQ(gfx_read_str(buf, sizeof buf), buf);
    EXPECT_STREQ(buf, "abc\r");
    EXPECT_EQ(row_text(3, 8).substr(4), "abc ");  // the mark was blanked
    EXPECT_EQ(gfx_get_y(), 3);
    EXPECT_EQ(gfx_get_x(), 1);  // Enter returns to the row's first column
    EXPECT_EQ(g_keys_read, 4);
}

TEST_F(LineEditor, IgnoredKeysAndFullBufferKeepMark) {
    keys("xy");
    g_keys.push_back(0x4BFF);  // extended key: ignored
    g_keys.push_back(7);
    g_keys.push_back(0);
    char buf[8];
    gfx_read_str(buf, sizeof buf);
    EXPECT_STREQ(buf, "xy\r");
    EXPECT_EQ(row_text(1, 3), "xy ");

    // Size 1 leaves room for the zero byte only: "q" is not taken and Enter
    // leaves the mark where it is.
    keys("q");
    g_keys.push_back(0x48FF);
    char full[1];
    gfx_locate(2, 1, 0);
    gfx_read_str(full, sizeof full);
    EXPECT_EQ(full[0], 0);
    EXPECT_EQ(gfx_read_xy(1, 2, 0), int16_t(int8_t(kMark)));
    EXPECT_EQ(gfx_read_xy(2, 2, 0), ' ');
}

TEST_F(LineEditor, BackspaceMovesMarkBackAndBlanksOldCell) {
    gfx_locate(4, 1, 0);
    keys("ab\bc\r");
    char buf[16];
    gfx_read_str(buf, sizeof buf);
    EXPECT_STREQ(buf, "ac\r");
    EXPECT_EQ(row_text(4, 4), "ac  ");
}

TEST_F(LineEditor, BackspaceOnEmptyLineIsIgnored) {
    gfx_locate(4, 10, 0);
    keys("\b\b\bz\b\b\r");
    char buf[16];
    gfx_read_str(buf, sizeof buf);
    EXPECT_STREQ(buf, "\r");
    EXPECT_EQ(row_text(4, 11), std::string(11, ' '));
    EXPECT_EQ(gfx_read_xy(9, 4, 0), ' ');
}

TEST_F(LineEditor, FullBufferIgnoresKeysAndEnterKeepsMark) {
    gfx_locate(2, 1, 0);
    keys("abcdef\r");
    char buf[6] = {1, 1, 1, 1, 1, 1};
    EXPECT_EQ(gfx_read_str(buf, 4), buf);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(buf[4], 1);
    EXPECT_EQ(gfx_read_xy(4, 2, 0), int16_t(int8_t(kMark)));
    EXPECT_EQ(gfx_read_xy(5, 2, 0), ' ');
}

TEST_F(LineEditor, SizeOneAndZeroWriteNothingOutside) {
    // Exactly sized heap buffers: any write past them is caught.
    keys("ab\r");
    std::unique_ptr<char[]> one(new char[1]);
    one[0] = 'x';
    EXPECT_EQ(gfx_read_str(one.get(), 1), one.get());
    EXPECT_EQ(one[0], 0);

    keys("cd\r");
    std::unique_ptr<char[]> none(new char[1]);
    none[0] = 'x';
    EXPECT_EQ(gfx_read_str(none.get(), 0), none.get());
    EXPECT_EQ(none[0], 'x');
    keys("\r");
    EXPECT_EQ(gfx_read_str(none.get(), -7), none.get());
    EXPECT_EQ(none[0], 'x');
    keys("\r");
    EXPECT_EQ(gfx_read_str(nullptr, 10), nullptr);
}

TEST_F(LineEditor, EditingAcrossBottomRightCorner) {
    gfx_locate(30, 79, 0);
    keys("x");
    keys("y");  // lands in the last cell; the mark then needs a new row
    keys("\b");  // back over the scroll onto "y"
    keys("\r");
    char buf[8];
    gfx_read_str(buf, sizeof buf);
    EXPECT_STREQ(buf, "x\r");
    // The row scrolled once when the mark moved below "y".
    EXPECT_EQ(gfx_read_xy(79, 29, 0), 'x');
    EXPECT_EQ(gfx_read_xy(80, 29, 0), ' ');
    EXPECT_EQ(gfx_read_xy(1, 30, 0), ' ');
}

TEST_F(LineEditor, KeysThroughTheKeyQueue) {
    // The real getkey slot, fed through the key queue.
    rt_hooks_install(&gfx::graphics_hooks());
    for (int32_t k : {int32_t('h'), int32_t('i'), 0x4BFF, 13}) gfx_post_key(k);
    char buf[8];
    gfx_read_str(buf, sizeof buf);
    EXPECT_STREQ(buf, "hi\r");
}

TEST_F(LineEditor, LineInputPrintsPromptAndAssigns) {
    gfx_locate(5, 1, 0);
    keys("Bo\r");
    RuntimeString target{};
    EXPECT_EQ(gfx_line_input(rt_str_temp_cstr("Name"), &target, RT_INPUT_QUESTION | RT_INPUT_NEWLINE), 0);
    ASSERT_EQ(rt_str_len(&target), 2);
    EXPECT_EQ(std::string(target.data, 2), "Bo");
    EXPECT_EQ(row_text(5, 9), "Name? Bo ");
    EXPECT_EQ(gfx_get_y(), 6);
    EXPECT_EQ(gfx_get_x(), 1);
    EXPECT_EQ(rt_str_temps_in_use(), 0);
    rt_str_free(&target);
}

TEST_F(LineEditor, LineInputWithoutPromptOrQuestion) {
    gfx_locate(5, 1, 0);
    keys("v\r");
    RuntimeString target{};
    EXPECT_EQ(gfx_line_input(nullptr, &target, 0), 0);
    EXPECT_EQ(std::string(target.data, std::size_t(rt_str_len(&target))), "v");
    EXPECT_EQ(gfx_get_y(), 5);  // no new line asked for
    EXPECT_EQ(row_text(5, 2), "v ");
    rt_str_free(&target);
}

TEST_F(LineEditor, LineInputSettlesPendingLineEndFirst) {
    gfx_locate(30, 1, 0);
    const std::string row(80, 'x');
    gfx_print_buffer(row.data(), 80, 0);
    keys("\r");
    RuntimeString target{};
    EXPECT_EQ(gfx_line_input(rt_str_temp_cstr(">"), &target, 0), 0);
    EXPECT_EQ(gfx_read_xy(1, 29, 0), 'x');
    EXPECT_EQ(gfx_read_xy(1, 30, 0), '>');
    EXPECT_EQ(rt_str_len(&target), 0);
    rt_str_free(&target);
}

TEST_F(LineEditor, LineInputWideConvertsAndBoundsBuffer) {
    gfx_locate(7, 1, 0);
    keys("ab\x84z\r");
    const uint16_t prompt[] = {'P', 0x20AC, 0xD83D, 0xDE00};
    std::unique_ptr<uint16_t[]> buf(new uint16_t[4]);
    std::fill(buf.get(), buf.get() + 4, uint16_t(0x7777));
    EXPECT_EQ(gfx_line_input_wide(prompt, 4, buf.get(), 4, RT_INPUT_QUESTION), 0);
    EXPECT_EQ(buf[0], 'a');
    EXPECT_EQ(buf[1], 'b');
    EXPECT_EQ(buf[2], 0x84);
    EXPECT_EQ(buf[3], 0);
    EXPECT_EQ(row_text(7, 5), "P??? ");

    keys("k\r");
    EXPECT_EQ(gfx_line_input_wide(nullptr, 3, buf.get(), 0, 0), 0);
    EXPECT_EQ(buf[0], 'a');  // size 0: nothing written
    keys("m\r");
    EXPECT_EQ(gfx_line_input_wide(nullptr, 0, buf.get(), 2, RT_INPUT_NEWLINE), 0);
    EXPECT_EQ(buf[0], 'm');
    EXPECT_EQ(buf[1], 0);
}

TEST(LineEditorNoScreen, FailedReadGivesErrorFour) {
    gfx_screen_set(0, 0, 0, 0, 0);
    RuntimeString target{};
    EXPECT_EQ(gfx::graphics_line_input(rt_str_temp_cstr("p"), &target, 0), RT_ERR_MEMORY);
    EXPECT_EQ(rt_get_error(), RT_ERR_MEMORY);
    EXPECT_EQ(rt_str_temps_in_use(), 0);
    uint16_t wide[2] = {9, 9};
    EXPECT_EQ(gfx::graphics_line_input_wide(nullptr, 0, wide, 2, 0), RT_ERR_MEMORY);
    EXPECT_EQ(wide[0], 9);
    char buf[2] = {'a', 'b'};
    EXPECT_EQ(gfx::graphics_read_str(buf, 2), buf);
    EXPECT_EQ(buf[0], 0);
}

}  // namespace
