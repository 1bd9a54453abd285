// Error numbers per thread and the runtime's start and end.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cfenv>
#include <cstdlib>
#include <string>
#include <thread>

#if defined(__i386__) || defined(__x86_64__)
#include <fpu_control.h>
#endif

#include "child_process.h"
#include "runtime/runtime.h"

namespace {

using lichtbox::test::ChildOptions;
using lichtbox::test::run_child;

TEST(RuntimeErrors, AreKeptPerThread) {
    EXPECT_EQ(rt_set_error(RT_ERR_MEMORY), RT_ERR_MEMORY);
    int32_t seen_in_thread = -1;
    int32_t after_set_in_thread = -1;
    std::thread t([&] {
        seen_in_thread = rt_get_error();
        rt_set_error(RT_ERR_ARGUMENT);
        after_set_in_thread = rt_get_error();
    });
    t.join();
    EXPECT_EQ(seen_in_thread, 0);
    EXPECT_EQ(after_set_in_thread, RT_ERR_ARGUMENT);
    EXPECT_EQ(rt_get_error(), RT_ERR_MEMORY);
    rt_set_error(0);
}

ChildOptions quiet() {
    ChildOptions o;
    o.stdin_terminal = false;
    o.stdout_terminal = false;
    return o;
}

TEST(RuntimeLifetime, FirstInitSetsUpTheProcessLaterOnesOnlyCount) {
    const auto r = run_child(quiet(), [] {
        std::string rep;
#if defined(__i386__) || defined(__x86_64__)
        fpu_control_t cw;
        _FPU_GETCW(cw);
        cw = static_cast<fpu_control_t>((cw & ~0xF00u) | 0x200u | 0x800u);  // 53 bits, upward
        _FPU_SETCW(cw);
#endif
        std::fesetround(FE_DOWNWARD);
        rt_set_error(RT_ERR_MEMORY);
        rt_set_print_column(17);
        rt_set_text_view(3, 9);

        rt_init();
#if defined(__i386__) || defined(__x86_64__)
        _FPU_GETCW(cw);
        rep += "cw=" + std::to_string(cw & 0xF00u) + ",";
#endif
        rep += std::string("nearest=") + (std::fegetround() == FE_TONEAREST ? "1" : "0") + ",";
        rep += "error=" + std::to_string(rt_get_error()) + ",";
        int32_t top = 0, bottom = 0;
        rt_text_view(&top, &bottom);
        rep += "column=" + std::to_string(rt_print_column()) + ",view=" + std::to_string(top) +
               "/" + std::to_string(bottom) + ",";
        rep += "round=" + std::to_string(rt_round_int(2.5L)) + ",";

        rt_set_print_column(5);
        rt_set_error(RT_ERR_ARGUMENT);
        rt_init();  // counted only
        rep += "again=" + std::to_string(rt_print_column()) + "/" + std::to_string(rt_get_error());
        return rep;
    });
    std::string expected;
#if defined(__i386__) || defined(__x86_64__)
    expected += "cw=" + std::to_string(0x300) + ",";
#endif
    expected += "nearest=1,error=0,column=0,view=-1/-1,round=2,again=5/1";
    EXPECT_EQ(r.report, expected);
}

TEST(RuntimeLifetime, EndExitsWithTheStatusThroughTheExitHandlers) {
    const auto r = run_child(quiet(), []() -> std::string {
        rt_init();
        // Registered after the runtime's handler, so it runs before it.
        std::atexit([] { (void)::write(STDOUT_FILENO, "handler ran", 11); });
        rt_end(0);
        return "not reached";
    });
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.report, "");
    EXPECT_EQ(r.output, "handler ran");

    const auto r7 = run_child(quiet(), []() -> std::string {
        rt_end(7);
        return "not reached";
    });
    EXPECT_EQ(r7.exit_code, 7);
}

}  // namespace
