// The terminal engine: runs, control bytes, wrapping, scrolling and the
// owed line end of a print that fills the bottom row.
#include "runtime/terminal_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using lichtbox::TerminalEngine;

// Records every callback as one line of text.
struct Recorder {
    std::vector<std::string> log;
    TerminalEngine engine;

    Recorder() : engine(make()) {}

    TerminalEngine::Callbacks make() {
        TerminalEngine::Callbacks cb;
        cb.write_run = [this](int32_t x, int32_t y, const char* bytes, int32_t n) {
            log.push_back("write " + std::to_string(x) + "," + std::to_string(y) + " " +
                          std::string(bytes, static_cast<size_t>(n)));
        };
        cb.scroll = [this](int32_t n) { log.push_back("scroll " + std::to_string(n)); };
        cb.beep = [this] { log.push_back("beep"); };
        cb.control = [this](unsigned char b) { log.push_back("control " + std::to_string(b)); };
        return cb;
    }

    void print(const std::string& s) { engine.print(s.data(), static_cast<int32_t>(s.size())); }
    void run(const std::string& s) { engine.run(s.data(), static_cast<int32_t>(s.size())); }
    std::string cursor() const {
        return std::to_string(engine.x()) + "," + std::to_string(engine.y());
    }
};

TEST(TerminalEngine, TextThenLineFeed) {
    Recorder r;
    r.print("AB\n");
    EXPECT_EQ(r.log, (std::vector<std::string>{"write 0,0 AB", "control 10"}));
    EXPECT_EQ(r.cursor(), "0,1");
}

