/* Cursor-tracking text terminal shared by the consoles.
 *
 * The engine walks a byte string, gathers printable bytes into runs, handles
 * the control bytes 7, 8, 9, 10 and 13, wraps at the right edge of its region
 * and scrolls at the bottom. It knows nothing about how characters reach a
 * screen: its owner supplies the callbacks below. The text-window console
 * (runtime/tty_console.cpp) writes the runs to stdout; a graphics console
 * can draw them as glyph cells on a page with the very same rules.
 *
 * Coordinates are 0-based columns (x) and rows (y) of the whole screen.
 *
 * Rules of run():
 *  - Ordinary bytes (0-6, 11, 12, 14-255) are gathered in a run of at most
 *    kMaxRun bytes; a run is written out before each control byte and
 *    whenever the next byte would overflow it.
 *  - 7 calls beep() and prints nothing; 8 moves x one column left when
 *    x > left (nothing is erased); 9 writes blanks up to the next column that
 *    is a multiple of 8 counted from left (wrapping at the right edge like
 *    any run);
 *    10 sets x = left and y += 1; 13 sets x = left.
 *  - Writing a run: while bytes remain, c = min(right - x + 1, remaining);
 *    if bottom != -1 and y > bottom, scroll by y - bottom first (y becomes
 *    bottom); write_run(x, y, bytes, c); x += c; when x = right + 1, x = left
 *    and y += 1 (no scroll yet).
 *  - At the end, when the last action was a control byte that moved the
 *    cursor (8, 10, 13) and y > bottom (bottom != -1), scroll at once.
 *
 * print() adds the owed line end of a print that filled the bottom row:
 *  - before the run, a pending line end is settled (y += 1, x = left,
 *    scrolling when that leaves the region);
 *  - after the run, x = left with y = bottom + 1 parks the cursor at
 *    (right, bottom) and marks the line end as pending (no scroll yet);
 *    any other y > bottom scrolls at once.
 * print(nullptr, 0) only settles a pending line end.
 *
 * The engine is not thread-safe; its owner serialises the calls. */
#ifndef LICHTBOX_RUNTIME_TERMINAL_ENGINE_H
#define LICHTBOX_RUNTIME_TERMINAL_ENGINE_H

#include <cstdint>
#include <functional>

namespace lichtbox {

class TerminalEngine {
public:
    /* Longest run handed to write_run in one piece before line splitting. */
    static constexpr int32_t kMaxRun = 1024;

    /* The printing region: columns left..right, rows top..bottom.
     * bottom = -1 means no bottom edge (the engine never scrolls). */
    struct Region {
        int32_t left = 0;
        int32_t top = 0;
        int32_t right = 79;
        int32_t bottom = 24;
    };

    struct Callbacks {
        /* Required. Puts n characters (1 <= n <= right - x + 1) at column x,
         * row y. The engine advances the cursor itself afterwards. */
        std::function<void(int32_t x, int32_t y, const char* bytes, int32_t n)> write_run;
        /* Optional. Moves rows top..bottom of the region up by n >= 1 rows
         * and blanks the freed rows; the engine then sets y = bottom. */
        std::function<void(int32_t n)> scroll;
        /* Optional. Byte 7: sound the beep. */
        std::function<void()> beep;
        /* Optional. Told of each cursor-moving control byte after the engine
         * applied it: 10 and 13 always, 8 only when x actually moved. */
        std::function<void(unsigned char byte)> control;
    };

    explicit TerminalEngine(Callbacks callbacks);

    void set_region(const Region& region) { region_ = region; }
    const Region& region() const { return region_; }

    int32_t x() const { return x_; }
    int32_t y() const { return y_; }
    /* Places the cursor; does not touch the pending line end. */
    void set_cursor(int32_t x, int32_t y) {
        x_ = x;
        y_ = y;
    }

    bool wrap_pending() const { return wrap_pending_; }
    void set_wrap_pending(bool pending) { wrap_pending_ = pending; }

    /* The bare engine over len bytes (rules above). */
    void run(const char* bytes, int32_t len);
    /* A whole print: settles a pending line end, runs the engine and parks
     * the cursor after a print that filled the bottom row. */
    void print(const char* bytes, int32_t len);

private:
    void write_out(const char* bytes, int32_t len);
    void scroll_to_bottom();
    bool has_bottom() const { return region_.bottom != -1; }

    Callbacks cb_;
    Region region_;
    int32_t x_ = 0;
    int32_t y_ = 0;
    bool wrap_pending_ = false;
};

}  // namespace lichtbox

#endif