TEST(TerminalEngine, ControlBytes) {
    struct Case {
        const char* name;
        std::string input;
        int32_t start_x;
        std::vector<std::string> log;
        std::string cursor;
    };
    const std::vector<Case> cases = {
        {"bell prints nothing", "\a", 3, {"beep"}, "3,0"},
        {"backspace moves left", "\b", 3, {"control 8"}, "2,0"},
        {"backspace stops at the edge", "\b", 0, {}, "0,0"},
        {"return", "\r", 7, {"control 13"}, "0,0"},
        {"tab at x=2 writes six blanks", "\t", 2, {"write 2,0       "}, "8,0"},
        {"tab at a stop writes eight", "\t", 8, {"write 8,0         "}, "16,0"},
        {"tab at x=79 writes one and wraps", "\t", 79, {"write 79,0  "}, "0,1"},
        {"runs split at control bytes", "ab\rc", 0, {"write 0,0 ab", "control 13", "write 0,0 c"},
         "1,0"},
        {"other low bytes are characters", std::string("\x01\x0b\x0c\x0e\x1b", 5), 0,
         {std::string("write 0,0 \x01\x0b\x0c\x0e\x1b", 15)}, "5,0"},
        {"NUL is a character", std::string("\0", 1), 0, {std::string("write 0,0 \0", 11)}, "1,0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Recorder r;
        r.engine.set_cursor(c.start_x, 0);
        r.print(c.input);
        EXPECT_EQ(r.log, c.log);
        EXPECT_EQ(r.cursor(), c.cursor);
    }
}

TEST(TerminalEngine, LongTextWrapsAtTheRightEdge) {
    Recorder r;
    r.print(std::string(100, 'x'));
    ASSERT_EQ(r.log.size(), 2u);
    EXPECT_EQ(r.log[0], "write 0,0 " + std::string(80, 'x'));
    EXPECT_EQ(r.log[1], "write 0,1 " + std::string(20, 'x'));
    EXPECT_EQ(r.cursor(), "20,1");
}

TEST(TerminalEngine, RunsAreAtMost1024Bytes) {
    Recorder r;
    r.engine.set_region({0, 0, 99999, -1});
    r.print(std::string(3000, 'z'));
    ASSERT_EQ(r.log.size(), 3u);
    EXPECT_EQ(r.log[0].size(), 10u + 1024u);
    EXPECT_EQ(r.log[1].substr(0, 13), "write 1024,0 ");
    EXPECT_EQ(r.log[2], "write 2048,0 " + std::string(952, 'z'));
}

TEST(TerminalEngine, FillingTheBottomRowDefersTheScroll) {
    Recorder r;
    r.engine.set_cursor(0, 24);
    r.print(std::string(80, 'b'));
    EXPECT_EQ(r.log, (std::vector<std::string>{"write 0,24 " + std::string(80, 'b')}));
    EXPECT_TRUE(r.engine.wrap_pending());
    EXPECT_EQ(r.cursor(), "79,24");  // parked at the end of the bottom row

    r.log.clear();
    r.print("c");
    EXPECT_EQ(r.log, (std::vector<std::string>{"scroll 1", "write 0,24 c"}));
    EXPECT_FALSE(r.engine.wrap_pending());
    EXPECT_EQ(r.cursor(), "1,24");
}

TEST(TerminalEngine, EmptyPrintSettlesTheOwedLineEnd) {
    Recorder r;
    r.engine.set_cursor(0, 24);
    r.print(std::string(80, 'b'));
    r.log.clear();
    r.engine.print(nullptr, 0);
    EXPECT_EQ(r.log, (std::vector<std::string>{"scroll 1"}));
    EXPECT_EQ(r.cursor(), "0,24");
    EXPECT_FALSE(r.engine.wrap_pending());
}

TEST(TerminalEngine, LineFeedOnTheBottomRowScrollsAtOnce) {
    Recorder r;
    r.engine.set_cursor(5, 24);
    r.print("\n");
    EXPECT_EQ(r.log, (std::vector<std::string>{"control 10", "scroll 1"}));
    EXPECT_EQ(r.cursor(), "0,24");
    EXPECT_FALSE(r.engine.wrap_pending());
}

TEST(TerminalEngine, BareRunLeavesTheWrapForTheNextWrite) {
    Recorder r;
    r.engine.set_cursor(0, 24);
    r.run(std::string(80, 'q'));
    EXPECT_EQ(r.cursor(), "0,25");  // run() alone neither scrolls nor parks
    r.run("w");
    EXPECT_EQ(r.log.back(), "write 0,24 w");
    EXPECT_EQ(r.log[1], "scroll 1");
}

TEST(TerminalEngine, TabWrapsOntoTheNextRowWhenColumnsAreNotAMultipleOfEight) {
    Recorder r;
    r.engine.set_region({0, 0, 49, 24});  // 50 columns
    r.engine.set_cursor(48, 3);
    r.print("\t");
    EXPECT_EQ(r.log, (std::vector<std::string>{"write 48,3   ", "write 0,4       "}));
    EXPECT_EQ(r.cursor(), "6,4");
}

TEST(TerminalEngine, OnlyAMovingControlByteScrollsAtTheEnd) {
    // A bell, or a backspace at the left edge, after a line feed on the
    // bottom row: the line end is owed, not scrolled yet.
    for (const char* tail : {"\a", "\b"}) {
        Recorder r;
        r.engine.set_cursor(0, 24);
        r.print(std::string("A\n") + tail);
        EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "scroll 1"), 0) << int(tail[0]);
        EXPECT_TRUE(r.engine.wrap_pending()) << int(tail[0]);
        EXPECT_EQ(r.cursor(), "79,24");
    }
}

TEST(TerminalEngine, CursorBelowTheRegionScrollsByTheDistance) {
    Recorder r;
    r.engine.set_cursor(0, 27);
    r.print("A");
    EXPECT_EQ(r.log, (std::vector<std::string>{"scroll 3", "write 0,24 A"}));
}

TEST(TerminalEngine, NoBottomMeansNoScrolling) {
    Recorder r;
    r.engine.set_region({0, 0, 9, -1});
    r.print(std::string(30, '\n') + std::string(10, 'e'));
    for (const std::string& line : r.log) EXPECT_NE(line.rfind("scroll", 0), 0u) << line;
    EXPECT_FALSE(r.engine.wrap_pending());
    EXPECT_EQ(r.cursor(), "0,31");
}

TEST(TerminalEngine, RegionWithLeftMargin) {
    Recorder r;
    r.engine.set_region({10, 2, 19, 5});
    r.engine.set_cursor(18, 2);
    r.print("abc\tX\b\n");
    EXPECT_EQ(r.log, (std::vector<std::string>{"write 18,2 ab", "write 10,3 c", "write 11,3        ",
                                               "write 18,3 X", "control 8", "control 10"}));
    EXPECT_EQ(r.cursor(), "10,4");
}

}  // namespace
